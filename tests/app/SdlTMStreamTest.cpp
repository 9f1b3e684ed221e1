// SDLTM databases as translation units, and their conversion to TMX 1.4: databases that the
// tests build, and the samples of the shared data folder.
#include "app/core/SdlTMStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/core/Conversion.h"
#include "platform/core/Utf8.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmxLint.h"
#include "tm/MyEncodeTMX.h"

namespace {

std::u16string W(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }
std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

std::string Seg(const std::string& elements, const std::string& culture) {
  return "<Segment xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><Elements>" +
         elements + "</Elements><CultureName>" + culture + "</CultureName></Segment>";
}
std::string Text(const std::string& value) { return "<Text><Value>" + value + "</Value></Text>"; }
std::string Src(const std::string& value) { return Seg(Text(value), "en-US"); }
std::string Tgt(const std::string& value) { return Seg(Text(value), "de-DE"); }

// The columns of the real table that matter, in an order where change_user follows
// usage_counter; declared types as the tools declare them.
const std::string kSchema =
    "CREATE TABLE translation_units(id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, guid BLOB, "
    "source_segment TEXT, target_segment TEXT, creation_date DATETIME, creation_user TEXT, "
    "usage_counter INT, change_user TEXT, flags INT);";

std::string Row(const std::string& source, const std::string& target, const std::string& date = "2012-11-03 10:20:30",
                const std::string& user = "DOM\\ana", const std::string& count = "3",
                const std::string& changeUser = "42") {
  auto value = [](const std::string& v) { return v == "NULL" ? v : SQLiteMaker::Quote(v); };
  return "INSERT INTO translation_units(guid, source_segment, target_segment, creation_date, creation_user, "
         "usage_counter, change_user, flags) VALUES (x'00112233', " +
         value(source) + ", " + value(target) + ", " + value(date) + ", " + value(user) + ", " + value(count) +
         ", " + value(changeUser) + ", 131073);";
}

// Records what a conversion tells its host.
class THost : public TConversionHost {
public:
  void AttachProgress(TObjectControled&) override {}
  void ShowHtmlMessage(const WideString& html, const WideString& caption) override {
    Html = html;
    Caption = caption;
  }
  void ShowResult(const WideString& line) override { Result = line; }
  WideString Html, Caption, Result;
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// The contents of every element name in text, in order.
std::vector<std::string> Contents(const std::string& text, const std::string& name) {
  std::vector<std::string> out;
  const std::string open = "<" + name + ">", close = "</" + name + ">";
  for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    const size_t end = text.find(close, at);
    if (end == std::string::npos) break;
    out.push_back(text.substr(at + open.size(), end - at - open.size()));
    at = end;
  }
  return out;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

std::string WithoutMarkup(const std::string& s) {
  std::string out;
  bool inTag = false;
  for (const char c : s) {
    if (c == '<') inTag = true;
    if (!inTag) out += c;
    if (c == '>') inTag = false;
  }
  return out;
}

class SdlTM : public ::testing::Test {
protected:
  void SetUp() override {
    if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
    ASSERT_TRUE(LoadSQLiteLibrary());
  }
  void TearDown() override { SetSQLiteLibraryNameForTesting(nullptr); }

  std::string MakeDb(const std::string& name, const std::string& script) {
    const std::string path = dir.File(name);
    EXPECT_EQ(SQLiteMaker::Instance().Make(path, script), "");
    return path;
  }

  // Converts input to out.tmx; returns the document.
  std::string Convert(const std::string& input, THost& host) {
    RunConversion(host, W(input), W(dir.File("out.tmx")));
    return TempDir::Read(dir.File("out.tmx"));
  }

