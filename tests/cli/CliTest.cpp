#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"
#include "infra/TextEncoding.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDirectory.h"

extern char** environ;

namespace {

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

struct Outcome {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// One uniform grey picture, as BMP bytes.
std::string GreyBmp(int level) {
  DecodedImage image;
  image.Allocate(12, 12, false);
  for (int y = 0; y < 12; ++y) {
    std::uint8_t* row = image.Row8(y);
    for (int x = 0; x < 12; ++x) {
      row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = static_cast<std::uint8_t>(level);
      row[x * 4 + 3] = 255;
    }
  }
  std::string bytes;
  EXPECT_TRUE(ImageWriter::EncodeBmp(image, &bytes));
  return bytes;
}

struct Row {
  std::string id;
  std::string titleUtf8;
  std::string posterUtf8;
  int level;  // every signature value
};

// A cache database with the given rows, texts stored as Shift-JIS.
std::string CacheBytes(const std::string& directory, const std::vector<Row>& rows) {
  const std::string path = directory + "built.db";
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::string sql = "create table TintwiseCache(id, title, name, good, bad, adult";
  for (int i = 0; i <= 26; ++i) sql += ", c" + std::to_string(i);
  sql += ", image_file_name);";
  for (const Row& row : rows) {
    sql += "insert into TintwiseCache values(" + row.id + ", '" + Utf8ToCp932(row.titleUtf8) + "', '" +
           Utf8ToCp932(row.posterUtf8) + "', 0, 0, 0";
    for (int i = 0; i <= 26; ++i) sql += ", " + std::to_string(row.level);
    sql += ", 'f');";
  }
  EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr));
  sqlite3_close(db);
  std::string bytes = ReadWholeFile(path);
  std::filesystem::remove(path);
  return bytes;
}

}  // namespace

// Runs the built tintwise-cli with a temporary program directory.
class CliTest : public ::testing::Test {
 protected:
  Outcome Run(std::vector<std::string> arguments) {
    const std::string outPath = work_.File("stdout"), errPath = work_.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    arguments.insert(arguments.begin(), std::string(TINTWISE_BIN_DIR) + "/tintwise-cli");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    Outcome outcome;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int wstatus = 0;
      waitpid(pid, &wstatus, 0);
      outcome.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = ReadWholeFile(outPath);
    outcome.err = ReadWholeFile(errPath);
    return outcome;
  }

  // A command run in the program directory, against the loopback cache server.
  Outcome RunIn(const std::string& command, std::vector<std::string> operands = {}) {
    std::vector<std::string> arguments = {"--dir", program_.Path(), "--cache-host", server_.Host(), command};
    arguments.insert(arguments.end(), operands.begin(), operands.end());
    return Run(arguments);
  }

  std::string CacheFile() const { return program_.File("cache.db"); }

  TempDirectory program_;
  TempDirectory work_;
  LoopbackHttpServer server_;
};

TEST_F(CliTest, VersionAndHelpSucceed) {
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tintwise-cli ", 0), 0u);
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("update"), std::string::npos);
}

TEST_F(CliTest, BadArgumentsAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"search"},
      {"search", "a.png", "b.png"},
      {"update", "extra"},
      {"--dir"},
      {"--colour", "update"},
      {"--dir", "/no/such/directory", "update"},
  };
  for (const auto& arguments : cases) {
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.status, 2) << testing::PrintToString(arguments);
    EXPECT_NE(outcome.err.find("tintwise-cli: "), std::string::npos);
  }
}

TEST_F(CliTest, UpdateReplacesTheCacheAndSucceeds) {
  const std::string fresh = CacheBytes(work_.Path(), {{"7", "a", "b", 1}});
  server_.Serve("/mofu/cache.db", fresh);
  const Outcome outcome = RunIn("update");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, Utf8(u8"キャッシュファイルのダウンロード中\nキャッシュファイルのダウンロードが完了しました\n"));
  EXPECT_EQ(ReadWholeFile(CacheFile()), fresh);
  EXPECT_EQ(server_.Requests().at(0).userAgent, "Tintwise");
  EXPECT_TRUE(FileExists(program_.File("log.txt")));
}

