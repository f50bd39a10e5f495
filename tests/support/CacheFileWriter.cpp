#include "support/CacheFileWriter.h"

#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"

#include <gtest/gtest.h>

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

CacheFileWriter::CacheFileWriter(const std::string& path) : db_(path) {
  std::string create = "create table TintwiseCache(id, title, name, good, bad, adult";
  for (int i = 0; i < ImageCache::kValueCount; ++i) create += ", c" + std::to_string(i);
  create += ", image_file_name);";
  EXPECT_EQ(0, db_.Exec(create + "begin;")) << db_.LastError();
  open_ = true;
}

CacheFileWriter::~CacheFileWriter() { Close(); }

void CacheFileWriter::Close() {
  if (!open_) return;
  EXPECT_EQ(0, db_.Exec("commit;")) << db_.LastError();
  open_ = false;
}

void CacheFileWriter::AddValues(const std::string& values) {
  ASSERT_EQ(0, db_.Exec("insert into TintwiseCache values(" + values + ");")) << db_.LastError();
  ++rows_;
}

void CacheFileWriter::Add(const std::string& id, const std::string& title, const std::string& name,
                          const ImageCache::Colours& signature) {
  std::string values = id + ", " + Quoted(title) + ", " + Quoted(name) + ", 0, 0, 0";
  for (const std::int32_t v : signature) values += ", " + std::to_string(v);
  AddValues(values + ", 'file'");
}

void CacheFileWriter::Add(const ImageCache::Colours& signature) {
  const std::string n = std::to_string(rows_ + 1);
  Add(n, "title" + n, "name" + n, signature);
}

ImageCache::Colours Uniform(int value) {
  ImageCache::Colours colours;
  colours.fill(value);
  return colours;
}

std::string RowValues(const std::string& id, const std::vector<std::string>& signature) {
  std::string values = id + ", 'title', 'name', 0, 0, 0";
  for (const std::string& v : signature) values += ", " + v;
  return values + ", 'file'";
}

void WriteUniformPicture(const std::string& path, int level) {
  DecodedImage picture;
  picture.Allocate(8, 6, false);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      std::uint8_t* p = picture.Row8(y) + x * 4;
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>(level);
      p[3] = 255;
    }
  }
  std::string png;
  ImageWriter::EncodePng(picture, &png);
  WriteBytesToFile(path, png);
}
