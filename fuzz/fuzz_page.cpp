// A page of the site as the server sends it: the EUC-JP conversion and the
// parsing of title, poster, image address, adult flag and vote counts.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "cachebuild/EucJpText.h"
#include "cachebuild/MakeCacheDirectX.h"
#include "infra/InternetSession.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzProgramDirectory();
  static const InternetSession session("Tintwise");
  const std::string_view page = AsText(data, size);

  // Each input byte gives at most one output byte, except a lead byte at the
  // very end, which pairs with a zero byte.
  const std::string converted = EucJpToShiftJis(page);
  FUZZ_CHECK(converted.size() <= page.size() + 1);

  MakeCacheDirectX builder(session, "1", true);
  (void)builder.ParsePage(page);
  // Fields are cut to a fixed length, so a hostile page cannot blow up the
  // record file.
  FUZZ_CHECK(builder.title.size() <= 256);
  FUZZ_CHECK(builder.name.size() <= 256);
  FUZZ_CHECK(builder.imageUrl.size() <= 256);
  FUZZ_CHECK(builder.title.find('\0') == std::string::npos);
  // The local file name made from the address stays one plain name.
  const std::string local = MakeCache::LocalImageName(builder.imageUrl);
  FUZZ_CHECK(local.size() < 256);
  FUZZ_CHECK(local.find('/') == std::string::npos);
  FUZZ_CHECK(local != "." && local != "..");
  return 0;
}
