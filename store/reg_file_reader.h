// Reading a .reg file, as regedit and Wine's `reg` export it, into a document.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "store/reg_file_document.h"

namespace tavelin {

struct RegParseError {
  std::size_t line = 0;    // from 1
  std::size_t column = 0;  // from 1, in characters
  std::string message;
};

struct RegParseResult {
  std::optional<RegFileDocument> document;  // set on success
  RegParseError error;                      // meaningful when document is empty
};

// Reads a whole file. Deletions in it (`[-key]`, `"name"=-`) are applied as they come.
// An empty file reads as an empty version 5 document.
RegParseResult ParseRegFile(std::string_view bytes);

}  // namespace tavelin
