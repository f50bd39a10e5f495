#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QToolTip>
#include <QScrollBar>
#include <QUrl>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/ui/CListCtrlEx.h"
#include "app/ui/CTintwiseDlg.h"
#include "app/ui/DialogUnits.h"
#include "app/ui/PreviewBox.h"
#include "app/ui/QueueStrip.h"
#include "control/PictureQueue.h"
#include "demosite/DemoSite.h"
#include "imaging/D3DDevice.h"
#include "imaging/ImageCacheDirectX.h"
#include "infra/Environment.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "support/CacheFileWriter.h"
#include "support/TempDirectory.h"
#include "control/Control.h"
#include "search/GridTransform.h"
#include "support/ProgramDirectoryTest.h"

namespace {

std::string Sjis(std::u8string_view utf8) { return SjisText(utf8).str(); }
std::string Utf8(std::u8string_view utf8) { return std::string(utf8.begin(), utf8.end()); }

class DialogTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    D3DDevice::Initialize();
  }

  void TearDown() override {
    dialog_.reset();
    ProgramDirectoryTest::TearDown();
  }

  // A picture of one colour with a darker band, saved as PNG; returns its path.
  std::string WriteImage(const std::string& name, QColor colour) {
    QImage image(60, 45, QImage::Format_RGB32);
    image.fill(colour);
    for (int y = 30; y < 45; ++y) {
      for (int x = 0; x < 60; ++x) image.setPixelColor(x, y, colour.darker(200));
    }
    const std::string path = PathOf(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
    return path;
  }

  static ImageCache::Colours SignatureOf(const std::string& path) {
    ImageCacheDirectX signature;
    EXPECT_TRUE(signature.LoadImage(path)) << path;
    return signature.colours;
  }

  // Rows whose signatures lie `step` apart from one another, from `first`.
  static void AddFillerRows(CacheFileWriter& cache, int count, int first, int step) {
    for (int i = 0; i < count; ++i) {
      cache.Add(std::to_string(500 + i), Sjis(u8"作品") + std::to_string(i), "poster" + std::to_string(i % 7),
                Uniform(first + step * i));
    }
  }

  void OpenDialog(std::string searchAtStart = {}) {
    CTintwiseDlg::Options options;
    options.programDirectory = Dir();
    options.openUrl = [this](const std::string& url) { opened_.push_back(url); };
    options.searchAtStart = std::move(searchAtStart);
    dialog_ = std::make_unique<CTintwiseDlg>(std::move(options));
    dialog_->show();
    WaitUntilIdle();
  }

  void WaitUntilIdle() {
    ASSERT_TRUE(QTest::qWaitFor([this] { return !dialog_->IsBusy(); }, 30000));
  }

  void Drop(const std::vector<std::string>& paths, bool waitForTheSearch = true) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
    data.setUrls(urls);
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(dialog_.get(), &drop);
    if (waitForTheSearch) WaitUntilIdle();
  }

  // Types `path` into the open-file dialog as soon as it shows.
  void AnswerFileDialogWith(const std::string& path) {
    QTimer::singleShot(200, [path] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(nullptr, dialog);
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(nullptr, name);
      QTest::keyClicks(name, QString::fromStdString(path));
      QTest::keyClick(name, Qt::Key_Return);
    });
  }

  void ClickHeader(int column) {
    QHeaderView* header = List().horizontalHeader();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
  }

  void DoubleClickAt(const QPoint& point) {
    QTest::mouseClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, point);
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, Qt::NoModifier, point);
  }

  QPoint RowCentre(int row) { return List().visualRect(List().model()->index(row, 1)).center(); }

  int RowWithId(const std::string& id) {
    for (int row = 0; row < List().RowCount(); ++row) {
      if (List().GetRowTexts(row)[2] == id) return row;
    }
    return -1;
  }

  std::vector<std::string> Column(int column) {
    std::vector<std::string> texts;
    for (int row = 0; row < List().RowCount(); ++row) texts.push_back(List().GetRowTexts(row)[column]);
    return texts;
  }

  std::string Status() const { return dialog_->StatusLine().text().toStdString(); }
  QPushButton& Button(int place) const { return *dialog_->Buttons()[place]; }
  CListCtrlEx& List() const { return dialog_->List(); }

  std::unique_ptr<CTintwiseDlg> dialog_;
  std::vector<std::string> opened_;
};

TEST_F(DialogTest, StartShowsTheEntryCountWithTheSecretButtonDisabled) {
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 3, 0, 10);
  }
  OpenDialog();
  EXPECT_EQ(Utf8(u8"3作品より検索"), Status());
  EXPECT_FALSE(Button(CTintwiseDlg::kSecret).isEnabled());
  for (int place : {CTintwiseDlg::kOpen, CTintwiseDlg::kExit, CTintwiseDlg::kAbort, CTintwiseDlg::kUpdate}) {
    EXPECT_TRUE(Button(place).isEnabled()) << place;
  }
  EXPECT_TRUE(List().isEnabled());
  EXPECT_EQ(4, List().ColumnCount());
  EXPECT_EQ(0, List().RowCount());
  EXPECT_EQ(150, List().columnWidth(1));
  EXPECT_TRUE(dialog_->Preview().IsEmpty());
}

