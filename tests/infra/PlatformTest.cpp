#include "infra/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "infra/NativeFile.h"
#include "support/TempDirectory.h"

namespace {

bool OnWindows() { return platform::PathSeparator() == '\\'; }

std::string ReadAll(NativeFile& file) {
  std::string content;
  char buffer[7];  // small, so reads are split
  for (long long got; (got = file.Read(buffer, sizeof buffer)) > 0;) content.append(buffer, static_cast<size_t>(got));
  return content;
}

}  // namespace

TEST(Platform, AbsolutePathsAndDirectoryParts) {
  struct Case {
    const char* path;
    bool absoluteOnLinux, absoluteOnWindows;
    const char* directory;  // the same on both, '\' being a separator only on Windows
  };
  const Case cases[] = {
      {"/a/b", true, false, "/a/"},     {"a/b/c", false, false, "a/b/"},   {"name", false, false, ""},
      {"C:/x", false, true, "C:/"},     {"", false, false, ""},            {"//server/share", true, true, "//server/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::IsAbsolutePath(c.path), OnWindows() ? c.absoluteOnWindows : c.absoluteOnLinux) << c.path;
    EXPECT_EQ(platform::DirectoryPart(c.path), c.directory) << c.path;
  }
  EXPECT_EQ(platform::DirectoryPart("a\\b"), OnWindows() ? "a\\" : "");
  TempDirectory here;  // other tests may leave the current directory removed
  ASSERT_TRUE(platform::ChangeDirectory(here.Path()));
  EXPECT_EQ(platform::AbsolutePath("relative"), here.Path() + "relative");
}

TEST(Platform, ReplaceFileSwapsContentInOneStepAndListsWhatIsThere) {
  TempDirectory directory;
  std::string path;
  NativeFile made = NativeFile::CreateUnique(directory.File("new.tmp."), &path);
  ASSERT_TRUE(made.IsOpen());
  EXPECT_TRUE(made.WriteAll("fresh", 5) && made.Sync() && made.Close());
  NativeFile old = NativeFile::CreateNew(directory.File("target"));
  ASSERT_TRUE(old.WriteAll("stale content", 13) && old.Close());
  EXPECT_FALSE(NativeFile::CreateNew(directory.File("target")).IsOpen()) << "CreateNew must not replace";

  ASSERT_TRUE(platform::ReplaceFile(path, directory.File("target")));
  NativeFile reader = NativeFile::OpenForReading(directory.File("target"), NativeFile::Links::kRefuse);
  ASSERT_TRUE(reader.IsOpen());
  EXPECT_EQ(reader.Size(), 5u);
  EXPECT_EQ(ReadAll(reader), "fresh");
  char middle[3];
  ASSERT_TRUE(reader.ReadAt(1, middle, 3));
  EXPECT_EQ(std::string(middle, 3), "res");
  EXPECT_FALSE(reader.ReadAt(3, middle, 3)) << "past the end";

  std::vector<std::string> names;
  ASSERT_TRUE(platform::ListDirectory(directory.Path(), names));
  EXPECT_EQ(names, std::vector<std::string>{"target"});
  EXPECT_FALSE(platform::ListDirectory(directory.File("missing"), names));
}

TEST(Platform, OpensOnlyRegularFilesForReading) {
  TempDirectory directory;
  ASSERT_TRUE(platform::MakeDirectory(directory.File("folder")));
  EXPECT_TRUE(platform::MakeDirectory(directory.File("folder"))) << "an existing directory is fine";
  std::string why;
  EXPECT_FALSE(NativeFile::OpenForReading(directory.File("folder"), NativeFile::Links::kFollow, &why).IsOpen());
  EXPECT_EQ(why, "not a regular file");
  EXPECT_FALSE(NativeFile::OpenForReading(directory.File("missing"), NativeFile::Links::kFollow, &why).IsOpen());
  EXPECT_FALSE(why.empty());
  const auto facts = platform::LookAt(directory.File("folder"), false);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->kind, platform::FileKind::kDirectory);
  EXPECT_FALSE(platform::MarkModifiedNow(directory.File("folder")));
}

TEST(Platform, UniqueDirectoriesAreFreshAndRemovable) {
  TempDirectory directory;
  const std::string first = platform::MakeUniqueDirectory(directory.File("run-"));
  const std::string second = platform::MakeUniqueDirectory(directory.File("run-"));
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
  EXPECT_TRUE(platform::MayWriteIn(first));
  EXPECT_TRUE(platform::RemoveEmptyDirectory(first));
  EXPECT_FALSE(platform::LookAt(first, false));
  EXPECT_TRUE(platform::ProcessIsRunning(platform::ProcessId()));
}
