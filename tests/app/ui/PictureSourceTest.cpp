// Pictures from wherever they are: drops and pastes of every kind, links over
// http and https (a TLS server with a certificate made for the test), the
// site's picture beside the query and the colour swatches.
#include <gtest/gtest.h>

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/ui/CListCtrlEx.h"
#include "app/ui/CTintwiseDlg.h"
#include "app/ui/DialogUnits.h"
#include "app/ui/PreviewBox.h"
#include "demosite/DemoCatalog.h"
#include "demosite/DemoSite.h"
#include "imaging/D3DDevice.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/InternetSession.h"
#include "infra/ServerAddress.h"
#include "support/CacheFileWriter.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"
#include "support/SitePages.h"
#include "support/TestCertificates.h"

namespace {

std::string Utf8(std::u8string_view utf8) { return std::string(utf8.begin(), utf8.end()); }

const char kMatchId[] = "777";

class PictureSourceTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    D3DDevice::Initialize();
    // Temporary files go below a directory of the test's, to check they go.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(PathOf("tmp"))));
    savedTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", PathOf("tmp").c_str(), 1);
    savedSite_ = SiteHost();
    savedCache_ = CacheHost();
    OverrideServerHosts(site_.Host(), site_.Host());

    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 30));
    for (int y = 24; y < 48; ++y)
      for (int x = 0; x < 64; ++x) picture.setPixelColor(x, y, QColor(20, 60, 180));
    QBuffer buffer(&png_);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));
    image_ = picture;
    pngPath_ = PathOf("query.png");
    ASSERT_TRUE(picture.save(QString::fromStdString(pngPath_), "PNG"));
    ImageCacheDirectX signature;
    ASSERT_TRUE(signature.LoadImage(pngPath_));
    match_ = signature.colours;
    {
      CacheFileWriter cache(PathOf("cache.db"));
      for (int i = 0; i < 8; ++i) cache.Add(std::to_string(500 + i), "title", "poster", Uniform(10 + 25 * i));
      cache.Add(kMatchId, "match", "poster", match_);
    }
  }

  void TearDown() override {
    dialog_.reset();
    OverrideServerHosts(savedSite_, savedCache_);
    if (savedTmp_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", savedTmp_.c_str(), 1);
    }
    D3DDevice::Shutdown();
    ProgramDirectoryTest::TearDown();
  }

  void OpenDialog(std::chrono::milliseconds stall = std::chrono::milliseconds(1000)) {
    InternetSession::Options options;
    options.connectTimeout = std::chrono::milliseconds(2000);
    options.stallTimeout = stall;
    options.extraAuthorityFile = certificates_.AuthorityFile();
    CTintwiseDlg::Options dialogOptions;
    dialogOptions.programDirectory = Dir();
    dialogOptions.session = std::make_shared<InternetSession>("Tintwise", options);
    dialogOptions.siteCacheDirectory = PathOf("xdg-cache/tintwise/site");
    dialog_ = std::make_unique<CTintwiseDlg>(std::move(dialogOptions));
    dialog_->show();
    WaitUntilIdle();
  }

  void WaitUntilIdle() { ASSERT_TRUE(QTest::qWaitFor([this] { return !dialog_->IsBusy(); }, 30000)); }

  void Drop(QMimeData& data) {
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &drop);
    WaitUntilIdle();
  }

  void PasteWithKeys(QMimeData* data) {
    QGuiApplication::clipboard()->setMimeData(data);
    QTest::keyClick(&dialog_->List(), Qt::Key_V, Qt::ControlModifier);
    WaitUntilIdle();
  }

  std::string Status() const { return dialog_->StatusLine().text().toStdString(); }
  std::string FirstId() const {
    return dialog_->List().RowCount() > 0 ? dialog_->List().GetRowTexts(0)[2] : std::string();
  }
  bool TemporariesGone() const { return QDir(QString::fromStdString(PathOf("tmp"))).isEmpty(); }

  int PageRequests(const std::string& id) { return site_.RequestCount("/mofuimg/pimg.php?imgid=" + id); }

  TestCertificates certificates_;
  LoopbackHttpServer site_;
  LoopbackHttpServer tls_{certificates_};
  QByteArray png_;
  QImage image_;
  std::string pngPath_;
  ImageCache::Colours match_{};
  std::unique_ptr<CTintwiseDlg> dialog_;

 private:
  std::string savedTmp_;
  std::string savedSite_;
  std::string savedCache_;
};