TEST_F(DialogTest, OnlyAbortIsUsableUntilTheCacheIsLoaded) {
  CTintwiseDlg::Options options;
  options.programDirectory = Dir();
  dialog_ = std::make_unique<CTintwiseDlg>(std::move(options));
  EXPECT_TRUE(dialog_->IsBusy());
  EXPECT_TRUE(Button(CTintwiseDlg::kAbort).isEnabled());
  EXPECT_FALSE(Button(CTintwiseDlg::kOpen).isEnabled());
  EXPECT_FALSE(List().isEnabled());
  EXPECT_FALSE(dialog_->SearchImage(PathOf("any.png")));  // one operation at a time
  WaitUntilIdle();
  EXPECT_EQ(Utf8(u8"0作品より検索"), Status());
  EXPECT_FALSE(Button(CTintwiseDlg::kSecret).isEnabled());
}

// Only a copy keeping its files in the user data directory (an installed
// one) points to the cache update when it starts with no cache.
TEST_F(DialogTest, AnInstalledCopyWithoutACacheSaysHowToGetOne) {
  struct Case {
    DataDirectoryRule rule;
    int rows;
    const char8_t* status;
    std::string unwritable;  // a portable copy's folder it may not write
  };
  const std::string dir = Dir().substr(0, Dir().size() - 1);
  const Case cases[] = {
      {DataDirectoryRule::kUserData, 0, u8"キャッシュがありません\nｷｬｯｼｭ更新で取得してください", ""},
      {DataDirectoryRule::kUserData, 2, u8"2作品より検索", ""},
      {DataDirectoryRule::kBesideProgram, 0, u8"0作品より検索", ""},
      // A read-only portable copy says which folder it uses instead, and why.
      {DataDirectoryRule::kUserData, 0,
       u8"を使用中（プログラムのフォルダに書き込めないため）\n横の cache.db はそこへコピーするか --dir で指定してください",
       "/opt/portable/"},
      {DataDirectoryRule::kUserData, 2, u8"2作品より検索", "/opt/portable/"},
  };
  for (const Case& c : cases) {
    std::remove(PathOf("cache.db").c_str());
    if (c.rows > 0) {
      CacheFileWriter cache(PathOf("cache.db"));
      AddFillerRows(cache, c.rows, 0, 10);
    }
    CTintwiseDlg::Options options;
    options.programDirectory = Dir();
    dialog_ = std::make_unique<CTintwiseDlg>(std::move(options));
    // The load's end is handled on this thread, after the rule is in place.
    InitializeEnvironmentAt(Dir(), c.rule, c.unwritable);
    WaitUntilIdle();
    const std::string status = (c.unwritable.empty() || c.rows > 0 ? "" : dir + " ") + Utf8(c.status);
    EXPECT_EQ(status, Status()) << static_cast<int>(c.rule) << " " << c.rows;
    dialog_.reset();
  }
}

TEST_F(DialogTest, EnableControlsKeepsAbortOnAndTheSecretButtonOff) {
  OpenDialog();
  dialog_->EnableControls(false);
  EXPECT_TRUE(Button(CTintwiseDlg::kAbort).isEnabled());
  EXPECT_FALSE(Button(CTintwiseDlg::kOpen).isEnabled());
  EXPECT_FALSE(Button(CTintwiseDlg::kUpdate).isEnabled());
  EXPECT_FALSE(List().isEnabled());
  dialog_->EnableControls(true);
  EXPECT_TRUE(Button(CTintwiseDlg::kExit).isEnabled());
  EXPECT_FALSE(Button(CTintwiseDlg::kSecret).isEnabled());
}

TEST_F(DialogTest, ControlsGoOffAsSoonAsADropStartsASearch) {
  const std::string red = WriteImage("red.png", Qt::red);
  OpenDialog();
  Drop({red}, /*waitForTheSearch=*/false);
  // Checked before the window has handled any event: the worker's own
  // disabling only arrives once the preview has been decoded.
  EXPECT_TRUE(dialog_->IsBusy());
  EXPECT_FALSE(Button(CTintwiseDlg::kOpen).isEnabled());
  EXPECT_FALSE(Button(CTintwiseDlg::kUpdate).isEnabled());
  EXPECT_FALSE(List().isEnabled());
  EXPECT_TRUE(Button(CTintwiseDlg::kAbort).isEnabled());
  WaitUntilIdle();
  EXPECT_TRUE(Button(CTintwiseDlg::kOpen).isEnabled());
  EXPECT_TRUE(List().isEnabled());
}

