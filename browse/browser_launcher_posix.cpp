#include "browse/browser_launcher_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>
#include <vector>

#include "browse/address.h"

extern char** environ;

namespace tavelin {

namespace {

// What execvp falls back to when PATH is not set.
constexpr std::string_view kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

void WriteErrorAndExit(int fd, int error) {
  // Best effort: if the parent cannot read it, it still sees that the start went wrong.
  ssize_t ignored = ::write(fd, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

// Starts `program` with `arguments` in a session of its own, as a grandchild that the system
// adopts, so that nobody has to wait for it and it never lingers as a zombie. Returns 0 once
// the program runs, or the errno of what failed. A close-on-exec pipe tells the two apart:
// it closes without data when exec succeeds and carries the errno when it fails.
int StartDetached(const std::string& program, const std::vector<std::string>& arguments) {
  // Everything the children need is prepared here: between fork and exec only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errno;

  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return error;
  }
  if (child == 0) {
    ::close(pipeFds[0]);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild < 0) WriteErrorAndExit(pipeFds[1], errno);
    if (grandchild > 0) ::_exit(0);

    // The browser should not inherit this program's signal state or open files.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &defaults, nullptr);
    ::sigaction(SIGCHLD, &defaults, nullptr);
#if defined(__linux__) && defined(CLOSE_RANGE_CLOEXEC)
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
    ::execve(program.c_str(), argv.data(), environ);
    WriteErrorAndExit(pipeFds[1], errno);
  }

  ::close(pipeFds[1]);
  // The middle process ends as soon as it has forked; reaping it is all the waiting done here.
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  int error = 0;
  std::size_t received = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&error);
  while (received < sizeof error) {
    const ssize_t n = ::read(pipeFds[0], bytes + received, sizeof error - received);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    received += static_cast<std::size_t>(n);
  }
  ::close(pipeFds[0]);
  if (received == 0) return 0;
  return received == sizeof error && error != 0 ? error : EIO;
}

std::string StartFailure(const std::string& program, int error) {
  return "The web browser could not be started (" + program +
         "): " + std::generic_category().message(error) + ".";
}

}  // namespace

BrowserEnvironment BrowserEnvironmentOfProcess() {
  BrowserEnvironment environment;
  if (const char* browser = std::getenv("BROWSER")) environment.browser = browser;
  if (const char* path = std::getenv("PATH")) environment.path = path;
  return environment;
}

std::string FindExecutable(std::string_view program, std::string_view searchPath) {
  if (program.empty()) return {};
  if (program.find('/') != std::string_view::npos) {
    std::string path(program);
    return IsExecutableFile(path) ? path : std::string();
  }
  std::size_t start = 0;
  while (start <= searchPath.size()) {
    std::size_t end = searchPath.find(':', start);
    if (end == std::string_view::npos) end = searchPath.size();
    std::string_view folder = searchPath.substr(start, end - start);
    if (folder.empty()) folder = ".";
    std::string candidate;
    candidate.reserve(folder.size() + 1 + program.size());
    candidate.append(folder).append(1, '/').append(program);
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

PosixBrowserLauncher::PosixBrowserLauncher(BrowserEnvironment environment)
    : environment_(std::move(environment)) {}

LaunchOutcome PosixBrowserLauncher::open(const std::string& address, int /*showCommand*/) {
  if (address.find('\0') != std::string::npos) {
    return {false, "The address cannot be opened: it contains a NUL character."};
  }
  const std::string_view searchPath =
      environment_.path ? std::string_view(*environment_.path) : kDefaultSearchPath;

  std::vector<BrowserCommand> commands;
  if (environment_.browser) commands = ParseBrowserVariable(*environment_.browser, address);
  commands.push_back({{"xdg-open", address}});

  std::string firstFailure;
  for (const BrowserCommand& command : commands) {
    const std::string program = FindExecutable(command.arguments.front(), searchPath);
    if (program.empty()) continue;
    const int error = StartDetached(program, command.arguments);
    if (error == 0) return {true, {}};
    if (firstFailure.empty()) firstFailure = StartFailure(program, error);
  }
  if (!firstFailure.empty()) return {false, firstFailure};
  return {false,
          "No web browser was found. Set the BROWSER environment variable or install "
          "xdg-open."};
}

std::unique_ptr<BrowserLauncher> CreateSystemBrowserLauncher() {
  return std::make_unique<PosixBrowserLauncher>(BrowserEnvironmentOfProcess());
}

}  // namespace tavelin
