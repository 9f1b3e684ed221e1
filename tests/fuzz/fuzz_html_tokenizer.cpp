// The HTML tokenizer on any bytes: the first byte picks the code page, whether markup is read,
// the first pass and whether include commands are followed.
//
// Properties: the document-type check leaves the reading position alone; every symbol but the
// last consumes input, so the symbols end; a text symbol has text (outside the first pass);
// source positions stay inside the data; from UTF-8 no lone surrogate reaches the text; the only
// error is an open comment.
#include <cstdint>
#include <string>
#include <vector>

#include "htmlview/parse/ReadHTML.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

bool LoneSurrogate(const std::u16string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] >= 0xE000) return true;
      ++i;
    } else if (c >= 0xDC00 && c < 0xE000) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 65536) return 0;
  static const int pages[] = {0, htmlview::CP_UTF8, 932, 1252, htmlview::CP_UTF16LE, htmlview::CP_ISO2022JP, 1251, 950};
  const uint8_t pick = data[0];
  htmlview::TBuffer buffer(std::vector<uint8_t>(data + 1, data + size), u"fuzz");
  buffer.SetCodePage(pages[pick & 7]);
  const bool utf8 = buffer.CodePage == htmlview::CP_UTF8;

  htmlview::TParserHost host;
  host.CurrentCodePage = pages[(pick >> 3) & 7];
  htmlview::THtmlParser parser(buffer, &host);
  parser.NoMarkup = pick & 0x40;
  parser.PreScan = pick & 0x80;
  const std::u16string included = u"<b title='&#65596;'>in&amp;</b><!--#again x=\"1\"-->";
  if (pick & 0x20)
    parser.OnInclude = [&](QObject*, const std::u16string&, const std::u16string&, std::u16string& text) {
      text = included;
    };

  const int start = buffer.Position();
  parser.ShouldUseQuirksMode();
  FUZZ_CHECK(buffer.Position() == start);

  // Each symbol takes at least one character of the page or of an included text.
  const size_t limit = 2 * (size + (htmlview::THtmlParser::MaxIncludeDepth + 1) * included.size()) + 4;
  try {
    parser.NextCh();
    size_t count = 0;
    do {
      parser.Next();
      FUZZ_CHECK(++count <= limit);
      if (parser.Sy == htmlview::TextSymbol && !parser.PreScan) FUZZ_CHECK(parser.TextToken.Leng > 0);
      for (int i = 0; i < parser.TextToken.Leng; ++i)
        FUZZ_CHECK(parser.TextToken.I[i] >= 0 && parser.TextToken.I[i] <= buffer.Size());
      if (utf8) FUZZ_CHECK(!LoneSurrogate(parser.TextToken.S()));
      FUZZ_CHECK(parser.IncludeDepth() <= htmlview::THtmlParser::MaxIncludeDepth);
    } while (parser.Sy != htmlview::EofSymbol);
    FUZZ_CHECK(parser.Ch == 0);
  } catch (const htmlview::EHtmlParseError&) {
    FUZZ_CHECK(parser.InComment);
  }
  return 0;
}
