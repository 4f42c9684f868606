#include "store/registry_offline_hive.h"

#include <dirent.h>
#include <fcntl.h>
#include <hivex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <system_error>

#include "platform/atomic_replace.h"
#include "platform/file_lock.h"
#include "platform/os_handle_posix.h"
#include "platform/read_file.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"
#include "store/backup.h"
#include "store/hive_cells.h"
#include "store/hive_recovery.h"
#include "store/registry_names.h"
#include "store/store_lock.h"

namespace tavelin {

namespace fs = std::filesystem;

namespace {

using platform::PathText;

// The base block that opens every hive, and the fields of it read here.
constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kSmallestHive = 0x2000;  // the base block and one bin
constexpr std::size_t kBinsSizeAt = 0x28;

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};
using HiveHandle = std::unique_ptr<hive_h, HiveCloser>;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

std::string ErrnoText(int error) {
  return platform::SystemErrorText(static_cast<platform::SystemErrorCode>(error));
}

// What the header says before hivex sees the file: hivex trusts the sizes it finds there.
struct HeaderCheck {
  std::string unreadable;  // why the file cannot be read as a hive at all
  bool dirty = false;      // Windows has not finished writing it: its logs are needed
  std::string header;      // the base block, or as much of it as the file holds
};

// Why a hive of `size` bytes that begins with this base block cannot be read; empty when it
// can.
std::string WhyCutShort(std::string_view header, std::uint64_t size) {
  if (size < kSmallestHive) {
    return "it is cut short: a hive has at least " + std::to_string(kSmallestHive) +
           " bytes, this file " + std::to_string(size);
  }
  const std::uint64_t expected =
      kBaseBlockSize + std::uint64_t{LittleEndian32(
                           reinterpret_cast<const std::uint8_t*>(header.data()) + kBinsSizeAt)};
  if (expected > size) {
    return "it is cut short: its header gives " + std::to_string(expected) +
           " bytes, the file has " + std::to_string(size);
  }
  return {};
}

// The format's minor version (1.x) that the base block gives; one too short to say is taken
// for the newest, whose rules are the strictest.
std::uint32_t HeaderMinorVersion(std::string_view header) {
  constexpr std::size_t kMinorVersionAt = 0x18;
  if (header.size() < kMinorVersionAt + 4) return UINT32_MAX;
  return LittleEndian32(reinterpret_cast<const std::uint8_t*>(header.data()) + kMinorVersionAt);
}

HeaderCheck CheckHeader(int fd) {
  HeaderCheck check;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    check.unreadable = ErrnoText(errno);
    return check;
  }
  if (!S_ISREG(info.st_mode)) {
    check.unreadable = "it is not a regular file";
    return check;
  }
  const auto size = static_cast<std::uint64_t>(info.st_size);
  char header[kBaseBlockSize];
  std::size_t got = 0;
  while (got < sizeof header) {
    const ssize_t n = ::pread(fd, header + got, sizeof header - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      check.unreadable = ErrnoText(errno);
      return check;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < 4 || std::memcmp(header, "regf", 4) != 0) {
    check.unreadable = "it is not a Windows registry hive";
    return check;
  }
  check.header.assign(header, got);
  check.dirty = IsHiveDirty(check.header);
  // A dirty hive's sizes are judged on the hive as its logs leave it.
  if (!check.dirty) check.unreadable = WhyCutShort(check.header, size);
  return check;
}

// Why a dirty hive cannot be brought up to date, as a clause of the messages.
std::string NotRecoverable(const std::string& why) {
  return "Windows has not finished writing changes into it, and they cannot be taken from its "
         "transaction logs: " +
         why;
}

// The hive's transaction logs: the files beside it named like it with .LOG1, .LOG2 or .LOG
// added, the names compared without regard to case, in the order Windows tries them, as the
// folder spells them; `error` says why the folder could not be searched or which two names
// stand for one log.
std::vector<std::string> HiveLogNames(const fs::path& hive, std::string& error) {
  const fs::path folder = hive.has_parent_path() ? hive.parent_path() : fs::path(".");
  const std::string name = hive.filename().string();
  const std::string wanted[] = {FoldRegistryName(name + ".LOG1"), FoldRegistryName(name + ".LOG2"),
                                FoldRegistryName(name + ".LOG")};
  std::vector<std::string> found[std::size(wanted)];
  DIR* listing = ::opendir(folder.c_str());
  if (!listing) {
    error = "its folder cannot be searched for them (" + ErrnoText(errno) + ")";
    return {};
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view entryName = entry->d_name;
    const std::string folded = FoldRegistryName(entryName);
    for (std::size_t i = 0; i < std::size(wanted); ++i) {
      if (folded == wanted[i]) found[i].emplace_back(entryName);
    }
  }
  ::closedir(listing);
  std::vector<std::string> names;
  for (const std::vector<std::string>& same : found) {
    if (same.size() > 1) {
      error = "two files beside it are named like one log: " + same[0] + " and " + same[1];
      return {};
    }
    names.insert(names.end(), same.begin(), same.end());
  }
  return names;
}

// Each log read whole, or saying why it cannot be.
std::vector<HiveLogFile> ReadHiveLogs(const fs::path& hive, std::string& error) {
  const fs::path folder = hive.has_parent_path() ? hive.parent_path() : fs::path(".");
  const std::vector<std::string> names = HiveLogNames(hive, error);
  if (!error.empty()) return {};
  std::vector<HiveLogFile> logs;
  for (const std::string& logName : names) {
    HiveLogFile log;
    log.name = logName;
    platform::FileRead read = platform::ReadWholeFile(folder / logName);
    switch (read.status) {
      case platform::FileRead::Status::kRead:
        log.bytes = std::move(read.bytes);
        break;
      case platform::FileRead::Status::kMissing:
        continue;  // gone since the folder was listed
      case platform::FileRead::Status::kNotRegularFile:
        log.unreadable = "it is not a regular file";
        break;
      case platform::FileRead::Status::kFailed:
        log.unreadable = read.error;
        break;
    }
    logs.push_back(std::move(log));
  }
  return logs;
}

// A file in memory that nobody else can reach and that is gone once its descriptor closes,
// holding these bytes: hivex opens a hive by name, and /proc/self/fd/N names this one.
platform::OsHandle MemoryFile(std::string_view bytes, std::string& error) {
  platform::OsHandle fd(::memfd_create("tavelin-recovered-hive", MFD_CLOEXEC));
  if (!fd.valid()) {
    error = ErrnoText(errno);
    return fd;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = ErrnoText(n < 0 ? errno : ENOSPC);
      return platform::OsHandle();
    }
    done += static_cast<std::size_t>(n);
  }
  return fd;
}

