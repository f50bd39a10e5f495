#include "demosite/DemoCatalog.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "demosite/DemoImage.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"

namespace {

const char* const kAdjectives[] = {"青い",   "赤い",     "静かな",   "眠そうな", "小さな", "光る", "夕焼けの",
                                   "雨上がりの", "春の", "冬の", "まるい", "ふわふわの", "遠くの", "秘密の"};
const char* const kNouns[] = {"海", "森", "ねこ", "空", "花畑", "街角", "山",
                              "川", "星", "雲", "犬", "窓辺", "駅", "灯台"};
const char* const kPosters[] = {"さくら", "ゆうき", "はると", "みお", "ｹﾝﾀ", "O'Hara", "たろう", "花子"};

// Titles that exercise quoting and half-width katakana.
const char* SpecialTitle(int id) {
  switch (id) {
    case 3: return "ねこ's 'ひなたぼっこ'";
    case 5: return "ﾈｺﾉﾋﾙﾈ";
    case 6: return "It's ﾃｽﾄ画像";
    case 12: return "'quoted'";
    default: return nullptr;
  }
}

// Two ids whose image addresses end in the same file name.
bool SharesFileName(int id) { return id == 10 || id == 210; }

std::string FourDigits(int id) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", id);
  return text;
}

DecodedImage ToDecoded(const RgbImage& rgb) {
  DecodedImage image;
  image.Allocate(rgb.width, rgb.height, false);
  for (int y = 0; y < rgb.height; ++y) {
    std::uint8_t* row = image.Row8(y);
    const std::uint8_t* source = &rgb.pixels[static_cast<size_t>(y) * rgb.width * 3];
    for (int x = 0; x < rgb.width; ++x) {
      row[x * 4] = source[x * 3];
      row[x * 4 + 1] = source[x * 3 + 1];
      row[x * 4 + 2] = source[x * 3 + 2];
      row[x * 4 + 3] = 255;
    }
  }
  return image;
}

DemoEntry MakeEntry(int id) {
  DemoEntry entry;
  entry.id = id;
  const char* special = SpecialTitle(id);
  const int n = id - 1;
  entry.title = special ? special
                        : std::string(kAdjectives[n % 14]) + kNouns[(n / 14) % 14] + (n >= 196 ? "・その二" : "");
  entry.poster = kPosters[id % 8];
  entry.directory = "d" + std::to_string(id / 50);
  entry.adult = id % 11 == 0;
  entry.shortFirstPage = id % 7 == 0;
  entry.good = (id * 37) % 150;
  entry.bad = (id * 13) % 17;

  const DecodedImage image = ToDecoded(RenderDemoImage(0x6d6f6675ull * 1000003ull + static_cast<unsigned>(id)));
  const int format = SharesFileName(id) ? 1 : id % 3;
  std::string extension;
  if (format == 0) {
    ImageWriter::JpegOptions options;
    options.quality = 70 + id % 26;
    ImageWriter::EncodeJpeg(image, &entry.bytes, options);
    entry.contentType = "image/jpeg";
    extension = ".jpg";
  } else if (format == 1) {
    ImageWriter::EncodePng(image, &entry.bytes);
    entry.contentType = "image/png";
    extension = ".png";
  } else {
    ImageWriter::EncodeGif(image, &entry.bytes);
    entry.contentType = "image/gif";
    extension = ".gif";
  }
  entry.fileName = (SharesFileName(id) ? std::string("kaigan") : "mofu" + FourDigits(id)) + extension;
  return entry;
}

}  // namespace

std::string DemoEntry::ImagePath() const { return "/mofuimg/img/" + directory + "/" + fileName; }

std::string DemoEntry::ExportName() const {
  const auto dot = fileName.rfind('.');
  return FourDigits(id) + (dot == std::string::npos ? std::string() : fileName.substr(dot));
}

DemoCatalog::DemoCatalog(int lastId) : lastId_(lastId) {
  for (int id = 1; id <= lastId; ++id)
    if (!IsMissing(id)) entries_.push_back(MakeEntry(id));
}

const DemoEntry* DemoCatalog::Find(int id) const {
  for (const DemoEntry& entry : entries_)
    if (entry.id == id) return &entry;
  return nullptr;
}

const DemoEntry* DemoCatalog::FindImage(const std::string& path) const {
  for (const DemoEntry& entry : entries_)
    if (entry.ImagePath() == path) return &entry;
  return nullptr;
}

bool DemoCatalog::ExportImages(const std::string& directory, std::string& error) const {
  std::error_code code;
  std::filesystem::create_directories(directory, code);
  if (code) {
    error = "cannot create " + directory + ": " + code.message();
    return false;
  }
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  for (const DemoEntry& entry : entries_) {
    const std::string path = (std::filesystem::path(directory) / entry.ExportName()).string();
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "wb"));
    if (!file || std::fwrite(entry.bytes.data(), 1, entry.bytes.size(), file.get()) != entry.bytes.size() ||
        std::fclose(file.release()) != 0) {
      error = "cannot write " + path;
      return false;
    }
  }
  return true;
}