TEST_F(CliTest, FailedUpdateKeepsTheCacheAndFails) {
  const std::string old = CacheBytes(work_.Path(), {{"7", "a", "b", 1}});
  WriteWholeFile(CacheFile(), old);
  server_.Serve("/mofu/cache.db", "not a database");
  const Outcome outcome = RunIn("update");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, Utf8(u8"キャッシュファイルのダウンロード中\nキャッシュファイルのダウンロードに失敗しました\n"));
  EXPECT_EQ(ReadWholeFile(CacheFile()), old);
}

TEST_F(CliTest, SearchPrintsTheClosestRowsAsUtf8Columns) {
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"11", Utf8(u8"遠い\t絵"), Utf8(u8"誰か"), 10},
                                                          {"12", Utf8(u8"同じ絵"), Utf8(u8"投稿者"), 100},
                                                          {"13", Utf8(u8"近い絵"), Utf8(u8"別人"), 101}}));
  WriteWholeFile(work_.File("query.bmp"), GreyBmp(100));
  const Outcome outcome = RunIn("search", {work_.File("query.bmp")});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, Utf8(u8"0000\t12\t同じ絵\t投稿者\n"
                              u8"0027\t13\t近い絵\t別人\n"
                              u8"2430\t11\t遠い 絵\t誰か\n"));
  EXPECT_NE(outcome.err.find(Utf8(u8"検索終了")), std::string::npos);
}

TEST_F(CliTest, SearchFailsWithoutAnImageOrACache) {
  EXPECT_EQ(RunIn("search", {work_.File("missing.png")}).status, 1);
  WriteWholeFile(work_.File("query.bmp"), GreyBmp(100));
  const Outcome outcome = RunIn("search", {work_.File("query.bmp")});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("cache.db"), std::string::npos);
}

