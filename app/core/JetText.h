#pragma once
// Jet 4 text as the file stores it. libmdb's own text conversion turns every character outside
// the Basic Multilingual Plane into "??", so the termbase reader decodes the stored bytes
// itself. Kept in the header so that the Jet 4 writer's tests read their files back with the
// same decoder without linking the application.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The stored text is either UTF-16LE, or the compressed form: FF FE, then one byte per
// character, a zero byte switching to two-byte characters and back. Jet compresses only text
// with no zero low byte, so a zero byte is always a switch. An odd byte left at the end is dropped.
inline std::u16string DecodeJetText(const std::uint8_t* bytes, std::size_t size) {
  std::u16string text;
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    text.reserve(size - 2);
    bool oneByte = true;
    for (std::size_t i = 2; i < size;) {
      if (bytes[i] == 0) {
        oneByte = !oneByte;
        ++i;
      } else if (oneByte) {
        text += static_cast<char16_t>(bytes[i++]);
      } else if (i + 1 < size) {
        text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        i += 2;
      } else {
        break;
      }
    }
    return text;
  }
  text.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return text;
}

inline std::u16string DecodeJetText(const std::vector<std::uint8_t>& bytes) {
  return DecodeJetText(bytes.data(), bytes.size());
}
