#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "control/CacheDownloader.h"
#include "support/CacheFileWriter.h"
#include "support/ProgramDirectoryTest.h"

namespace {

class CacheDownloaderPosixTest : public ProgramDirectoryTest {};

// The URI's query and scheme marks in a name (which Windows names cannot
// hold) still name the file, relative or absolute.
TEST_F(CacheDownloaderPosixTest, CheckFindsFilesNamedWithTheUrisMarks) {
  for (const std::string name : {"a?b#c%25d.db", "file:x.db", "?.db"}) {
    { CacheFileWriter(PathOf(name)).Add(Uniform(1)); }
    EXPECT_TRUE(CacheDownloader::IsCacheDatabase(name)) << name;
    EXPECT_TRUE(CacheDownloader::IsCacheDatabase(PathOf(name))) << name;
    EXPECT_TRUE(CacheDownloader::IsCacheDatabase("./" + name)) << name;
    EXPECT_TRUE(std::filesystem::remove(PathOf(name)));
    EXPECT_FALSE(CacheDownloader::IsCacheDatabase(name)) << name;
  }
}

}  // namespace