// Every kind of drop and paste, each both dropped and pasted with Ctrl+V:
// a picture is searched (the matching entry comes first) with no file left
// behind; anything else leaves the list empty and says why.
TEST_F(PictureSourceTest, EveryKindOfDropAndPasteIsSearchedOrAnswered) {
  site_.Serve("/p.png", png_.toStdString(), "image/png");
  site_.Serve("/page.html", "<!DOCTYPE html><html><body><img src=\"p.png\"></body></html>", "text/html");
  site_.ServeGenerated("/huge.png", (64u << 20) + 1);
  site_.ServeStalled("/stall.png", png_.left(100).toStdString(), png_.size());
  tls_.Serve("/p.png", png_.toStdString(), "image/png");
  const std::string searched = Utf8(u8"検索終了");
  struct Case {
    const char* name;
    std::function<void(QMimeData&)> fill;
    std::string status;  // the final status line
    bool found;          // the matching entry is listed first
  };
  const std::vector<Case> cases = {
      {"file", [&](QMimeData& d) { d.setUrls({QUrl::fromLocalFile(QString::fromStdString(pngPath_))}); },
       searched, true},
      {"file URL as text", [&](QMimeData& d) {
         d.setText(QUrl::fromLocalFile(QString::fromStdString(pngPath_)).toString());
       }, searched, true},
      {"path as text", [&](QMimeData& d) { d.setText(QString::fromStdString(pngPath_) + "\n"); }, searched, true},
      {"http link", [&](QMimeData& d) { d.setUrls({QUrl(QString::fromStdString(site_.Url("/p.png")))}); },
       searched, true},
      {"https link as text", [&](QMimeData& d) { d.setText(QString::fromStdString(tls_.Url("/p.png"))); },
       searched, true},
      {"raw PNG data", [&](QMimeData& d) { d.setData("image/png", png_); }, searched, true},
      {"image only", [&](QMimeData& d) { d.setImageData(image_); }, searched, true},
      {"text that is no picture", [](QMimeData& d) { d.setText("hello, world"); },
       Utf8(u8"画像ではありません"), false},
      {"link to an HTML page",
       [&](QMimeData& d) { d.setUrls({QUrl(QString::fromStdString(site_.Url("/page.html")))}); },
       Utf8(u8"画像ではありません"), false},
      {"oversize body", [&](QMimeData& d) { d.setText(QString::fromStdString(site_.Url("/huge.png"))); },
       Utf8(u8"画像が大きすぎます(64MBまで)"), false},
      {"stalled server", [&](QMimeData& d) { d.setText(QString::fromStdString(site_.Url("/stall.png"))); },
       Utf8(u8"画像のダウンロードが途中で途切れました"), false},
  };
  OpenDialog();
  for (const bool paste : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (paste ? " (paste)" : " (drop)"));
      // A previous result must not pass for this one.
      dialog_->ClearRows();
      auto data = std::make_unique<QMimeData>();
      c.fill(*data);
      if (paste) {
        PasteWithKeys(data.release());  // the clipboard owns it
      } else {
        Drop(*data);
      }
      // A search's first line; the verdict follows on the second.
      EXPECT_EQ(Status().substr(0, Status().find('\n')), c.status);
      EXPECT_EQ(FirstId(), c.found ? kMatchId : "");
      EXPECT_EQ(dialog_->Preview().IsEmpty(), !c.found);
      EXPECT_TRUE(TemporariesGone());
    }
  }
}

TEST_F(PictureSourceTest, ThePreviewMenuPastesLikeCtrlV) {
  OpenDialog();
  ASSERT_TRUE(dialog_->Preview().actions().contains(&dialog_->PasteAction()));
  auto data = std::make_unique<QMimeData>();
  data->setData("image/png", png_);
  QGuiApplication::clipboard()->setMimeData(data.release());  // the clipboard owns it
  dialog_->PasteAction().trigger();
  WaitUntilIdle();
  EXPECT_EQ(FirstId(), kMatchId);
}