  TempDir dir;
};

}  // namespace

TEST_F(SdlTM, TheFirstRowIsTheHeaderAndTheFirstUnit) {
  const std::string db = MakeDb("a.sdltm", kSchema + Row(Src("one"), Tgt("eins")) + Row(Src("two"), Tgt("zwei")) +
                                               Row(Src("three"), Tgt("drei")));
  TSdlTMStream s(W(db));
  EXPECT_EQ(s.GetSize(), 3);
  EXPECT_FALSE(s.SegmentsAreText());
  TTU tu;
  tu.IsHeader = true;
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_TRUE(tu.IsHeader);
  EXPECT_EQ(U8(tu.Field(tfSource)), "one");
  std::vector<std::string> units;
  tu.IsHeader = false;
  while (s.Read(tu) > 0) {
    EXPECT_FALSE(tu.IsHeader);
    units.push_back(U8(tu.Field(tfSource)));
  }
  EXPECT_EQ(units, (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(s.GetPosition(), 3);
  // Asking for the header starts over.
  tu.IsHeader = true;
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_TRUE(tu.IsHeader);
  EXPECT_EQ(U8(tu.Field(tfSource)), "one");
  EXPECT_EQ(s.Seek(1, TSeekOrigin::FromEnd), 2);
  tu.IsHeader = false;
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(U8(tu.Field(tfTarget)), "drei");
  EXPECT_EQ(s.Seek(-5, TSeekOrigin::FromCurrent), 0);
  EXPECT_EQ(s.Seek(9, TSeekOrigin::FromBeginning), 3);
  EXPECT_FALSE(s.Write(tu));
}

TEST_F(SdlTM, FieldsOfARow) {
  const std::string db =
      MakeDb("f.sdltm", kSchema + Row(Src("s"), Tgt("t"), "2012-11-03 10:20:30", "DOM\\ana", "5", "42") +
                            Row("NULL", "NULL", "NULL", "NULL", "NULL", "NULL") + Row("", "", "", "", "", "") +
                            Row(Src("x"), Tgt("y"), "2020-02-05 08:29:06", "u", "no digits", "7"));
  TSdlTMStream s(W(db));
  TTU tu;
  tu.IsHeader = true;
  s.Read(tu);
  tu.IsHeader = false;
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(U8(tu.Field(tfDate)), "20121103~102030");
  EXPECT_EQ(U8(tu.GetUserID()), "DOM\\ana");
  EXPECT_EQ(tu.GetCount(), 5);  // usage_counter, not change_user after it
  EXPECT_EQ(U8(tu.LangPair.Source), "EN-US");
  EXPECT_EQ(U8(tu.LangPair.Target), "DE-DE");
  EXPECT_EQ(U8(tu.Field(tfTarget)), "t");
  for (int row = 2; row <= 3; ++row) {  // NULL and empty columns
    ASSERT_GT(s.Read(tu), 0) << row;
    EXPECT_EQ(tu.Field(tfSource), u"") << row;
    EXPECT_EQ(tu.Field(tfTarget), u"") << row;
    EXPECT_EQ(tu.Field(tfDate), u"") << row;
    EXPECT_EQ(tu.GetUserID(), u"") << row;
    EXPECT_EQ(tu.GetCount(), 0) << row;
    EXPECT_EQ(tu.LangPair.Source, u"") << row;  // nothing left over from the row before
  }
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(tu.GetCount(), 0);
  EXPECT_EQ(s.Read(tu), 0);
}

TEST_F(SdlTM, ColumnsAreFoundByNameWithoutCaseInAnyOrder) {
  const std::string db = MakeDb(
      "c.sdltm",
      "CREATE TABLE Translation_Units(Usage_Counter INTEGER, Change_User TEXT, Target_Segment TEXT, "
      "CREATION_USER TEXT, Creation_Date TEXT, Source_Segment TEXT);"
      "INSERT INTO Translation_Units VALUES(9, '1', " +
          SQLiteMaker::Quote(Tgt("Ziel")) + ", 'me', '2001-02-03 04:05:06', " + SQLiteMaker::Quote(Src("source")) +
          ");");
  TSdlTMStream s(W(db));
  TTU tu;
  tu.IsHeader = true;
  s.Read(tu);
  tu.IsHeader = false;
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(U8(tu.Field(tfSource)), "source");
  EXPECT_EQ(U8(tu.Field(tfTarget)), "Ziel");
  EXPECT_EQ(U8(tu.Field(tfDate)), "20010203~040506");
  EXPECT_EQ(U8(tu.GetUserID()), "me");
  EXPECT_EQ(tu.GetCount(), 9);
}

TEST_F(SdlTM, EmptyTableGivesADocumentWithoutUnits) {
  const std::string db = MakeDb("e.sdltm", kSchema);
  {
    TSdlTMStream s(W(db));
    EXPECT_EQ(s.GetSize(), 0);
    TTU tu;
    tu.IsHeader = true;
    EXPECT_EQ(s.Read(tu), 0);
  }
  THost host;
  const std::string tmx = Convert(db, host);
  EXPECT_EQ(host.Result, u"0 TUs");
  EXPECT_EQ(Count(tmx, "<tu "), 0u);
  EXPECT_NE(tmx.find("<body>\r\n</body>\r\n</tmx>\r\n"), std::string::npos) << tmx;
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

TEST_F(SdlTM, DatabaseErrorsNameTheFileAndWriteNothing) {
  THost host;
  auto failure = [&](const std::string& input) -> std::string {
    try {
      RunConversion(host, W(input), W(dir.File("out.tmx")));
    } catch (const ESQLiteException& e) {
      return U8(e.WideMessage());
    }
    return "no exception";
  };
  TempDir::Write(dir.File("text.sdltm"), std::string(4096, 'x'));
  const std::string notDb = failure(dir.File("text.sdltm"));
  EXPECT_NE(notDb.find(dir.File("text.sdltm")), std::string::npos) << notDb;
  EXPECT_NE(notDb.find("not a database"), std::string::npos) << notDb;

  const std::string other = MakeDb("other.sdltm", "CREATE TABLE translation_memories(id INTEGER);");
  const std::string noTable = failure(other);
  EXPECT_NE(noTable.find(other), std::string::npos) << noTable;
  EXPECT_NE(noTable.find("no such table: translation_units"), std::string::npos) << noTable;

  const std::string missing = failure(dir.File("missing.sdltm"));
  EXPECT_NE(missing.find(dir.File("missing.sdltm")), std::string::npos) << missing;

  EXPECT_FALSE(std::filesystem::exists(dir.File("out.tmx")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.sdltm")));  // a read never creates a database
  EXPECT_EQ(host.Result, u"");
}

TEST_F(SdlTM, WithoutTheLibraryNothingIsOpenedOrWritten) {
  const std::string db = MakeDb("a.sdltm", kSchema + Row(Src("one"), Tgt("eins")));
  SetSQLiteLibraryNameForTesting("libmirelcon-no-such-sqlite.so.0");
  THost host;
  RunConversion(host, W(db), W(dir.File("out.tmx")));
  EXPECT_EQ(host.Html, MissingLibraryText);
  EXPECT_EQ(host.Caption, u"Error");
  EXPECT_EQ(host.Result, u"");
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.tmx")));
}

// What the samples lack: escapes in segments, locked content and text placeholders, NULL and
// empty columns, characters outside any ANSI code page.
TEST_F(SdlTM, BuiltDatabaseConvertsToValidTmx) {
  const std::string tags =
      Text("Press ") +
      "<Tag><Type>LockedContent</Type><Anchor>1</Anchor><AlignmentAnchor>1</AlignmentAnchor><TagID>1</TagID></Tag>" +
      Text(" then ") +
      "<Tag><Type>TextPlaceholder</Type><Anchor>2</Anchor><AlignmentAnchor>2</AlignmentAnchor><TagID>2</TagID>"
      "<TextEquivalent>{1} &amp; &lt;2&gt;</TextEquivalent></Tag>" +
      Text(" and ") +
      "<Tag><Type>TextPlaceholder</Type><Anchor>3</Anchor><AlignmentAnchor>3</AlignmentAnchor><TagID>3</TagID></Tag>";
  const std::string db = MakeDb(
      "b.sdltm", kSchema + Row(Src("Tom &amp; Jerry &lt;3 &quot;q&quot; &#x263A; R&D"),
                               Tgt("Tom &amp; J\xC3\xA9rry \xF0\x9F\x98\x80 \xD0\xB6")) +
                     Row(Seg(tags, "en-US"), Seg(tags, "de-DE")) + Row("NULL", "", "NULL", "NULL", "NULL", "NULL") +
                     Row(Src("last"), Tgt("letzte"), "2014-10-14 12:04:32", "usuari-PC\\usuari", "12", "x"));
  THost host;
  const std::string tmx = Convert(db, host);
  EXPECT_EQ(host.Result, u"4 TUs");
  EXPECT_EQ(Count(tmx, "<tu "), 4u);
  EXPECT_NE(tmx.find("<seg>Tom &amp; Jerry &lt;3 &quot;q&quot; &#x263A; R&amp;D</seg>"), std::string::npos) << tmx;
  EXPECT_NE(tmx.find("<seg>Tom &amp; J\xC3\xA9rry \xF0\x9F\x98\x80 \xD0\xB6</seg>"), std::string::npos);
  EXPECT_NE(tmx.find("<seg>Press <bpt i=\"1\" x=\"1\" type=\"x-LockedContent\" /><ept i=\"1\" /> then "
                     "<bpt i=\"2\" x=\"2\" type=\"x-TextPlaceholder\" />{1} &amp; &lt;2&gt;<ept i=\"2\" /> and "
                     "<bpt i=\"3\" x=\"3\" type=\"x-TextPlaceholder\" /><ept i=\"3\" /></seg>"),
            std::string::npos)
      << tmx;
  EXPECT_NE(tmx.find("<tu creationdate=\"20141014T120432Z\" creationid=\"usuari-PC\\usuari\" usagecount=\"12\">"),
            std::string::npos);
  EXPECT_NE(tmx.find("srclang=\"EN-US\""), std::string::npos);
  EXPECT_NE(tmx.find("<tuv xml:lang=\"DE-DE\">"), std::string::npos);
  EXPECT_NE(tmx.find("o-tmf=\"SDL TM8 Format\""), std::string::npos);
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

// ---------------------------------------------------------------------------------------------
// The samples of the shared data folder.
class SdlTMSample : public SdlTM, public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(SdlTMSample, EveryRowBecomesAUnitWithAllItsTextAndTags) {
  const std::string path = std::string(MIRELCON_SHARED_DATA "/") + GetParam().first + ".sdltm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "the shared sample " << path << " is not there";

  // What the database holds, read on its own.
  std::vector<std::string> segments;  // source and target of each row, in turn
  int rows = 0;
  {
    TSQLiteDatabase db(W(path));
    auto table = db.GetTable("SELECT source_segment, target_segment FROM translation_units");
    for (; !table->Eof(); table->Next(), ++rows) {
      segments.push_back(U8(table->FieldAsString(0)));
      segments.push_back(U8(table->FieldAsString(1)));
    }
  }
  EXPECT_EQ(rows, GetParam().second);

  THost host;
  const std::string tmx = Convert(path, host);
  EXPECT_EQ(U8(host.Result), std::to_string(rows) + " TUs");
  EXPECT_EQ(Count(tmx, "<tu "), static_cast<size_t>(rows));

  const std::vector<std::string> segs = Contents(tmx, "seg");
  ASSERT_EQ(segs.size(), segments.size());
  size_t starts = 0, ends = 0, standalones = 0;
  for (size_t i = 0; i < segs.size(); ++i) {
    std::string text;
    for (const std::string& value : Contents(segments[i], "Value")) text += value;
    // A line break of the text is kept as a reference.
    EXPECT_EQ(Replace(WithoutMarkup(segs[i]), "&#10;", "\n"), text) << "segment " << i;
    starts += Count(segments[i], "<Type>Start</Type>");
    ends += Count(segments[i], "<Type>End</Type>");
    standalones += Count(segments[i], "<Type>Standalone</Type>");
  }
  EXPECT_EQ(Count(tmx, "<bpt "), starts);
  EXPECT_EQ(Count(tmx, "<ept "), ends);
  EXPECT_EQ(Count(tmx, "<ph "), standalones);
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

INSTANTIATE_TEST_SUITE_P(Shared, SdlTMSample,
                         ::testing::Values(std::make_pair("sdlcommunity_SDLImportFields", 19),
                                           std::make_pair("sdlcommunity_empty_NoFields", 0),
                                           std::make_pair("sdltm_importer_sample_2", 102)),
                         [](const auto& info) { return std::string(info.param.first); });
