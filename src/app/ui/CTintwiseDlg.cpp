#include "app/ui/CTintwiseDlg.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QThread>
#include <QUrl>
#include <cstring>
#include <exception>

#include "infra/Environment.h"
#include "infra/Log.h"
#include "app/shared/OperationRunner.h"
#include "app/shared/WindowLayout.h"
#include "app/shared/WindowPlacement.h"
#include "app/ui/CListCtrlEx.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUnits.h"
#include "app/ui/PreviewBox.h"
#include "app/ui/ProgramIcon.h"
#include "app/ui/MimeDropData.h"
#include "app/ui/QueuedControlView.h"
#include "app/ui/Swatch.h"
#include "control/PictureBytes.h"
#include "control/QueryPicture.h"
#include "control/DataDirectoryNotice.h"
#include "control/SitePictureCache.h"
#include "control/SitePictureFetcher.h"
#include "infra/InternetSession.h"
#include "search/CacheTable.h"
#include "imaging/D3DDevice.h"
#include "imaging/PreviewLoader.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "control/Control.h"

namespace {

const SjisText kTitle{u8"(ν・▽)νティントワイズ Ver 0.07"};
const SjisText kOpenCaption{u8"開く"};
const SjisText kExitCaption{u8"終了"};
const SjisText kSecretCaption{u8"秘密のボタン"};
const SjisText kAbortCaption{u8"中止"};
const SjisText kUpdateCaption{u8"ｷｬｯｼｭ更新"};
const SjisText kIdle{u8"待機中"};
// An installed copy starts with an empty data directory.
const SjisText kNoCache{u8"キャッシュがありません\nｷｬｯｼｭ更新で取得してください"};
const SjisText kHelp{
    u8"既出チェックを行いたい画像ファイルをドラッグ＆ドロップしてください。"
    u8"色合いの近い画像ほど上のほうに表示されます。"
    u8"リストをダブルクリックすると、該当のページへ飛びます。"
    u8"画像検索はキャッシュを使用して行うため、mofu!サーバーには負荷を殆どかけません。"};
const SjisText kColumnTitle{u8"タイトル"};
const SjisText kColumnPoster{u8"投稿者"};
const SjisText kColumnId{u8"ID"};
const SjisText kColumnDifference{u8"差異"};
const SjisText kOperationFailed{u8"CTintwiseDlg::StartOperation() : 処理が例外で終了しました"};
const SjisText kSiteCaption{u8"サイトの画像"};
const SjisText kQuerySwatchCaption{u8"検索画像の色"};
const SjisText kPasteCaption{u8"貼り付け"};
const SjisText kSiteLoading{u8"読み込み中..."};
const SjisText kSiteUndecodable{u8"画像を読み込めませんでした"};
const SjisText kOpenPageCaption{u8"ページを開く"};
const SjisText kCopyAddressCaption{u8"アドレスをコピー"};
const SjisText kCopyIdCaption{u8"IDをコピー"};

constexpr int kColumnWidths[] = {200, 150, 100, 100};
// Fits its widest text: a verdict's mark follows the number.
constexpr int kDifferenceColumn = 3;
// The window's size, position and column widths, in the data directory.
constexpr const char* kPlacementFile = "window.ini";
// How often closing repeats Abort until the operation has ended.
constexpr int kAbortRepeatMs = 100;
// Pixels per cell of the query's swatch.
constexpr int kQuerySwatchCell = 8;

QString Text(const std::string& sjis) { return QString::fromStdString(Cp932ToUtf8(sjis)); }

// The system hands paths through as file-system bytes.
std::string NativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

void OpenInBrowser(const std::string& url) {
  QDesktopServices::openUrl(QUrl(Text(url), QUrl::TolerantMode));
}

// The template's buttons are narrow for their captions; where a caption does
// not fit inside the button's frame, its font is narrowed (to no less than
// 80 %) rather than the caption cut off.
void FitCaption(QPushButton& button) {
  QStyleOptionButton option;
  option.initFrom(&button);
  option.text = button.text();
  const int room = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).width();
  QFont font = button.font();
  for (int stretch = 100; stretch >= 80; stretch -= 2) {
    font.setStretch(stretch);
    if (QFontMetrics(font).horizontalAdvance(button.text()) <= room) {
      if (stretch != 100) button.setFont(font);
      return;
    }
  }
}

