#include "list/undo_history.h"

#include <algorithm>

namespace tavelin {

void UndoHistory::push(Step step) {
  step.selectionAfter = -1;
  steps_.push_back(std::move(step));
  undone_.clear();  // a new change ends what could be redone
}

void UndoHistory::recordRemovals(const AddressList& list, int selectionBefore,
                                 std::vector<PlacedEntry> removed) {
  if (removed.empty()) return;
  Step step;
  step.kind = Kind::kRemovals;
  step.selectionBefore = selectionBefore;
  step.entries = std::move(removed);
  push(std::move(step));
  steps_.back().selectionAfter = list.selectionIndex();
}

void UndoHistory::recordInsertion(const AddressList& list, int selectionBefore, std::size_t at) {
  Step step;
  step.kind = Kind::kInsertion;
  step.selectionBefore = selectionBefore;
  step.a = at;
  push(std::move(step));
  steps_.back().selectionAfter = list.selectionIndex();
}

void UndoHistory::recordExchange(const AddressList& list, int selectionBefore, std::size_t a,
                                 std::size_t b) {
  Step step;
  step.kind = Kind::kExchange;
  step.selectionBefore = selectionBefore;
  step.a = a;
  step.b = b;
  push(std::move(step));
  steps_.back().selectionAfter = list.selectionIndex();
}

void UndoHistory::recordEdit(const AddressList& list, int selectionBefore, PlacedEntry before) {
  const std::size_t at = before.at;
  if (at >= list.count() || (list.item(at) == before.text && list.time(at) == before.time)) {
    return;  // nothing changed
  }
  Step step;
  step.kind = Kind::kEdit;
  step.selectionBefore = selectionBefore;
  step.a = at;
  step.entries.push_back(std::move(before));
  push(std::move(step));
  steps_.back().selectionAfter = list.selectionIndex();
}

void UndoHistory::recordReplacement(const AddressList& list, int selectionBefore,
                                    TypedAddresses before) {
  if (before.items == list.items() && before.times == list.times()) return;
  Step step;
  step.kind = Kind::kReplacement;
  step.selectionBefore = selectionBefore;
  step.otherList = std::move(before);
  push(std::move(step));
  steps_.back().selectionAfter = list.selectionIndex();
}

void UndoHistory::apply(Step& step, AddressList& list, bool backwards) {
  switch (step.kind) {
    case Kind::kRemovals:
      if (backwards) {
        if (step.entries.size() == 1) {
          list.insert(step.entries[0].at, step.entries[0].text, step.entries[0].time);
        } else {
          // Rebuilt in one pass, so that putting back many entries costs one list.
          TypedAddresses rebuilt;
          rebuilt.items.reserve(list.count() + step.entries.size());
          rebuilt.times.reserve(list.count() + step.entries.size());
          std::size_t next = 0;
          for (std::size_t kept = 0; kept < list.count() || next < step.entries.size();) {
            if (next < step.entries.size() &&
                (step.entries[next].at == rebuilt.items.size() || kept >= list.count())) {
              rebuilt.items.push_back(step.entries[next].text);
              rebuilt.times.push_back(step.entries[next++].time);
            } else {
              rebuilt.items.push_back(list.item(kept));
              rebuilt.times.push_back(list.time(kept++));
            }
          }
          list.exchangeAll(std::move(rebuilt));
        }
      } else {
        std::vector<std::size_t> places;
        places.reserve(step.entries.size());
        for (const PlacedEntry& entry : step.entries) places.push_back(entry.at);
        list.removeMany(places);
      }
      break;
    case Kind::kInsertion:
      if (backwards) {
        step.entries.assign(1, PlacedEntry{step.a, list.item(step.a), list.time(step.a)});
        list.remove(step.a);
      } else {
        list.insert(step.a, std::move(step.entries[0].text), std::move(step.entries[0].time));
        step.entries.clear();
      }
      break;
    case Kind::kExchange:
      list.exchange(step.a, step.b);
      break;
    case Kind::kEdit: {
      PlacedEntry current{step.a, list.item(step.a), list.time(step.a)};
      list.setItem(step.a, std::move(step.entries[0].text), std::move(step.entries[0].time));
      step.entries[0] = std::move(current);
      break;
    }
    case Kind::kReplacement:
      step.otherList = list.exchangeAll(std::move(step.otherList));
      break;
  }
  list.select(backwards ? step.selectionBefore : step.selectionAfter);
}

bool UndoHistory::undo(AddressList& list) {
  if (steps_.empty()) return false;
  Step step = std::move(steps_.back());
  steps_.pop_back();
  apply(step, list, true);
  undone_.push_back(std::move(step));
  return true;
}

bool UndoHistory::redo(AddressList& list) {
  if (undone_.empty()) return false;
  Step step = std::move(undone_.back());
  undone_.pop_back();
  apply(step, list, false);
  steps_.push_back(std::move(step));
  return true;
}

std::size_t UndoHistory::keptBytes() const {
  std::size_t bytes = 0;
  for (const std::vector<Step>* side : {&steps_, &undone_}) {
    for (const Step& step : *side) {
      for (const PlacedEntry& entry : step.entries) bytes += entry.text.size();
      for (const std::string& text : step.otherList.items) bytes += text.size();
    }
  }
  return bytes;
}

}  // namespace tavelin
