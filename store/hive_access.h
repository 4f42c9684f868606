// What the offline hive backend's parts share (POSIX, hivex): hivex's handles, a value and a
// key as a transaction holds them, and reading them from hivex.
#pragma once

#include <hivex.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_error.h"
#include "store/registry_names.h"
#include "store/registry_value.h"

namespace tavelin {

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};
using HiveHandle = std::unique_ptr<hive_h, HiveCloser>;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

inline std::string ErrnoText(int error) {
  return platform::SystemErrorText(static_cast<platform::SystemErrorCode>(error));
}

// The stored type, which may be any number: hivex's enum cannot hold every one of them.
inline std::uint32_t TypeNumber(const hive_type& type) {
  std::uint32_t number = 0;
  static_assert(sizeof(hive_type) == sizeof number);
  std::memcpy(&number, &type, sizeof number);
  return number;
}

inline void SetTypeNumber(hive_type& type, std::uint32_t number) {
  std::memcpy(&type, &number, sizeof number);
}

inline std::string NodeName(hive_h* hive, hive_node_h node) {
  Malloced<char> name(hivex_node_name(hive, node));
  if (!name) return {};
  return std::string(name.get(), hivex_node_name_len(hive, node));
}

// The direct subkey whose name folds to `folded`; 0 when there is none.
inline hive_node_h FindChild(hive_h* hive, hive_node_h parent, const std::string& folded) {
  Malloced<hive_node_h> children(hivex_node_children(hive, parent));
  for (std::size_t i = 0; children && children.get()[i] != 0; ++i) {
    if (FoldRegistryName(NodeName(hive, children.get()[i])) == folded) return children.get()[i];
  }
  return 0;
}

struct StoredValue {
  std::string name;  // as stored, a NUL in it included
  RegValue value;
};

// One value as the hive holds it; nothing when hivex cannot read its name or its data.
inline std::optional<StoredValue> ReadStoredValue(hive_h* hive, hive_value_h handle) {
  Malloced<char> name(hivex_value_key(hive, handle));
  hive_type type{};
  std::size_t length = 0;
  Malloced<char> data(hivex_value_value(hive, handle, &type, &length));
  if (!name || !data) return std::nullopt;
  StoredValue value;
  value.name.assign(name.get(), hivex_value_key_len(hive, handle));
  value.value.type = TypeNumber(type);
  value.value.data.assign(data.get(), data.get() + length);
  return value;
}

// One key this transaction has looked at, with its values as they are meant to be stored.
struct HiveKey {
  using Value = StoredValue;
  hive_node_h node = 0;
  std::string path;  // as first named, for messages and the check after the commit
  std::vector<Value> values;
  bool changed = false;
  // Why the value list cannot be handed back to hivex unchanged, when it cannot: a name it
  // cannot take back (one holding a NUL) or a value it could not read.
  std::string unwritable;

  Value* find(std::string_view name) {
    const std::string folded = FoldRegistryName(name);
    for (Value& value : values) {
      if (FoldRegistryName(value.name) == folded) return &value;
    }
    return nullptr;
  }
};

// The keys a transaction has looked at, by hivex's node.
using HiveKeys = std::map<hive_node_h, HiveKey>;

}  // namespace tavelin