QImage RenderPreview(const Texture* texture) {
  const std::shared_ptr<D3DDevice> device = D3DDevice::Current();
  if (!device || !texture) return {};
  device->DrawPreview(texture);
  constexpr int kSide = D3DDevice::kBackBufferSize;
  QImage image(kSide, kSide, QImage::Format_RGB32);
  const std::uint32_t* pixels = device->BackBuffer();
  for (int y = 0; y < kSide; ++y) {
    std::memcpy(image.scanLine(y), pixels + static_cast<size_t>(y) * kSide, kSide * sizeof(std::uint32_t));
  }
  return image;
}

// The site's picture, decoded and brought down to at most twice the box's
// side as its rows arrive (the box shows it stretched, as the preview is). A
// null image when it cannot be decoded. Any thread.
QImage SitePictureImage(const std::string& bytes, QSize box) {
  int width = 0;
  int height = 0;
  std::string reason;
  const std::vector<std::uint32_t> pixels =
      ReducePictureBytes(bytes, box.width() * 2, box.height() * 2, &width, &height, &reason);
  if (pixels.empty()) return {};
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) line[x] = pixels[static_cast<std::size_t>(y) * width + x] | 0xFF000000u;
  }
  return image;
}

}  // namespace

CTintwiseDlg::CTintwiseDlg(Options options, QWidget* parent)
    : QDialog(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      options_(std::move(options)),
      icon_(ProgramIcon()) {
  if (!options_.openUrl) options_.openUrl = OpenInBrowser;
  CreateControls();
  InitializeSystem();
}

CTintwiseDlg::~CTintwiseDlg() {
  siteFetcher_.reset();
  if (runner_ && runner_->IsBusy()) {
    // An operation that has only just started may set its running flag
    // after a single Abort; repeating it until the worker returns makes
    // sure a download ends within a second.
    std::atomic<bool> returned{false};
    std::shared_ptr<Control> control = control_;
    std::thread repeat([&returned, control] {
      while (!returned.load()) {
        control->Abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(kAbortRepeatMs));
      }
    });
    runner_->Wait();
    returned.store(true);
    repeat.join();
  }
}

