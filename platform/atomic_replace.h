// platform/ is the system work the rest of the program shares: whole-file read, atomic
// replace, lock files, wide strings, the system's words for an error, WTF-8; one _posix and
// one _win32 file per job. It uses the standard library and the system's API only, and knows
// nothing of registries, lists or windows.
//
// Replacing a file whole. The new content goes to a temporary file in the same folder, which
// is flushed to disk and renamed over the file, and then the folder is flushed: the file is
// always either the old one or the complete new one, whenever the program or the machine
// stops.
//
// One rule for every file the program writes:
//  - a symbolic link is followed to its target, link after link, whether that target exists
//    or not: the links stay, and the file they end at gets the new content;
//  - a file that is there keeps its owner, group and permissions (on Windows its security and
//    its hidden, system and archive marks); when they cannot be kept, nothing is replaced and
//    that is the error;
//  - a new file gets the permissions its kind of content asks for (NewFileAccess);
//  - a folder, a pipe or a device in the file's place is never replaced;
//  - nor is a file that has other hard links: they would keep the old content.
//
// The parts every platform shares are in atomic_replace.cpp, the system work in
// atomic_replace_posix.cpp and atomic_replace_win32.cpp.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavelin::platform {

// Who may read a file that a replacement creates. On Windows a new file takes the security
// its folder passes on to new files (a user's profile folders are the user's own).
enum class NewFileAccess {
  kOwnerOnly,  // registry data (a hive, a backup of one): 0600
  kShared,     // a document of the user's (a list file): 0666 less the umask
};

// The file `path` ends at once its symbolic links are followed, each relative link from the
// folder it lies in. A dangling link gives the path of the file it names. `type`, when given,
// is set to the kind of what stands at the path found (not_found when nothing does).
std::filesystem::path FollowLinks(const std::filesystem::path& path,
                                  std::filesystem::file_type* type = nullptr);

// The name a replacement of `target` gives its temporary: the target's file name, ".tmp-",
// the process id, "-" and a counter of the process's replacements.
std::filesystem::path TemporaryFileName(const std::filesystem::path& target,
                                        unsigned long processId, unsigned long counter);

// Whether `name` (a file name without a folder) is exactly such a name for `target`, from any
// process: only those files may be taken for temporaries that a killed writer left behind.
bool IsOwnTemporaryName(const std::filesystem::path& target, const std::filesystem::path& name);

// The file name (without a folder) whose temporary `name` is, when `name` is exactly such a
// name from any process; nothing when it is not one.
std::optional<std::filesystem::path> TargetOfTemporary(const std::filesystem::path& name);

// Removes from `folder` every temporary of each file whose name (without a folder)
// `isTarget` accepts. Only for a caller holding the lock that every writer of those files
// holds while its temporary exists: any temporary found then was left by a writer that died.
void RemoveLeftoverTemporaries(const std::filesystem::path& folder,
                               const std::function<bool(const std::filesystem::path&)>& isTarget);
// The same for the one file `target`, in its folder.
void RemoveLeftoverTemporaries(const std::filesystem::path& target);

// The names in the folder, listed as cheaply as the system allows; none when it cannot be
// listed. For the sweep above, which lists the folder at every write.
std::vector<std::filesystem::path> FolderEntryNames(const std::filesystem::path& folder);

// Why this process may not replace `file` (an existing file, links followed), judged as a
// user would: a file without write permission, on a read-only file system, or in a folder it
// may not write to, or that has other hard links. Empty when it may. A file that has no
// write permission for anyone counts as read-only even for an administrator, who the system
// would let through.
std::string WhyNotWritable(const std::filesystem::path& file);

// What WhyNotWritable says of a file with other hard links.
inline constexpr std::string_view kOtherHardLinks =
    "the file has other names (hard links), which would keep the old content";

// This process's id, as temporary names carry it.
unsigned long CurrentProcessId();

// One replacement of a file, in steps, for a writer that cannot hand over all of its bytes at
// once, or that can only write to a path (a library's "save to this file"): it writes to
// temporary(), and commit() then flushes, checks and renames that file like any other.
//
// The temporary is made at once, already carrying the permissions the file will have, so the
// new content is never readable by more users than the old. Unless committed, it is removed
// when the replacement ends.
class FileReplacement {
 public:
  FileReplacement(const std::filesystem::path& target, NewFileAccess access);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // False once a step has failed; error() then says what failed and why, naming the file.
  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }

  // The file that is replaced (links followed), and the temporary beside it.
  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temporary() const { return temporary_; }

  // Appends to the temporary.
  bool write(std::string_view bytes);

  // Flushes the temporary, checks that its name still holds the file made for it (another
  // writer may have written through the path), renames it over the target and flushes the
  // folder. On failure the temporary is removed and the target is as it was.
  bool commit();

 private:
  bool fail(std::string what);
  void discard();

  struct Open;  // the open temporary and what was found at the target; per platform
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::unique_ptr<Open> open_;
  std::string error_;
  bool committed_ = false;
};

// The whole replacement at once. `error` says what failed, naming the file.
bool ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           NewFileAccess access, std::string& error);

}  // namespace tavelin::platform
