// SDLTM databases as translation units, and their conversion to TMX 1.4: databases that the
// tests build, and the samples of the shared data folder.
#include "app/core/SdlTMStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RecordingHost.h"
#include "tests/support/RunProgram.h"
#include "tm/MyEncodeTMX.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tests/support/TmxLint.h"

using tmfiles::CountOf;

namespace {

std::u16string W(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }
std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

// A UTF-16 file's text in UTF-8, its byte-order mark left out.
std::string Utf16FileText(const std::string& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  if (!text.empty() && text[0] == u'\uFEFF') text.erase(0, 1);
  return U8(text);
}

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

// The contents of every element name in text, in order.
std::vector<std::string> Contents(const std::string& text, const std::string& name) {
  std::vector<std::string> out;
  const std::string open = "<" + name + ">", close = "</" + name + ">";
  for (size_t at = text.find(open), end; at != std::string::npos; at = text.find(open, end)) {
    if ((end = text.find(close, at)) == std::string::npos) break;
    out.push_back(text.substr(at + open.size(), end - at - open.size()));
  }
  return out;
}

class SdlTM : public ::testing::Test {
protected:
  void SetUp() override {
    if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
    ASSERT_TRUE(LoadSQLiteLibrary());
  }
  std::string MakeDb(const std::string& script) {
    EXPECT_EQ(SQLiteMaker::Instance().Make(dir.File("in.sdltm"), script), "");
    return dir.File("in.sdltm");
  }
  // Converts input to out.tmx as the program does; the document.
  std::string Convert(const std::string& input) {
    EXPECT_EQ(host.Convert(input, dir.File("out.tmx")), "");
    return TempDir::Read(dir.File("out.tmx"));
  }
  // The row after the header.
  static TTU FirstUnit(TSdlTMStream& s) {
    TTU tu;
    tu.IsHeader = true;
    s.Read(tu);
    tu.IsHeader = false;
    EXPECT_GT(s.Read(tu), 0);
    return tu;
  }
  TempDir dir;
  TRecordingHost host;
};

}  // namespace

// The first row comes twice, as the header and as the first unit; asking for the header starts
// over. The stream is only read.
TEST_F(SdlTM, TheFirstRowIsTheHeaderAndTheFirstUnit) {
  TSdlTMStream s(W(MakeDb(kSchema + Row(Src("one"), Tgt("eins")) + Row(Src("two"), Tgt("zwei")) + Row(Src("three"), Tgt("drei")))));
  std::vector<std::string> units;
  TTU tu;
  for (int pass = 0; pass < 2; ++pass)
    for (tu.IsHeader = true; s.Read(tu) > 0; tu.IsHeader = false) units.push_back((tu.IsHeader ? "header " : "") + U8(tu.Field(tfSource)));
  EXPECT_EQ(units, (std::vector<std::string>{"header one", "one", "two", "three", "header one", "one", "two", "three"}));
  EXPECT_EQ(s.GetSize(), 3);
  EXPECT_EQ(s.Seek(1, TSeekOrigin::FromEnd), 2);
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(U8(tu.Field(tfTarget)), "drei");
  EXPECT_FALSE(s.Write(tu));
}

TEST_F(SdlTM, FieldsOfARow) {
  TSdlTMStream s(W(MakeDb(kSchema + Row(Src("s"), Tgt("t"), "2012-11-03 10:20:30", "DOM\\ana", "5", "42") +
                          Row(Seg("", "en-US"), Seg(Text(""), "de-DE"), "NULL", "NULL", "NULL", "NULL") +
                          Row(Seg("", "en-US"), Seg("", "de-DE"), "", "", "", "") +
                          Row(Src("x"), Tgt("y"), "2020-02-05 08:29:06", "u", "no digits", "7"))));
  TTU tu = FirstUnit(s);
  EXPECT_EQ(U8(tu.Field(tfDate)), "20121103~102030");
  EXPECT_EQ(U8(tu.GetUserID()), "DOM\\ana");
  EXPECT_EQ(tu.GetCount(), 5);  // usage_counter, not change_user after it
  EXPECT_EQ(U8(tu.LangPair.Source) + ">" + U8(tu.LangPair.Target), "EN-US>DE-DE");
  EXPECT_EQ(U8(tu.Field(tfTarget)), "t");
  for (int row = 2; row <= 3; ++row) {  // NULL and empty columns: nothing left over from the row before
    ASSERT_GT(s.Read(tu), 0) << row;
    EXPECT_EQ(tu.Field(tfSource) + tu.Field(tfTarget) + tu.Field(tfDate) + tu.GetUserID() + tu.LangPair.Source, u"EN-US");
    EXPECT_EQ(tu.GetCount(), 0) << row;
  }
  ASSERT_GT(s.Read(tu), 0);
  EXPECT_EQ(tu.GetCount(), 0);
  EXPECT_EQ(s.Read(tu), 0);
}

TEST_F(SdlTM, ColumnsAreFoundByNameWithoutCaseInAnyOrder) {
  TSdlTMStream s(W(MakeDb("CREATE TABLE Translation_Units(Usage_Counter INTEGER, Change_User TEXT, Target_Segment TEXT, "
                          "CREATION_USER TEXT, Creation_Date TEXT, Source_Segment TEXT);"
                          "INSERT INTO Translation_Units VALUES(9, '1', " + SQLiteMaker::Quote(Tgt("Ziel")) +
                          ", 'me', '2001-02-03 04:05:06', " + SQLiteMaker::Quote(Src("source")) + ");")));
  TTU tu = FirstUnit(s);
  EXPECT_EQ(U8(tu.Field(tfSource) + u"|" + tu.Field(tfTarget) + u"|" + tu.Field(tfDate) + u"|" + tu.GetUserID()),
            "source|Ziel|20010203~040506|me");
  EXPECT_EQ(tu.GetCount(), 9);
}

