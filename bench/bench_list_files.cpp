// Import of an address list file into the list in manual mode (the real read, decoding,
// replacing the list and removing blanks) against reading the same file and splitting it
// into a vector of strings; export against a bare write of the same bytes. Medians of
// several runs, for 100 000 and 1 000 000 lines.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/list_file.h"
#include "list/list_commands.h"
#include "support/registry_memory.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Processor time of this process, which a busy shared machine disturbs far less than the
// wall clock.
double CpuMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Timing {
  double cpu;   // median processor milliseconds
  double wall;  // median wall-clock milliseconds
};

// Runs `prepare` untimed and `work` timed, `runs` times, in this process: the allocator
// keeps the memory of one run for the next.
Timing Time(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
  std::vector<double> cpu, wall;
  for (int i = 0; i < runs; ++i) {
    prepare();
    const double startCpu = CpuMilliseconds();
    const auto start = Clock::now();
    work();
    wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    cpu.push_back(CpuMilliseconds() - startCpu);
  }
  return {Median(cpu), Median(wall)};
}

// Runs one measurement `runs` times, each in a new process of this program (`--once WHAT
// FILE`), so that every run starts with memory it has never touched, as a single command in
// the program does.
Timing TimeInFreshProcesses(int runs, const char* what, const std::string& file) {
  std::vector<double> cpu, wall;
  for (int i = 0; i < runs; ++i) {
    int channel[2];
    if (::pipe(channel) != 0) std::abort();
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(channel[1], 1);
      ::close(channel[0]);
      ::execl("/proc/self/exe", "bench_list_files", "--once", what, file.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    double c = 0, w = 0;
    if (status != 0 || std::sscanf(text.c_str(), "%lf %lf", &c, &w) != 2) std::abort();
    cpu.push_back(c);
    wall.push_back(w);
  }
  return {Median(cpu), Median(wall)};
}

// Addresses of the usual shapes and lengths, a few of them blank.
std::vector<std::string> MakeAddresses(std::size_t count) {
  static const char* const hosts[] = {"example.com", "www.wikipedia.org", "intranet.local",
                                      "mail.example.net", "news.ycombinator.com"};
  std::vector<std::string> addresses;
  addresses.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 997 == 0) {
      addresses.emplace_back("   ");
      continue;
    }
    addresses.push_back("https://" + std::string(hosts[i % 5]) + "/page/" + std::to_string(i) +
                        (i % 3 == 0 ? "?q=a,b&lang=en" : ""));
  }
  return addresses;
}

std::vector<std::string> BareReadAndSplit(const std::string& path) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY);
  struct stat info {};
  ::fstat(fd, &info);
  bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::size_t stop = end;
    if (stop > start && bytes[stop - 1] == '\r') --stop;
    lines.emplace_back(bytes, start, stop - start);
    start = end + 1;
  }
  return lines;
}

void BareWrite(const std::string& path, const std::string& bytes, bool sync) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  if (sync) ::fsync(fd);
  ::close(fd);
}

struct ImportRow {
  std::size_t lines;
  Timing import, bare;
};

void PrintImport(const char* title, const std::vector<ImportRow>& rows) {
  std::printf("%s\n", title);
  std::printf("  %-9s %20s %20s %7s\n", "lines", "import", "read+split", "ratio");
  for (const ImportRow& r : rows) {
    std::printf("  %-9zu %10.1f [%7.1f] %10.1f [%7.1f] %7.2f\n", r.lines, r.import.cpu,
                r.import.wall, r.bare.cpu, r.bare.wall, r.import.cpu / r.bare.cpu);
  }
  std::printf(
      "  10x the lines: import %.2fx the processor time (%.2fx wall), bare %.2fx"
      " (goal: import <= 11x)\n\n",
      rows[1].import.cpu / rows[0].import.cpu, rows[1].import.wall / rows[0].import.wall,
      rows[1].bare.cpu / rows[0].bare.cpu);
}

}  // namespace