void CTintwiseDlg::CreateControls() {
  setFont(DialogFont());
  setWindowTitle(Text(kTitle));
  setWindowIcon(icon_);
  setAcceptDrops(true);
  setSizeGripEnabled(false);
  const DialogUnits units(font());

  // Created in tab order.
  auto makeButton = [&](const std::string& caption) {
    auto* button = new QPushButton(Text(caption), this);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
  };
  buttons_[kOpen] = makeButton(kOpenCaption);
  buttons_[kExit] = makeButton(kExitCaption);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setWordWrap(true);

  list_ = new CListCtrlEx(this);

  hidden_ = new QFrame(this);
  hidden_->setFrameShape(QFrame::Box);
  hidden_->hide();

  preview_ = new PreviewBox(this);

  help_ = new QLabel(Text(kHelp), this);
  help_->setTextFormat(Qt::PlainText);
  help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help_->setWordWrap(true);

  buttons_[kSecret] = makeButton(kSecretCaption);
  buttons_[kAbort] = makeButton(kAbortCaption);
  buttons_[kUpdate] = makeButton(kUpdateCaption);

  // The site's picture of the selected row, in a column of its own right of
  // the preview, and the query's swatch under it.
  siteCaption_ = new QLabel(Text(kSiteCaption), this);
  siteCaption_->setTextFormat(Qt::PlainText);
  siteCaption_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  site_ = new PreviewBox(this);
  querySwatch_ = new QLabel(this);
  querySwatchCaption_ = new QLabel(Text(kQuerySwatchCaption), this);
  querySwatchCaption_->setTextFormat(Qt::PlainText);
  querySwatchCaption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  querySwatchCaption_->hide();

  // The help text's height for a width is the label's own, so the layout
  // wraps it as it is drawn.
  layout_ = std::make_unique<WindowLayout>(units.Scale(), 3 * kQuerySwatchCell,
                                           [help = help_](int width) { return help->heightForWidth(width); });

  // Ctrl+V anywhere in the window, and the preview's context menu.
  paste_ = new QAction(Text(kPasteCaption), this);
  paste_->setShortcut(QKeySequence::Paste);
  paste_->setShortcutContext(Qt::WindowShortcut);
  addAction(paste_);
  preview_->setContextMenuPolicy(Qt::ActionsContextMenu);
  preview_->addAction(paste_);
  connect(paste_, &QAction::triggered, this, &CTintwiseDlg::OnPaste);

  // What can be done with a row: its context menu, Enter and Ctrl+C on the list.
  rowMenu_ = new QMenu(this);
  QAction* openPage = rowMenu_->addAction(Text(kOpenPageCaption));
  QAction* copyAddress = rowMenu_->addAction(Text(kCopyAddressCaption));
  QAction* copyId = rowMenu_->addAction(Text(kCopyIdCaption));
  copyAddress->setShortcut(QKeySequence::Copy);
  copyAddress->setShortcutContext(Qt::WidgetShortcut);
  list_->addAction(copyAddress);
  connect(openPage, &QAction::triggered, this, &CTintwiseDlg::OnListDoubleClick);
  connect(copyAddress, &QAction::triggered, this, [this] { CopySelectedRow(/*address=*/true); });
  connect(copyId, &QAction::triggered, this, [this] { CopySelectedRow(/*address=*/false); });
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QWidget::customContextMenuRequested, this, &CTintwiseDlg::OnListContextMenu);

  abortRepeat_ = new QTimer(this);
  abortRepeat_->setInterval(kAbortRepeatMs);
  connect(abortRepeat_, &QTimer::timeout, this, [this] { control_->Abort(); });

  siteDelay_ = new QTimer(this);
  siteDelay_->setSingleShot(true);
  siteDelay_->setInterval(kSiteFetchDelayMs);
  connect(siteDelay_, &QTimer::timeout, this, &CTintwiseDlg::FetchSelectedSitePicture);

  QWidget* chain[] = {buttons_[kOpen], buttons_[kExit], list_, buttons_[kSecret], buttons_[kAbort],
                      buttons_[kUpdate]};
  for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);

  // The template's size is the smallest; larger, the layout grows.
  const PixelSize defaultSize = layout_->DefaultSize();
  setMinimumSize(defaultSize.width, defaultSize.height);
  resize(defaultSize.width, defaultSize.height);
  ApplyLayout();
  // The captions are fitted once, at their buttons' size, which stays.
  for (QPushButton* button : buttons_) FitCaption(*button);

  connect(buttons_[kOpen], &QPushButton::clicked, this, &CTintwiseDlg::OnOpen);
  connect(buttons_[kExit], &QPushButton::clicked, this, &CTintwiseDlg::reject);
  connect(buttons_[kSecret], &QPushButton::clicked, this, &CTintwiseDlg::OnGenerateCache);
  connect(buttons_[kAbort], &QPushButton::clicked, this, &CTintwiseDlg::OnAbort);
  connect(buttons_[kUpdate], &QPushButton::clicked, this, &CTintwiseDlg::OnUpdateCache);
  connect(list_, &CListCtrlEx::DoubleClicked, this, &CTintwiseDlg::OnListDoubleClick);
}

void CTintwiseDlg::ApplyLayout() {
  const WindowLayout::Rects rects = layout_->Arrange({width(), height()});
  const auto place = [&rects](QWidget* widget, WindowLayout::Control control) {
    const PixelRect& r = rects[control];
    widget->setGeometry(r.left, r.top, r.width, r.height);
  };
  place(list_, WindowLayout::kList);
  place(buttons_[kSecret], WindowLayout::kSecretButton);
  place(buttons_[kUpdate], WindowLayout::kUpdateButton);
  place(buttons_[kAbort], WindowLayout::kAbortButton);
  place(buttons_[kOpen], WindowLayout::kOpenButton);
  place(buttons_[kExit], WindowLayout::kExitButton);
  place(status_, WindowLayout::kStatus);
  place(preview_, WindowLayout::kPreview);
  place(hidden_, WindowLayout::kHidden);
  place(help_, WindowLayout::kHelp);
  place(siteCaption_, WindowLayout::kSiteCaption);
  place(site_, WindowLayout::kSitePicture);
  place(querySwatch_, WindowLayout::kQuerySwatch);
  place(querySwatchCaption_, WindowLayout::kQuerySwatchCaption);
  siteSide_->store(std::max(site_->width(), site_->height()));
}

void CTintwiseDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (layout_) ApplyLayout();
}

void CTintwiseDlg::InitializeSystem() {
  if (options_.programDirectory.empty()) {
    InitializeEnvironment();
  } else {
    InitializeEnvironmentAt(options_.programDirectory);
  }
  OpenLog("log.txt");
  // A portable copy that may not write its own folder says where its files
  // went instead, at every start, and how to use the cache beside it.
  if (const DataDirectoryNotice notice = DataDirectoryNotice::Current(); !notice.Empty()) WriteLog(notice.LogText());
  D3DDevice::Initialize();

  queuedView_ = std::make_unique<QueuedControlView>(*this);
  control_ = std::make_shared<Control>(*queuedView_, options_.session);
  siteCache_ = std::make_unique<SitePictureCache>(
      options_.siteCacheDirectory.empty() ? SitePictureCache::DefaultDirectory() : options_.siteCacheDirectory);
  QPointer<CTintwiseDlg> self(this);
  siteFetcher_ = std::make_unique<SitePictureFetcher>(
      control_->Session(), siteCache_.get(), [self, siteSide = siteSide_](SitePictureFetcher::Result result) {
        // Decoded here, on the fetcher's thread, so the window never waits.
        QImage picture;
        std::string message = result.message;
        if (result.ok) {
          const int side = siteSide->load();
          picture = SitePictureImage(result.bytes, QSize(side, side));
          if (picture.isNull()) message = kSiteUndecodable.str();
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, id = result.id, picture, message] {
              if (self) self->ShowSitePicture(id, picture, message);
            },
            Qt::QueuedConnection);
      });
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &CTintwiseDlg::OnSelectionChanged);
  // The completion is an event of this window's: dropped with it.
  runner_ = std::make_unique<OperationRunner>(
      [this](std::function<void()> complete) {
        QMetaObject::invokeMethod(this, std::move(complete), Qt::QueuedConnection);
      },
      [this] { OnOperationFinished(); });

  list_->SetColumns({kColumnTitle, kColumnPoster, kColumnId, kColumnDifference});
  list_->SetColumnWidths(std::vector<int>(std::begin(kColumnWidths), std::end(kColumnWidths)));
  list_->SetFittedColumn(kDifferenceColumn);
  RestorePlacement();

  // The loading's own first calls arrive queued; the window is shown in the
  // state they set so that nothing but Abort is usable from the first paint.
  SetStatusText(kIdle);
  EnableControls(false);
  StartOperation([](Control& control) { control.LoadCache(); });
}

bool CTintwiseDlg::StartOperation(std::function<void(Control&)> operation) {
  if (runner_->IsBusy()) return false;
  std::shared_ptr<Control> control = control_;
  QueuedControlView* view = queuedView_.get();
  return runner_->Start([control, view, operation = std::move(operation)] {
    try {
      operation(*control);
    } catch (const std::exception& error) {
      // Nothing may leave the worker; the window must become usable again.
      WriteLog(kOperationFailed.str());
      WriteLog(error.what());
      view->EnableControls(true);
    } catch (...) {
      WriteLog(kOperationFailed.str());
      view->EnableControls(true);
    }
  });
}

