#include "app/win/TintwiseWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/shared/QueueDisplay.h"
#include "app/shared/ResultColumns.h"
#include "app/shared/ResultListing.h"
#include "app/shared/WindowOperations.h"
#include "app/shared/WindowSystem.h"
#include "app/shared/WindowTexts.h"
#include "app/shared/QueuedView.h"
#include "app/shared/WindowLayout.h"
#include "app/shared/WindowPlacement.h"
#include "app/win/DataObjectReader.h"
#include "app/win/DropTarget.h"
#include "app/win/ProgramIcon.h"
#include "app/win/WinText.h"
#include "app/win/WindowClass.h"
#include "control/PictureQueue.h"
#include "control/Control.h"
#include "control/SitePictureCache.h"
#include "control/SitePictureFetcher.h"
#include "infra/Environment.h"
#include "infra/InternetSession.h"
#include "infra/Log.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "search/CacheTable.h"

namespace {


constexpr wchar_t kClassName[] = L"TintwiseWindow";
// Pixels per cell of the query's swatch, at 96 dpi.
constexpr int kQuerySwatchCell = 8;
// A queued entry's kept picture, in pixels a side at most: sharp in its
// thumbnail, and a thousand entries cost at most 256 MB.
constexpr int kQueuedPreviewSide = 256;

// Control ids; the buttons' are 100 + their place.
constexpr int kButtonIdBase = 100;
constexpr int kListId = 200;
constexpr int kStatusId = 201;
constexpr int kHelpId = 202;
constexpr int kPreviewId = 203;
constexpr int kSiteId = 204;
constexpr int kSwatchId = 205;
constexpr int kStripId = 206;
constexpr int kMenuOpenPage = 300;
constexpr int kMenuCopyAddress = 301;
constexpr int kMenuCopyId = 302;
constexpr int kMenuPaste = 303;
constexpr int kAccelPaste = 310;
constexpr int kAccelCopy = 311;

// Messages posted to the window by other threads.
constexpr UINT kWakeView = WM_APP + 1;
constexpr UINT kPicturesReady = WM_APP + 3;
constexpr UINT kRunPosted = WM_APP + 4;
constexpr UINT kRedecoded = WM_APP + 5;

constexpr UINT_PTR kSiteTimer = 1;
constexpr UINT_PTR kAbortTimer = 2;
constexpr UINT_PTR kDeliverTimer = 3;

void OpenInBrowser(const std::string& url) {
  ShellExecuteW(nullptr, L"open", ShownText(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

HWND MakeChild(HWND parent, const wchar_t* type, const std::wstring& text, DWORD style, int id) {
  return CreateWindowExW(0, type, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 1, 1, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}


std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A status text's line feeds as the static control breaks lines.
std::wstring Lines(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\n' && (out.empty() || out.back() != L'\r')) out += L'\r';
    out += c;
  }
  return out;
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool done = false;
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
    if (void* bytes = GlobalLock(memory)) {
      std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(bytes));
      GlobalUnlock(memory);
      done = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!done) GlobalFree(memory);
  }
  CloseClipboard();
  return done;
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM screens) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcWork;
    reinterpret_cast<std::vector<PixelRect>*>(screens)->push_back(
        {r.left, r.top, r.right - r.left, r.bottom - r.top});
  }
  return TRUE;
}

constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

}  // namespace

TintwiseWindow::TintwiseWindow(Options options) : options_(std::move(options)) {
  if (!options_.openUrl) options_.openUrl = OpenInBrowser;
  RegisterWindowClass(kClassName, Procedure, GetSysColorBrush(COLOR_BTNFACE));
  window_.reset(CreateWindowExW(kWindowExStyle, kClassName, ShownText(WindowTexts::kTitle.str()).c_str(), kWindowStyle,
                                CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr, GetModuleHandleW(nullptr),
                                this));
  CreateControls();
  InitializeSystem();
}

TintwiseWindow::~TintwiseWindow() {
  if (dropTarget_) dropTarget_->Revoke();
  KillTimer(Handle(), kSiteTimer);
  KillTimer(Handle(), kAbortTimer);
  siteFetcher_.reset();
  operations_.reset();
  if (redecoder_.joinable()) redecoder_.join();
  // Nothing may call back into a window that is going.
  SetWindowLongPtrW(Handle(), GWLP_USERDATA, 0);
}

