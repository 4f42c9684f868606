// A registry held in memory, for the tests and the benchmarks: the program never keeps one.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "store/registry.h"

namespace tavelin {

class MemoryRegistry : public RegistryBackend {
 public:
  std::optional<RegValue> queryValue(RootKey root, std::string_view keyPath,
                                     std::string_view name) override;
  bool setValue(RootKey root, std::string_view keyPath, std::string_view name,
                const RegValue& value) override;
  bool deleteValue(RootKey root, std::string_view keyPath, std::string_view name) override;
  bool keyExists(RootKey root, std::string_view keyPath) override;
  std::vector<std::string> valueNames(RootKey root, std::string_view keyPath) override;
  std::vector<std::string> subkeyNames(RootKey root, std::string_view keyPath) override;
  std::string description() const override { return "memory registry"; }

  // For tests: make every following read or write fail, or succeed again.
  void setFailWrites(bool fail) { failWrites_ = fail; }
  void setFailReads(bool fail) { failReads_ = fail; }
  // How many transactions ended with a change (a stand-in for file writes).
  int committedChanges() const { return committedChanges_; }

 protected:
  void onBegin(LoadKind kind) override;
  void onEnd() override;

 private:
  struct Key {
    std::string name;
    std::map<std::string, std::pair<std::string, RegValue>> values;  // folded name -> (name, value)
    std::map<std::string, Key> subkeys;                              // folded name -> key
    std::vector<std::string> order;  // folded value names, in the order they were made
  };
  Key* find(RootKey root, std::string_view keyPath, bool create);
  bool mutate();

  Key root_;
  bool failWrites_ = false;
  bool failReads_ = false;
  bool dirty_ = false;
  int committedChanges_ = 0;
};

}  // namespace tavelin