TEST_F(SdlTM, EmptyTableGivesADocumentWithoutUnits) {
  const std::string tmx = Convert(MakeDb(kSchema));
  EXPECT_EQ(host.Result, "0 TUs");
  EXPECT_EQ(CountOf(tmx, "<tu "), 0u);
  EXPECT_NE(tmx.find("<body>\r\n</body>\r\n</tmx>\r\n"), std::string::npos) << tmx;
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

// The file's name and SQLite's reason, and nothing written; a read never creates a database.
TEST_F(SdlTM, DatabaseErrorsNameTheFileAndWriteNothing) {
  TempDir::Write(dir.File("text.sdltm"), std::string(4096, 'x'));
  ASSERT_EQ(SQLiteMaker::Instance().Make(dir.File("other.sdltm"), "CREATE TABLE translation_memories(id INTEGER);"), "");
  for (const auto& [name, reason] : {std::pair<std::string, std::string>{"text.sdltm", "not a database"},
                                     {"other.sdltm", "no such table: translation_units"}, {"missing.sdltm", ""}}) {
    const std::string error = host.Convert(dir.File(name), dir.File("out.tmx"));
    EXPECT_NE(error.find(dir.File(name)), std::string::npos) << error;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.tmx")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.sdltm")));
  EXPECT_EQ(host.Result, "");
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
  const std::string tmx = Convert(MakeDb(
      kSchema + Row(Src("Tom &amp; Jerry &lt;3 &quot;q&quot; &#x263A; R&D"), Tgt("Tom &amp; J\xC3\xA9rry \xF0\x9F\x98\x80 \xD0\xB6")) +
      Row(Seg(tags, "en-US"), Seg(tags, "de-DE")) + Row(Seg("", "en-US"), Seg(Text(""), "de-DE"), "NULL", "NULL", "NULL", "NULL") +
      Row(Src("last"), Tgt("letzte"), "2014-10-14 12:04:32", "usuari-PC\\usuari", "12", "x")));
  // The row of NULLs has no date.
  EXPECT_EQ(host.Result, "4 TUs, 1 warning");
  EXPECT_EQ(CountOf(tmx, "<tu "), 4u);
  for (const char* part :
       {"<seg>Tom &amp; Jerry &lt;3 &quot;q&quot; &#x263A; R&amp;D</seg>",
        "<seg>Tom &amp; J\xC3\xA9rry \xF0\x9F\x98\x80 \xD0\xB6</seg>",
        "<seg>Press <bpt i=\"1\" x=\"1\" type=\"x-LockedContent\" /><ept i=\"1\" /> then "
        "<bpt i=\"2\" x=\"2\" type=\"x-TextPlaceholder\" />{1} &amp; &lt;2&gt;<ept i=\"2\" /> and "
        "<bpt i=\"3\" x=\"3\" type=\"x-TextPlaceholder\" /><ept i=\"3\" /></seg>",
        "<tu creationdate=\"20141014T120432Z\" creationid=\"usuari-PC\\usuari\" usagecount=\"12\">", "srclang=\"EN-US\"",
        "<tuv xml:lang=\"DE-DE\">", "o-tmf=\"SDL TM8 Format\""})
    EXPECT_NE(tmx.find(part), std::string::npos) << part;
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

// A usage count beyond the 32-bit range goes through the program as stored, whether its column
// is read as numbers (INTEGER) or as text (INT).
TEST_F(SdlTM, UsageCountsBeyondThirtyTwoBitsAreKeptByTheProgram) {
  const char* const counts[][2] = {{"2147483647", "2147483647"}, {"2147483648", "2147483648"},
                                   {"4294967301", "4294967301"}, {"99999999999", "99999999999"},
                                   {"12 apples", "12"}};
  for (const char* type : {"INT", "INTEGER"}) {
    std::string script = "CREATE TABLE translation_units(source_segment TEXT, target_segment TEXT, usage_counter " +
                         std::string(type) + ");";
    for (const auto& count : counts)
      script += "INSERT INTO translation_units VALUES (" + SQLiteMaker::Quote(Src("s")) + ", " + SQLiteMaker::Quote(Tgt("t")) +
                ", " + (std::string(type) == "INT" ? SQLiteMaker::Quote(count[0]) : std::string(count[1])) + ");";
    std::filesystem::remove(dir.File("in.sdltm"));
    const ProgramRun run = RunProgram(MIRELCON_EXE, {MakeDb(script)});
    ASSERT_EQ(run.status, 0) << type << ": " << run.err;
    const std::string tmx = TempDir::Read(dir.File("in.tmx"));
    std::vector<std::string> written;
    for (size_t at = tmx.find("usagecount=\""); at != std::string::npos; at = tmx.find("usagecount=\"", at + 1))
      written.push_back(tmx.substr(at + 12, tmx.find('"', at + 12) - at - 12));
    std::vector<std::string> expected;
    for (const auto& count : counts) expected.push_back(count[1]);
    EXPECT_EQ(written, expected) << type;
  }
}

// ---------------------------------------------------------------------------------------------
// The samples of the shared data folder: every row becomes a unit with all its text and tags.
class SdlTMSample : public SdlTM, public ::testing::WithParamInterface<std::pair<const char*, int>> {};

