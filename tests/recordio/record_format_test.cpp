#include "recordio/record_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "recordio/fixed_text.h"

namespace quorlant::recordio {
namespace {

using Records = std::vector<std::string>;

// The records without their terminators.
Records write_records(const Format& format, const std::vector<OutItem>& items) {
  std::string text;
  format_records(format, items, text);
  Records records;
  for (std::size_t start = 0, end = 0; (end = text.find('\n', start)) != text.npos; start = end + 1)
    records.push_back(text.substr(start, end - start));
  return records;
}

// Hands out `records` one by one and counts how many were taken.
struct Feed {
  explicit Feed(Records all) : records(std::move(all)) {}
  RecordSource source() {
    return [this]() -> std::string_view {
      if (taken == records.size()) throw std::runtime_error("no record left");
      return records[taken++];
    };
  }
  Records records;
  std::size_t taken = 0;
};

// ---- Output ----------------------------------------------------------------------------------

struct OutputRow {
  Format format;
  std::vector<OutItem> items;
  Records expected;
};

TEST(FormatOutput, FieldsLiteralsSkipsAndReversion) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::vector<OutputRow> rows = {
      // A text shorter than the field: right-justified with blanks in front.
      {Format{TextField{5}}, {"abc"}, {"  abc"}},
      // At least as long: the first w characters.
      {Format{TextField{3}}, {"abc"}, {"abc"}},
      {Format{TextField{3}}, {"abcdef"}, {"abc"}},
      {Format{TextField{1}}, {"yes"}, {"y"}},
      // Width 0 takes the item's own length, trailing blanks included.
      {Format{TextField{}}, {"ab  "}, {"ab  "}},
      {Format{TextField{}, Literal{"|"}}, {"ab  "}, {"ab  |"}},
      {Format{TextField{4}, Literal{"|"}}, {""}, {"    |"}},
      // Trailing blanks of an item belong to it, even when cut.
      {Format{TextField{6}, Literal{"|"}}, {"ab  cd  "}, {"ab  cd|"}},
      // Integers, right-justified; asterisks where they do not fit.
      {Format{IntField{2}}, {7}, {" 7"}},
      {Format{IntField{4}}, {12345}, {"****"}},
      {Format{IntField{2}}, {0}, {" 0"}},
      {Format{IntField{1}}, {0}, {"0"}},
      {Format{IntField{3}}, {-5}, {" -5"}},
      {Format{IntField{2}}, {-5}, {"-5"}},
      {Format{IntField{1}}, {-5}, {"*"}},
      {Format{IntField{3}}, {-100}, {"***"}},
      {Format{IntField{11}}, {kMin}, {"-2147483648"}},
      {Format{IntField{12}}, {kMin}, {" -2147483648"}},
      {Format{IntField{10}}, {kMin}, {"**********"}},
      {Format{IntField{10}}, {kMax}, {"2147483647"}},
      {Format{IntField{9}}, {kMax}, {"*********"}},
      // A skip is filled only when something follows it on the record.
      {Format{IntField{2}, Skip{3}, IntField{2}}, {1, 2}, {" 1    2"}},
      {Format{IntField{2}, Skip{3}, Literal{"x"}}, {1}, {" 1   x"}},
      {Format{Skip{2}, Literal{"ab"}}, {}, {"  ab"}},
      // Nothing follows the skip on the record: the record is not lengthened.
      {Format{IntField{2}, Skip{3}}, {1}, {" 1"}},
      {Format{IntField{2}, Skip{3}, IntField{2}}, {1}, {" 1"}},
      // Items used up: output goes on to the next field that needs an item.
      {Format{IntField{2}, Literal{"a"}, IntField{2}, Literal{"b"}}, {1}, {" 1a"}},
      {Format{IntField{2}, Literal{"a"}, IntField{2}, Literal{"b"}}, {1, 2}, {" 1a 2b"}},
      // No items at all: output stops at the first field that needs one.
      {Format{TextField{8}}, {}, {""}},
      {Format{TextField{}, Literal{"x"}}, {}, {""}},
      {Format{Literal{"abc"}}, {}, {"abc"}},
      {Format{Literal{"abc"}, IntField{2}, Literal{"def"}}, {}, {"abc"}},
      // Items left over start a new record from the first field.
      {Format{IntField{2}, IntField{2}}, {1, 2, 3, 4}, {" 1 2", " 3 4"}},
      {Format{IntField{2}, IntField{2}, Literal{"x"}}, {1, 2, 3, 4}, {" 1 2x", " 3 4x"}},
      {Format{IntField{2}, IntField{2}, Literal{"x"}}, {1, 2, 3}, {" 1 2x", " 3"}},
      {Format{Literal{"n="}, IntField{2}}, {1, 2, 3}, {"n= 1", "n= 2", "n= 3"}},
      {Format{TextField{}}, {"a", "bb", "c"}, {"a", "bb", "c"}},
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(write_records(rows[i].format, rows[i].items), rows[i].expected) << "row " << i;
  }
}

TEST(FormatOutput, RealFieldOnTheExactBinaryValue) {
  // The float nearest 12.345 lies above it, the one nearest 99.995 too, the one nearest 1.005
  // and the one nearest 2.675 below: the rounding follows the stored value, not the decimal one.
  ASSERT_GT(static_cast<double>(12.345F), 12.345);
  ASSERT_GT(static_cast<double>(99.995F), 99.995);
  ASSERT_LT(static_cast<double>(1.005F), 1.005);
  ASSERT_LT(static_cast<double>(2.675F), 2.675);
  struct Row {
    float value;
    int width;
    int decimals;
    std::string expected;
  };
  const Row rows[] = {
      // Exact ties go to the even digit.
      {0.125F, 5, 2, " 0.12"},
      {0.375F, 5, 2, " 0.38"},
      {0.625F, 5, 2, " 0.62"},
      {12.345F, 5, 2, "12.35"},
      {1.005F, 5, 2, " 1.00"},
      {2.675F, 5, 2, " 2.67"},
      {-0.001F, 5, 2, "-0.00"},
      {-1.5F, 5, 2, "-1.50"},
      // 100.00 and -10.00 need six columns.
      {99.995F, 5, 2, "*****"},
      {-10.0F, 5, 2, "*****"},
      {99.99F, 5, 2, "99.99"},
      // The 0 before the point goes only when the field has no room for it.
      {0.5F, 3, 2, ".50"},
      {0.5F, 4, 2, "0.50"},
      {-0.5F, 4, 2, "-.50"},
      {0.5F, 2, 2, "**"},
      // Without decimals the point is still written.
      {0.5F, 5, 0, "   0."},
      {1.5F, 5, 0, "   2."},
      {2.5F, 5, 0, "   2."},
      {-3.0F, 5, 0, "  -3."},
      {123.0F, 3, 0, "***"},
      // No number at all.
      {std::numeric_limits<float>::infinity(), 5, 2, "*****"},
      {-std::numeric_limits<float>::infinity(), 6, 2, "******"},
      {std::numeric_limits<float>::quiet_NaN(), 4, 1, "****"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(format_real(row.value, row.width, row.decimals), row.expected)
        << row.value << " through F" << row.width << "." << row.decimals;
  }
}

TEST(FormatOutput, AppendsEachRecordWithItsTerminator) {
  std::string out = "old\n";
  const std::vector<OutItem> items = {1, 2, 3};
  format_records(Format{IntField{2}, IntField{2}}, items, out);
  EXPECT_EQ(out, "old\n 1 2\n 3\n");
}

// ---- Input -----------------------------------------------------------------------------------

TEST(FormatInput, TextFieldNarrowerThanTheVariableIsLeftJustified) {
  struct Row {
    int width;
    std::string record;
    std::string expected;  // the 8-character variable
  };
  const Row rows[] = {
      {4, "abcdefgh", "abcd    "},
      {1, "yes", "y       "},
      {1, "", "        "},
      {1, " y", "        "},
      {7, "ab", "ab      "},
      // Width 0 takes the variable's length.
      {0, "abcdefghij", "abcdefgh"},
      {0, "ab", "ab      "},
      // At least as wide as the variable: its rightmost characters.
      {8, "abcdefgh", "abcdefgh"},
      {10, "0123456789", "23456789"},
      // A short record reads as padded with blanks, so the blanks are the rightmost ones.
      {10, "abc", "c       "},
      {8, "", "        "},
      {8, "gr10k", "gr10k   "},
  };
  for (const Row& row : rows) {
    FixedText<8> variable("XXXXXXXX");
    Feed feed({row.record});
    const std::vector<InTarget> targets = {variable.span()};
    EXPECT_EQ(read_records(Format{TextField{row.width}}, feed.source(), targets), std::nullopt);
    EXPECT_EQ(variable.str(), row.expected) << "A" << row.width << " of \"" << row.record << "\"";
  }
}

// A field that holds no whole number (nullopt) is a field problem.
TEST(FormatInput, IntegerField) {
  struct Row {
    int width;
    std::string record;
    std::optional<std::int32_t> expected;
  };
  const Row rows[] = {
      {5, "   12", 12},
      {5, " 1 2 ", 12},
      {5, "- 1 2", -12},
      {5, "+7", 7},
      {4, "", 0},
      {2, "123", 12},  // only the field's columns
      {11, "-2147483649", std::nullopt},
      {12, "99999999999", std::nullopt},
      {4, "2x15", std::nullopt},
      {4, "ab", std::nullopt},
      {4, "1e2", std::nullopt},
      {4, "--1", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("I" + std::to_string(row.width) + " of \"" + row.record + "\"");
    std::int32_t value = -99;
    Feed feed({row.record});
    const std::vector<InTarget> targets = {&value};
    const auto problem = read_records(Format{IntField{row.width}}, feed.source(), targets);
    EXPECT_EQ(problem.has_value(), !row.expected);
    EXPECT_EQ(value, row.expected.value_or(-99));
  }
}

// A field that holds no number (nullopt) is a field problem.
TEST(FormatInput, RealField) {
  struct Row {
    int width;
    int decimals;
    std::string record;
    std::optional<float> expected;
  };
  const Row rows[] = {
      {5, 0, "25", 25.0F},
      {5, 0, "25.125", 25.12F},  // only five columns are read
      {5, 0, "", 0.0F},
      {5, 0, " 2 5 ", 25.0F},
      {5, 0, "-2.5", -2.5F},
      {5, 0, "1-1", 0.1F},
      {5, 0, "1e-1", 0.1F},
      // Without a typed point the last d digits are the decimals.
      {5, 2, "12345", 123.45F},
      {5, 2, "  5", 0.05F},
      {5, 2, "-5", -0.05F},
      {5, 2, "15e1", 1.5F},
      {5, 2, "1.5", 1.5F},
      {5, 2, "", 0.0F},
      {6, 3, "1 2 3", 0.123F},
      {5, 0, "abc", std::nullopt},
      {5, 0, "e5", std::nullopt},
      {5, 0, "1e99", std::nullopt},
      {5, 0, "1.5x", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("F" + std::to_string(row.width) + "." + std::to_string(row.decimals) + " of \"" +
                 row.record + "\"");
    float value = -99.0F;
    Feed feed({row.record});
    const std::vector<InTarget> targets = {&value};
    const Format format{RealField{row.width, row.decimals}};
    const auto problem = read_records(format, feed.source(), targets);
    EXPECT_EQ(problem.has_value(), !row.expected);
    EXPECT_EQ(value, row.expected.value_or(-99.0F));
  }
}

// Whole numbers read through a format: what each variable holds, or the field problem, and how
// many records the read took. A read passes over the rest of its last record.
TEST(FormatInput, SkipsLiteralsProblemsAndRecordsTaken) {
  struct Row {
    Format format;
    Records records;
    std::vector<std::int32_t> expected;  // as many as there are variables
    std::optional<std::string> problem;
    std::size_t taken;
  };
  const Row rows[] = {
      {Format{IntField{2}}, {"1234", "56"}, {12}, std::nullopt, 1},
      {Format{Skip{2}, IntField{2}, Skip{2}, IntField{2}, Literal{"x"}, IntField{2}},
       {"ab12cd34x56"}, {12, 34, 56}, std::nullopt, 1},
      // Reversion: the format again from the next record for the variables left.
      {Format{IntField{2}, IntField{2}}, {"1 2", "3 4"}, {1, 2, 3, 4}, std::nullopt, 2},
      {Format{IntField{4}, IntField{2}}, {"20x501"}, {0, 0},
       "\"20x5\" in columns 1-4 is not a whole number", 1},
  };
  for (const Row& row : rows) {
    Feed feed(row.records);
    std::vector<std::int32_t> values(row.expected.size());
    std::vector<InTarget> targets;
    for (auto& value : values) targets.emplace_back(&value);
    EXPECT_EQ(read_records(row.format, feed.source(), targets), row.problem) << row.records[0];
    EXPECT_EQ(values, row.expected) << row.records[0];
    EXPECT_EQ(feed.taken, row.taken) << row.records[0];
  }
}

TEST(FormatInput, ReversionFillsTheRemainingVariablesFromTheNextRecords) {
  Records records;
  for (int i = 1; i <= 24; ++i) records.push_back("basin\\file" + std::to_string(i) + ".r2c");
  Feed feed(records);
  std::vector<FixedText<40>> names(23, FixedText<40>("old"));
  std::vector<InTarget> targets;
  for (auto& name : names) targets.emplace_back(name.span());
  EXPECT_EQ(read_records(Format{TextField{30}}, feed.source(), targets), std::nullopt);
  EXPECT_EQ(feed.taken, 23U);  // the 24th record is left for the next read
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string expected = records[i];
    expected.resize(40, ' ');
    EXPECT_EQ(names[i].view(), expected) << "entry " << i + 1;
  }
}

// ---- The number forms ------------------------------------------------------------------------

TEST(ParseInteger, Forms) {
  struct Row {
    std::string text;
    std::optional<std::int32_t> expected;
  };
  const Row rows[] = {
      {"0", 0},
      {"12", 12},
      {"+12", 12},
      {"-12", -12},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"000000000000000000001", 1},
      {"2147483648", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"1.5", std::nullopt},
      {"1 ", std::nullopt},
      {"12a", std::nullopt},
      {"0x10", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(parse_integer(row.text), row.expected) << "\"" << row.text << "\"";
  }
}

TEST(ParseReal, Forms) {
  struct Row {
    std::string text;
    std::optional<float> expected;
  };
  const Row rows[] = {
      {"1", 1.0F},
      {"1.5", 1.5F},
      {"-1.5", -1.5F},
      {"+.5", 0.5F},
      {"1e2", 100.0F},
      {"1.5d1", 15.0F},
      {"1.5D-1", 0.15F},
      {"1+2", 100.0F},
      {"25-1", 2.5F},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {".", std::nullopt},
      {"e2", std::nullopt},
      {"1e", std::nullopt},
      {"1e2x", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1,5", std::nullopt},
      {"0x1p3", std::nullopt},
      {"inf", std::nullopt},
      {"nan", std::nullopt},
      {"1e39", std::nullopt},
      {"1e-60", std::nullopt},
      {" 1", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(parse_real(row.text), row.expected) << "\"" << row.text << "\"";
  }
}

}  // namespace
}  // namespace quorlant::recordio
