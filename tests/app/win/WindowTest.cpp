// The Windows window driven in-process (under Wine on Xvfb in CI): the
// search shows its verdict row, drops and pastes of each kind reach the
// search through the system's own data objects, Abort ends a stalled
// download, and a density change lays the window out again.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/shared/PixelRect.h"
#include "app/shared/WindowLayout.h"
#include "app/win/ComPointer.h"
#include "app/win/DropTarget.h"
#include "app/win/TintwiseWindow.h"
#include "app/win/WinText.h"
#include "infra/ServerAddress.h"
#include "infra/TextEncoding.h"
#include "support/CacheFileWriter.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramDirectoryTest.h"

namespace {

std::string Sjis(std::u8string_view utf8) { return SjisText(utf8).str(); }

// Runs the window's messages until `done` holds; false after `seconds`.
template <typename Done>
bool PumpUntil(TintwiseWindow& window, Done done, int seconds = 30) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (window.PreTranslate(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// Puts `bytes` on the clipboard as `format`, for OleGetClipboard to offer.
void PutOnClipboard(UINT format, const std::string& bytes) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
  GlobalUnlock(memory);
  EXPECT_NE(nullptr, SetClipboardData(format, memory));
  CloseClipboard();
}

std::string FileList(const std::vector<std::string>& paths) {
  DROPFILES header{};
  header.pFiles = sizeof(header);
  header.fWide = TRUE;
  std::wstring names;
  for (const std::string& path : paths) {
    names += WidePath(path);
    names.push_back(L'\0');
  }
  names.push_back(L'\0');
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof(header));
  bytes.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
  return bytes;
}

std::string WideText(const std::string& utf8) {
  const std::wstring text = WidePath(utf8) + L'\0';
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// A packed 24-bit bottom-up bitmap of one grey level, as CF_DIB carries it.
std::string GreyBitmap(int level, int width, int height) {
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) / 4 * 4;
  std::string bytes(reinterpret_cast<const char*>(&info), sizeof(info));
  bytes.append(static_cast<std::size_t>(stride) * height, static_cast<char>(level));
  return bytes;
}

// A drag source's data: one format in global memory.
class OneFormatData : public IDataObject {
 public:
  OneFormatData(UINT format, std::string bytes) : format_(static_cast<CLIPFORMAT>(format)), bytes_(std::move(bytes)) {}
  virtual ~OneFormatData() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDataObject)) {
      *object = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* wanted, STGMEDIUM* medium) override {
    if (QueryGetData(wanted) != S_OK) return DV_E_FORMATETC;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    std::memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* wanted) override {
    return wanted->cfFormat == format_ && (wanted->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  ULONG references_ = 1;
  CLIPFORMAT format_;
  std::string bytes_;
};

class WindowTest : public ProgramDirectoryTest {
 protected:
  void SetUp() override {
    ProgramDirectoryTest::SetUp();
    CacheFileWriter cache(PathOf("cache.db"));
    for (int i = 1; i <= 25; ++i) cache.Add(Uniform(i * 10));  // id i, level 10 i
  }

  void TearDown() override {
    window_.reset();
    ProgramDirectoryTest::TearDown();
  }

  void Open() {
    TintwiseWindow::Options options;
    options.programDirectory = Dir();
    options.openUrl = [this](const std::string& url) { opened_.push_back(url); };
    options.siteCacheDirectory = PathOf("site");
    window_ = std::make_unique<TintwiseWindow>(std::move(options));
    window_->Show();
    ASSERT_TRUE(PumpUntil(*window_, [this] { return !window_->IsBusy(); }));
  }

  bool WaitIdle() {
    return PumpUntil(*window_, [this] { return !window_->IsBusy(); });
  }

  std::string FirstId() const {
    const std::vector<std::string> row = window_->List().GetRowTexts(0);
    return row.size() > 2 ? row[2] : std::string();
  }

  std::unique_ptr<TintwiseWindow> window_;
  std::vector<std::string> opened_;
};

TEST_F(WindowTest, ASearchListsTheClosestFirstWithSwatchesAndThePagesOpen) {
  Open();
  EXPECT_EQ(Sjis(u8"25作品より検索"), window_->StatusText());
  const std::string picture = PathOf("query.png");
  WriteUniformPicture(picture, 50);
  ASSERT_TRUE(window_->SearchImage(picture));
  EXPECT_FALSE(IsWindowEnabled(window_->Button(TintwiseWindow::kOpen)));
  EXPECT_TRUE(IsWindowEnabled(window_->Button(TintwiseWindow::kAbort)));
  ASSERT_TRUE(WaitIdle());

  ResultList& list = window_->List();
  EXPECT_EQ(20, list.RowCount());
  EXPECT_EQ("5", FirstId());
  // The verdict is the status line's second line.
  EXPECT_NE(std::string::npos, window_->StatusText().find('\n')) << window_->StatusText();
  for (int row = 0; row < list.RowCount(); ++row) EXPECT_TRUE(list.HasSwatch(row)) << row;
  EXPECT_FALSE(window_->QuerySwatch().Picture().Empty());
  // The preview is decoded at the box's own size, not scaled up.
  const SIZE box = window_->Preview().Size();
  EXPECT_FALSE(window_->Preview().Picture().Empty());
  EXPECT_LE(window_->Preview().Picture().Width(), box.cx);
  EXPECT_TRUE(IsWindowEnabled(window_->Button(TintwiseWindow::kOpen)));
  EXPECT_FALSE(IsWindowEnabled(window_->Button(TintwiseWindow::kSecret)));

  // A sort by id moves the selection and the swatches with their rows.
  list.SelectRow(0);
  ASSERT_TRUE(list.SortByColumn(2));
  const int selected = list.FirstSelectedRow();
  ASSERT_GE(selected, 0);
  EXPECT_EQ("5", list.GetRowTexts(selected)[2]);
  EXPECT_EQ("1", FirstId());  // byte-wise: "1" < "10" < "2"
  EXPECT_EQ("10", list.GetRowTexts(1)[2]);
  window_->OnOpenPage();
  ASSERT_EQ(1u, opened_.size());
  EXPECT_EQ(PageUrl("5"), opened_[0]);
  // Ctrl+C and the rows' menu copy the address or the id.
  for (bool address : {true, false}) {
    window_->CopySelectedRow(address);
    ASSERT_TRUE(OpenClipboard(nullptr));
    const auto* text = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
    const std::wstring copied = text ? text : L"";
    GlobalUnlock(GetClipboardData(CF_UNICODETEXT));
    CloseClipboard();
    EXPECT_EQ(WidePath(address ? PageUrl("5") : "5"), copied);
  }
}

// Exit keeps the client size and the column widths; the next window opens
// as the last one closed, never under its smallest size.
TEST_F(WindowTest, TheWindowReopensAsItWasLeft) {
  Open();
  const PixelSize smallest = [this] {
    RECT client{};
    GetClientRect(window_->Handle(), &client);
    return PixelSize{client.right, client.bottom};
  }();
  RECT frame{};
  GetWindowRect(window_->Handle(), &frame);
  SetWindowPos(window_->Handle(), nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 100,
               SWP_NOMOVE | SWP_NOZORDER);
  // Smaller than the smallest is refused.
  SetWindowPos(window_->Handle(), nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
  RECT shrunk{};
  GetClientRect(window_->Handle(), &shrunk);
  EXPECT_GE(shrunk.right, smallest.width);
  EXPECT_GE(shrunk.bottom, smallest.height);
  SetWindowPos(window_->Handle(), nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 100,
               SWP_NOMOVE | SWP_NOZORDER);
  RECT left{};
  GetClientRect(window_->Handle(), &left);
  window_->List().SetColumnWidths({210, 160, 90, 80});
  window_->OnExit();
  ASSERT_TRUE(window_->Ended());
  window_.reset();

  Open();
  RECT reopened{};
  GetClientRect(window_->Handle(), &reopened);
  EXPECT_EQ(left.right, reopened.right);
  EXPECT_EQ(left.bottom, reopened.bottom);
  EXPECT_EQ((std::vector<int>{210, 160, 90, 80}), window_->List().ColumnWidths());
}

// Each kind of payload, once dropped on the window's drop target as a drag
// source's data object carries it and once pasted from the clipboard.
TEST_F(WindowTest, DropsAndPastesOfFilesTextAndBitmapsReachTheSearch) {
  Open();
  const std::string picture = PathOf("dropped.png");
  WriteUniformPicture(picture, 120);
  struct Case {
    const char* name;
    UINT format;
    std::string bytes;
    std::string firstId;  // empty: nothing listed
    std::string status;   // when not empty, the status line
  };
  const Case cases[] = {
      {"file list", CF_HDROP, FileList({picture}), "12", ""},
      {"bitmap", CF_DIB, GreyBitmap(70, 40, 30), "7", ""},
      {"text naming no picture", CF_UNICODETEXT, WideText("hello"), "", Sjis(u8"画像ではありません")},
  };
  for (bool paste : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (paste ? " pasted" : " dropped"));
      if (paste) {
        PutOnClipboard(c.format, c.bytes);
        window_->OnPaste();
      } else {
        ComPointer<IDataObject> data(new OneFormatData(c.format, c.bytes));
        DWORD effect = DROPEFFECT_COPY;
        ASSERT_EQ(S_OK, window_->Drop().DragEnter(data.Get(), 0, {0, 0}, &effect));
        EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
        effect = DROPEFFECT_COPY;
        ASSERT_EQ(S_OK, window_->Drop().Drop(data.Get(), 0, {0, 0}, &effect));
      }
      ASSERT_TRUE(WaitIdle());
      EXPECT_EQ(c.firstId, FirstId()) << window_->StatusText();
      if (!c.status.empty()) {
        EXPECT_NE(std::string::npos, window_->StatusText().find(c.status));
      }
    }
  }
}