// The stored type, which may be any number: hivex's enum cannot hold every one of them.
std::uint32_t TypeNumber(const hive_type& type) {
  std::uint32_t number = 0;
  static_assert(sizeof(hive_type) == sizeof number);
  std::memcpy(&number, &type, sizeof number);
  return number;
}

void SetTypeNumber(hive_type& type, std::uint32_t number) {
  std::memcpy(&type, &number, sizeof number);
}

std::string NodeName(hive_h* hive, hive_node_h node) {
  Malloced<char> name(hivex_node_name(hive, node));
  if (!name) return {};
  return std::string(name.get(), hivex_node_name_len(hive, node));
}

// The direct subkey whose name folds to `folded`; 0 when there is none.
hive_node_h FindChild(hive_h* hive, hive_node_h parent, const std::string& folded) {
  Malloced<hive_node_h> children(hivex_node_children(hive, parent));
  for (std::size_t i = 0; children && children.get()[i] != 0; ++i) {
    if (FoldRegistryName(NodeName(hive, children.get()[i])) == folded) return children.get()[i];
  }
  return 0;
}

struct StoredValue {
  std::string name;  // as stored, a NUL in it included
  RegValue value;
};

// One value as the hive holds it; nothing when hivex cannot read its name or its data.
std::optional<StoredValue> ReadStoredValue(hive_h* hive, hive_value_h handle) {
  Malloced<char> name(hivex_value_key(hive, handle));
  hive_type type{};
  std::size_t length = 0;
  Malloced<char> data(hivex_value_value(hive, handle, &type, &length));
  if (!name || !data) return std::nullopt;
  StoredValue value;
  value.name.assign(name.get(), hivex_value_key_len(hive, handle));
  value.value.type = TypeNumber(type);
  value.value.data.assign(data.get(), data.get() + length);
  return value;
}

