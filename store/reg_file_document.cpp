#include "store/reg_file_document.h"

#include <algorithm>
#include <array>

#include "store/registry_names.h"

namespace tavelin {

namespace {

struct RootName {
  RootKey root;
  std::string_view longName;
  std::string_view shortName;
};
constexpr std::array<RootName, 5> kRoots = {{
    {0x80000000u, "HKEY_CLASSES_ROOT", "HKCR"},
    {kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {0x80000002u, "HKEY_LOCAL_MACHINE", "HKLM"},
    {0x80000003u, "HKEY_USERS", "HKU"},
    {0x80000005u, "HKEY_CURRENT_CONFIG", "HKCC"},
}};

// Whether `path` is `ancestor` or lies below it (both canonical).
bool InTree(std::string_view path, std::string_view ancestor) {
  return path.size() >= ancestor.size() && path.compare(0, ancestor.size(), ancestor) == 0 &&
         (path.size() == ancestor.size() || path[ancestor.size()] == '\\');
}

std::string ParentOf(const std::string& canonical) {
  const std::size_t cut = canonical.rfind('\\');
  return cut == std::string::npos ? std::string() : canonical.substr(0, cut);
}

}  // namespace

std::string RegFileKeyPath(RootKey root, std::string_view keyPath) {
  std::string path;
  for (const RootName& r : kRoots) {
    if (r.root == root) path = r.longName;
  }
  if (path.empty()) return path;
  for (const std::string& level : SplitKeyPath(keyPath)) path += '\\' + level;
  return path;
}

std::string CanonicalRegKeyPath(std::string_view fullPath) {
  const std::size_t start = fullPath.find_first_not_of('\\');
  if (start == std::string_view::npos) return {};
  const std::size_t end = std::min(fullPath.find('\\', start), fullPath.size());
  const std::string root = FoldRegistryName(fullPath.substr(start, end - start));
  std::string path;
  for (const RootName& r : kRoots) {
    if (root == r.longName || root == r.shortName) path = r.longName;
  }
  if (path.empty()) return path;
  // Every later level after one backslash, empty ones dropped.
  const std::string rest = FoldRegistryName(fullPath.substr(end));
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '\\') continue;
    if (rest[i - 1] == '\\') path += '\\';  // rest begins with one
    path += rest[i];
  }
  return path;
}

// ---------------------------------------------------------------------------------------
// Keys

RegFileKey::RegFileKey(std::string_view path)
    : path_(path), canonical_(CanonicalRegKeyPath(path)) {}

std::size_t RegFileKey::position(std::string_view name) const {
  if (!positions_.empty()) {
    const auto at = positions_.find(FoldRegistryName(name));
    return at == positions_.end() ? values_.size() : at->second;
  }
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (SameRegistryName(values_[i].name, name)) return i;
  }
  return values_.size();
}

std::optional<RegValueView> RegFileKey::find(std::string_view name) const {
  const std::size_t at = position(name);
  if (at == values_.size()) return std::nullopt;
  return values_[at].value();
}

bool RegFileKey::set(std::string_view name, RegValueView value) {
  // A copy first: the data may be another of this key's values.
  return set({std::string(name), value.type, {value.data.begin(), value.data.end()}});
}

bool RegFileKey::set(RegFileValue&& value) {
  std::size_t at = values_.size();
  if (positions_.empty()) {
    at = position(value.name);
  } else {
    // One lookup that also takes the place of a new name.
    at = positions_.try_emplace(FoldRegistryName(value.name), values_.size()).first->second;
  }
  if (at == values_.size()) {
    values_.push_back(std::move(value));
    if (values_.size() == kMapFrom) {
      for (std::size_t i = 0; i < values_.size(); ++i) {
        positions_.emplace(FoldRegistryName(values_[i].name), i);
      }
    }
    return true;
  }
  RegFileValue& stored = values_[at];
  if (stored.value() == value.value()) return false;
  stored.type = value.type;
  stored.data = std::move(value.data);
  return true;
}

