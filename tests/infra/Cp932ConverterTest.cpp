#include "infra/Cp932Converter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "infra/WideText.h"

namespace {

using Direction = Cp932Converter::Direction;

// FNV-1a over what each input of a range converts to ("!" when it does not).
class Digest {
 public:
  void Add(bool ok, const std::string& output) {
    Mix(ok ? output : std::string("!"));
    Mix(std::string(1, '\0'));
  }
  std::uint64_t Value() const { return value_; }

 private:
  void Mix(const std::string& bytes) {
    for (const unsigned char byte : bytes) value_ = (value_ ^ byte) * 0x100000001B3ULL;
  }
  std::uint64_t value_ = 0xCBF29CE484222325ULL;
};

// Every one-byte value (lead 0) or every two-byte value with lead `lead`, decoded.
std::uint64_t DecodeDigest(unsigned lead) {
  const Cp932Converter& converter = Cp932Converter::ForThisThread(Direction::kToUtf8);
  Digest digest;
  std::string out;
  for (unsigned second = 0; second < 256; ++second) {
    const std::string input = lead == 0 ? std::string(1, static_cast<char>(second))
                                        : std::string{static_cast<char>(lead), static_cast<char>(second)};
    digest.Add(converter.ConvertExactly(input, &out), out);
  }
  return digest.Value();
}

// Every code point of the 4096-wide block `block` (surrogates left out), encoded.
std::uint64_t EncodeDigest(unsigned block) {
  const Cp932Converter& converter = Cp932Converter::ForThisThread(Direction::kFromUtf8);
  Digest digest;
  std::string in, out;
  for (char32_t c = block * 4096; c < (block + 1) * 4096; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    in.clear();
    AppendUtf8(&in, c);
    digest.Add(converter.ConvertExactly(in, &out), out);
  }
  return digest.Value();
}

// The digests of the Linux system's table (glibc's CP932), which log.txt and
// cache.db were written with: the Windows tables must agree everywhere.
struct Expected {
  unsigned range;
  std::uint64_t digest;
};
constexpr Expected kDecoded[] = {
    {0x00, 0x4D717FB05F7D7044ULL}, {0x81, 0xF796AD92B17A0B4EULL},
    {0x82, 0x7B9FD11956FCFA55ULL}, {0x83, 0x5A138BA72277DCF6ULL},
    {0x84, 0xD9CE6EB736B2CFF4ULL}, {0x85, 0xA02040EAA4A73725ULL},
    {0x86, 0xA02040EAA4A73725ULL}, {0x87, 0x31BDD008384E2221ULL},
    {0x88, 0xB42DBA1568919BE9ULL}, {0x89, 0xA8481295C93F5256ULL},
    {0x8A, 0x735D381BEB31E732ULL}, {0x8B, 0x9529E4936CD0EE7BULL},
    {0x8C, 0x953F050A1E64DA5CULL}, {0x8D, 0x2986AD94AE95A46BULL},
    {0x8E, 0x53033875F29E98D1ULL}, {0x8F, 0x7F4B47BF7749EB8BULL},
    {0x90, 0x6F25857CD83E7B00ULL}, {0x91, 0x42BC6D18D2061B96ULL},
    {0x92, 0x3D38CD8951CCA584ULL}, {0x93, 0xF5F3270F6A7C060EULL},
    {0x94, 0xDE1299FBFDA718CCULL}, {0x95, 0xA715E4E8F91AF75BULL},
    {0x96, 0xAFDFF3D0E249BC02ULL}, {0x97, 0x526C04B84BD49378ULL},
    {0x98, 0x37759763BB4F181CULL}, {0x99, 0xBA40D3678056CE6FULL},
    {0x9A, 0x8023E233EEDC5B99ULL}, {0x9B, 0x97B4AD49A44F4045ULL},
    {0x9C, 0xC3293942BA5FBDA9ULL}, {0x9D, 0x91BF61277ADBB033ULL},
    {0x9E, 0xD14630DB46A4107DULL}, {0x9F, 0xDBFC7DBB582F4F11ULL},
    {0xE0, 0xEF4A73D16CA8F439ULL}, {0xE1, 0xA56DB27DE6143A6DULL},
    {0xE2, 0x1D4CED6574D2C954ULL}, {0xE3, 0xC893581B2CB149C9ULL},
    {0xE4, 0xD3B128FC97EF7578ULL}, {0xE5, 0x0C980168E0AEE11BULL},
    {0xE6, 0x6A4D00443B6DFE80ULL}, {0xE7, 0xA2AA700EC7A374A9ULL},
    {0xE8, 0x30602F31DBC867E8ULL}, {0xE9, 0x844BC0DF77DBEF1EULL},
    {0xEA, 0x26F08472666F6B8BULL}, {0xEB, 0xA02040EAA4A73725ULL},
    {0xEC, 0xA02040EAA4A73725ULL}, {0xED, 0xE87B2401BE0E779FULL},
    {0xEE, 0x993F1D8A61E64E79ULL}, {0xEF, 0xA02040EAA4A73725ULL},
    {0xF0, 0x52D59BC29B6E8C85ULL}, {0xF1, 0xAA7693F2CAB630CDULL},
    {0xF2, 0x02F6177251593E31ULL}, {0xF3, 0x1FC8F01277909259ULL},
    {0xF4, 0x50D9D300D4322235ULL}, {0xF5, 0xF0102CDC3E12A2DDULL},
    {0xF6, 0x3CA48908A968A729ULL}, {0xF7, 0xBB691BB11538F9C1ULL},
    {0xF8, 0x2A637F0CEE6D5575ULL}, {0xF9, 0x5AE85E2A15C9D0EDULL},
    {0xFA, 0x4D91A84EFF7219E0ULL}, {0xFB, 0xDB538ED9640961D5ULL},
    {0xFC, 0xDFBF42176E06D969ULL},};
constexpr Expected kEncoded[] = {
    {0x0, 0x569A790034F0C960ULL}, {0x1, 0x42E073BC57736325ULL},
    {0x2, 0xE6F71675BEB759CEULL}, {0x3, 0xD41D3773198B4F64ULL},
    {0x4, 0x6E99F7B192D32378ULL}, {0x5, 0x0DC4953EE1F16D71ULL},
    {0x6, 0x2F60BB22270C5AECULL}, {0x7, 0xA2A1D6473B4BC137ULL},
    {0x8, 0xC0CA8582FA2C30A0ULL}, {0x9, 0xF3AA65264063C461ULL},
    {0xA, 0x42E073BC57736325ULL}, {0xB, 0x42E073BC57736325ULL},
    {0xC, 0x42E073BC57736325ULL}, {0xD, 0x48BC316659CAC325ULL},
    {0xE, 0xE4652F201AF878CDULL}, {0xF, 0x778353D2955DEE13ULL},
};

}  // namespace

