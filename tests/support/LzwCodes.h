#pragma once
// LZW code streams written code by code, independently of any encoder under test, for tests
// that build GIF data by hand.
#include <cstdint>
#include <vector>

// The codes packed least significant bit first, each at the width a standard decoder reads it:
// minCodeSize + 1 after a clear code, one more whenever the next free table entry reaches the
// width's limit, 12 at most. The bytes still need their sub-block lengths.
inline std::vector<uint8_t> PackLzwCodes(int minCodeSize, const std::vector<int>& codes) {
  const int clear = 1 << minCodeSize;
  int width = minCodeSize + 1, next = clear + 2;
  bool first = true;
  std::vector<uint8_t> data;
  uint32_t bucket = 0;
  int bits = 0;
  for (int code : codes) {
    bucket |= static_cast<uint32_t>(code) << bits;
    for (bits += width; bits >= 8; bits -= 8, bucket >>= 8) data.push_back(static_cast<uint8_t>(bucket));
    if (code == clear) {
      width = minCodeSize + 1, next = clear + 2, first = true;
    } else if (first) {
      first = false;
    } else if (next < 4096 && ++next >= 1 << width && width < 12) {
      ++width;
    }
  }
  if (bits) data.push_back(static_cast<uint8_t>(bucket));
  return data;
}