// Several pictures at once, or a folder, are queued whichever way they come:
// each is checked in turn and marked with its verdict, and selecting one
// shows its results as kept, searching nothing again. A single picture
// after them is searched alone, as ever.
TEST_F(DialogTest, SeveralPicturesAreQueuedAndEachKeepsItsResult) {
  std::filesystem::create_directories(PathOf("folder/sub"));
  const std::string red = WriteImage("folder/red.png", Qt::red);
  const std::string green = WriteImage("green.png", Qt::green);
  const std::string white = WriteImage("folder/sub/white.png", Qt::white);
  const std::string broken = PathOf("folder/broken.png");
  WriteWholeFile(broken, "\x89PNG\r\n\x1A\n and no more");
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 10, 0, 25);
    cache.Add("101", "red", "p", SignatureOf(red));
    cache.Add("102", "green", "p", SignatureOf(green));
  }
  using Mark = PictureQueue::Mark;
  enum class Way { kDrop, kPaste, kOpen };
  struct Case {
    Way way;
    std::vector<std::string> given;
    std::vector<Mark> marks;  // red posted, broken an error, white new
  };
  const std::vector<std::string> three = {red, broken, white};
  const Case cases[] = {
      {Way::kDrop, three, {Mark::kPosted, Mark::kError, Mark::kNew}},
      {Way::kPaste, three, {Mark::kPosted, Mark::kError, Mark::kNew}},
      {Way::kOpen, three, {Mark::kPosted, Mark::kError, Mark::kNew}},
      // A folder's pictures in name order, recursively.
      {Way::kDrop, {PathOf("folder")}, {Mark::kError, Mark::kPosted, Mark::kNew}},
  };
  OpenDialog();
  for (const Case& c : cases) {
    const std::string where = "way " + std::to_string(static_cast<int>(c.way)) + " " + c.given.front();
    // One picture alone: no strip, searched as ever.
    Drop({green});
    EXPECT_FALSE(dialog_->Strip().isVisible());
    EXPECT_EQ(nullptr, dialog_->Queue());
    EXPECT_EQ((std::vector<std::string>{"green", "p", "102", "0000"}), List().GetRowTexts(0));
    EXPECT_EQ(green, dialog_->GetControl()->Path());
    EXPECT_EQ(List().geometry().right(), dialog_->Preview().geometry().left() - 1);
    if (c.way == Way::kDrop) Drop(c.given);
    if (c.way == Way::kPaste) {
      auto* data = new QMimeData;
      QList<QUrl> urls;
      for (const std::string& path : c.given) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
      data->setUrls(urls);
      QGuiApplication::clipboard()->setMimeData(data);
      dialog_->PasteAction().trigger();
    }
    if (c.way == Way::kOpen) {
      std::string names;  // several names are typed quoted
      for (const std::string& path : c.given) names += "\"" + path + "\" ";
      AnswerFileDialogWith(names);
      Button(CTintwiseDlg::kOpen).click();
    }
    WaitUntilIdle();
    QueueStrip& strip = dialog_->Strip();
    ASSERT_TRUE(strip.isVisible()) << where;
    ASSERT_EQ(static_cast<int>(c.marks.size()), strip.Count()) << where;
    EXPECT_LE(strip.geometry().right(), dialog_->Preview().geometry().left()) << where;
    EXPECT_LE(List().geometry().right(), strip.geometry().left()) << where;
    int posted = -1;
    for (int i = 0; i < strip.Count(); ++i) {
      EXPECT_EQ(c.marks[i], strip.MarkAt(i)) << where << " entry " << i;
      // The posted entry's confirmation found the site (a closed port) away.
      const std::string label = c.marks[i] == Mark::kPosted ? Utf8(u8"投稿済み（サイトの画像を取得できず未確認）")
                                                             : Cp932ToUtf8(PictureQueue::Label(c.marks[i]));
      EXPECT_EQ(QString::fromStdString(label), strip.LabelAt(i)) << where;
      if (c.marks[i] == Mark::kPosted) posted = i;
    }
    EXPECT_TRUE(Button(CTintwiseDlg::kOpen).isEnabled()) << where;
    // The list has followed the queue to its last entry (a new picture).
    EXPECT_EQ(strip.Count() - 1, strip.currentRow()) << where;
    EXPECT_EQ(0u, Status().rfind(Utf8(u8"検索終了\n見つかりませんでした"), 0)) << where << Status();
    // Each selection shows that entry's list, verdict and preview.
    for (int i = 0; i < strip.Count(); ++i) {
      strip.setCurrentRow(i);
      EXPECT_FALSE(dialog_->IsBusy()) << where;
      if (c.marks[i] == Mark::kError) {
        EXPECT_EQ(0, List().RowCount()) << where;
        EXPECT_EQ(0u, Status().rfind(Utf8(u8"画像を読み込めませんでした\n"), 0)) << where << Status();
        EXPECT_TRUE(dialog_->Preview().IsEmpty()) << where;
        continue;
      }
      EXPECT_EQ(12, List().RowCount()) << where;
      EXPECT_FALSE(dialog_->Preview().IsEmpty()) << where;
      if (i == posted) {
        EXPECT_EQ((std::vector<std::string>{"red", "p", "101", "0000"}), List().GetRowTexts(0)) << where;
        EXPECT_EQ(Utf8(u8"検索終了\n投稿済み（サイトの画像を取得できず未確認）　ID 101　差 0　同一"), Status()) << where;
      } else {
        EXPECT_EQ(0u, Status().rfind(Utf8(u8"検索終了\n見つかりませんでした"), 0)) << where << Status();
      }
    }
  }
}

