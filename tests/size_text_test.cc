#include "text/size_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct SizeCase {
  const char* text;
  std::int64_t expected;
};

TEST(ParseSize, ReadsNumbersSuffixesAndMediaNames) {
  const SizeCase cases[] = {
      {"cd", 734003200},
      {"=cd", 734003200},
      {"CD", 734003200},
      {"Dvd", 4508876800},
      {"=dvd", 4508876800},
      {"floppy", 1457152},
      {"FLOPPY", 1457152},
      {"==cd", 0},
      {"kb", 0},
      {"4kb", 4096},
      {"4 kb", 4096},
      {"=4KB", 4096},
      {"6MB", 6291456},
      {"6Mb", 6291456},
      {"650mb", 681574400},
      {"1gb", 1073741824},
      {"1.5gb", 1610612736},
      {"700mb", 734003200},
      {"4096", 4096},
      {"-5", -5},
      {"-1.5", -1},
      {"0.9kb", 921},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"4k", 4},
      {"4m", 4},
      {"  \t 7", 7},
      {"+8", 8},
      {".5kb", 512},
      {"5.kb", 5120},
      {".", 0},
      {"-", 0},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(ParseSize(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseSize, ReadsOnlyDecimalNotation) {
  const SizeCase cases[] = {
      {"0x10", 0},   {"0x10kb", 0},   {"inf", 0},    {"-infinity", 0}, {"nan", 0},
      {"NAN(1)", 0}, {"1e3", 1000},   {"1E3", 1000}, {"1d3", 1000},    {"1D3", 1000},
      {"2e+2", 200}, {"5e-1kb", 512}, {"1e", 1},     {"1e+", 1},       {"1dkb", 1024},
      {"1.5e1", 15}, {"1x3", 1},      {"0x1p4", 0},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(ParseSize(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseSize, SaturatesBeyondTheSignedRange) {
  const SizeCase cases[] = {
      {"1e30", INT64_MAX},           {"-1e30", INT64_MIN},
      {"1e400", INT64_MAX},          {"9223372036854775807", INT64_MAX},
      {"9e18", 9000000000000000000}, {"8589934592gb", INT64_MAX},
      {"-8589934592gb", INT64_MIN},
  };
  for (const SizeCase& c : cases) EXPECT_EQ(ParseSize(c.text), c.expected) << '"' << c.text << '"';
}

TEST(FormatCount, GroupsThousands) {
  const struct {
    std::int64_t value;
    const char* expected;
  } cases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {-999, "-999"},
      {-1000, "-1,000"},
      {123456, "123,456"},
      {1234567, "1,234,567"},
      {-1234567, "-1,234,567"},
      {734003200, "734,003,200"},
      {INT64_MAX, "9,223,372,036,854,775,807"},
      {INT64_MIN, "-9,223,372,036,854,775,808"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatCount(c.value), c.expected);
}

TEST(GroupThousands, RewritesTextInPlace) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"", ""}, {"-", "-"}, {"100", "100"}, {"1000", "1,000"}, {"-123456", "-123,456"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    GroupThousands(&text);
    EXPECT_EQ(text, c.expected);
  }
}

}  // namespace
