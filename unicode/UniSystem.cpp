#include "unicode/UniSystem.h"

#include <array>
#include <mutex>
#include <string_view>

#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"

namespace {

struct Utf7Tables {
  std::array<uint8_t, 128> mustEncode{};
  std::array<uint8_t, 128> mayEncode{};
  std::array<int8_t, 128> base64Value{};
};

constexpr std::string_view kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kDirect = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'(),-./:?";
constexpr std::string_view kOptional = "!\"#$%&*;<=>@[]^_`{|}";
constexpr std::string_view kSpaces = "\t\r\n ";

const Utf7Tables& Tables() {
  static const Utf7Tables tables = [] {
    Utf7Tables t;
    t.mustEncode.fill(1);
    t.mayEncode.fill(1);
    t.base64Value.fill(-1);
    for (char c : kDirect) t.mustEncode[static_cast<uint8_t>(c)] = t.mayEncode[static_cast<uint8_t>(c)] = 0;
    for (char c : kSpaces) t.mustEncode[static_cast<uint8_t>(c)] = t.mayEncode[static_cast<uint8_t>(c)] = 0;
    for (char c : kOptional) t.mayEncode[static_cast<uint8_t>(c)] = 0;
    for (size_t i = 0; i < kBase64.size(); ++i) t.base64Value[static_cast<uint8_t>(kBase64[i])] = static_cast<int8_t>(i);
    return t;
  }();
  return tables;
}

bool IsBase64Char(unsigned c) { return c < 128 && Tables().base64Value[c] >= 0; }

}  // namespace

unsigned SystemCodePage() {
  static const unsigned cp = platform::AnsiCodePage();
  return cp;
}

AnsiString WideToUTF8(const WideString& w) { return platform::Utf16ToUtf8(w); }

WideString UTF8ToWide(const AnsiString& s) { return platform::Utf8ToUtf16(s); }

AnsiString WideToUTF7(const WideString& w) {
  const Utf7Tables& t = Tables();
  const size_t limit = w.size() * 7;
  AnsiString out;
  out.reserve(w.size() + 8);
  uint32_t bits = 0;
  int nbits = 0;
  bool inBase64 = false;
  auto needsEncoding = [&](char16_t c) { return c > 127 || t.mustEncode[c] != 0; };
  for (size_t i = 0; i <= w.size(); ++i) {
    const bool atEnd = i == w.size();
    const char16_t c = atEnd ? 0 : w[i];
    const bool encode = !atEnd && needsEncoding(c);
    if (!inBase64 && encode) {
      out += '+';
      if (c == u'+') {
        out += '-';
        continue;
      }
      inBase64 = true;
    }
    if (inBase64) {
      if (encode) {
        bits = (bits << 16) | c;
        nbits += 16;
      } else if (nbits % 6 != 0) {
        const int pad = 6 - nbits % 6;
        bits <<= pad;
        nbits += pad;
      }
      while (nbits >= 6) {
        nbits -= 6;
        out += kBase64[(bits >> nbits) & 0x3F];
      }
      bits &= (1u << nbits) - 1;
      if (!encode) {
        // The "-" is needed only where the next character would otherwise extend the run.
        if (!atEnd && (IsBase64Char(c) || c == u'-')) out += '-';
        inBase64 = false;
      }
    }
    if (!atEnd && !encode) out += static_cast<char>(c);
    if (out.size() > limit) throw EUniInternalError("Buffer overflow");
  }
  return out;
}

WideString UTF7ToWide(const AnsiString& s) {
  const Utf7Tables& t = Tables();
  WideString out;
  out.reserve(s.size());
  bool illegal = false;
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b != '+') {
      if (b > 127) illegal = true;
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    ++i;  // past '+'
    uint32_t bits = 0;
    int nbits = 0;
    bool first = true;
    for (;;) {
      const int v = i < n && static_cast<unsigned char>(s[i]) < 128 ? t.base64Value[static_cast<unsigned char>(s[i])] : -1;
      if (v < 0) {
        if (first) {
          if (i < n && s[i] == '-') {
            out += u'+';
            ++i;
          } else {
            illegal = true;  // "+" followed by neither a base64 character nor "-"
          }
        } else {
          if ((bits & ((1u << nbits) - 1)) != 0) illegal = true;
          if (i < n && s[i] == '-') ++i;  // the run's terminator is consumed
        }
        break;
      }
      first = false;
      bits = (bits << 6) | static_cast<uint32_t>(v);
      nbits += 6;
      if (nbits >= 16) {
        nbits -= 16;
        out += static_cast<char16_t>((bits >> nbits) & 0xFFFF);
        bits &= (1u << nbits) - 1;
      }
      ++i;
    }
  }
  if (illegal) throw EUniGeneralError("Invalid UTF7");
  if (out.size() > s.size()) throw EUniInternalError("Buffer overflow");
  return out;
}

WideString AnsiToWideCP(const AnsiString& s, unsigned codePage) {
  if (codePage == CP_UTF7) return UTF7ToWide(s);
  if (codePage == CP_UTF8) return UTF8ToWide(s);
  return platform::CodePageToUtf16(codePage, s);
}

AnsiString WideToAnsiCP(const WideString& w, unsigned codePage) {
  if (codePage == CP_UTF7) return WideToUTF7(w);
  if (codePage == CP_UTF8) return WideToUTF8(w);
  return platform::Utf16ToCodePage(codePage, w);
}

unsigned LocaleCodePage(uint32_t lcid) {
  // The neutral, user and system default identifiers name the process's own locale, as does
  // an identifier that names no locale at all.
  if (lcid == 0 || lcid == 0x400 || lcid == 0x800) return SystemCodePage();
  const unsigned cp = platform::CodePageForLcid(lcid);
  return cp != 0 ? cp : SystemCodePage();
}

unsigned KeyboardLayoutCodePage() { return LocaleCodePage(0); }

WideChar KeyCharToWide(uint16_t c) {
  if (c >= 256) return c;
  const char byte = static_cast<char>(c);
  WideString w = platform::CodePageToUtf16(KeyboardLayoutCodePage(), std::string_view(&byte, 1));
  return w.size() == 1 ? w[0] : static_cast<WideChar>(c);
}

void SwapWideByteOrder(PWideChar p) {
  if (!p) return;
  for (; *p; ++p) *p = static_cast<char16_t>((*p >> 8) | (*p << 8));
}
