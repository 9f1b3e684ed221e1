#pragma once
// Windows code pages by number, converted through ICU as Windows converts them.
#include <string>
#include <string_view>

namespace platform {

// The process's ANSI code page, derived from the locale's language the way Windows derives it
// from the system locale. Fixed at first use; tests may set it.
unsigned AnsiCodePage();
void SetAnsiCodePage(unsigned codePage);

// The ANSI code page that Windows gives a locale such as "ru_RU.UTF-8", "pl", "zh_TW" or "C".
unsigned CodePageForLocaleName(std::string_view locale);

// True when ICU can convert the code page.
bool CodePageAvailable(unsigned codePage);

// The bytes that begin a character of two or more bytes in the code page (the lead bytes of
// 932, 936, 949 and 950), as a table of 256 flags; nullptr for a code page of single bytes
// or one that ICU cannot convert.
const bool* CodePageLeadBytes(unsigned codePage);

// Bytes in the code page to UTF-16; bytes without a mapping become U+FFFD.
// An unknown code page gives an empty result and false in *ok.
std::u16string CodePageToUtf16(unsigned codePage, std::string_view bytes, bool* ok = nullptr);

// UTF-16 to bytes in the code page; characters without a mapping become "?" and set *lossy.
std::string Utf16ToCodePage(unsigned codePage, std::u16string_view text, bool* lossy = nullptr,
                            bool* ok = nullptr);

}  // namespace platform
