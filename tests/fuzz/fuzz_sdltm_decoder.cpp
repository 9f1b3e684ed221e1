// The SDLTM segment decoder: any strings decoded, one after the other by one decoder (as the
// SDLTM stream uses it), into the source and the target side of a unit.
//
// Input: strings separated by #0 bytes, decoded alternately as source and target (the first
// byte's bit 0 says which side comes first); each byte is one character, except 0xFF, which
// takes the next two bytes as one UTF-16 unit.
//
// Properties: every decode ends; the segment text it leaves is well-formed XML content (with
// libxml2 when the build has it), so that the TMX writer can put it inside seg as it stands.
// The same bytes taken as the database's UTF-8 (DecodeUtf8) give what their text gives, also
// when the text is asked for in UTF-8.
#include <cstdint>
#include <string>
#include <vector>

#include "base/MyWideStr.h"
#include "platform/core/Utf8.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzXml.h"
#include "tm/MyConvert.h"
#include "tm/MyDecodeSdltm.h"
#include "tm/MyTUs.h"

namespace {

// The strings' bytes as they stand, for the UTF-8 path.
std::vector<std::string> ByteStrings(const uint8_t* data, size_t size) {
  std::vector<std::string> strings(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      strings.emplace_back();
    else
      strings.back() += static_cast<char>(data[i]);
  }
  return strings;
}

void CheckWellFormed(const WideString& field) {
#ifdef MIRELCON_FUZZ_LIBXML2
  const WideString doc = u"<seg>" + field + u"</seg>";
  std::string utf8(doc.size() * 3 + 1, '\0');
  utf8.resize(static_cast<size_t>(WideToUtf8(doc.c_str(), utf8.data(), false)));
  // What the TMX writer does to characters XML cannot hold, before the check: a blank for each.
  const bool wellFormed = fuzz::WellFormedXml(utf8, "seg.xml", "UTF-8");
  if (!wellFormed) fuzz::Dump("field", field);
  FUZZ_CHECK(wellFormed);
#else
  (void)field;
#endif
}

// The characters that the TMX writer turns into blanks on the way out (see its block flush).
WideString AsWritten(WideString s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c < 0x20 && c != 9 && c != 10 && c != 13)
      s[i] = u' ';
    else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
      ++i;
    else if ((c >= 0xD800 && c <= 0xDFFF) || c >= 0xFFFE)
      s[i] = u' ';
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  bool source = data[0] & 1;
  const std::vector<WideString> strings = fuzz::Lines(data + 1, size - 1, 0);
  TDecodeSdltmStr decoder;
  TTU tu(u"20260106~093000\tANA\t1\ten-US\t\tde-DE\t");
  for (const WideString& s : strings) {
    decoder.Decode(s, tu, source);
    FUZZ_CHECK(decoder.EndOfInput);
    CheckWellFormed(AsWritten(tu.Field(source ? tfSource : tfTarget)));
    tu.GetLine();
    source = !source;
  }
  TDecodeSdltmStr bytes, wide, utf8;
  utf8.Utf8Segments = true;
  for (const std::string& s : ByteStrings(data + 1, size - 1)) {
    TTU a, b, c;
    c.SegmentsClean = true;  // as the stream starts each unit
    bytes.DecodeUtf8(s, a, true);
    wide.Decode(platform::Utf8ToUtf16(s), b, true);
    utf8.DecodeUtf8(s, c, true);
    FUZZ_CHECK(a.Field(tfSource) == b.Field(tfSource));
    FUZZ_CHECK(a.LangPair.Source == b.LangPair.Source);
    // Asked for UTF-8, the decoder gives the same text in UTF-8 and leaves the field alone; a
    // unit it leaves marked clean holds the text with what XML cannot hold made blanks.
    const WideString& field = b.Field(tfSource);
    std::string expected(field.size() * 3, '\0');
    expected.resize(static_cast<size_t>(platform::EncodeUtf8(field, expected.data(), platform::LoneSurrogate::Keep) - expected.data()));
    if (c.SegmentsClean) {
      std::string cleaned;
      AppendCleanXml(cleaned, expected);
      expected.swap(cleaned);
    }
    FUZZ_CHECK(c.SourceUtf8 == expected);
    FUZZ_CHECK(c.Field(tfSource).empty());
    FUZZ_CHECK(c.LangPair.Source == b.LangPair.Source);
  }
  return 0;
}
