#include "store/reg_file_document.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <iterator>

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

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string_view ParentOf(std::string_view canonical) {
  const std::size_t cut = canonical.rfind('\\');
  return cut == std::string_view::npos ? std::string_view() : canonical.substr(0, cut);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Paths

std::string RegFileKeyPath(RootKey root, std::string_view keyPath) {
  std::string path;
  for (const RootName& r : kRoots) {
    if (r.root == root) path = r.longName;
  }
  if (path.empty()) return path;
  path.reserve(path.size() + keyPath.size() + 1);
  // Every level after a backslash; empty levels are dropped.
  for (std::size_t start = 0; start <= keyPath.size();) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string_view::npos) end = keyPath.size();
    if (end > start) {
      path += '\\';
      path.append(keyPath, start, end - start);
    }
    start = end + 1;
  }
  return path;
}

void CanonicalRegKeyPath(std::string_view fullPath, std::string& out) {
  // Runs for every section read and every key a command touches: plain ASCII paths (nearly
  // all of them) are folded as they are copied, and only a path found not to be ASCII is
  // folded whole first.
  std::string foldedCopy;
  for (int pass = 0; pass < 2; ++pass) {
    out.clear();
    std::size_t start = fullPath.find_first_not_of('\\');
    if (start == std::string_view::npos) return;
    const std::size_t end = std::min(fullPath.find('\\', start), fullPath.size());
    const std::string_view level = fullPath.substr(start, end - start);
    for (const RootName& r : kRoots) {
      const auto same = [&](std::string_view name) {
        return std::equal(level.begin(), level.end(), name.begin(), name.end(),
                          [](char a, char b) { return FoldAsciiLetter(a) == b; });
      };
      if (same(r.longName) || same(r.shortName)) out = r.longName;
    }
    if (out.empty()) return;
    // Every later level after one backslash, empty ones dropped.
    const std::size_t rootSize = out.size();
    out.resize(rootSize + (fullPath.size() - end));
    char* o = out.data() + rootSize;
    bool levelStarts = true;
    unsigned char seen = 0;  // the high bits of every byte
    for (std::size_t i = end; i < fullPath.size(); ++i) {
      const char c = fullPath[i];
      if (c == '\\') {
        levelStarts = true;
        continue;
      }
      if (levelStarts) *o++ = '\\';
      levelStarts = false;
      seen |= static_cast<unsigned char>(c);
      *o++ = FoldAsciiLetter(c);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (pass == 1 || (seen & 0x80) == 0) return;
    foldedCopy = FoldRegistryName(fullPath);
    fullPath = foldedCopy;
  }
}

std::string CanonicalRegKeyPath(std::string_view fullPath) {
  std::string out;
  CanonicalRegKeyPath(fullPath, out);
  return out;
}

// ---------------------------------------------------------------------------------------
// Value data

void RegFileBytes::own(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  auto* copy = new std::uint8_t[bytes.size()];
  std::memcpy(copy, bytes.data(), bytes.size());
  data_ = copy;
  size_ = bytes.size();
  owned_ = true;
}

void RegFileBytes::assign(std::span<const std::uint8_t> bytes) {
  if (bytes.size() == size_) {
    // The bytes may be its own.
    if (size_ != 0) std::memmove(data_, bytes.data(), size_);
    return;
  }
  RegFileBytes copy(bytes);
  *this = std::move(copy);
}

RegFileBytes RegFileDocument::Storage::keep(std::span<const std::uint8_t> first,
                                            std::span<const std::uint8_t> second) {
  const std::size_t size = first.size() + second.size();
  if (size == 0) return {};
  if (size > left_) {
    // Blocks grow with the file, so that a small one takes little room and a large one few
    // allocations; data larger than a block has one of its own.
    constexpr std::size_t kFirst = 4096;
    constexpr std::size_t kLargest = std::size_t{1} << 20;
    const std::size_t next =
        blocks_.empty() ? kFirst
                        : std::min(kLargest, kFirst << std::min<std::size_t>(blocks_.size(), 8));
    const std::size_t room = std::max(next, size);
    blocks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(room));
    free_ = blocks_.back().get();
    left_ = room;
  }
  if (!first.empty()) std::memcpy(free_, first.data(), first.size());
  if (!second.empty()) std::memcpy(free_ + first.size(), second.data(), second.size());
  RegFileBytes kept = RegFileBytes::Kept(free_, size);
  free_ += size;
  left_ -= size;
  return kept;
}

