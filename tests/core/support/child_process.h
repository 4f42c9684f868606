// A part of a test run in a child process under other rights or limits than the test's own
// (POSIX): as an unprivileged user, since the tests run as root in CI and root ignores file
// permissions; with a small file size limit, as a full disk; with another umask.
#pragma once

#ifndef _WIN32

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace tavelin::support {

// Whether this test process runs as root, so that it can give files to other users.
bool RunningAsRoot();

// The user an unprivileged child runs as: 65534 ("nobody") when the test runs as root,
// otherwise the test's own user, who is unprivileged already.
uid_t UnprivilegedUser();
gid_t UnprivilegedGroup();

struct ChildSetup {
  bool unprivileged = false;
  std::optional<unsigned long> fileSizeLimit;  // bytes; SIGXFSZ is ignored, so writes fail
  std::optional<mode_t> umask;
};

// What the work in the child reported.
struct WorkResult {
  bool ok = false;
  std::string message;
};

struct ChildResult {
  bool ran = false;     // the child set up, did the work and reported
  std::string problem;  // why not, when !ran
  WorkResult work;
};

// Forks, sets the child up, runs `work` there and brings its result back through a pipe.
// The child ends with _exit, so nothing of the test process's state is torn down twice.
ChildResult RunInChild(const ChildSetup& setup, const std::function<WorkResult()>& work);

}  // namespace tavelin::support

#endif  // _WIN32
