#include "list/address_list.h"

#include <utility>

namespace tavelin {

void AddressList::setItem(std::size_t index, std::string text) {
  if (index >= items_.size()) return;
  items_[index] = std::move(text);
  if (observer_) observer_->itemsChanged(index, index);
}

void AddressList::setItem(std::size_t index, std::string text, TypedTime time) {
  if (index >= items_.size()) return;
  times_[index] = std::move(time);
  setItem(index, std::move(text));
}

void AddressList::exchange(std::size_t a, std::size_t b) {
  if (a >= items_.size() || b >= items_.size()) return;
  std::swap(items_[a], items_[b]);
  std::swap(times_[a], times_[b]);
  if (observer_) observer_->itemsChanged(a < b ? a : b, a < b ? b : a);
}

void AddressList::append(std::string text, TypedTime time) {
  const std::size_t at = items_.size();
  if (observer_) observer_->beforeInsert(at, at);
  items_.push_back(std::move(text));
  times_.push_back(std::move(time));
  if (observer_) observer_->afterInsert();
}

void AddressList::insert(std::size_t index, std::string text, TypedTime time) {
  if (index > items_.size()) index = items_.size();
  if (observer_) observer_->beforeInsert(index, index);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(text));
  times_.insert(times_.begin() + static_cast<std::ptrdiff_t>(index), std::move(time));
  // Like a removal, an insertion leaves nothing selected; the caller selects what it means.
  const bool hadSelection = selection_ != -1;
  selection_ = -1;
  if (observer_) {
    observer_->afterInsert();
    if (hadSelection) observer_->selectionChanged(-1);
  }
}

void AddressList::remove(std::size_t index) {
  if (index >= items_.size()) return;
  if (observer_) observer_->beforeRemove(index, index);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  times_.erase(times_.begin() + static_cast<std::ptrdiff_t>(index));
  // A removal leaves nothing selected; whoever removes decides what to select next.
  const bool hadSelection = selection_ != -1;
  selection_ = -1;
  if (observer_) {
    observer_->afterRemove();
    if (hadSelection) observer_->selectionChanged(-1);
  }
}

void AddressList::removeMany(const std::vector<std::size_t>& ascendingIndices) {
  if (ascendingIndices.empty()) return;
  if (ascendingIndices.size() == 1) {
    remove(ascendingIndices.front());
    return;
  }
  if (observer_) observer_->beforeReset();
  std::size_t write = 0;
  std::size_t next = 0;
  for (std::size_t read = 0; read < items_.size(); ++read) {
    if (next < ascendingIndices.size() && ascendingIndices[next] == read) {
      ++next;
      continue;
    }
    if (write != read) {
      items_[write] = std::move(items_[read]);
      times_[write] = std::move(times_[read]);
    }
    ++write;
  }
  items_.resize(write);
  times_.resize(write);
  selection_ = -1;
  if (observer_) {
    observer_->afterReset();
    observer_->selectionChanged(-1);
  }
}

void AddressList::clear() {
  replaceAll({});
}

void AddressList::replaceAll(std::vector<std::string> items) {
  TypedAddresses contents{std::move(items), {}};
  contents.times.resize(contents.items.size());
  exchangeAll(std::move(contents));
}

TypedAddresses AddressList::exchangeAll(TypedAddresses contents) {
  contents.times.resize(contents.items.size());
  if (observer_) observer_->beforeReset();
  items_.swap(contents.items);
  times_.swap(contents.times);
  selection_ = -1;
  if (observer_) {
    observer_->afterReset();
    observer_->selectionChanged(-1);
  }
  return contents;
}

void AddressList::select(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) index = -1;
  selection_ = index;
  if (observer_) observer_->selectionChanged(index);
}

}  // namespace tavelin