TEST_F(WindowTest, SeveralDroppedPicturesAreQueuedCheckedInTurnAndAbortStopsTheQueue) {
  Open();
  const std::vector<std::string> files = {PathOf("a.png"), PathOf("b.png"), PathOf("c.png")};
  WriteUniformPicture(files[0], 50);
  WriteUniformPicture(files[1], 120);
  std::ofstream(files[2], std::ios::binary) << "not a picture";
  ComPointer<IDataObject> data(new OneFormatData(CF_HDROP, FileList(files)));
  DWORD effect = DROPEFFECT_COPY;
  ASSERT_EQ(S_OK, window_->Drop().DragEnter(data.Get(), 0, {0, 0}, &effect));
  ASSERT_EQ(S_OK, window_->Drop().Drop(data.Get(), 0, {0, 0}, &effect));
  ASSERT_TRUE(WaitIdle());
  QueueStrip& strip = window_->Strip();
  ASSERT_EQ(3, strip.Count());
  EXPECT_TRUE(IsWindowVisible(strip.Handle()));
  EXPECT_EQ(PictureQueue::Mark::kPosted, strip.MarkAt(0));
  EXPECT_EQ(PictureQueue::Mark::kPosted, strip.MarkAt(1));
  EXPECT_EQ(PictureQueue::Mark::kError, strip.MarkAt(2));
  EXPECT_TRUE(strip.HasThumbnail(0));
  // The longest label is broken over the lines under the thumbnail, not cut.
  const std::string longest = Sjis(u8"見つかりませんでした（サイトの画像と異なる）");
  strip.SetMark(2, PictureQueue::Mark::kNew, longest);
  std::wstring drawn;
  for (const std::wstring& line : strip.LabelLines(2)) drawn += line;
  EXPECT_EQ(ShownText(longest), drawn);
  // The list followed the queue to its last entry, which could not be read.
  EXPECT_EQ(0, window_->List().RowCount());
  // Picking the first shows its kept results, swatches and picture.
  strip.Select(0);
  SendMessageW(window_->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(strip.Handle()), LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(strip.Handle()));
  EXPECT_EQ(20, window_->List().RowCount());
  EXPECT_EQ("5", FirstId());
  EXPECT_TRUE(window_->List().HasSwatch(0));
  EXPECT_FALSE(window_->Preview().Picture().Empty());

  // Abort at once: nothing is checked.
  ASSERT_TRUE(window_->CheckPictures(files));
  window_->OnAbort();
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(3, strip.Count());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(PictureQueue::Mark::kNotChecked, strip.MarkAt(i)) << i;
  EXPECT_TRUE(IsWindowEnabled(window_->Button(TintwiseWindow::kOpen)));
  // A single picture ends the queue.
  ASSERT_TRUE(window_->SearchImage(files[0]));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(nullptr, window_->Queue());
  EXPECT_FALSE(IsWindowVisible(strip.Handle()));
}

