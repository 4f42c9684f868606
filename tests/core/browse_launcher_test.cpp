#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/address.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "browse/browser_launcher_win32.h"
#include "platform/wtf8.h"
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "browse/browser_launcher_posix.h"
#include "support/fake_browser.h"
#endif

namespace tavelin {
namespace {

#ifndef _WIN32

namespace fs = std::filesystem;

// A fake browser in a folder of its own (support/fake_browser.h).
class FakeBrowserTest : public testing::Test {
 protected:
  fs::path WriteScript(const std::string& name, const std::string& body, bool executable = true) {
    return fake_.writeScript(name, body, executable);
  }
  fs::path record() const { return fake_.record(); }
  std::string emptyPath() const { return fake_.emptyPath(); }
  std::optional<std::vector<std::string>> RecordedArguments() const {
    return fake_.recordedArguments();
  }

  LaunchOutcome Open(std::optional<std::string> browser, std::optional<std::string> path,
                     const std::string& address) {
    PosixBrowserLauncher launcher(BrowserEnvironment{std::move(browser), std::move(path)});
    return launcher.open(address, kShowMaximized);
  }

  static void ExpectNoChildLeft() {
    int status = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a child process was left behind";
    EXPECT_EQ(errno, ECHILD);
  }

  support::FakeBrowser fake_;
  const fs::path& dir_ = fake_.folder();
  const fs::path& browser_ = fake_.program();
};

class HostileEntryTest : public FakeBrowserTest, public testing::WithParamInterface<const char*> {};

TEST_P(HostileEntryTest, ArrivesAsOneArgumentWithoutShell) {
  std::string entry = GetParam();
  const std::string marker = (dir_ / "marker").string();
  for (std::size_t at; (at = entry.find("MARK")) != std::string::npos;) {
    entry.replace(at, 4, marker);
  }
  const std::string address = BrowserAddress(entry);

  const LaunchOutcome outcome = Open(browser_.string(), emptyPath(), address);
  ASSERT_TRUE(outcome.started) << outcome.error;
  ExpectNoChildLeft();

  const auto arguments = RecordedArguments();
  ASSERT_TRUE(arguments.has_value()) << "the browser did not run";
  EXPECT_EQ(*arguments, std::vector<std::string>{address});
  EXPECT_FALSE(fs::exists(marker)) << "a shell interpreted the address";
}

INSTANTIATE_TEST_SUITE_P(Entries, HostileEntryTest,
                         testing::Values("my page.html", "  a  b  ", "say \"hi\" there",
                                         "it's 'quoted'", "x;touch MARK", "$(touch MARK)",
                                         "`touch MARK`", "a&touch MARK&", "a|touch MARK",
                                         "-new-window", "--help x", "line\nbreak\ntouch MARK",
                                         "tab\there", "%s and %% stay",
                                         "b\xC3\xBC"
                                         "cher/\xE2\x82\xAC",
                                         "host/?a=1&b=$HOME>MARK"));

TEST_F(FakeBrowserTest, PercentSInBrowserTakesTheAddress) {
  const LaunchOutcome outcome =
      Open(browser_.string() + " --first %s --last", emptyPath(), "http://a b/");
  ASSERT_TRUE(outcome.started) << outcome.error;
  const auto arguments = RecordedArguments();
  ASSERT_TRUE(arguments.has_value());
  EXPECT_EQ(*arguments, (std::vector<std::string>{"--first", "http://a b/", "--last"}));
}

TEST_F(FakeBrowserTest, ProgramIsLookedUpInTheGivenPath) {
  const LaunchOutcome outcome = Open("fake-browser", dir_.string(), "http://h/");
  ASSERT_TRUE(outcome.started) << outcome.error;
  const auto arguments = RecordedArguments();
  ASSERT_TRUE(arguments.has_value());
  EXPECT_EQ(*arguments, std::vector<std::string>{"http://h/"});
}

TEST_F(FakeBrowserTest, UnusableCommandsFallThroughToTheNext) {
  const fs::path notExecutable = WriteScript("not-executable", "exit 0\n", false);
  fs::create_directory(dir_ / "a-folder");
  const std::string browser = (dir_ / "missing").string() +
                              ":no-such-browser-here --x:" + notExecutable.string() + ":" +
                              (dir_ / "a-folder").string() + ":'unterminated:" + browser_.string();
  const LaunchOutcome outcome = Open(browser, emptyPath(), "http://h/");
  ASSERT_TRUE(outcome.started) << outcome.error;
  const auto arguments = RecordedArguments();
  ASSERT_TRUE(arguments.has_value());
  EXPECT_EQ(*arguments, std::vector<std::string>{"http://h/"});
}

TEST_F(FakeBrowserTest, XdgOpenIsTheFallback) {
  fs::create_directory(dir_ / "bin");
  fs::copy_file(browser_, dir_ / "bin" / "xdg-open");
  const LaunchOutcome outcome = Open(std::nullopt, (dir_ / "bin").string(), "http://h/x y");
  ASSERT_TRUE(outcome.started) << outcome.error;
  const auto arguments = RecordedArguments();
  ASSERT_TRUE(arguments.has_value());
  EXPECT_EQ(*arguments, std::vector<std::string>{"http://h/x y"});
}

TEST_F(FakeBrowserTest, NoBrowserAtAllIsAnError) {
  for (const std::optional<std::string>& browser :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("no-such-browser:/no/such/browser")}) {
    const LaunchOutcome outcome = Open(browser, emptyPath(), "http://h/");
    EXPECT_FALSE(outcome.started);
    EXPECT_NE(outcome.error.find("No web browser was found"), std::string::npos) << outcome.error;
  }
  ExpectNoChildLeft();
  EXPECT_FALSE(fs::exists(record()));
}

TEST_F(FakeBrowserTest, FailedStartIsAnError) {
  // Executable, but no program the system can run: exec itself fails.
  const fs::path broken = dir_ / "broken";
  std::ofstream(broken) << "\x7f"
                           "ELF not really\n";
  ::chmod(broken.c_str(), 0755);
  const LaunchOutcome outcome = Open(broken.string(), emptyPath(), "http://h/");
  EXPECT_FALSE(outcome.started);
  EXPECT_NE(outcome.error.find(broken.string()), std::string::npos) << outcome.error;
  ExpectNoChildLeft();
}

TEST_F(FakeBrowserTest, AddressWithNulIsRefused) {
  const LaunchOutcome outcome =
      Open(browser_.string(), emptyPath(), std::string("http://a\0b", 10));
  EXPECT_FALSE(outcome.started);
  EXPECT_FALSE(outcome.error.empty());
  EXPECT_FALSE(fs::exists(record()));
}

TEST(FindExecutable, SearchesThePathInOrder) {
  EXPECT_EQ(FindExecutable("sh", "/no/such/dir::/bin"), "/bin/sh");
  EXPECT_EQ(FindExecutable("/bin/sh", ""), "/bin/sh");
  EXPECT_EQ(FindExecutable("/bin", "/"), "");
  EXPECT_EQ(FindExecutable("", "/bin"), "");
}

#else  // _WIN32

// Records the shell call instead of starting a browser.
class RecordingShell : public WindowsShell {
 public:
  std::wstring program = L"C:\\Program Files\\Browser\\browser.exe";
  std::intptr_t result = 42;
  int calls = 0;
  std::wstring lastProgram, lastParameters;
  int lastShow = -1;

