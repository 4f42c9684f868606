// What the benchmarks of file work share: medians, timing, and the bare atomic replace the
// backend is measured against. POSIX only.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tavelin::bench {

using Clock = std::chrono::steady_clock;

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

inline double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The least a careful program does to replace a file: write a temporary beside it, flush it,
// rename it over the old one, and (when `flushFolder`) flush the folder so the rename lasts.
inline void BareReplace(const std::filesystem::path& target, const std::string& bytes,
                        bool flushFolder) {
  const std::filesystem::path temporary = target.string() + ".bench-tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) std::abort();
  if (::rename(temporary.c_str(), target.c_str()) != 0) std::abort();
  if (flushFolder) {
    const int dirFd = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      ::fsync(dirFd);
      ::close(dirFd);
    }
  }
}

// A full list: 200 typed addresses of a usual length.
inline std::vector<std::string> Addresses() {
  std::vector<std::string> texts;
  for (int i = 1; i <= 200; ++i) {
    texts.push_back("https://www.example.org/some/typed/address/number/" + std::to_string(i) +
                    "?q=tavelin");
  }
  return texts;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tavelin::bench
