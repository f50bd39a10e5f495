#include <gtest/gtest.h>

#include <string>

#include "cachebuild/ToSqlite.h"
#include "control/CacheDownloader.h"
#include "imaging/D3DDevice.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/InternetFile.h"
#include "infra/InternetSession.h"
#include "infra/Platform.h"
#include "infra/SettingFile.h"
#include "infra/TextEncoding.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"

namespace {

class LogEncodingTest : public ProgramDirectoryTest {};

// Failures of real operations on paths and addresses that Shift-JIS holds
// only in part: the log stays code page 932 and names each one exactly.
TEST_F(LogEncodingTest, PathsAndUrlsAreLoggedAsShiftJis) {
  // U+301C WAVE DASH, a vendor character and an emoji (a byte that is not
  // UTF-8, which only Linux names hold, in LogEncodingPosixTest).
  const std::string folder = PathOf("写真〜①😀");
  const std::string folderShown = PathForLog(Dir()) + "写真\\u{301C}①\\u{1F600}";  // the log doubles a backslash
  ASSERT_TRUE(platform::MakeDirectory(folder));
  const std::string picture = folder + "/壊れた.gif";
  WriteWholeFile(picture, "GIF89a and nothing more");
  D3DDevice::Initialize();
  ImageCacheDirectX signature;
  EXPECT_FALSE(signature.LoadImage(picture));
  D3DDevice::Shutdown();

  InternetSession session("test");
  { InternetFile unparsable("ftp://例え〜/a", session); }

  LoopbackHttpServer server;
  server.Serve("/cache.db", "body");
  EXPECT_FALSE(CacheDownloader().Download(session, server.Url("/cache.db"), folder + "/無い/cache.db"));

  SettingFile records;
  records.Set("1", "TITLE", "t");
  EXPECT_FALSE(ToSqlite(records, folder + "/無い/out.db").Export());

  const std::string log = LogText();
  const std::string shown = Cp932ToUtf8(log);
  EXPECT_EQ(std::string::npos, shown.find("\xEF\xBF\xBD")) << shown;  // no byte failed to decode
  for (const std::string& name : {folderShown + "/壊れた.gif", std::string("ftp://例え\\u{301C}/a"),
                                  folderShown + "/無い/cache.db", folderShown + "/無い/out.db"}) {
    EXPECT_NE(std::string::npos, shown.find(name)) << name << "\n" << shown;
  }
}

}  // namespace
