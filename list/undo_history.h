// Every change of the list, kept for the rest of the run so that it can be undone and redone.
// A step keeps only what changed: a delete one entry and its place, a move two places; only a
// change that replaces the whole list (an import, "Delete all addresses", a reload) keeps a
// whole list, and then only the side that is not on screen.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "list/address_list.h"

namespace tavelin {

class UndoHistory {
 public:
  // Recorders: each is called after the change was made to the list. `selectionBefore` is the
  // selection the change started from; the selection after is taken from the list.
  void recordRemovals(const AddressList& list, int selectionBefore,
                      std::vector<PlacedEntry> removed);
  void recordInsertion(const AddressList& list, int selectionBefore, std::size_t at);
  void recordExchange(const AddressList& list, int selectionBefore, std::size_t a, std::size_t b);
  void recordEdit(const AddressList& list, int selectionBefore, PlacedEntry before);
  // The list was replaced as a whole; `before` is what it held. Nothing is kept when the
  // list came out the same.
  void recordReplacement(const AddressList& list, int selectionBefore, TypedAddresses before);

  bool canUndo() const { return !steps_.empty(); }
  bool canRedo() const { return !undone_.empty(); }
  // Each turns the list back (or forward) by one step and restores that side's selection.
  // False when there is nothing to undo or redo.
  bool undo(AddressList& list);
  bool redo(AddressList& list);

  std::size_t undoCount() const { return steps_.size(); }
  std::size_t redoCount() const { return undone_.size(); }
  // The entries' bytes the history keeps, to see what a step costs.
  std::size_t keptBytes() const;

 private:
  enum class Kind { kRemovals, kInsertion, kExchange, kEdit, kReplacement };
  struct Step {
    Kind kind = Kind::kRemovals;
    int selectionBefore = -1;
    int selectionAfter = -1;
    // kRemovals: the removed entries at their places (ascending); kInsertion: the inserted
    // entry at its place, kept only while the step is undone; kEdit: the text on the other
    // side; kReplacement: the whole list on the other side.
    std::vector<PlacedEntry> entries;
    TypedAddresses otherList;
    std::size_t a = 0;
    std::size_t b = 0;
  };

  void push(Step step);
  // Applies the step backwards (undo) or forwards (redo), changing the step so that it can
  // be applied the other way next.
  static void apply(Step& step, AddressList& list, bool backwards);

  std::vector<Step> steps_;   // done, oldest first
  std::vector<Step> undone_;  // undone, most recently undone last
};

}  // namespace tavelin