// hivex's handle on the hive of that name. hivex keeps the whole hive in memory with writes
// enabled, and writes it out only on commit: a transaction that fails leaves nothing behind.
HiveHandle OpenForWriting(const std::string& name, std::string& why) {
  errno = 0;
  HiveHandle hive(hivex_open(name.c_str(), HIVEX_OPEN_WRITE));
  if (!hive) why = errno != 0 ? ErrnoText(errno) : std::string("no reason given");
  return hive;
}

// A dirty hive brought up to date from its logs and opened by hivex; nothing, with `why` set,
// when it cannot be.
HiveHandle OpenRecovered(const fs::path& hive, std::string primary, std::string& why) {
  std::string error;
  platform::OsHandle file;
  {
    const std::vector<HiveLogFile> logs = ReadHiveLogs(hive, error);
    if (!error.empty()) {
      why = error;
      return nullptr;
    }
    const HiveRecovery recovery = RecoverHive(std::move(primary), logs);
    if (recovery.outcome != HiveRecovery::Outcome::kRecovered) {
      why = recovery.why;
      return nullptr;
    }
    file = MemoryFile(recovery.image, error);
  }  // the image and the logs are let go before hivex reads its own copy
  if (!file.valid()) {
    why = "the recovered hive cannot be kept in memory (" + error + ")";
    return nullptr;
  }
  HiveHandle opened = OpenForWriting("/proc/self/fd/" + std::to_string(file.get()), error);
  if (!opened) why = "hivex cannot open the hive as its logs leave it (" + error + ")";
  return opened;
}

}  // namespace

// One key this transaction has looked at, with its values as they are meant to be stored.
struct OfflineHiveRegistry::Key {
  using Value = StoredValue;
  hive_node_h node = 0;
  std::string path;  // as first named, for messages and the check after the commit
  std::vector<Value> values;
  bool changed = false;
  // Why the value list cannot be handed back to hivex unchanged, when it cannot: a name it
  // cannot take back (one holding a NUL) or a value it could not read.
  std::string unwritable;

  Value* find(std::string_view name) {
    const std::string folded = FoldRegistryName(name);
    for (Value& value : values) {
      if (FoldRegistryName(value.name) == folded) return &value;
    }
    return nullptr;
  }
};

struct OfflineHiveRegistry::Session {
  HiveHandle hive;
  std::unique_ptr<platform::FileLock> lock;
  fs::path realPath;
  std::string unwritable;  // why this transaction must not write, when it must not
  std::map<std::string, hive_node_h> nodes;  // folded path -> key
  std::map<hive_node_h, Key> keys;
  bool dirty = false;              // a key was made or a value list changed
  std::uint32_t minorVersion = 0;  // of the format, as the header gives it
};

OfflineHiveRegistry::OfflineHiveRegistry(fs::path path, std::chrono::milliseconds lockTimeout)
    : path_(std::move(path)), lockTimeout_(lockTimeout) {}

OfflineHiveRegistry::~OfflineHiveRegistry() = default;

std::string OfflineHiveRegistry::description() const {
  return PathText(path_);
}