// A queue confirmed against the demo site: each strip label carries its
// confirmed or lowered verdict, and selecting an entry shows the rows and
// verdict line a search of that picture alone shows.
TEST_F(DialogTest, QueuedPicturesAreConfirmedByTheSitesPictures) {
  const DemoCatalog catalog(4);
  DemoSite demo(catalog);
  ASSERT_TRUE(demo.Start("127.0.0.1", 0));
  const std::string first = std::to_string(catalog.Entries()[0].id), second = std::to_string(catalog.Entries()[1].id);
  // The second picture is another entry's, stored under `second`'s id.
  const std::string posted = PathOf("posted"), other = PathOf("other");
  WriteWholeFile(posted, catalog.Entries()[0].bytes);
  WriteWholeFile(other, catalog.Entries()[2].bytes);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 10, 0, 25);
    cache.Add(first, "first", "p", SignatureOf(posted));
    cache.Add(second, "second", "p", SignatureOf(other));
  }
  struct DemoHosts {  // the closed port again however the test ends
    std::string site = SiteHost(), cache = CacheHost();
    explicit DemoHosts(const std::string& host) { OverrideServerHosts(host, host); }
    ~DemoHosts() { OverrideServerHosts(site, cache); }
  } hosts("127.0.0.1:" + std::to_string(demo.Port()));
  struct Shown {
    std::string status;
    std::vector<std::vector<std::string>> rows;
    bool operator==(const Shown&) const = default;
  };
  const auto shown = [this] {
    Shown now{Status(), {}};
    for (int row = 0; row < List().RowCount(); ++row) now.rows.push_back(List().GetRowTexts(row));
    return now;
  };
  OpenDialog();
  Drop({posted, other});
  QueueStrip& strip = dialog_->Strip();
  struct Case {
    std::string path, label, status;
  };
  const Case cases[] = {
      {posted, Utf8(u8"投稿済み（確認済み）"), Utf8(u8"検索終了\n投稿済み（確認済み）　ID ") + first + Utf8(u8"　差 0　同一")},
      {other, Utf8(u8"見つかりませんでした（サイトの画像と異なる）"),
       Utf8(u8"検索終了\n見つかりませんでした（サイトの画像と異なる）　最も近いもの:　ID ") + second + Utf8(u8"　差 0　同一")},
  };
  ASSERT_EQ(2, strip.Count());
  std::vector<Shown> selected;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(QString::fromStdString(cases[i].label), strip.LabelAt(i)) << i;
    // The whole label under its thumbnail, however many lines it takes.
    const int wrapped = strip.fontMetrics()
                            .boundingRect(QRect(0, 0, strip.ThumbnailSide(), 1 << 16),
                                          Qt::AlignHCenter | Qt::TextWordWrap, strip.LabelAt(i))
                            .height();
    EXPECT_GE(strip.visualItemRect(strip.item(i)).height(), strip.ThumbnailSide() + wrapped) << i;
    strip.setCurrentRow(i);
    selected.push_back(shown());
    EXPECT_EQ(cases[i].status, selected.back().status) << i;
  }
  // The same picture searched alone (its site picture kept by now).
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(dialog_->SearchImage(cases[i].path));
    WaitUntilIdle();
    EXPECT_EQ(shown(), selected[i]) << i;
  }
}

// Abort during the queue lets the picture being checked finish and leaves
// the rest marked not checked.
TEST_F(DialogTest, AbortStopsTheQueue) {
  std::vector<std::string> large;
  for (int i = 0; i < 5; ++i) {
    QImage image(2400, 2400, QImage::Format_RGB32);
    image.fill(QColor(40 * i, 90, 200 - 30 * i));
    large.push_back(PathOf("large" + std::to_string(i) + ".png"));
    ASSERT_TRUE(image.save(QString::fromStdString(large.back()), "PNG"));
  }
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 10, 0, 25);
  }
  OpenDialog();
  Drop(large, /*waitForTheSearch=*/false);
  QueueStrip& strip = dialog_->Strip();
  ASSERT_TRUE(QTest::qWaitFor([&] {
    return strip.Count() == 5 && strip.MarkAt(0) != PictureQueue::Mark::kWaiting &&
           strip.MarkAt(0) != PictureQueue::Mark::kChecking;
  }, 30000));
  Button(CTintwiseDlg::kAbort).click();
  WaitUntilIdle();
  EXPECT_NE(PictureQueue::Mark::kNotChecked, strip.MarkAt(0));
  EXPECT_EQ(PictureQueue::Mark::kNotChecked, strip.MarkAt(4));
  for (int i = 1; i < strip.Count(); ++i) {
    // Never a checked entry after one left unchecked.
    if (strip.MarkAt(i - 1) != PictureQueue::Mark::kNotChecked) continue;
    EXPECT_EQ(PictureQueue::Mark::kNotChecked, strip.MarkAt(i)) << i;
  }
  strip.setCurrentRow(4);
  EXPECT_EQ(Utf8(u8"未チェック"), Status());
  EXPECT_EQ(0, List().RowCount());
  EXPECT_TRUE(Button(CTintwiseDlg::kOpen).isEnabled());
}

