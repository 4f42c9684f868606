#include "browse/address.h"

#include <optional>

namespace tavelin {

namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsSchemeCharacter(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
}

template <typename Char>
std::basic_string<Char> QuoteArgument(std::basic_string_view<Char> argument) {
  const auto needsQuotes = [](Char c) {
    return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\v') ||
           c == Char('"');
  };
  bool plain = !argument.empty();
  for (Char c : argument) {
    if (needsQuotes(c)) {
      plain = false;
      break;
    }
  }
  if (plain) return std::basic_string<Char>(argument);

  // Backslashes are literal unless they precede a quote; there, and before the closing
  // quote, each one has to be doubled.
  std::basic_string<Char> quoted;
  quoted.reserve(argument.size() + 2);
  quoted.push_back(Char('"'));
  std::size_t backslashes = 0;
  for (Char c : argument) {
    if (c == Char('\\')) {
      ++backslashes;
      continue;
    }
    if (c == Char('"')) {
      quoted.append(backslashes * 2 + 1, Char('\\'));
    } else {
      quoted.append(backslashes, Char('\\'));
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, Char('\\'));
  quoted.push_back(Char('"'));
  return quoted;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

// Splits one $BROWSER entry into words; no result when a quote is left open.
std::optional<std::vector<std::string>> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsBlank(c)) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\\') {
      if (i + 1 < text.size()) {
        word.push_back(text[++i]);
      } else {
        word.push_back(c);
      }
    } else if (c == '\'') {
      const std::size_t close = text.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      word.append(text.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '"') {
      bool closed = false;
      for (++i; i < text.size(); ++i) {
        const char q = text[i];
        if (q == '"') {
          closed = true;
          break;
        }
        if (q == '\\' && i + 1 < text.size() &&
            std::string_view("\"\\$`").find(text[i + 1]) != std::string_view::npos) {
          word.push_back(text[++i]);
        } else {
          word.push_back(q);
        }
      }
      if (!closed) return std::nullopt;
    } else {
      word.push_back(c);
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

// Puts the address in place of "%s" and a percent sign in place of "%%".
std::string SubstituteAddress(std::string_view word, std::string_view address, bool& used) {
  std::string result;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '%' && i + 1 < word.size()) {
      if (word[i + 1] == 's') {
        result.append(address);
        used = true;
        ++i;
        continue;
      }
      if (word[i + 1] == '%') {
        result.push_back('%');
        ++i;
        continue;
      }
    }
    result.push_back(word[i]);
  }
  return result;
}

}  // namespace

bool BeginsWithSchemeAndSlashes(std::string_view text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return false;
  std::size_t i = 1;
  while (i < text.size() && IsSchemeCharacter(text[i])) ++i;
  return text.substr(i).starts_with("://");
}

std::string BrowserAddress(std::string_view entry) {
  const std::size_t first = entry.find_first_not_of(' ');
  if (first == std::string_view::npos)
    entry = {};
  else
    entry = entry.substr(first, entry.find_last_not_of(' ') - first + 1);
  if (BeginsWithSchemeAndSlashes(entry)) return std::string(entry);
  std::string address = "http://";
  address.append(entry);
  return address;
}

std::u16string QuoteWindowsArgument(std::u16string_view argument) {
  return QuoteArgument(argument);
}

std::string QuoteWindowsArgument(std::string_view argument) {
  return QuoteArgument(argument);
}

std::vector<BrowserCommand> ParseBrowserVariable(std::string_view value, std::string_view address) {
  std::vector<BrowserCommand> commands;
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(':', start);
    if (end == std::string_view::npos) end = value.size();
    const std::string_view entry = value.substr(start, end - start);
    start = end + 1;

    auto words = SplitWords(entry);
    if (!words || words->empty()) continue;
    BrowserCommand command;
    bool used = false;
    for (const std::string& word : *words) {
      command.arguments.push_back(SubstituteAddress(word, address, used));
    }
    if (!used) command.arguments.emplace_back(address);
    commands.push_back(std::move(command));
  }
  return commands;
}

}  // namespace tavelin