  std::wstring htmlProgram() override { return program; }
  std::intptr_t execute(const std::wstring& p, const std::wstring& parameters, int show) override {
    ++calls;
    lastProgram = p;
    lastParameters = parameters;
    lastShow = show;
    return result;
  }
};

struct WindowsLaunchCase {
  const char* address;
  const char* windowMode;
  int show;
};

class WindowsLauncherTest : public testing::TestWithParam<WindowsLaunchCase> {};

TEST_P(WindowsLauncherTest, StartsAssociatedProgramWithOneArgument) {
  auto owned = std::make_unique<RecordingShell>();
  RecordingShell& shell = *owned;
  WindowsBrowserLauncher launcher(std::move(owned));
  const LaunchOutcome outcome = launcher.open(GetParam().address, GetParam().show);
  ASSERT_TRUE(outcome.started) << outcome.error;
  ASSERT_EQ(shell.calls, 1);
  EXPECT_EQ(shell.lastProgram, shell.program);
  EXPECT_EQ(shell.lastShow, GetParam().show);

  const std::wstring line = L"browser.exe " + shell.lastParameters;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
  ASSERT_NE(argv, nullptr);
  ASSERT_EQ(count, 2);
  const std::wstring argument = argv[1];
  LocalFree(argv);
  EXPECT_EQ(Utf16ToWtf8(std::u16string(argument.begin(), argument.end())), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    Launches, WindowsLauncherTest,
    testing::Values(WindowsLaunchCase{"http://host/page", "Max", SW_SHOWMAXIMIZED},
                    WindowsLaunchCase{"http://host/page", "Min", SW_SHOWMINIMIZED},
                    WindowsLaunchCase{"http://host/page", "", SW_SHOWMAXIMIZED},
                    WindowsLaunchCase{"http://host/page", "min", SW_SHOWMAXIMIZED},
                    WindowsLaunchCase{"http://my page.html", "Max", SW_SHOWMAXIMIZED},
                    WindowsLaunchCase{R"(http://a/"b" -new-window \"c\\)", "Min", SW_SHOWMINIMIZED},
                    WindowsLaunchCase{"http://b\xC3\xBC"
                                      "cher/\xE2\x82\xAC x",
                                      "Max", SW_SHOWMAXIMIZED}));

TEST(WindowsLauncher, NoAssociationIsAnError) {
  auto owned = std::make_unique<RecordingShell>();
  RecordingShell& shell = *owned;
  shell.program.clear();
  WindowsBrowserLauncher launcher(std::move(owned));
  const LaunchOutcome outcome = launcher.open("http://h/", kShowMaximized);
  EXPECT_FALSE(outcome.started);
  EXPECT_FALSE(outcome.error.empty());
  EXPECT_EQ(shell.calls, 0);
}

TEST(WindowsLauncher, FailedStartIsAnError) {
  for (std::intptr_t result : {0, 2, 5, 31, 32}) {
    auto owned = std::make_unique<RecordingShell>();
    owned->result = result;
    WindowsBrowserLauncher launcher(std::move(owned));
    const LaunchOutcome outcome = launcher.open("http://h/", kShowMaximized);
    EXPECT_FALSE(outcome.started) << result;
    EXPECT_NE(outcome.error.find("browser.exe"), std::string::npos) << outcome.error;
  }
}

#endif

}  // namespace
}  // namespace tavelin