TEST_P(SdlTMSample, EveryRowBecomesAUnitWithAllItsTextAndTags) {
  const std::string path = std::string(MIRELCON_SHARED_DATA "/") + GetParam().first + ".sdltm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "the shared sample " << path << " is not there";
  std::vector<std::string> segments;  // what the database holds, read on its own: source and target of each row
  {
    TSQLiteDatabase db(W(path));
    auto table = db.GetTable("SELECT source_segment, target_segment FROM translation_units");
    for (; !table->Eof(); table->Next())
      for (int column = 0; column < 2; ++column) segments.push_back(U8(table->FieldAsString(column)));
  }
  const size_t rows = segments.size() / 2;
  EXPECT_EQ(rows, static_cast<size_t>(GetParam().second));
  const std::string tmx = Convert(path);
  EXPECT_EQ(host.Result, std::to_string(rows) + " TUs");
  EXPECT_EQ(CountOf(tmx, "<tu "), rows);
  const std::vector<std::string> segs = Contents(tmx, "seg");
  ASSERT_EQ(segs.size(), segments.size());
  size_t starts = 0, ends = 0, standalones = 0;
  for (size_t i = 0; i < segs.size(); ++i) {
    std::string text, shown;
    for (const std::string& value : Contents(segments[i], "Value")) text += value;
    for (size_t at = 0; at < segs[i].size(); ++at)
      if (segs[i][at] == '<') at = segs[i].find('>', at);
      else shown += segs[i][at];
    // A line break of the text is kept as a reference.
    EXPECT_EQ(tmfiles::Replace(shown, "&#10;", "\n"), text) << "segment " << i;
    starts += CountOf(segments[i], "<Type>Start</Type>");
    ends += CountOf(segments[i], "<Type>End</Type>");
    standalones += CountOf(segments[i], "<Type>Standalone</Type>");
  }
  EXPECT_EQ(CountOf(tmx, "<bpt "), starts);
  EXPECT_EQ(CountOf(tmx, "<ept "), ends);
  EXPECT_EQ(CountOf(tmx, "<ph "), standalones);
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

INSTANTIATE_TEST_SUITE_P(Shared, SdlTMSample,
                         ::testing::Values(std::make_pair("sdlcommunity_SDLImportFields", 19),
                                           std::make_pair("sdlcommunity_empty_NoFields", 0),
                                           std::make_pair("sdltm_importer_sample_2", 102)),
                         [](const auto& info) { return std::string(info.param.first); });

// A UTF-8 file takes the segments in UTF-8 straight from the decoder, a UTF-16 file through
// UTF-16: both say the same, also where a segment holds what XML cannot (each such character
// one blank) and where a line break sends the string through the scanner.
TEST_F(SdlTM, Utf8AndUtf16FilesSayTheSame) {
  const std::string odd = "a\x01" "b\x1F" "c\xEF\xBF\xBF" "d\xEF\xBF\xBE" "e\xEF\xBF\xBD" "f\xED\x9F\xBF" "g\t";
  const std::string tags = Text(odd) +
                           "<Tag><Type>Start</Type><Anchor>1\x02</Anchor><AlignmentAnchor>1</AlignmentAnchor>"
                           "<TagID>x\xEF\xBF\xBF</TagID><CanHide>true</CanHide></Tag>" + Text("]]") + Text(">");
  // Users, dates and counts that go as the database's bytes and those that do not.
  const std::string db = MakeDb(kSchema + Row(Src(odd), Tgt(odd + "\r\nline")) + Row(Seg(tags, "en-US"), Seg(tags, "de-DE")) +
                                Row(Src("bad \xC3"), Tgt("\xD0\xB6 plain")) +
                                Row(Src("u"), Tgt("v"), "2012-11-03 10:20:30", "J&K <\"x\">'", "3000000000") +
                                Row(Src("u"), Tgt("v"), "2012-11-03\t10:20", "\xC3\x84na\x01", "-4") +
                                Row(Src("u"), Tgt("v"), "NULL", "NULL", "NULL") + Row(Src("u"), Tgt("v"), "20", "a", "0012") +
                                Row(Src("u"), Tgt("v"), "2012-11-03 10:20:30\xEF\xBF\xBF", "\xED\xA0\x80", "1e3"));
  std::string docs[2];
  for (const TCodeChar code : {ccUtf8, ccUnicode}) {
    TSdlTMStream source(W(db));
    TEncodeTMX writer(&source);
    const std::string file = dir.File("out.tmx");  // the name is in the document
    ASSERT_TRUE(writer.Convert(W(file), code));
    std::string bytes = TempDir::Read(file);
    if (code == ccUnicode) {
      ASSERT_GE(bytes.size(), 2u);
      std::u16string text((bytes.size() - 2) / 2, u'\0');
      std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
      bytes = U8(text);
    }
    docs[code == ccUtf8 ? 0 : 1] = bytes.substr(bytes.find('\n'));  // the declarations name their encodings
    // The source still gives its segments as fields to anyone else.
    EXPECT_EQ(U8(FirstUnit(source).Field(tfSource)), "a\x01" "b\x1F" "c\xEF\xBF\xBF" "d\xEF\xBF\xBE" "e\xEF\xBF\xBD" "f\xED\x9F\xBF" "g\t");
  }
  EXPECT_EQ(docs[0], docs[1]);
  for (const char* part : {"<tu creationdate=\"20121103T102030Z\" creationid=\"J&amp;K &lt;&quot;x&quot;&gt;&apos;\" usagecount=\"3000000000\">",
                           "<tu creationdate=\"20121103T102000Z\" creationid=\"\xC3\x84na \" usagecount=\"-4\">",
                           "<tu creationid=\"a\" usagecount=\"12\">",
                           "<seg>a b c d e\xEF\xBF\xBD" "f\xED\x9F\xBFg\t</seg>", "<seg>a b c d e\xEF\xBF\xBD" "f\xED\x9F\xBFg\t&#10;line</seg>",
                           "<bpt i=\"1 \" x=\"1\" type=\"x \" />]]&gt;</seg>", "<seg>bad \xEF\xBF\xBD</seg>"})
    EXPECT_NE(docs[0].find(part), std::string::npos) << part << "\n" << docs[0];
}

// A count that SQLite holds as an integer in a column declared otherwise (the tools' "INT") is
// read as its number; what it holds otherwise is read from its text, as before.
TEST_F(SdlTM, CountsOfAnIntColumnWhateverSQLiteHolds) {
  const std::pair<const char*, int64_t> counts[] = {
      {"0", 0}, {"-7", -7}, {"'31'", 31}, {"999999999999999999", 999999999999999999},
      {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN}, {"1.5", 1},
      {"'12 apples'", 12}, {"NULL", 0}, {"'-3x'", -3}, {"x'3435'", 45},
  };
  std::string script = "CREATE TABLE translation_units(source_segment TEXT, target_segment TEXT, usage_counter INT);";
  for (const auto& [value, count] : counts)
    script += "INSERT INTO translation_units VALUES (" + SQLiteMaker::Quote(Src("s")) + ", " + SQLiteMaker::Quote(Tgt("t")) +
              ", " + value + ");";
  TSdlTMStream s(W(MakeDb(script)));
  s.DeliverUtf8Segments(true);
  TTU tu;
  tu.IsHeader = true;
  ASSERT_GT(s.Read(tu), 0);
  for (const auto& [value, count] : counts) {
    tu.IsHeader = false;
    ASSERT_GT(s.Read(tu), 0) << value;
    EXPECT_EQ(tu.GetCount(), count) << value;
  }
}

// A date's bytes become its text-TM date as SdlDateToTmDate makes it of its text, the tools'
// form taken eight bytes at a time; a value that is no date is refused by both. Every byte of
// the tools' form is replaced in turn by digits, separators, letters and bytes that are no
// printable ASCII, and dates one byte short and long are taken too.
TEST(SdlTMDates, BytesBecomeTheTextTmDateAsTheFieldDoes) {
  const std::string form = "2012-11-03 10:20:30";
  std::vector<std::string> dates = {form, form.substr(1), form + "9", "", "20", "2012-11-03T10:20:30Z", "2012/11/03 10.20.30"};
  for (size_t i = 0; i < form.size(); ++i)
    for (const char c : std::string("09/:- a\x7F\x1F&\x80\xC3") + '\0') {
      std::string d = form;
      d[i] = c;
      dates.push_back(d);
    }
  std::string buffer;
  for (const std::string& date : dates) {
    std::string_view out;
    const bool dated = TSdlTMStream::TmDateBytes(date, buffer, out);
    std::u16string field = W(date);
    ASSERT_EQ(TSdlTMStream::SdlDateToTmDate(field), dated) << date;
    EXPECT_EQ(std::string(out), U8(field)) << date;
    EXPECT_EQ(out.size(), dated ? 15u : 0u) << date;
  }
}

// Dates, users and counts of every kind read by a UTF-8 file as bytes and by a UTF-16 file as
// fields say the same: XML specials at either end and alone, bytes that are no printable
// ASCII, dates of eight characters or fewer, counts at the ends of their range.
TEST_F(SdlTM, DatesUsersAndCountsSayTheSameInUtf8AndUtf16) {
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {"2012-11-03 10:20:30", "&", "0"},
      {"2012-11-03 10:20:3&", "<ana>", "-1"},
      {"&012-11-03 10:20:30", "ana'", "9223372036854775807"},
      {"2012-11-03 10:20", "\"", "-9223372036854775808"},
      {"2012-11-03", "DOM\\ana", "12345678901"},
      {"2012-1", "a\x7F", "7"},
      {"2012-11-03 10:20:30\x01", "\xC3\xA4", "8"},
      {"", "", "'x'"},
      {"2012-11-03 10:2<:30", "a b", "99999999"},
  };
  std::string script = kSchema;
  for (const auto& [date, user, count] : rows) script += Row(Src("s"), Tgt("t"), date, user, count);
  const std::string db = MakeDb(script);
  std::string docs[2];
  for (const TCodeChar code : {ccUtf8, ccUnicode}) {
    TSdlTMStream source(W(db));
    TEncodeTMX writer(&source);
    const std::string file = dir.File("out.tmx");
    ASSERT_TRUE(writer.Convert(W(file), code));
    std::string bytes = TempDir::Read(file);
    if (code == ccUnicode) bytes = Utf16FileText(bytes);
    docs[code == ccUtf8 ? 0 : 1] = bytes.substr(bytes.find('\n'));
  }
  EXPECT_EQ(docs[0], docs[1]);
  // A value that is no date leaves the unit without a creationdate.
  for (const char* part : {"<tu creationid=\"&lt;ana&gt;\" usagecount=\"-1\"",
                           "<tu creationid=\"ana&apos;\" usagecount=\"9223372036854775807\"",
                           "creationdate=\"20121103T102000Z\" creationid=\"&quot;\" usagecount=\"-9223372036854775808\"",
                           "creationdate=\"20121103T000000Z\" creationid=\"DOM\\ana\"", "<tu creationid=\"a\x7F\"",
                           "<tu creationid=\"\xC3\xA4\"", "<tu creationid=\"\" usagecount",
                           "<tu creationid=\"a b\" usagecount=\"99999999\""})
    EXPECT_NE(docs[0].find(part), std::string::npos) << part << "\n" << docs[0];
}