bool RegFileKey::remove(std::string_view name) {
  const std::size_t at = position(name);
  if (at == values_.size()) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(at));
  if (!positions_.empty()) {
    positions_.erase(FoldRegistryName(name));
    for (auto& [folded, p] : positions_) {
      if (p > at) --p;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Documents

std::size_t RegFileDocument::positionOf(const std::string& canonical) const {
  const auto at = sections_.find(canonical);
  return at == sections_.end() ? keys_.size() : at->second;
}

bool RegFileDocument::exists(const std::string& canonical) const {
  return sections_.count(canonical) != 0 || ancestors_.count(canonical) != 0;
}

void RegFileDocument::addAncestors(const std::string& canonical) {
  // Up to the first one known: its own ancestors are known already. Roots always exist.
  for (std::string p = ParentOf(canonical); p.find('\\') != std::string::npos; p = ParentOf(p)) {
    if (sections_.count(p) != 0 || !ancestors_.insert(p).second) return;
  }
}

void RegFileDocument::reindex() {
  lastPath_.clear();
  sections_.clear();
  ancestors_.clear();
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    sections_.emplace(std::string(keys_[i].canonicalPath()), i);
  }
  for (const RegFileKey& key : keys_) addAncestors(std::string(key.canonicalPath()));
  // A key with a section of its own is no longer only an ancestor.
  std::erase_if(ancestors_, [&](const std::string& p) { return sections_.count(p) != 0; });
}

const std::string& RegFileDocument::canonicalOf(std::string_view fullPath) const {
  if (fullPath != lastPath_ || lastPath_.empty()) {
    lastPath_ = fullPath;
    lastCanonical_ = CanonicalRegKeyPath(fullPath);
    lastPosition_ = positionOf(lastCanonical_);
  }
  return lastCanonical_;
}

std::size_t RegFileDocument::sectionOf(std::string_view fullPath) const {
  canonicalOf(fullPath);
  return lastPosition_;
}

RegFileKey* RegFileDocument::findKey(std::string_view fullPath) {
  const std::size_t at = sectionOf(fullPath);
  return at == keys_.size() ? nullptr : &keys_[at];
}

const RegFileKey* RegFileDocument::findKey(std::string_view fullPath) const {
  const std::size_t at = sectionOf(fullPath);
  return at == keys_.size() ? nullptr : &keys_[at];
}

bool RegFileDocument::keyExists(std::string_view fullPath) const {
  const std::string& canonical = canonicalOf(fullPath);
  if (canonical.empty()) return false;
  return canonical.find('\\') == std::string::npos || exists(canonical);
}

RegFileKey* RegFileDocument::appendSection(std::string_view fullPath) {
  RegFileKey key(fullPath);
  const std::string canonical(key.canonicalPath());
  if (canonical.empty()) return nullptr;
  if (const std::size_t at = positionOf(canonical); at != keys_.size()) return &keys_[at];
  ancestors_.erase(canonical);
  addAncestors(canonical);
  lastPath_.clear();  // it may have had no section
  sections_.emplace(canonical, keys_.size());
  keys_.push_back(std::move(key));
  return &keys_.back();
}

std::pair<RegFileKey*, bool> RegFileDocument::createKey(std::string_view fullPath) {
  if (const std::size_t at = sectionOf(fullPath); at != keys_.size()) return {&keys_[at], false};
  const std::string canonical = lastCanonical_;  // of fullPath; reindex below forgets it
  if (canonical.empty()) return {nullptr, false};
  const std::vector<std::string> levels = SplitKeyPath(fullPath);
  std::vector<std::string> canonicalLevels;  // the canonical path at each depth
  for (std::size_t cut = 0; (cut = canonical.find('\\', cut)) != std::string::npos; ++cut) {
    canonicalLevels.push_back(canonical.substr(0, cut));
  }
  canonicalLevels.push_back(canonical);
  // The deepest key on the way that exists already (at worst the root).
  std::size_t known = 0;
  while (known + 1 < canonicalLevels.size() && exists(canonicalLevels[known + 1])) ++known;
  const std::string& anchor = canonicalLevels[known];

  // Keep the spelling the file already uses for the existing part of the path, and go after
  // the anchor's tree.
  std::vector<std::string> spelled = levels;
  std::size_t insertAt = keys_.size();
  std::size_t firstInTree = keys_.size();
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (!InTree(keys_[i].canonicalPath(), anchor)) continue;
    if (firstInTree == keys_.size()) {
      firstInTree = i;
      const std::vector<std::string> existing = SplitKeyPath(keys_[i].path());
      for (std::size_t d = 0; d <= known && d < existing.size(); ++d) spelled[d] = existing[d];
    }
    insertAt = i + 1;
  }
  // A key that exists only through its subkeys gets its section in front of them.
  const bool onlyAnAncestor = known + 1 == canonicalLevels.size();
  if (onlyAnAncestor && firstInTree != keys_.size()) insertAt = firstInTree;

  std::string path = spelled[0];
  for (std::size_t d = 1; d <= known; ++d) path += '\\' + spelled[d];
  std::vector<RegFileKey> fresh;
  if (onlyAnAncestor) fresh.emplace_back(path);
  for (std::size_t d = known + 1; d < canonicalLevels.size(); ++d) {
    path += '\\' + spelled[d];
    fresh.emplace_back(path);
  }
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(insertAt), fresh.begin(), fresh.end());
  reindex();
  return {&keys_[positionOf(canonical)], true};
}

bool RegFileDocument::deleteKeyTree(std::string_view fullPath) {
  const std::string canonical = CanonicalRegKeyPath(fullPath);
  if (canonical.empty()) return false;
  const std::size_t before = keys_.size();
  std::erase_if(keys_,
                [&](const RegFileKey& key) { return InTree(key.canonicalPath(), canonical); });
  if (keys_.size() == before) return false;
  reindex();
  return true;
}

}  // namespace tavelin
