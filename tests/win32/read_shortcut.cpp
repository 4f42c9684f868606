// What a shortcut (.lnk) points at, as the shell reads it: one line each for its target, its
// working folder and its icon (file and index), in UTF-8. Exits with 1 when the file is not a
// shortcut the shell can load.
// usage: read-shortcut FILE.lnk
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read-shortcut FILE.lnk\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 1;
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(argv[1], STGM_READ))) {
    wchar_t target[MAX_PATH] = {};
    wchar_t folder[MAX_PATH] = {};
    wchar_t icon[MAX_PATH] = {};
    int index = 0;
    // The path as stored, without resolving it against the file system.
    if (link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) {
      link->GetWorkingDirectory(folder, MAX_PATH);
      link->GetIconLocation(icon, MAX_PATH, &index);
      std::printf("target %s\nfolder %s\nicon %s,%d\n", Utf8(target).c_str(), Utf8(folder).c_str(),
                  Utf8(icon).c_str(), index);
      status = 0;
    }
  }
  if (file != nullptr) file->Release();
  if (link != nullptr) link->Release();
  CoUninitialize();
  return status;
}
