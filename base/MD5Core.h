#pragma once
// The MD4 message digest of RFC 1320, computed incrementally: Init, any number of Updates,
// Final.
#include <array>
#include <cstddef>
#include <cstdint>

struct TMD4Context {
  uint32_t State[4];  // A, B, C, D
  uint32_t Count[2];  // bytes added: low word, high word
  uint8_t Buffer[64]; // input waiting for a whole block
};

// A, B, C, D, each little-endian.
using TMD4Digest = std::array<uint8_t, 16>;

void MD4Init(TMD4Context& Context);
void MD4Update(TMD4Context& Context, const void* Data, size_t Length);
// Writes the digest and clears the whole context.
void MD4Final(TMD4Context& Context, TMD4Digest& Digest);
// Compresses one 64-byte block into State.
void MD4Transform(uint32_t (&State)[4], const uint8_t* Block);
