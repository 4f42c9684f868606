// The core's typed-address list in a virtual list view (LVS_OWNERDATA), which holds no copy
// of the texts: it asks for each row it draws, and this answers from the list. The view's
// selection and the list's stay the same in both directions: the core's changes are drawn,
// the user's choices go to the list row's handler.
#pragma once

#include <windows.h>
// After windows.h, which it builds on:
#include <commctrl.h>

#include "app/mainn.h"
#include "list/address_list.h"
#include "ui/forms.h"

namespace tavelin::win32 {

class AddressListView : private AddressListObserver {
 public:
  explicit AddressListView(Mainn& mainn) : mainn_(mainn) {}
  ~AddressListView() override;
  AddressListView(const AddressListView&) = delete;
  AddressListView& operator=(const AddressListView&) = delete;

  // Creates the view as the control `id` of `parent`, for the list's row `shape`; false when
  // the system made none.
  bool create(HWND parent, HMENU id, DWORD style, const ControlLayout& shape);
  // From now on the view shows the core's list.
  void followList();
  // The view has gone with its window: nothing is drawn any more.
  void detach();

  HWND hwnd() const { return list_; }
  // A notification the view sent its parent (WM_NOTIFY), and what the parent answers.
  LRESULT notify(const NMHDR& header);
  // The one column as wide as the view.
  void fitColumn();
  // Shows the core's selection again.
  void showListSelection() { showSelection(mainn_.List1().selectionIndex()); }
  // In screen coordinates: below the left end of the selected row, or the view's top-left
  // corner when nothing is selected.
  POINT belowSelection() const;

  // Posted to the parent, which then calls showListSelection: the view has dropped the
  // core's selection and gets it back once it has finished with the input in hand.
  static constexpr UINT kShowSelectionMessage = WM_APP + 3;

 private:
  void beforeInsert(std::size_t, std::size_t) override {}
  void afterInsert() override { refresh(); }
  void beforeRemove(std::size_t, std::size_t) override {}
  void afterRemove() override { refresh(); }
  void beforeReset() override {}
  void afterReset() override { refresh(); }
  void itemsChanged(std::size_t first, std::size_t last) override;
  void selectionChanged(int index) override { showSelection(index); }

  void refresh();
  void showSelection(int index);
  int viewSelection() const;
  void selectionMoved(const NMLISTVIEW& change);
  void fillDisplayText(NMLVDISPINFOW& info) const;

  Mainn& mainn_;
  HWND list_ = nullptr;
  const ControlLayout* shape_ = nullptr;  // the list's row: its events' handlers
  bool showingSelection_ = false;         // the view's changes are our own, not the user's
};

}  // namespace tavelin::win32
