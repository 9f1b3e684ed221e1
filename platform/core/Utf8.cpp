#include "platform/core/Utf8.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

char* EncodeUtf8(std::u16string_view text, char* dest, LoneSurrogate lone) {
  auto* q = reinterpret_cast<unsigned char*>(dest);
  const char16_t* s = text.data();
  const char16_t* const end = s + text.size();
  while (s < end) {
    // ASCII, the bulk of most text and all markup, eight units at a time.
    while (end - s >= 8) {
      uint64_t a, b;
      std::memcpy(&a, s, 8);
      std::memcpy(&b, s + 4, 8);
      if ((a | b) & 0xFF80FF80FF80FF80ull) break;
#if defined(__SSE2__)
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_packus_epi16(units, units));
#else
      for (int k = 0; k < 8; ++k) q[k] = static_cast<unsigned char>(s[k]);
#endif
      q += 8;
      s += 8;
    }
    while (s < end && *s < 0x80) *q++ = static_cast<unsigned char>(*s++);
    // Two-byte forms come in runs too (Greek, Cyrillic, Hebrew, Arabic...).
    while (s < end && *s >= 0x80 && *s < 0x800) {
      const char16_t c = *s++;
      q[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
      q[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      q += 2;
    }
    if (s >= end || *s < 0x800) continue;
    char32_t c = *s++;
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && s < end && *s >= 0xDC00 && *s <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (*s++ - 0xDC00);
        *q++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *q++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *q++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *q++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        continue;
      }
      if (lone == LoneSurrogate::Unescape && c >= 0xDC80 && c <= 0xDCFF) {
        *q++ = static_cast<unsigned char>(c & 0xFF);
        continue;
      }
      if (lone != LoneSurrogate::Keep) c = 0xFFFD;
    }
    *q++ = static_cast<unsigned char>(0xE0 | (c >> 12));
    *q++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    *q++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
  return reinterpret_cast<char*>(q);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(EncodeUtf8(text, out.data(), LoneSurrogate::Replace) - out.data()));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view bytes, IllFormedUtf8 illFormed) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    unsigned char b = p[i];
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int len = 0;
    char32_t c = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte (excludes overlongs and surrogates)
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2; c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3; c = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4; c = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out += illFormed == IllFormedUtf8::EscapeBytes ? static_cast<char16_t>(0xDC00 | b) : u'\uFFFD';
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j < static_cast<size_t>(len); ++j) {
      if (i + j >= n) break;
      unsigned char t = p[i + j];
      if (j == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) break;
      c = (c << 6) | (t & 0x3F);
    }
    if (j < static_cast<size_t>(len)) {  // maximal ill-formed subpart: one U+FFFD, or each byte escaped
      if (illFormed == IllFormedUtf8::EscapeBytes) {
        for (size_t k = 0; k < j; ++k) out += static_cast<char16_t>(0xDC00 | p[i + k]);
      } else {
        out += u'\uFFFD';
      }
      i += j;
      continue;
    }
    AppendUtf16(out, c);
    i += len;
  }
  return out;
}

std::u16string ShownText(std::u16string_view text) {
  std::u16string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const char16_t c = out[i];
    if (c < 0xD800 || c > 0xDFFF) continue;
    if (c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF)
      ++i;  // a pair
    else
      out[i] = u'\uFFFD';
  }
  return out;
}

}  // namespace platform
