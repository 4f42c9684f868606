// list/ holds the typed-address list as the main window holds it (this file), the commands
// that edit it with the texts the user reads (list_commands.h), undo (undo_history.h), and
// what loads the list from the typed-address store and saves it there (list_store.h). It uses
// store/ and the layers below it, and knows no window, dialog or toolkit.
//
// The typed-address list: the one copy of it the program holds, with its selection. The main
// window shows it through a view; the commands change it here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "store/typed_address_store.h"

namespace tavelin {

// An entry with its place, as a removal takes it out and an undo puts it back.
struct PlacedEntry {
  std::size_t at = 0;
  std::string text;
  TypedTime time;
};

// Told about every change, so that a view can follow. Calls come in before/after pairs.
class AddressListObserver {
 public:
  virtual ~AddressListObserver() = default;
  virtual void beforeInsert(std::size_t first, std::size_t last) = 0;
  virtual void afterInsert() = 0;
  virtual void beforeRemove(std::size_t first, std::size_t last) = 0;
  virtual void afterRemove() = 0;
  virtual void beforeReset() = 0;
  virtual void afterReset() = 0;
  virtual void itemsChanged(std::size_t first, std::size_t last) = 0;
  virtual void selectionChanged(int index) = 0;
};

class AddressList {
 public:
  std::size_t count() const { return items_.size(); }
  const std::string& item(std::size_t index) const { return items_[index]; }
  const std::vector<std::string>& items() const { return items_; }
  const TypedTime& time(std::size_t index) const { return times_[index]; }
  const std::vector<TypedTime>& times() const { return times_; }

  // Changes the text; the entry keeps its time unless given another.
  void setItem(std::size_t index, std::string text);
  void setItem(std::size_t index, std::string text, TypedTime time);
  void append(std::string text, TypedTime time = {});
  // Puts `text` at `index` (at most the count), moving the later items down one place.
  void insert(std::size_t index, std::string text, TypedTime time = {});
  // Exchanges two entries, each with its time.
  void exchange(std::size_t a, std::size_t b);
  void remove(std::size_t index);
  // Removes the items at the given positions (ascending, distinct) in one pass.
  void removeMany(const std::vector<std::size_t>& ascendingIndices);
  void clear();
  // Replaces every item at once, none with a time; nothing is selected afterwards.
  void replaceAll(std::vector<std::string> items);
  // The same with times, giving back what it replaced (without copying it).
  TypedAddresses exchangeAll(TypedAddresses contents);
  TypedAddresses contents() const { return {items_, times_}; }

  // The selected item's index, or -1 when none is selected.
  int selectionIndex() const { return selection_; }
  void select(int index);  // -1, or an index out of range, selects none
  void selectNone() { select(-1); }

  void setObserver(AddressListObserver* observer) { observer_ = observer; }

 private:
  std::vector<std::string> items_;
  std::vector<TypedTime> times_;
  int selection_ = -1;
  AddressListObserver* observer_ = nullptr;
};

}  // namespace tavelin
