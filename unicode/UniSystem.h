#pragma once
// Conversions between UTF-16 and byte strings: code pages, UTF-8 and UTF-7.
#include <cstdint>

#include "platform/core/Exception.h"
#include "unicode/UniTypes.h"

// Raised for ill-formed input ("Invalid UTF7").
class EUniGeneralError : public Exception {
public:
  using Exception::Exception;
};

// Raised for internal buffer overflows and impossible states.
class EUniInternalError : public Exception {
public:
  using Exception::Exception;
};

inline constexpr unsigned CP_UTF7 = 65000;
inline constexpr unsigned CP_UTF8 = 65001;

// The system's ANSI code page, recorded once.
unsigned SystemCodePage();

AnsiString WideToUTF8(const WideString& w);
WideString UTF8ToWide(const AnsiString& s);

AnsiString WideToUTF7(const WideString& w);
WideString UTF7ToWide(const AnsiString& s);

WideString AnsiToWideCP(const AnsiString& s, unsigned codePage);
AnsiString WideToAnsiCP(const WideString& w, unsigned codePage);

// The default ANSI code page of a Windows locale identifier; the process's own code page for
// the default identifiers and for one that names no locale. The keyboard's locale is the
// process's.
unsigned LocaleCodePage(uint32_t lcid);
unsigned KeyboardLayoutCodePage();
WideChar KeyCharToWide(uint16_t c);

// Swaps the two bytes of every WideChar up to the terminating zero (UTF-16BE <-> UTF-16LE).
void SwapWideByteOrder(PWideChar p);