namespace {

// A unit as a line of what it says, whatever form its fields came in.
std::string Describe(TTU& tu) {
  tu.SegmentsToFields();
  std::string line = tu.IsHeader ? "H" : "U";
  for (int i = 0; i <= tfTarget; ++i) line += "|" + (tu.IsHeader && i == tfCount ? "" : U8(tu.Field(i)));
  return line + "|" + U8(tu.LangPair.Source) + ">" + U8(tu.LangPair.Target) + "|" + std::to_string(tu.GetCount());
}

// Rows of every kind a batch copies: counts, users and dates of each storage class, NULL and
// blob segments, and segments of 300,000 bytes that fill a batch alone.
std::string ManyKindsOfRows(int rows) {
  std::string script = "BEGIN;" + kSchema;
  const char* const counts[] = {"3", "-1", "'12'", "'-4x'", "2.5", "NULL", "x'3132'", "9223372036854775807", "'x'"};
  const char* const users[] = {"'DOM\\ana'", "NULL", "7", "x'616263'", "'J&K <x>'", "'\xC3\x84na'"};
  const char* const dates[] = {"'2012-11-03 10:20:30'", "NULL", "'2012-11-03'", "20121103", "'2012-11-03 10:20:3\x01'"};
  for (int i = 0; i < rows; ++i) {
    std::string source = SQLiteMaker::Quote(Src("row " + std::to_string(i) + (i % 7 == 0 ? " &amp; <x" : "")));
    std::string target = SQLiteMaker::Quote(Seg(Text("Zeile " + std::to_string(i)) + "<Tag><Type>Standalone</Type><TagID>" +
                                                     std::to_string(i % 5) + "</TagID></Tag>", i % 3 ? "de-DE" : "de-AT"));
    if (i % 97 == 5) target = "NULL";
    if (i % 89 == 7) source = "x'3c53656720'";
    if (i % 400 == 123) source = SQLiteMaker::Quote(Src(std::string(300000, 'a' + i % 26)));
    script += "INSERT INTO translation_units(guid, source_segment, target_segment, creation_date, creation_user, "
              "usage_counter, change_user) VALUES (x'00', " + source + ", " + target + ", " + dates[i % 5] + ", " +
              users[i % 6] + ", " + counts[i % 9] + ", 'x');";
  }
  return script + "COMMIT;";
}

}  // namespace

