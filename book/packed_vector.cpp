#include <algorithm>
#include <bit>

#include "book/book.h"

PackedVector PackValues(std::span<const int32_t> values) {
  PackedVector packed;
  packed.count = uint32_t(values.size());
  int32_t low = 0, high = 0;
  if (!values.empty()) {
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    low = *lowest;
    high = *highest;
  }
  packed.offset = low;
  packed.width = std::max(1u, uint32_t(std::bit_width(uint32_t(int64_t(high) - low))));
  packed.words.assign(uint64_t(packed.count) * packed.width / 32 + 2, 0);
  for (uint64_t i = 0; i < values.size(); ++i) {
    const uint64_t bit = i * packed.width;
    const uint64_t stored = uint64_t(uint32_t(int64_t(values[i]) - low)) << (bit & 31);
    packed.words[bit >> 5] |= uint32_t(stored);
    packed.words[(bit >> 5) + 1] |= uint32_t(stored >> 32);
  }
  return packed;
}
