#include "store/registry_win32.h"

#include <windows.h>

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace tavelin {

namespace {

// Predefined roots are the handle values 0x80000000 to 0x80000007; anything else passed as a
// root could be some unrelated open handle of this process, so it is refused.
constexpr RootKey kFirstPredefinedRoot = 0x80000000u;
constexpr RootKey kLastPredefinedRoot = 0x80000007u;

// The registry numbers its roots as 32-bit values that the headers sign-extend into handles
// (HKEY_CURRENT_USER is (HKEY)(ULONG_PTR)(LONG)0x80000001), so the same is done here.
HKEY ToHkey(RootKey root) {
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<std::int32_t>(root)));
}

bool IsPredefinedRoot(RootKey root) {
  return root >= kFirstPredefinedRoot && root <= kLastPredefinedRoot;
}

std::string RootName(RootKey root) {
  switch (root) {
    case 0x80000000u:
      return "HKEY_CLASSES_ROOT";
    case 0x80000001u:
      return "HKEY_CURRENT_USER";
    case 0x80000002u:
      return "HKEY_LOCAL_MACHINE";
    case 0x80000003u:
      return "HKEY_USERS";
    case 0x80000005u:
      return "HKEY_CURRENT_CONFIG";
    default:
      return "root key " + std::to_string(root);
  }
}

using platform::ToWide;

// The system's own words for an error code, e.g. "Access is denied (error 5)".
std::string ErrorText(LSTATUS code) {
  return platform::SystemErrorText(static_cast<platform::SystemErrorCode>(code));
}

bool IsMissing(LSTATUS code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// A key handle that lives for one call and is closed on every way out of it.
class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (handle_ != nullptr) RegCloseKey(handle_);
  }
  HKEY* out() { return &handle_; }
  // After a failed open, which may leave anything in the handle.
  void reset() { handle_ = nullptr; }
  HKEY get() const { return handle_; }

 private:
  HKEY handle_ = nullptr;
};

// The access the registry routines ask for when they open or create a key: READ_CONTROL with
// query, set, create sub-key, enumerate, notify and create link.
constexpr REGSAM kRoutineAccess = 0x2003F;

// What a value read asks for first: an address and its terminator, usually.
constexpr DWORD kFirstReadBytes = 1024;

// Reads one value of an open key whole. Most values fit a small buffer and are read in one
// call; a larger one says its size and is read again at that size (again, if it grew in
// between).
LSTATUS ReadValue(HKEY key, const std::wstring& name, RegValue& value) {
  DWORD type = 0;
  std::vector<std::uint8_t> data(kFirstReadBytes);
  DWORD size = kFirstReadBytes;
  LSTATUS rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
  auto again = [&] { return rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && size > data.size()); };
  for (int attempt = 0; attempt < 16 && again(); ++attempt) {
    data.resize(size);
    DWORD got = size;
    rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(),
                          &got);
    size = rc == ERROR_MORE_DATA && got <= size ? size * 2 + 2 : got;
  }
  if (rc != ERROR_SUCCESS) return rc;
  if (size > data.size()) return ERROR_MORE_DATA;
  data.resize(size);
  value = RegValue{type, std::move(data)};
  return ERROR_SUCCESS;
}

// Opens the existing key for the routines' reads; on failure `key` holds nothing.
LSTATUS OpenExistingKey(RootKey root, const std::string& path, OpenKey& key) {
  if (!IsPredefinedRoot(root)) return ERROR_INVALID_HANDLE;
  const LSTATUS rc =
      RegOpenKeyExW(ToHkey(root), ToWide(path).c_str(), 0, kRoutineAccess, key.out());
  if (rc != ERROR_SUCCESS) key.reset();
  return rc;
}

}  // namespace

Win32Registry::Win32Registry(std::string keyPrefix) : prefix_(std::move(keyPrefix)) {
  while (!prefix_.empty() && prefix_.back() == '\\') prefix_.pop_back();
}

std::string Win32Registry::fullKeyPath(std::string_view keyPath) const {
  while (!keyPath.empty() && keyPath.front() == '\\') keyPath.remove_prefix(1);
  if (prefix_.empty()) return std::string(keyPath);
  if (keyPath.empty()) return prefix_;
  return prefix_ + "\\" + std::string(keyPath);
}