// Rows read on a second thread, ahead of the units, give the units, positions and seek results
// that rows read as the units are asked for give, in UTF-8 and in UTF-16, through batches
// of many rows and of one large row, moving forward, back, to the end and to the header.
TEST_F(SdlTM, ReadingAheadGivesWhatReadingRowByRowGives) {
  const std::string db = MakeDb(ManyKindsOfRows(1500));
  // Each step: an origin and offset to seek, or (kRead) a number of units to read.
  enum { kRead = -1, kHeader = -2 };
  const std::pair<int, int64_t> steps[] = {
      {kHeader, 3},  {kRead, 600}, {int(TSeekOrigin::FromCurrent), -350}, {kRead, 20},
      {int(TSeekOrigin::FromEnd), 10}, {kRead, 30}, {int(TSeekOrigin::FromBeginning), 1000}, {kRead, 5},
      {kHeader, 2}, {int(TSeekOrigin::FromCurrent), 1400}, {kRead, 2000}, {kRead, 1},
      {int(TSeekOrigin::FromBeginning), 0}, {kRead, 777},
  };
  for (const bool utf8 : {true, false}) {
    std::vector<std::string> seen[2];
    for (const bool ahead : {false, true}) {
      TSdlTMStream s(W(db), ahead);
      s.DeliverUtf8Segments(utf8);
      std::vector<std::string>& out = seen[ahead];
      TTU tu;
      for (const auto& [what, n] : steps) {
        if (what >= 0) {
          out.push_back("seek " + std::to_string(s.Seek(n, static_cast<TSeekOrigin>(what))));
          continue;
        }
        tu.IsHeader = what == kHeader;
        for (int64_t k = 0; k < n; ++k) {
          const int64_t at = s.Read(tu);
          out.push_back(std::to_string(at) + " " + std::to_string(s.GetPosition()) + " " + (at > 0 ? Describe(tu) : ""));
          tu.IsHeader = false;
          if (at <= 0) break;
        }
      }
      // The stream goes with its reading thread still holding rows read ahead.
    }
    EXPECT_GT(seen[0].size(), 1500u);
    ASSERT_EQ(seen[0].size(), seen[1].size());
    for (size_t i = 0; i < seen[0].size(); ++i) ASSERT_EQ(seen[0][i], seen[1][i]) << "step " << i << " utf8 " << utf8;
  }
}

// A database that breaks part-way raises its error at the same unit whether its rows are read
// ahead or not, naming the file, after the same units; a stopped conversion ends its document
// after the same unit either way.
TEST_F(SdlTM, ReadingAheadRaisesAndStopsWhereReadingRowByRowDoes) {
  std::string script = kSchema;
  for (int i = 0; i < 3000; ++i) script += Row(Src("unit " + std::to_string(i) + std::string(400, 'x')), Tgt("t"));
  const std::string db = MakeDb("BEGIN;" + script + "COMMIT;");
  // The rows of a page about two thirds in become garbage; its header and its list of rows,
  // which counting the rows reads, stay.
  std::string bytes = TempDir::Read(db);
  const size_t page = 4096, at = bytes.size() / page * 2 / 3 * page;
  bytes.replace(at + 64, page - 64, page - 64, '\xFF');
  TempDir::Write(dir.File("broken.sdltm"), bytes);
  std::string errors[2];
  int units[2] = {};
  int64_t positions[2] = {};
  for (const bool ahead : {false, true}) {
    TSdlTMStream s(W(dir.File("broken.sdltm")), ahead);
    TTU tu;
    tu.IsHeader = true;
    try {
      while (s.Read(tu) > 0) {
        ++units[ahead];
        tu.IsHeader = false;
      }
    } catch (const ESQLiteException& e) {
      errors[ahead] = U8(e.WideMessage());
    }
    positions[ahead] = s.GetPosition();
  }
  EXPECT_NE(errors[0].find(dir.File("broken.sdltm")), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("malformed"), std::string::npos) << errors[0];
  EXPECT_GT(units[0], 100);
  EXPECT_LT(units[0], 3000);
  EXPECT_EQ(errors[0], errors[1]);
  EXPECT_EQ(units[0], units[1]);
  EXPECT_EQ(positions[0], positions[1]);
  // A conversion that fails there leaves every unit before the failing one written, whole, in
  // UTF-8 and in UTF-16 alike.
  for (const TCodeChar code : {ccUtf8, ccUnicode}) {
    {
      TSdlTMStream source(W(dir.File("broken.sdltm")));
      TEncodeTMX writer(&source);
      EXPECT_THROW(writer.Convert(W(dir.File("part.tmx")), code), ESQLiteException);
    }
    std::string written = TempDir::Read(dir.File("part.tmx"));
    if (code == ccUnicode) written = Utf16FileText(written);
    // The header's row is the first unit too.
    EXPECT_EQ(CountOf(written, "<tu "), static_cast<size_t>(units[0] - 1)) << int(code);
    EXPECT_EQ(CountOf(written, "</tu>\r\n"), static_cast<size_t>(units[0] - 1)) << int(code);
  }

  std::string docs[2];
  for (const bool ahead : {false, true}) {
    TSdlTMStream source(W(db), ahead);
    TEncodeTMX writer(&source);
    writer.SetProgressEvent([&](int) {
      if (writer.Position >= 1234) writer.Abort();
    });
    ASSERT_TRUE(writer.Convert(W(dir.File("out.tmx")), ccUtf8));
    EXPECT_EQ(writer.UnitCount, 1234);
    docs[ahead] = TempDir::Read(dir.File("out.tmx"));
  }
  EXPECT_EQ(docs[0], docs[1]);
  EXPECT_EQ(CountOf(docs[1], "<tu "), 1234u);
  EXPECT_NE(docs[1].find("</body>\r\n</tmx>\r\n", docs[1].size() - 20), std::string::npos);
}

