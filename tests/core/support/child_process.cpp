#ifndef _WIN32

#include "support/child_process.h"

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavelin::support {

namespace {

constexpr uid_t kNobody = 65534;

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// In the child: the setup, or why it failed.
std::string SetUp(const ChildSetup& setup) {
  if (setup.unprivileged && RunningAsRoot()) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
      return std::string("cannot become user 65534: ") + std::strerror(errno);
    }
    if (::geteuid() != kNobody || ::setuid(0) == 0) return "the child kept root's rights";
  }
  if (setup.umask) ::umask(*setup.umask);
  if (setup.fileSizeLimit) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(*setup.fileSizeLimit);
    if (::sigaction(SIGXFSZ, &ignore, nullptr) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      return std::string("cannot limit the file size: ") + std::strerror(errno);
    }
  }
  return {};
}

}  // namespace

bool RunningAsRoot() {
  return ::geteuid() == 0;
}

uid_t UnprivilegedUser() {
  return RunningAsRoot() ? kNobody : ::geteuid();
}

gid_t UnprivilegedGroup() {
  return RunningAsRoot() ? static_cast<gid_t>(kNobody) : ::getegid();
}

ChildResult RunInChild(const ChildSetup& setup, const std::function<WorkResult()>& work) {
  ChildResult result;
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) {
    result.problem = std::string("no pipe: ") + std::strerror(errno);
    return result;
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    result.problem = std::string("no child: ") + std::strerror(errno);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return result;
  }
  if (pid == 0) {
    ::close(pipeFds[0]);
    const std::string problem = SetUp(setup);
    if (!problem.empty()) {
      WriteAll(pipeFds[1], "E" + problem);
      ::_exit(1);
    }
    const WorkResult done = work();
    WriteAll(pipeFds[1], (done.ok ? "1" : "0") + done.message);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string report;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    report.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty() ||
      (report[0] != '0' && report[0] != '1')) {
    result.problem =
        report.size() > 1 && report[0] == 'E'
            ? report.substr(1)
            : "the child ended without a report (status " + std::to_string(status) + ")";
    return result;
  }
  result.ran = true;
  result.work.ok = report[0] == '1';
  result.work.message = report.substr(1);
  return result;
}

}  // namespace tavelin::support

#endif  // _WIN32
