#include "cli/CliFixture.h"

#include <sqlite3.h>

#include <filesystem>

#include "imaging/DecodedImage.h"
#include "imaging/ImageWriter.h"
#include "infra/TextEncoding.h"

namespace {

std::string Doubled(const std::string& text) {
  std::string doubled;
  for (const char c : text) doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return doubled;
}

}  // namespace

std::string Shown(const std::string& path) { return Doubled(path); }

std::string JsonInside(const std::string& text) { return Doubled(text); }

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

std::string CliTest::Cli() { return ExecutableFile(std::string(TINTWISE_BIN_DIR) + "/tintwise-cli"); }

Outcome CliTest::Run(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), Cli());
  return Spawn(arguments, "");
}

Outcome CliTest::Spawn(std::vector<std::string> arguments, const std::string& directory, std::string outPath,
                       const std::function<void(ChildProcess&)>& whileRunning) {
  const bool keepOut = outPath.empty();  // a device given instead is not read back
  if (keepOut) outPath = work_.File("stdout");
  const std::string errPath = work_.File("stderr");
  Outcome outcome;
  {
    ChildProcess child(arguments, ChildStreams{outPath, errPath, directory});
    if (child.Started() && whileRunning) whileRunning(child);
    outcome.status = child.Wait();
  }
  if (keepOut) outcome.out = ReadWholeFile(outPath);
  outcome.err = ReadWholeFile(errPath);
  return outcome;
}

Outcome CliTest::RunIn(const std::string& command, std::vector<std::string> operands) {
  std::vector<std::string> arguments = {"--dir", program_.Path(), "--cache-host", server_.Host(), command};
  arguments.insert(arguments.end(), operands.begin(), operands.end());
  return Run(arguments);
}

Outcome CliTest::Generate(const std::function<void(ChildProcess&)>& whileRunning) {
  return Spawn({Cli(), "--dir", program_.Path(), "--site-host", server_.Host(), "--cache-host", server_.Host(),
                "generate"},
               "", "", whileRunning);
}

bool CliTest::InterruptOrEnd(ChildProcess& child) {
  if (child.Interrupt()) return true;
  child.Kill();
  return false;
}
