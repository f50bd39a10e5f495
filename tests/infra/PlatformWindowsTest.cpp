// What only Windows does: a file another program holds open without letting
// it be deleted (an editor, a scanner, an indexer) cannot be replaced.
#include "infra/Platform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <thread>

#include "support/TempDirectory.h"

#undef ReplaceFile  // the system's macro, not the platform function

namespace {

// A raw handle as another program would hold it: shared for reading and
// writing but not for deletion, which is what a replacement needs.
class ForeignHold {
 public:
  explicit ForeignHold(const std::string& path)
      : handle_(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ForeignHold() { Release(); }
  ForeignHold(const ForeignHold&) = delete;
  ForeignHold& operator=(const ForeignHold&) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (Held()) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// Held briefly, the replacement waits and succeeds; held throughout, it
// fails after its bounded retry, says why, and both files are as they were.
TEST(PlatformWindows, ReplacingAHeldFileRetriesForAWhileThenFails) {
  using std::chrono::milliseconds;
  const struct {
    const char* name;
    int releaseAfterMs;  // -1: never
    bool replaced;
  } cases[] = {{"not held", 0, true}, {"held briefly", 500, true}, {"held throughout", -1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory directory;  // an ASCII path: CreateFileA takes it as it is
    const std::string from = directory.File("new.db"), to = directory.File("cache.db");
    WriteWholeFile(from, "new");
    WriteWholeFile(to, "old");
    ForeignHold hold(to);
    ASSERT_TRUE(hold.Held());
    if (c.releaseAfterMs == 0) hold.Release();
    std::thread releaser;
    if (c.releaseAfterMs > 0)
      releaser = std::thread([&] {
        std::this_thread::sleep_for(milliseconds(c.releaseAfterMs));
        hold.Release();
      });
    std::string why;
    const auto started = std::chrono::steady_clock::now();
    const bool replaced = platform::ReplaceFile(from, to, &why);
    const auto took = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - started);
    if (releaser.joinable()) releaser.join();
    hold.Release();
    EXPECT_EQ(replaced, c.replaced) << why;
    EXPECT_EQ(ReadWholeFile(to), c.replaced ? "new" : "old");
    EXPECT_EQ(FileExists(from), !c.replaced);
    EXPECT_EQ(why.empty(), c.replaced) << why;
    if (!c.replaced) {
      EXPECT_GE(took, milliseconds(1500)) << "gave up at once";
      EXPECT_LE(took, milliseconds(10000)) << "waited without bound";
    }
  }
}

}  // namespace
