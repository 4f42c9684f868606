#include "store/hive_commit.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/atomic_replace.h"
#include "platform/os_handle_posix.h"
#include "platform/read_file.h"
#include "store/hive_cells.h"

namespace tavelin {

namespace fs = std::filesystem;

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

std::string CheckCells(std::string_view bytes, const HiveKeys& keys);

// Whether the committed file (whose bytes are these) holds every changed key with exactly the
// values meant for it.
std::string CheckCommitted(const fs::path& file, std::string_view bytes, const HiveKeys& keys) {
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
std::string CheckCells(std::string_view bytes, const HiveKeys& keys) {
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
std::string TooLongForOnePiece(std::uint32_t minorVersion, const HiveKeys& keys) {
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

}  // namespace

std::string WhyNotCommittable(const std::string& unwritable, std::uint32_t minorVersion,
                              const HiveKeys& keys) {
  if (!unwritable.empty()) return unwritable;
  for (const auto& [node, key] : keys) {
    if (key.changed && !key.unwritable.empty()) {
      return "the key " + key.path + " cannot be rewritten: " + key.unwritable;
    }
  }
  return TooLongForOnePiece(minorVersion, keys);
}

std::string CommitHive(hive_h* hive, const fs::path& realPath, HiveKeys& keys) {
  for (auto& [node, key] : keys) {
    if (!key.changed) continue;
    std::vector<hive_set_value> values(key.values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      HiveKey::Value& value = key.values[i];
      values[i].key = value.name.data();
      SetTypeNumber(values[i].t, value.value.type);
      values[i].len = value.value.data.size();
      values[i].value = reinterpret_cast<char*>(value.value.data.data());
    }
    if (hivex_node_set_values(hive, node, values.size(), values.data(), 0) != 0) {
      return "the values of the key " + key.path + " cannot be stored (" + ErrnoText(errno) + ")";
    }
  }

  platform::FileReplacement replacement(realPath, platform::NewFileAccess::kOwnerOnly);
  if (!replacement.ok()) return replacement.error();
  if (hivex_commit(hive, replacement.temporary().c_str(), 0) != 0) {
    return "the new hive cannot be written (" + ErrnoText(errno) + ")";
  }
  // The new file is read once: its free cells wiped, and then checked as it will stand.
  std::string bytes;
  if (std::string why = WipeFreeCells(replacement.temporary(), bytes); !why.empty()) return why;
  if (std::string wrong = CheckCommitted(replacement.temporary(), bytes, keys); !wrong.empty()) {
    return wrong;
  }
  if (!replacement.commit()) return replacement.error();
  return {};
}

}  // namespace tavelin
