// A name that stands for one store in a folder of the program's own (its backups, its lock
// where the store's folder cannot be locked), made from what identifies the store: the real
// path of its file.
#pragma once

#include <string>
#include <string_view>

namespace tavelin {

// The name of one store's folder below the root, made from what identifies the store (the
// real path of its file): every character that cannot stand in a file name becomes "_".
std::string StoreFolderName(std::string_view identity);
// The same, kept to a length any file system takes, followed by "-" and a hash of the whole
// identity, so that two stores whose readable names agree (/a/b/t.reg and /a_b/t.reg) never
// share a folder.
std::string UniqueStoreFolderName(std::string_view identity);

}  // namespace tavelin
