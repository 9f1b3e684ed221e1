#include "tm/MyTUs.h"

#include <gtest/gtest.h>

#include "base/MyFileStream.h"
#include "base/MySysUtils.h"
#include "tests/support/TempDir.h"

namespace {
const WideString kUnit = u"20260105~143000\tANA\t3\ten-US\tHello\tfr-FR\tBonjour";
const WideString kHeader =
    u"%20260105~143000\t%User ID,AB\t%TU=00000012\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885\t\t0123456789\t  .";
}  // namespace

TEST(TTU, SplitsAtEveryTab) {
  TTU tu(u"a\t\tb");
  EXPECT_EQ(tu.Count(), 3);
  EXPECT_EQ(tu.Field(0), u"a");
  EXPECT_EQ(tu.Field(1), u"");
  EXPECT_EQ(tu.Field(2), u"b");
  tu.Parse(u"");
  EXPECT_EQ(tu.Count(), 1);
  EXPECT_EQ(tu.GetKind(), tkInvalid);
  TTU none;
  EXPECT_EQ(none.Count(), 0);
  EXPECT_EQ(none.GetKind(), tkNoField);
}

TEST(TTU, ByteOrderMarkIsSkippedAndMarksTheLineModified) {
  TTU tu(u"\uFEFF" + kUnit);
  EXPECT_TRUE(tu.Modified);
  EXPECT_EQ(tu.Field(0), u"20260105~143000");
  EXPECT_EQ(tu.GetLine(), kUnit);
  TTU plain(kUnit);
  EXPECT_FALSE(plain.Modified);
}

TEST(TTU, HeaderFieldsLoseTheirPercentSigns) {
  TTU tu(kHeader);
  EXPECT_TRUE(tu.IsHeader);
  EXPECT_EQ(tu.Field(0), u"20260105~143000");
  EXPECT_EQ(tu.Field(1), u"User ID,AB");
  EXPECT_EQ(tu.Field(2), u"TU=00000012");
  EXPECT_EQ(tu.Field(3), u"EN-US");
  EXPECT_EQ(tu.GetCount(), 12);
  EXPECT_EQ(tu.GetUserID(), u"AB");
  EXPECT_EQ(tu.GetKind(), tkHeader);
  EXPECT_FALSE(tu.Modified);  // its identifier is already 10 characters long
  EXPECT_EQ(tu.GetLine(), kHeader);
  tu.SetCount(7);
  EXPECT_EQ(tu.Field(2), u"TU=00000007");
  // Rebuilt with "%" before every non-empty field among the first seven.
  EXPECT_EQ(tu.GetLine().substr(0, 34), u"%20260105~143000\t%User ID,AB\t%TU=0");
}

TEST(TTU, UnitCountAndKinds) {
  TTU tu(kUnit);
  EXPECT_FALSE(tu.IsHeader);
  EXPECT_EQ(tu.GetKind(), tkUnit);
  EXPECT_EQ(tu.GetCount(), 3);
  tu.SetCount(7);
  EXPECT_EQ(tu.Field(2), u"7");
  // A "-" where the date separator belongs makes the line invalid.
  TTU bad(u"20260105-143000\tANA\t3\ten\tHello\tfr\tBonjour");
  EXPECT_EQ(bad.GetKind(), tkInvalid);
  TTU longDate(u"20260105123~143000\tANA\t3\ten\tHello\tfr\tBonjour");
  EXPECT_EQ(longDate.GetKind(), tkLongDate);
  EXPECT_EQ(TTU(u"xxabc").GetKind(), tkXX);
  EXPECT_EQ(TTU(u"12345").GetKind(), tkDigits);
  EXPECT_EQ(TTU(u"20260105~143000\tANA\tx\ten\tHello\tfr\tBonjour").GetKind(), tkInvalid);  // count
  EXPECT_EQ(TTU(u"20260105~143000\tANA\t3\teng\tHello\tfr\tBonjour").GetKind(), tkInvalid);  // language
  EXPECT_EQ(TTU(u"20260105~143000\tANA\t3\ten\t\tfr\tBonjour").GetKind(), tkInvalid);       // no source
}

TEST(TTU, FieldCountIsNotLimitedTo16Bits) {
  WideString line = kUnit;
  for (int i = 0; i < 70000; ++i) line += u"\tx";
  TTU tu(line);
  EXPECT_EQ(tu.Count(), 70007);
  EXPECT_EQ(tu.GetKind(), tkUnit);
  EXPECT_EQ(tu.GetLine().size(), line.size());
}

TEST(TTU, DeleteFromKeepsTheFirstFields) {
  TTU tu(kUnit + u"\ta\tb\tc");
  EXPECT_EQ(tu.Count(), 10);
  tu.DeleteFrom(7);
  EXPECT_EQ(tu.Count(), 7);
  EXPECT_EQ(tu.Field(6), u"Bonjour");
  tu.Delete(0);
  EXPECT_EQ(tu.Field(0), u"ANA");
  EXPECT_EQ(tu.Get(6), nullptr);
}

TEST(TTU, AttributeCodeFromFieldSeven) {
  TTU tu(kUnit + u"\tx!ABCDEFGHJK");
  EXPECT_EQ(tu.AttrCode, u"!ABCDEFGHJK");
  EXPECT_TRUE(tu.Validate({tfAttributes}));
  TTU invalid(kUnit + u"\t!ABCDEFGHIJ");  // "I" is not in the alphabet
  EXPECT_EQ(invalid.AttrCode, u"");
  WideString code;
  SetAttrCode(code, u"0123456789XYZ");
  EXPECT_EQ(code, u"!0123456789");
  EXPECT_TRUE(IsValidAttrCode(u"0123456789", true));
  EXPECT_FALSE(IsValidAttrCode(u"!012345678", false));
}

