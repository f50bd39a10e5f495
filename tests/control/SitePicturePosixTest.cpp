// The site-picture cache against what only Linux file systems hold (FIFOs,
// links to devices) and its place under the XDG cache directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "control/SitePictureCache.h"
#include "control/SitePictureFixture.h"

namespace {

// Only a regular file of at most the limit is a kept picture. Anything else
// under an entry's name is a miss at once: nothing is waited on, read without
// end or followed, and a link's target keeps its times.
TEST_F(SitePictureTest, AnEntryThatIsNotARegularFileIsAMissAndNothingBehindItIsTouched) {
  const std::string site = PathOf("site/");
  const std::string outside = PathOf("outside.png");
  const std::string entry = site + "site-7";
  struct Case {
    const char* what;
    std::function<void()> make;
    bool removed;  // the name is cleared so that the picture can be kept again
  };
  const std::vector<Case> cases = {
      {"fifo", [&] { ASSERT_EQ(::mkfifo(entry.c_str(), 0600), 0); }, true},
      {"link to /dev/zero", [&] { std::filesystem::create_symlink("/dev/zero", entry); }, true},
      {"link to a file elsewhere", [&] { std::filesystem::create_symlink(outside, entry); }, true},
      {"directory", [&] { std::filesystem::create_directory(entry); }, false},
      {"oversized file", [&] { WriteWholeFile(entry, std::string(1001, 'o')); }, true},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(site);
    std::filesystem::create_directories(site);
    WriteWholeFile(outside, "elsewhere");
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, outside.c_str(), old, 0), 0);
    c.make();
    SitePictureCache cache(site, 1000);
    // A Find blocked on a FIFO is released by a writer, so that a failure
    // shows as a hit instead of a hung test.
    std::future<std::optional<std::string>> found =
        std::async(std::launch::async, [&] { return cache.Find("7"); });
    if (found.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
      const int writer = ::open(entry.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0 && ::write(writer, "x", 1) == 1) ADD_FAILURE() << c.what << ": Find waited on a FIFO";
      if (writer >= 0) ::close(writer);
    }
    EXPECT_FALSE(found.get()) << c.what;
    struct stat info {};
    ASSERT_EQ(::stat(outside.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000) << c.what;
    EXPECT_EQ(ReadWholeFile(outside), "elsewhere") << c.what;
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(entry)), !c.removed) << c.what;
    cache.Store("7", "kept");
    EXPECT_EQ(cache.Find("7").value_or(""), c.removed ? "kept" : "") << c.what;
    EXPECT_EQ(cache.TotalBytes(), c.removed ? 4u : 0u) << c.what;
  }
}

TEST_F(SitePictureTest, TheCacheLivesUnderTheUsersCacheDirectory) {
  const char* saved = std::getenv("XDG_CACHE_HOME");
  const std::string savedValue = saved ? saved : "";
  setenv("XDG_CACHE_HOME", "/x/cache", 1);
  EXPECT_EQ(SitePictureCache::DefaultDirectory(), "/x/cache/tintwise/site/");
  setenv("XDG_CACHE_HOME", "relative", 1);
  EXPECT_EQ(SitePictureCache::DefaultDirectory(), std::string(std::getenv("HOME")) + "/.cache/tintwise/site/");
  if (saved) {
    setenv("XDG_CACHE_HOME", savedValue.c_str(), 1);
  } else {
    unsetenv("XDG_CACHE_HOME");
  }
}

}  // namespace
