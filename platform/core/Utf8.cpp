#include "platform/core/Utf8.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

char* EncodeUtf8(std::u16string_view text, char* dest, LoneSurrogate lone, size_t* replaced) {
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
      if (lone != LoneSurrogate::Keep) {
        c = 0xFFFD;
        if (replaced) ++*replaced;
      }
    }
    *q++ = static_cast<unsigned char>(0xE0 | (c >> 12));
    *q++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    *q++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
  }
  return reinterpret_cast<char*>(q);
}

size_t Utf8Length(std::u16string_view text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      n += 1;
    } else if (c < 0x800) {
      n += 2;
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      n += 4;
      ++i;
    } else {
      n += 3;
    }
  }
  return n;
}

size_t ReplaceLoneSurrogates(char16_t* text, size_t length) {
  size_t replaced = 0;
  for (size_t i = 0; i < length; ++i) {
    const char16_t c = text[i];
    if (c < 0xD800 || c > 0xDFFF) continue;
    if (c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    text[i] = 0xFFFD;
    ++replaced;
  }
  return replaced;
}

size_t ReplaceLoneSurrogatesUtf8(std::string& bytes, size_t from) {
  // A surrogate's form: ED, then A0..AF (high) or B0..BF (low), then a continuation byte. ED is
  // no continuation byte, so every ED found is a lead byte. 1 high, 2 low, 0 none.
  auto formAt = [&](size_t i) -> int {
    if (i + 3 > bytes.size() || static_cast<unsigned char>(bytes[i]) != 0xED) return 0;
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]), b2 = static_cast<unsigned char>(bytes[i + 2]);
    if (b1 < 0xA0 || b1 > 0xBF || (b2 & 0xC0) != 0x80) return 0;
    return b1 < 0xB0 ? 1 : 2;
  };
  auto bits = [&](size_t i) -> char32_t {
    return ((static_cast<unsigned char>(bytes[i + 1]) & 0x0F) << 6) | (static_cast<unsigned char>(bytes[i + 2]) & 0x3F);
  };
  size_t replaced = 0;
  // Bytes are read at r and written at w, which falls behind r only once a pair was joined.
  size_t r = std::min(from, bytes.size()), w = r;
  for (;;) {
    const void* ed = std::memchr(bytes.data() + r, 0xED, bytes.size() - r);
    const size_t at = ed ? static_cast<size_t>(static_cast<const char*>(ed) - bytes.data()) : bytes.size();
    if (w != r) std::memmove(bytes.data() + w, bytes.data() + r, at - r);
    w += at - r;
    r = at;
    if (!ed) break;
    const int form = formAt(r);
    if (form == 0) {
      bytes[w++] = bytes[r++];
      continue;
    }
    if (form == 1 && formAt(r + 3) == 2) {
      const char32_t c = 0x10000 + (bits(r) << 10) + bits(r + 3);
      const char four[4] = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                            static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
      std::memcpy(bytes.data() + w, four, 4);
      w += 4;
      r += 6;
      continue;
    }
    bytes[w++] = '\xEF';
    bytes[w++] = '\xBF';
    bytes[w++] = '\xBD';
    r += 3;
    ++replaced;
  }
  bytes.resize(w);
  return replaced;
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
  ReplaceLoneSurrogates(out.data(), out.size());
  return out;
}

}  // namespace platform