// Units come only from rows stored in a table: a translation_units that is a view (of a query
// that may run without end or make rows and values without bound), a virtual table, or a table
// whose segment is computed as it is read is refused before anything is read or written, with a
// message that names the file and says why.
TEST_F(SdlTM, OnlyRowsStoredInATableAreRead) {
  const std::string seg = SQLiteMaker::Quote(Src("s"));
  const std::pair<std::string, std::string> cases[] = {
      {"CREATE VIEW translation_units AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3) "
       "SELECT i AS id, " + seg + " AS source_segment, " + seg + " AS target_segment FROM n;",
       "translation_units is a view"},
      {"CREATE TABLE u(s TEXT); INSERT INTO u VALUES (" + seg + "), (" + seg + "); CREATE VIEW Translation_Units AS "
       "SELECT a.s AS source_segment, zeroblob(1000) AS target_segment FROM u a, u b;",
       "translation_units is a view"},
      {"CREATE VIRTUAL TABLE translation_units USING fts4(source_segment, target_segment); "
       "INSERT INTO translation_units VALUES (" + seg + ", " + seg + ");",
       "translation_units is a virtual table"},
      {"CREATE TABLE translation_units(id INTEGER PRIMARY KEY, s TEXT, source_segment TEXT AS (s || s)); "
       "INSERT INTO translation_units(s) VALUES ('x');",
       "column source_segment of translation_units is computed"},
  };
  for (const auto& [script, reason] : cases) {
    std::filesystem::remove(dir.File("in.sdltm"));
    const std::string db = MakeDb(script);
    const std::string error = host.Convert(db, dir.File("out.tmx"));
    EXPECT_NE(error.find(db), std::string::npos) << error;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.tmx"))) << reason;
  }
  // A column computed once, when its row was stored, is stored like any other.
  std::filesystem::remove(dir.File("in.sdltm"));
  const std::string tmx = Convert(MakeDb(
      "CREATE TABLE translation_units(id INTEGER PRIMARY KEY, s TEXT, source_segment TEXT AS (s) STORED, target_segment TEXT); "
      "INSERT INTO translation_units(s, target_segment) VALUES (" + seg + ", " + SQLiteMaker::Quote(Tgt("t")) + ");"));
  EXPECT_EQ(host.Result, "1 TUs");
  EXPECT_NE(tmx.find("<seg>s</seg>"), std::string::npos) << tmx;
}

// A creation date in any form SQLite keeps dates in becomes the text-TM date of its moment in
// UTC, its fractions of a second dropped; a day past the end of its month runs on into the next,
// as SQLite counts it. Anything else is no date, and the unit has none. Bytes and text agree.
TEST(SdlTMDates, EveryFormSQLiteKeepsAndNothingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {"2012-11-03 10:20:30", "20121103~102030"},
      {"2012-11-03 10:20:30.123", "20121103~102030"},
      {"2012-11-03T10:20:30Z", "20121103~102030"},
      {"2012-11-03T10:20:30.5Z", "20121103~102030"},
      {"2012-11-03T10:20:30.999+02:00", "20121103~082030"},
      {"2012-11-03 00:20:30-01:30", "20121103~015030"},
      {"2012-12-31 23:59:59-00:30", "20130101~002959"},
      {"2012-11-03 10:20", "20121103~102000"},
      {"2012-11-03", "20121103~000000"},
      {"2012-11-03\t10:20:30", "20121103~102030"},
      {" 2012-11-03 10:20:30 ", "20121103~102030"},
      {"2012-02-29 10:20:30", "20120229~102030"},
      {"2012-02-30 10:20:30", "20120301~102030"},
      {"2012-11-03 24:00:00", "20121104~000000"},
      {"2456234.93", "20121103~101912"},  // a Julian day number
      {"2456234", "20121102~120000"},
      {"1351938030", "20121103~102030"},  // a Unix time
      {"-1", "19691231~235959"},
      {"bogus", ""}, {"", ""}, {" ", ""}, {"2012-13-03 10:20:30", ""}, {"2012-11-00 10:20:30", ""},
      {"2012-11-03 10:60:30", ""}, {"2012-11-03 10:20:60", ""}, {"2012-11-03 25:00:00", ""},
      {"2012-11-03X10:20:30", ""}, {"2012-11-03 10:20:30 junk", ""}, {"2012-11-03 10:20:30+25:00", ""},
      {"2012-11-03 10:20:30Z9", ""}, {"2012-11-03 10:20:30.", ""}, {"2012-1-3", ""}, {"12-11-03", ""},
      {"20121103~102030", ""}, {"0", ""}, {"1e12", ""}, {"nan", ""}, {"inf", ""}, {"0x10", ""},
      {"2012-11-03 10:20:30\x01", ""}, {"2012-11-03 10:20:30\xC3\xA4", ""},
  };
  std::string buffer;
  for (const auto& [date, tmDate] : cases) {
    std::string_view out;
    EXPECT_EQ(TSdlTMStream::TmDateBytes(date, buffer, out), !tmDate.empty()) << date;
    EXPECT_EQ(std::string(out), tmDate) << date;
    std::u16string field = W(date);
    EXPECT_EQ(TSdlTMStream::SdlDateToTmDate(field), !tmDate.empty()) << date;
    EXPECT_EQ(U8(field), tmDate) << date;
  }
}

