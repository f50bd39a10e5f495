#include <gtest/gtest.h>

#include "app/shared/PictureSource.h"

namespace {

using Kind = PictureSource::Kind;

// What each kind of drop or paste names, in the order of precedence: a file
// first, then picture data, then a link, then the text's first line.
TEST(PictureSourceTest, ReadsTheFirstFileDataLinkOrTextInThatOrder) {
  const std::pair<std::string, std::string> png{"image/png", "PNG!"};
  const std::pair<std::string, std::string> jpeg{"image/jpeg", "JPEG"};
  struct Case {
    const char* name;
    DropData data;
    Kind kind;
    std::string value;  // the path, the URL or the bytes
  };
  const Case cases[] = {
      {"nothing", {}, Kind::kNone, ""},
      {"file list", {{"/tmp/a.png", "/tmp/b.png"}, {"https://h/x.png"}, "t", {png}}, Kind::kFile, "/tmp/a.png"},
      {"file URL", {{}, {"file:///tmp/a%20b%E7%8C%AB.png"}, "", {png}}, Kind::kFile, "/tmp/a b\xE7\x8C\xAB.png"},
      {"file URL, localhost", {{}, {"file://localhost/tmp/a.png"}, "", {}}, Kind::kFile, "/tmp/a.png"},
      {"file URL, other host", {{}, {"file://server/share/a.png"}, "", {}}, Kind::kFile, "//server/share/a.png"},
      {"file URL with a NUL", {{}, {"file:///tmp/a.png%00.txt"}, "", {}}, Kind::kNone, ""},
      {"file URL, drive", {{}, {"FILE:///C:/p/a.png"}, "", {}}, Kind::kFile, "C:/p/a.png"},
      {"data before a link", {{}, {"https://h/x.png"}, "", {png}}, Kind::kData, "PNG!"},
      {"PNG before JPEG", {{}, {}, "", {jpeg, png}}, Kind::kData, "PNG!"},
      {"unknown or empty data", {{}, {}, "", {{"image/png", ""}, {"image/tiff", "II*"}}}, Kind::kNone, ""},
      {"only the first URL", {{}, {"ftp://h/x.png", "file:///tmp/a.png"}, "", {}}, Kind::kNone, ""},
      {"link", {{}, {"http://h:8/p.png?a=1#frag"}, "", {}}, Kind::kLink, "http://h:8/p.png?a=1"},
      {"link as text", {{}, {}, "  HTTPS://h/a b%zz%41\xE7\x8C\xAB.png\r\nnext", {}}, Kind::kLink,
       "HTTPS://h/a%20b%25zz%41%E7%8C%AB.png"},
      {"file URL as text", {{}, {}, "file:///tmp/a%20b.png\n", {}}, Kind::kFile, "/tmp/a b.png"},
      // Absolute on either system.
      {"absolute path as text", {{}, {}, "//server/a.png\n", {}}, Kind::kFile, "//server/a.png"},
      {"link without a host", {{}, {}, "http:///a.png", {}}, Kind::kNotAPicture, ""},
      {"other text", {{}, {}, "hello, world", {}}, Kind::kNotAPicture, ""},
      {"blank text", {{}, {}, " \r\n\t ", {}}, Kind::kNone, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureSource source = PictureSource::From(c.data);
    EXPECT_EQ(source.kind, c.kind);
    EXPECT_EQ(source.path + source.url + source.bytes, c.value);
  }
}

}  // namespace