void CTintwiseDlg::OnOperationFinished() {
  // A status text held back to spare the status line is shown before the
  // operation counts as ended.
  queuedView_->Flush();
  ShowSwatches();
  if (closePending_) {
    EndDialog();
    return;
  }
  if (startupLoad_) {
    startupLoad_ = false;
    // An installed copy has no cache until the user fetches one: say how. A
    // copy that could not use its own folder says which one it uses instead.
    if (control_->RowCount() == 0 && ProgramDirectoryRule() == DataDirectoryRule::kUserData) {
      const DataDirectoryNotice notice = DataDirectoryNotice::Current();
      SetStatusText(notice.Empty() ? kNoCache.str() : notice.StatusText());
    }
    if (buttons_[kOpen]->isEnabled()) buttons_[kOpen]->setFocus();
    if (!options_.searchAtStart.empty()) SearchImage(options_.searchAtStart);
  }
  emit OperationFinished();
}

bool CTintwiseDlg::IsBusy() const { return runner_->IsBusy(); }

void CTintwiseDlg::SetStatusText(const std::string& text) { status_->setText(Text(text)); }

void CTintwiseDlg::EnableControls(bool enable) {
  list_->setEnabled(enable);
  for (QPushButton* button : buttons_) button->setEnabled(enable);
  buttons_[kAbort]->setEnabled(true);
  buttons_[kSecret]->setEnabled(false);
}

void CTintwiseDlg::ClearRows() {
  list_->DeleteAllItems();
  // The rows the site picture and the swatches belonged to are gone.
  siteDelay_->stop();
  siteFetcher_->Cancel();
  siteId_.clear();
  site_->SetMessage({});
  querySwatch_->clear();
  querySwatchCaption_->hide();
}

void CTintwiseDlg::AddRow(const std::vector<std::string>& texts) { list_->AddRow(texts); }

void CTintwiseDlg::ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) {
  SetStatusText(statusText);
  if (markedRow.empty()) return;
  // The marked entry goes first; the plain rows follow in their order.
  std::vector<std::vector<std::string>> rows;
  for (int row = 0; row < list_->RowCount(); ++row) rows.push_back(list_->GetRowTexts(row));
  list_->DeleteAllItems();
  list_->AddRow(markedRow);
  for (const auto& row : rows) list_->AddRow(row);
}

void CTintwiseDlg::LoadImage(const std::string& path) {
  std::shared_ptr<Texture> texture = LoadPreviewTexture(path);
  if (QThread::currentThread() == thread()) {
    SetPreviewTexture(std::move(texture));
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, texture = std::move(texture)]() mutable { SetPreviewTexture(std::move(texture)); },
      Qt::QueuedConnection);
}

void CTintwiseDlg::SetPreviewTexture(std::shared_ptr<Texture> texture) {
  previewTexture_ = std::move(texture);
  preview_->SetPicture(RenderPreview(previewTexture_.get()));
}

bool CTintwiseDlg::SearchImage(const std::string& path) {
  if (IsBusy() || closePending_) return false;
  control_->SetPath(path);
  // The preview is decoded on the worker too: a large picture takes a
  // moment, and the window stays responsive meanwhile. The search's own
  // disabling only arrives after that decode, so the controls go off here.
  EnableControls(false);
  const bool started = StartOperation([this, path](Control& control) {
    LoadImage(path);
    control.Search();
  });
  if (!started) EnableControls(true);
  return started;
}

bool CTintwiseDlg::SearchSource(const PictureSource& source) {
  if (IsBusy() || closePending_) return false;
  switch (source.kind) {
    case PictureSource::Kind::kNone:
      return false;
    case PictureSource::Kind::kNotAPicture:
      // The previous query's results would pass for this one's.
      ClearRows();
      SetPreviewTexture(nullptr);
      SetStatusText(QueryPicture::StatusText(QueryPicture::Outcome::kNotAPicture));
      return false;
    case PictureSource::Kind::kFile:
      return SearchImage(source.path);
    case PictureSource::Kind::kLink:
    case PictureSource::Kind::kData:
      break;
  }
  // Armed here, on the thread Abort comes from: an Abort pressed before the
  // worker starts the download still stops it.
  if (source.kind == PictureSource::Kind::kLink) control_->SetRunning(true);
  return StartOperation([this, source](Control& control) {
    const OperationContext context = control.Context();
    context.view.EnableControls(false);
    context.view.ClearRows();
    // Lives until the search is over; its temporary file goes with it.
    QueryPicture picture;
    const QueryPicture::Outcome outcome = source.kind == PictureSource::Kind::kLink
                                              ? picture.Download(source.url, context)
                                              : picture.Keep(source.bytes);
    if (outcome != QueryPicture::Outcome::kOk) {
      QMetaObject::invokeMethod(this, [this] { SetPreviewTexture(nullptr); }, Qt::QueuedConnection);
      context.view.SetStatusText(QueryPicture::StatusText(outcome, picture.Failure()));
      context.view.EnableControls(true);
      return;
    }
    control.SetPath(picture.Path());
    LoadImage(picture.Path());
    control.Search();
  });
}

