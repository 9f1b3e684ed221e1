#pragma once
// Windows code pages by number, converted through ICU as Windows converts them.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The process's ANSI code page, derived from the locale's language the way Windows derives it
// from the system locale. Fixed at first use; tests may set it.
unsigned AnsiCodePage();
void SetAnsiCodePage(unsigned codePage);

// The ANSI code page that Windows gives a locale such as "ru_RU.UTF-8", "pl", "zh_TW" or "C".
unsigned CodePageForLocaleName(std::string_view locale);

// The ANSI code page of a Windows locale identifier (0x419 Russian gives 1251, 0x411 Japanese
// 932, 0x404 Chinese of Taiwan 950); 0 for an identifier that names no locale.
unsigned CodePageForLcid(uint32_t lcid);

// True when ICU can convert the code page.
bool CodePageAvailable(unsigned codePage);

// The bytes that begin a character of two or more bytes in the code page (the lead bytes of
// 932, 936, 949 and 950), as a table of 256 flags; nullptr for a code page of single bytes
// or one that ICU cannot convert.
const bool* CodePageLeadBytes(unsigned codePage);

// The Windows code page that a character set's name stands for, as XML declarations and MIME
// headers name them (case and the spelling variants Windows takes do not matter): "Shift_JIS"
// 932, "windows-1251" 1251, "ISO-8859-2" 28592, "EUC-KR" 949, "UTF-8" 65001, "UTF-16" 1200.
// 0 for a name it does not know, or a page that cannot be converted here.
unsigned CodePageOfCharset(std::string_view name);

// Bytes in the code page to UTF-16; bytes without a mapping become U+FFFD.
// An unknown code page gives an empty result and false in *ok.
std::u16string CodePageToUtf16(unsigned codePage, std::string_view bytes, bool* ok = nullptr);

// Bytes of a code page that arrive in pieces, decoded as they come: a character that the end of
// a piece cuts is completed by the next piece, and a page with shift states keeps its state.
// Bytes without a mapping become U+FFFD.
class TCodePageDecoder {
public:
  explicit TCodePageDecoder(unsigned codePage);
  ~TCodePageDecoder();
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;

  // False when the code page cannot be converted.
  bool Ok() const { return converter_ != nullptr; }
  // Appends what bytes complete to out. With last, what is still pending (a character cut
  // short) is given too, as U+FFFD, and the next piece starts afresh.
  void Decode(std::string_view bytes, std::u16string& out, bool last);
  // Forgets what is pending, for a read from another place.
  void Reset();

private:
  void* converter_;  // UConverter
};

// UTF-16 to bytes in the code page; characters without a mapping become "?" and set *lossy.
std::string Utf16ToCodePage(unsigned codePage, std::u16string_view text, bool* lossy = nullptr,
                            bool* ok = nullptr);

// As Utf16ToCodePage, for text bound for a file or a program of the code page: composed first
// (NFC), so that a letter followed by its accent becomes the code page's accented letter, and
// a non-spacing mark that still has no mapping is dropped rather than replaced by "?".
std::string Utf16ToCodePageComposed(unsigned codePage, std::u16string_view text, bool* lossy = nullptr);

}  // namespace platform
