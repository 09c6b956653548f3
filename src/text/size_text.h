// Size expressions in ("700mb", "dvd", "4kb") and comma-grouped numbers out.
#pragma once

#include <cstdint>
#include <string>

// Reads a size expression: one optional leading '=', then a medium name ("cd", "dvd",
// "floppy") or a decimal number with an optional "kb", "mb" or "gb" suffix. Never fails: text
// without a number gives 0, and a value beyond the signed 64-bit range gives the nearest limit.
std::int64_t ParseSize(const std::string& text);

// Inserts a comma between groups of three digits of a decimal number, keeping a leading '-'.
void GroupThousands(std::string* digits);

// The value in decimal with its thousands grouped, such as "-1,234,567".
std::string FormatCount(std::int64_t value);
