#pragma once
// Numbers from the interface and the settings file are untrusted: every reader saturates
// instead of overflowing, and text that does not start with a number reads as 0.

#include <cstdint>
#include <string_view>

// A decimal integer with an optional sign after leading blanks, clamped to 32 bits.
int32_t ReadInt32(std::string_view text);
// A decimal floating number after leading blanks; not a number reads as 0.
double ReadDouble(std::string_view text);
// Leading decimal digits (none: 0), times 1024 after "K" or 1048576 after "M".
int64_t ReadSize(std::string_view text);
