#include "store/address_list.h"

#include <utility>

namespace tavelin {

void AddressList::setItem(std::size_t index, std::string text) {
  if (index >= items_.size()) return;
  items_[index] = std::move(text);
  if (observer_) observer_->itemsChanged(index, index);
}

void AddressList::append(std::string text) {
  const std::size_t at = items_.size();
  if (observer_) observer_->beforeInsert(at, at);
  items_.push_back(std::move(text));
  if (observer_) observer_->afterInsert();
}

void AddressList::insert(std::size_t index, std::string text) {
  if (index > items_.size()) index = items_.size();
  if (observer_) observer_->beforeInsert(index, index);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(text));
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
    if (write != read) items_[write] = std::move(items_[read]);
    ++write;
  }
  items_.resize(write);
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
  exchangeAll(std::move(items));
}

std::vector<std::string> AddressList::exchangeAll(std::vector<std::string> items) {
  if (observer_) observer_->beforeReset();
  items_.swap(items);
  selection_ = -1;
  if (observer_) {
    observer_->afterReset();
    observer_->selectionChanged(-1);
  }
  return items;
}

void AddressList::select(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) index = -1;
  selection_ = index;
  if (observer_) observer_->selectionChanged(index);
}

}  // namespace tavelin
