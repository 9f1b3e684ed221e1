#include "tm/MyTUs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

#include "base/MyFileStream.h"
#include "base/MySysUtils.h"
#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

namespace {
const WideString kUnit = u"20260105~143000\tANA\t3\ten-US\tHello\tfr-FR\tBonjour";
const WideString kHeader =
    u"%20260105~143000\t%User ID,AB\t%TU=00000012\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885\t\t0123456789\t  .";
}  // namespace

TEST(TTU, SplitsAtEveryTabAndSkipsTheMark) {
  TTU tu(u"a\t\tb");
  EXPECT_TRUE(tu.Count() == 3 && tu.Field(1).empty() && tu.Field(2) == u"b");
  TTU marked(u"\uFEFF" + kUnit);  // the byte-order mark is skipped and marks the line modified
  EXPECT_TRUE(marked.Modified);
  EXPECT_EQ(marked.GetLine(), kUnit);
  EXPECT_FALSE(TTU(kUnit).Modified);
  WideString line = kUnit;
  for (int i = 0; i < 70000; ++i) line += u"\tx";  // not limited to 16 bits
  TTU wide(line);
  EXPECT_EQ(wide.Count(), 70007);
  EXPECT_EQ(wide.GetLine().size(), line.size());
  wide.DeleteFrom(7);
  wide.Delete(0);
  EXPECT_TRUE(wide.Count() == 6 && wide.Field(0) == u"ANA" && wide.Get(6) == nullptr);
}

TEST(TTU, Kinds) {
  const std::pair<WideString, int> cases[] = {
      {kUnit, tkUnit},
      {kHeader, tkHeader},
      {u"", tkInvalid},
      {u"20260105-143000\tANA\t3\ten\tHello\tfr\tBonjour", tkInvalid},  // "-" where the date separator belongs
      {u"20260105123~143000\tANA\t3\ten\tHello\tfr\tBonjour", tkLongDate},
      {u"xxabc", tkXX},
      {u"12345", tkDigits},
      {u"20260105~143000\tANA\tx\ten\tHello\tfr\tBonjour", tkInvalid},   // count
      {u"20260105~143000\tANA\t3\teng\tHello\tfr\tBonjour", tkInvalid},  // language
      {u"20260105~143000\tANA\t3\ten\t\tfr\tBonjour", tkInvalid},        // no source
  };
  for (const auto& [line, kind] : cases) EXPECT_EQ(TTU(line).GetKind(), kind) << std::string(line.begin(), line.end());
  EXPECT_EQ(TTU().GetKind(), tkNoField);
}

TEST(TTU, HeaderFieldsLoseTheirPercentSigns) {
  TTU tu(kHeader + WideString(40, u' ') + u".");
  EXPECT_TRUE(tu.IsHeader);
  EXPECT_EQ(tu.Field(1), u"User ID,AB");
  EXPECT_EQ(tu.GetCount(), 12);
  EXPECT_EQ(tu.GetUserID(), u"AB");
  EXPECT_FALSE(tu.Modified);  // its identifier is already 10 characters long
  TTU plain(kHeader);
  EXPECT_EQ(plain.GetLine(), kHeader);
  plain.SetCount(7);  // rebuilt with "%" before every non-empty field among the first seven
  EXPECT_EQ(plain.GetLine().substr(0, 34), u"%20260105~143000\t%User ID,AB\t%TU=0");
  tu.SetUserID(u"A much longer user name");
  const int length = tu.GetLineLength() + 5;
  tu.PadHeader(length);  // the filler takes up the difference
  EXPECT_EQ(tu.GetLineLength(), length);
  EXPECT_EQ(tu.GetUserID(), u"A much longer user name");
  EXPECT_EQ(tu.GetLine().back(), u'.');
}

TEST(TTU, CountsLanguagesAndAttributeCodes) {
  TTU tu(kUnit + u"\tx!ABCDEFGHJK");
  EXPECT_EQ(tu.GetCount(), 3);
  tu.SetCount(7);
  EXPECT_EQ(tu.Field(2), u"7");
  EXPECT_EQ(tu.AttrCode, u"!ABCDEFGHJK");
  EXPECT_TRUE(tu.Validate({tfAttributes}));
  EXPECT_EQ(TTU(kUnit + u"\t!ABCDEFGHIJ").AttrCode, u"");  // "I" is not in the alphabet
  WideString code;
  SetAttrCode(code, u"0123456789XYZ");
  EXPECT_EQ(code, u"!0123456789");
  EXPECT_FALSE(IsValidAttrCode(u"!012345678", false));
  TTU langs(kUnit);
  langs.SetSourceLang(u"EN-us");  // the same code: nothing changes
  EXPECT_FALSE(langs.Modified);
  langs.SetTargetLang(u"de-DE");
  EXPECT_EQ(langs.GetLine(), u"20260105~143000\tANA\t3\ten-US\tHello\tde-DE\tBonjour");
}

