#include "app/ui/CTintwiseDlg.h"

#include <QDesktopServices>
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
#include "app/ui/CListCtrlEx.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUnits.h"
#include "app/ui/OperationRunner.h"
#include "app/ui/PreviewBox.h"
#include "app/ui/ProgramIcon.h"
#include "app/ui/QueuedControlView.h"
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

constexpr int kColumnWidths[] = {200, 150, 100, 100};

// Dialog size and control rectangles, in dialog units.
constexpr int kDialogWidth = 442;
constexpr int kDialogHeight = 196;

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

}  // namespace

CTintwiseDlg::CTintwiseDlg(Options options, QWidget* parent)
    : QDialog(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                  Qt::WindowCloseButtonHint),
      options_(std::move(options)),
      icon_(ProgramIcon()) {
  if (!options_.openUrl) options_.openUrl = OpenInBrowser;
  CreateControls();
  InitializeSystem();
}

CTintwiseDlg::~CTintwiseDlg() {
  if (runner_ && runner_->IsBusy()) {
    control_->Abort();
    runner_->Wait();
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
  auto makeButton = [&](const std::string& caption, int left, int top, int width, int height) {
    auto* button = new QPushButton(Text(caption), this);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(units.Rect(left, top, width, height));
    FitCaption(*button);
    return button;
  };
  buttons_[kOpen] = makeButton(kOpenCaption, 401, 7, 15, 14);
  buttons_[kExit] = makeButton(kExitCaption, 416, 7, 19, 14);

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setWordWrap(true);
  status_->setGeometry(units.Rect(307, 26, 128, 16));

  list_ = new CListCtrlEx(this);
  list_->setGeometry(units.Rect(7, 7, 300, 165));

  hidden_ = new QFrame(this);
  hidden_->setFrameShape(QFrame::Box);
  hidden_->setGeometry(units.Rect(7, 171, 1, 1));
  hidden_->hide();

  preview_ = new PreviewBox(this);
  preview_->setGeometry(units.Rect(307, 43, 128, 128));

  help_ = new QLabel(Text(kHelp), this);
  help_->setTextFormat(Qt::PlainText);
  help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help_->setWordWrap(true);
  QRect helpRect = units.Rect(7, 173, 428, 16);
  // The help text was written for a face with narrow kana; with a wider
  // face it needs more lines than its box holds, so the box (and the
  // dialog with it) grows rather than cutting the text off.
  const int needed = help_->heightForWidth(helpRect.width());
  const int extra = std::max(0, needed - helpRect.height());
  helpRect.setHeight(helpRect.height() + extra);
  help_->setGeometry(helpRect);

  buttons_[kSecret] = makeButton(kSecretCaption, 307, 7, 38, 14);
  buttons_[kAbort] = makeButton(kAbortCaption, 382, 7, 19, 14);
  buttons_[kUpdate] = makeButton(kUpdateCaption, 345, 7, 37, 14);

  QWidget* chain[] = {buttons_[kOpen], buttons_[kExit], list_, buttons_[kSecret], buttons_[kAbort],
                      buttons_[kUpdate]};
  for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);

  setFixedSize(units.X(kDialogWidth), units.Y(kDialogHeight) + extra);

  connect(buttons_[kOpen], &QPushButton::clicked, this, &CTintwiseDlg::OnOpen);
  connect(buttons_[kExit], &QPushButton::clicked, this, &CTintwiseDlg::reject);
  connect(buttons_[kSecret], &QPushButton::clicked, this, &CTintwiseDlg::OnGenerateCache);
  connect(buttons_[kAbort], &QPushButton::clicked, this, &CTintwiseDlg::OnAbort);
  connect(buttons_[kUpdate], &QPushButton::clicked, this, &CTintwiseDlg::OnUpdateCache);
  connect(list_, &CListCtrlEx::DoubleClicked, this, &CTintwiseDlg::OnListDoubleClick);
}

void CTintwiseDlg::InitializeSystem() {
  if (options_.programDirectory.empty()) {
    InitializeEnvironment();
  } else {
    InitializeEnvironmentAt(options_.programDirectory);
  }
  OpenLog("log.txt");
  D3DDevice::Initialize();

  queuedView_ = std::make_unique<QueuedControlView>(*this);
  control_ = std::make_shared<Control>(*queuedView_);
  runner_ = std::make_unique<OperationRunner>();
  connect(runner_.get(), &OperationRunner::Finished, this, &CTintwiseDlg::OnOperationFinished);

  list_->SetColumns({kColumnTitle, kColumnPoster, kColumnId, kColumnDifference});
  for (int column = 0; column < 4; ++column) list_->SetColumnWidth(column, kColumnWidths[column]);

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
  if (closePending_) {
    EndDialog();
    return;
  }
  if (startupLoad_) {
    startupLoad_ = false;
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

void CTintwiseDlg::ClearRows() { list_->DeleteAllItems(); }

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
  // moment, and the window stays responsive meanwhile.
  return StartOperation([this, path](Control& control) {
    LoadImage(path);
    control.Search();
  });
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
  const int row = list_->FirstSelectedRow();
  if (row < 0) return;
  const std::vector<std::string> texts = list_->GetRowTexts(row);
  if (texts.size() < 3) return;
  options_.openUrl(PageUrl(texts[2]));
}

void CTintwiseDlg::reject() {
  if (IsBusy()) {
    // Waiting here would freeze the window; the dialog ends when the
    // operation reports that it has finished.
    closePending_ = true;
    control_->Abort();
    return;
  }
  EndDialog();
}

void CTintwiseDlg::EndDialog() {
  closePending_ = false;
  D3DDevice::Shutdown();
  QDialog::reject();
}

void CTintwiseDlg::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      // A focused push button takes Enter for itself; otherwise Enter opens.
      if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
        button->click();
      } else if (buttons_[kOpen]->isEnabled()) {
        OnOpen();
      }
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

namespace {

bool HasDroppedFile(const QMimeData* data) {
  return data && data->hasUrls() && !data->urls().isEmpty() && data->urls().front().isLocalFile();
}

}  // namespace

void CTintwiseDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!IsBusy() && !closePending_ && HasDroppedFile(event->mimeData())) event->acceptProposedAction();
}

void CTintwiseDlg::dragMoveEvent(QDragMoveEvent* event) {
  if (!IsBusy() && !closePending_ && HasDroppedFile(event->mimeData())) event->acceptProposedAction();
}

void CTintwiseDlg::dropEvent(QDropEvent* event) {
  if (!HasDroppedFile(event->mimeData())) return;
  // Only the first file counts; the others are ignored.
  if (SearchImage(NativePath(event->mimeData()->urls().front().toLocalFile()))) event->acceptProposedAction();
}
