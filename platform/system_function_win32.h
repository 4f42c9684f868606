// A function of a system library that the program needs only for some commands (the file
// dialogs, starting the browser): the library is loaded from the system folder the first time
// one of them runs, rather than with the program. Those libraries bring many others with
// them, which would otherwise slow every start and stay in memory unused.
#pragma once

#include <windows.h>

namespace tavelin::platform {

// The named function of the system library, or nullptr when either is missing. The library
// stays loaded once it has been.
template <class Function>
Function* SystemFunction(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  if (module == nullptr) module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace tavelin::platform