// ---------------------------------------------------------------------------------------
// Keys

RegFileKey::RegFileKey(std::string_view path) : pathSize_(path.size()) {
  const std::string text = std::string(path) + CanonicalRegKeyPath(path);
  text_ = RegFileBytes(AsBytes(text));
}

RegFileKey::RegFileKey(RegFileBytes text, std::size_t pathSize)
    : text_(std::move(text)), pathSize_(pathSize) {}

std::size_t RegFileKey::position(std::string_view name, std::uint64_t& hash) const {
  // Commands go through a key's values in order: the one after the last found comes first.
  if (next_ < values_.size() && SameRegistryName(values_[next_].name, name)) return next_++;
  hash = hashFor(name);
  const std::size_t at = search(name, hash);
  next_ = at + 1;
  return at;
}

std::size_t RegFileKey::search(std::string_view name, std::uint64_t hash) const {
  if (!index_.empty()) {
    const std::size_t at =
        index_.find(hash, [&](std::size_t i) { return SameRegistryName(values_[i].name, name); });
    return at == RegFilePositionIndex::kNone ? values_.size() : at;
  }
  for (std::size_t i = 0; i < values_.size(); ++i) {
    if (SameRegistryName(values_[i].name, name)) return i;
  }
  return values_.size();
}

std::uint64_t RegFileKey::hashFor(std::string_view name) const {
  // Only a key whose values are indexed needs it.
  return index_.empty() && values_.size() + 1 < kIndexFrom ? 0 : HashRegistryName(name);
}

void RegFileKey::reindex(std::size_t room) {
  index_.clear();
  room = std::max(room, values_.size());
  if (room < kIndexFrom) return;
  index_.reset(room);
  for (std::size_t i = 0; i < values_.size(); ++i)
    index_.place(HashRegistryName(values_[i].name), i);
}

void RegFileKey::reserve(std::size_t more) {
  const std::size_t room = values_.size() + more;
  values_.reserve(room);
  // Indexed once for the whole section, not again at each doubling.
  if (room >= kIndexFrom && (index_.empty() || index_.full(room))) reindex(room);
}

void RegFileKey::count(const RegFileValue& v, int sign) {
  const auto add = [sign](std::size_t& total, std::size_t n) {
    total = sign > 0 ? total + n : total - n;
  };
  add(sizes_.names, v.name.size());
  add(v.type == regtype::kSz ? sizes_.stringData : sizes_.otherData, v.data.size());
}

std::optional<RegValueView> RegFileKey::find(std::string_view name) const {
  std::uint64_t hash = 0;
  const std::size_t at = position(name, hash);
  if (at == values_.size()) return std::nullopt;
  return values_[at].value();
}

template <class Name, class Make>
bool RegFileKey::store(Name&& name, RegValueView value, Make&& make) {
  std::uint64_t hash = 0;  // worked out when the name is searched for, and it is new
  const std::size_t at = position(name, hash);
  if (at == values_.size()) {
    RegFileValue fresh{std::string(std::forward<Name>(name)), value.type, make()};
    count(fresh, 1);
    values_.push_back(std::move(fresh));
    if (index_.empty() ? values_.size() >= kIndexFrom : index_.full(values_.size())) {
      reindex();
    } else if (!index_.empty()) {
      index_.place(hash, at);
    }
    return true;
  }
  RegFileValue& slot = values_[at];
  if (slot.value() == value) return false;
  count(slot, -1);
  slot.type = value.type;
  make(slot.data);
  count(slot, 1);
  return true;
}

bool RegFileKey::set(std::string_view name, RegValueView value) {
  struct Copy {
    std::span<const std::uint8_t> bytes;
    RegFileBytes operator()() const { return RegFileBytes(bytes); }
    void operator()(RegFileBytes& into) const { into.assign(bytes); }  // reuses its buffer
  };
  return store(name, value, Copy{value.data});
}