// Units whose creation date is no date are written without a creationdate, which no reader
// would take, and the result line counts them as warnings; the TMX stays valid.
TEST_F(SdlTM, UnitsWithoutADateHaveNoCreationDate) {
  std::string script = kSchema;
  for (const char* date : {"2012-11-03 10:20:30", "bogus", "", "2012-11-03T10:20:30.5Z", "NULL"})
    script += Row(Src(std::string("s ") + date), Tgt("t"), date);
  script += "INSERT INTO translation_units(source_segment, target_segment, creation_date) VALUES (" +
            SQLiteMaker::Quote(Src("julian")) + ", " + SQLiteMaker::Quote(Tgt("t")) + ", 2456234.93), (" +
            SQLiteMaker::Quote(Src("unix")) + ", " + SQLiteMaker::Quote(Tgt("t")) + ", 1351938030);";
  const std::string tmx = Convert(MakeDb(script));
  EXPECT_EQ(host.Result, "7 TUs, 3 warnings");
  EXPECT_EQ(CountOf(tmx, "<tu "), 7u);
  EXPECT_EQ(CountOf(tmx, "<tu creationid="), 3u);
  EXPECT_EQ(CountOf(tmx, "<tu creationdate=\"20121103T102030Z\""), 3u);
  EXPECT_EQ(CountOf(tmx, "<tu creationdate=\"20121103T101912Z\""), 1u);
  EXPECT_EQ(tmx.find("bogusZ"), std::string::npos);
  EXPECT_EQ(tmx.find("creationdate=\"Z\""), std::string::npos);
  EXPECT_NE(tmx.find("\t creationdate=\"20121103T102030Z\"\r\n"), std::string::npos);  // the header's
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

// Segments longer than the writer's blocks go out from the unit's own text, at their place: the
// UTF-8 document says what the UTF-16 one says, with long segments on either side of a unit and
// in units one after the other.
TEST_F(SdlTM, LongSegmentsAreWrittenInTheirPlace) {
  const std::string a(200000, 'a'), b(70000, 'b'), c(65536, 'c');
  const std::string db = MakeDb(kSchema + Row(Src("short"), Tgt("kurz")) + Row(Src(a), Tgt(b)) + Row(Src(c), Tgt("t")) +
                                Row(Src("s"), Tgt(a + "&amp;")) + Row(Src("end"), Tgt("Ende")));
  std::string docs[2];
  for (const TCodeChar code : {ccUtf8, ccUnicode}) {
    TSdlTMStream source(W(db));
    TEncodeTMX writer(&source);
    ASSERT_TRUE(writer.Convert(W(dir.File("out.tmx")), code));
    EXPECT_EQ(writer.UnitCount, 5);
    std::string bytes = TempDir::Read(dir.File("out.tmx"));
    if (code == ccUnicode) bytes = Utf16FileText(bytes);
    docs[code == ccUtf8 ? 0 : 1] = bytes.substr(bytes.find('\n'));
  }
  EXPECT_EQ(docs[0], docs[1]);
  const std::vector<std::string> segs = Contents(docs[0], "seg");
  const std::vector<std::string> expected = {"short", "kurz", a, b, c, "t", "s", a + "&amp;", "end", "Ende"};
  ASSERT_EQ(segs.size(), expected.size());
  for (size_t i = 0; i < segs.size(); ++i) EXPECT_EQ(segs[i], expected[i]) << i;
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

namespace {

// A value as SQL: its bytes as a blob, kept as text (CAST) unless asBlob; zero bytes included.
std::string Bytes(const std::string& value, bool asBlob = false) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex = "x'";
  for (const unsigned char c : value) hex += {kHex[c >> 4], kHex[c & 15]};
  hex += "'";
  return asBlob ? hex : "CAST(" + hex + " AS TEXT)";
}

std::string RawRow(const std::string& source, const std::string& target, const std::string& user = "'ana'") {
  return "INSERT INTO translation_units(source_segment, target_segment, creation_date, creation_user, usage_counter) "
         "VALUES (" + source + ", " + target + ", '2012-11-03 10:20:30', " + user + ", 1);";
}

// Every language a document names: the header's srclang and adminlang, every tuv's xml:lang.
std::vector<std::string> Languages(const std::string& tmx) {
  std::vector<std::string> out;
  for (const std::string attr : {"srclang=\"", "adminlang=\"", "xml:lang=\""})
    for (size_t at = tmx.find(attr); at != std::string::npos; at = tmx.find(attr, at + 1)) {
      const size_t from = at + attr.size();
      out.push_back(tmx.substr(from, tmx.find('"', from) - from));
    }
  return out;
}

}  // namespace

// A zero character inside a segment's text is text that TMX cannot hold, like the other
// control characters: a blank stands for it, the text around it stays, and the unit is counted
// among the warnings; on either side, read as text or as a blob, on the plain path and the other,
// and in the user's name.
TEST_F(SdlTM, ZeroCharactersInSegmentsStayAsBlanksWithAWarning) {
  const std::string x0y("x\0y", 3);
  const struct {
    std::string source, target, result;
    std::vector<std::string> segs;
    std::string user = "'ana'", creationId = "ana";
  } cases[] = {
      {Bytes(Src(x0y)), Bytes(Tgt("t")), "1 TUs, 1 warning", {"x y", "t"}},
      {Bytes(Src("s")), Bytes(Tgt(std::string("\0a\0", 3) + "b\x01")), "1 TUs, 1 warning", {"s", " a b "}},
      {Bytes(Src(x0y), true), Bytes(Tgt(x0y), true), "1 TUs, 1 warning", {"x y", "x y"}},
      // The general path: a line end in the text, an element of its own.
      {Bytes(Src("a\n" + x0y)), Bytes(Seg("<Text>\n<Value>" + x0y + "</Value></Text>", "de-DE")), "1 TUs, 1 warning",
       {"a&#10;x y", "x y"}},
      {Bytes(Src("a\x01" "b")), Bytes(Tgt("t")), "1 TUs", {"a b", "t"}},
      {Bytes(Src("s")), Bytes(Tgt("t")), "1 TUs, 1 warning", {"s", "t"}, Bytes(std::string("DOM\0ana", 7)), "DOM ana"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir.File("in.sdltm"));
    const std::string tmx = Convert(MakeDb(kSchema + RawRow(c.source, c.target, c.user)));
    EXPECT_EQ(host.Result, c.result) << c.source;
    EXPECT_EQ(CountOf(tmx, "creationid=\"" + c.creationId + "\""), 2u) << c.source;
    EXPECT_EQ(Contents(tmx, "seg"), c.segs) << c.source;
    EXPECT_EQ(tmx.find('\0'), std::string::npos);
    EXPECT_EQ(Languages(tmx), (std::vector<std::string>{"EN-US", "EN-US", "EN-US", "DE-DE"}));
  }
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

// A row whose segment is not a segment (plain text, a number, NULL, bytes that are no UTF-8, a
// segment that names no culture) is passed over, named by its row in the result line; the
// header takes its languages from the first row that has them, and no unit is without them.
TEST_F(SdlTM, RowsWithoutASegmentAreSkippedAndNamed) {
  const std::string good = RawRow(Bytes(Src("s")), Bytes(Tgt("t")));
  const std::string noCulture = Bytes(Seg(Text("c"), ""));
  const std::string shapes[] = {"'plain text'", "NULL", "42", "4.5", "x'fffe80'", Bytes("\xC0\xAF<Segment>"),
                                noCulture, Bytes("<Segment><Elements>" + Text("cut"))};
  for (const std::string& shape : shapes) {
    for (const bool source : {true, false}) {
      std::filesystem::remove(dir.File("in.sdltm"));
      const std::string bad = source ? RawRow(shape, Bytes(Tgt("t"))) : RawRow(Bytes(Src("s")), shape);
      // The first row, a middle row and the last.
      const std::string tmx = Convert(MakeDb(kSchema + bad + good + bad + good + good + bad));
      EXPECT_EQ(host.Result, "3 TUs, 3 skipped (rows 1, 3 and 6 of translation_units hold no segment with its language)")
          << shape << source;
      EXPECT_EQ(CountOf(tmx, "<tu "), 3u);
      for (const std::string& lang : Languages(tmx)) EXPECT_FALSE(lang.empty()) << shape << source;
      EXPECT_EQ(Languages(tmx).size(), 8u);
    }
  }
  std::filesystem::remove(dir.File("in.sdltm"));
  std::string script = kSchema;
  for (int i = 0; i < 7; ++i) script += RawRow("NULL", "NULL");
  const std::string tmx = Convert(MakeDb(script + good));
  EXPECT_EQ(host.Result, "1 TUs, 7 skipped (rows 1, 2, 3, 4, 5... of translation_units hold no segment with its language)");
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}

// A code of a pair that has no anchor carries no i, which bpt and ept must have: it is written
// as a placeholder, with what else it says, so that the document passes the TMX DTD; on the
// plain path and the general one (a blank between the tag's elements).
TEST_F(SdlTM, CodesOfAPairWithoutAnAnchorStandAlone) {
  auto tag = [](const std::string& type, const std::string& rest, bool general) {
    return "<Tag>" + std::string(general ? " " : "") + "<Type>" + type + "</Type>" + rest + "</Tag>";
  };
  const struct {
    std::string type, rest, expected;
  } cases[] = {
      {"Start", "<AlignmentAnchor>2</AlignmentAnchor><TagID>5</TagID>", "<ph x=\"2\" type=\"5\" />"},
      {"End", "<TagID>5</TagID>", "<ph />"},
      {"LockedContent", "<TagID>7</TagID>", "<ph type=\"x-LockedContent\" />"},
      {"TextPlaceholder", "<TextEquivalent>{1}</TextEquivalent>", "<ph type=\"x-TextPlaceholder\" />{1}"},
      {"Start", "<Anchor>3</Anchor><TagID>5</TagID>", "<bpt i=\"3\" type=\"5\" />"},
      {"End", "<Anchor>3</Anchor>", "<ept i=\"3\" />"},
  };
  std::string script = kSchema;
  std::vector<std::string> expected;
  for (const bool general : {false, true})
    for (const auto& c : cases) {
      script += RawRow(Bytes(Seg(tag(c.type, c.rest, general) + Text("a"), "en-US")), Bytes(Tgt("t")));
      expected.push_back(c.expected + "a");
      expected.push_back("t");
    }
  const std::string tmx = Convert(MakeDb(script));
  EXPECT_EQ(Contents(tmx, "seg"), expected);
  EXPECT_VALID_TMX(dir.File("out.tmx"));
}