TEST(Cp932Converter, DecodesEveryOneAndTwoByteValueAsTheLinuxTableDoes) {
  for (const Expected& expected : kDecoded)
    EXPECT_EQ(DecodeDigest(expected.range), expected.digest) << "lead byte " << std::hex << expected.range;
}

TEST(Cp932Converter, EncodesEveryBmpCodePointAsTheLinuxTableDoes) {
  for (const Expected& expected : kEncoded)
    EXPECT_EQ(EncodeDigest(expected.range), expected.digest) << "code points from U+" << std::hex << expected.range * 4096;
}

TEST(Cp932Converter, ReplacesWhatItCannotConvertAndGoesOn) {
  const Cp932Converter& toUtf8 = Cp932Converter::ForThisThread(Direction::kToUtf8);
  const Cp932Converter& fromUtf8 = Cp932Converter::ForThisThread(Direction::kFromUtf8);
  EXPECT_EQ(toUtf8.Convert("a\x80" "b\x82\xA0\xFF", "?"), "a?b\xE3\x81\x82?");
  // A broken UTF-8 sequence is replaced whole; a character past the code page singly.
  EXPECT_EQ(fromUtf8.Convert("a\xE3\x81" "b\xF0\x9F\x98\x80" "c", "?"), "a?b?c");
}
