// The typed-address list: the one copy of it the program holds, with its selection. The main
// window shows it through a view; the store and the commands change it here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/registry.h"

namespace tavelin {

// When an entry was typed, as the browser keeps it beside the address: a FILETIME (100 ns
// steps since 1601, UTC) under the same value name in the time key. An entry read from the
// store keeps the value exactly as read, whatever its type or size.
struct TypedTime {
  enum class Kind : std::uint8_t { kNone, kAt, kStored };
  Kind kind = Kind::kNone;
  std::uint64_t filetime = 0;              // kAt
  std::shared_ptr<const RegValue> stored;  // kStored

  static TypedTime None() { return {}; }
  static TypedTime At(std::uint64_t filetime) { return {Kind::kAt, filetime, nullptr}; }
  static TypedTime Now();
  static TypedTime Stored(RegValue value) {
    return {Kind::kStored, 0, std::make_shared<const RegValue>(std::move(value))};
  }
  bool has() const { return kind != Kind::kNone; }
  // The value to store: REG_BINARY, 8 bytes little-endian, for a time set here.
  RegValue value() const;
  bool operator==(const TypedTime& other) const;
};

// An entry with its place, as a removal takes it out and an undo puts it back.
struct PlacedEntry {
  std::size_t at = 0;
  std::string text;
  TypedTime time;
};

// The whole of a list: the texts and, at the same places, their times.
struct ListContents {
  std::vector<std::string> items;
  std::vector<TypedTime> times;  // as many as items

  bool operator==(const ListContents&) const = default;
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
  ListContents exchangeAll(ListContents contents);
  ListContents contents() const { return {items_, times_}; }

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
