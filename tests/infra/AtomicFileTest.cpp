#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "infra/AtomicFile.h"
#include "support/TempDirectory.h"

namespace {

class AtomicFileTest : public ::testing::Test {
 protected:
  size_t EntryCount() const {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.Path())) ++count;
    return count;
  }
  TempDirectory dir_;
};

TEST_F(AtomicFileTest, TargetChangesOnlyAtCommit) {
  const std::string target = dir_.File("data");
  WriteWholeFile(target, "old");
  AtomicFile file(target);
  ASSERT_TRUE(file.Ok());
  ASSERT_TRUE(file.Write("new "));
  ASSERT_TRUE(file.Write("content"));
  EXPECT_EQ(ReadWholeFile(target), "old");
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadWholeFile(target), "new content");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, UncommittedFileIsRemovedAndTargetKept) {
  const std::string target = dir_.File("data");
  WriteWholeFile(target, "old");
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Write("partial"));
  }
  EXPECT_EQ(ReadWholeFile(target), "old");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, ClosedFileCanBeInspectedThenCommitted) {
  const std::string target = dir_.File("data");
  AtomicFile file(target);
  ASSERT_TRUE(file.Write("abc"));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(ReadWholeFile(file.TemporaryPath()), "abc");
  EXPECT_FALSE(FileExists(target));
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadWholeFile(target), "abc");
}

TEST_F(AtomicFileTest, UnwritableDirectoryFailsCleanly) {
  AtomicFile file(dir_.File("no/such/dir/data"));
  EXPECT_FALSE(file.Ok());
  EXPECT_FALSE(file.Write("x"));
  EXPECT_FALSE(file.Commit());
  EXPECT_FALSE(WriteFileAtomically(dir_.File("no/such/dir/data"), "x"));
}

TEST_F(AtomicFileTest, StaleTemporaryFilesOfAKilledWriterAreRemoved) {
  const std::string target = dir_.File("cache.db");
  WriteWholeFile(target, "kept");
  WriteWholeFile(target + ".tmp.AbC123", "left by a killed run");
  WriteWholeFile(target + ".tmp.fresh1", "being written right now");
  WriteWholeFile(target + ".tmp.toolong7", "not one of ours");
  WriteWholeFile(dir_.File("cache.ini.tmp.XyZ987"), "another target's");
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  for (const char* name : {"cache.db.tmp.AbC123", "cache.db.tmp.toolong7", "cache.ini.tmp.XyZ987"})
    std::filesystem::last_write_time(dir_.File(name), old);

  EXPECT_EQ(RemoveStaleTemporaryFiles(target), 1);
  EXPECT_FALSE(FileExists(target + ".tmp.AbC123"));
  EXPECT_TRUE(FileExists(target + ".tmp.fresh1"));
  EXPECT_TRUE(FileExists(target + ".tmp.toolong7"));
  EXPECT_TRUE(FileExists(dir_.File("cache.ini.tmp.XyZ987")));
  EXPECT_EQ(ReadWholeFile(target), "kept");
}

}  // namespace
