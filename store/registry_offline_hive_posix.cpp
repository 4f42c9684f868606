#include "store/registry_offline_hive.h"

#include <map>
#include <utility>

#include "platform/wide_text.h"
#include "store/hive_access.h"
#include "store/hive_commit.h"
#include "store/hive_files.h"
#include "store/registry_names.h"

namespace tavelin {

namespace fs = std::filesystem;

struct OfflineHiveRegistry::Session {
  OpenedHive opened;
  std::map<std::string, hive_node_h> nodes;  // folded path -> key
  HiveKeys keys;
  bool dirty = false;  // a key was made or a value list changed
};

OfflineHiveRegistry::OfflineHiveRegistry(fs::path path, std::chrono::milliseconds lockTimeout)
    : path_(std::move(path)), lockTimeout_(lockTimeout) {}

OfflineHiveRegistry::~OfflineHiveRegistry() = default;

std::string OfflineHiveRegistry::description() const {
  return platform::PathText(path_);
}

void OfflineHiveRegistry::onBegin(LoadKind /*kind*/) {
  session_.reset();
  auto session = std::make_unique<Session>();
  session->opened = OpenOfflineHive(path_, readOnly(), lockTimeout_);
  unrecovered_ = session->opened.unrecovered;
  if (!session->opened.hive) {
    reportReadFailure("The registry hive " + description() +
                      " could not be read: " + session->opened.unreadable + ".");
    return;
  }
  session->nodes.emplace(std::string(), hivex_root(session->opened.hive.get()));
  session_ = std::move(session);
}

void OfflineHiveRegistry::onEnd() {
  if (session_ && session_->dirty) commit();
  session_.reset();
}

HiveKey* OfflineHiveRegistry::findKey(RootKey root, std::string_view keyPath, bool create) {
  if (!session_ || root != kCurrentUser) return nullptr;
  hive_h* hive = session_->opened.hive.get();
  const std::vector<std::string> levels = SplitKeyPath(keyPath);
  std::string folded;
  hive_node_h node = session_->nodes.at(std::string());
  for (const std::string& level : levels) {
    const std::string foldedLevel = FoldRegistryName(level);
    folded += '\\';
    folded += foldedLevel;
    if (auto known = session_->nodes.find(folded); known != session_->nodes.end()) {
      node = known->second;
      continue;
    }
    hive_node_h found = FindChild(hive, node, foldedLevel);
    if (found == 0) {
      // hivex takes a name up to its first NUL: a level holding one cannot be made.
      if (!create || level.find('\0') != std::string::npos) return nullptr;
      found = hivex_node_add_child(hive, node, level.c_str());
      if (found == 0) return nullptr;
      session_->dirty = true;
    }
    session_->nodes.emplace(folded, found);
    node = found;
  }

  auto [it, fresh] = session_->keys.try_emplace(node);
  HiveKey& key = it->second;
  if (fresh) {
    key.node = node;
    key.path = std::string(keyPath);
    Malloced<hive_value_h> values(hivex_node_values(hive, node));
    if (!values) key.unwritable = "its values cannot be read";
    for (std::size_t i = 0; values && values.get()[i] != 0; ++i) {
      std::optional<StoredValue> value = ReadStoredValue(hive, values.get()[i]);
      if (!value) {
        key.unwritable = "one of its values cannot be read";
        continue;
      }
      if (value->name.find('\0') != std::string::npos) {
        key.unwritable =
            "one of its value names holds a NUL character, which cannot be written "
            "back unchanged";
      }
      key.values.push_back(std::move(*value));
    }
  }
  return &key;
}

template <class Change>
bool OfflineHiveRegistry::change(RootKey root, std::string_view keyPath, Change&& apply) {
  return withinTransaction([&] {
    if (!admitWrite() || !session_) return false;
    snapshotForBackup();  // the hive as this transaction read it, before its first change
    HiveKey* key = findKey(root, keyPath, true);
    if (!key) return false;
    if (apply(*key)) {
      key->changed = true;
      session_->dirty = true;
    }
    return true;
  });
}

std::optional<RegValue> OfflineHiveRegistry::queryValue(RootKey root, std::string_view keyPath,
                                                        std::string_view name) {
  Transaction transaction(*this);
  HiveKey* key = findKey(root, keyPath, false);
  if (!key) return std::nullopt;
  const HiveKey::Value* value = key->find(name);
  if (!value) return std::nullopt;
  return value->value;
}

bool OfflineHiveRegistry::setValue(RootKey root, std::string_view keyPath, std::string_view name,
                                   const RegValue& value) {
  return change(root, keyPath, [&](HiveKey& key) {
    if (HiveKey::Value* stored = key.find(name)) {
      if (stored->value == value) return false;
      stored->value = value;  // the name keeps its stored spelling
      return true;
    }
    key.values.push_back({std::string(name), value});
    return true;
  });
}

bool OfflineHiveRegistry::deleteValue(RootKey root, std::string_view keyPath,
                                      std::string_view name) {
  return change(root, keyPath, [&](HiveKey& key) {
    const HiveKey::Value* stored = key.find(name);
    if (!stored) return false;
    key.values.erase(key.values.begin() + (stored - key.values.data()));
    return true;
  });
}

bool OfflineHiveRegistry::keyExists(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  return findKey(root, keyPath, false) != nullptr;
}

std::vector<std::string> OfflineHiveRegistry::valueNames(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  std::vector<std::string> names;
  if (HiveKey* key = findKey(root, keyPath, false)) {
    for (const HiveKey::Value& value : key->values) names.push_back(value.name);
  }
  return names;
}

std::vector<std::string> OfflineHiveRegistry::subkeyNames(RootKey root, std::string_view keyPath) {
  Transaction transaction(*this);
  std::vector<std::string> names;
  if (HiveKey* key = findKey(root, keyPath, false)) {
    hive_h* hive = session_->opened.hive.get();
    Malloced<hive_node_h> children(hivex_node_children(hive, key->node));
    for (std::size_t i = 0; children && children.get()[i] != 0; ++i) {
      names.push_back(NodeName(hive, children.get()[i]));
    }
  }
  return names;
}

bool OfflineHiveRegistry::commit() {
  const auto failed = [&](const std::string& why) {
    reportWriteFailure("The registry hive " + description() + " could not be written: " + why +
                       ".");
    return false;
  };
  Session& session = *session_;
  const OpenedHive& opened = session.opened;
  if (const std::string why =
          WhyNotCommittable(opened.unwritable, opened.minorVersion, session.keys);
      !why.empty()) {
    return failed(why);
  }
  if (!writePendingBackup()) return false;
  if (const std::string why = CommitHive(opened.hive.get(), opened.realPath, session.keys);
      !why.empty()) {
    return failed(why);
  }
  // Only now that the clean hive is in place for good may its logs go: a crash before leaves
  // the old hive with the logs it needs.
  for (const std::string& note : EmptyHiveLogs(opened.realPath)) reportNote(note);
  return true;
}

}  // namespace tavelin
