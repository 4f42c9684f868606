// What every platform's replacement shares: following links, and the temporary names.
#include <string>
#include <system_error>

#include "platform/atomic_replace.h"
#include "platform/wide_text.h"

namespace tavelin::platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";

// A number as std::to_string writes it: decimal digits, no sign, no leading zero.
bool IsWrittenNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 20) return false;
  if (digits.size() > 1 && digits.front() == '0') return false;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

fs::path FollowLinks(const fs::path& path, fs::file_type* type) {
  fs::path p = path;
  // As many hops as the system itself follows; a loop ends here and fails when opened.
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(p, ec);
    if (type) *type = status.type();
    if (!fs::is_symlink(status) || ec) return p;
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) return p;
    // Not normalised: ".." after a linked folder means what the system makes of it.
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p;
}

fs::path TemporaryFileName(const fs::path& target, unsigned long processId, unsigned long counter) {
  return PathFromText(PathText(target.filename()) + std::string(kTemporaryMark) +
                      std::to_string(processId) + "-" + std::to_string(counter));
}

std::optional<fs::path> TargetOfTemporary(const fs::path& name) {
  const std::string text = PathText(name);
  const std::size_t mark = text.rfind(kTemporaryMark);
  if (mark == std::string::npos || mark == 0) return std::nullopt;
  const std::string_view numbers = std::string_view(text).substr(mark + kTemporaryMark.size());
  const std::size_t dash = numbers.find('-');
  if (dash == std::string_view::npos || !IsWrittenNumber(numbers.substr(0, dash)) ||
      !IsWrittenNumber(numbers.substr(dash + 1))) {
    return std::nullopt;
  }
  return PathFromText(text.substr(0, mark));
}

bool IsOwnTemporaryName(const fs::path& target, const fs::path& name) {
  const std::optional<fs::path> of = TargetOfTemporary(name);
  return of && *of == target.filename();
}

void RemoveLeftoverTemporaries(const fs::path& folder,
                               const std::function<bool(const fs::path&)>& isTarget) {
  // Collected first, as removing while listing may skip names.
  std::vector<fs::path> leftovers;
  for (const fs::path& name : FolderEntryNames(folder)) {
    const std::optional<fs::path> target = TargetOfTemporary(name);
    if (target && isTarget(*target)) leftovers.push_back(folder / name);
  }
  for (const fs::path& leftover : leftovers) {
    std::error_code ec;
    // A folder of that name is nobody's temporary.
    if (!fs::is_directory(fs::symlink_status(leftover, ec))) fs::remove(leftover, ec);
  }
}

void RemoveLeftoverTemporaries(const fs::path& target) {
  const fs::path name = target.filename();
  RemoveLeftoverTemporaries(target.has_parent_path() ? target.parent_path() : fs::path("."),
                            [&](const fs::path& of) { return of == name; });
}

bool FileReplacement::fail(std::string what) {
  if (error_.empty()) error_ = std::move(what);
  discard();
  return false;
}

bool ReplaceFileAtomically(const fs::path& target, std::string_view bytes, NewFileAccess access,
                           std::string& error) {
  FileReplacement replacement(target, access);
  if (replacement.write(bytes) && replacement.commit()) return true;
  error = replacement.error();
  return false;
}

}  // namespace tavelin::platform