void ImportOnce(tavelin::AddressList& list, const std::string& file) {
  tavelin::MemoryRegistry store;
  const tavelin::ProgramSettings manual{"Two", "Max"};
  tavelin::ListFileRead read = tavelin::ReadListFile(file);
  if (read.outcome != tavelin::ListFileRead::Outcome::kRead) std::abort();
  tavelin::ImportAddresses({store, list, manual}, std::move(read.entries));
}

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "--once") {
    const std::string what = argv[2], file = argv[3];
    tavelin::AddressList list;
    std::vector<std::string> split;
    const Timing once = Time(
        1, [] {},
        [&] {
          if (what == "import") {
            ImportOnce(list, file);
          } else {
            split = BareReadAndSplit(file);
          }
        });
    std::printf("%f %f\n", once.cpu, once.wall);
    return 0;
  }

  const fs::path dir = fs::temp_directory_path() / ("tavelin-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string file = (dir / "list.txt").string();
  const std::string exported = (dir / "export.txt").string();
  const std::string bareFile = (dir / "bare.txt").string();
  const std::size_t sizes[] = {100000, 1000000};

  std::vector<ImportRow> fresh, warm;
  std::string exportRows;
  for (const bool reuse : {false, true}) {
    if (reuse) {
      // One long-lived process: the allocator keeps what it was given between the runs.
      ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
      ::mallopt(M_MMAP_THRESHOLD, 1 << 30);
    }
    for (const std::size_t lines : sizes) {
      const int runs = lines > 100000 ? 7 : 11;
      const std::vector<std::string> addresses = MakeAddresses(lines);
      const std::string bytes = tavelin::EncodeListFile(addresses);
      BareWrite(file, bytes, true);

      tavelin::AddressList list;
      ImportOnce(list, file);
      // The blank filter looks at the first 201 positions only, as the store's rule has it:
      // of the generated blanks, only the one at the top goes.
      if (list.count() != lines - 1 || BareReadAndSplit(file).size() != lines) {
        std::fprintf(stderr, "unexpected count: %zu imported\n", list.count());
        return 1;
      }
      std::vector<std::string> split;
      ImportRow row{lines, {}, {}};
      if (reuse) {
        row.import = Time(
            runs, [&] { list.clear(); }, [&] { ImportOnce(list, file); });
        row.bare = Time(
            runs, [&] { split = {}; }, [&] { split = BareReadAndSplit(file); });
      } else {
        row.import = TimeInFreshProcesses(runs, "import", file);
        row.bare = TimeInFreshProcesses(runs, "split", file);
      }
      (reuse ? warm : fresh).push_back(row);
      list.clear();
      if (!reuse) continue;

      // Export goes to the disk: wall-clock time, against a bare write with and without fsync.
      const double megabytes = static_cast<double>(bytes.size()) / 1e6;
      const Timing encode = Time(
          runs, [] {}, [&] { (void)tavelin::EncodeListFile(addresses); });
      const Timing exporting = Time(
          runs, [] {},
          [&] {
            if (!tavelin::WriteListFile(exported, addresses).ok) std::abort();
          });
      const Timing write = Time(
          runs, [] {}, [&] { BareWrite(bareFile, bytes, false); });
      const Timing synced = Time(
          runs, [] {}, [&] { BareWrite(bareFile, bytes, true); });
      char text[200];
      std::snprintf(text, sizeof text, "  %-9zu %6.1f MB %10.0f %10.1f %12.0f %12.0f\n", lines,
                    megabytes, megabytes / exporting.wall * 1e3, encode.cpu,
                    megabytes / write.wall * 1e3, megabytes / synced.wall * 1e3);
      exportRows += text;
    }
  }
  PrintImport("Import, each run in a fresh process (processor ms; wall ms in brackets), medians",
              fresh);
  PrintImport("Import, runs in one process reusing its memory (processor ms; wall ms), medians",
              warm);
  std::printf("Export (MB/s, wall clock; encoding alone in processor ms), medians\n");
  std::printf("  %-9s %9s %10s %10s %12s %12s\n", "lines", "size", "export", "encode ms",
              "bare write", "write+fsync");
  std::printf("%s", exportRows.c_str());
  fs::remove_all(dir);
  return 0;
}
