#include "text/size_text.h"

#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

constexpr std::int64_t kFloppyBytes = 1457152;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char ToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToLower(a[i]) != ToLower(b[i])) return false;
  }
  return true;
}

double SuffixMultiplier(std::string_view text) {
  if (text.size() < 3) return 1;
  const char first = ToLower(text[text.size() - 2]);
  if (ToLower(text.back()) != 'b') return 1;
  if (first == 'k') return 1024.0;
  if (first == 'm') return 1048576.0;
  if (first == 'g') return 1073741824.0;
  return 1;
}

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

// The longest leading decimal number, as atof reads it but without its hexadecimal, infinity
// and NaN forms, and with 'd' accepted as an exponent letter. Returns 0 when there is none.
double ReadDecimal(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  const std::size_t start = at;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const std::size_t integerEnd = SkipDigits(text, at);
  bool haveDigits = integerEnd > at;
  at = integerEnd;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fractionEnd = SkipDigits(text, at + 1);
    haveDigits = haveDigits || fractionEnd > at + 1;
    at = fractionEnd;
  }
  if (!haveDigits) return 0;
  std::string number(text.substr(start, at - start));
  if (at < text.size() && std::string_view("eEdD").find(text[at]) != std::string_view::npos) {
    std::size_t exponent = at + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    const std::size_t exponentEnd = SkipDigits(text, exponent);
    if (exponentEnd > exponent) {
      number += 'e';
      number.append(text.substr(at + 1, exponentEnd - at - 1));
    }
  }
  // Only digits, a sign, a point and an exponent remain, so strtod reads exactly this number.
  return std::strtod(number.c_str(), nullptr);
}

std::int64_t TruncateToInt64(double value) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (std::isnan(value)) return 0;
  if (value >= kTwoTo63) return INT64_MAX;
  if (value <= -kTwoTo63) return INT64_MIN;
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t ParseSize(const std::string& expression) {
  std::string_view text = expression;
  for (;;) {
    if (!text.empty() && text.front() == '=') text.remove_prefix(1);
    if (EqualsIgnoringCase(text, "cd")) {
      text = "700mb";
    } else if (EqualsIgnoringCase(text, "dvd")) {
      text = "4300mb";
    } else {
      break;
    }
  }
  if (EqualsIgnoringCase(text, "floppy")) return kFloppyBytes;
  return TruncateToInt64(ReadDecimal(text) * SuffixMultiplier(text));
}

void GroupThousands(std::string* digits) {
  const std::size_t start = (!digits->empty() && digits->front() == '-') ? 1 : 0;
  const std::size_t count = digits->size() - start;
  if (count < 4) return;
  std::string grouped = digits->substr(0, start);
  grouped.reserve(digits->size() + (count - 1) / 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0 && (count - i) % 3 == 0) grouped += ',';
    grouped += (*digits)[start + i];
  }
  *digits = std::move(grouped);
}

std::string FormatCount(std::int64_t value) {
  std::string text = std::to_string(value);
  GroupThousands(&text);
  return text;
}
