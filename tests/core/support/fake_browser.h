// A fake web browser for the launcher tests (POSIX): a shell script in a folder of its own
// that writes the arguments it was given, each ended by a NUL byte, into "record" (renamed
// into place once complete, so that a half-written record is never read).
#pragma once

#ifndef _WIN32

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/files.h"

namespace tavelin::support {

class FakeBrowser {
 public:
  FakeBrowser();

  const std::filesystem::path& folder() const { return folder_.path(); }
  // The fake browser itself.
  const std::filesystem::path& program() const { return program_; }
  // Where it records its arguments.
  std::filesystem::path record() const { return folder_ / "record"; }
  // A search path that finds nothing (an empty folder).
  std::string emptyPath() const { return (folder_ / "empty").string(); }

  // Another shell script in the folder.
  std::filesystem::path writeScript(const std::string& name, const std::string& body,
                                    bool executable = true) const;

  // The arguments the fake browser received, waiting up to five seconds for it to run;
  // nothing when it did not.
  std::optional<std::vector<std::string>> recordedArguments() const;

 private:
  TemporaryFolder folder_;
  std::filesystem::path program_;
};

}  // namespace tavelin::support

#endif  // _WIN32
