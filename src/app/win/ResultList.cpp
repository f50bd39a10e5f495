#include "app/win/ResultList.h"

#include <algorithm>
#include <cwchar>

#include "app/shared/ColumnFit.h"
#include "app/win/WinText.h"

namespace {

// The room a list view leaves around a cell's text, at 96 dpi.
constexpr int kCellPadding = 12;

}  // namespace

ResultList::ResultList(HWND parent, int id) {
  window_.reset(CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                                    LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                                0, 0, 1, 1, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr));
  ListView_SetExtendedListViewStyle(Handle(), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_INFOTIP |
                                                  LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  ResetImages();
}

void ResultList::SetFont(HFONT font, UINT dpi) {
  dpi_ = dpi == 0 ? USER_DEFAULT_SCREEN_DPI : dpi;
  SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  HDC dc = GetDC(Handle());
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(Handle(), dc);
  // Three cells of whole pixels, as tall as a line of text.
  swatchSide_ = std::max<int>(3, metrics.tmHeight / 3 * 3);
  ResetImages();
  FitColumns();
}

void ResultList::ResetImages() {
  images_.reset(ImageList_Create(swatchSide_, swatchSide_, ILC_COLOR32, 24, 8));
  ListView_SetImageList(Handle(), images_.get(), LVSIL_SMALL);
  for (Shown& row : shownRows_) row.swatch = -1;
  Refresh();
}

void ResultList::SetColumns(const std::vector<std::string>& titles) {
  rows_.SetColumns(titles);
  shownRows_.clear();
  while (ListView_DeleteColumn(Handle(), 0)) {
  }
  for (std::size_t column = 0; column < titles.size(); ++column) {
    std::wstring title = ShownText(titles[column]);
    LVCOLUMNW item{};
    item.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    item.pszText = title.data();
    item.cx = Scaled(column < widths_.size() ? widths_[column] : 100);
    item.iSubItem = static_cast<int>(column);
    ListView_InsertColumn(Handle(), static_cast<int>(column), &item);
  }
  ResetImages();
}

int ResultList::AddRow(const std::vector<std::string>& texts) {
  if (!rows_.AppendRow(texts)) return -1;
  Shown row;
  for (const std::string& text : texts) row.texts.push_back(ShownText(text));
  shownRows_.push_back(std::move(row));
  Refresh();
  return RowCount() - 1;
}

std::vector<std::string> ResultList::GetRowTexts(int row) const {
  return rows_.Row(row);
}

void ResultList::DeleteAllItems() {
  rows_.Clear();
  shownRows_.clear();
  ImageList_RemoveAll(images_.get());
  ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  Refresh();
}

bool ResultList::SortByColumn(int column) {
  const int selected = FirstSelectedRow();
  const std::optional<std::vector<int>> moved = rows_.SortByColumn(column);
  if (!moved) return false;
  // The converted texts, the swatches and the selection go with their rows.
  std::vector<Shown> sorted(shownRows_.size());
  for (std::size_t row = 0; row < moved->size() && row < shownRows_.size(); ++row) {
    sorted[(*moved)[row]] = std::move(shownRows_[row]);
  }
  shownRows_ = std::move(sorted);
  Refresh();
  if (selected >= 0 && selected < static_cast<int>(moved->size())) SelectRow((*moved)[selected]);
  return true;
}

void ResultList::SetRowSwatch(int row, const PixelPicture& swatch) {
  if (row < 0 || row >= RowCount()) return;
  if (swatch.Empty()) {
    shownRows_[row].swatch = -1;
  } else {
    HDC dc = GetDC(Handle());
    OwnedBitmap bitmap(swatch.MakeBitmap(dc));
    ReleaseDC(Handle(), dc);
    shownRows_[row].swatch = ImageList_Add(images_.get(), bitmap.get(), nullptr);
  }
  ListView_RedrawItems(Handle(), row, row);
}

void ResultList::ShowSwatch(int row, const ImageCache::Colours& colours) {
  SetRowSwatch(row, PixelPicture::Swatch(colours.data(), std::max(1, swatchSide_ / 3)));
}

bool ResultList::HasSwatch(int row) const { return row >= 0 && row < RowCount() && shownRows_[row].swatch >= 0; }

