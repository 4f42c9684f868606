#include "store/backup.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <utility>

#include "platform/atomic_replace.h"
#include "platform/file_lock.h"
#include "platform/wide_text.h"
#include "platform/wtf8.h"
#include "store/reg_file_writer.h"

namespace tavelin {

namespace fs = std::filesystem;
using platform::PathText;

namespace {

// Copies the key and everything below it, as the backend reads it now, into the document.
void CopyTree(RegistryBackend& backend, std::string_view keyPath, RegFileDocument& document) {
  RegFileKey* section = document.appendSection(backend.exportPath(kCurrentUser, keyPath));
  if (section == nullptr) return;
  for (const std::string& name : backend.valueNames(kCurrentUser, keyPath)) {
    if (std::optional<RegValue> value = backend.queryValue(kCurrentUser, keyPath, name)) {
      section->set(name, std::move(*value));
    }
  }
  for (const std::string& subkey : backend.subkeyNames(kCurrentUser, keyPath)) {
    CopyTree(backend, std::string(keyPath) + "\\" + subkey, document);
  }
}

std::optional<std::string> Written(const RegFileDocument& document, std::string& error) {
  RegWriteResult written = WriteRegFile(document);
  if (!written.bytes) error = written.error;
  return std::move(written.bytes);
}

struct BackupName {
  std::string stamp;  // the time part
  int counter = 0;    // 0 for the first of its millisecond
  fs::path path;
};

// "YYYY-MM-DDTHH-MM-SS.mmmZ" followed by nothing or "-N", then ".reg".
std::optional<BackupName> ParseBackupName(const fs::path& path) {
  const std::string name = path.filename().string();
  constexpr std::size_t kStampLength = 24;
  if (name.size() < kStampLength + 4 || name.compare(name.size() - 4, 4, ".reg") != 0 ||
      name[kStampLength - 1] != 'Z' || name[10] != 'T') {
    return std::nullopt;
  }
  BackupName parsed{name.substr(0, kStampLength), 0, path};
  const std::string rest = name.substr(kStampLength, name.size() - kStampLength - 4);
  if (!rest.empty()) {
    if (rest.size() < 2 || rest[0] != '-' ||
        !std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    parsed.counter = std::stoi(rest.substr(1));
  }
  return parsed;
}

std::string UtcStamp() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d-%02d-%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

}  // namespace

std::optional<std::string> BackupFileBytes(RegistryBackend& backend,
                                           std::span<const BackupKey> keys, std::string& error) {
  Transaction transaction(backend);
  // The header as the writer lays it out, then for each key its deletion and its sections.
  RegFileDocument empty;
  const std::optional<std::string> header = Written(empty, error);
  if (!header) return std::nullopt;
  std::string bytes = *header;
  for (const BackupKey& key : keys) {
    const bool exists = backend.keyExists(kCurrentUser, key.path);
    if (!exists && !key.deletedWhenMissing) continue;
    const std::u16string deletion =
        Wtf8ToUtf16("[-" + backend.exportPath(kCurrentUser, key.path) + "]\r\n\r\n");
    bytes += TextToUtf16LeBytes(deletion);
    if (!exists) continue;
    RegFileDocument document;
    CopyTree(backend, key.path, document);
    const std::optional<std::string> sections = Written(document, error);
    if (!sections) return std::nullopt;
    bytes.append(*sections, header->size(), std::string::npos);
  }
  return bytes;
}

fs::path BackupRoot(const char* xdgStateHome, const char* home) {
  const auto set = [](const char* v) { return v != nullptr && *v != '\0'; };
  const fs::path leaf = fs::path("tavelin") / "backups";
  if (set(xdgStateHome) && fs::path(xdgStateHome).is_absolute()) return xdgStateHome / leaf;
  if (set(home)) return fs::path(home) / ".local" / "state" / leaf;
  return {};
}

BackupFolder::BackupFolder(fs::path folder, std::size_t keep)
    : folder_(std::move(folder)), keep_(keep) {}

std::vector<fs::path> BackupFolder::list() const {
  std::vector<BackupName> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder_, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    if (std::optional<BackupName> name = ParseBackupName(it->path())) found.push_back(*name);
  }
  std::sort(found.begin(), found.end(), [](const BackupName& a, const BackupName& b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.counter < b.counter;
  });
  std::vector<fs::path> paths;
  for (const BackupName& name : found) paths.push_back(name.path);
  return paths;
}

void BackupFolder::RemoveLeftovers() const {
  platform::RemoveLeftoverTemporaries(folder_, [&](const fs::path& target) {
    return ParseBackupName(folder_ / target).has_value();
  });
}

std::optional<fs::path> BackupFolder::write(std::string_view bytes, std::string& error) {
  if (folder_.empty()) {
    error =
        "there is no place for backups: neither XDG_STATE_HOME (an absolute path) nor HOME is set";
    return std::nullopt;
  }
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec || !fs::is_directory(folder_, ec)) {
    error = "the folder " + PathText(folder_) + " cannot be made (" +
            (ec ? ec.message() : "not a folder") + ")";
    return std::nullopt;
  }
  // Writers of one store's backups take turns, so that a temporary found now was left by a
  // writer that was killed, and goes.
  std::unique_ptr<platform::FileLock> lock;
  std::string lockError;
  if (platform::AcquireFileLock(folder_ / "backups.lock", std::chrono::seconds(5), lock,
                                lockError) != platform::LockStatus::kLocked) {
    error = "the folder " + PathText(folder_) + " cannot be locked (" + lockError + ")";
    return std::nullopt;
  }
  RemoveLeftovers();
  const std::string stamp = UtcStamp();
  fs::path target;
  for (int counter = 0;; ++counter) {
    target = folder_ /
             (stamp + (counter == 0 ? std::string() : "-" + std::to_string(counter + 1)) + ".reg");
    if (!fs::exists(fs::symlink_status(target, ec))) break;
  }
  if (!platform::ReplaceFileAtomically(target, bytes, platform::NewFileAccess::kOwnerOnly, error)) {
    error = "the backup " + PathText(target) + " cannot be written (" + error + ")";
    return std::nullopt;
  }
  std::vector<fs::path> all = list();
  for (std::size_t i = 0; i + keep_ < all.size(); ++i) fs::remove(all[i], ec);
  return target;
}

}  // namespace tavelin