void CTintwiseDlg::OnPaste() { SearchSource(PictureSource::From(MimeDropData(QGuiApplication::clipboard()->mimeData()))); }

void CTintwiseDlg::ShowSwatches() {
  const CacheTable* table = control_->Table();
  if (list_->RowCount() == 0 || !table) return;
  const std::optional<ImageCache::Colours>& query = control_->LastQuery();
  if (query) {
    querySwatch_->setPixmap(QPixmap::fromImage(SwatchImage(*query, kQuerySwatchCell)));
    querySwatchCaption_->show();
  }
  // The search names the table rows it listed; an id that no longer matches
  // its row (the table was replaced since) gets no swatch.
  std::unordered_map<std::string_view, std::size_t> stored;
  for (const std::size_t entry : control_->LastRows()) {
    if (entry < table->RowCount()) stored.emplace(table->Id(entry), entry);
  }
  const int cell = std::max(1, list_->iconSize().height() / 3);
  for (int row = 0; row < list_->RowCount(); ++row) {
    const std::vector<std::string> texts = list_->GetRowTexts(row);
    if (texts.size() <= 2 || !list_->RowSwatch(row).isNull()) continue;
    const auto found = stored.find(texts[2]);
    if (found != stored.end()) list_->SetRowSwatch(row, SwatchImage(table->Signature(found->second), cell));
  }
}

void CTintwiseDlg::OnSelectionChanged() {
  // Only where the selection comes to rest is fetched.
  siteDelay_->start();
}

void CTintwiseDlg::FetchSelectedSitePicture() {
  const int row = list_->FirstSelectedRow();
  const std::vector<std::string> texts = row >= 0 ? list_->GetRowTexts(row) : std::vector<std::string>();
  if (texts.size() < 3 || texts[2].empty()) return;
  // The same row again: nothing new unless its last fetch failed.
  if (texts[2] == siteId_ && (!site_->IsEmpty() || site_->Message() == Text(kSiteLoading))) return;
  siteId_ = texts[2];
  site_->SetMessage(Text(kSiteLoading));
  siteFetcher_->Request(siteId_);
}

void CTintwiseDlg::ShowSitePicture(const std::string& id, const QImage& picture, const std::string& message) {
  if (id != siteId_) return;
  if (!picture.isNull()) {
    site_->SetPicture(picture);
  } else {
    site_->SetMessage(Text(message));
  }
}

void CTintwiseDlg::OnOpen() {
  if (IsBusy() || closePending_) return;
  QFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::AnyFile);  // a typed name of a missing file is accepted
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return;
  SearchImage(NativePath(files.front()));
}

void CTintwiseDlg::OnGenerateCache() {
  if (closePending_) return;
  StartOperation([](Control& control) { control.GenerateCache(); });
}

void CTintwiseDlg::OnAbort() { control_->Abort(); }

void CTintwiseDlg::OnUpdateCache() {
  if (closePending_) return;
  StartOperation([](Control& control) { control.UpdateCache(); });
}

void CTintwiseDlg::OnListDoubleClick() {
  const std::string id = SelectedId();
  if (!id.empty()) options_.openUrl(PageUrl(id));
}

std::string CTintwiseDlg::SelectedId() const {
  const int row = list_->FirstSelectedRow();
  const std::vector<std::string> texts = row >= 0 ? list_->GetRowTexts(row) : std::vector<std::string>();
  return texts.size() >= 3 ? texts[2] : std::string();
}

