#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "imaging/FileImageSource.h"
#include "support/TempDirectory.h"

// Only a regular file is opened; a folder or a device name (which Windows
// resolves in any folder) is refused at once, never read without end.
TEST(FileImageSourceTest, OpensOnlyRegularFilesAndNeverWaits) {
  TempDirectory directory;
  WriteWholeFile(directory.File("picture.bin"), "BM some bytes");
  WriteWholeFile(directory.File("empty.bin"), "");
  std::filesystem::create_directory(directory.File("folder"));
  const struct {
    std::string path;
    std::string report;  // the size when it opens, else the start of the error's kind and detail
  } cases[] = {
      {directory.File("picture.bin"), "13"},
      {directory.File("empty.bin"), "empty: empty file"},
      {directory.File("missing.bin"), "open: cannot open the file"},
      {directory.File("folder"), "open: not a regular file"},
      // Devices: "not a regular file" on Windows, refused by name under Wine.
      {directory.File("NUL"), "open: "},
      {directory.File("CON.bmp"), "open: "},
      {"\\\\.\\NUL", "open: "},
  };
  for (const auto& c : cases) {
    FileImageSource source;
    ImageError error;
    const bool opened = source.Open(c.path, &error);
    const char* kind = error.kind == ImageErrorKind::kCannotOpen  ? "open:"
                       : error.kind == ImageErrorKind::kEmptyFile ? "empty:"
                                                                  : "other:";
    const std::string report = opened ? std::to_string(source.Size()) : kind + (" " + error.detail);
    EXPECT_EQ(report.rfind(c.report, 0), 0u) << c.path << ": " << report;
  }
}
