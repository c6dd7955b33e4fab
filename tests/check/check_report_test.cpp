// Names as UTF-8 for the JSON report: valid characters kept, any other byte its Latin-1 letter.
#include "check/check_report.h"

#include <gtest/gtest.h>

namespace quorlant::check {
namespace {

TEST(CheckReport, NamesAsUtf8) {
  const struct {
    std::string name, utf8;
  } cases[] = {
      // Valid, up to the highest character and down to the lowest bytes that may follow a lead.
      {"basin\\Sa\xC3\xB4ne \xE2\x82\xAC \xF0\x9F\x8C\x8A \xF4\x8F\xBF\xBF \xC3\x80 \xE0\xA0\x80",
       "basin\\Sa\xC3\xB4ne \xE2\x82\xAC \xF0\x9F\x8C\x8A \xF4\x8F\xBF\xBF \xC3\x80 \xE0\xA0\x80"},
      {"Sa\xF4ne", "Sa\xC3\xB4ne"},
      {"\xC2\xA9", "\xC2\xA9"},  // the lowest lead of a character
      {"\xC0\x80", "\xC3\x80\xC2\x80"},                          // an overlong form
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},              // a surrogate
      {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // past U+10FFFF
      {"\xE2\x82", "\xC3\xA2\xC2\x82"},                          // cut short
      {"\xBF\xBF", "\xC2\xBF\xC2\xBF"},                          // bytes that only follow
      {"\xF8\x90\x80\x80", "\xC3\xB8\xC2\x90\xC2\x80\xC2\x80"},  // a lead of no character
  };
  for (const auto& c : cases) EXPECT_EQ(as_utf8(c.name), c.utf8) << c.name;
}

// The text report's names: no byte that starts a line or steers a terminal gets through; blanks
// and bytes past ASCII are no control characters.
TEST(CheckReport, NamesAsATerminalMayShowThem) {
  EXPECT_EQ(printable(std::string("a\nb\t\r\x1b[2J\0\x01\x1f\x7f ~\xF4", 16)),
            "a\\nb\\t\\r\\x1b[2J\\x00\\x01\\x1f\\x7f ~\xF4");
}

}  // namespace
}  // namespace quorlant::check
