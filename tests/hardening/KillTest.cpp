// The program killed (SIGKILL) at random moments while it replaces the
// user's files: during a cache update, and during the save and export of a
// generation run. After every kill "cache.db" and "cache.ini" are either the
// old or the new ones, and the program starts and searches.
// TINTWISE_KILL_ROUNDS sets the kills per scenario (default 30).
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hardening/CacheFiles.h"
#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"
#include "control/Control.h"
#include "support/ChildProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/RecordingView.h"
#include "support/TempDirectory.h"
#include "infra/Environment.h"
#include "infra/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kSignature = "10,20,30,40,50,60,70,80,90,100,110,120,130,140,150,160,170,180,190,200,210,220,230,"
                               "240,250,5,15,";

int Rounds() {
  const char* rounds = std::getenv("TINTWISE_KILL_ROUNDS");
  return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : 30;
}

std::string Png(std::uint8_t level) {
  DecodedImage image;
  image.Allocate(16, 16, false);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      std::uint8_t* pixel = image.Row8(y) + x * 4;
      pixel[0] = level;
      pixel[1] = static_cast<std::uint8_t>(x * 16);
      pixel[2] = static_cast<std::uint8_t>(y * 16);
      pixel[3] = 255;
    }
  }
  std::string bytes;
  EXPECT_TRUE(ImageWriter::EncodePng(image, &bytes));
  return bytes;
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    random_.seed(seed_);
    // The checks load "cache.db" in this process too.
    InitializeEnvironmentAt(Dir());
    WriteWholeFile(Dir() + "query.png", Png(99));
  }

  const std::string& Dir() const { return program_.Path(); }
  std::string PathOf(const std::string& name) const { return program_.File(name); }

  // Starts tintwise-cli on the program directory; output goes to files of the
  // work directory.
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& command) {
    std::vector<std::string> arguments = {ExecutableFile(std::string(TINTWISE_BIN_DIR) + "/tintwise-cli"), "--dir",
                                          Dir(), "--site-host", server_.Host(), "--cache-host", server_.Host()};
    arguments.insert(arguments.end(), command.begin(), command.end());
    auto child = std::make_unique<ChildProcess>(arguments, ChildStreams{work_.File("stdout"), work_.File("stderr")});
    EXPECT_TRUE(child->Started());
    return child;
  }

  // Runs a command to its end; its exit status and how long it took.
  int RunToEnd(const std::vector<std::string>& command, double* seconds = nullptr) {
    const Clock::time_point start = Clock::now();
    const int status = Start(command)->Wait();
    if (seconds != nullptr) *seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return status;
  }

  // Starts a command and kills it after a random time below `limit` seconds.
  void KillDuring(const std::vector<std::string>& command, double limit) {
    std::uniform_real_distribution<double> delay(0.0, limit);
    const std::unique_ptr<ChildProcess> child = Start(command);
    std::this_thread::sleep_for(std::chrono::duration<double>(delay(random_)));
    child->Kill();
    child->Wait();
  }

  // The state a user finds: both files whole, the table loads, and the
  // program searches it.
  void ExpectUsable(int expectedRows) {
    RecordingView view;
    Control control(view);
    ASSERT_TRUE(control.OpenDatabase());
    EXPECT_EQ(expectedRows, control.RowCount());
    ASSERT_EQ(0, RunToEnd({"search", Dir() + "query.png"})) << ReadWholeFile(work_.File("stderr"));
    EXPECT_NE("", ReadWholeFile(work_.File("stdout")));
  }

  // Counts what killed runs left behind (their temporary files and the
  // database library's files beside them).
  void CountLeftovers() {
    for (const std::string& name : FilesIn(Dir())) {
      if (name.find(".tmp.") != std::string::npos) leftovers_.insert(name);
    }
  }

  // After a complete run nothing of the killed ones is left.
  void ExpectNoLeftovers() {
    for (const std::string& directory : {Dir(), PathOf("php/"), PathOf("image/")}) {
      if (!std::filesystem::is_directory(directory)) continue;
      for (const std::string& name : FilesIn(directory)) EXPECT_EQ(name.find(".tmp."), std::string::npos) << name;
    }
  }

  const unsigned seed_ = std::random_device{}();
  std::mt19937 random_;
  TempDirectory program_;
  TempDirectory work_;
  LoopbackHttpServer server_;
  std::set<std::string> leftovers_;
};

