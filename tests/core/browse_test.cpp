#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "browse/address.h"
#include "platform/wtf8.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace tavelin {
namespace {

// ---- The address given to the browser ----

struct AddressCase {
  const char* entry;
  const char* expected;
};

class BrowserAddressTest : public testing::TestWithParam<AddressCase> {};

TEST_P(BrowserAddressTest, GivesExpectedAddress) {
  EXPECT_EQ(BrowserAddress(GetParam().entry), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, BrowserAddressTest,
    testing::Values(
        AddressCase{"Host/Page", "http://Host/Page"}, AddressCase{"HTTP://Host/", "HTTP://Host/"},
        AddressCase{"https://host/", "https://host/"}, AddressCase{"ftp://host/", "ftp://host/"},
        AddressCase{"  host/x ", "http://host/x"},
        AddressCase{"host/?next=http://other/", "http://host/?next=http://other/"},
        AddressCase{"my page.html", "http://my page.html"},
        AddressCase{"\thost/x\t", "http://\thost/x\t"},
        AddressCase{" \t host \t ", "http://\t host \t"},
        AddressCase{"b\xC3\xBC"
                    "cher.de/\xE2\x82\xAC",
                    "http://b\xC3\xBC"
                    "cher.de/\xE2\x82\xAC"},
        AddressCase{"\xC3\xBC://x", "http://\xC3\xBC://x"},
        AddressCase{"mailto:x", "http://mailto:x"}, AddressCase{"http:/host", "http://http:/host"},
        AddressCase{"http//host", "http://http//host"},
        AddressCase{"1http://x", "http://1http://x"}, AddressCase{"+a://x", "http://+a://x"},
        AddressCase{"://x", "http://://x"},
        AddressCase{"Svn+SSH://Host/Repo", "Svn+SSH://Host/Repo"},
        AddressCase{"a-b.c+d9://x", "a-b.c+d9://x"}, AddressCase{"a_b://x", "http://a_b://x"},
        AddressCase{"web cal://x", "http://web cal://x"},
        AddressCase{"HOST/Case/Kept", "http://HOST/Case/Kept"}, AddressCase{"x", "http://x"}));

// ---- Windows argument quoting ----

// The documented splitting of CommandLineToArgvW (and of the C runtime) for the arguments
// after the program name.
std::vector<std::u16string> SplitWindowsArguments(std::u16string_view line) {
  std::vector<std::u16string> arguments;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i == n) break;
    std::u16string argument;
    bool quoted = false;
    while (i < n) {
      const char16_t c = line[i];
      if (!quoted && (c == u' ' || c == u'\t')) break;
      if (c == u'\\') {
        std::size_t backslashes = 0;
        while (i < n && line[i] == u'\\') ++backslashes, ++i;
        if (i < n && line[i] == u'"') {
          argument.append(backslashes / 2, u'\\');
          if (backslashes % 2 == 1) {
            argument.push_back(u'"');
            ++i;
          }
        } else {
          argument.append(backslashes, u'\\');
        }
      } else if (c == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          argument.push_back(u'"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(c);
        ++i;
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

#ifdef _WIN32
std::vector<std::u16string> SplitWithSystem(std::u16string_view parameters) {
  std::wstring line = L"program.exe ";
  line.append(parameters.begin(), parameters.end());
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::u16string> arguments;
  if (argv == nullptr) return arguments;
  for (int k = 1; k < count; ++k) {
    const std::wstring argument = argv[k];
    arguments.emplace_back(argument.begin(), argument.end());
  }
  LocalFree(argv);
  return arguments;
}
#endif

void ExpectReadsBackAsOneArgument(std::u16string_view text) {
  const std::u16string quoted = QuoteWindowsArgument(text);
  const std::vector<std::u16string> expected{std::u16string(text)};
  EXPECT_EQ(SplitWindowsArguments(quoted), expected) << Utf16ToWtf8(quoted);
#ifdef _WIN32
  EXPECT_EQ(SplitWithSystem(quoted), expected) << Utf16ToWtf8(quoted);
#endif
}

struct QuoteCase {
  const char* text;
  const char* quoted;
};

class QuoteWindowsArgumentTest : public testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteWindowsArgumentTest, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(QuoteWindowsArgument(std::string_view(GetParam().text)), GetParam().quoted);
  EXPECT_EQ(QuoteWindowsArgument(Wtf8ToUtf16(GetParam().text)), Wtf8ToUtf16(GetParam().quoted));
}

TEST_P(QuoteWindowsArgumentTest, ReadsBackAsOneArgument) {
  ExpectReadsBackAsOneArgument(Wtf8ToUtf16(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QuoteWindowsArgumentTest,
    testing::Values(QuoteCase{"http://host/page", "http://host/page"},
                    QuoteCase{R"(C:\dir\file)", R"(C:\dir\file)"}, QuoteCase{R"(a\\b)", R"(a\\b)"},
                    QuoteCase{"", R"("")"}, QuoteCase{"a b", R"("a b")"},
                    QuoteCase{"a\tb", "\"a\tb\""}, QuoteCase{"a\nb", "\"a\nb\""},
                    QuoteCase{"a\vb", "\"a\vb\""}, QuoteCase{R"(say "hi")", R"("say \"hi\"")"},
                    QuoteCase{R"(a"b)", R"("a\"b")"}, QuoteCase{R"(a\"b)", R"("a\\\"b")"},
                    QuoteCase{R"(a\\"b)", R"("a\\\\\"b")"}, QuoteCase{R"(a b\)", R"("a b\\")"},
                    QuoteCase{R"(a b\\)", R"("a b\\\\")"}, QuoteCase{R"(a\ b)", R"("a\ b")"},
                    QuoteCase{R"(")", R"("\"")"}, QuoteCase{R"("")", R"("\"\"")"},
                    QuoteCase{R"(\)", R"(\)"}, QuoteCase{R"(\")", R"("\\\"")"},
                    QuoteCase{" ", R"(" ")"},
                    QuoteCase{"http://my page.html", R"("http://my page.html")"},
                    QuoteCase{"h\xC3\xA9 \xE2\x82\xAC", "\"h\xC3\xA9 \xE2\x82\xAC\""}));

TEST(QuoteWindowsArgument, RandomTextsReadBackAsOneArgument) {
  // Drawn mostly from the characters the quoting rules care about.
  const std::u16string alphabet = u"\\\\\\\"\"  \t\nab\u00e9\u20ac/:";
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> length(0, 14);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 3000; ++round) {
    std::u16string text(length(random), u' ');
    for (char16_t& c : text) c = alphabet[pick(random)];
    ExpectReadsBackAsOneArgument(text);
    if (testing::Test::HasFailure()) break;
  }
}

// ---- $BROWSER ----

struct BrowserVariableCase {
  const char* value;
  std::vector<std::vector<std::string>> commands;
};

class BrowserVariableTest : public testing::TestWithParam<BrowserVariableCase> {};

TEST_P(BrowserVariableTest, SplitsIntoCommands) {
  const std::string address = "http://h/a b;'\"$(x)%s";
  std::vector<std::vector<std::string>> commands;
  for (const BrowserCommand& command : ParseBrowserVariable(GetParam().value, address)) {
    commands.push_back(command.arguments);
  }
  auto expected = GetParam().commands;
  for (auto& command : expected) {
    for (auto& argument : command) {
      for (std::size_t at; (at = argument.find("@")) != std::string::npos;) {
        argument.replace(at, 1, address);
      }
    }
  }
  EXPECT_EQ(commands, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BrowserVariableTest,
    testing::Values(BrowserVariableCase{"", {}}, BrowserVariableCase{" : :: ", {}},
                    BrowserVariableCase{"firefox", {{"firefox", "@"}}},
                    BrowserVariableCase{"firefox:chromium", {{"firefox", "@"}, {"chromium", "@"}}},
                    BrowserVariableCase{"  lynx  -dump ", {{"lynx", "-dump", "@"}}},
                    BrowserVariableCase{"b --url=%s --x", {{"b", "--url=@", "--x"}}},
                    BrowserVariableCase{"b %s %s", {{"b", "@", "@"}}},
                    BrowserVariableCase{"b 100%% %%s", {{"b", "100%", "%s", "@"}}},
                    BrowserVariableCase{"b %", {{"b", "%", "@"}}},
                    BrowserVariableCase{"'/opt/my browser/run' -a",
                                        {{"/opt/my browser/run", "-a", "@"}}},
                    BrowserVariableCase{R"("/opt/x y" "q\"\\\a" 'it\')",
                                        {{"/opt/x y", R"(q"\\a)", "it\\", "@"}}},
                    BrowserVariableCase{R"(my\ browser)", {{"my browser", "@"}}},
                    BrowserVariableCase{"a'b'c\"d\"e", {{"abcde", "@"}}},
                    BrowserVariableCase{"'' x", {{"", "x", "@"}}},
                    BrowserVariableCase{"bad 'open:good", {{"good", "@"}}},
                    BrowserVariableCase{"bad \"open:good", {{"good", "@"}}},
                    BrowserVariableCase{"$HOME/b `x`", {{"$HOME/b", "`x`", "@"}}}));

}  // namespace
}  // namespace tavelin
