#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "infra/AtomicFile.h"
#include "infra/WriterLock.h"
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

// Which names count as a killed writer's leftovers of "cache.db", and of any
// target of a directory; only old ones are removed.
TEST_F(AtomicFileTest, StaleTemporaryFilesOfAKilledWriterAreRemoved) {
  const struct {
    const char* name;
    bool old;
    bool ofCacheDb;  // removed by RemoveStaleTemporaryFiles("cache.db")
    bool ofAny;      // removed by RemoveStaleTemporaryFilesIn(directory)
  } files[] = {
      {"cache.db", true, false, false},
      {"cache.db.tmp.AbC123", true, true, true},
      {"cache.db.tmp.AbC123-wal", true, true, true},
      {"cache.db.tmp.AbC123-shm", true, true, true},
      {"cache.db.tmp.AbC123-journal", true, true, true},
      {"cache.db.tmp.Qr5678-shm", true, true, true},  // its database file is gone
      {"cache.db.tmp.fresh1", false, false, false},
      {"cache.db.tmp.fresh2-wal", false, false, false},
      {"cache.db.tmp.toolong7", true, false, false},
      {"cache.db.tmp.short", true, false, false},
      {"cache.db.tmp.Ab-12c", true, false, false},
      {"cache.db.tmp.AbC123-other", true, false, false},
      {"cache.db-wal", true, false, false},
      {"xcache.db.tmp.AbC123", true, false, true},
      {"cache.ini.tmp.XyZ987", true, false, true},
      {"12.tmp.Zz9999", true, false, true},
      {".tmp.AbC123", true, false, false},
  };
  for (const bool wholeDirectory : {false, true}) {
    SCOPED_TRACE(wholeDirectory ? "directory" : "cache.db");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
    int expected = 0;
    for (const auto& file : files) {
      WriteWholeFile(dir_.File(file.name), file.name);
      if (file.old) std::filesystem::last_write_time(dir_.File(file.name), old);
      expected += wholeDirectory ? file.ofAny : file.ofCacheDb;
    }
    const int removed = wholeDirectory ? RemoveStaleTemporaryFilesIn(dir_.Path())
                                       : RemoveStaleTemporaryFiles(dir_.File("cache.db"));
    EXPECT_EQ(removed, expected);
    for (const auto& file : files) {
      EXPECT_EQ(FileExists(dir_.File(file.name)), !(wholeDirectory ? file.ofAny : file.ofCacheDb)) << file.name;
    }
  }
  EXPECT_EQ(ReadWholeFile(dir_.File("cache.db")), "cache.db");
}

}  // namespace

namespace {

// Each WriterLock opens the directory anew, so two in one process see each
// other as two processes would.
TEST(WriterLockTest, OnlyAWriterWithoutOthersIsAlone) {
  TempDirectory dir;
  auto first = std::make_unique<WriterLock>(dir.Path());
  EXPECT_TRUE(first->Acquire());
  {
    WriterLock second(dir.Path());
    EXPECT_FALSE(second.Acquire());  // the first is at work
    WriterLock third(dir.Path());
    EXPECT_FALSE(third.Acquire());
  }
  first.reset();
  WriterLock later(dir.Path());
  EXPECT_TRUE(later.Acquire());
  WriterLock nowhere(dir.File("missing"));
  EXPECT_FALSE(nowhere.Acquire());
}

}  // namespace