// A count set is the count the field says and the unit reads, -1 (which the unit also holds
// while it has read no count) among them; a header's has "TU=" and eight places.
TEST(TTU, EveryCountSetIsTheFieldsText) {
  const std::tuple<int64_t, std::u16string, std::u16string> counts[] = {
      {-1, u"-1", u"TU=000000-1"}, {0, u"0", u"TU=00000000"}, {7, u"7", u"TU=00000007"},
      // A header's count keeps its eight digits: above their largest it stays there.
      {99999999, u"99999999", u"TU=99999999"}, {100000000, u"100000000", u"TU=99999999"},
      {123456789, u"123456789", u"TU=99999999"}, {INT64_MAX, u"9223372036854775807", u"TU=99999999"},
      {INT64_MIN, u"-9223372036854775808", u"TU=-9223372036854775808"},
  };
  for (const auto& [value, unitText, headerText] : counts) {
    for (const bool header : {false, true}) {
      TTU tu(kUnit);
      tu.Clear();
      tu.SetIsHeader(header);
      tu.SetCount(value);
      EXPECT_EQ(tu.Field(tfCount), header ? headerText : unitText) << value;
      if (!header) {
        EXPECT_EQ(tu.GetCount(), value);
      }
    }
  }
}

// A date of a text TM is a moment that exists: its day in its month, its time within the day.
TEST(TmDates, PossibleDates) {
  for (const auto& [date, possible] : std::initializer_list<std::pair<const char16_t*, bool>>{
           {u"20260105~143000", true},  {u"20240229=235959", true},  {u"00010101~000000", true},
           {u"99991231!235959", true},  {u"20261399~996199", false}, {u"20250229~120000", false},
           {u"20260431~120000", false}, {u"20260100~120000", false}, {u"00000101~120000", false},
           {u"20260105~240000", false}, {u"20260105~126000", false}, {u"20260105~120060", false},
           {u"20260105~14300", false},  {u"20260105~1430000", false}, {u"2026010~5143000", false},
           {u"2026o105~143000", false}, {u"", false}}) {
    EXPECT_EQ(IsPossibleTmDate(std::u16string_view(date)), possible) << platform::Utf16ToUtf8(date);
    EXPECT_EQ(IsPossibleTmDate(std::string_view(platform::Utf16ToUtf8(date))), possible);
  }
}

TEST(LangCodes, CodesPairsAndMatching) {
  for (const auto& [code, valid] : {std::pair<const char16_t*, bool>{u"e1", true}, {u"1e", false}, {u"eng", false},
                                    {u"en_US", true}, {u"en.US", false}})
    EXPECT_EQ(IsLangCode(code), valid);
  TLangPair pair;
  for (const char16_t* text : {u"en-US>fr-CA", u"en>fr-CA", u"en-US>fr", u"en_us>FR"}) {
    StrToLangPair(pair, text);
    EXPECT_EQ(pair.Text(), text);
    EXPECT_TRUE(IsValidPair(pair));
  }
  StrToLangPair(pair, u"en-USA>fr");  // longer codes are cut
  EXPECT_FALSE(IsValidPair(pair));
  SetLangPairText(pair, u"english>french");
  EXPECT_FALSE(pair.Marked);
  const struct {
    const char16_t *a, *b;
    bool wildcards, matches;
  } matches[] = {{u"en", u"EN-US", true, false},  {u"en", u"en-ZZ", true, true},     {u"ZZ-ZZ", u"de-AT", true, true},
                 {u"ZZ-ZZ", u"de-AT", false, false}, {u"en-us", u"EN-US", false, true}, {u"en-us", u"en-gb", true, false}};
  for (const auto& m : matches) EXPECT_EQ(LangMatches(m.a, m.b, m.wildcards), m.matches);
}

TEST(Headers, DatesDefaultHeaderAndNewUnits) {
  EXPECT_EQ(TmDateToTmxDate(u"20260105~143000"), u"20260105T143000Z");
  EXPECT_EQ(TmDateToTmxDate(u"2026"), u"2026Z");  // never past a short date
  EXPECT_EQ(DateTimeToTmDate(DateTimeFromParts(2024, 3, 5, 14, 7, 9)), u"20240305~140709");
  const WideString h = MakeHeaderText(u"not a pair");
  EXPECT_EQ(h.size(), 170u);
  TTU header(h);
  EXPECT_TRUE(header.Field(3) == u"ZZ-ZZ" && header.Field(5) == u"ZZ-ZZ" && header.GetKind() == tkHeader);
  EXPECT_EQ(header.GetUserID(), GetExeNameW());
  TTU fresh = NewTU(true);
  EXPECT_EQ(fresh.Field(2), u"TU=00000000");
  EXPECT_EQ(fresh.Field(8).size(), 10u);
  EXPECT_NE(NewTUId(), NewTUId());
  TTU unit(MakeUnitLine(u"@@", u"YY-YY>ZZ-ZZ", u""));
  EXPECT_TRUE(unit.Field(4) == u"@@" && unit.Field(6) == u"  " && unit.GetKind() == tkUnit);
}

TEST(TTU, ReadsLinesFromATextStream) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), "\xEF\xBB\xBF" "a\tb\r\n" + std::string(kUnit.begin(), kUnit.end()) + "\n");
  auto s = TTextFileStream::Create(dir.WFile("tm.txt"), ccUtf8, false, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  EXPECT_EQ(tu.ReadFrom(*s, -1), 5);
  EXPECT_EQ(tu.Count(), 2);
  EXPECT_EQ(tu.ReadFrom(*s, -1), 5 + static_cast<int64_t>(kUnit.size()) + 1);
  EXPECT_EQ(tu.Position, 5);
  EXPECT_EQ(tu.GetKind(), tkUnit);
}