TEST_F(DialogTest, ResultsAreTheTwentyClosestClosestFirst) {
  const std::string grey = WriteImage("grey.png", QColor(128, 128, 128));
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 30, 255, -8);
  }
  OpenDialog();
  Drop({grey});
  ASSERT_EQ(20, List().RowCount());
  const std::vector<std::string> differences = Column(3);
  EXPECT_TRUE(std::is_sorted(differences.begin(), differences.end()));
  EXPECT_EQ(4u, differences.front().size());
}

TEST_F(DialogTest, HeaderClicksSortEachColumnUpAndDown) {
  const std::string grey = WriteImage("grey.png", QColor(90, 90, 90));
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 12, 0, 20);
  }
  OpenDialog();
  Drop({grey});
  ASSERT_EQ(12, List().RowCount());
  for (int column = 0; column < 4; ++column) {
    ClickHeader(column);
    std::vector<std::string> texts = Column(column);
    EXPECT_TRUE(std::is_sorted(texts.begin(), texts.end())) << column;
    ClickHeader(column);
    texts = Column(column);
    EXPECT_TRUE(std::is_sorted(texts.rbegin(), texts.rend())) << column;
  }
}

TEST_F(DialogTest, DoubleClickOpensThePageOfTheSelectedRow) {
  const std::string red = WriteImage("red.png", Qt::red);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 3, 0, 40);
    cache.Add("12345", "red", "p", SignatureOf(red));
  }
  OpenDialog();
  Drop({red});
  const int row = RowWithId("12345");
  ASSERT_GE(row, 0);
  DoubleClickAt(RowCentre(row));
  ASSERT_EQ(1u, opened_.size());
  EXPECT_EQ("http://" + SiteHost() + "/mofuimg/pimg.php?imgid=12345", opened_[0]);
}

// Enter on the list opens the selected row's page, Ctrl+C copies its
// address; a right click selects the row under it and offers both and its id.
TEST_F(DialogTest, EnterCtrlCAndTheRowMenuActOnTheSelectedRow) {
  const std::string red = WriteImage("red.png", Qt::red);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 3, 0, 40);
    cache.Add("12345", "red", "p", SignatureOf(red));
  }
  OpenDialog();
  Drop({red});
  const std::string page12345 = "http://" + SiteHost() + "/mofuimg/pimg.php?imgid=12345";
  const int row = RowWithId("12345");
  ASSERT_GE(row, 0);
  List().setFocus();
  List().selectRow(row);
  // Were Enter to open the file dialog instead, it is closed and noted.
  bool fileDialog = false;
  QTimer::singleShot(300, [&fileDialog] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      fileDialog = true;
      modal->close();
    }
  });
  QTest::keyClick(&List(), Qt::Key_Return);
  QTest::qWait(400);
  EXPECT_EQ(std::vector<std::string>{page12345}, opened_);
  EXPECT_FALSE(fileDialog);
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(&List(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(page12345, QGuiApplication::clipboard()->text().toStdString());

  struct Case {
    const char8_t* caption;
    std::string clipboard;  // empty: opens the page instead
  };
  const Case cases[] = {
      {u8"ページを開く", ""}, {u8"アドレスをコピー", page12345}, {u8"IDをコピー", "12345"}};
  for (const Case& c : cases) {
    opened_.clear();
    QGuiApplication::clipboard()->clear();
    List().selectRow(row == 0 ? 1 : 0);
    const QPoint at = List().visualRect(List().model()->index(row, 0)).center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, List().viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(List().viewport(), &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(row, List().FirstSelectedRow());
    std::vector<std::string> captions;
    QAction* chosen = nullptr;
    for (QAction* action : menu->actions()) {
      captions.push_back(action->text().toStdString());
      if (captions.back() == Utf8(c.caption)) chosen = action;
    }
    EXPECT_EQ((std::vector<std::string>{Utf8(u8"ページを開く"), Utf8(u8"アドレスをコピー"), Utf8(u8"IDをコピー")}),
              captions);
    ASSERT_NE(nullptr, chosen);
    chosen->trigger();
    menu->close();
    EXPECT_EQ(c.clipboard, QGuiApplication::clipboard()->text().toStdString()) << Utf8(c.caption);
    EXPECT_EQ(c.clipboard.empty() ? std::vector<std::string>{page12345} : std::vector<std::string>{}, opened_)
        << Utf8(c.caption);
  }
  // No menu off the rows.
  const QPoint empty(20, List().viewport()->height() - 5);
  QContextMenuEvent below(QContextMenuEvent::Mouse, empty, List().viewport()->mapToGlobal(empty));
  QCoreApplication::sendEvent(List().viewport(), &below);
  EXPECT_EQ(nullptr, QApplication::activePopupWidget());
}

TEST_F(DialogTest, DoubleClickOnTheEmptyPartOfTheListOpensNothing) {
  const std::string red = WriteImage("red.png", Qt::red);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 2, 0, 40);
  }
  OpenDialog();
  Drop({red});
  List().selectRow(0);
  DoubleClickAt(QPoint(20, List().viewport()->height() - 5));
  EXPECT_TRUE(opened_.empty());
}

