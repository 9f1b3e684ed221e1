// The text translation memory's line and header parser: lines parsed into one unit object (its
// field storage kept from line to line) and into fresh ones, every accessor and editing call on
// the result, and the same bytes read as a text-TM file through the unit stream.
//
// Input: lines separated by LF; each byte is one character, except 0xFF, which takes the next
// two bytes as one UTF-16 unit (so that any unit, surrogates included, can reach the parser).
//
// Properties: a line built from a parsed unit parses back to the same line; a count set is the
// count read; the unit stream makes progress and ends; the file is never changed.
#include <cstdint>
#include <string>
#include <vector>

#include "app/core/TessalyUnit2.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tm/MyTUs.h"
#include "unicode/UniClasses.h"

namespace {

void Exercise(TTU& tu, const WideString& line) {
  tu.Parse(line);
  const int kind = tu.GetKind();
  FUZZ_CHECK(kind >= tkHeader && kind <= tkLongDate);
  tu.GetCount();
  tu.Validate({tfDate, tfUserId, tfCount, tfSourceLang, tfSource, tfTargetLang, tfTarget, tfAttributes, 8, 9, 10, 11});
  tu.GetUserID();
  IsValidAttrCode(tu.AttrCode, true);
  IsValidPair(tu.LangPair);
  TmDateToTmxDate(tu.Field(tfDate));
  for (int i = -1; i <= tu.Count(); ++i) tu.GetField(i);

  // Built, parsed again and built again: the same line. The format has two exceptions: a
  // header whose date field is empty loses its "%" mark in the building and reads back as no
  // header, and a header drops a leading "%" from its first 8 fields but writes it back only
  // on the first 7, so field 7 loses one each time. And a line's leading byte-order mark
  // character is skipped, so a date field beginning with one loses it; and so is a language
  // code's leading pair marker (U+00A1).
  WideString built, again;
  tu.BuildLine(built);
  TTU copy(built);
  copy.BuildLine(again);
  const bool stable = copy.IsHeader == tu.IsHeader && !(tu.IsHeader && tu.Field(7).rfind(u"%", 0) == 0) &&
                      (built.empty() || (built[0] != u'\uFEFF' && built[0] != u'\uFFFE')) &&
                      tu.Field(tfSourceLang).rfind(u"\u00A1", 0) != 0 && tu.Field(tfTargetLang).rfind(u"\u00A1", 0) != 0;
  if (stable && built != again) {
    fuzz::Dump("line", line);
    fuzz::Dump("built", built);
    fuzz::Dump("again", again);
  }
  FUZZ_CHECK(!stable || built == again);

  // Editing calls.
  const int64_t count = tu.GetCount();
  const int64_t next = count < 0 || count >= TTU::kMaxHeaderCount ? 7 : count + 1;  // within a header's digits
  tu.SetCount(next);
  FUZZ_CHECK(tu.GetCount() == next);
  TLangPair pair;
  StrToLangPair(pair, line);
  SetLangPairText(pair, line);
  LangPairMatches(pair, tu.LangPair, true);
  tu.SetSourceLang(tu.Field(tfTargetLang));
  tu.SetTargetLang(line);
  tu.SetUserID(tu.Field(tfSource));
  WideString code;
  SetAttrCode(code, line);
  SetCheckedAttrCode(tu.AttrCode, line);
  tu.ApplyToFields(0xFFFF, [](const WideString& f) { return f + u"x"; });
  if (tu.IsHeader) {
    const int length = tu.GetLineLength();
    tu.PadHeader(length + static_cast<int>(line.size() % 50));
    tu.PadHeader(length > 20 ? length - 20 : 0);
  }
  tu.SetIsHeader(!tu.IsHeader);
  tu.GetKind();
  tu.GetLine();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<WideString> lines = fuzz::Lines(data, size);
  TTU shared;
  for (const WideString& line : lines) {
    Exercise(shared, line);
    TTU fresh;
    fresh.RejectChars = u"\x01\x02";
    Exercise(fresh, line);
    MakeHeaderText(line);
  }

  // The same bytes as a text-TM file, read unit by unit from the top.
  const std::string path = fuzz::Path("tm.txt");
  fuzz::WriteFile(path, data, size);
  {
    TQMStream stream(fuzz::WPath("tm.txt"), ccNone, fmOpenRead | fmShareDenyWrite);
    FUZZ_CHECK(stream.Opened());
    TTU tu;
    tu.IsHeader = true;
    int64_t last = 0;
    for (size_t n = 0;; ++n) {
      FUZZ_CHECK(n <= size + 1);
      const int64_t next = stream.Read(tu);
      if (next <= 0) break;
      FUZZ_CHECK(next > last);
      last = next;
      tu.IsHeader = false;
      tu.GetLine();
    }
    stream.Seek(0, TSeekOrigin::FromEnd);
    stream.Seek(-5, TSeekOrigin::FromCurrent);
    FUZZ_CHECK(!stream.Write(tu));  // an input is never written
  }
  const std::string after = fuzz::ReadFile(path);
  FUZZ_CHECK(after.size() == size && std::char_traits<char>::compare(after.data(), reinterpret_cast<const char*>(data), size) == 0);
  return 0;
}
