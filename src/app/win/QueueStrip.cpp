#include "app/win/QueueStrip.h"

#include <commctrl.h>

#include <algorithm>

#include "app/win/WinText.h"

namespace {

// At 96 dpi: the frame's width and the margin around an entry.
constexpr int kFrame = 3;
constexpr int kMargin = 2;
// The label's lines: the verdict, then the confirmation's state.
constexpr int kLabelLines = 2;

COLORREF Colour(PictureQueue::Mark mark) {
  const std::uint32_t rgb = PictureQueue::Colour(mark);
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

QueueStrip::QueueStrip(HWND parent, int id) {
  window_.reset(CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTBOXW, L"",
                                WS_CHILD | WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_NOTIFY |
                                    LBS_NOINTEGRALHEIGHT | LBS_NODATA,
                                0, 0, 1, 1, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr));
}

void QueueStrip::SetFont(HFONT font, UINT dpi) {
  font_ = font;
  dpi_ = dpi;
  SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  Fit();
}

void QueueStrip::Fit() {
  // A square thumbnail as wide as the strip lets it, and two lines of label.
  RECT client{};
  GetClientRect(Handle(), &client);
  TEXTMETRICW metrics{};
  if (HDC dc = GetDC(Handle())) {
    HGDIOBJ old = SelectObject(dc, font_);
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
  }
  const int side = std::max<int>(16, client.right - MulDiv(2 * kMargin, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI));
  const int height = side + kLabelLines * metrics.tmHeight + MulDiv(2 * kMargin, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
  SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, std::min(height, 255));
  InvalidateRect(Handle(), nullptr, TRUE);
}

void QueueStrip::SetEntries(const std::vector<std::string>& names) {
  entries_.clear();
  for (const std::string& name : names) {
    entries_.push_back({name, {}, PictureQueue::Mark::kWaiting, PictureQueue::Label(PictureQueue::Mark::kWaiting)});
  }
  SendMessageW(Handle(), LB_SETCOUNT, entries_.size(), 0);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void QueueStrip::SetThumbnail(int index, PixelPicture thumbnail) {
  if (index < 0 || index >= Count()) return;
  entries_[index].thumbnail = std::move(thumbnail);
  Redraw(index);
}

void QueueStrip::SetMark(int index, PictureQueue::Mark mark, const std::string& label) {
  if (index < 0 || index >= Count()) return;
  entries_[index].mark = mark;
  entries_[index].label = label;
  Redraw(index);
}

PictureQueue::Mark QueueStrip::MarkAt(int index) const {
  return index >= 0 && index < Count() ? entries_[index].mark : PictureQueue::Mark::kWaiting;
}

const std::string& QueueStrip::NameAt(int index) const {
  static const std::string kNone;
  return index >= 0 && index < Count() ? entries_[index].name : kNone;
}

bool QueueStrip::HasThumbnail(int index) const {
  return index >= 0 && index < Count() && !entries_[index].thumbnail.Empty();
}

int QueueStrip::Selected() const {
  const LRESULT selected = SendMessageW(Handle(), LB_GETCURSEL, 0, 0);
  return selected == LB_ERR ? -1 : static_cast<int>(selected);
}

void QueueStrip::Select(int index) { SendMessageW(Handle(), LB_SETCURSEL, index, 0); }

void QueueStrip::Redraw(int index) const {
  RECT item{};
  if (SendMessageW(Handle(), LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)) != LB_ERR) {
    InvalidateRect(Handle(), &item, TRUE);
  }
}

bool QueueStrip::OnDrawItem(const DRAWITEMSTRUCT& item) const {
  if (item.hwndItem != Handle()) return false;
  const int index = static_cast<int>(item.itemID);
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (index < 0 || index >= Count()) return true;
  const Entry& entry = entries_[index];
  const int margin = MulDiv(kMargin, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
  const int frame = std::max(1, MulDiv(kFrame, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI));
  RECT box = item.rcItem;
  InflateRect(&box, -margin, -margin);
  TEXTMETRICW metrics{};
  HGDIOBJ oldFont = SelectObject(item.hDC, font_);
  GetTextMetricsW(item.hDC, &metrics);
  const int side = std::max<int>(1, std::min<int>(box.right - box.left, box.bottom - box.top - kLabelLines * metrics.tmHeight));
  RECT thumb{box.left + (box.right - box.left - side) / 2, box.top, 0, 0};
  thumb.right = thumb.left + side;
  thumb.bottom = thumb.top + side;
  // The frame in the mark's colour, the picture fitted inside it.
  HBRUSH brush = CreateSolidBrush(Colour(entry.mark));
  FillRect(item.hDC, &thumb, brush);
  DeleteObject(brush);
  RECT inside = thumb;
  InflateRect(&inside, -frame, -frame);
  FillRect(item.hDC, &inside, GetSysColorBrush(COLOR_WINDOW));
  if (!entry.thumbnail.Empty() && inside.right > inside.left && inside.bottom > inside.top) {
    const int w = inside.right - inside.left;
    const int h = inside.bottom - inside.top;
    const double scale = std::min(static_cast<double>(w) / entry.thumbnail.Width(),
                                  static_cast<double>(h) / entry.thumbnail.Height());
    const int dw = std::max(1, static_cast<int>(entry.thumbnail.Width() * scale));
    const int dh = std::max(1, static_cast<int>(entry.thumbnail.Height() * scale));
    const RECT target{inside.left + (w - dw) / 2, inside.top + (h - dh) / 2, inside.left + (w - dw) / 2 + dw,
                      inside.top + (h - dh) / 2 + dh};
    entry.thumbnail.Draw(item.hDC, target);
  }
  // The label in the mark's colour under it: the verdict, and on the next
  // line the confirmation's state in its brackets, each cut short to fit.
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : Colour(entry.mark));
  const std::wstring text = ShownText(entry.label);
  const std::size_t state = std::min(text.find(L'\xFF08'), text.size());  // "（"
  const std::wstring lines[kLabelLines] = {text.substr(0, state), text.substr(state)};
  for (int line = 0; line < kLabelLines; ++line) {
    RECT label{box.left, thumb.bottom + line * metrics.tmHeight, box.right,
               thumb.bottom + (line + 1) * metrics.tmHeight};
    DrawTextW(item.hDC, lines[line].c_str(), static_cast<int>(lines[line].size()), &label,
              DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX | DT_VCENTER);
  }
  SelectObject(item.hDC, oldFont);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
  return true;
}