TEST_F(DialogTest, EnterOpensTheFileDialogAndAMissingFileListsNothingAndSaysWhy) {
  const std::string red = WriteImage("red.png", Qt::red);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 5, 0, 40);
  }
  OpenDialog();
  Drop({red});
  ASSERT_FALSE(dialog_->Preview().IsEmpty());
  const std::string missing = PathOf("nowhere/missing.png");
  AnswerFileDialogWith(missing);
  List().setFocus();
  QTest::keyClick(dialog_.get(), Qt::Key_Return);
  WaitUntilIdle();
  EXPECT_EQ(missing, dialog_->GetControl()->Path());
  EXPECT_EQ(Utf8(u8"画像を読み込めませんでした\nファイルを開けません"), Status());
  EXPECT_TRUE(dialog_->Preview().IsEmpty());  // the failed load emptied it
  EXPECT_EQ(nullptr, dialog_->PreviewTexture());
  EXPECT_EQ(0, List().RowCount());  // no darkest entries passed off as a result
  EXPECT_NE(std::string::npos, LogText().find("CTintwiseDlg::LoadImage()"));
}

// A picture posted upside down is found through the flipped grid: the
// verdict names it, and it comes first in the list, marked, before the 20
// plain rows in their order.
TEST_F(DialogTest, AnEntryFoundByAnotherComparisonIsShownFirstAndMarked) {
  const std::string red = WriteImage("red.png", Qt::red);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 25, 0, 9);
    cache.Add("777", "upside down", "p", ApplyGridTransform(GridTransform::kFlip, SignatureOf(red)));
  }
  OpenDialog();
  Drop({red});
  // The tests' site is closed: the verdict says it could not be confirmed.
  EXPECT_EQ(Utf8(u8"検索終了\n投稿済み（サイトの画像を取得できず未確認）　ID 777　差 0　上下反転"), Status());
  ASSERT_EQ(21, List().RowCount());
  EXPECT_EQ((std::vector<std::string>{"upside down", "p", "777", Sjis(u8"0000 上下反転")}), List().GetRowTexts(0));
  for (int row = 2; row < 21; ++row) EXPECT_LE(List().GetRowTexts(row - 1)[3], List().GetRowTexts(row)[3]) << row;
}

TEST_F(DialogTest, EscapeReleasesTheDeviceAndCloses) {
  OpenDialog();
  QTest::keyClick(dialog_.get(), Qt::Key_Escape);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(nullptr, D3DDevice::Current());
}

TEST_F(DialogTest, ExitDuringASearchClosesOnceTheSearchHasEnded) {
  const std::string red = WriteImage("red.png", Qt::red);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 3000, 0, 0);
  }
  OpenDialog();
  ASSERT_TRUE(dialog_->SearchImage(red));
  dialog_->close();
  EXPECT_TRUE(dialog_->isVisible());
  ASSERT_TRUE(QTest::qWaitFor([this] { return !dialog_->isVisible(); }, 30000));
  EXPECT_EQ(0u, Status().rfind(Utf8(u8"検索終了\n"), 0)) << Status();
  EXPECT_EQ(20, List().RowCount());
  EXPECT_EQ(nullptr, D3DDevice::Current());
}

TEST_F(DialogTest, AnImageNamedAtStartIsSearchedOnceTheCacheIsLoaded) {
  const std::string blue = WriteImage("blue.png", Qt::blue);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 4, 0, 50);
    cache.Add("103", "blue", "p", SignatureOf(blue));
  }
  OpenDialog(blue);
  ASSERT_GE(List().RowCount(), 1);
  EXPECT_EQ("103", List().GetRowTexts(0)[2]);
  EXPECT_FALSE(dialog_->Preview().IsEmpty());
}

TEST_F(DialogTest, LayoutFollowsTheTemplateInDialogUnits) {
  OpenDialog();
  const DialogUnits units(dialog_->font());
  EXPECT_EQ(Utf8(u8"(ν・▽)νティントワイズ Ver 0.07"), dialog_->windowTitle().toStdString());
  // The original 442 units plus the site picture's column (its box and a margin).
  EXPECT_EQ(units.X(442 + 128 + 7), dialog_->width());
  EXPECT_GE(dialog_->height(), units.Y(196));
  // The template's size is the smallest; the window may grow.
  EXPECT_EQ(dialog_->minimumSize(), dialog_->size());
  EXPECT_GT(dialog_->maximumWidth(), dialog_->width());
  EXPECT_EQ(units.Rect(401, 7, 15, 14), Button(CTintwiseDlg::kOpen).geometry());
  EXPECT_EQ(units.Rect(307, 43, 128, 128), dialog_->Preview().geometry());
  EXPECT_EQ(units.Rect(7, 7, 300, 165), List().geometry());
  EXPECT_EQ(Utf8(u8"ｷｬｯｼｭ更新"), Button(CTintwiseDlg::kUpdate).text().toStdString());
}

