#include "infra/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

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
  EXPECT_EQ(platform::AbsolutePath(""), "") << "no path is not the current directory";
  const std::string separator(1, platform::PathSeparator());
  const struct {
    const char *directory, *name;
    std::string joined;
  } joins[] = {{"a", "b", "a" + separator + "b"}, {"a/", "b", "a/b"}, {"", "b", "b"}, {"/", "b", "/b"}};
  for (const auto& j : joins) EXPECT_EQ(platform::JoinPath(j.directory, j.name), j.joined) << j.directory;
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

// A walk reports every file below a folder with the names below it, enters
// sub-folders but never a linked one (a link back up would loop), leaves out
// links leading nowhere and says which folder it could not list.
TEST(Platform, WalkFindsEveryFileBelowAFolderOnce) {
  TempDirectory directory;
  for (const char* folder : {"top", "top/sub", "top/sub/deep", "top/empty"})
    ASSERT_TRUE(platform::MakeDirectory(directory.File(folder)));
  for (const char* file : {"top/a.bmp", "top/sub/b", "top/sub/deep/c.txt"}) WriteWholeFile(directory.File(file), "x");
  const std::string separator(1, platform::PathSeparator());
  using Kind = platform::FileKind;
  using Problem = platform::WalkEntry::Problem;
  std::vector<std::tuple<std::string, Kind, Problem>> expected = {
      {"a.bmp", Kind::kRegular, Problem::kNone},
      {"sub" + separator + "b", Kind::kRegular, Problem::kNone},
      {"sub" + separator + "deep" + separator + "c.txt", Kind::kRegular, Problem::kNone}};
  if (!OnWindows()) {  // links there need a privilege tests do not have
    std::filesystem::create_directory_symlink(directory.File("top"), directory.File("top/sub/up"));
    std::filesystem::create_symlink(directory.File("gone"), directory.File("top/dangling"));
    std::filesystem::create_symlink(directory.File("top/a.bmp"), directory.File("top/link.bmp"));
    expected.emplace_back("link.bmp", Kind::kRegular, Problem::kNone);
    expected.emplace_back("sub/up", Kind::kDirectory, Problem::kNone);
  }
  std::vector<std::tuple<std::string, Kind, Problem>> walked;
  for (const platform::WalkEntry& entry : platform::WalkDirectory(directory.File("top"))) {
    EXPECT_EQ(entry.path, platform::JoinPath(directory.File("top"), entry.relative));
    walked.emplace_back(entry.relative, entry.kind, entry.problem);
  }
  std::sort(walked.begin(), walked.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(walked, expected);

  const std::vector<platform::WalkEntry> missing = platform::WalkDirectory(directory.File("missing"));
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].problem, Problem::kCannotList);
  EXPECT_EQ(missing[0].path, directory.File("missing"));
  EXPECT_EQ(missing[0].relative, "");
  EXPECT_FALSE(missing[0].why.empty());
}

// What the front ends ask of a path before using it.
TEST(Platform, TellsMissingReadableAndSameFiles) {
  TempDirectory directory;
  ASSERT_TRUE(platform::MakeSharedDirectory(directory.File("folder")));
  WriteWholeFile(directory.File("file"), "x");
  const struct {
    std::string path;
    bool missing, readable;
  } cases[] = {{directory.File("file"), false, true},
               {directory.File("folder"), false, false},
               {directory.File("none"), true, false},
               {directory.File("none/deeper"), true, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(platform::IsMissing(c.path), c.missing) << c.path;
    EXPECT_EQ(platform::AccessibleForReading(c.path), c.readable) << c.path;
  }
  EXPECT_TRUE(platform::SameFile(directory.File("folder"), directory.File("folder/../folder")));
  EXPECT_FALSE(platform::SameFile(directory.File("folder"), directory.File("file")));
  EXPECT_FALSE(platform::SameFile(directory.File("none"), directory.File("none")));
}