TEST_F(KillTest, CacheUpdateKilledAnywhereLeavesOldOrNewCache) {
  SCOPED_TRACE("seed " + std::to_string(seed_));
  WriteCacheDatabase(PathOf("cache.db"), 300);
  const std::string oldCache = ReadWholeFile(PathOf("cache.db"));
  WriteCacheDatabase(work_.File("new.db"), 9000);
  const std::string newCache = ReadWholeFile(work_.File("new.db"));
  // Sent slowly, so that kills land in the transfer as well as around the
  // check and the rename.
  server_.Handle("/mofu/cache.db", [&newCache](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(newCache.size(), "application/octet-stream",
                                  [&newCache](size_t offset, size_t, httplib::DataSink& sink) {
                                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                    const size_t length = std::min<size_t>(32768, newCache.size() - offset);
                                    return sink.write(newCache.data() + offset, length);
                                  });
  });

  double full = 0;
  ASSERT_EQ(0, RunToEnd({"update"}, &full));
  ASSERT_EQ(newCache, ReadWholeFile(PathOf("cache.db")));

  int replaced = 0;
  for (int round = 0; round < Rounds(); ++round) {
    WriteWholeFile(PathOf("cache.db"), oldCache);
    KillDuring({"update"}, full * 1.2);
    const std::string now = ReadWholeFile(PathOf("cache.db"));
    ASSERT_TRUE(now == oldCache || now == newCache) << "round " << round;
    replaced += now == newCache;
    ExpectUsable(now == newCache ? 9000 : 300);
    CountLeftovers();
  }
  ASSERT_EQ(0, RunToEnd({"update"}));
  ExpectNoLeftovers();
  RecordProperty("replaced", replaced);
  RecordProperty("leftovers", static_cast<int>(leftovers_.size()));
}

TEST_F(KillTest, GenerationRunKilledAnywhereLeavesOldOrNewFiles) {
  SCOPED_TRACE("seed " + std::to_string(seed_));
  // Many earlier records, so that saving and exporting them takes most of
  // the run; three new ids on the site.
  std::string records;
  for (int id = 100000; id < 120000; ++id) {
    records += "[" + std::to_string(id) + "]\r\nADULT=0\r\nBAD=0\r\nCACHE=" + kSignature + "\r\nGOOD=2\r\nNAME=poster " +
               std::to_string(id) + "\r\nTITLE=title " + std::to_string(id) + "\r\n";
  }
  WriteWholeFile(PathOf("cache.ini"), records);
  platform::MakeSharedDirectory(PathOf("image"));
  for (int id = 1; id <= 3; ++id) {
    const std::string image = "/img/" + std::to_string(id) + ".png";
    std::string page = "<html><title>mofu!new " + std::to_string(id) + "</title><img src=\"" + server_.Url(image) +
                       "\"><a href=\"../ii?g\">good:<b>1</b></a><a href=\"../ii?b\">bad:<b>0</b></a>";
    page.resize(5000, ' ');
    server_.Serve("/mofuimg/pimg.php?imgid=" + std::to_string(id), page, "text/html");
    server_.Serve(image, Png(static_cast<std::uint8_t>(id * 60)), "image/png");
  }

  // The old state: the records as a run over a deleted id (a page without a
  // title) saves and exports them.
  server_.Serve("/mofuimg/pimg.php?imgid=9", std::string(5000, ' ') + "../ii:>5 ../ii:>6", "text/html");
  WriteWholeFile(PathOf("cache_setting.ini"), "START=9\r\nEND=9\r\n");
  ASSERT_EQ(0, RunToEnd({"generate"}));
  const std::string oldRecords = ReadWholeFile(PathOf("cache.ini"));
  const std::string oldCache = ReadWholeFile(PathOf("cache.db"));
  ASSERT_EQ(20000, CheckedRowCount(PathOf("cache.db")));

  // The new state: a whole run over the three ids (pages and images are kept
  // for the runs that follow).
  WriteWholeFile(PathOf("cache_setting.ini"), "START=1\r\nEND=3\r\n");
  double full = 0;
  ASSERT_EQ(0, RunToEnd({"generate"}, &full));
  const std::string newRecords = ReadWholeFile(PathOf("cache.ini"));
  ASSERT_EQ(20003, CheckedRowCount(PathOf("cache.db")));
  ASSERT_NE(oldRecords, newRecords);

  int newBoth = 0;
  for (int round = 0; round < Rounds(); ++round) {
    WriteWholeFile(PathOf("cache.ini"), oldRecords);
    WriteWholeFile(PathOf("cache.db"), oldCache);
    KillDuring({"generate"}, full * 1.2);
    const std::string nowRecords = ReadWholeFile(PathOf("cache.ini"));
    ASSERT_TRUE(nowRecords == oldRecords || nowRecords == newRecords) << "round " << round;
    const int rows = CheckedRowCount(PathOf("cache.db"));
    ASSERT_TRUE(rows == 20000 || rows == 20003) << "round " << round << ": " << rows << " rows";
    // The database is replaced only after the records were saved.
    if (rows == 20003) {
      EXPECT_EQ(newRecords, nowRecords) << "round " << round;
    }
    newBoth += rows == 20003;
    ExpectUsable(rows);
    CountLeftovers();
  }
  ASSERT_EQ(0, RunToEnd({"generate"}));
  ExpectNoLeftovers();
  RecordProperty("new", newBoth);
  RecordProperty("leftovers", static_cast<int>(leftovers_.size()));
}

}  // namespace
