#include "base/MD5Core.h"

#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }

inline void FF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s) {
  a = Rotl(a + F(b, c, d) + x, s);
}
inline void GG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s) {
  a = Rotl(a + G(b, c, d) + x + 0x5A827999u, s);
}
inline void HH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s) {
  a = Rotl(a + H(b, c, d) + x + 0x6ED9EBA1u, s);
}

inline void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

void MD4Init(TMD4Context& Context) {
  Context.State[0] = 0x67452301u;
  Context.State[1] = 0xEFCDAB89u;
  Context.State[2] = 0x98BADCFEu;
  Context.State[3] = 0x10325476u;
  Context.Count[0] = 0;
  Context.Count[1] = 0;
}

void MD4Transform(uint32_t (&State)[4], const uint8_t* Block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    const uint8_t* p = Block + 4 * i;
    x[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }
  uint32_t a = State[0], b = State[1], c = State[2], d = State[3];

  for (int i = 0; i < 16; i += 4) {
    FF(a, b, c, d, x[i], 3);
    FF(d, a, b, c, x[i + 1], 7);
    FF(c, d, a, b, x[i + 2], 11);
    FF(b, c, d, a, x[i + 3], 19);
  }
  for (int i = 0; i < 4; ++i) {
    GG(a, b, c, d, x[i], 3);
    GG(d, a, b, c, x[i + 4], 5);
    GG(c, d, a, b, x[i + 8], 9);
    GG(b, c, d, a, x[i + 12], 13);
  }
  static constexpr int Round3Order[4] = {0, 2, 1, 3};
  for (int i : Round3Order) {
    HH(a, b, c, d, x[i], 3);
    HH(d, a, b, c, x[i + 8], 9);
    HH(c, d, a, b, x[i + 4], 11);
    HH(b, c, d, a, x[i + 12], 15);
  }

  State[0] += a;
  State[1] += b;
  State[2] += c;
  State[3] += d;
}

void MD4Update(TMD4Context& Context, const void* Data, size_t Length) {
  if (Length == 0) return;
  const auto* in = static_cast<const uint8_t*>(Data);
  size_t used = Context.Count[0] & 63u;

  const uint64_t count = (uint64_t{Context.Count[1]} << 32 | Context.Count[0]) + Length;
  Context.Count[0] = static_cast<uint32_t>(count);
  Context.Count[1] = static_cast<uint32_t>(count >> 32);

  if (used) {
    const size_t room = 64 - used;
    if (Length < room) {
      std::memcpy(Context.Buffer + used, in, Length);
      return;
    }
    std::memcpy(Context.Buffer + used, in, room);
    MD4Transform(Context.State, Context.Buffer);
    in += room;
    Length -= room;
  }
  for (; Length >= 64; in += 64, Length -= 64) MD4Transform(Context.State, in);
  if (Length) std::memcpy(Context.Buffer, in, Length);
}

void MD4Final(TMD4Context& Context, TMD4Digest& Digest) {
  const uint64_t bits = (uint64_t{Context.Count[1]} << 32 | Context.Count[0]) << 3;
  size_t used = Context.Count[0] & 63u;

  Context.Buffer[used++] = 0x80;
  if (used > 56) {
    std::memset(Context.Buffer + used, 0, 64 - used);
    MD4Transform(Context.State, Context.Buffer);
    used = 0;
  }
  std::memset(Context.Buffer + used, 0, 56 - used);
  PutLE32(Context.Buffer + 56, static_cast<uint32_t>(bits));
  PutLE32(Context.Buffer + 60, static_cast<uint32_t>(bits >> 32));
  MD4Transform(Context.State, Context.Buffer);

  for (int i = 0; i < 4; ++i) PutLE32(Digest.data() + 4 * i, Context.State[i]);
  std::memset(&Context, 0, sizeof Context);
}
