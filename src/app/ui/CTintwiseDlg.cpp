#include "app/ui/CTintwiseDlg.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
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

#include "infra/Environment.h"
#include "infra/Log.h"
#include "app/shared/QueueDisplay.h"
#include "app/shared/QueueFollow.h"
#include "app/shared/ResultColumns.h"
#include "app/shared/ResultListing.h"
#include "app/shared/WindowOperations.h"
#include "app/shared/WindowSystem.h"
#include "app/shared/WindowTexts.h"
#include "app/shared/WindowLayout.h"
#include "app/shared/WindowPlacement.h"
#include "app/ui/CListCtrlEx.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUnits.h"
#include "app/ui/MimeDropData.h"
#include "app/ui/PreviewBox.h"
#include "app/ui/ProgramIcon.h"
#include "app/ui/QueueStrip.h"
#include "app/ui/QueuedControlView.h"
#include "app/ui/Swatch.h"
#include "control/PictureBytes.h"
#include "control/PictureQueue.h"
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


// How often closing repeats Abort until the operation has ended.
constexpr int kAbortRepeatMs = 100;
// The query's swatch: two lines of the dialog's text high, beside its caption.
constexpr int kQuerySwatchUnits = 16;

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

// `width` x `height` pixels, 0xAARRGGBB, top row first, as an opaque image.
QImage OpaqueImage(const std::uint32_t* pixels, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    const std::uint32_t* row = pixels + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) line[x] = row[x] | 0xFF000000u;
  }
  return image;
}

// A queued entry's kept preview, in pixels a side: its thumbnail and the
// preview box at its default size stay sharp, a thousand entries cost
// at most 256 MB.
constexpr int kQueuedPreviewSide = 256;

QImage TextureImage(const Texture* texture) {
  return texture ? OpaqueImage(texture->Pixels(), texture->Width(), texture->Height()) : QImage();
}

// The site's picture, decoded and brought down to at most the box's source
// side as its rows arrive (the box makes what it shows from it at its size
// on the screen). A null image when it cannot be decoded. Any thread.
QImage SitePictureImage(const std::string& bytes) {
  int width = 0;
  int height = 0;
  std::string reason;
  const std::vector<std::uint32_t> pixels = ReducePictureBytes(bytes, PreviewBox::kSourceSide,
                                                               PreviewBox::kSourceSide, &width, &height, &reason);
  if (pixels.empty()) return {};
  return OpaqueImage(pixels.data(), width, height);
}

// Open takes several files; a typed name of a missing file is still
// accepted, alone, so that the search says it cannot be read.
class OpenFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

 protected:
  void accept() override {
    const QStringList files = selectedFiles();
    if (files.size() == 1 && !QFileInfo::exists(files.front())) {
      QDialog::accept();
      return;
    }
    QFileDialog::accept();
  }
};

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
  if (operations_) operations_->Stop();
}

