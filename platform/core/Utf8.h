#pragma once
// UTF-8 <-> UTF-16: the program's one UTF-8 encoder, and strict conversions for the platform's
// edges (system texts, what is shown), through which ill-formed text never passes: each bad
// sequence or lone surrogate becomes U+FFFD. File names are the exception: the kernel's names are
// bytes that need not be UTF-8, and each of them must lead back to its own file.
#include <string>
#include <string_view>

namespace platform {

// What the encoder makes of a surrogate without its partner.
enum class LoneSurrogate {
  Replace,  // U+FFFD: well-formed UTF-8, for what the system or another program reads
  Keep,     // its own three-byte form, so that the text read back is the text that was written
  Unescape, // U+DC80..U+DCFF: the byte 80..FF that it stands for in a name (Utf8ToUtf16 with
            // IllFormedUtf8::EscapeBytes); any other: U+FFFD
};

// Encodes text at dest, which has room for three bytes per unit of text, and returns the end of
// what it wrote (no terminator). A surrogate pair gives one four-byte form. The lone surrogates
// that become U+FFFD are added to *replaced when given.
char* EncodeUtf8(std::u16string_view text, char* dest, LoneSurrogate lone, size_t* replaced = nullptr);

// The bytes EncodeUtf8 writes for text (a lone surrogate takes three in either mode).
size_t Utf8Length(std::u16string_view text);

// Text bound for a file is well-formed: every surrogate without its partner in text becomes
// U+FFFD, in place. Returns how many were replaced.
size_t ReplaceLoneSurrogates(char16_t* text, size_t length);
// The same for UTF-8 from from on, where a lone surrogate stands in its three-byte form (as the
// program keeps it in memory): each becomes the form of U+FFFD, of the same length; the forms of
// a high and a low surrogate side by side become the four-byte form of their pair, as decoding
// reads them. Returns how many lone ones were replaced.
size_t ReplaceLoneSurrogatesUtf8(std::string& bytes, size_t from = 0);

// Appends code point c (at most U+10FFFF) as one unit, or as a surrogate pair beyond U+FFFF.
inline void AppendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<char16_t>(c);
  }
}

// What the decoder makes of bytes that are not UTF-8.
enum class IllFormedUtf8 {
  Replace,      // U+FFFD for each ill-formed sequence
  EscapeBytes,  // byte 0xXY becomes the lone surrogate U+DCXY, which well-formed UTF-8 never
                // gives: no two byte strings decode alike, and LoneSurrogate::Unescape gives the
                // bytes back
};

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view bytes, IllFormedUtf8 illFormed = IllFormedUtf8::Replace);

// Text as it is shown to the user (a window, a message box): each lone surrogate, such as a
// byte of a name that is not UTF-8, is U+FFFD. Text without one comes back as it is.
std::u16string ShownText(std::u16string_view text);

}  // namespace platform
