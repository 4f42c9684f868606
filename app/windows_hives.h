// The Windows users' hives (NTUSER.DAT) on the file systems this computer has mounted, as
// "Open hive" offers them: a Linux user's one real copy of a browser's typed addresses.
//
// Only a handful of folders of each mount are looked at (its Users, Documents and Settings
// and Windows.old folders and each profile in them), never a search of the disk, and network
// and pseudo file systems are left alone, so the look takes milliseconds and cannot hang on a
// slow or dead mount.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelin {

// One mount of a mount table.
struct MountPoint {
  std::filesystem::path path;
  std::string type;  // e.g. "ntfs3", "fuseblk"
};

// The mounts of a table in the form of /proc/self/mountinfo, in its order; lines that are
// not in that form are left out.
std::vector<MountPoint> ParseMountTable(std::string_view mountInfo);

// Whether a file system of that type may hold a Windows installation worth looking at: not
// a network file system (a look there may hang) and not a pseudo one.
bool MayHoldWindowsProfiles(std::string_view type);

// What the search sees of the file systems: the names in a folder (none when it cannot be
// read or is no folder), and whether a path is a regular file.
struct FolderView {
  std::function<std::vector<std::string>(const std::filesystem::path&)> names;
  std::function<bool(const std::filesystem::path&)> isFile;
};
// The view of this computer's own file systems.
FolderView SystemFolderView();

struct FoundHive {
  std::filesystem::path hive;     // .../Users/bob/NTUSER.DAT, spelt as on the disk
  std::filesystem::path profile;  // .../Users/bob
};

// The hives of the Windows users on those mounts: <mount>/Users/<name>/NTUSER.DAT,
// <mount>/Documents and Settings/<name>/NTUSER.DAT, and the same under <mount>/Windows.old,
// every name compared without regard to case, leaving out the Default, Default User, Public
// and All Users profiles; ordered by mount point, then by user name.
std::vector<FoundHive> FindWindowsHives(const std::vector<MountPoint>& mounts,
                                        const FolderView& view);

// The same on this computer, from /proc/self/mountinfo; none where there is no such table.
std::vector<FoundHive> FindWindowsHivesOnThisComputer();

}  // namespace tavelin