// Whether Abort comes while the picture arrives or at once, before the
// download has even started.
TEST_F(PictureSourceTest, AbortStopsALinkDownloadWithinASecond) {
  site_.ServeNoAnswer("/silent.png");
  OpenDialog();
  for (const bool atOnce : {false, true}) {
    SCOPED_TRACE(atOnce ? "at once" : "while downloading");
    QMimeData data;
    data.setText(QString::fromStdString(site_.Url("/silent.png")));
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &drop);
    ASSERT_TRUE(dialog_->IsBusy());
    if (!atOnce) {
      EXPECT_TRUE(QTest::qWaitFor([this] { return Status().rfind(Utf8(u8"画像をダウンロード中..."), 0) == 0; }, 2000));
    }
    QTest::mouseClick(dialog_->Buttons()[CTintwiseDlg::kAbort], Qt::LeftButton);
    // Well before the one-second stall limit would end it.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog_->IsBusy(); }, 900));
    WaitUntilIdle();
    EXPECT_EQ(Status(), Utf8(u8"画像のダウンロードを中止しました"));
    EXPECT_TRUE(TemporariesGone());
  }
}

// A cache download that the server holds up ends within a second of Abort,
// and closing the window during one closes it as quickly; the old cache
// stays as it was either way.
TEST_F(PictureSourceTest, AbortAndCloseStopACacheDownloadWithinASecond) {
  site_.ServeStalled("/mofu/cache.db", "SQLite format 3", 1 << 20);
  const std::string before = ReadWholeFile(PathOf("cache.db"));
  OpenDialog(std::chrono::milliseconds(60000));
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "abort");
    QTest::mouseClick(dialog_->Buttons()[CTintwiseDlg::kUpdate], Qt::LeftButton);
    ASSERT_TRUE(dialog_->IsBusy());
    QTest::qWait(300);
    ASSERT_TRUE(dialog_->IsBusy());
    if (close) {
      dialog_->reject();
    } else {
      QTest::mouseClick(dialog_->Buttons()[CTintwiseDlg::kAbort], Qt::LeftButton);
    }
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog_->IsBusy(); }, 1000));
    WaitUntilIdle();
    EXPECT_EQ(ReadWholeFile(PathOf("cache.db")), before);
    EXPECT_EQ(dialog_->isVisible(), !close);
  }
}

// Selecting rows quickly fetches only where the selection rests; the
// picture then comes from the cache without asking the site again.
TEST_F(PictureSourceTest, SelectingRowsFetchesOnlyTheLastAndKeepsItInTheCache) {
  for (int i = 0; i < 8; ++i) {
    const std::string id = std::to_string(500 + i);
    PageFields fields;
    fields.imageUrl = site_.Url("/img/" + id + ".png");
    site_.Serve("/mofuimg/pimg.php?imgid=" + id, MakePage(fields), "text/html");
    site_.Serve("/img/" + id + ".png", SolidPng(static_cast<std::uint8_t>(30 * i), 200, 10), "image/png");
  }
  site_.ServeStatus("/mofuimg/pimg.php?imgid=777", 404);
  site_.ServeStatus("/mofuimg/spimg.php?imgid=777", 404);
  OpenDialog();
  dialog_->SearchImage(pngPath_);
  WaitUntilIdle();
  CListCtrlEx& list = dialog_->List();
  ASSERT_EQ(list.RowCount(), 9);

  std::vector<std::string> ids;
  for (int row = 0; row < list.RowCount(); ++row) ids.push_back(list.GetRowTexts(row)[2]);
  // Down the list with the keys, from the match (first) to the last row.
  list.setFocus();
  list.selectRow(0);
  for (int row = 1; row < list.RowCount(); ++row) QTest::keyClick(&list, Qt::Key_Down);
  const std::string last = ids.back();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->SitePicture().IsEmpty(); }, 5000));
  // The match's page was asked for once more, by the search's confirmation.
  for (const std::string& id : ids) EXPECT_EQ(PageRequests(id), id == last || id == kMatchId ? 1 : 0) << id;
  EXPECT_EQ(site_.RequestCount("/img/" + last + ".png"), 1);
  const QColor shown = dialog_->SitePicture().Picture().pixelColor(2, 2);
  EXPECT_EQ(shown.green(), 200);

  // Away and back: the picture is kept, so the site is not asked again.
  list.selectRow(1);
  QTest::qWait(CTintwiseDlg::kSiteFetchDelayMs + 100);
  list.selectRow(list.RowCount() - 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->SitePicture().IsEmpty(); }, 5000));
  EXPECT_EQ(PageRequests(last), 1);

  // A page that cannot be fetched shows one line in the box.
  list.selectRow(0);
  ASSERT_EQ(list.GetRowTexts(0)[2], kMatchId);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return dialog_->SitePicture().Message().toStdString() == Utf8(u8"ページを取得できませんでした"); },
      5000));
}

