// What the program reads before its window opens, on any bytes: the mount table that "Open
// hive" searches, and the command line (the bytes split at NULs into arguments). No line gives
// more than one mount, and a command line either runs, answers or says what was wrong.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/windows_hives.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "start-up input: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // No line gives more than one mount.
  const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  const std::vector<tavelin::MountPoint> mounts = tavelin::ParseMountTable(bytes);
  if (mounts.size() > lines) Fail("more mounts than lines");
  for (const tavelin::MountPoint& mount : mounts) (void)tavelin::MayHoldWindowsProfiles(mount.type);

  std::vector<std::string> arguments;
  std::size_t at = 0;
  while (at <= bytes.size()) {
    const std::size_t end = std::min(bytes.find('\0', at), bytes.size());
    arguments.emplace_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  const tavelin::CommandLine line = tavelin::ParseCommandLine(arguments);
  using Action = tavelin::CommandLine::Action;
  if ((line.action == Action::kWrong) == line.wrong.empty()) Fail("a wrong line without why");
  if (line.action == Action::kRun && !line.file.empty() &&
      std::find(arguments.begin(), arguments.end(), line.file) == arguments.end()) {
    Fail("a file that was not given");
  }
  return 0;
}
