// The .reg reader and writer and the hive-file backend, timed. Medians of several runs.
//
//  - Reading a large hive (the size of a whole exported HKEY_CURRENT_USER) against a bare
//    decode of the same bytes into lines, and writing it against a bare encode.
//  - Whole commands on a hive file: the start-up sequence on a typical small hive and on the
//    large one, and a save that changes the file (lock, read, parse, write, flush, rename).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/wtf8.h"
#include "store/address_list.h"
#include "store/reg_file_reader.h"
#include "store/reg_file_writer.h"
#include "store/registry_file.h"
#include "store/typed_address_store.h"

namespace {

namespace fs = std::filesystem;
using namespace tavelin;

template <class F>
double MedianMs(int runs, F&& f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// 200 typed addresses and the two settings: what a hive of this program alone holds.
std::u16string TypedAddressSections() {
  std::u16string text =
      u"[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs]\r\n";
  for (int n = 1; n <= 200; ++n) {
    const std::u16string number = Wtf8ToUtf16(std::to_string(n));
    text += u"\"url" + number + u"\"=\"http://host" + number + u".example/\"\r\n";
  }
  text +=
      u"\r\n[HKEY_CURRENT_USER\\Software\\Tavelin]\r\n\"SaveOptions\"=\"One\"\r\n"
      u"\"SaveOptions2\"=\"Max\"\r\n\r\n";
  return text;
}

std::string Utf16File(const std::u16string& body) {
  return "\xFF\xFE" + TextToUtf16LeBytes(u"Windows Registry Editor Version 5.00\r\n\r\n" + body);
}

// A hive shaped like an export of a used profile, in export order: keys a few levels deep,
// mostly short strings, some dwords, binary and expandable values.
std::string LargeHive(int keys) {
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
  return Utf16File(text + TypedAddressSections());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

// `bench_reg_file parse N` or `bench_reg_file write N` only reads or writes the large hive N
// times, for a profiler to watch.
int Profile(const std::string& what, int times) {
  const std::string bytes = LargeHive(20000);
  std::size_t sink = 0;
  if (what == "parse") {
    for (int i = 0; i < times; ++i) sink += ParseRegFile(bytes).document->keys().size();
  } else {
    const RegFileDocument large = *ParseRegFile(bytes).document;
    for (int i = 0; i < times; ++i) sink += WriteRegFile(large).bytes->size();
  }
  return sink == 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) return Profile(argv[1], std::atoi(argv[2]));
  const std::string bytes = LargeHive(20000);
  const RegFileDocument large = *ParseRegFile(bytes).document;
  if (*WriteRegFile(large).bytes != bytes) std::printf("(the large hive does not round-trip)\n");
  std::size_t values = 0;
  for (const RegFileKey& k : large.keys()) values += k.values().size();
  std::printf("large hive: %zu keys, %zu values, %.1f MiB (UTF-16)\n", large.keys().size(), values,
              bytes.size() / 1048576.0);

  const int runs = 7;
  std::size_t sink = 0;
  // Reading against a bare decode into lines, and writing against a bare encode, of the
  // same bytes, each pair measured side by side.
  struct Figures {
    double bare, parse, bareOut, write, room;
  };
  const auto measure = [&](const std::string& file) {
    Figures f{};
    f.bare = MedianMs(runs, [&] {
      const std::u16string text = Utf16LeBytesToText(
          reinterpret_cast<const unsigned char*>(file.data()) + 2, file.size() - 2);
      sink += std::count(text.begin(), text.end(), u'\n');
    });
    f.parse = MedianMs(runs, [&] { sink += ParseRegFile(file).document->keys().size(); });
    const std::u16string text = Utf16LeBytesToText(
        reinterpret_cast<const unsigned char*>(file.data()) + 2, file.size() - 2);
    const RegFileDocument document = *ParseRegFile(file).document;
    f.bareOut = MedianMs(runs, [&] { sink += TextToUtf16LeBytes(text).size(); });
    f.write = MedianMs(runs, [&] { sink += WriteRegFile(document).bytes->size(); });
    // What the machine charges for memory of the output's size (the hive round-trips, so the
    // file's) alone: at ten times the hive the heap has none such to hand back, and each page
    // comes new from the system.
    f.room = MedianMs(runs, [&] {
      const std::string room(file.size(), '\0');
      sink += room.size() + static_cast<unsigned char>(room[room.size() / 2]);
    });
    return f;
  };
  const Figures one = measure(bytes);
  std::printf("read:  bare decode into lines %8.1f ms   parse %8.1f ms   ratio %.1f (goal 5)\n",
              one.bare, one.parse, one.parse / one.bare);
  std::printf("write: bare encode            %8.1f ms   write %8.1f ms   ratio %.1f (goal 3)\n",
              one.bareOut, one.write, one.write / one.bareOut);
  {
    const std::string tenTimes = LargeHive(200000);
    const Figures ten = measure(tenTimes);
    std::printf(
        "ten times the hive (%.1f MiB): parse %.1f ms (%.1fx), write %.1f ms (%.1fx); goal at "
        "most 11x\n"
        "  (the bare decode took %.1fx its time, the bare encode %.1fx)\n"
        "  (room the size of the output, allocated and cleared: %.1f ms, against %.1f ms at the "
        "hive's size: %.1fx)\n",
        tenTimes.size() / 1048576.0, ten.parse, ten.parse / one.parse, ten.write,
        ten.write / one.write, ten.bare / one.bare, ten.bareOut / one.bareOut, ten.room, one.room,
        ten.room / one.room);
  }

  const fs::path folder = fs::temp_directory_path() / "tavelin-bench-reg-file";
  fs::remove_all(folder);
  fs::create_directories(folder);

  // A typical hive: the typed addresses and the settings.
  const fs::path smallHive = folder / "small.reg";
  WriteFile(smallHive, Utf16File(TypedAddressSections()));
  const fs::path largeHive = folder / "large.reg";
  WriteFile(largeHive, bytes);

  for (const auto& [label, path] : {std::pair{"small", smallHive}, std::pair{"large", largeHive}}) {
    HiveFileRegistry registry(path);
    AddressList list;
    const double startUp = MedianMs(runs, [&] { LoadAndCompactAddresses(registry, list); });
    // A save that changes the file: the last address edited back and forth.
    int flip = 0;
    const double save = MedianMs(runs, [&] {
      modReg::WriteRegString(registry, kCurrentUser, kTypedUrlsKey, "url200",
                             (flip++ % 2) ? "http://a/" : "http://b/");
    });
    std::printf("%s hive (%.1f MiB): start-up sequence %7.1f ms, one changed value %7.1f ms\n",
                label, fs::file_size(path) / 1048576.0, startUp, save);
    if (!registry.takeNotices().empty()) std::printf("  (the backend reported a problem)\n");
  }
  fs::remove_all(folder);
  return sink == 0 ? 1 : 0;
}