void CTintwiseDlg::CreateControls() {
  setFont(DialogFont());
  setWindowTitle(Text(WindowTexts::kTitle));
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
  buttons_[kOpen] = makeButton(WindowTexts::kOpenCaption);
  buttons_[kExit] = makeButton(WindowTexts::kExitCaption);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setWordWrap(true);

  list_ = new CListCtrlEx(this);

  hidden_ = new QFrame(this);
  hidden_->setFrameShape(QFrame::Box);
  hidden_->hide();

  preview_ = new PreviewBox(this);

  help_ = new QLabel(Text(WindowTexts::kHelp), this);
  help_->setTextFormat(Qt::PlainText);
  help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help_->setWordWrap(true);

  buttons_[kSecret] = makeButton(WindowTexts::kSecretCaption);
  buttons_[kAbort] = makeButton(WindowTexts::kAbortCaption);
  buttons_[kUpdate] = makeButton(WindowTexts::kUpdateCaption);

  // The site's picture of the selected row, in a column of its own right of
  // the preview, and the query's swatch under it.
  siteCaption_ = new QLabel(Text(WindowTexts::kSiteCaption), this);
  siteCaption_->setTextFormat(Qt::PlainText);
  siteCaption_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  site_ = new PreviewBox(this);
  querySwatch_ = new QLabel(this);
  querySwatchCaption_ = new QLabel(Text(WindowTexts::kQuerySwatchCaption), this);
  querySwatchCaption_->setTextFormat(Qt::PlainText);
  querySwatchCaption_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  querySwatchCaption_->hide();

  // The queue's thumbnails, shown only while several pictures are queued.
  strip_ = new QueueStrip(this);
  strip_->hide();
  strip_->setFocusPolicy(Qt::NoFocus);
  connect(strip_, &QueueStrip::EntrySelected, this, [this](int index) {
    // A thumbnail the user picks holds the list until the next queue.
    follow_.Picked(index);
    ShowQueueEntry(index);
  });

  // The help text's height for a width is the label's own, so the layout
  // wraps it as it is drawn.
  layout_ = std::make_unique<WindowLayout>(units.Scale(), units.Y(kQuerySwatchUnits) / 3 * 3,
                                           [help = help_](int width) { return help->heightForWidth(width); });

  // Ctrl+V anywhere in the window, and the preview's context menu.
  paste_ = new QAction(Text(WindowTexts::kPasteCaption), this);
  paste_->setShortcut(QKeySequence::Paste);
  paste_->setShortcutContext(Qt::WindowShortcut);
  addAction(paste_);
  preview_->setContextMenuPolicy(Qt::ActionsContextMenu);
  preview_->addAction(paste_);
  connect(paste_, &QAction::triggered, this, &CTintwiseDlg::OnPaste);

  // What can be done with a row: its context menu, Enter and Ctrl+C on the list.
  rowMenu_ = new QMenu(this);
  QAction* openPage = rowMenu_->addAction(Text(WindowTexts::kOpenPageCaption));
  QAction* copyAddress = rowMenu_->addAction(Text(WindowTexts::kCopyAddressCaption));
  QAction* copyId = rowMenu_->addAction(Text(WindowTexts::kCopyIdCaption));
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

  QWidget* chain[] = {buttons_[kOpen], buttons_[kExit], list_, strip_, buttons_[kSecret], buttons_[kAbort],
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
  const WindowLayout::Rects rects = layout_->Arrange({width(), height()}, queue_ != nullptr);
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
  if (queue_) place(strip_, WindowLayout::kQueueStrip);
}

void CTintwiseDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (layout_) ApplyLayout();
}