TEST_F(CliTest, SearchTakesAnotherDatabaseAHitCountAndPrintsTimings) {
  WriteWholeFile(work_.File("other.db"), CacheBytes(work_.Path(), {{"1", "a", "p", 90},
                                                                     {"2", "b", "p", 100},
                                                                     {"3", "c", "p", 120}}));
  WriteWholeFile(work_.File("query.bmp"), GreyBmp(100));
  const Outcome outcome =
      RunIn("search", {work_.File("query.bmp"), "--db", work_.File("other.db"), "--top", "2", "--stats"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "0000\t2\tb\tp\n0270\t1\ta\tp\n");
  const size_t stats = outcome.err.find("load_ms=");
  ASSERT_NE(stats, std::string::npos) << outcome.err;
  const std::string line = outcome.err.substr(stats, outcome.err.find('\n', stats) - stats);
  EXPECT_NE(line.find(" signature_ms="), std::string::npos) << line;
  EXPECT_NE(line.find(" search_ms="), std::string::npos) << line;
  EXPECT_EQ(line.substr(line.size() - 7), " rows=3") << line;
  EXPECT_FALSE(FileExists(CacheFile()));
}

TEST_F(CliTest, SearchNeverCreatesAMissingDatabase) {
  WriteWholeFile(work_.File("query.bmp"), GreyBmp(100));
  const Outcome outcome = RunIn("search", {work_.File("query.bmp")});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_FALSE(FileExists(CacheFile()));
  EXPECT_EQ(RunIn("search", {work_.File("query.bmp"), "--db", work_.File("nothing.db")}).status, 1);
  EXPECT_FALSE(FileExists(work_.File("nothing.db")));
  EXPECT_EQ(RunIn("search", {work_.File("query.bmp"), "--top", "0"}).status, 2);
  EXPECT_EQ(RunIn("update", {"--stats"}).status, 2);
}

TEST_F(CliTest, SignaturePrintsOneLinePerFileInOrder) {
  WriteWholeFile(work_.File("grey.bmp"), GreyBmp(100));
  WriteWholeFile(work_.File("dark.bmp"), GreyBmp(7));
  const Outcome outcome = RunIn("signature", {work_.File("grey.bmp"), work_.File("dark.bmp")});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  std::string grey, dark;
  for (int i = 0; i < 27; ++i) {
    grey += "100,";
    dark += "7,";
  }
  EXPECT_EQ(outcome.out, grey + "\t" + work_.File("grey.bmp") + "\n" + dark + "\t" + work_.File("dark.bmp") + "\n");
}

TEST_F(CliTest, SignatureOfAnUnreadableFileSaysErrorAndFailsAfterTheLastFile) {
  WriteWholeFile(work_.File("grey.bmp"), GreyBmp(100));
  WriteWholeFile(work_.File("text.png"), "not an image at all");
  const Outcome outcome =
      RunIn("signature", {work_.File("text.png"), work_.File("missing.jpg"), work_.File("grey.bmp")});
  EXPECT_EQ(outcome.status, 1);
  const std::string expectedTail = "\t" + work_.File("grey.bmp") + "\n";
  EXPECT_EQ(outcome.out.substr(0, outcome.out.find('\n', outcome.out.find('\n') + 1) + 1),
            "error\t" + work_.File("text.png") + "\nerror\t" + work_.File("missing.jpg") + "\n");
  EXPECT_EQ(outcome.out.substr(outcome.out.size() - expectedTail.size()), expectedTail);
  EXPECT_NE(outcome.err.find(work_.File("text.png")), std::string::npos);
  EXPECT_NE(outcome.err.find(work_.File("missing.jpg")), std::string::npos);
  EXPECT_EQ(Run({"signature"}).status, 2);
}

// check: one line per picture in the order found, folders recursively by
// content, errors as lines with the reason on stderr, and JSON lines.
TEST_F(CliTest, CheckPrintsAVerdictPerPictureAndErrorsAsLines) {
  WriteWholeFile(CacheFile(), CacheBytes(work_.Path(), {{"11", Utf8(u8"同じ絵"), Utf8(u8"投稿者"), 100},
                                                          {"12", "far", "b", 10},
                                                          {"13", "farther", "c", 250}}));
  std::filesystem::create_directories(work_.File("pics/sub"));
  WriteWholeFile(work_.File("pics/b.bmp"), GreyBmp(100));
  WriteWholeFile(work_.File("pics/sub/a.dat"), GreyBmp(180));  // a picture by content, whatever its name
  WriteWholeFile(work_.File("pics/notes.txt"), "not a picture");  // skipped inside a folder
  WriteWholeFile(work_.File("text.png"), "not a picture");        // named: an error line
  const Outcome outcome =
      RunIn("check", {work_.File("pics"), work_.File("text.png"), "--jobs", "2", "--db", CacheFile()});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, Utf8(u8"posted\t0\t11\tsame\t同じ絵\t投稿者\t") + work_.File("pics") + "/b.bmp\n" +
                             "new\t1890\t13\tsame\tfarther\tc\t" + work_.File("pics") + "/sub/a.dat\n" +
                             "error\t\t\t\t\t\t" + work_.File("text.png") + "\n");
  EXPECT_NE(outcome.err.find(work_.File("text.png") + ": "), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("checked 3 pictures"), std::string::npos) << outcome.err;

  const Outcome json = RunIn("check", {"--json", work_.File("pics/b.bmp"), "--db", CacheFile()});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out, Utf8(u8"{\"verdict\":\"posted\",\"difference\":0,\"id\":\"11\",\"match\":\"same\",\"title\":"
                           u8"\"同じ絵\",\"poster\":\"投稿者\",\"path\":\"") +
                          work_.File("pics/b.bmp") + "\"}\n");
  // Usage: check needs an operand; --json and --jobs go with check only.
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"check"}, {"check", "a.png", "--jobs", "0"}, {"search", "a.png", "--json"}, {"signature", "a", "--jobs", "2"}}) {
    EXPECT_EQ(Run(bad).status, 2) << testing::PrintToString(bad);
  }
  EXPECT_EQ(RunIn("check", {work_.File("pics/b.bmp"), "--db", work_.File("none.db")}).status, 1);
}