void CTintwiseDlg::CopySelectedRow(bool address) {
  const std::string id = SelectedId();
  if (id.empty()) return;
  QGuiApplication::clipboard()->setText(Text(address ? PageUrl(id) : id));
}

void CTintwiseDlg::OnListContextMenu(const QPoint& at) {
  // The menu is for the row under the pointer, which becomes the selection.
  const QModelIndex index = list_->indexAt(at);
  if (!index.isValid()) return;
  list_->selectRow(index.row());
  rowMenu_->popup(list_->viewport()->mapToGlobal(at));
}

void CTintwiseDlg::reject() {
  if (IsBusy()) {
    // Waiting here would freeze the window; the dialog ends when the
    // operation reports that it has finished.
    closePending_ = true;
    control_->Abort();
    // Again until the operation has ended: see the destructor.
    abortRepeat_->start();
    return;
  }
  EndDialog();
}

void CTintwiseDlg::RestorePlacement() {
  const WindowPlacement placement = WindowPlacement::Load(ProgramDirectory() + kPlacementFile);
  if (static_cast<int>(placement.columns.size()) == list_->ColumnCount()) list_->SetColumnWidths(placement.columns);
  if (placement.frame) {
    const PixelRect& frame = *placement.frame;
    resize(std::max(minimumWidth(), frame.width), std::max(minimumHeight(), frame.height));
    // A screen that has gone since (or a damaged file) would hide the
    // window; it then opens where a new one would.
    std::vector<PixelRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
      const QRect area = screen->availableGeometry();
      screens.push_back({area.x(), area.y(), area.width(), area.height()});
    }
    if (WindowPlacement::IsOnScreen({frame.left, frame.top, width(), height()}, screens)) move(frame.left, frame.top);
  }
  if (placement.maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void CTintwiseDlg::SavePlacement() const {
  WindowPlacement placement;
  // A maximised window keeps the place it will be restored to.
  const QRect client = isMaximized() ? normalGeometry() : geometry();
  const QPoint frameOffset = geometry().topLeft() - pos();
  placement.frame = PixelRect{client.x() - frameOffset.x(), client.y() - frameOffset.y(), client.width(),
                              client.height()};
  placement.maximized = isMaximized();
  placement.columns = list_->ColumnWidths();
  placement.Save(ProgramDirectory() + kPlacementFile);
}

void CTintwiseDlg::EndDialog() {
  SavePlacement();
  closePending_ = false;
  abortRepeat_->stop();
  D3DDevice::Shutdown();
  QDialog::reject();
}

void CTintwiseDlg::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      // A focused push button takes Enter for itself, the list for its
      // selected row's page (as a double click); otherwise Enter opens.
      if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
        button->click();
      } else if (focusWidget() == list_ && list_->isEnabled() && !SelectedId().empty()) {
        OnListDoubleClick();
      } else if (buttons_[kOpen]->isEnabled()) {
        OnOpen();
      }
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

namespace {

// Text that names no picture is taken too, so that its drop can say so.
// Cheap: it runs on every move of a drag.
bool MayHoldPicture(const QMimeData* data) {
  if (!data) return false;
  if (data->hasUrls() || data->hasImage() || data->hasText()) return true;
  for (const QString& format : data->formats()) {
    if (format.startsWith(QLatin1String("image/"))) return true;
  }
  return false;
}

}  // namespace

void CTintwiseDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!IsBusy() && !closePending_ && MayHoldPicture(event->mimeData())) event->acceptProposedAction();
}

void CTintwiseDlg::dragMoveEvent(QDragMoveEvent* event) {
  if (!IsBusy() && !closePending_ && MayHoldPicture(event->mimeData())) event->acceptProposedAction();
}

void CTintwiseDlg::dropEvent(QDropEvent* event) {
  // Only the first file or link counts; the others are ignored.
  const PictureSource source = PictureSource::From(MimeDropData(event->mimeData()));
  if (source.kind == PictureSource::Kind::kNone) return;
  SearchSource(source);
  event->acceptProposedAction();
}
