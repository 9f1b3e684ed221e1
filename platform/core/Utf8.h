#pragma once
// Strict UTF-8 <-> UTF-16 for the platform's edges (file names, system texts).
// Ill-formed input never passes through: each bad sequence or lone surrogate becomes U+FFFD.
#include <string>
#include <string_view>

namespace platform {
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view bytes);
}  // namespace platform
