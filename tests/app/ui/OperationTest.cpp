#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "app/ui/CTintwiseDlg.h"
#include "demosite/DemoCatalog.h"
#include "demosite/DemoSite.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "support/CacheFileWriter.h"
#include "control/Control.h"
#include "support/ProgramDirectoryTest.h"

namespace {

std::string Utf8(std::u8string_view utf8) { return std::string(utf8.begin(), utf8.end()); }

// The window's long operations against the demo site, served in-process on a
// loopback port.
class OperationTest : public ProgramDirectoryTest {
 protected:
  static constexpr int kLastId = 120;

  static void SetUpTestSuite() { catalog_ = std::make_unique<DemoCatalog>(kLastId); }
  static void TearDownTestSuite() { catalog_.reset(); }

  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    siteHost_ = SiteHost();
    cacheHost_ = CacheHost();
    site_ = std::make_unique<DemoSite>(*catalog_);
    ASSERT_TRUE(site_->Start("127.0.0.1", 0));
    const std::string host = "127.0.0.1:" + std::to_string(site_->Port());
    OverrideServerHosts(host, host);
  }

  void TearDown() override {
    dialog_.reset();
    site_.reset();
    OverrideServerHosts(siteHost_, cacheHost_);
    ProgramDirectoryTest::TearDown();
  }

  void OpenDialog() {
    CTintwiseDlg::Options options;
    options.programDirectory = Dir();
    dialog_ = std::make_unique<CTintwiseDlg>(std::move(options));
    dialog_->show();
    WaitUntilIdle();
  }

  void WaitUntilIdle() { ASSERT_TRUE(QTest::qWaitFor([this] { return !dialog_->IsBusy(); }, 60000)); }

  void WaitForStatusStartingWith(const std::string& prefix) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status().rfind(prefix, 0) == 0; }, 60000)) << Status();
  }

  // The run keeps the images in "image" beside the program, which it
  // expects to exist.
  void WriteIdRange(int start, int end) {
    std::filesystem::create_directory(PathOf("image"));
    WriteWholeFile(PathOf("cache_setting.ini"),
                   "START=" + std::to_string(start) + "\r\nEND=" + std::to_string(end) + "\r\n");
  }

  // Has the site serve a cache of `rows` entries at /mofu/cache.db.
  void ServeCacheOf(int rows) {
    const std::string path = PathOf("prebuilt.db");
    {
      CacheFileWriter cache(path);
      for (int i = 0; i < rows; ++i) cache.Add(Uniform(i));
    }
    site_->SetCacheDatabase(ReadWholeFile(path));
  }

  bool StatusFits() const {
    const QLabel& status = dialog_->StatusLine();
    return status.heightForWidth(status.width()) <= status.height();
  }

  std::string Status() const { return dialog_->StatusLine().text().toStdString(); }
  QPushButton& Button(int place) const { return *dialog_->Buttons()[place]; }

  static std::unique_ptr<DemoCatalog> catalog_;
  std::unique_ptr<DemoSite> site_;
  std::unique_ptr<CTintwiseDlg> dialog_;
  std::string siteHost_;
  std::string cacheHost_;
};

std::unique_ptr<DemoCatalog> OperationTest::catalog_;

TEST_F(OperationTest, AbortStopsTheGenerationRunBeforeItsNextId) {
  WriteIdRange(1, kLastId);
  OpenDialog();
  dialog_->OnGenerateCache();
  WaitForStatusStartingWith(Utf8(u8"キャッシュ生成中\n"));
  EXPECT_FALSE(Button(CTintwiseDlg::kOpen).isEnabled());
  QTest::mouseClick(&Button(CTintwiseDlg::kAbort), Qt::LeftButton);
  WaitUntilIdle();
  EXPECT_EQ(Utf8(u8"キャッシュ生成終了"), Status());
  const int rows = dialog_->GetControl()->RowCount();
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, kLastId - kLastId / 29);  // fewer than the whole range gives
  EXPECT_TRUE(Button(CTintwiseDlg::kOpen).isEnabled());
  EXPECT_FALSE(Button(CTintwiseDlg::kSecret).isEnabled());
}

TEST_F(OperationTest, ExitDuringTheGenerationRunSavesWhatWasFetchedAndCloses) {
  WriteIdRange(1, kLastId);
  OpenDialog();
  dialog_->OnGenerateCache();
  WaitForStatusStartingWith(Utf8(u8"キャッシュ生成中\n"));
  QTest::mouseClick(&Button(CTintwiseDlg::kExit), Qt::LeftButton);  // disabled: nothing happens
  EXPECT_TRUE(dialog_->isVisible());
  dialog_->close();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !dialog_->isVisible(); }, 60000));
  EXPECT_FALSE(dialog_->IsBusy());
  EXPECT_TRUE(FileExists(PathOf("cache.ini")));
  EXPECT_GT(dialog_->GetControl()->RowCount(), 0);
}

// Without an id range the run does not start; the status line says why and
// the loaded cache stays.
TEST_F(OperationTest, GenerationRunWithoutARangeSaysWhyAndKeepsTheCache) {
  {
    CacheFileWriter cache(PathOf("cache.db"));
    for (int i = 0; i < 4; ++i) cache.Add(Uniform(i));
  }
  const std::string database = ReadWholeFile(PathOf("cache.db"));
  OpenDialog();
  dialog_->OnGenerateCache();
  WaitUntilIdle();
  EXPECT_EQ(Utf8(u8"cache_setting.iniが見つかりません"), Status());
  EXPECT_TRUE(StatusFits());
  EXPECT_EQ(4, dialog_->GetControl()->RowCount());
  EXPECT_EQ(database, ReadWholeFile(PathOf("cache.db")));
  EXPECT_FALSE(FileExists(PathOf("cache.ini")));
}

TEST_F(OperationTest, CacheUpdateReplacesTheCacheAndSaysSo) {
  ServeCacheOf(7);
  OpenDialog();
  ASSERT_EQ(0, dialog_->GetControl()->RowCount());
  QTest::mouseClick(&Button(CTintwiseDlg::kUpdate), Qt::LeftButton);
  WaitUntilIdle();
  EXPECT_EQ(Utf8(u8"キャッシュファイルのダウンロードが完了しました"), Status());
  EXPECT_TRUE(StatusFits());
  EXPECT_EQ(7, dialog_->GetControl()->RowCount());
  EXPECT_TRUE(Button(CTintwiseDlg::kUpdate).isEnabled());
}

TEST_F(OperationTest, FailedCacheUpdateKeepsTheCacheItHad) {
  {
    CacheFileWriter cache(PathOf("cache.db"));
    for (int i = 0; i < 4; ++i) cache.Add(Uniform(i));
  }
  site_->SetCacheDatabase(std::nullopt);
  OpenDialog();
  QTest::mouseClick(&Button(CTintwiseDlg::kUpdate), Qt::LeftButton);
  WaitUntilIdle();
  EXPECT_EQ(Utf8(u8"キャッシュファイルのダウンロードに失敗しました"), Status());
  EXPECT_EQ(4, dialog_->GetControl()->RowCount());
}

}  // namespace