// Against the demo site's own pages (some give a stub at the first address):
// the selected row's picture is the entry's picture as the site serves it.
TEST_F(PictureSourceTest, TheSelectedRowsPictureComesFromTheDemoSite) {
  const DemoCatalog catalog(12);
  DemoSite demo(catalog);
  ASSERT_TRUE(demo.Start("127.0.0.1", 0));
  const std::string host = "127.0.0.1:" + std::to_string(demo.Port());
  OverrideServerHosts(host, host);
  std::remove(PathOf("cache.db").c_str());
  {
    CacheFileWriter cache(PathOf("cache.db"));
    for (const DemoEntry& entry : catalog.Entries()) cache.Add(std::to_string(entry.id), "t", "p", Uniform(entry.id));
  }
  OpenDialog();
  dialog_->SearchImage(pngPath_);
  WaitUntilIdle();
  CListCtrlEx& list = dialog_->List();
  int stubs = 0;
  for (const DemoEntry& entry : catalog.Entries()) {
    if (!entry.shortFirstPage && entry.id != 3) continue;
    stubs += entry.shortFirstPage ? 1 : 0;
    SCOPED_TRACE(entry.id);
    int row = 0;
    while (row < list.RowCount() && list.GetRowTexts(row)[2] != std::to_string(entry.id)) ++row;
    ASSERT_LT(row, list.RowCount());
    list.selectRow(row);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog_->SitePicture().IsEmpty(); }, 5000))
        << dialog_->SitePicture().Message().toStdString();
    const QImage served = QImage::fromData(QByteArray::fromStdString(entry.bytes)).convertToFormat(QImage::Format_RGB32);
    const QImage shown = dialog_->SitePicture().Picture();
    const QColor expected = served.pixelColor(served.width() / 2, served.height() / 2);
    const QColor got = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    for (const auto& [a, b] : {std::pair{expected.red(), got.red()}, {expected.green(), got.green()},
                               {expected.blue(), got.blue()}})
      EXPECT_NEAR(a, b, 24);
    dialog_->SitePicture().SetMessage({});
  }
  EXPECT_GT(stubs, 0);
}

TEST_F(PictureSourceTest, RowsAndTheQueryShowTheirStoredColoursAsSwatches) {
  OpenDialog();
  dialog_->SearchImage(pngPath_);
  WaitUntilIdle();
  CListCtrlEx& list = dialog_->List();
  ASSERT_GT(list.RowCount(), 1);
  const auto centreOfCell = [](const QImage& swatch, int cell) {
    const int side = swatch.width() / 3;
    return swatch.pixelColor((cell % 3) * side + side / 2, (cell / 3) * side + side / 2);
  };
  // The match's top cells are red, its bottom cells blue, as stored.
  const QImage matchSwatch = list.RowSwatch(0);
  ASSERT_FALSE(matchSwatch.isNull());
  for (int cell : {0, 8}) {
    const QColor colour = centreOfCell(matchSwatch, cell);
    EXPECT_EQ(colour, QColor(match_[cell * 3], match_[cell * 3 + 1], match_[cell * 3 + 2])) << cell;
  }
  // A filler row is uniform in its stored value.
  const int filler = std::stoi(list.GetRowTexts(1)[2]) - 500;
  EXPECT_EQ(centreOfCell(list.RowSwatch(1), 4), QColor::fromRgb(10 + 25 * filler, 10 + 25 * filler, 10 + 25 * filler));

  const QPixmap query = dialog_->QuerySwatch().pixmap();
  ASSERT_FALSE(query.isNull());
  EXPECT_EQ(centreOfCell(query.toImage(), 0), QColor(match_[0], match_[1], match_[2]));
  EXPECT_EQ(centreOfCell(query.toImage(), 8), QColor(match_[24], match_[25], match_[26]));
}