std::string Win32Registry::description() const {
  if (prefix_.empty()) return "the Windows registry";
  return "the Windows registry (under " + prefix_ + ")";
}

std::optional<RegValue> Win32Registry::queryValue(RootKey root, std::string_view keyPath,
                                                  std::string_view name) {
  const std::string path = fullKeyPath(keyPath);
  const auto fail = [&](LSTATUS code) -> std::optional<RegValue> {
    if (!IsMissing(code)) {
      reportReadFailure("Could not read the value \"" + std::string(name) + "\" under " +
                        RootName(root) + "\\" + path + ": " + ErrorText(code) + ".");
    }
    return std::nullopt;
  };
  OpenKey key;
  LSTATUS rc = OpenExistingKey(root, path, key);
  if (rc != ERROR_SUCCESS) return fail(rc);
  RegValue value;
  rc = ReadValue(key.get(), ToWide(name), value);
  if (rc == ERROR_SUCCESS) return value;
  return fail(rc);
}

bool Win32Registry::setValue(RootKey root, std::string_view keyPath, std::string_view name,
                             const RegValue& value) {
  if (!admitWrite()) return false;
  const std::string path = fullKeyPath(keyPath);
  const auto fail = [&](LSTATUS code) {
    reportWriteFailure("Could not store the value \"" + std::string(name) + "\" under " +
                       RootName(root) + "\\" + path + ": " + ErrorText(code) + ".");
    return false;
  };
  if (!IsPredefinedRoot(root)) return fail(ERROR_INVALID_HANDLE);
  if (value.data.size() > std::numeric_limits<DWORD>::max()) return fail(ERROR_INVALID_PARAMETER);
  // One key handle for the whole call: an existing key is opened, and what it holds already
  // is not written again (a start-up on a compact store changes nothing).
  const std::wstring wideName = ToWide(name);
  OpenKey key;
  LSTATUS rc = RegOpenKeyExW(ToHkey(root), ToWide(path).c_str(), 0, kRoutineAccess, key.out());
  if (rc == ERROR_SUCCESS) {
    if (RegValue stored;
        ReadValue(key.get(), wideName, stored) == ERROR_SUCCESS && stored == value) {
      return true;
    }
  } else if (IsMissing(rc)) {
    key.reset();
  } else {
    key.reset();
    return fail(rc);
  }
  // The backup is taken while the store still reads as it was, before even a key is made.
  snapshotForBackup();
  if (!writePendingBackup()) return false;
  if (key.get() == nullptr) {
    // Class "1", non-volatile, and a handle that child processes could inherit: the key is
    // created the way the program has always created it.
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(security);
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    wchar_t keyClass[] = L"1";
    DWORD disposition = 0;
    rc = RegCreateKeyExW(ToHkey(root), ToWide(path).c_str(), 0, keyClass, REG_OPTION_NON_VOLATILE,
                         kRoutineAccess, &security, key.out(), &disposition);
    if (rc != ERROR_SUCCESS) return fail(rc);
  }
  rc = RegSetValueExW(key.get(), wideName.c_str(), 0, value.type,
                      value.data.empty() ? nullptr : value.data.data(),
                      static_cast<DWORD>(value.data.size()));
  if (rc != ERROR_SUCCESS) return fail(rc);
  return true;
}

