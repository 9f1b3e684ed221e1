#pragma once
// One-call MD4 digests of byte strings, and their text form, from which the TMX reader builds
// identifiers for inline-tag contents.
#include <cstddef>
#include <string_view>

#include "base/MD5Core.h"
#include "unicode/UniTypes.h"

void MD4Digest(const void* Data, size_t Length, TMD4Digest& Digest);
// The digest of S's bytes as 32 lower-case hexadecimal digits, high nibble first. Result's
// storage is reused, so a caller that keeps it across calls allocates nothing.
void MD4HexDigest(std::string_view S, AnsiString& Result);
