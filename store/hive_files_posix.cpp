#include "store/hive_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_replace.h"
#include "platform/os_handle_posix.h"
#include "platform/read_file.h"
#include "platform/wide_text.h"
#include "store/hive_recovery.h"
#include "store/registry_offline_hive.h"
#include "store/store_lock.h"

namespace tavelin {

namespace fs = std::filesystem;

namespace {

using platform::PathText;

// The base block that opens every hive, and the fields of it read here.
constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kSmallestHive = 0x2000;  // the base block and one bin
constexpr std::size_t kBinsSizeAt = 0x28;

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
      kBaseBlockSize + std::uint64_t{LittleEndian32(header, kBinsSizeAt)};
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
  return LittleEndian32(header, kMinorVersionAt);
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

OpenedHive OpenOfflineHive(const fs::path& path, bool readOnly,
                           std::chrono::milliseconds lockTimeout) {
  OpenedHive opened;
  const auto readFailed = [&](std::string why) {
    opened.unreadable = std::move(why);
    opened.hive.reset();
    return std::move(opened);
  };
  opened.realPath = platform::FollowLinks(path);

  TransactionLock taken = LockForTransaction(opened.realPath, readOnly, lockTimeout);
  if (taken.timedOut) return readFailed(taken.whyNotHeld);
  opened.lock = std::move(taken.lock);
  if (opened.lock) {
    platform::RemoveLeftoverTemporaries(opened.realPath);
  } else {
    // Nothing is made beside a hive opened read-only, not even the lock; writing needs one.
    opened.unwritable = readOnly ? taken.whyNotHeld
                                 : "it cannot be locked against a second copy of the program (" +
                                       taken.whyNotHeld + ")";
  }

  platform::OsHandle fd(::open(opened.realPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return readFailed(ErrnoText(errno));
  const HeaderCheck header = CheckHeader(fd.get());
  if (!header.unreadable.empty()) return readFailed(header.unreadable);
  fd.close();
  opened.minorVersion = HeaderMinorVersion(header.header);

  // A dirty hive is brought up to date from its logs in memory, and hivex reads that; when
  // it cannot be, hivex reads it as it stands, and it is never written.
  std::string notRecovered;
  if (header.dirty) {
    platform::FileRead primary = platform::ReadWholeFile(opened.realPath);
    if (primary.status != platform::FileRead::Status::kRead) {
      return readFailed(primary.status == platform::FileRead::Status::kFailed
                            ? primary.error
                            : std::string("it is no longer a regular file"));
    }
    const std::uint64_t size = primary.bytes.size();
    opened.hive = OpenRecovered(opened.realPath, std::move(primary.bytes), notRecovered);
    if (!notRecovered.empty()) {
      opened.unrecovered = NotRecoverable(notRecovered);
      if (const std::string cut = WhyCutShort(header.header, size); !cut.empty()) {
        return readFailed(cut + "; " + NotRecoverable(notRecovered));
      }
      if (!readOnly)
        opened.unwritable = NotRecoverable(notRecovered) +
                            ". Writing now would lose those changes or damage the hive. Let that "
                            "Windows installation start once, or open the hive in Windows first, "
                            "and then try again";
    }
  }
  if (!opened.hive) {
    std::string why;
    opened.hive = OpenForWriting(opened.realPath.string(), why);
    if (!opened.hive) {
      std::string problem = "it is damaged: hivex cannot open it (" + why + ")";
      if (!notRecovered.empty()) problem += "; " + NotRecoverable(notRecovered);
      return readFailed(problem);
    }
  }
  if (opened.unwritable.empty()) opened.unwritable = platform::WhyNotWritable(opened.realPath);
  return opened;
}

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

bool IsWindowsHiveFile(const fs::path& path) {
  platform::OsHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return false;
  char magic[4];
  return ::pread(fd.get(), magic, sizeof magic, 0) == 4 && std::memcmp(magic, "regf", 4) == 0;
}

}  // namespace tavelin