bool Win32Registry::deleteValue(RootKey root, std::string_view keyPath, std::string_view name) {
  if (!admitWrite()) return false;
  const std::string path = fullKeyPath(keyPath);
  const auto fail = [&](LSTATUS code) {
    reportWriteFailure("Could not delete the value \"" + std::string(name) + "\" under " +
                       RootName(root) + "\\" + path + ": " + ErrorText(code) + ".");
    return false;
  };
  if (!IsPredefinedRoot(root)) return fail(ERROR_INVALID_HANDLE);

  // One key handle for the whole call: under an existing key a value that is not there is
  // no write.
  const std::wstring wideName = ToWide(name);
  OpenKey key;
  LSTATUS rc = RegOpenKeyExW(ToHkey(root), ToWide(path).c_str(), 0, kRoutineAccess, key.out());
  if (rc == ERROR_SUCCESS) {
    rc = RegQueryValueExW(key.get(), wideName.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (IsMissing(rc)) return true;
  } else if (IsMissing(rc)) {
    key.reset();
  } else {
    key.reset();
    return fail(rc);
  }
  snapshotForBackup();
  if (!writePendingBackup()) return false;
  // Creating rather than opening: a delete under a missing key leaves the key behind, empty.
  if (key.get() == nullptr) {
    rc = RegCreateKeyW(ToHkey(root), ToWide(path).c_str(), key.out());
    if (rc != ERROR_SUCCESS) return fail(rc);
  }
  rc = RegDeleteValueW(key.get(), wideName.c_str());
  if (rc != ERROR_SUCCESS && !IsMissing(rc)) return fail(rc);
  return true;
}

bool Win32Registry::keyExists(RootKey root, std::string_view keyPath) {
  if (!IsPredefinedRoot(root)) return false;
  OpenKey key;
  if (RegOpenKeyExW(ToHkey(root), ToWide(fullKeyPath(keyPath)).c_str(), 0, KEY_READ, key.out()) ==
      ERROR_SUCCESS) {
    return true;
  }
  key.reset();
  return false;
}

namespace {

// Lists a key's value names (values true) or subkey names, in the registry's own order.
std::vector<std::string> EnumerateNames(HKEY root, const std::wstring& path, bool values) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  DWORD longest = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, values ? nullptr : &longest, nullptr,
                   nullptr, values ? &longest : nullptr, nullptr, nullptr, nullptr);
  std::vector<wchar_t> buffer(longest + 2);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LSTATUS rc =
        values
            ? RegEnumValueW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
            : RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2);
      --index;
      continue;
    }
    if (rc != ERROR_SUCCESS) break;
    names.push_back(platform::FromWide(std::wstring_view(buffer.data(), length)));
  }
  RegCloseKey(key);
  return names;
}

}  // namespace

std::vector<std::string> Win32Registry::valueNames(RootKey root, std::string_view keyPath) {
  if (!IsPredefinedRoot(root)) return {};
  return EnumerateNames(ToHkey(root), ToWide(fullKeyPath(keyPath)), true);
}

std::vector<std::pair<std::string, RegValue>> Win32Registry::keyValues(RootKey root,
                                                                       std::string_view keyPath) {
  std::vector<std::pair<std::string, RegValue>> values;
  const std::string path = fullKeyPath(keyPath);
  const auto fail = [&](LSTATUS code) {
    if (!IsMissing(code)) {
      reportReadFailure("Could not read the values under " + RootName(root) + "\\" + path + ": " +
                        ErrorText(code) + ".");
    }
    values.clear();
    return values;
  };
  OpenKey key;
  LSTATUS rc = OpenExistingKey(root, path, key);
  if (rc != ERROR_SUCCESS) return fail(rc);
  // Each value's name and data in one call, with room for the longest of each.
  DWORD longestName = 0;
  DWORD longestData = 0;
  rc = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        &longestName, &longestData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return fail(rc);
  std::vector<wchar_t> name(longestName + 2);
  std::vector<std::uint8_t> data(longestData + 2);
  for (DWORD index = 0;;) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    rc = RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, data.data(),
                       &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      // Grown since it was asked: room for more, and the same value again.
      if (name.size() > (1u << 16) || data.size() > (1u << 30)) return fail(rc);
      name.resize(name.size() * 2);
      data.resize(std::max<std::size_t>(data.size() * 2, size));
      continue;
    }
    if (rc != ERROR_SUCCESS) return fail(rc);
    values.emplace_back(platform::FromWide(std::wstring_view(name.data(), nameLength)),
                        RegValue{type, {data.begin(), data.begin() + size}});
    ++index;
  }
  return values;
}

std::vector<std::string> Win32Registry::subkeyNames(RootKey root, std::string_view keyPath) {
  if (!IsPredefinedRoot(root)) return {};
  return EnumerateNames(ToHkey(root), ToWide(fullKeyPath(keyPath)), false);
}

std::string Win32Registry::exportPath(RootKey root, std::string_view keyPath) const {
  const std::string path = fullKeyPath(keyPath);
  return path.empty() ? RootName(root) : RootName(root) + "\\" + path;
}

}  // namespace tavelin