void OfflineHiveRegistry::onBegin(LoadKind /*kind*/) {
  session_.reset();
  unrecovered_.clear();
  auto session = std::make_unique<Session>();
  const auto readFailed = [&](const std::string& why) {
    reportReadFailure("The registry hive " + description() + " could not be read: " + why + ".");
  };
  session->realPath = platform::FollowLinks(path_);

  std::string error;
  if (readOnly()) {
    // Nothing is made beside it, not even the lock: it is only read.
    session->unwritable = std::string(kOpenedReadOnly);
  } else {
    switch (LockStore(session->realPath, lockTimeout_, session->lock, error)) {
      case platform::LockStatus::kLocked:
        platform::RemoveLeftoverTemporaries(session->realPath);
        break;
      case platform::LockStatus::kTimedOut:
        return readFailed(error);
      case platform::LockStatus::kFailed:
        // Reading needs no lock (the hive is only ever replaced whole); writing does.
        session->unwritable =
            "it cannot be locked against a second copy of the program (" + error + ")";
        break;
    }
  }

  platform::OsHandle fd(::open(session->realPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return readFailed(ErrnoText(errno));
  const HeaderCheck header = CheckHeader(fd.get());
  if (!header.unreadable.empty()) return readFailed(header.unreadable);
  fd.close();
  session->minorVersion = HeaderMinorVersion(header.header);

  // A dirty hive is brought up to date from its logs in memory, and hivex reads that; when
  // it cannot be, hivex reads it as it stands, and it is never written.
  std::string notRecovered;
  if (header.dirty) {
    platform::FileRead primary = platform::ReadWholeFile(session->realPath);
    if (primary.status != platform::FileRead::Status::kRead) {
      return readFailed(primary.status == platform::FileRead::Status::kFailed
                            ? primary.error
                            : std::string("it is no longer a regular file"));
    }
    const std::uint64_t size = primary.bytes.size();
    session->hive = OpenRecovered(session->realPath, std::move(primary.bytes), notRecovered);
    if (!notRecovered.empty()) {
      unrecovered_ = NotRecoverable(notRecovered);
      if (const std::string cut = WhyCutShort(header.header, size); !cut.empty()) {
        return readFailed(cut + "; " + NotRecoverable(notRecovered));
      }
      if (!readOnly())
        session->unwritable = NotRecoverable(notRecovered) +
                              ". Writing now would lose those changes or damage the hive. Let that "
                              "Windows installation start once, or open the hive in Windows first, "
                              "and then try again";
    }
  }
  if (!session->hive) {
    std::string why;
    session->hive = OpenForWriting(session->realPath.string(), why);
    if (!session->hive) {
      std::string problem = "it is damaged: hivex cannot open it (" + why + ")";
      if (!notRecovered.empty()) problem += "; " + NotRecoverable(notRecovered);
      return readFailed(problem);
    }
  }
  if (session->unwritable.empty())
    session->unwritable = platform::WhyNotWritable(session->realPath);
  session->nodes.emplace(std::string(), hivex_root(session->hive.get()));
  session_ = std::move(session);
}

void OfflineHiveRegistry::onEnd() {
  if (session_ && session_->dirty) commit();
  session_.reset();
}

OfflineHiveRegistry::Key* OfflineHiveRegistry::findKey(RootKey root, std::string_view keyPath,
                                                       bool create) {
  if (!session_ || root != kCurrentUser) return nullptr;
  hive_h* hive = session_->hive.get();
  const std::vector<std::string> levels = SplitKeyPath(keyPath);
  std::string folded;
  hive_node_h node = session_->nodes.at(std::string());
  for (const std::string& level : levels) {
    const std::string foldedLevel = FoldRegistryName(level);
    folded += '\\';
    folded += foldedLevel;
    if (auto known = session_->nodes.find(folded); known != session_->nodes.end()) {
      node = known->second;
      continue;
    }
    hive_node_h found = FindChild(hive, node, foldedLevel);
    if (found == 0) {
      // hivex takes a name up to its first NUL: a level holding one cannot be made.
      if (!create || level.find('\0') != std::string::npos) return nullptr;
      found = hivex_node_add_child(hive, node, level.c_str());
      if (found == 0) return nullptr;
      session_->dirty = true;
    }
    session_->nodes.emplace(folded, found);
    node = found;
  }

  auto [it, fresh] = session_->keys.try_emplace(node);
  Key& key = it->second;
  if (fresh) {
    key.node = node;
    key.path = std::string(keyPath);
    Malloced<hive_value_h> values(hivex_node_values(hive, node));
    if (!values) key.unwritable = "its values cannot be read";
    for (std::size_t i = 0; values && values.get()[i] != 0; ++i) {
      std::optional<StoredValue> value = ReadStoredValue(hive, values.get()[i]);
      if (!value) {
        key.unwritable = "one of its values cannot be read";
        continue;
      }
      if (value->name.find('\0') != std::string::npos) {
        key.unwritable =
            "one of its value names holds a NUL character, which cannot be written "
            "back unchanged";
      }
      key.values.push_back(std::move(*value));
    }
  }
  return &key;
}

template <class Change>
bool OfflineHiveRegistry::change(RootKey root, std::string_view keyPath, Change&& apply) {
  const bool own = !inTransaction();
  if (own) beginTransaction();
  bool ok = false;
  if (admitWrite() && session_) {
    snapshotForBackup();  // the hive as this transaction read it, before its first change
    if (Key* key = findKey(root, keyPath, true)) {
      if (apply(*key)) {
        key->changed = true;
        session_->dirty = true;
      }
      ok = true;
    }
  }
  if (own) ok = endTransaction().complete && ok;
  return ok;
}

std::optional<RegValue> OfflineHiveRegistry::queryValue(RootKey root, std::string_view keyPath,
                                                        std::string_view name) {
  Transaction transaction(*this);
  Key* key = findKey(root, keyPath, false);
  if (!key) return std::nullopt;
  const Key::Value* value = key->find(name);
  if (!value) return std::nullopt;
  return value->value;
}

bool OfflineHiveRegistry::setValue(RootKey root, std::string_view keyPath, std::string_view name,
                                   const RegValue& value) {
  return change(root, keyPath, [&](Key& key) {
    if (Key::Value* stored = key.find(name)) {
      if (stored->value == value) return false;
      stored->value = value;  // the name keeps its stored spelling
      return true;
    }
    key.values.push_back({std::string(name), value});
    return true;
  });
}

bool OfflineHiveRegistry::deleteValue(RootKey root, std::string_view keyPath,
                                      std::string_view name) {
  return change(root, keyPath, [&](Key& key) {
    const Key::Value* stored = key.find(name);
    if (!stored) return false;
    key.values.erase(key.values.begin() + (stored - key.values.data()));
    return true;
  });
}

bool OfflineHiveRegistry::keyExists(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  return findKey(root, keyPath, false) != nullptr;
}

std::vector<std::string> OfflineHiveRegistry::valueNames(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  std::vector<std::string> names;
  if (Key* key = findKey(root, keyPath, false)) {
    for (const Key::Value& value : key->values) names.push_back(value.name);
  }
  return names;
}

std::vector<std::string> OfflineHiveRegistry::subkeyNames(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  std::vector<std::string> names;
  if (Key* key = findKey(root, keyPath, false)) {
    hive_h* hive = session_->hive.get();
    Malloced<hive_node_h> children(hivex_node_children(hive, key->node));
    for (std::size_t i = 0; children && children.get()[i] != 0; ++i) {
      names.push_back(NodeName(hive, children.get()[i]));
    }
  }
  return names;
}

namespace {

// A key's path as the stored key is found: its levels, each folded, without empty ones.
std::string FoldedKeyPath(std::string_view path) {
  std::string folded;
  for (const std::string& level : SplitKeyPath(path)) {
    folded += '\\';
    folded += FoldRegistryName(level);
  }
  return folded;
}

template <class Keys>
std::string CheckCells(std::string_view bytes, const Keys& keys);

// Whether the committed file (whose bytes are these) holds every changed key with exactly the
// values meant for it.
template <class Keys>
std::string CheckCommitted(const fs::path& file, std::string_view bytes, const Keys& keys) {
  HiveHandle written(hivex_open(file.c_str(), 0));
  if (!written) return "the new hive cannot be opened again (" + ErrnoText(errno) + ")";
  hive_h* hive = written.get();
  for (const auto& [node, key] : keys) {
    if (!key.changed) continue;
    hive_node_h at = hivex_root(hive);
    for (const std::string& level : SplitKeyPath(key.path)) {
      at = FindChild(hive, at, FoldRegistryName(level));
      if (at == 0) return "the new hive lacks the key " + key.path;
    }
    Malloced<hive_value_h> values(hivex_node_values(hive, at));
    std::size_t count = 0;
    for (; values && values.get()[count] != 0; ++count) {
      if (count >= key.values.size()) break;
      const std::optional<StoredValue> stored = ReadStoredValue(hive, values.get()[count]);
      const StoredValue& meant = key.values[count];
      if (!stored || stored->name != meant.name || stored->value != meant.value) {
        return "the new hive does not hold what was written into the key " + key.path;
      }
    }
    if (!values || values.get()[count] != 0 || count != key.values.size()) {
      return "the new hive does not hold what was written into the key " + key.path;
    }
  }
  written.reset();
  return CheckCells(bytes, keys);
}

// The same, read by the hive's own rules rather than hivex's: every key and value reached as
// Windows reaches them, each long value where Windows looks for it, and each changed key
// holding exactly the values meant for it.
template <class Keys>
std::string CheckCells(std::string_view bytes, const Keys& keys) {
  const HiveCellWalk walk = WalkHiveCells(bytes);
  if (!walk.error.empty()) return "Windows could not read the new hive: " + walk.error;
  std::map<std::string, const HiveCellKey*> found;
  for (const HiveCellKey& key : walk.keys) found.emplace(FoldedKeyPath(key.path), &key);
  for (const auto& [node, key] : keys) {
    if (!key.changed) continue;
    const auto stored = found.find(FoldedKeyPath(key.path));
    if (stored == found.end()) return "Windows could not find the key " + key.path;
    const std::vector<HiveCellValue>& values = stored->second->values;
    for (const HiveCellValue& value : values) {
      if (value.unreadableByWindows) {
        return "Windows could not read the value \"" + value.name + "\" of the key " + key.path +
               " in the new hive: it is " + std::to_string(value.data.size()) +
               " bytes long, and this hive's format keeps data that long only in big-data cells";
      }
    }
    bool same = values.size() == key.values.size();
    for (std::size_t i = 0; same && i < values.size(); ++i) {
      const RegValue& meant = key.values[i].value;
      same = values[i].name == key.values[i].name && values[i].type == meant.type &&
             values[i].data.size() == meant.data.size() &&
             std::equal(meant.data.begin(), meant.data.end(),
                        reinterpret_cast<const std::uint8_t*>(values[i].data.data()));
    }
    if (!same) return "Windows would not read in the key " + key.path + " what was written there";
  }
  return {};
}

// Why a changed key cannot be handed to hivex, which rewrites each of its values as one
// plain cell: in a hive of format 1.4 or later Windows reads a value longer than that as a
// big-data record, and hivex writes none. A value already stored in one is moved all the
// same. Empty when every value fits.
template <class Keys>
std::string TooLongForOnePiece(std::uint32_t minorVersion, const Keys& keys) {
  if (!HiveUsesBigData(minorVersion)) return {};
  for (const auto& [node, key] : keys) {
    if (!key.changed) continue;
    for (const auto& value : key.values) {
      if (value.value.data.size() <= kLargestPlainData) continue;
      const std::string named =
          value.name.empty() ? "the default value" : "the value \"" + value.name + "\"";
      return named + " of the key " + key.path + " (" + std::to_string(value.value.data.size()) +
             " bytes) is longer than this hive can hold in one piece: Windows reads data over " +
             std::to_string(kLargestPlainData) +
             " bytes in it only from big-data cells, which this program cannot write. Nothing "
             "was changed";
    }
  }
  return {};
}

// Reads the hive hivex wrote into `bytes`, zeroes its free cells there (hive_cells.h), and
// writes what it changed back into the file. Empty when done, else why not.
std::string WipeFreeCells(const fs::path& file, std::string& bytes) {
  platform::FileRead read = platform::ReadWholeFile(file);
  if (read.status != platform::FileRead::Status::kRead) {
    return "the new hive cannot be read again (" +
           (read.error.empty() ? std::string("it is gone") : read.error) + ")";
  }
  bytes = std::move(read.bytes);
  std::vector<std::pair<std::size_t, std::size_t>> changed;
  if (const std::string why = ZeroFreeCells(bytes, changed); !why.empty()) {
    return "the free space of the new hive cannot be wiped: " + why;
  }
  if (changed.empty()) return {};
  // Only what changed is written again: after the first wipe, what a command freed.
  platform::OsHandle fd(::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
  for (auto [at, to] : changed) {
    while (fd.valid() && at < to) {
      const ssize_t n = ::pwrite(fd.get(), bytes.data() + at, to - at, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        return "the free space of the new hive cannot be wiped (" + ErrnoText(n < 0 ? errno : EIO) +
               ")";
      }
      at += static_cast<std::size_t>(n);
    }
    if (!fd.valid()) {
      return "the free space of the new hive cannot be wiped (" + ErrnoText(errno) + ")";
    }
  }
  return {};
}

// Empties each transaction log beside the hive, as Windows leaves the logs of a new hive:
// the hive is clean, so Windows never reads them, and their older pages could keep what the
// user deleted. A log already empty is not touched. Why each log that could not be emptied
// could not, as whole sentences.
std::vector<std::string> EmptyHiveLogs(const fs::path& hive) {
  const auto unemptied = [](const std::string& log, const std::string& why) {
    return "The change was saved, but the transaction log " + log + " could not be emptied (" +
           why + "): it may still hold older copies of what was deleted.";
  };
  std::string error;
  const std::vector<std::string> names = HiveLogNames(hive, error);
  if (!error.empty()) return {unemptied("beside " + PathText(hive), error)};
  const fs::path folder = hive.has_parent_path() ? hive.parent_path() : fs::path(".");
  std::vector<std::string> problems;
  for (const std::string& name : names) {
    const fs::path log = folder / name;
    // Never through a link, and never waiting on a pipe.
    platform::OsHandle fd(::open(log.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    std::string why;
    if (!fd.valid()) {
      if (errno == ENOENT) continue;  // gone since the folder was listed
      why = ErrnoText(errno);
    } else if (::fstat(fd.get(), &info) != 0) {
      why = ErrnoText(errno);
    } else if (!S_ISREG(info.st_mode)) {
      why = "it is not a regular file";
    } else if (info.st_size == 0) {
      continue;
    } else if (::ftruncate(fd.get(), 0) != 0 || ::fsync(fd.get()) != 0) {
      why = ErrnoText(errno);
    }
    if (!why.empty()) problems.push_back(unemptied(PathText(log), why));
  }
  return problems;
}

}  // namespace

bool OfflineHiveRegistry::commit() {
  const auto failed = [&](const std::string& why) {
    reportWriteFailure("The registry hive " + description() + " could not be written: " + why +
                       ".");
    return false;
  };
  Session& session = *session_;
  if (!session.unwritable.empty()) return failed(session.unwritable);
  for (const auto& [node, key] : session.keys) {
    if (key.changed && !key.unwritable.empty()) {
      return failed("the key " + key.path + " cannot be rewritten: " + key.unwritable);
    }
  }
  if (const std::string tooLong = TooLongForOnePiece(session.minorVersion, session.keys);
      !tooLong.empty()) {
    return failed(tooLong);
  }
  if (!writePendingBackup()) return false;

  hive_h* hive = session.hive.get();
  for (auto& [node, key] : session.keys) {
    if (!key.changed) continue;
    std::vector<hive_set_value> values(key.values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      Key::Value& value = key.values[i];
      values[i].key = value.name.data();
      SetTypeNumber(values[i].t, value.value.type);
      values[i].len = value.value.data.size();
      values[i].value = reinterpret_cast<char*>(value.value.data.data());
    }
    if (hivex_node_set_values(hive, node, values.size(), values.data(), 0) != 0) {
      return failed("the values of the key " + key.path + " cannot be stored (" + ErrnoText(errno) +
                    ")");
    }
  }

  platform::FileReplacement replacement(session.realPath, platform::NewFileAccess::kOwnerOnly);
  if (!replacement.ok()) return failed(replacement.error());
  if (hivex_commit(hive, replacement.temporary().c_str(), 0) != 0) {
    return failed("the new hive cannot be written (" + ErrnoText(errno) + ")");
  }
  // The new file is read once: its free cells wiped, and then checked as it will stand.
  std::string bytes;
  if (const std::string why = WipeFreeCells(replacement.temporary(), bytes); !why.empty()) {
    return failed(why);
  }
  if (const std::string wrong = CheckCommitted(replacement.temporary(), bytes, session.keys);
      !wrong.empty()) {
    return failed(wrong);
  }
  if (!replacement.commit()) return failed(replacement.error());
  // Only now that the clean hive is in place for good may its logs go: a crash before leaves
  // the old hive with the logs it needs.
  for (const std::string& note : EmptyHiveLogs(session.realPath)) reportNote(note);
  return true;
}

bool IsWindowsHiveFile(const fs::path& path) {
  platform::OsHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return false;
  char magic[4];
  return ::pread(fd.get(), magic, sizeof magic, 0) == 4 && std::memcmp(magic, "regf", 4) == 0;
}

}  // namespace tavelin