// Made larger, the list takes the height and shares the width with the two
// boxes, which grow together and square; the buttons keep their size; nothing
// overlaps or leaves the window; the columns grow with the list and the
// difference column keeps its verdict mark in view.
TEST_F(DialogTest, ResizingGrowsTheListAndTheSquareBoxesAndCutsNothing) {
  const std::string red = WriteImage("red.png", Qt::red);
  {
    CacheFileWriter cache(PathOf("cache.db"));
    AddFillerRows(cache, 25, 0, 9);
    cache.Add("777", "upside down", "p", ApplyGridTransform(GridTransform::kFlip, SignatureOf(red)));
  }
  OpenDialog();
  Drop({red});
  ASSERT_EQ(Sjis(u8"0000 上下反転"), List().GetRowTexts(0)[3]);
  // The longest mark a verdict gives.
  dialog_->ShowVerdict(Sjis(u8"検索終了"), {"toned", "p", "778", Sjis(u8"0012 明るさ・コントラスト")});
  ASSERT_EQ(Sjis(u8"0012 明るさ・コントラスト"), List().GetRowTexts(0)[3]);
  const QSize base = dialog_->size();
  const auto geometries = [this] {
    std::vector<QRect> rects;
    for (QWidget* child : dialog_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (child->isVisible()) rects.push_back(child->geometry());
    }
    return rects;
  };
  const QRect list0 = List().geometry();
  const QRect preview0 = dialog_->Preview().geometry();
  const int title0 = List().columnWidth(0);
  struct Case {
    QSize size;
    bool square;
  };
  const Case cases[] = {{base, false}, {QSize(1600, 1000), true}, {base + QSize(900, 80), true},
                        {base + QSize(150, 700), true}, {base + QSize(40, 0), false}};
  for (const Case& c : cases) {
    dialog_->resize(c.size);
    QCoreApplication::processEvents();
    const std::string where = std::to_string(c.size.width()) + "x" + std::to_string(c.size.height());
    ASSERT_EQ(c.size, dialog_->size()) << where;
    const QRect list = List().geometry();
    const QRect preview = dialog_->Preview().geometry();
    const QRect site = dialog_->SitePicture().geometry();
    EXPECT_GE(list.height(), list0.height() + c.size.height() - base.height()) << where;
    EXPECT_GE(list.width(), list0.width()) << where;
    EXPECT_EQ(preview.size(), site.size()) << where;
    EXPECT_EQ(preview.top(), site.top()) << where;
    if (c.square) {
      EXPECT_GT(preview.width(), preview0.width()) << where;
      EXPECT_EQ(preview.width(), preview.height()) << where;
    }
    for (QPushButton* button : dialog_->Buttons()) EXPECT_LT(button->geometry().bottom(), preview.top()) << where;
    const std::vector<QRect> rects = geometries();
    for (size_t a = 0; a < rects.size(); ++a) {
      EXPECT_TRUE(dialog_->rect().contains(rects[a])) << where << " " << a;
      for (size_t b = a + 1; b < rects.size(); ++b) EXPECT_FALSE(rects[a].intersects(rects[b])) << where;
    }
    // The verdict's mark is not cut; larger, the list needs no horizontal scroll.
    EXPECT_FALSE(List().IsCellCut(0, 3)) << where;
    if (c.size.width() > base.width() + 400) {
      EXPECT_GT(List().columnWidth(0), title0) << where;
      EXPECT_EQ(0, List().horizontalScrollBar()->maximum()) << where;
    }
  }
}

TEST_F(DialogTest, ResizingKeepsTheButtonsSizeAndOrder) {
  OpenDialog();
  std::vector<QRect> before;
  for (QPushButton* button : dialog_->Buttons()) before.push_back(button->geometry());
  dialog_->resize(dialog_->size() + QSize(500, 300));
  QCoreApplication::processEvents();
  const int shift = Button(CTintwiseDlg::kSecret).x() - before[CTintwiseDlg::kSecret].x();
  EXPECT_GT(shift, 0);  // the column moved right with the list
  for (size_t place = 0; place < before.size(); ++place) {
    EXPECT_EQ(before[place].translated(shift, 0), dialog_->Buttons()[place]->geometry()) << place;
  }
  EXPECT_EQ(dialog_->Preview().x(), Button(CTintwiseDlg::kSecret).x());
}