TEST(LangCodes, CodesPairsAndMatching) {
  EXPECT_TRUE(IsLangCode(u"e1"));
  EXPECT_FALSE(IsLangCode(u"1e"));
  EXPECT_FALSE(IsLangCode(u"eng"));
  EXPECT_TRUE(IsLangCode(u"en_US"));
  EXPECT_FALSE(IsLangCode(u"en.US"));
  TLangPair pair;
  StrToLangPair(pair, u"en_us>FR");
  EXPECT_EQ(pair.Text(), u"en_us>FR");
  for (const char16_t* text : {u"en-US>fr-CA", u"en>fr-CA", u"en-US>fr", u"en>fr"}) {
    StrToLangPair(pair, text);
    EXPECT_EQ(pair.Text(), text);
    EXPECT_TRUE(IsValidPair(pair));
  }
  StrToLangPair(pair, u"en-USA>fr");  // longer codes are cut
  EXPECT_FALSE(IsValidPair(pair));
  SetLangPairText(pair, u"english>french");
  EXPECT_FALSE(pair.Marked);
  EXPECT_FALSE(LangMatches(u"en", u"EN-US", true));
  EXPECT_TRUE(LangMatches(u"en", u"en-ZZ", true));
  EXPECT_TRUE(LangMatches(u"ZZ-ZZ", u"de-AT", true));
  EXPECT_FALSE(LangMatches(u"ZZ-ZZ", u"de-AT", false));
  EXPECT_TRUE(LangMatches(u"en-us", u"EN-US", false));
  EXPECT_FALSE(LangMatches(u"en-us", u"en-gb", true));
}

TEST(TTU, ChangingLanguagesRebuildsTheLine) {
  TTU tu(kUnit);
  tu.SetSourceLang(u"EN-us");  // the same code: nothing changes
  EXPECT_FALSE(tu.Modified);
  tu.SetTargetLang(u"de-DE");
  EXPECT_TRUE(tu.Modified);
  EXPECT_EQ(tu.GetLine(), u"20260105~143000\tANA\t3\ten-US\tHello\tde-DE\tBonjour");
}

TEST(Dates, TmxFormAndNeverPastAShortDate) {
  EXPECT_EQ(TmDateToTmxDate(u"20260105~143000"), u"20260105T143000Z");
  EXPECT_EQ(TmDateToTmxDate(u"2026"), u"2026Z");
  EXPECT_EQ(TmDateToTmxDate(u""), u"Z");
  EXPECT_EQ(DateTimeToTmDate(DateTimeFromParts(2024, 3, 5, 14, 7, 9)), u"20240305~140709");
}

TEST(Headers, DefaultHeaderTextAndNewUnits) {
  WideString h = MakeHeaderText(u"not a pair");
  EXPECT_EQ(h.size(), 170u);
  EXPECT_EQ(h.back(), u'.');
  TTU header(h);
  EXPECT_TRUE(header.IsHeader);
  EXPECT_EQ(header.Field(3), u"ZZ-ZZ");
  EXPECT_EQ(header.Field(5), u"ZZ-ZZ");
  EXPECT_EQ(header.GetKind(), tkHeader);
  EXPECT_EQ(header.GetUserID(), GetExeNameW());
  TTU fresh = NewTU(true);
  EXPECT_EQ(fresh.Field(2), u"TU=00000000");
  EXPECT_EQ(fresh.Field(8).size(), 10u);
  EXPECT_NE(NewTUId(), NewTUId());
  TTU unit(MakeUnitLine(u"@@", u"YY-YY>ZZ-ZZ", u""));
  EXPECT_EQ(unit.Field(4), u"@@");
  EXPECT_EQ(unit.Field(6), u"  ");
  EXPECT_EQ(unit.Field(3), u"YY-YY");
  EXPECT_EQ(unit.GetKind(), tkUnit);
}

TEST(Headers, PadHeaderKeepsTheOldLength) {
  TTU tu(kHeader + WideString(40, u' ') + u".");
  const int length = tu.GetLineLength();
  tu.SetCount(123456);
  tu.SetUserID(u"A much longer user name");
  ASSERT_NE(tu.GetLineLength(), length);
  tu.PadHeader(length);
  EXPECT_EQ(tu.GetLineLength(), length);
  EXPECT_EQ(tu.GetUserID(), u"A much longer user name");
  tu.PadHeader(length + 5);
  EXPECT_EQ(tu.GetLineLength(), length + 5);
  EXPECT_EQ(tu.GetLine().back(), u'.');
}

TEST(TTU, ReadsLinesFromATextStream) {
  TempDir dir;
  TempDir::Write(dir.File("tm.txt"), "\xEF\xBB\xBF" "a\tb\r\n" + std::string(kUnit.begin(), kUnit.end()) + "\n");
  auto s = TTextFileStream::Create(dir.WFile("tm.txt"), ccUtf8, false, fmOpenRead | fmShareDenyWrite);
  ASSERT_TRUE(s);
  TTU tu;
  EXPECT_EQ(tu.ReadFrom(*s, -1), 5);
  EXPECT_EQ(tu.Count(), 2);
  EXPECT_EQ(tu.ReadFrom(*s, -1), 5 + static_cast<int64_t>(kUnit.size()) + 1);
  EXPECT_EQ(tu.Position, 5);
  EXPECT_EQ(tu.GetKind(), tkUnit);
}
