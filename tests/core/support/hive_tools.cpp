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

// The command's standard output, or nothing when it fails.
std::optional<std::string> Output(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  if (::pclose(pipe) != 0) return std::nullopt;
  return out;
}

}  // namespace

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
  return Output("hivexregedit --export --prefix HKEY_CURRENT_USER " + Quoted(hive) + " '\\'");
}

bool OpensInHivexsh(const fs::path& hive) {
  const std::optional<std::string> out = Output("printf 'ls\\nlsval\\n' | hivexsh " + Quoted(hive));
  return out.has_value();
}

std::optional<fs::path> SharedHive(std::string_view name) {
  const fs::path path = fs::path(TAVELIN_SOURCE_DIR) / ".." / "shared" / "hives" / name;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  return path;
}

}  // namespace tavelin::support

#endif  // _WIN32
