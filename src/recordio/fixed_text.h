#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace quorlant::recordio {

/// `text` padded with blanks on the right, or cut on the right, to `width` characters: the rule
/// of every fixed-length text, for widths known only when the text is written.
inline std::string padded(std::string_view text, std::size_t width) {
  std::string result(text.substr(0, width));
  result.resize(width, ' ');
  return result;
}

/// A text of exactly N characters. Assigning a shorter value pads it with blanks on the right,
/// a longer one is cut on the right; trailing blanks belong to the value.
template <std::size_t N>
class FixedText {
 public:
  static constexpr std::size_t kLength = N;

  FixedText() { chars_.fill(' '); }
  FixedText(std::string_view text) { assign(text); }  // NOLINT: implicit like an assignment

  FixedText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }

  void assign(std::string_view text) {
    const std::size_t kept = std::min(text.size(), N);
    std::copy_n(text.begin(), kept, chars_.begin());
    std::fill(chars_.begin() + static_cast<std::ptrdiff_t>(kept), chars_.end(), ' ');
  }

  /// All N characters, trailing blanks included.
  std::string_view view() const { return {chars_.data(), N}; }
  std::string str() const { return std::string(view()); }
  /// The value without its trailing blanks.
  std::string_view trimmed() const {
    const std::size_t end = view().find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : view().substr(0, end + 1);
  }
  /// The first `count` characters (at most N).
  std::string_view first(std::size_t count) const { return view().substr(0, std::min(count, N)); }

  char operator[](std::size_t index) const { return chars_[index]; }
  char& operator[](std::size_t index) { return chars_[index]; }
  std::span<char> span() { return chars_; }

  bool operator==(const FixedText&) const = default;
  bool operator==(std::string_view text) const { return view() == text; }

 private:
  std::array<char, N> chars_;
};

}  // namespace quorlant::recordio
