// Size expressions are typed by users: any text must give a value without a fault, and every
// value must survive being shown with its thousands grouped.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/size_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int64_t value = ParseSize(text);

  std::string shown = FormatCount(value);
  std::string digits;
  for (const char c : shown) {
    if (c != ',') digits += c;
  }
  std::int64_t back = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), back);
  if (error != std::errc() || end != digits.data() + digits.size() || back != value) std::abort();
  return 0;
}
