#include "frontend/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

int64_t SaturatingMultiply(int64_t value, int64_t factor) {
  return value > std::numeric_limits<int64_t>::max() / factor ? std::numeric_limits<int64_t>::max()
                                                              : value * factor;
}

}  // namespace

int32_t ReadInt32(std::string_view text) {
  const std::string copy(text);  // the C conversions need the terminating zero
  const long long value = std::strtoll(copy.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

double ReadDouble(std::string_view text) {
  const std::string copy(text);
  const double value = std::strtod(copy.c_str(), nullptr);
  return std::isnan(value) ? 0.0 : value;
}

int64_t ReadSize(std::string_view text) {
  int64_t bytes = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    bytes = SaturatingMultiply(bytes, 10);
    const int digit = text[i] - '0';
    bytes = bytes > std::numeric_limits<int64_t>::max() - digit ? std::numeric_limits<int64_t>::max()
                                                                : bytes + digit;
  }
  if (i < text.size() && text[i] == 'K') return SaturatingMultiply(bytes, 1024);
  if (i < text.size() && text[i] == 'M') return SaturatingMultiply(bytes, 1048576);
  return bytes;
}
