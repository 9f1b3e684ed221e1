// The viewer's text buffer on any bytes, in a page chosen by the first byte.
//
// Properties: every character is read with a peek that agrees with the read; #0 comes only at
// the end; no lone surrogate comes from UTF-8; GetString of the whole text gives what was read
// and leaves the reading position alone; a position set back reads the same text again.
#include <cstdint>
#include <string>
#include <vector>

#include "htmlview/text/HtmlBuffer.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const int pages[] = {0,    htmlview::CP_UTF8, 932,   936, 949, 950, 51932, 20866, 1361, 1252, 28592,
                              874,  htmlview::CP_UTF16LE, htmlview::CP_ISO2022JP};
  const uint8_t pick = data[0];
  htmlview::TBuffer buffer(std::vector<uint8_t>(data + 1, data + size), u"fuzz");
  if (pick < sizeof pages / sizeof pages[0]) buffer.SetCodePage(pages[pick]);
  const bool utf8 = buffer.CodePage == htmlview::CP_UTF8;
  const int start = buffer.Position();

  std::u16string text;
  for (size_t guard = 0; guard <= 2 * size + 2; ++guard) {
    const char16_t peeked = buffer.PeekChar();
    const char16_t c = buffer.NextChar();
    FUZZ_CHECK(c == peeked);
    if (c == 0) {
      FUZZ_CHECK(buffer.Position() == buffer.Size());
      break;
    }
    text += c;
  }
  FUZZ_CHECK(buffer.NextChar() == 0);
  if (utf8) {
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c >= 0xD800 && c < 0xDC00) FUZZ_CHECK(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000);
      if (c >= 0xDC00 && c < 0xE000) FUZZ_CHECK(i > 0 && text[i - 1] >= 0xD800 && text[i - 1] < 0xDC00);
    }
  }
  buffer.SetPosition(start);
  buffer.JisMode = 0;
  const int before = buffer.Position();
  FUZZ_CHECK(buffer.GetString(start, buffer.Size()) == text);
  FUZZ_CHECK(buffer.Position() == before);
  std::u16string again;
  for (char16_t c; (c = buffer.NextChar()) != 0;) again += c;
  FUZZ_CHECK(again == text);
  return 0;
}