TEST_F(WindowTest, AbortEndsAStalledDownloadAndTheWindowIsUsableAgain) {
  LoopbackHttpServer server;
  server.ServeStalled("/big.png", "\x89PNG\r\n\x1a\n", 10'000'000);
  Open();
  PictureSource link;
  link.kind = PictureSource::Kind::kLink;
  link.url = server.Url("/big.png");
  ASSERT_TRUE(window_->SearchSource(link));
  // Busy a moment: the download hangs until aborted.
  EXPECT_FALSE(PumpUntil(*window_, [this] { return !window_->IsBusy(); }, 1));
  EXPECT_TRUE(IsWindowEnabled(window_->Button(TintwiseWindow::kAbort)));
  const auto pressed = std::chrono::steady_clock::now();
  SendMessageW(window_->Button(TintwiseWindow::kAbort), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil(*window_, [this] { return !window_->IsBusy(); }, 10));
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
  EXPECT_TRUE(IsWindowEnabled(window_->Button(TintwiseWindow::kOpen)));
  EXPECT_EQ(0, window_->List().RowCount());
}

// A posted verdict is confirmed by the site's picture after the search: a
// site that cannot be reached leaves it unconfirmed and says so; Abort ends
// a confirmation the site keeps waiting. The window is usable after both.
TEST_F(WindowTest, ASearchsConfirmationSaysWhenTheSiteIsAwayAndAbortEndsIt) {
  LoopbackHttpServer silent;
  silent.ServeNoAnswer("/mofuimg/pimg.php?imgid=5");
  const std::string site = SiteHost();
  const std::string closed = "127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort());
  Open();
  const std::string picture = PathOf("query.png");
  WriteUniformPicture(picture, 50);
  for (const bool abort : {false, true}) {
    SCOPED_TRACE(abort ? "aborted" : "site away");
    OverrideServerHosts(abort ? silent.Host() : closed, CacheHost());
    ASSERT_TRUE(window_->SearchImage(picture));
    if (abort) {
      ASSERT_TRUE(PumpUntil(*window_, [this] {
        return window_->StatusText().rfind(Sjis(u8"サイトの画像で確認中…\n投稿済み　ID 5"), 0) == 0;
      })) << window_->StatusText();
      EXPECT_FALSE(IsWindowEnabled(window_->Button(TintwiseWindow::kOpen)));
      const auto pressed = std::chrono::steady_clock::now();
      SendMessageW(window_->Button(TintwiseWindow::kAbort), BM_CLICK, 0, 0);
      ASSERT_TRUE(PumpUntil(*window_, [this] { return !window_->IsBusy(); }, 10));
      EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
    }
    ASSERT_TRUE(WaitIdle());
    const std::string status = window_->StatusText();
    const std::string head = Sjis(abort ? u8"検索終了\n投稿済み　ID 5" : u8"検索終了\n投稿済み（サイトの画像を取得できず未確認）　ID 5");
    const std::string tail = abort ? Sjis(u8"（確認を中止しました）") : std::string();
    EXPECT_EQ(0u, status.rfind(head, 0)) << status;
    EXPECT_TRUE(status.ends_with(tail)) << status;
    EXPECT_EQ("5", FirstId());
    EXPECT_TRUE(IsWindowEnabled(window_->Button(TintwiseWindow::kOpen)));
  }
  OverrideServerHosts(site, CacheHost());
}

