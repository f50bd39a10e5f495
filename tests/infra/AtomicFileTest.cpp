#include <gtest/gtest.h>

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

}  // namespace
