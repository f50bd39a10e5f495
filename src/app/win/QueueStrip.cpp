#include "app/win/QueueStrip.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/win/WinText.h"

namespace {

// At 96 dpi: the frame's width and the margin around an entry.
constexpr int kFrame = 3;
constexpr int kMargin = 2;
// The label's lines: the verdict, then the confirmation's state, each on
// up to two in a narrow strip; every entry has room for two at least, and
// for as many as the longest label shown needs.
constexpr int kLabelLines = 4;
constexpr int kFewestLabelLines = 2;

COLORREF Colour(PictureQueue::Mark mark) {
  const std::uint32_t rgb = PictureQueue::Colour(mark);
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// `text` in lines of at most `width` pixels, broken anywhere (a Japanese
// label has no spaces to break at): the verdict, then its state in brackets
// from a line of its own. At most kLabelLines, the last cut short with an
// ellipsis when the text goes on.
std::vector<std::wstring> BrokenLabel(HDC dc, const std::wstring& text, int width) {
  // How many of `line`'s first characters fit `room` pixels.
  const auto fitting = [dc](const std::wstring& line, int room) {
    int fit = 0;
    SIZE size{};
    GetTextExtentExPointW(dc, line.c_str(), static_cast<int>(line.size()), std::max(room, 0), &fit, nullptr, &size);
    return std::min(static_cast<std::size_t>(std::max(fit, 0)), line.size());
  };
  const std::size_t state = std::min(text.find(L'\xFF08'), text.size());  // "（"
  std::vector<std::wstring> lines;
  std::size_t placed = 0;  // the characters already on a line
  for (const std::size_t end : {state, text.size()}) {
    while (placed < end && lines.size() < kLabelLines) {
      const std::wstring rest = text.substr(placed, end - placed);
      const std::size_t fit = fitting(rest, width);
      if (lines.size() + 1 == kLabelLines && (fit < rest.size() || end < text.size())) {
        const std::wstring ellipsis(1, L'\x2026');  // "…"
        SIZE size{};
        GetTextExtentPoint32W(dc, ellipsis.c_str(), 1, &size);
        lines.push_back(rest.substr(0, fitting(rest, width - size.cx)) + ellipsis);
        placed = text.size();
      } else {
        const std::size_t taken = std::max<std::size_t>(fit, 1);
        lines.push_back(rest.substr(0, taken));
        placed += taken;
      }
    }
  }
  return lines;
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
  // A square thumbnail as wide as the strip lets it, and the label's lines.
  RECT client{};
  GetClientRect(Handle(), &client);
  TEXTMETRICW metrics{};
  labelLines_ = kFewestLabelLines;
  if (HDC dc = GetDC(Handle())) {
    HGDIOBJ old = SelectObject(dc, font_);
    GetTextMetricsW(dc, &metrics);
    // Every label measured in the one context.
    for (const Entry& entry : entries_) {
      labelLines_ = std::max(labelLines_, static_cast<int>(BrokenLabel(dc, ShownText(entry.label), LabelWidth()).size()));
    }
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
  }
  const int side = std::max<int>(16, client.right - MulDiv(2 * kMargin, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI));
  const int height = side + labelLines_ * metrics.tmHeight + MulDiv(2 * kMargin, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
  SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, std::min(height, 255));
  InvalidateRect(Handle(), nullptr, TRUE);
}

void QueueStrip::SetEntries(const std::vector<std::string>& names) {
  entries_.clear();
  for (const std::string& name : names) {
    entries_.push_back({name, {}, PictureQueue::Mark::kWaiting, PictureQueue::Label(PictureQueue::Mark::kWaiting)});
  }
  SendMessageW(Handle(), LB_SETCOUNT, entries_.size(), 0);
  Fit();
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
  if (static_cast<int>(LabelLines(index).size()) > labelLines_) {
    Fit();
  } else {
    Redraw(index);
  }
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
  const int side = std::max<int>(1, std::min<int>(box.right - box.left, box.bottom - box.top - labelLines_ * metrics.tmHeight));
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
  // The label in the mark's colour under it: the verdict, and from the next
  // line the confirmation's state in its brackets.
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : Colour(entry.mark));
  const std::vector<std::wstring> lines = BrokenLabel(item.hDC, ShownText(entry.label), box.right - box.left);
  for (std::size_t line = 0; line < lines.size(); ++line) {
    const int top = thumb.bottom + static_cast<int>(line) * metrics.tmHeight;
    RECT label{box.left, top, box.right, top + metrics.tmHeight};
    DrawTextW(item.hDC, lines[line].c_str(), static_cast<int>(lines[line].size()), &label,
              DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
  }
  SelectObject(item.hDC, oldFont);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
  return true;
}

std::vector<std::wstring> QueueStrip::LabelLines(int index) const {
  std::vector<std::wstring> lines;
  if (index < 0 || index >= Count()) return lines;
  if (HDC dc = GetDC(Handle())) {
    HGDIOBJ old = SelectObject(dc, font_);
    lines = BrokenLabel(dc, ShownText(entries_[index].label), LabelWidth());
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
  }
  return lines;
}

int QueueStrip::LabelWidth() const {
  RECT client{};
  GetClientRect(Handle(), &client);
  return client.right - 2 * MulDiv(kMargin, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}
