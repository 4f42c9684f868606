// Wine's `reg` as the other side of the registry file. Everything happens under test keys of
// this program's own in the build tree's Wine prefix.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "platform/wtf8.h"
#include "store/reg_file_reader.h"
#include "store/reg_file_writer.h"
#include "store/registry_file.h"
#include "support/files.h"

namespace tavelin {
namespace {

namespace fs = std::filesystem;

constexpr const char* kExportKey = "HKCU\\Software\\TavelinPeerExport";
constexpr const char* kImportKey = "Software\\TavelinPeerImport";

fs::path Scratch() {
  return fs::path(WINE_PREFIX).parent_path() / "wine-peer-files";
}

std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs `reg` inside the prefix. The arguments are ASCII, so the locale cannot change them.
int Reg(std::initializer_list<std::string> arguments) {
  std::string command = "WINEPREFIX=" + Quoted(WINE_PREFIX) + " " + Quoted(WINE_RUN) + " reg";
  for (const std::string& a : arguments) command += " " + Quoted(a);
  command += " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using support::ReadBytes;

RegValue Text(std::uint32_t type, std::u16string_view text) {
  const std::string bytes = TextToUtf16LeBytes(text) + std::string(2, '\0');
  return {type, {bytes.begin(), bytes.end()}};
}

class WinePeer : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::create_directories(Scratch());
    fs::create_directories(WINE_PREFIX);
  }
};

TEST_F(WinePeer, AnExportReadsRightAndWritesBackByteForByte) {
  Reg({"delete", kExportKey, "/f"});
  const std::string key = kExportKey;
  ASSERT_EQ(
      Reg({"add", key, "/v", "url1", "/t", "REG_SZ", "/d", "http://example.org/a b?q=\"x\"", "/f"}),
      0);
  ASSERT_EQ(Reg({"add", key, "/ve", "/d", "C:\\dir\\sub", "/f"}), 0);
  ASSERT_EQ(Reg({"add", key, "/v", "dw", "/t", "REG_DWORD", "/d", "42", "/f"}), 0);
  ASSERT_EQ(Reg({"add", key, "/v", "q", "/t", "REG_QWORD", "/d", "4294967296", "/f"}), 0);
  ASSERT_EQ(Reg({"add", key, "/v", "multi", "/t", "REG_MULTI_SZ", "/d", "a\\0b", "/f"}), 0);
  ASSERT_EQ(Reg({"add", key, "/v", "exp", "/t", "REG_EXPAND_SZ", "/d",
                 "%SystemRoot%;C:\\some\\rather\\long\\folder\\name", "/f"}),
            0);
  std::string hex;
  for (int i = 0; i < 100; ++i) {
    hex += "0123456789abcdef"[i % 16];
    hex += "fedcba9876543210"[i % 16];
  }
  ASSERT_EQ(Reg({"add", key + "\\Sub", "/v", "bin", "/t", "REG_BINARY", "/d", hex, "/f"}), 0);
  const fs::path file = Scratch() / "export.reg";
  ASSERT_EQ(Reg({"export", key, file.string(), "/y"}), 0);

  const std::string bytes = ReadBytes(file);
  const RegParseResult parsed = ParseRegFile(bytes);
  ASSERT_TRUE(parsed.document) << parsed.error.line << ":" << parsed.error.column << " "
                               << parsed.error.message;
  const RegFileDocument& doc = *parsed.document;
  const RegFileKey* top = doc.findKey("HKEY_CURRENT_USER\\Software\\TavelinPeerExport");
  ASSERT_TRUE(top);
  EXPECT_EQ(*top->find("url1"), Text(regtype::kSz, u"http://example.org/a b?q=\"x\""));
  EXPECT_EQ(*top->find(""), Text(regtype::kSz, u"C:\\dir\\sub"));
  EXPECT_EQ(*top->find("dw"), (RegValue{regtype::kDword, {42, 0, 0, 0}}));
  EXPECT_EQ(*top->find("q"), (RegValue{regtype::kQword, {0, 0, 0, 0, 1, 0, 0, 0}}));
  EXPECT_EQ(*top->find("multi"), Text(regtype::kMultiSz, std::u16string(u"a\0b\0", 4)));
  EXPECT_EQ(*top->find("exp"),
            Text(regtype::kExpandSz, u"%SystemRoot%;C:\\some\\rather\\long\\folder\\name"));
  const RegFileKey* sub = doc.findKey("HKEY_CURRENT_USER\\Software\\TavelinPeerExport\\Sub");
  ASSERT_TRUE(sub);
  ASSERT_EQ(sub->find("bin")->data.size(), 100u);
  EXPECT_EQ(sub->find("bin")->data[1], 0x1e);

  const RegWriteResult written = WriteRegFile(doc);
  ASSERT_TRUE(written.bytes);
  EXPECT_EQ(*written.bytes, bytes);
  Reg({"delete", kExportKey, "/f"});
}

TEST_F(WinePeer, WhatTheBackendWritesImportsUnchanged) {
  const fs::path regFile = Scratch() / "registry.reg";
  fs::remove(regFile);
  RegFileDocument expected;
  {
    RegFileRegistry registry(regFile);
    Transaction transaction(registry);
    const std::map<std::string, RegValue> values = {
        {"url1", Text(regtype::kSz, u"http://\u00e9t\u00e9.example/\u65e5\u672c")},
        {"url2", Text(regtype::kSz, u"quote \" and backslash \\")},
        {"Emoji", Text(regtype::kSz, u"\U0001F600")},
        {"lines", Text(regtype::kSz, u"one\r\ntwo")},
        {"nul", Text(regtype::kSz, std::u16string(u"a\0b", 3))},
        {"exp", Text(regtype::kExpandSz, u"%TEMP%\\x")},
        {"multi", Text(regtype::kMultiSz, std::u16string(u"x\0\u00fc\0", 4))},
        {"dw", {regtype::kDword, {1, 2, 3, 4}}},
        {"bin", {regtype::kBinary, std::vector<std::uint8_t>(90, 0xab)}},
        {"", Text(regtype::kSz, u"default")},
    };
    for (const auto& [name, value] : values) {
      ASSERT_TRUE(registry.setValue(kCurrentUser, kImportKey, name, value));
      expected.createKey(RegFileKeyPath(kCurrentUser, kImportKey)).first->set(name, value);
    }
  }
  const std::string key = std::string("HKCU\\") + kImportKey;
  Reg({"delete", key, "/f"});
  ASSERT_EQ(Reg({"import", regFile.string()}), 0);
  const fs::path back = Scratch() / "back.reg";
  ASSERT_EQ(Reg({"export", key, back.string(), "/y"}), 0);
  Reg({"delete", key, "/f"});

  const RegParseResult parsed = ParseRegFile(ReadBytes(back));
  ASSERT_TRUE(parsed.document) << parsed.error.message;
  const RegFileKey* got = parsed.document->findKey(RegFileKeyPath(kCurrentUser, kImportKey));
  ASSERT_TRUE(got);
  const RegFileKey& want = expected.keys().back();
  // Wine sorts the values it exports, so compare by name.
  EXPECT_EQ(got->values().size(), want.values().size());
  for (const RegFileValue& v : want.values()) {
    SCOPED_TRACE(v.name);
    // Wine's own export cuts a string at its first NUL, so that one cannot come back whole.
    if (v.name == "nul") {
      ASSERT_TRUE(got->find(v.name));
      EXPECT_EQ(*got->find(v.name), Text(regtype::kSz, u"a"));
      continue;
    }
    ASSERT_TRUE(got->find(v.name));
    EXPECT_EQ(*got->find(v.name), v.value());
  }
}

}  // namespace
}  // namespace tavelin
