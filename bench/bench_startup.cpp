// Times start-up to the window being exposed, Tavelin (on a hive of 200 addresses) against a
// bare Qt window, and compares their resident memory at idle. Medians of several runs.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/registry_file.h"
#include "store/typed_address_store.h"

namespace {

struct Run {
  double milliseconds;
  long rssKiB;
};

Run RunOnce(const char* program, bool measureMemory) {
  int out[2];
  if (pipe(out) != 0) std::abort();
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    if (measureMemory) setenv("BENCH_RSS", "1", 1);
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  long rss = -1;
  if (const auto at = text.find("rss_kib "); at != std::string::npos) {
    rss = std::strtol(text.c_str() + at + 8, nullptr, 10);
  }
  return {std::chrono::duration<double, std::milli>(end - start).count(), rss};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 15;
  const auto dir = std::filesystem::temp_directory_path() / "tavelin-bench-startup";
  std::filesystem::create_directories(dir);
  const auto hive = dir / "HKEY_CURRENT_USER.reg";
  std::filesystem::remove(hive);
  {
    tavelin::HiveFileRegistry registry(hive);
    tavelin::Transaction transaction(registry);
    for (std::size_t n = 1; n <= 200; ++n) {
      tavelin::modReg::WriteRegString(registry, tavelin::kCurrentUser, tavelin::kTypedUrlsKey,
                                      tavelin::UrlValueName(n),
                                      "https://www" + std::to_string(n) + ".example.org/some/path");
    }
  }
  setenv("TAVELIN_REGISTRY", hive.c_str(), 1);
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  std::printf("platform: %s\n",
              std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "xcb");

  // Warm both up once (page cache, font cache).
  RunOnce(PROBE_BARE, false);
  RunOnce(PROBE_TAVELIN, false);
  std::vector<double> bare, tavelin, bareRss, tavelinRss;
  for (int i = 0; i < runs; ++i) {
    bare.push_back(RunOnce(PROBE_BARE, false).milliseconds);
    tavelin.push_back(RunOnce(PROBE_TAVELIN, false).milliseconds);
  }
  for (int i = 0; i < 5; ++i) {
    bareRss.push_back(static_cast<double>(RunOnce(PROBE_BARE, true).rssKiB));
    tavelinRss.push_back(static_cast<double>(RunOnce(PROBE_TAVELIN, true).rssKiB));
  }
  const double b = Median(bare), t = Median(tavelin);
  std::printf("start-up to exposed window, median of %d: bare %.1f ms, Tavelin %.1f ms, ratio %.2f\n",
              runs, b, t, t / b);
  const double br = Median(bareRss), tr = Median(tavelinRss);
  std::printf("resident memory at idle, median of 5: bare %.0f KiB, Tavelin %.0f KiB, "
              "difference %.0f KiB (%.2f MiB)\n",
              br, tr, tr - br, (tr - br) / 1024.0);
  std::filesystem::remove_all(dir);
  return 0;
}
