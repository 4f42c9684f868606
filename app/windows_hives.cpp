#include "app/windows_hives.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace tavelin {

namespace fs = std::filesystem;

namespace {

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A field of the table with its octal escapes (\040 for a space, ...) undone.
std::string Unescaped(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(line.find(' ', start), line.size());
    fields.push_back(line.substr(start, end - start));
    at = end;
  }
  return fields;
}

// The entry of `folder` whose name is `wanted` (lower case) without regard to case.
std::vector<std::string> EntriesNamed(const FolderView& view, const fs::path& folder,
                                      std::string_view wanted) {
  std::vector<std::string> found;
  for (const std::string& name : view.names(folder)) {
    if (AsciiLower(name) == wanted) found.push_back(name);
  }
  return found;
}

// Profiles every Windows installation has that belong to no one who types addresses.
bool IsSharedProfile(std::string_view name) {
  const std::string folded = AsciiLower(name);
  return folded == "default" || folded == "default user" || folded == "public" ||
         folded == "all users";
}

// The hives of the profiles in an installation's Users and Documents and Settings folders.
void FindInInstallation(const FolderView& view, const fs::path& root,
                        std::vector<FoundHive>& found) {
  for (const std::string_view profiles : {"users", "documents and settings"}) {
    for (const std::string& folderName : EntriesNamed(view, root, profiles)) {
      const fs::path folder = root / folderName;
      for (const std::string& user : view.names(folder)) {
        if (IsSharedProfile(user)) continue;
        const fs::path profile = folder / user;
        for (const std::string& hiveName : EntriesNamed(view, profile, "ntuser.dat")) {
          if (view.isFile(profile / hiveName)) found.push_back({profile / hiveName, profile});
        }
      }
    }
  }
}

}  // namespace

std::vector<MountPoint> ParseMountTable(std::string_view mountInfo) {
  std::vector<MountPoint> mounts;
  while (!mountInfo.empty()) {
    const std::size_t end = std::min(mountInfo.find('\n'), mountInfo.size());
    const std::vector<std::string_view> fields = Fields(mountInfo.substr(0, end));
    mountInfo.remove_prefix(std::min(end + 1, mountInfo.size()));
    // ID, parent ID, device, root, mount point, options, optional fields, "-", type, ...
    const auto separator = std::find(fields.begin(), fields.end(), std::string_view("-"));
    if (fields.size() < 7 || separator - fields.begin() < 6 || separator + 1 >= fields.end()) {
      continue;
    }
    mounts.push_back({fs::path(Unescaped(fields[4])), Unescaped(*(separator + 1))});
  }
  return mounts;
}

bool MayHoldWindowsProfiles(std::string_view type) {
  // Network file systems, and file systems of the kernel's own that hold no user's files.
  static constexpr std::array kSkipped{
      "9p",         "afs",       "autofs",    "binfmt_misc", "bpf",      "ceph",     "cgroup",
      "cgroup2",    "cifs",      "configfs",  "debugfs",     "devpts",   "devtmpfs", "efivarfs",
      "fusectl",    "glusterfs", "hugetlbfs", "lustre",      "mqueue",   "ncpfs",    "nfs",
      "nfs4",       "nfsd",      "nsfs",      "proc",        "pstore",   "ramfs",    "rpc_pipefs",
      "securityfs", "selinuxfs", "smb3",      "smbfs",       "squashfs", "sysfs",    "tracefs",
      "coda",       "davfs",     "ocfs2",     "gfs2",        "orangefs", "virtiofs", "iso9660",
  };
  const std::string folded = AsciiLower(type);
  if (std::find(kSkipped.begin(), kSkipped.end(), folded) != kSkipped.end()) return false;
  if (folded.starts_with("nfs") || folded.starts_with("smb") || folded.starts_with("cgroup")) {
    return false;
  }
  // FUSE file systems with a subtype are mostly network ones (sshfs, s3fs, rclone, gvfs);
  // the local drivers of Windows disks are let through. ntfs-3g itself shows as fuseblk.
  if (folded.starts_with("fuse.")) {
    const std::string subtype = folded.substr(5);
    return subtype == "ntfs-3g" || subtype == "lowntfs-3g" || subtype == "ntfs" ||
           subtype == "exfat" || subtype == "dislocker";
  }
  return true;
}

FolderView SystemFolderView() {
  return {[](const fs::path& folder) {
            std::vector<std::string> names;
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
              names.push_back(it->path().filename().string());
            }
            return names;
          },
          [](const fs::path& file) {
            std::error_code ec;
            return fs::is_regular_file(file, ec);
          }};
}

std::vector<FoundHive> FindWindowsHives(const std::vector<MountPoint>& mounts,
                                        const FolderView& view) {
  std::vector<MountPoint> looked;
  for (const MountPoint& mount : mounts) {
    if (MayHoldWindowsProfiles(mount.type)) looked.push_back(mount);
  }
  std::sort(looked.begin(), looked.end(),
            [](const MountPoint& a, const MountPoint& b) { return a.path < b.path; });
  std::vector<FoundHive> found;
  for (const MountPoint& mount : looked) {
    std::vector<FoundHive> onMount;
    FindInInstallation(view, mount.path, onMount);
    for (const std::string& old : EntriesNamed(view, mount.path, "windows.old")) {
      FindInInstallation(view, mount.path / old, onMount);
    }
    std::stable_sort(onMount.begin(), onMount.end(), [](const FoundHive& a, const FoundHive& b) {
      return AsciiLower(a.profile.filename().string()) < AsciiLower(b.profile.filename().string());
    });
    found.insert(found.end(), std::make_move_iterator(onMount.begin()),
                 std::make_move_iterator(onMount.end()));
  }
  return found;
}

std::vector<FoundHive> FindWindowsHivesOnThisComputer() {
  std::ifstream table("/proc/self/mountinfo");
  if (!table) return {};
  std::ostringstream text;
  text << table.rdbuf();
  return FindWindowsHives(ParseMountTable(text.str()), SystemFolderView());
}

}  // namespace tavelin
