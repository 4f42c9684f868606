// Writing a document out as a .reg file that regedit and Wine's `reg` import.
#pragma once

#include <optional>
#include <string>

#include "store/reg_file_document.h"

namespace tavelin {

struct RegWriteResult {
  std::optional<std::string> bytes;  // set on success
  std::string error;                 // why the document cannot be written in its format
};

// Lays the document out in its own header, encoding and line ends. A REGEDIT4 file cannot
// carry string data that is not whole UTF-16 text (an odd byte count or an unpaired
// surrogate); such a document is refused rather than altered.
RegWriteResult WriteRegFile(const RegFileDocument& document);

}  // namespace tavelin
