#pragma once
// The byte buffer from which the HTML parser reads a document one UTF-16 character at a time,
// in whatever encoding the document is in, and the table of HTML/MIME character-set names.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Exception.h"
#include "platform/core/Streams.h"

namespace htmlview {

class EConversionError : public Exception {
public:
  using Exception::Exception;
};

// Pseudo code pages that never reach a converter.
inline constexpr int CP_UTF16LE = -3;
inline constexpr int CP_UTF16BE = -4;
inline constexpr int CP_ISO2022JP = -5;
inline constexpr int CP_UTF8 = 65001;

// Char set 31 is the viewer's own value for ISO 8859-2: no font char set exists for it.
int CharSetToCodePage(int charSet);
int CodePageToCharSet(int codePage);

struct TBuffCharSetCodePageInfo {
  std::u16string Name;
  uint16_t CharSet = 0;
  int CodePage = 0;
};

// The entry for a charset name taken from a document, or nullptr: an exact match, else the
// greatest entry whose name occurs inside the given one (so iso-8859-15 finds "8859-15").
const TBuffCharSetCodePageInfo* FindCharSetInfo(const std::u16string& name);

// Position of sub in s at or after from (1-based); 0 when absent.
int PosFrom(const std::u16string& sub, const std::u16string& s, int from);

// The real code page behind the pseudo numbers 0 (the system's ANSI page), 1 (its OEM page) and
// 2 (the Macintosh page); 0 for the negative pseudo pages of the UTF-16 and JIS readers.
unsigned ResolveCodePage(int cp);

class TBuffer {
public:
  // Reads the stream from its position to its end and detects the encoding.
  TBuffer(TStream& stream, const std::u16string& name);
  // The bytes as they are, the encoding detected as for a stream.
  TBuffer(std::vector<uint8_t> data, const std::u16string& name);
  // UTF-16 text, settled.
  static TBuffer FromString(const std::u16string& text, const std::u16string& name);

  // The next character; #0 only at the end of the data. A character outside the BMP comes as a
  // surrogate pair over two calls.
  char16_t NextChar() {
    if (const char16_t c = PeekAscii()) {
      ++pos_;
      return c;
    }
    return DecodeNext();
  }
  // The next character when it is an ASCII byte, which every encoding read byte by byte (UTF-8,
  // the single-byte pages, the lead-byte pages) reads as itself: most characters of most pages.
  // 0 otherwise. Nothing is read; SkipAscii then reads it.
  char16_t PeekAscii() const {
    if (pos_ < Data.size() && !pendingLow_ && ByteWise()) {
      const uint8_t b = Data[pos_];
      if (b != 0 && b < 0x80) return b;
    }
    return 0;
  }
  void SkipAscii() { ++pos_; }
  // False only when it is sure that no '<' from the reading position on is followed by one of
  // the ASCII characters chars: where the page reads every ASCII byte as itself and no other
  // byte as ASCII (UTF-8 and most single-byte pages) the bytes tell; elsewhere it is true.
  bool MayHaveAfterLessThan(std::string_view chars) const;
  char16_t PeekChar();
  int Position() const { return static_cast<int>(pos_); }
  void SetPosition(int value);
  // The characters decoded from byte offset fromPos up to toPos; the reading state is kept.
  std::u16string GetString(int fromPos, int toPos);
  int Size() const { return static_cast<int>(Data.size()); }
  void SetCharSet(uint16_t value) { CharSet = value; }
  void SetCodePage(int value);
  bool Settled() const { return settled_; }

  std::vector<uint8_t> Data;
  std::u16string Name;
  uint8_t JisMode = 0;
  uint16_t CharSet = 1;
  int CodePage = 0;
  int RawCodePage = 0;

private:
  TBuffer() = default;
  bool ByteWise() const {
    return (CodePage > CP_UTF16LE || CodePage < CP_ISO2022JP) && RawCodePage != CP_UTF16LE && RawCodePage != CP_UTF16BE;
  }
  char16_t DecodeNext();
  void Detect();
  char16_t Unit();
  char16_t DecodeUtf8(uint8_t lead);
  char16_t DecodeDoubleByte(unsigned cp, uint8_t lead, int trailBytes);
  char16_t DecodeJis();

  size_t pos_ = 0;
  bool settled_ = false;
  char16_t pendingLow_ = 0;
  const char16_t* table_ = nullptr;
  int tableFor_ = 0x7FFFFFFF;
};

}  // namespace htmlview
