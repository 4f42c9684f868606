#include "support/registry_memory.h"

#include "store/registry_names.h"

namespace tavelin {

MemoryRegistry::Key* MemoryRegistry::find(RootKey root, std::string_view keyPath, bool create) {
  if (root != kCurrentUser) return nullptr;
  Key* key = &root_;
  for (const std::string& level : SplitKeyPath(keyPath)) {
    const std::string folded = FoldRegistryName(level);
    auto it = key->subkeys.find(folded);
    if (it == key->subkeys.end()) {
      if (!create) return nullptr;
      it = key->subkeys.emplace(folded, Key{level, {}, {}, {}}).first;
    }
    key = &it->second;
  }
  return key;
}

bool MemoryRegistry::mutate() {
  if (!admitWrite()) return false;
  snapshotForBackup();
  if (!writePendingBackup()) return false;
  if (failWrites_) {
    reportWriteFailure("The memory registry refused a write.");
    return false;
  }
  if (inTransaction()) {
    dirty_ = true;
  } else {
    ++committedChanges_;
  }
  return true;
}

std::optional<RegValue> MemoryRegistry::queryValue(RootKey root, std::string_view keyPath,
                                                   std::string_view name) {
  if (failReads_) {
    if (!inTransaction()) reportReadFailure("The memory registry could not be read.");
    return std::nullopt;
  }
  Key* key = find(root, keyPath, false);
  if (!key) return std::nullopt;
  const auto it = key->values.find(FoldRegistryName(name));
  if (it == key->values.end()) return std::nullopt;
  return it->second.second;
}

bool MemoryRegistry::setValue(RootKey root, std::string_view keyPath, std::string_view name,
                              const RegValue& value) {
  if (root != kCurrentUser) return false;
  // Storing what is there already is no write.
  if (Key* key = find(root, keyPath, false)) {
    const auto it = key->values.find(FoldRegistryName(name));
    if (it != key->values.end() && it->second.second == value) return admitWrite();
  }
  if (!mutate()) return false;
  Key* key = find(root, keyPath, true);
  const std::string folded = FoldRegistryName(name);
  const bool fresh = !key->values.contains(folded);
  auto& slot = key->values[folded];
  if (fresh) {
    slot.first = std::string(name);
    key->order.push_back(folded);
  }
  slot.second = value;
  return true;
}

bool MemoryRegistry::deleteValue(RootKey root, std::string_view keyPath, std::string_view name) {
  if (root != kCurrentUser) return false;
  if (Key* key = find(root, keyPath, false); key && !key->values.contains(FoldRegistryName(name))) {
    return admitWrite();  // nothing to delete, and the key is there: no write
  }
  if (!mutate()) return false;
  Key* key = find(root, keyPath, true);
  const std::string folded = FoldRegistryName(name);
  if (key->values.erase(folded) > 0) std::erase(key->order, folded);
  return true;
}

bool MemoryRegistry::keyExists(RootKey root, std::string_view keyPath) {
  return find(root, keyPath, false) != nullptr;
}

std::vector<std::string> MemoryRegistry::valueNames(RootKey root, std::string_view keyPath) {
  std::vector<std::string> names;
  if (Key* key = find(root, keyPath, false)) {
    for (const std::string& folded : key->order) names.push_back(key->values.at(folded).first);
  }
  return names;
}

std::vector<std::string> MemoryRegistry::subkeyNames(RootKey root, std::string_view keyPath) {
  std::vector<std::string> names;
  if (Key* key = find(root, keyPath, false)) {
    for (const auto& [folded, subkey] : key->subkeys) names.push_back(subkey.name);
  }
  return names;
}

void MemoryRegistry::onBegin(LoadKind /*kind*/) {
  dirty_ = false;
  if (failReads_) reportReadFailure("The memory registry could not be read.");
}

void MemoryRegistry::onEnd() {
  if (dirty_) ++committedChanges_;
  dirty_ = false;
}

}  // namespace tavelin