int ResultList::FirstSelectedRow() const {
  return static_cast<int>(SendMessageW(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ResultList::SelectRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(Handle(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(Handle(), row, FALSE);
}

int ResultList::RowAt(POINT client) const {
  LVHITTESTINFO hit{};
  hit.pt = client;
  const int row = ListView_SubItemHitTest(Handle(), &hit);
  return row >= 0 && row < RowCount() ? row : -1;
}

void ResultList::SetColumnWidths(const std::vector<int>& widths) {
  widths_ = widths;
  FitColumns();
}

void ResultList::SetFittedColumn(int column) {
  fitted_ = column;
  FitColumns();
}

int ResultList::CellTextWidth(const std::wstring& text) const {
  return static_cast<int>(SendMessageW(Handle(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int ResultList::FittedTextWidth() const {
  if (fitted_ < 0 || fitted_ >= ColumnCount()) return 0;
  int widest = CellTextWidth(ShownText(rows_.Titles()[fitted_]));
  for (const Shown& row : shownRows_) widest = std::max(widest, CellTextWidth(row.texts[fitted_]));
  return widest + Scaled(kCellPadding);
}

void ResultList::FitColumns() {
  const int count = std::min(ColumnCount(), static_cast<int>(widths_.size()));
  if (count == 0) return;
  std::vector<int> own;
  for (int column = 0; column < count; ++column) own.push_back(Scaled(widths_[column]));
  RECT client{};
  GetClientRect(Handle(), &client);
  shown_ = FitColumnWidths(own, fitted_ < count ? fitted_ : -1, FittedTextWidth(), client.right);
  fitting_ = true;
  for (int column = 0; column < count; ++column) ListView_SetColumnWidth(Handle(), column, shown_[column]);
  fitting_ = false;
  // The fitted widths may have brought in or taken away the horizontal
  // scroll bar, which changes the room.
  RECT after{};
  GetClientRect(Handle(), &after);
  if (after.right != client.right) {
    shown_ = FitColumnWidths(own, fitted_ < count ? fitted_ : -1, FittedTextWidth(), after.right);
    fitting_ = true;
    for (int column = 0; column < count; ++column) ListView_SetColumnWidth(Handle(), column, shown_[column]);
    fitting_ = false;
  }
}

bool ResultList::IsCellCut(int row, int column) const {
  if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return false;
  int needed = CellTextWidth(shownRows_[row].texts[column]) + Scaled(kCellPadding);
  if (column == 0 && shownRows_[row].swatch >= 0) needed += swatchSide_ + Scaled(2);
  return needed > ListView_GetColumnWidth(Handle(), column);
}

void ResultList::Refresh() {
  ListView_SetItemCountEx(Handle(), RowCount(), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  InvalidateRect(Handle(), nullptr, TRUE);
  FitColumns();
}

bool ResultList::OnNotify(const NMHDR& header, LRESULT* result) {
  *result = 0;
  if (header.hwndFrom == ListView_GetHeader(Handle())) {
    if (header.code != HDN_ITEMCHANGEDW && header.code != HDN_ITEMCHANGEDA) return false;
    const auto& change = reinterpret_cast<const NMHEADERW&>(header);
    if (fitting_ || !change.pitem || !(change.pitem->mask & HDI_WIDTH)) return false;
    const int column = change.iItem;
    if (column < 0 || column >= static_cast<int>(widths_.size()) || column >= static_cast<int>(shown_.size())) {
      return false;
    }
    // Dragged by the user: what the column had beyond its own is given back.
    const int kept = ColumnWidthToKeep(Scaled(widths_[column]), shown_[column], change.pitem->cxy);
    widths_[column] = std::max(1, Unscaled(kept));
    shown_[column] = change.pitem->cxy;
    return false;
  }
  if (header.hwndFrom != Handle()) return false;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header)).item;
      if (item.iItem < 0 || item.iItem >= RowCount()) return true;
      const Shown& row = shownRows_[item.iItem];
      if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0 && item.iSubItem >= 0 &&
          item.iSubItem < ColumnCount()) {
        const std::wstring& text = row.texts[item.iSubItem];
        const std::size_t count = std::min<std::size_t>(text.size(), item.cchTextMax - 1);
        std::wmemcpy(item.pszText, text.data(), count);
        item.pszText[count] = L'\0';
      }
      if (item.mask & LVIF_IMAGE) item.iImage = item.iSubItem == 0 ? row.swatch : I_IMAGENONE;
      return true;
    }
    case LVN_COLUMNCLICK:
      SortByColumn(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
      return true;
    case LVN_GETINFOTIPW: {
      auto& tip = reinterpret_cast<NMLVGETINFOTIPW&>(const_cast<NMHDR&>(header));
      tip_.clear();
      for (int column = 0; column < ColumnCount(); ++column) {
        if (!IsCellCut(tip.iItem, column)) continue;
        if (!tip_.empty()) tip_ += L"\r\n";
        tip_ += shownRows_[tip.iItem].texts[column];
      }
      if (tip.pszText && tip.cchTextMax > 0) {
        const std::size_t count = std::min<std::size_t>(tip_.size(), tip.cchTextMax - 1);
        std::wmemcpy(tip.pszText, tip_.data(), count);
        tip.pszText[count] = L'\0';
      }
      return true;
    }
    default:
      return false;
  }
}
