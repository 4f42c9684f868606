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

#include "platform/wtf8.h"

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

// 200 typed addresses and the two settings: what a hive of this program alone holds; with
// `gapAt`, that one is left out.
inline std::u16string TypedAddressSections(int gapAt = 0) {
  std::u16string text =
      u"[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs]\r\n";
  for (int n = 1; n <= 200; ++n) {
    if (n == gapAt) continue;  // a gap, which the start-up closes by rewriting the list
    const std::u16string number = Wtf8ToUtf16(std::to_string(n));
    text += u"\"url" + number + u"\"=\"http://host" + number + u".example/\"\r\n";
  }
  text +=
      u"\r\n[HKEY_CURRENT_USER\\Software\\Tavelin]\r\n\"SaveOptions\"=\"One\"\r\n"
      u"\"SaveOptions2\"=\"Max\"\r\n\r\n";
  return text;
}

inline std::string Utf16File(const std::u16string& body) {
  return "\xFF\xFE" + TextToUtf16LeBytes(u"Windows Registry Editor Version 5.00\r\n\r\n" + body);
}

// A hive shaped like an export of a used profile, in export order: keys a few levels deep,
// mostly short strings, some dwords, binary and expandable values.
inline std::string LargeHive(int keys, int gapAt = 0) {
  std::u16string text;
  std::u16string vendor;
  std::u16string product;
  for (int k = 0; k < keys; ++k) {
    const std::u16string v =
        u"HKEY_CURRENT_USER\\Software\\Vendor" + Wtf8ToUtf16(std::to_string(k / 200));
    const std::u16string p = v + u"\\Product" + Wtf8ToUtf16(std::to_string(k / 20 % 10));
    if (v != vendor) text += u"[" + (vendor = v) + u"]\r\n\r\n";
    if (p != product) text += u"[" + (product = p) + u"]\r\n\r\n";
    const std::u16string x(static_cast<std::size_t>(k % 7), u'x');
    text += u"[" + p + u"\\Key" + Wtf8ToUtf16(std::to_string(k)) + u"]\r\n" +
            u"\"Path\"=\"C:\\\\Program Files\\\\Some Vendor\\\\Application" + x + u"\"\r\n" +
            u"\"Name\"=\"Some product name " + x + u"\"\r\n" +
            u"\"Count\"=dword:0000002a\r\n"
            u"\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
            u"  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\r\n"
            u"\"Temp\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n\r\n";
  }
  return Utf16File(text + TypedAddressSections(gapAt));
}

}  // namespace tavelin::bench
