// The program's text (WTF-8, see wtf8.h) in the forms the system takes: paths everywhere, and
// UTF-16 wide strings on Windows. One implementation per platform (wide_text_posix.cpp,
// wide_text_win32.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tavelin::platform {

// A path from the program's text: the bytes as they are on POSIX systems, which name files
// by bytes; converted from WTF-8 on Windows, which names them in UTF-16.
std::filesystem::path PathFromText(std::string_view text);

// A path as the program's text, for messages and for comparing names. The inverse of
// PathFromText, lossless on both (an unpaired surrogate in a Windows name survives).
std::string PathText(const std::filesystem::path& path);

#ifdef _WIN32
// WTF-8 to the UTF-16 of the Windows API, and back.
std::wstring ToWide(std::string_view text);
std::string FromWide(std::wstring_view text);
#endif

}  // namespace tavelin::platform