void CTintwiseDlg::InitializeSystem() {
  WindowSystem::Initialize(options_.programDirectory);
  D3DDevice::Initialize();

  queuedView_ = std::make_unique<QueuedControlView>(*this);
  control_ = std::make_shared<Control>(*queuedView_, options_.session);
  siteCache_ = std::make_unique<SitePictureCache>(
      options_.siteCacheDirectory.empty() ? SitePictureCache::DefaultDirectory() : options_.siteCacheDirectory);
  QPointer<CTintwiseDlg> self(this);
  siteFetcher_ = std::make_unique<SitePictureFetcher>(
      control_->Session(), siteCache_.get(), [self](SitePictureFetcher::Result result) {
        // Decoded here, on the fetcher's thread, so the window never waits.
        QImage picture;
        std::string message = result.message;
        if (result.ok) {
          picture = SitePictureImage(result.bytes);
          if (picture.isNull()) message = WindowTexts::kSiteUndecodable.str();
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
  operations_ = std::make_unique<WindowOperations>(
      control_, *this,
      [this](std::function<void()> complete) {
        QMetaObject::invokeMethod(this, std::move(complete), Qt::QueuedConnection);
      },
      [this] { OnOperationFinished(); }, [this](const std::string& path) { LoadImage(path); });
  operations_->ConfirmSearches(siteCache_.get());

  list_->SetColumns(ResultColumns::Titles());
  list_->SetColumnWidths(ResultColumns::DefaultWidths());
  list_->SetFittedColumn(ResultColumns::kDifference);
  RestorePlacement();

  // The loading's own first calls arrive queued; the window is shown in the
  // state they set so that nothing but Abort is usable from the first paint.
  SetStatusText(WindowTexts::kIdle);
  EnableControls(false);
  operations_->LoadCache();
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
    if (const std::string notice = WindowOperations::StartupNotice(*control_); !notice.empty()) SetStatusText(notice);
    if (buttons_[kOpen]->isEnabled()) buttons_[kOpen]->setFocus();
    if (!options_.searchAtStart.empty()) SearchImage(options_.searchAtStart);
  }
  emit OperationFinished();
}

bool CTintwiseDlg::IsBusy() const { return operations_->IsBusy(); }

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
  ResultListing::PutMarkedFirst(*list_, markedRow);
}

void CTintwiseDlg::LoadImage(const std::string& path) {
  std::shared_ptr<Texture> texture = path.empty() ? nullptr : LoadPreviewPicture(path, PreviewBox::kSourceSide);
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
  preview_->SetPicture(TextureImage(previewTexture_.get()));
}

bool CTintwiseDlg::SearchImage(const std::string& path) {
  if (IsBusy() || closePending_) return false;
  ShowQueue(false);
  return operations_->SearchFile(path);
}

bool CTintwiseDlg::SearchSource(const PictureSource& source) {
  if (IsBusy() || closePending_ || source.kind == PictureSource::Kind::kNone) return false;
  ShowQueue(false);
  return operations_->SearchSource(source);
}

void CTintwiseDlg::OnPaste() {
  const DropData data = MimeDropData(QGuiApplication::clipboard()->mimeData());
  if (const std::vector<std::string> paths = PictureSource::LocalFiles(data); PictureQueue::Queues(paths)) {
    CheckPictures(paths);
    return;
  }
  SearchSource(PictureSource::From(data));
}

void CTintwiseDlg::ShowSwatches() {
  if (!queue_) {
    ShowSwatches(control_->LastQuery(), control_->LastRows());
  } else {
    std::optional<ImageCache::Colours> query;
    std::vector<std::size_t> rows;
    QueueDisplay::EntrySwatches(*queue_, follow_.ShownEntry(), query, rows);
    ShowSwatches(query, rows);
  }
}

void CTintwiseDlg::ShowSwatches(const std::optional<ImageCache::Colours>& query,
                                const std::vector<std::size_t>& rows) {
  const CacheTable* table = control_->Table();
  if (list_->RowCount() == 0 || !table) return;
  ShowQuerySwatch(query);
  ResultListing::AddSwatches(*list_, *table, rows);
}

void CTintwiseDlg::ShowQuerySwatch(const std::optional<ImageCache::Colours>& query) {
  if (!query || list_->RowCount() == 0) return;
  // Made for the screen's pixel ratio now; made again when it changes.
  querySwatch_->setPixmap(QPixmap::fromImage(SwatchImage(*query, querySwatch_->height() / 3, devicePixelRatioF())));
  querySwatchCaption_->show();
}

bool CTintwiseDlg::event(QEvent* event) {
  // Another screen, or another scale on this one: the row swatches and the
  // pictures are drawn for the new ratio as they are painted, the query's
  // swatch is a picture made for the old one.
  bool ratioChanged = event->type() == QEvent::ScreenChangeInternal;
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
  ratioChanged = ratioChanged || event->type() == QEvent::DevicePixelRatioChange;
#endif
  if (ratioChanged && querySwatchCaption_ && !querySwatchCaption_->isHidden()) ShowSwatches();
  return QDialog::event(event);
}

void CTintwiseDlg::OnSelectionChanged() {
  // Only where the selection comes to rest is fetched.
  siteDelay_->start();
}

void CTintwiseDlg::FetchSelectedSitePicture() {
  const std::string id = SelectedId();
  if (id.empty()) return;
  // The same row again: nothing new unless its last fetch failed.
  if (id == siteId_ && (!site_->IsEmpty() || site_->Message() == Text(WindowTexts::kSiteLoading))) return;
  siteId_ = id;
  site_->SetMessage(Text(WindowTexts::kSiteLoading));
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
  OpenFileDialog dialog(this);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return;
  if (files.size() > 1) {
    std::vector<std::string> paths;
    for (const QString& file : files) paths.push_back(NativePath(file));
    CheckPictures(paths);
    return;
  }
  SearchImage(NativePath(files.front()));
}

void CTintwiseDlg::OnGenerateCache() {
  if (closePending_ || IsBusy()) return;
  // The queue's results name rows of the table about to be replaced.
  ShowQueue(false);
  operations_->GenerateCache();
}

void CTintwiseDlg::OnAbort() { control_->Abort(); }

void CTintwiseDlg::OnUpdateCache() {
  if (closePending_ || IsBusy()) return;
  ShowQueue(false);
  operations_->UpdateCache();
}

void CTintwiseDlg::OnListDoubleClick() {
  const std::string id = SelectedId();
  if (!id.empty()) options_.openUrl(PageUrl(id));
}

std::string CTintwiseDlg::SelectedId() const {
  return ResultListing::IdAt(*list_, list_->FirstSelectedRow());
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
  const WindowPlacement placement = WindowPlacement::Load(ProgramDirectory() + WindowPlacement::kFileName);
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
  placement.Save(ProgramDirectory() + WindowPlacement::kFileName);
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
  // Several files, or a folder, are queued; otherwise the first file or
  // link counts and the others are ignored.
  const DropData data = MimeDropData(event->mimeData());
  if (const std::vector<std::string> paths = PictureSource::LocalFiles(data); PictureQueue::Queues(paths)) {
    if (CheckPictures(paths)) event->acceptProposedAction();
    return;
  }
  const PictureSource source = PictureSource::From(data);
  if (source.kind == PictureSource::Kind::kNone) return;
  SearchSource(source);
  event->acceptProposedAction();
}

bool CTintwiseDlg::CheckPictures(const std::vector<std::string>& paths) {
  if (IsBusy() || closePending_ || paths.empty()) return false;
  auto queue = std::make_shared<PictureQueue>();
  ShowQueue(false);
  queue_ = queue;
  ShowQueue(true);
  ClearRows();
  SetPreviewTexture(nullptr);
  SetStatusText(PictureQueue::Label(PictureQueue::Mark::kChecking));
  // Only Abort among the buttons; the list and the strip stay usable, to
  // look at the entries already checked.
  EnableControls(false);
  list_->setEnabled(true);
  QPointer<CTintwiseDlg> self(this);
  const auto filled = [self, queue] {
    QMetaObject::invokeMethod(
        self.data(), [self, queue] { if (self) self->OnQueueFilled(queue); }, Qt::QueuedConnection);
  };
  const auto changed = [self, queue](std::size_t index) {
    // The preview is decoded on the worker too, once the picture has been
    // read; kept for every entry, so smaller than a searched one's.
    std::shared_ptr<Texture> preview;
    const PictureQueue::Entry entry = queue->At(index);
    if (QueueDisplay::BringsResult(entry)) preview = LoadPreviewPicture(entry.picture.path, kQueuedPreviewSide);
    QMetaObject::invokeMethod(
        self.data(),
        [self, queue, index, preview] {
          if (self) self->OnQueueEntryChanged(queue, index, preview);
        },
        Qt::QueuedConnection);
  };
  const bool started = operations_->CheckQueue(queue, paths, filled, changed);
  if (!started) {
    ShowQueue(false);
    EnableControls(true);
  }
  return started;
}

void CTintwiseDlg::ShowQueue(bool shown) {
  if (!shown) {
    if (!queue_) return;
    queue_.reset();
    queuePreviews_.clear();
    strip_->SetEntries({});
  }
  follow_.Reset();
  strip_->setVisible(shown);
  // Tab passes it by while it is hidden.
  strip_->setFocusPolicy(shown ? Qt::StrongFocus : Qt::NoFocus);
  ApplyLayout();
}

void CTintwiseDlg::OnQueueFilled(const std::shared_ptr<PictureQueue>& queue) {
  if (queue != queue_) return;
  const std::vector<std::string> names = QueueDisplay::Filled(*queue, *this);
  queuePreviews_.assign(names.size(), QImage());
  strip_->SetEntries(names);
}

void CTintwiseDlg::OnQueueEntryChanged(const std::shared_ptr<PictureQueue>& queue, std::size_t index,
                                       const std::shared_ptr<Texture>& preview) {
  if (queue != queue_ || index >= queuePreviews_.size()) return;
  const int row = static_cast<int>(index);
  const PictureQueue::Mark mark = queue->MarkAt(index);
  if (preview) {
    queuePreviews_[index] = TextureImage(preview.get());
    strip_->SetThumbnail(row, queuePreviews_[index]);
  }
  strip_->SetMark(row, mark, queue->LabelAt(index));
  if (follow_.ShowsOnChange(row, mark)) ShowQueueEntry(row);
}

void CTintwiseDlg::ShowQueueEntry(int index) {
  if (!queue_ || index < 0 || static_cast<std::size_t>(index) >= queue_->Size()) return;
  follow_.Shown(index);
  if (strip_->currentRow() != index) {
    // Not a selection of the user's: the list keeps following the queue.
    const QSignalBlocker quiet(strip_);
    strip_->setCurrentRow(index);
  }
  previewTexture_.reset();
  preview_->SetPicture(static_cast<std::size_t>(index) < queuePreviews_.size() ? queuePreviews_[index] : QImage());
  if (QueueDisplay::ShowEntry(*queue_, index, *this, control_->Table())) ShowSwatches();
}
