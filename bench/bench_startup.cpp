// Times start-up to the window being exposed, Tavelin (on a registry file of 200 addresses) against
// a bare Qt window, and compares their resident memory at idle. Medians of several runs.
//
// Then, as a user waits for the window: Tavelin's start-up on a registry file of about 14 MiB
// whose list has a gap (so that the start-up reads it and writes it back), less its start-up
// on a registry file of the 200 addresses alone with the same gap, against one bare read and atomic
// replace of the large file. Goal: at most 4 times. Median and slowest of 10.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"

namespace {

struct Run {
  double milliseconds;
  long rssKiB;
  long privateDirtyKiB;
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
  auto field = [&text](const std::string& name) {
    const auto at = text.find(name + " ");
    return at == std::string::npos ? -1L
                                   : std::strtol(text.c_str() + at + name.size() + 1, nullptr, 10);
  };
  return {std::chrono::duration<double, std::milli>(end - start).count(), field("rss_kib"),
          field("private_dirty_kib")};
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
  const auto regFile = dir / "HKEY_CURRENT_USER.reg";
  std::filesystem::remove(regFile);
  {
    tavelin::RegFileRegistry registry(regFile);
    tavelin::Transaction transaction(registry);
    for (std::size_t n = 1; n <= 200; ++n) {
      tavelin::modReg::WriteRegString(registry, tavelin::kCurrentUser, tavelin::kTypedUrlsKey,
                                      tavelin::UrlValueName(n),
                                      "https://www" + std::to_string(n) + ".example.org/some/path");
    }
  }
  setenv("TAVELIN_REGISTRY", regFile.c_str(), 1);
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  std::printf("platform: %s\n",
              std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "xcb");

  // Warm both up once (page cache, font cache).
  RunOnce(PROBE_BARE, false);
  RunOnce(PROBE_TAVELIN, false);
  std::vector<double> bare, tavelin, bareRss, tavelinRss, barePrivate, tavelinPrivate;
  for (int i = 0; i < runs; ++i) {
    bare.push_back(RunOnce(PROBE_BARE, false).milliseconds);
    tavelin.push_back(RunOnce(PROBE_TAVELIN, false).milliseconds);
  }
  for (int i = 0; i < 5; ++i) {
    const Run b = RunOnce(PROBE_BARE, true);
    const Run t = RunOnce(PROBE_TAVELIN, true);
    bareRss.push_back(static_cast<double>(b.rssKiB));
    tavelinRss.push_back(static_cast<double>(t.rssKiB));
    barePrivate.push_back(static_cast<double>(b.privateDirtyKiB));
    tavelinPrivate.push_back(static_cast<double>(t.privateDirtyKiB));
  }
  const double b = Median(bare), t = Median(tavelin);
  std::printf(
      "start-up to exposed window, median of %d: bare %.1f ms, Tavelin %.1f ms, ratio %.2f\n", runs,
      b, t, t / b);
  const double br = Median(bareRss), tr = Median(tavelinRss);
  std::printf(
      "resident memory at idle, median of 5: bare %.0f KiB, Tavelin %.0f KiB, "
      "difference %.0f KiB (%.2f MiB)\n",
      br, tr, tr - br, (tr - br) / 1024.0);
  const double bp = Median(barePrivate), tp = Median(tavelinPrivate);
  std::printf(
      "private dirty memory at idle, median of 5: bare %.0f KiB, Tavelin %.0f KiB, "
      "difference %.0f KiB (%.2f MiB)\n",
      bp, tp, tp - bp, (tp - bp) / 1024.0);

  // Each run on the file as it was, put back untimed.
  const auto startUps = [&](const std::string& bytes) {
    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
      tavelin::bench::BareReplace(regFile, bytes, true);
      times.push_back(RunOnce(PROBE_TAVELIN, false).milliseconds);
    }
    return times;
  };
  const std::string large = tavelin::bench::LargeHive(20000, 100);
  const std::vector<double> small =
      startUps(tavelin::bench::Utf16File(tavelin::bench::TypedAddressSections(100)));
  const std::vector<double> big = startUps(large);
  std::vector<double> bareIo;
  for (int i = 0; i < 10; ++i) {
    const auto start = tavelin::bench::Clock::now();
    const std::string read = tavelin::bench::ReadFile(regFile);
    tavelin::bench::BareReplace(dir / "bare.reg", read, true);
    bareIo.push_back(tavelin::bench::MillisecondsSince(start));
  }
  const double io = Median(bareIo);
  std::printf(
      "start-up on a %.1f MiB registry file: median %.1f ms, slowest %.1f ms; on the small one "
      "%.1f ms; bare read and replace %.1f ms: the difference is %.2fx (goal at most 4)\n",
      large.size() / 1048576.0, Median(big), *std::max_element(big.begin(), big.end()),
      Median(small), io, (Median(big) - Median(small)) / io);
  std::filesystem::remove_all(dir);
  return 0;
}
