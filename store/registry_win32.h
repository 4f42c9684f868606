// The Windows registry itself, reached through the Unicode (W) forms of the registry API.
#pragma once

#include <string>
#include <vector>

#include "store/registry.h"

namespace tavelin {

// Every call opens (or creates) its key, does its one read, write or delete, and closes the
// key again; nothing is cached. Text crosses to the API as UTF-16, so nothing passes through
// a code page.
class Win32Registry : public RegistryBackend {
 public:
  // `keyPrefix` (a key path such as "Software\\TavelinTests\\1234") is put in front of every
  // key path, so that tests work in a sandbox of their own and never touch the real keys.
  explicit Win32Registry(std::string keyPrefix = {});

  std::optional<RegValue> queryValue(RootKey root, std::string_view keyPath,
                                     std::string_view name) override;
  bool setValue(RootKey root, std::string_view keyPath, std::string_view name,
                const RegValue& value) override;
  bool deleteValue(RootKey root, std::string_view keyPath, std::string_view name) override;
  bool keyExists(RootKey root, std::string_view keyPath) override;
  std::vector<std::string> valueNames(RootKey root, std::string_view keyPath) override;
  std::vector<std::pair<std::string, RegValue>> keyValues(RootKey root,
                                                          std::string_view keyPath) override;
  std::vector<std::string> subkeyNames(RootKey root, std::string_view keyPath) override;
  std::string exportPath(RootKey root, std::string_view keyPath) const override;
  std::string description() const override;

  // The key path as it reaches the API, prefix included.
  std::string fullKeyPath(std::string_view keyPath) const;

 protected:
  // Each call stands alone: a failure may come after earlier calls of the command landed.
  bool writesAllOrNothing() const override { return false; }

 private:
  std::string prefix_;
};

}  // namespace tavelin
