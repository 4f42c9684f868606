#ifndef _WIN32

#include "support/hive_tools.h"

#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/wtf8.h"
#include "store/registry_names.h"
#include "support/blank_hive.h"
#include "support/files.h"

namespace tavelin::support {

namespace fs = std::filesystem;

fs::path WriteBlankHive(const fs::path& path) {
  WriteBytes(path, BlankHiveBytes());
  return path;
}

HiveValue StringValue(std::string_view name, std::u16string_view text) {
  std::u16string terminated(text);
  terminated.push_back(u'\0');
  const std::string bytes = TextToUtf16LeBytes(terminated);
  return {std::string(name), RegValue{regtype::kSz, {bytes.begin(), bytes.end()}}};
}

namespace {

std::string Quoted(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

std::optional<std::string> CommandOutput(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  if (::pclose(pipe) != 0) return std::nullopt;
  return out;
}

bool AddToHive(const fs::path& hive, std::string_view keyPath,
               const std::vector<HiveValue>& values) {
  hive_h* h = hivex_open(hive.c_str(), HIVEX_OPEN_WRITE);
  if (!h) return false;
  hive_node_h node = hivex_root(h);
  for (const std::string& level : SplitKeyPath(keyPath)) {
    hive_node_h child = hivex_node_get_child(h, node, level.c_str());
    if (child == 0) child = hivex_node_add_child(h, node, level.c_str());
    if (child == 0) {
      hivex_close(h);
      return false;
    }
    node = child;
  }
  bool ok = true;
  for (const HiveValue& value : values) {
    hive_set_value set{};
    set.key = const_cast<char*>(value.name.c_str());
    std::memcpy(&set.t, &value.value.type, sizeof set.t);
    set.len = value.value.data.size();
    set.value = reinterpret_cast<char*>(const_cast<std::uint8_t*>(value.value.data.data()));
    ok = ok && hivex_node_set_value(h, node, &set, 0) == 0;
  }
  ok = ok && hivex_commit(h, nullptr, 0) == 0;
  hivex_close(h);
  return ok;
}

bool HiveToolsPresent() {
  return std::system(
             "command -v hivexregedit >/dev/null 2>&1 && "
             "command -v hivexsh >/dev/null 2>&1") == 0;
}

std::optional<std::string> ExportHive(const fs::path& hive) {
  return CommandOutput("hivexregedit --export --prefix HKEY_CURRENT_USER " + Quoted(hive) +
                       " '\\'");
}

bool OpensInHivexsh(const fs::path& hive) {
  const std::optional<std::string> out =
      CommandOutput("printf 'ls\\nlsval\\n' | hivexsh " + Quoted(hive));
  return out.has_value();
}

namespace {

struct HiveCloser {
  void operator()(hive_h* hive) const { hivex_close(hive); }
};

template <class T>
std::unique_ptr<T, decltype(&std::free)> Owned(T* pointer) {
  return {pointer, &std::free};
}

bool ReadKey(hive_h* h, hive_node_h node, const std::string& path, HiveContents& contents) {
  std::vector<HiveValue>& values = contents[path];
  const auto handles = Owned(hivex_node_values(h, node));
  if (!handles) return false;
  for (std::size_t i = 0; handles.get()[i] != 0; ++i) {
    const hive_value_h value = handles.get()[i];
    const auto name = Owned(hivex_value_key(h, value));
    hive_type type{};
    std::size_t length = 0;
    const auto data = Owned(hivex_value_value(h, value, &type, &length));
    if (!name || !data) return false;
    RegValue stored;
    std::memcpy(&stored.type, &type, sizeof stored.type);
    stored.data.assign(data.get(), data.get() + length);
    values.push_back({std::string(name.get(), hivex_value_key_len(h, value)), std::move(stored)});
  }
  const auto children = Owned(hivex_node_children(h, node));
  if (!children) return false;
  for (std::size_t i = 0; children.get()[i] != 0; ++i) {
    const hive_node_h child = children.get()[i];
    const auto name = Owned(hivex_node_name(h, child));
    if (!name) return false;
    const std::string childName(name.get(), hivex_node_name_len(h, child));
    if (!ReadKey(h, child, path.empty() ? childName : path + "\\" + childName, contents)) {
      return false;
    }
  }
  return true;
}

std::string Describe(const std::vector<HiveValue>& values) {
  std::string text;
  for (const HiveValue& value : values) {
    text += " \"" + value.name + "\" (type " + std::to_string(value.value.type) + ", " +
            std::to_string(value.value.data.size()) + " bytes)";
  }
  return text.empty() ? " no values" : text;
}

}  // namespace

std::optional<HiveContents> ReadHiveContents(const fs::path& hive) {
  const std::unique_ptr<hive_h, HiveCloser> h(hivex_open(hive.c_str(), 0));
  if (!h) return std::nullopt;
  HiveContents contents;
  if (!ReadKey(h.get(), hivex_root(h.get()), "", contents)) return std::nullopt;
  return contents;
}

std::string FirstDifference(const HiveContents& expected, const HiveContents& actual) {
  for (const auto& [key, values] : expected) {
    const auto found = actual.find(key);
    if (found == actual.end()) return "the key \"" + key + "\" is missing";
    const std::vector<HiveValue>& other = found->second;
    bool same = values.size() == other.size();
    for (std::size_t i = 0; same && i < values.size(); ++i) {
      same = values[i].name == other[i].name && values[i].value == other[i].value;
    }
    if (!same) {
      return "the key \"" + key + "\" holds" + Describe(other) + " instead of" + Describe(values);
    }
  }
  for (const auto& [key, values] : actual) {
    if (expected.count(key) == 0) return "the key \"" + key + "\" is there too";
  }
  return {};
}

bool HiveHeaderIsClean(const fs::path& hive) {
  const std::string bytes = ReadBytes(hive);
  if (bytes.size() < 0x1000) return false;
  const auto word = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
  };
  return bytes.compare(0, 4, "regf") == 0 && word(4) == word(8) &&
         word(0x1FC) == HiveHeaderChecksum(bytes);
}

bool RegfToolsPresent() {
  return std::system(
             "command -v regfinfo >/dev/null 2>&1 && command -v regfexport >/dev/null 2>&1") == 0;
}

std::optional<std::size_t> RegfExportKeyCount(const fs::path& hive) {
  if (!CommandOutput("regfinfo " + Quoted(hive))) return std::nullopt;
  const std::optional<std::string> out = CommandOutput("regfexport " + Quoted(hive));
  if (!out || out->find("Error") != std::string::npos) return std::nullopt;
  std::size_t count = 0;
  for (std::size_t at = 0; (at = out->find("\nKey path: ", at)) != std::string::npos; ++at) ++count;
  return count;
}

std::optional<fs::path> SharedHive(std::string_view name) {
  const fs::path path = fs::path(TAVELIN_SOURCE_DIR) / ".." / "shared" / "hives" / name;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  return path;
}

}  // namespace tavelin::support

#endif  // _WIN32
