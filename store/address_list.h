// The typed-address list: the one copy of it the program holds, with its selection. The main
// window shows it through a view; the store and the commands change it here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tavelin {

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

  void setItem(std::size_t index, std::string text);
  void append(std::string text);
  // Puts `text` at `index` (at most the count), moving the later items down one place.
  void insert(std::size_t index, std::string text);
  void remove(std::size_t index);
  // Removes the items at the given positions (ascending, distinct) in one pass.
  void removeMany(const std::vector<std::size_t>& ascendingIndices);
  void clear();
  // Replaces every item at once; nothing is selected afterwards.
  void replaceAll(std::vector<std::string> items);
  // The same, giving back the items it replaced (without copying them).
  std::vector<std::string> exchangeAll(std::vector<std::string> items);

  // The selected item's index, or -1 when none is selected.
  int selectionIndex() const { return selection_; }
  void select(int index);  // -1, or an index out of range, selects none
  void selectNone() { select(-1); }

  void setObserver(AddressListObserver* observer) { observer_ = observer; }

 private:
  std::vector<std::string> items_;
  int selection_ = -1;
  AddressListObserver* observer_ = nullptr;
};

}  // namespace tavelin