// The site's column is added to the right: the preview's size, its caption,
// and the original controls where they were.
TEST_F(PictureSourceTest, TheSitePictureBoxSitsRightOfThePreviewAtItsSize) {
  OpenDialog();
  const DialogUnits units(dialog_->font());
  const QRect preview = dialog_->Preview().geometry();
  const QRect site = dialog_->SitePicture().geometry();
  EXPECT_EQ(units.Rect(307, 43, 128, 128), preview);
  EXPECT_EQ(site.size(), preview.size());
  EXPECT_EQ(site.top(), preview.top());
  EXPECT_GT(site.left(), preview.right());
  EXPECT_LE(site.right(), dialog_->width());
  EXPECT_EQ(dialog_->SiteCaption().text().toStdString(), Utf8(u8"サイトの画像"));
  EXPECT_LE(dialog_->SiteCaption().geometry().bottom(), site.top());
  EXPECT_GE(dialog_->SiteCaption().geometry().left(), preview.right());
}

}  // namespace

namespace {

// A search confirms its verdict by the site's picture on its own; its state
// is on the verdict line: confirmed against the demo site (and again from
// the kept picture once the site is gone), not confirmed when the site
// cannot be reached, stopped by Abort while the site keeps silent. The
// window is usable after each.
TEST_F(PictureSourceTest, ASearchConfirmsItsVerdictByTheSitesPicture) {
  const DemoCatalog catalog(4);
  auto demo = std::make_unique<DemoSite>(catalog);
  ASSERT_TRUE(demo->Start("127.0.0.1", 0));
  const DemoEntry& entry = catalog.Entries().front();
  const std::string id = std::to_string(entry.id);
  const std::string demoPath = PathOf("demo-picture");
  {
    std::FILE* file = std::fopen(demoPath.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(entry.bytes.data(), 1, entry.bytes.size(), file);
    std::fclose(file);
    ImageCacheDirectX signature;
    ASSERT_TRUE(signature.LoadImage(demoPath));
    std::remove(PathOf("cache.db").c_str());
    CacheFileWriter cache(PathOf("cache.db"));
    cache.Add(kMatchId, "match", "poster", match_);
    cache.Add(id, "demo", "poster", signature.colours);
  }
  site_.ServeNoAnswer("/mofuimg/pimg.php?imgid=" + std::string(kMatchId));
  const std::string closed = "127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort());
  const std::string posted = Utf8(u8"検索終了\n投稿済み");
  const std::string same = Utf8(u8"　差 0　同一");
  struct Case {
    const char* what;
    std::string host;
    std::string path;
    std::string status;
  };
  const Case cases[] = {
      {"demo site", "127.0.0.1:" + std::to_string(demo->Port()), demoPath,
       posted + Utf8(u8"（確認済み）　ID ") + id + same},
      {"kept picture, site gone", closed, demoPath, posted + Utf8(u8"（確認済み）　ID ") + id + same},
      {"unreachable", closed, pngPath_, posted + Utf8(u8"（サイトの画像を取得できず未確認）　ID ") + kMatchId + same},
      {"aborted", site_.Host(), pngPath_, posted + Utf8(u8"　ID ") + kMatchId + same + Utf8(u8"（確認を中止しました）")},
  };
  OpenDialog(std::chrono::milliseconds(20000));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.host == closed) demo.reset();
    OverrideServerHosts(c.host, c.host);
    ASSERT_TRUE(dialog_->SearchImage(c.path));
    if (c.host == site_.Host()) {
      ASSERT_TRUE(QTest::qWaitFor(
          [this] { return Status().rfind(Utf8(u8"サイトの画像で確認中…\n投稿済み"), 0) == 0; }, 5000))
          << Status();
      EXPECT_FALSE(dialog_->Buttons()[CTintwiseDlg::kOpen]->isEnabled());
      QTest::mouseClick(dialog_->Buttons()[CTintwiseDlg::kAbort], Qt::LeftButton);
      // Well before the site's silence would end it.
      EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog_->IsBusy(); }, 1500));
    }
    WaitUntilIdle();
    EXPECT_EQ(Status(), c.status);
    EXPECT_TRUE(dialog_->Buttons()[CTintwiseDlg::kOpen]->isEnabled());
    EXPECT_EQ(FirstId(), c.path == demoPath ? id : std::string(kMatchId));
  }
}

}  // namespace
