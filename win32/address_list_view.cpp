#include "win32/address_list_view.h"

#include <algorithm>
#include <string>

#include "win32/layout.h"

namespace tavelin::win32 {

AddressListView::~AddressListView() {
  detach();
}

bool AddressListView::create(HWND parent, HMENU id, DWORD style, const ControlLayout& shape) {
  // A report view with one column and no header.
  HWND created = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
      style | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
      0, 0, 0, 0, parent, id, GetModuleHandleW(nullptr), nullptr);
  if (created == nullptr) return false;
  SendMessageW(created, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
               LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  SendMessageW(created, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  list_ = created;
  shape_ = &shape;
  return true;
}

void AddressListView::followList() {
  mainn_.List1().setObserver(this);
  refresh();
}

void AddressListView::detach() {
  mainn_.List1().setObserver(nullptr);
  list_ = nullptr;
}

void AddressListView::fitColumn() {
  if (list_ == nullptr) return;
  RECT client{};
  GetClientRect(list_, &client);
  SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(client.right - client.left, 0));
}

LRESULT AddressListView::notify(const NMHDR& header) {
  if (list_ == nullptr || header.hwndFrom != list_) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW:
      fillDisplayText(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
      return 0;
    case LVN_ITEMCHANGED:
      selectionMoved(reinterpret_cast<const NMLISTVIEW&>(header));
      return 0;
    case NM_DBLCLK:
      Dispatch(shape_->dblClick, mainn_);
      return 0;
    case LVN_ODFINDITEMW:
      // What typing selects is the core's choice (the list's input hands it the characters
      // before the view could search); the view's own searches find nothing.
      return -1;
    default:
      return 0;
  }
}

void AddressListView::selectionMoved(const NMLISTVIEW& change) {
  if (showingSelection_ || !(change.uChanged & LVIF_STATE)) return;
  if (!((change.uOldState ^ change.uNewState) & LVIS_SELECTED)) return;
  const int selected = viewSelection();
  if (selected != mainn_.List1().selectionIndex()) Dispatch(shape_->select, mainn_, selected);
  // The core keeps a selection the view dropped (Ctrl+click, Ctrl+Space): it is shown again
  // once the view has finished with the input.
  if (list_ != nullptr && viewSelection() != mainn_.List1().selectionIndex()) {
    PostMessageW(GetParent(list_), kShowSelectionMessage, 0, 0);
  }
}

void AddressListView::fillDisplayText(NMLVDISPINFOW& info) const {
  if (!(info.item.mask & LVIF_TEXT) || info.item.pszText == nullptr || info.item.cchTextMax <= 0) {
    return;
  }
  const AddressList& list = mainn_.List1();
  std::wstring text;
  if (info.item.iItem >= 0 && static_cast<std::size_t>(info.item.iItem) < list.count()) {
    text = Widen(mainn_.List1_DisplayText(static_cast<std::size_t>(info.item.iItem)));
  }
  std::size_t length = std::min(text.size(), static_cast<std::size_t>(info.item.cchTextMax - 1));
  // A cut text never ends in half a character.
  if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 &&
      text[length - 1] <= 0xDBFF) {
    --length;
  }
  text.copy(info.item.pszText, length);
  info.item.pszText[length] = L'\0';
}

void AddressListView::itemsChanged(std::size_t first, std::size_t last) {
  if (list_ == nullptr) return;
  SendMessageW(list_, LVM_REDRAWITEMS, first, static_cast<LPARAM>(last));
}

void AddressListView::refresh() {
  if (list_ == nullptr) return;
  showingSelection_ = true;
  SendMessageW(list_, LVM_SETITEMCOUNT, mainn_.List1().count(), 0);
  // A list view keeps selection and focus states across a count change; the core's
  // selection is the only one.
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  showingSelection_ = false;
  showSelection(mainn_.List1().selectionIndex());
  fitColumn();
  InvalidateRect(list_, nullptr, TRUE);
}

int AddressListView::viewSelection() const {
  return static_cast<int>(
      SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void AddressListView::showSelection(int index) {
  if (list_ == nullptr) return;
  showingSelection_ = true;
  if (viewSelection() != index) {
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  }
  if (index >= 0) {
    // The selected row is the focused one too, so that the arrow keys move from it.
    LVITEMW state{};
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&state));
    SendMessageW(list_, LVM_SETSELECTIONMARK, 0, index);
    SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  }
  showingSelection_ = false;
}

POINT AddressListView::belowSelection() const {
  POINT at{};
  if (list_ == nullptr) return at;
  const int row = mainn_.List1().selectionIndex();
  if (row >= 0) {
    SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    if (SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&bounds))) {
      at = {bounds.left, bounds.bottom};
    }
  }
  ClientToScreen(list_, &at);
  return at;
}

}  // namespace tavelin::win32