// A cell whose text is cut shows the whole text as its tooltip; one that
// fits shows none.
TEST_F(DialogTest, ACutCellShowsItsWholeTextAsATooltip) {
  const std::string red = WriteImage("red.png", Qt::red);
  const std::string title = Utf8(u8"とても長いタイトルの作品、最後まで読めるでしょうか、いいえ読めません");
  {
    CacheFileWriter cache(PathOf("cache.db"));
    cache.Add("1", SjisText(std::u8string(title.begin(), title.end())).str(), "p", SignatureOf(red));
    cache.Add("2", "short", "p", Uniform(40));
  }
  OpenDialog();
  Drop({red});
  ASSERT_EQ(2, List().RowCount());
  struct Case {
    int row;
    int column;
    bool cut;
  };
  for (const Case& c : {Case{0, 0, true}, Case{1, 0, false}, Case{0, 3, false}}) {
    QToolTip::hideText();
    ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 5000));
    EXPECT_EQ(c.cut, List().IsCellCut(c.row, c.column)) << c.row << "," << c.column;
    const QRect cell = List().visualRect(List().model()->index(c.row, c.column));
    QHelpEvent help(QEvent::ToolTip, cell.center(), List().viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(List().viewport(), &help);
    if (c.cut) {
      EXPECT_TRUE(QToolTip::isVisible());
      EXPECT_EQ(title, QToolTip::text().toStdString());
    } else {
      EXPECT_FALSE(QToolTip::isVisible()) << c.row << "," << c.column;
    }
  }
}

// Closing keeps the size, the position and the column widths the user chose
// in the data directory, and the next start restores them; a size under the
// template's or a position off every screen is not taken.
TEST_F(DialogTest, TheWindowOpensAsItWasClosed) {
  OpenDialog();
  const QSize smallest = dialog_->minimumSize();
  const QSize chosen = smallest + QSize(300, 250);
  dialog_->resize(chosen);
  dialog_->move(30, 40);
  QCoreApplication::processEvents();
  const int grown = List().columnWidth(0);
  List().horizontalHeader()->resizeSection(0, grown + 45);  // as a drag of its border does
  const std::vector<int> widths = List().ColumnWidths();
  EXPECT_EQ(200 + 45, widths[0]);
  QTest::mouseClick(&Button(CTintwiseDlg::kExit), Qt::LeftButton);
  ASSERT_FALSE(dialog_->isVisible());
  ASSERT_TRUE(FileExists(PathOf("window.ini")));
  EXPECT_FALSE(FileExists(PathOf("cache.ini")));

  OpenDialog();
  EXPECT_EQ(chosen, dialog_->size());
  EXPECT_EQ(QPoint(30, 40), dialog_->pos());
  EXPECT_EQ(widths, List().ColumnWidths());
  // Its own width is the user's; the list's room is shared anew.
  EXPECT_GT(List().columnWidth(0), grown);
  dialog_.reset();

  struct Case {
    const char* content;
    QSize size;
    bool moved;
  };
  const Case cases[] = {
      {"[window]\nleft=-5000\ntop=-5000\nwidth=1200\nheight=700\n", QSize(1200, 700), false},
      {"[window]\nleft=50\ntop=60\nwidth=100\nheight=50\n", smallest, true},
      {"[window]\nleft=50\ntop=60\nwidth=broken\nheight=50\ncolumns=1,2\n", smallest, false},
  };
  for (const Case& c : cases) {
    WriteWholeFile(PathOf("window.ini"), c.content);
    OpenDialog();
    EXPECT_EQ(c.size.expandedTo(smallest), dialog_->size()) << c.content;
    EXPECT_EQ(c.moved, dialog_->pos() == QPoint(50, 60)) << c.content;
    EXPECT_NE(QPoint(-5000, -5000), dialog_->pos()) << c.content;
    EXPECT_EQ(150, List().ColumnWidths()[1]) << c.content;  // two widths are not four columns'
    dialog_.reset();
  }
}

TEST_F(DialogTest, NoTextIsCutOff) {
  OpenDialog();
  for (QPushButton* button : dialog_->Buttons()) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect inside = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), inside.width())
        << button->text().toStdString();
  }
  const QLabel& help = dialog_->HelpText();
  EXPECT_LE(help.heightForWidth(help.width()), help.height());
  EXPECT_LE(help.geometry().bottom(), dialog_->height());
  // Every glyph of the Japanese texts is in the chosen font.
  const QFontMetrics metrics(dialog_->font());
  for (QChar c : help.text()) EXPECT_TRUE(metrics.inFont(c)) << QString(c).toStdString();
}

TEST_F(DialogTest, TabVisitsTheControlsInTemplateOrder) {
  OpenDialog();
  const std::vector<QWidget*> expected = {&Button(CTintwiseDlg::kOpen),   &Button(CTintwiseDlg::kExit),
                                          &List(),                        &Button(CTintwiseDlg::kSecret),
                                          &Button(CTintwiseDlg::kAbort),  &Button(CTintwiseDlg::kUpdate)};
  std::vector<QWidget*> order;
  QWidget* widget = expected.front();
  do {
    if (widget->focusPolicy() & Qt::TabFocus) order.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != expected.front());
  EXPECT_EQ(expected, order);
}

}  // namespace
