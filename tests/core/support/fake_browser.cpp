#ifndef _WIN32

#include "support/fake_browser.h"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace tavelin::support {

namespace fs = std::filesystem;

FakeBrowser::FakeBrowser() : folder_("browse") {
  fs::create_directory(folder_ / "empty");
  const std::string part = (folder_ / "record.part").string();
  program_ =
      writeScript("fake-browser", "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + part +
                                      "' && mv '" + part + "' '" + record().string() + "'\n");
}

fs::path FakeBrowser::writeScript(const std::string& name, const std::string& body,
                                  bool executable) const {
  const fs::path path = folder_ / name;
  std::ofstream(path) << "#!/bin/sh\n" << body;
  ::chmod(path.c_str(), executable ? 0755 : 0644);
  return path;
}

std::optional<std::vector<std::string>> FakeBrowser::recordedArguments() const {
  for (int attempt = 0; attempt < 500 && !fs::exists(record()); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::ifstream in(record(), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> arguments;
  for (std::string argument; std::getline(in, argument, '\0');) arguments.push_back(argument);
  return arguments;
}

}  // namespace tavelin::support

#endif  // _WIN32