bool RegFileKey::set(RegFileValue&& value) {
  struct Take {
    RegFileBytes& bytes;
    RegFileBytes operator()() const { return std::move(bytes); }
    void operator()(RegFileBytes& into) const { into = std::move(bytes); }
  };
  const RegValueView view = value.value();
  return store(std::move(value.name), view, Take{value.data});
}

bool RegFileKey::remove(std::string_view name) {
  std::uint64_t hash = 0;
  const std::size_t at = position(name, hash);
  if (at == values_.size()) return false;
  count(values_[at], -1);
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(at));
  if (index_.empty()) return true;
  // The last value (a list cut short loses its end) leaves every other one where it was.
  if (at == values_.size()) {
    index_.removeLast(hash != 0 ? hash : HashRegistryName(name), at);
  } else {
    reindex();
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Documents

void RegFilePositionIndex::reset(std::size_t count) {
  slots_.assign(std::bit_ceil(std::max<std::size_t>(64, 4 * count)), 0);
  used_ = 0;
}

void RegFilePositionIndex::place(std::uint64_t hash, std::size_t position) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = hash & mask;
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = (hash >> 32 << 32) | (position + 1);
  ++used_;
}

void RegFilePositionIndex::removeLast(std::uint64_t hash, std::size_t position) {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t s = hash & mask; slots_[s] != 0; s = (s + 1) & mask) {
    if ((slots_[s] & 0xFFFFFFFFu) == position + 1) {
      slots_[s] = (slots_[s] >> 32 << 32) | kRemoved;
      return;
    }
  }
}

namespace {

std::uint64_t HashOf(std::string_view canonical) {
  return std::hash<std::string_view>{}(canonical);
}

}  // namespace

std::size_t RegFileDocument::positionOf(std::string_view canonical) const {
  return positionOf(canonical, HashOf(canonical));
}

std::size_t RegFileDocument::positionOf(std::string_view canonical, std::uint64_t hash) const {
  return index_.find(hash, [&](std::size_t at) { return keys_[at].canonicalPath() == canonical; });
}

void RegFileDocument::rebuildIndex(std::size_t sections) {
  index_.reset(sections);
  for (std::size_t i = 0; i < keys_.size(); ++i) index_.place(HashOf(keys_[i].canonicalPath()), i);
}

void RegFileDocument::addToIndex(std::size_t position, std::uint64_t hash) {
  if (index_.full(keys_.size())) {
    rebuildIndex(keys_.size());
  } else {
    index_.place(hash, position);
  }
}

void RegFileDocument::reserve(std::size_t sections) {
  keys_.reserve(sections);
  if (index_.full(sections)) rebuildIndex(sections);
}

bool RegFileDocument::exists(std::string_view canonical) const {
  return positionOf(canonical) != kNone || ancestors_.count(std::string(canonical)) != 0;
}

void RegFileDocument::addAncestors(std::string_view canonical, std::string_view known) {
  // Up to the first one known: its own ancestors are known already. The roots always exist.
  // In an export a section mostly follows its parent or a sibling, so the section before it
  // (`known`, whose ancestors are all known) shows that without a search through the table.
  const std::string_view last = known;
  for (std::string_view p = ParentOf(canonical); p.find('\\') != std::string_view::npos;
       p = ParentOf(p)) {
    if (InTree(last, p) || positionOf(p) != kNone || !ancestors_.emplace(p).second) return;
  }
}

void RegFileDocument::reindex() {
  lastPosition_ = kNone;
  rebuildIndex(keys_.size());
  ancestors_.clear();
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    addAncestors(keys_[i].canonicalPath(),
                 i > 0 ? keys_[i - 1].canonicalPath() : std::string_view());
  }
}

std::size_t RegFileDocument::sectionFor(std::string_view fullPath) const {
  // A command reads and writes one key's values one after another: the path it asked for
  // last is remembered as written, so that it is folded and looked up once.
  if (lastPosition_ != kNone && fullPath == lastPath_) return lastPosition_;
  const std::size_t at = positionOf(CanonicalRegKeyPath(fullPath));
  if (at != kNone) {
    lastPath_ = fullPath;
    lastPosition_ = at;
  }
  return at;
}

