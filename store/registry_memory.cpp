#include "store/registry_memory.h"

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
      it = key->subkeys.emplace(folded, Key{level, {}, {}}).first;
    }
    key = &it->second;
  }
  return key;
}

bool MemoryRegistry::mutate() {
  if (!admitWrite()) return false;
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
  if (root != kCurrentUser || !mutate()) return false;
  Key* key = find(root, keyPath, true);
  auto& slot = key->values[FoldRegistryName(name)];
  if (slot.first.empty()) slot.first = std::string(name);
  slot.second = value;
  return true;
}

bool MemoryRegistry::deleteValue(RootKey root, std::string_view keyPath, std::string_view name) {
  if (root != kCurrentUser || !mutate()) return false;
  Key* key = find(root, keyPath, true);
  key->values.erase(FoldRegistryName(name));
  return true;
}

bool MemoryRegistry::keyExists(RootKey root, std::string_view keyPath) {
  return find(root, keyPath, false) != nullptr;
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
