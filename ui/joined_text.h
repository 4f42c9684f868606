// A text of the layout tables joined from pieces at compile time, so that a text that carries
// the version (the main window's title, the About text) is a constant like every other text
// of the tables and lives as long as the program.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace tavelin {

// JoinedText<kA, kB, kC>::kText is kA, kB and kC one after another; the pieces are constants
// with static storage.
template <const std::string_view&... Pieces>
class JoinedText {
  static constexpr std::size_t kSize = (Pieces.size() + ... + 0);

  static constexpr std::array<char, kSize> Join() {
    std::array<char, kSize> chars{};
    auto end = chars.begin();
    ((end = std::copy(Pieces.begin(), Pieces.end(), end)), ...);
    return chars;
  }

  static constexpr std::array<char, kSize> kChars = Join();

 public:
  static constexpr std::string_view kText{kChars.data(), kChars.size()};
};

}  // namespace tavelin