RegFileKey* RegFileDocument::findKey(std::string_view fullPath) {
  const std::size_t at = sectionFor(fullPath);
  return at == kNone ? nullptr : &keys_[at];
}

const RegFileKey* RegFileDocument::findKey(std::string_view fullPath) const {
  const std::size_t at = sectionFor(fullPath);
  return at == kNone ? nullptr : &keys_[at];
}

bool RegFileDocument::keyExists(std::string_view fullPath) const {
  const std::string canonical = CanonicalRegKeyPath(fullPath);
  if (canonical.empty()) return false;
  return canonical.find('\\') == std::string::npos || exists(canonical);
}

RegFileKey* RegFileDocument::appendSection(std::string_view fullPath) {
  std::string& canonical = scratch_;
  CanonicalRegKeyPath(fullPath, canonical);
  if (canonical.empty()) return nullptr;
  const std::uint64_t hash = HashOf(canonical);
  if (const std::size_t at = positionOf(canonical, hash); at != kNone) return &keys_[at];
  addAncestors(canonical, keys_.empty() ? std::string_view() : keys_.back().canonicalPath());
  keys_.emplace_back(storage_.keep(AsBytes(fullPath), AsBytes(canonical)), fullPath.size());
  addToIndex(keys_.size() - 1, hash);
  return &keys_.back();
}

std::pair<RegFileKey*, bool> RegFileDocument::createKey(std::string_view fullPath) {
  if (const std::size_t at = sectionFor(fullPath); at != kNone) return {&keys_[at], false};
  const std::string canonical = CanonicalRegKeyPath(fullPath);
  if (canonical.empty()) return {nullptr, false};
  const std::vector<std::string> levels = SplitKeyPath(fullPath);
  std::vector<std::string> canonicalLevels;  // canonical path of each depth
  {
    std::string_view c = canonical;
    std::size_t cut = 0;
    while ((cut = c.find('\\', cut)) != std::string_view::npos) {
      canonicalLevels.emplace_back(c.substr(0, cut));
      ++cut;
    }
    canonicalLevels.emplace_back(c);
  }
  // The deepest key on the way that exists already (at worst the root).
  std::size_t known = 0;
  for (std::size_t d = 1; d < canonicalLevels.size(); ++d) {
    if (!exists(canonicalLevels[d])) break;
    known = d;
  }
  const std::string& anchor = canonicalLevels[known];

  // Keep the spelling the file already uses for the existing part of the path.
  std::vector<std::string> spelled = levels;
  std::size_t insertAt = keys_.size();
  std::size_t firstInTree = keys_.size();
  bool anyInTree = false;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (!InTree(keys_[i].canonicalPath(), anchor)) continue;
    if (!anyInTree) {
      firstInTree = i;
      const std::vector<std::string> existing = SplitKeyPath(keys_[i].path());
      for (std::size_t d = 0; d <= known && d < existing.size(); ++d) spelled[d] = existing[d];
    }
    anyInTree = true;
    insertAt = i + 1;
  }
  // A key that exists only through its subkeys gets its section in front of them.
  if (known + 1 == canonicalLevels.size() && anyInTree) insertAt = firstInTree;

  std::string path;
  for (std::size_t d = 0; d <= known; ++d) {
    if (d > 0) path += '\\';
    path += spelled[d];
  }
  std::vector<RegFileKey> fresh;
  if (known + 1 == canonicalLevels.size()) fresh.emplace_back(path);
  for (std::size_t d = known + 1; d < canonicalLevels.size(); ++d) {
    path += '\\';
    path += spelled[d];
    fresh.emplace_back(path);
  }
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(insertAt),
               std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
  reindex();
  return {&keys_[positionOf(canonical)], true};
}

bool RegFileDocument::deleteKeyTree(std::string_view fullPath) {
  const std::string canonical = CanonicalRegKeyPath(fullPath);
  if (canonical.empty()) return false;
  const auto end = std::remove_if(keys_.begin(), keys_.end(), [&](const RegFileKey& k) {
    return InTree(k.canonicalPath(), canonical);
  });
  if (end == keys_.end()) return false;
  keys_.erase(end, keys_.end());
  reindex();
  return true;
}

}  // namespace tavelin
