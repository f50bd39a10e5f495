#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "imaging/FileImageSource.h"
#include "support/TempDirectory.h"

// Only a regular file is opened; anything else is refused at once, never
// waited on (a FIFO without a writer) or read without end (a device). Each
// open runs in a child process under an alarm, so a hang fails the case
// instead of the whole suite.
TEST(FileImageSourceTest, OpensOnlyRegularFilesAndNeverWaits) {
  TempDirectory directory;
  WriteWholeFile(directory.File("picture.bin"), "BM some bytes");
  WriteWholeFile(directory.File("empty.bin"), "");
  ASSERT_EQ(::mkfifo(directory.File("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(directory.File("picture.bin"), directory.File("link.bin"));
  std::filesystem::create_symlink(directory.File("fifo"), directory.File("link-to-fifo"));
  std::filesystem::create_directory(directory.File("folder"));
  const struct {
    std::string path;
    std::string report;  // the size when it opens, else the error's kind and detail
  } cases[] = {
      {directory.File("picture.bin"), "13"},
      {directory.File("link.bin"), "13"},  // a link the user named is followed
      {directory.File("empty.bin"), "empty: empty file"},
      {directory.File("missing.bin"), "open: cannot open the file: No such file or directory"},
      {directory.File("fifo"), "open: not a regular file"},
      {directory.File("link-to-fifo"), "open: not a regular file"},
      {directory.File("folder"), "open: not a regular file"},
      {"/dev/zero", "open: not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::alarm(10);
      FileImageSource source;
      ImageError error;
      const bool opened = source.Open(c.path, &error);
      const char* kind = error.kind == ImageErrorKind::kCannotOpen  ? "open:"
                         : error.kind == ImageErrorKind::kEmptyFile ? "empty:"
                                                                    : "other:";
      const std::string report = opened ? std::to_string(source.Size()) : kind + (" " + error.detail);
      (void)!::write(pipeEnds[1], report.data(), report.size());
      ::_exit(0);
    }
    ::close(pipeEnds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the open did not return";
    EXPECT_EQ(report, c.report);
  }
}