void TintwiseWindow::CreateControls() {
  HWND parent = Handle();
  bigIcon_.reset(LoadProgramIcon(GetSystemMetricsForDpi(SM_CXICON, GetDpiForWindow(parent))));
  smallIcon_.reset(LoadProgramIcon(GetSystemMetricsForDpi(SM_CXSMICON, GetDpiForWindow(parent))));
  SendMessageW(parent, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  SendMessageW(parent, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

  // Created in tab order.
  const auto makeButton = [&](ButtonPlace place, const std::string& caption) {
    buttons_[place].reset(MakeChild(parent, WC_BUTTONW, ShownText(caption), WS_TABSTOP | BS_PUSHBUTTON,
                                    kButtonIdBase + place));
  };
  makeButton(kOpen, WindowTexts::kOpenCaption.str());
  makeButton(kExit, WindowTexts::kExitCaption.str());
  status_.reset(MakeChild(parent, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, kStatusId));
  preview_ = std::make_unique<PictureBox>(parent, kPreviewId);
  list_ = std::make_unique<ResultList>(parent, kListId);
  strip_ = std::make_unique<QueueStrip>(parent, kStripId);
  hidden_.reset(MakeChild(parent, WC_STATICW, L"", SS_ETCHEDFRAME, -1));
  ShowWindow(hidden_.get(), SW_HIDE);
  help_.reset(MakeChild(parent, WC_STATICW, ShownText(WindowTexts::kHelp.str()), SS_LEFT | SS_NOPREFIX, kHelpId));
  makeButton(kSecret, WindowTexts::kSecretCaption.str());
  makeButton(kAbort, WindowTexts::kAbortCaption.str());
  makeButton(kUpdate, WindowTexts::kUpdateCaption.str());
  siteCaption_.reset(MakeChild(parent, WC_STATICW, ShownText(WindowTexts::kSiteCaption.str()), SS_LEFT | SS_NOPREFIX, -1));
  site_ = std::make_unique<PictureBox>(parent, kSiteId);
  querySwatch_ = std::make_unique<PictureBox>(parent, kSwatchId);
  querySwatch_->SetFramed(false);
  querySwatchCaption_.reset(
      MakeChild(parent, WC_STATICW, ShownText(WindowTexts::kQuerySwatchCaption.str()), SS_LEFT | SS_NOPREFIX, -1));
  ShowWindow(querySwatchCaption_.get(), SW_HIDE);

  rowMenu_.reset(CreatePopupMenu());
  AppendMenuW(rowMenu_.get(), MF_STRING, kMenuOpenPage, ShownText(WindowTexts::kOpenPageCaption.str()).c_str());
  AppendMenuW(rowMenu_.get(), MF_STRING, kMenuCopyAddress,
              (ShownText(WindowTexts::kCopyAddressCaption.str()) + L"\tCtrl+C").c_str());
  AppendMenuW(rowMenu_.get(), MF_STRING, kMenuCopyId, ShownText(WindowTexts::kCopyIdCaption.str()).c_str());
  previewMenu_.reset(CreatePopupMenu());
  AppendMenuW(previewMenu_.get(), MF_STRING, kMenuPaste, (ShownText(WindowTexts::kPasteCaption.str()) + L"\tCtrl+V").c_str());

  ApplyFont(GetDpiForWindow(parent));
  dropTarget_ = DropTarget::Register(
      parent, [this] { return !IsBusy() && !closePending_; },
      [this](const DropData& data) { return SearchDrop(data); });
}

void TintwiseWindow::ApplyFont(UINT dpi) {
  // The old font goes only once no control uses it.
  std::unique_ptr<DialogFont> old = std::move(font_);
  font_ = std::make_unique<DialogFont>(dpi);
  HFONT font = font_->Get();
  for (HWND child : {buttons_[0].get(), buttons_[1].get(), buttons_[2].get(), buttons_[3].get(),
                     buttons_[4].get(), status_.get(), help_.get(), siteCaption_.get(),
                     querySwatchCaption_.get()}) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  preview_->SetFont(font);
  site_->SetFont(font);
  list_->SetFont(font, dpi);
  strip_->SetFont(font, dpi);
  const std::wstring help = ShownText(WindowTexts::kHelp.str());
  const DialogFont* measure = font_.get();
  layout_ = std::make_unique<WindowLayout>(
      font_->Units(), 3 * MulDiv(kQuerySwatchCell, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI),
      [measure, help](int width) { return measure->WrappedHeight(help, width); });
  // The buttons keep their template size: their captions are fitted once per font.
  const WindowLayout::Rects rects = layout_->Arrange(layout_->DefaultSize());
  const WindowLayout::Control places[] = {WindowLayout::kOpenButton, WindowLayout::kExitButton,
                                          WindowLayout::kSecretButton, WindowLayout::kAbortButton,
                                          WindowLayout::kUpdateButton};
  const int padding = 2 * MulDiv(3, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
  std::array<OwnedFont, 5> oldButtonFonts;
  oldButtonFonts.swap(buttonFonts_);
  for (std::size_t place = 0; place < buttons_.size(); ++place) {
    buttonFonts_[place] = font_->NarrowedToFit(WindowText(buttons_[place].get()), rects[places[place]].width - padding);
    if (buttonFonts_[place]) {
      SendMessageW(buttons_[place].get(), WM_SETFONT, reinterpret_cast<WPARAM>(buttonFonts_[place].get()), FALSE);
    }
  }
}

PixelSize TintwiseWindow::ClientSize() const {
  RECT client{};
  GetClientRect(Handle(), &client);
  return {client.right, client.bottom};
}

SIZE TintwiseWindow::FrameSize(PixelSize client) const {
  RECT frame{0, 0, client.width, client.height};
  AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, font_->Dpi());
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void TintwiseWindow::ApplyLayout() {
  if (!layout_) return;
  const PixelSize client = ClientSize();
  if (client.width == 0 || client.height == 0) return;  // minimised
  const WindowLayout::Rects rects = layout_->Arrange(client, queue_ != nullptr);
  HDWP moves = BeginDeferWindowPos(16);
  const auto place = [&](HWND window, WindowLayout::Control control) {
    const PixelRect& r = rects[control];
    if (moves) moves = DeferWindowPos(moves, window, nullptr, r.left, r.top, r.width, r.height,
                                      SWP_NOZORDER | SWP_NOACTIVATE);
  };
  place(list_->Handle(), WindowLayout::kList);
  place(buttons_[kSecret].get(), WindowLayout::kSecretButton);
  place(buttons_[kUpdate].get(), WindowLayout::kUpdateButton);
  place(buttons_[kAbort].get(), WindowLayout::kAbortButton);
  place(buttons_[kOpen].get(), WindowLayout::kOpenButton);
  place(buttons_[kExit].get(), WindowLayout::kExitButton);
  place(status_.get(), WindowLayout::kStatus);
  place(preview_->Handle(), WindowLayout::kPreview);
  place(hidden_.get(), WindowLayout::kHidden);
  place(help_.get(), WindowLayout::kHelp);
  place(siteCaption_.get(), WindowLayout::kSiteCaption);
  place(site_->Handle(), WindowLayout::kSitePicture);
  place(querySwatch_->Handle(), WindowLayout::kQuerySwatch);
  place(querySwatchCaption_.get(), WindowLayout::kQuerySwatchCaption);
  if (queue_) place(strip_->Handle(), WindowLayout::kQueueStrip);
  if (moves) EndDeferWindowPos(moves);
  if (queue_) strip_->Fit();
  list_->FitColumns();
  const PixelRect& preview = rects[WindowLayout::kPreview];
  const PixelRect& site = rects[WindowLayout::kSitePicture];
  previewWidth_->store(preview.width);
  previewHeight_->store(preview.height);
  siteSide_->store(std::max(site.width, site.height));
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TintwiseWindow::InitializeSystem() {
  WindowSystem::Initialize(options_.programDirectory);

  HWND window = Handle();
  queuedView_ = std::make_unique<QueuedView>(*this, [window] { PostMessageW(window, kWakeView, 0, 0); });
  control_ = std::make_shared<Control>(*queuedView_, options_.session);
  siteCache_ = std::make_unique<SitePictureCache>(
      options_.siteCacheDirectory.empty() ? SitePictureCache::DefaultDirectory() : options_.siteCacheDirectory);
  siteFetcher_ = std::make_unique<SitePictureFetcher>(
      control_->Session(), siteCache_.get(), [this, window](SitePictureFetcher::Result result) {
        // Decoded here, on the fetcher's thread, so the window never waits.
        SiteResult shown{result.id, {}, {}, result.message};
        if (result.ok) {
          const int side = siteSide_->load();
          std::string reason;
          shown.picture = PixelPicture::FromBytes(result.bytes, side, side, &reason);
          if (shown.picture.Empty()) shown.message = WindowTexts::kSiteUndecodable.str();
          shown.bytes = std::move(result.bytes);
        }
        {
          std::lock_guard<std::mutex> lock(picturesMutex_);
          pendingSite_ = std::move(shown);
        }
        PostMessageW(window, kPicturesReady, 0, 0);
      });
  operations_ = std::make_unique<WindowOperations>(
      control_, *this,
      [this](std::function<void()> call) { Post(std::move(call)); },
      [this] { OnOperationFinished(); }, [this](const std::string& path) { LoadPreview(path); });
  operations_->ConfirmSearches(siteCache_.get());

  list_->SetColumns(ResultColumns::Titles());
  list_->SetColumnWidths(ResultColumns::DefaultWidths());
  list_->SetFittedColumn(ResultColumns::kDifference);
  RestorePlacement();

  SetStatusText(WindowTexts::kIdle.str());
  EnableControls(false);
  operations_->LoadCache();
}

void TintwiseWindow::Show() {
  ShowWindow(Handle(), maximizeAtShow_ ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  UpdateWindow(Handle());
}

void TintwiseWindow::RestorePlacement() {
  const PixelSize minimum = layout_->DefaultSize();
  const WindowPlacement stored = WindowPlacement::Load(ProgramDirectory() + WindowPlacement::kFileName);
  if (static_cast<int>(stored.columns.size()) == list_->ColumnCount()) list_->SetColumnWidths(stored.columns);
  PixelSize client = minimum;
  if (stored.frame) {
    client = {std::max(minimum.width, stored.frame->width), std::max(minimum.height, stored.frame->height)};
  }
  const SIZE frame = FrameSize(client);
  RECT now{};
  GetWindowRect(Handle(), &now);
  POINT topLeft{now.left, now.top};
  if (stored.frame) {
    std::vector<PixelRect> screens;
    EnumDisplayMonitors(nullptr, nullptr, AddWorkArea, reinterpret_cast<LPARAM>(&screens));
    // A screen that has gone since (or a damaged file) would hide the
    // window; it then opens where a new one would.
    if (WindowPlacement::IsOnScreen({stored.frame->left, stored.frame->top, frame.cx, frame.cy}, screens)) {
      topLeft = {stored.frame->left, stored.frame->top};
    }
  }
  SetWindowPos(Handle(), nullptr, topLeft.x, topLeft.y, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  maximizeAtShow_ = stored.maximized;
  ApplyLayout();
}

void TintwiseWindow::SavePlacement() const {
  WindowPlacement placement;
  // A maximised window keeps the place it will be restored to.
  WINDOWPLACEMENT shown{};
  shown.length = sizeof(shown);
  GetWindowPlacement(Handle(), &shown);
  const RECT& normal = shown.rcNormalPosition;
  RECT borders{0, 0, 0, 0};
  AdjustWindowRectExForDpi(&borders, kWindowStyle, FALSE, kWindowExStyle, font_->Dpi());
  placement.frame = PixelRect{normal.left, normal.top, (normal.right - normal.left) - (borders.right - borders.left),
                              (normal.bottom - normal.top) - (borders.bottom - borders.top)};
  placement.maximized = IsZoomed(Handle()) != FALSE;
  placement.columns = list_->ColumnWidths();
  placement.Save(ProgramDirectory() + WindowPlacement::kFileName);
}

void TintwiseWindow::OnOperationFinished() {
  // What the operation queued before it returned is shown before it counts as ended.
  queuedView_->Flush();
  ShowPendingPictures();
  ShowSwatches();
  if (closePending_) {
    EndWindow();
    return;
  }
  if (startupLoad_) {
    startupLoad_ = false;
    if (const std::string notice = WindowOperations::StartupNotice(*control_); !notice.empty()) SetStatusText(notice);
    if (IsWindowEnabled(Button(kOpen))) SetFocus(Button(kOpen));
    if (!options_.searchAtStart.empty()) SearchImage(options_.searchAtStart);
  }
  if (onFinished_) onFinished_();
}

bool TintwiseWindow::IsBusy() const { return operations_ && operations_->IsBusy(); }

void TintwiseWindow::SetStatusText(const std::string& text) {
  SetWindowTextW(status_.get(), Lines(ShownText(text)).c_str());
}

std::string TintwiseWindow::StatusText() const {
  std::wstring text = WindowText(status_.get());
  std::erase(text, L'\r');
  return SjisFromShown(text);
}

void TintwiseWindow::EnableControls(bool enable) {
  EnableWindow(list_->Handle(), enable);
  for (const OwnedWindow& button : buttons_) EnableWindow(button.get(), enable);
  EnableWindow(Button(kAbort), TRUE);
  EnableWindow(Button(kSecret), FALSE);
}

void TintwiseWindow::ClearRows() {
  list_->DeleteAllItems();
  // The rows the site picture and the swatches belonged to are gone.
  KillTimer(Handle(), kSiteTimer);
  siteFetcher_->Cancel();
  siteId_.clear();
  siteBytes_.clear();
  site_->SetMessage({});
  querySwatch_->SetPicture({});
  ShowWindow(querySwatchCaption_.get(), SW_HIDE);
}

void TintwiseWindow::AddRow(const std::vector<std::string>& texts) { list_->AddRow(texts); }

void TintwiseWindow::ShowVerdict(const std::string& statusText, const std::vector<std::string>& markedRow) {
  SetStatusText(statusText);
  ResultListing::PutMarkedFirst(*list_, markedRow);
}

void TintwiseWindow::LoadPreview(const std::string& path) {
  PixelPicture picture;
  if (!path.empty()) {
    std::string reason;
    picture = PixelPicture::FromFile(path, previewWidth_->load(), previewHeight_->load(), &reason);
    if (picture.Empty()) WriteLog("TintwiseWindow::LoadPreview() : " + PathForLog(path) + " : " + reason);
  }
  if (GetWindowThreadProcessId(Handle(), nullptr) == GetCurrentThreadId()) {
    preview_->SetPicture(std::move(picture));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(picturesMutex_);
    pendingPreview_ = std::move(picture);
  }
  PostMessageW(Handle(), kPicturesReady, 0, 0);
}

void TintwiseWindow::ShowPendingPictures() {
  std::optional<PixelPicture> preview;
  std::optional<SiteResult> site;
  {
    std::lock_guard<std::mutex> lock(picturesMutex_);
    preview.swap(pendingPreview_);
    site.swap(pendingSite_);
  }
  if (preview) preview_->SetPicture(std::move(*preview));
  if (site && site->id == siteId_) {
    siteBytes_ = std::move(site->bytes);
    if (!site->picture.Empty()) {
      site_->SetPicture(std::move(site->picture));
    } else {
      site_->SetMessage(ShownText(site->message));
    }
  }
}

void TintwiseWindow::RedecodePictures() {
  if (redecoding_) {
    redecodeAgain_ = true;
    return;
  }
  // Sharp at the boxes' new size: decoded again from what they show, where
  // they show something of another size.
  const SIZE previewSize = preview_->Size();
  const PixelPicture& shown = preview_->Picture();
  std::string path;
  if (!previewPath_.empty() && !shown.Empty() && (shown.Width() != previewSize.cx || shown.Height() != previewSize.cy)) {
    path = previewPath_;
  }
  const SIZE siteSize = site_->Size();
  const int side = std::max(siteSize.cx, siteSize.cy);
  std::string bytes;
  if (!siteBytes_.empty() && !site_->Picture().Empty() && std::max(site_->Picture().Width(), site_->Picture().Height()) != side) {
    bytes = siteBytes_;
  }
  if (path.empty() && bytes.empty()) return;
  if (redecoder_.joinable()) redecoder_.join();  // has finished: its result was taken
  redecoding_ = true;
  HWND window = Handle();
  redecoder_ = std::thread([this, window, path, previewSize, bytes = std::move(bytes), side, id = siteId_] {
    Redecoded result{path, {}, id, {}};
    std::string reason;
    if (!path.empty()) result.preview = PixelPicture::FromFile(path, previewSize.cx, previewSize.cy, &reason);
    if (!bytes.empty()) result.site = PixelPicture::FromBytes(bytes, side, side, &reason);
    {
      std::lock_guard<std::mutex> lock(picturesMutex_);
      redecoded_ = std::move(result);
    }
    PostMessageW(window, kRedecoded, 0, 0);
  });
}

void TintwiseWindow::ShowRedecoded() {
  std::optional<Redecoded> result;
  {
    std::lock_guard<std::mutex> lock(picturesMutex_);
    result.swap(redecoded_);
  }
  if (!result) return;
  redecoding_ = false;
  // Shown only where the box still shows the same picture (a search may
  // have replaced it meanwhile).
  if (!result->preview.Empty() && result->previewPath == previewPath_ && !preview_->Picture().Empty()) {
    preview_->SetPicture(std::move(result->preview));
  }
  if (!result->site.Empty() && result->siteId == siteId_ && !site_->Picture().Empty()) {
    site_->SetPicture(std::move(result->site));
  }
  if (redecodeAgain_) {
    redecodeAgain_ = false;
    RedecodePictures();
  }
}

bool TintwiseWindow::SearchImage(const std::string& path) {
  if (IsBusy() || closePending_) return false;
  ShowQueue(false);
  previewPath_ = path;
  return operations_->SearchFile(path);
}

bool TintwiseWindow::SearchSource(const PictureSource& source) {
  if (IsBusy() || closePending_) return false;
  if (source.kind == PictureSource::Kind::kNone) return false;
  if (source.kind == PictureSource::Kind::kFile) return SearchImage(source.path);
  // A downloaded or kept picture's file goes with its search: nothing to
  // decode again at another size.
  ShowQueue(false);
  previewPath_.clear();
  return operations_->SearchSource(source);
}

bool TintwiseWindow::SearchDrop(const DropData& data) {
  if (const std::vector<std::string> paths = PictureSource::LocalFiles(data); PictureQueue::Queues(paths)) {
    return CheckPictures(paths);
  }
  return SearchSource(PictureSource::From(data));
}

bool TintwiseWindow::CheckPictures(const std::vector<std::string>& paths) {
  if (IsBusy() || closePending_ || paths.empty()) return false;
  auto queue = std::make_shared<PictureQueue>();
  ShowQueue(false);
  queue_ = queue;
  ShowQueue(true);
  ClearRows();
  previewPath_.clear();
  preview_->SetPicture({});
  SetStatusText(PictureQueue::Label(PictureQueue::Mark::kChecking));
  // Only Abort among the buttons; the list and the strip stay usable, to
  // look at the entries already checked.
  EnableControls(false);
  EnableWindow(list_->Handle(), TRUE);
  const auto filled = [this, queue] { Post([this, queue] { OnQueueFilled(queue); }); };
  const auto changed = [this, queue](std::size_t index) {
    // The picture is decoded on the worker too, once it has been read.
    std::shared_ptr<PixelPicture> preview;
    const PictureQueue::Entry entry = queue->At(index);
    if (QueueDisplay::BringsResult(entry)) {
      std::string reason;
      preview = std::make_shared<PixelPicture>(
          PixelPicture::FromFile(entry.picture.path, kQueuedPreviewSide, kQueuedPreviewSide, &reason));
    }
    Post([this, queue, index, preview] { OnQueueEntryChanged(queue, index, preview); });
  };
  const bool started = operations_->CheckQueue(queue, paths, filled, changed);
  if (!started) {
    ShowQueue(false);
    EnableControls(true);
  }
  return started;
}

void TintwiseWindow::ShowQueue(bool shown) {
  if (!shown) {
    if (!queue_) return;
    queue_.reset();
    queuePreviews_.clear();
    strip_->SetEntries({});
  }
  follow_.Reset();
  ShowWindow(strip_->Handle(), shown ? SW_SHOW : SW_HIDE);
  ApplyLayout();
}

void TintwiseWindow::OnQueueFilled(const std::shared_ptr<PictureQueue>& queue) {
  if (queue != queue_) return;
  const std::vector<std::string> names = QueueDisplay::Filled(*queue, *this);
  queuePreviews_.assign(names.size(), PixelPicture());
  strip_->SetEntries(names);
}

void TintwiseWindow::OnQueueEntryChanged(const std::shared_ptr<PictureQueue>& queue, std::size_t index,
                                         const std::shared_ptr<PixelPicture>& preview) {
  if (queue != queue_ || index >= queuePreviews_.size()) return;
  const int row = static_cast<int>(index);
  const PictureQueue::Mark mark = queue->MarkAt(index);
  if (preview) {
    queuePreviews_[index] = *preview;
    strip_->SetThumbnail(row, *preview);
  }
  strip_->SetMark(row, mark, queue->LabelAt(index));
  if (follow_.ShowsOnChange(row, mark)) ShowQueueEntry(row);
}

void TintwiseWindow::ShowQueueEntry(int index) {
  if (!queue_ || index < 0 || static_cast<std::size_t>(index) >= queue_->Size()) return;
  follow_.Shown(index);
  // Not a selection of the user's: the list keeps following the queue.
  if (strip_->Selected() != index) strip_->Select(index);
  const bool kept = static_cast<std::size_t>(index) < queuePreviews_.size() && !queuePreviews_[index].Empty();
  previewPath_ = kept ? queue_->At(index).picture.path : std::string();
  preview_->SetPicture(kept ? queuePreviews_[index] : PixelPicture());
  // Sharp at the box's size: the kept picture is a thumbnail's.
  if (kept) RedecodePictures();
  if (QueueDisplay::ShowEntry(*queue_, index, *this, control_->Table())) ShowSwatches();
}

void TintwiseWindow::Post(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_.push_back(std::move(call));
  }
  PostMessageW(Handle(), kRunPosted, 0, 0);
}

void TintwiseWindow::RunPosted() {
  std::vector<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> lock(postedMutex_);
    calls.swap(posted_);
  }
  for (const std::function<void()>& call : calls) call();
}

void TintwiseWindow::OnPaste() {
  if (IsBusy() || closePending_) return;
  SearchDrop(ReadClipboard(Handle()));
}

void TintwiseWindow::ShowSwatches() {
  const CacheTable* table = control_->Table();
  if (list_->RowCount() == 0 || !table) return;
  // Those of the queued entry shown, or of the last search.
  std::optional<ImageCache::Colours> query = control_->LastQuery();
  std::vector<std::size_t> rows = control_->LastRows();
  if (queue_) QueueDisplay::EntrySwatches(*queue_, follow_.ShownEntry(), query, rows);
  if (query) {
    const int cell = MulDiv(kQuerySwatchCell, static_cast<int>(font_->Dpi()), USER_DEFAULT_SCREEN_DPI);
    querySwatch_->SetPicture(PixelPicture::Swatch(query->data(), cell));
    ShowWindow(querySwatchCaption_.get(), SW_SHOW);
  }
  ResultListing::AddSwatches(*list_, *table, rows);
}

void TintwiseWindow::OnSelectionChanged() {
  // Only where the selection comes to rest is fetched.
  SetTimer(Handle(), kSiteTimer, kSiteFetchDelayMs, nullptr);
}

void TintwiseWindow::FetchSelectedSitePicture() {
  KillTimer(Handle(), kSiteTimer);
  const std::string id = SelectedId();
  if (id.empty()) return;
  const std::wstring loading = ShownText(WindowTexts::kSiteLoading.str());
  // The same row again: nothing new unless its last fetch failed.
  if (id == siteId_ && (!site_->Picture().Empty() || site_->Message() == loading)) return;
  siteId_ = id;
  siteBytes_.clear();
  site_->SetMessage(loading);
  siteFetcher_->Request(siteId_);
}

std::string TintwiseWindow::SelectedId() const {
  return ResultListing::IdAt(*list_, list_->FirstSelectedRow());
}

void TintwiseWindow::OnOpen() {
  if (IsBusy() || closePending_) return;
  // "Pictures\0*.jpg;...\0All files\0*.*\0\0"
  std::wstring filter = ShownText(WindowTexts::kPictureFilter.str());
  filter += L'\0';
  filter += L"*.jpg;*.jpeg;*.png;*.gif;*.bmp;*.webp";
  filter += L'\0';
  filter += ShownText(WindowTexts::kAllFilter.str());
  filter += L'\0';
  filter += L"*.*";
  filter += L'\0';
  std::wstring file(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = Handle();
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  // A typed name of a missing file is taken: the search says what is wrong.
  // Several files are queued.
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT;
  if (!GetOpenFileNameW(&dialog)) return;
  // One file: its path. Several: the folder, then each name, each ended by
  // a NUL, the list by another.
  std::vector<std::wstring> parts;
  for (const wchar_t* part = file.c_str(); *part; part += wcslen(part) + 1) parts.emplace_back(part);
  if (parts.empty()) return;
  if (parts.size() == 1) {
    SearchImage(Utf8FromWide(parts.front()));
    return;
  }
  std::wstring folder = parts.front();
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < parts.size(); ++i) paths.push_back(Utf8FromWide(folder + parts[i]));
  CheckPictures(paths);
}

void TintwiseWindow::OnGenerateCache() {
  if (closePending_ || IsBusy()) return;
  // The queue's results name rows of the table about to be replaced.
  ShowQueue(false);
  operations_->GenerateCache();
}

void TintwiseWindow::OnAbort() { control_->Abort(); }

void TintwiseWindow::OnUpdateCache() {
  if (closePending_ || IsBusy()) return;
  ShowQueue(false);
  operations_->UpdateCache();
}

void TintwiseWindow::OnOpenPage() {
  const std::string id = SelectedId();
  if (!id.empty()) options_.openUrl(PageUrl(id));
}

void TintwiseWindow::CopySelectedRow(bool address) {
  const std::string id = SelectedId();
  if (id.empty()) return;
  PutOnClipboard(Handle(), ShownText(address ? PageUrl(id) : id));
}

void TintwiseWindow::OnExit() {
  if (IsBusy()) {
    // Waiting here would freeze the window; it ends when the operation
    // reports that it has finished.
    closePending_ = true;
    control_->Abort();
    // Again until the operation has ended: see the destructor.
    SetTimer(Handle(), kAbortTimer, kAbortRepeatMs, nullptr);
    return;
  }
  EndWindow();
}

void TintwiseWindow::EndWindow() {
  if (ended_) return;
  SavePlacement();
  closePending_ = false;
  KillTimer(Handle(), kAbortTimer);
  ended_ = true;
  ShowWindow(Handle(), SW_HIDE);
}

void TintwiseWindow::OnCommand(int id) {
  switch (id) {
    case kButtonIdBase + kOpen:
      OnOpen();
      break;
    case kButtonIdBase + kExit:
      OnExit();
      break;
    case kButtonIdBase + kSecret:
      OnGenerateCache();
      break;
    case kButtonIdBase + kAbort:
      OnAbort();
      break;
    case kButtonIdBase + kUpdate:
      OnUpdateCache();
      break;
    case kMenuOpenPage:
      OnOpenPage();
      break;
    case kMenuCopyAddress:
    case kAccelCopy:
      CopySelectedRow(/*address=*/true);
      break;
    case kMenuCopyId:
      CopySelectedRow(/*address=*/false);
      break;
    case kMenuPaste:
    case kAccelPaste:
      OnPaste();
      break;
    case IDOK:
      OnEnter();
      break;
    case IDCANCEL:
      OnExit();
      break;
    default:
      break;
  }
}

void TintwiseWindow::OnEnter() {
  // A focused push button takes Enter for itself, the list for its selected
  // row's page (as a double click); otherwise Enter opens.
  HWND focus = GetFocus();
  for (int place = 0; place < static_cast<int>(buttons_.size()); ++place) {
    if (focus == buttons_[place].get()) {
      if (IsWindowEnabled(focus)) OnCommand(kButtonIdBase + place);
      return;
    }
  }
  if (focus == list_->Handle()) {
    if (IsWindowEnabled(focus) && !SelectedId().empty()) OnOpenPage();
    return;
  }
  if (IsWindowEnabled(Button(kOpen))) OnOpen();
}

void TintwiseWindow::OnNotify(const NMHDR& header, LRESULT* result) {
  if (list_->OnNotify(header, result)) return;
  if (header.hwndFrom != list_->Handle()) return;
  switch (header.code) {
    case NM_DBLCLK:
      // Any double click inside the list, on a row or not.
      OnOpenPage();
      break;
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if (change.uChanged & LVIF_STATE) OnSelectionChanged();
      break;
    }
    case LVN_ODSTATECHANGED:
      OnSelectionChanged();
      break;
    default:
      break;
  }
}

void TintwiseWindow::OnContextMenu(HWND from, POINT at) {
  HMENU menu = nullptr;
  if (from == list_->Handle()) {
    if (!IsWindowEnabled(from)) return;
    if (at.x == -1 && at.y == -1) {
      // From the keyboard: the selected row's menu, at the row.
      const int row = list_->FirstSelectedRow();
      if (row < 0) return;
      RECT item{};
      ListView_GetItemRect(from, row, &item, LVIR_LABEL);
      at = {item.left, item.bottom};
      ClientToScreen(from, &at);
    } else {
      // The menu is for the row under the pointer, which becomes the selection.
      POINT client = at;
      ScreenToClient(from, &client);
      const int row = list_->RowAt(client);
      if (row < 0) return;
      list_->SelectRow(row);
    }
    menu = rowMenu_.get();
  } else if (from == preview_->Handle()) {
    if (at.x == -1 && at.y == -1) {
      RECT box{};
      GetWindowRect(from, &box);
      at = {box.left, box.top};
    }
    EnableMenuItem(previewMenu_.get(), kMenuPaste, IsBusy() || closePending_ ? MF_GRAYED : MF_ENABLED);
    menu = previewMenu_.get();
  }
  if (!menu) return;
  const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, Handle(), nullptr);
  if (chosen != 0) OnCommand(chosen);
}

bool TintwiseWindow::PreTranslate(MSG& message) {
  if (message.message == WM_KEYDOWN && (GetKeyState(VK_CONTROL) & 0x8000) && !(GetKeyState(VK_MENU) & 0x8000) &&
      (message.hwnd == Handle() || IsChild(Handle(), message.hwnd))) {
    if (message.wParam == 'V') {
      OnCommand(kAccelPaste);
      return true;
    }
    if (message.wParam == 'C' && message.hwnd == list_->Handle()) {
      OnCommand(kAccelCopy);
      return true;
    }
  }
  return IsDialogMessageW(Handle(), &message) != FALSE;
}

LRESULT CALLBACK TintwiseWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TintwiseWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  // Messages that arrive while the window is being made (before its
  // controls exist) or after it has begun to go get the default handling.
  if (!self || !self->list_ || !self->operations_) return DefWindowProcW(window, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT TintwiseWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = Handle();
  switch (message) {
    case WM_SIZE:
      ApplyLayout();
      // Maximising or restoring is one step: the pictures follow at once.
      if (!sizing_ && (wParam == SIZE_MAXIMIZED || wParam == SIZE_RESTORED)) RedecodePictures();
      return 0;
    case WM_ENTERSIZEMOVE:
      sizing_ = true;
      return 0;
    case WM_EXITSIZEMOVE:
      sizing_ = false;
      RedecodePictures();
      return 0;
    case WM_GETMINMAXINFO: {
      const SIZE minimum = FrameSize(layout_->DefaultSize());
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {minimum.cx, minimum.cy};
      return 0;
    }
    case WM_DPICHANGED: {
      // Everything measured in pixels is measured again for the new density.
      ApplyFont(HIWORD(wParam));
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      // The suggested rectangle may be under the new minimum.
      const PixelSize client = ClientSize();
      const PixelSize minimum = layout_->DefaultSize();
      if (client.width < minimum.width || client.height < minimum.height) {
        const SIZE frame = FrameSize({std::max(client.width, minimum.width), std::max(client.height, minimum.height)});
        SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
      }
      ApplyLayout();
      ShowSwatches();
      RedecodePictures();
      return 0;
    }
    case WM_COMMAND:
      // Menus and accelerators send 0 or 1 in the high word, controls their notification.
      if (reinterpret_cast<HWND>(lParam) == strip_->Handle()) {
        // A thumbnail the user picks holds the list until the next queue.
        if (HIWORD(wParam) == LBN_SELCHANGE && strip_->Selected() >= 0) {
          follow_.Picked(strip_->Selected());
          ShowQueueEntry(strip_->Selected());
        }
        return 0;
      }
      if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
      return 0;
    case WM_DRAWITEM:
      if (strip_->OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_NOTIFY: {
      LRESULT result = 0;
      OnNotify(*reinterpret_cast<const NMHDR*>(lParam), &result);
      return result;
    }
    case WM_CONTEXTMENU:
      OnContextMenu(reinterpret_cast<HWND>(wParam), {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_TIMER:
      if (wParam == kSiteTimer) FetchSelectedSitePicture();
      if (wParam == kAbortTimer) control_->Abort();
      if (wParam == kDeliverTimer) {
        KillTimer(window, kDeliverTimer);
        PostMessageW(window, kWakeView, 0, 0);
      }
      return 0;
    case WM_CLOSE:
      OnExit();
      return 0;
    case kWakeView:
      // A lone status text held back is delivered when its interval is over.
      if (const std::chrono::milliseconds wait = queuedView_->Deliver(); wait.count() > 0) {
        SetTimer(window, kDeliverTimer, static_cast<UINT>(wait.count()), nullptr);
      }
      return 0;
    case kRunPosted:
      RunPosted();
      return 0;
    case kRedecoded:
      ShowRedecoded();
      return 0;
    case kPicturesReady:
      ShowPendingPictures();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