TEST_F(WindowTest, ADensityChangeLaysTheWindowOutAgainAtTheNewSize) {
  Open();
  RECT before{};
  GetClientRect(window_->Preview().Handle(), &before);
  RECT frame{};
  GetWindowRect(window_->Handle(), &frame);
  frame.right = frame.left + (frame.right - frame.left) * 2;
  frame.bottom = frame.top + (frame.bottom - frame.top) * 2;
  SendMessageW(window_->Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&frame));
  RECT after{};
  GetClientRect(window_->Preview().Handle(), &after);
  EXPECT_GE(after.right, before.right * 2 - 2);
  EXPECT_GE(after.bottom, before.bottom * 2 - 2);
  // Nothing overlaps: the list ends left of the preview, the buttons above it.
  RECT list{};
  RECT preview{};
  RECT open{};
  GetWindowRect(window_->List().Handle(), &list);
  GetWindowRect(window_->Preview().Handle(), &preview);
  GetWindowRect(window_->Button(TintwiseWindow::kOpen), &open);
  EXPECT_LE(list.right, preview.left);
  EXPECT_LE(open.bottom, preview.top);
}

}  // namespace

// A search confirms its verdict by the site's pictures: the site is a closed
// loopback port unless a test serves one, so that no test asks a demo site
// that happens to run here.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  OverrideServerHosts("127.0.0.1:" + std::to_string(LoopbackHttpServer::UnusedPort()), CacheHost());
  if (FAILED(OleInitialize(nullptr))) return 1;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  const int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
