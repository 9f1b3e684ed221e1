// Termbases, written here as real Jet 4 files, exported to CSV.
#include "app/core/TermbaseExport.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/core/MdbTermbase.h"
#include "platform/core/Utf8.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tools/jet4/Jet4Writer.h"

using jet4::ColumnType;
using jet4::Value;

namespace {

struct Table {
  std::u16string name;
  std::vector<jet4::Column> columns;
  std::vector<std::vector<Value>> rows;
};
using Terms = std::vector<std::pair<std::u16string, Value>>;

// An index table as termbases have them: termid, term (memo), termex, entry number.
Table Index(std::u16string name, const Terms& terms) {
  Table t{std::move(name),
          {{u"termid", ColumnType::LongInteger}, {u"term", ColumnType::Memo}, {u"termex", ColumnType::Text},
           {u"conceptid", ColumnType::LongInteger}},
          {}};
  for (const auto& [term, entry] : terms) t.rows.push_back({static_cast<int32_t>(t.rows.size() + 1), term, Value(), entry});
  return t;
}

Table Indexes(const std::vector<std::u16string>& titles) {
  Table t{u"mtIndexes", {{u"id", ColumnType::LongInteger}, {u"name", ColumnType::Text, 50}}, {}};
  for (const auto& title : titles) t.rows.push_back({static_cast<int32_t>(t.rows.size() + 1), title});
  return t;
}

// Tables are stored in the order given.
std::string Save(const TempDir& dir, const std::vector<Table>& tables, const std::string& name = "t.sdltb") {
  jet4::Jet4Writer db;
  for (const Table& t : tables) {
    const size_t n = db.AddTable(t.name, t.columns);
    for (const auto& row : t.rows) db.AddRow(n, row);
  }
  db.Save(dir.File(name));
  return dir.File(name);
}

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }
std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

// Exports input into output; the entries and the file after its byte-order mark.
std::pair<int64_t, std::string> Export(const std::string& input, const std::string& output, TObjectControled& job) {
  const int64_t entries = STLBToCSV(W(input), W(output), job);
  const std::string bytes = TempDir::Read(output);
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  return {entries, bytes.substr(3)};
}
std::pair<int64_t, std::string> Export(const std::string& input) {
  TObjectControled job;
  return Export(input, input + ".csv", job);
}

Terms Numbered(const std::string& prefix, int count) {
  Terms terms;
  for (int k = 1; k <= count; ++k) terms.push_back({W(prefix + std::to_string(k)), k});
  return terms;
}

}  // namespace

// One cell per index in every line, one line per entry number that has a term; an entry
// without a term in some index keeps its cell, empty. Index tables are taken by name without
// case, whatever their stored order, and their records in any order. Inside a term a TAB or a
// line break becomes a blank; every other character stays, within its cell.
TEST(TermbaseExport, OneCellPerIndexAndEveryEntryNumber) {
  const std::u16string nonBmp = u"\U00029E3D";
  std::u16string longTerm;
  while (longTerm.size() < 20000) longTerm += u"Haftpflicht " + nonBmp + u" ";
  const struct {
    std::vector<Table> tables;
    int64_t entries;
    std::string text;
  } cases[] = {
      {{Indexes({u"English", u"German"}), Index(u"I_English", {{u"car", 1}, {u"automobile", 1}, {u"tree", 4}}),
        Index(u"I_German", {{u"Auto", 1}, {u"Haus", 2}})},
       3, "English\tGerman\r\ncar|automobile\tAuto\r\n\tHaus\r\ntree\t\r\n"},
      {{Index(u"I_English", {{u"car", 1}}), Indexes({})}, 0, "\r\n"},
      {{Indexes({u"French", u"German"}), Index(u"I_German", {{u"Auto", 1}}),
        {u"mtConcepts", {{u"conceptid", ColumnType::LongInteger}}, {{1}, {2}}},
        Index(u"i_French", {{u"b2", 2}, {u"a1", 1}, {u"c2", 2}, {u"d1", 1}})},
       2, "French\tGerman\r\na1|d1\tAuto\r\nb2|c2\t\r\n"},
      {{Indexes({u"Eng\tlish", u"Japanese"}),
        Index(u"I_English", {{u"a\tb", 1}, {u"c\r\nd", 1}, {u"e\rf\ng", 2}, {u"x|y", 2}, {u"", 3}, {u"gone", Value()},
                             {u"gone", 0}, {u"gone", -5}, {longTerm, 4}}),
        Index(u"I_Japanese", {{nonBmp, 1}, {u"\u81EA\u52D5\u8ECA", 3}})},
       4, "Eng lish\tJapanese\r\na b|c d\t" + U8(nonBmp) + "\r\ne f g|x|y\t\r\n\t\u81EA\u52D5\u8ECA\r\n" + U8(longTerm) + "\t\r\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    EXPECT_EQ(Export(Save(dir, c.tables)), std::make_pair(c.entries, c.text));
  }
}

// Each failure names the file, leaves no CSV behind and leaves the input as it was.
TEST(TermbaseExport, FailuresNameTheFileAndLeaveNoOutput) {
  TempDir dir;
  const std::string good = Save(dir, {Indexes({u"English"}), Index(u"I_English", {{u"car", 1}})}, "good.sdltb");
  auto damaged = [&](const std::string& name, const std::function<void(std::string&)>& damage) {
    std::string bytes = TempDir::Read(good);
    damage(bytes);
    TempDir::Write(dir.File(name), bytes);
    return dir.File(name);
  };
  const std::pair<std::string, std::string> cases[] = {  // the input, the output
      {damaged("jet3.sdltb", [](std::string& b) { b[0x14] = 0; }), dir.File("jet3.csv")},
      // Usage maps pointing at a row their page does not have: libmdb would walk a map it never read.
      {damaged("catalog.sdltb", [](std::string& b) { b[2 * 4096 + 55] = static_cast<char>(249); }), dir.File("c.csv")},
      {damaged("tables.sdltb",
               [](std::string& b) {
                 for (size_t page = 3; page < b.size() / 4096; ++page)
                   if (b[page * 4096] == 2) b[page * 4096 + 55] = static_cast<char>(249);
               }),
       dir.File("t.csv")},
      {Save(dir, {Index(u"I_English", {{u"car", 1}})}, "noindexes.sdltb"), dir.File("n.csv")},
      {Save(dir, {Indexes({u"English", u"German", u"French"}), Index(u"I_English", {{u"car", 1}})}, "few.sdltb"),
       dir.File("f.csv")},
      {good, good},
      {good, dir.File("missing/out.csv")},
  };
  for (const auto& [input, output] : cases) {
    SCOPED_TRACE(input + " -> " + output);
    const std::string before = TempDir::Read(input);
    const bool createError = output.find("missing") != std::string::npos;
    TObjectControled job;
    try {
      STLBToCSV(W(input), W(output), job);
      ADD_FAILURE() << "no exception";
    } catch (const EWideFCreateError& e) {
      EXPECT_TRUE(createError) << e.what();
      EXPECT_NE(std::string(e.what()).find(output), std::string::npos) << e.what();
    } catch (const WideException& e) {
      EXPECT_FALSE(createError) << e.what();
      EXPECT_NE(std::string(e.what()).find(input), std::string::npos) << e.what();
    }
    if (output != input) {
      EXPECT_FALSE(std::filesystem::exists(output));
    }
    EXPECT_EQ(TempDir::Read(input), before);
  }
  TObjectControled job;
  EXPECT_THROW(STLBToCSV(W(dir.File("absent.sdltb")), W(dir.File("absent.csv")), job), EWideFOpenError);
}

TEST(TermbaseExport, OutputThatCannotTakeItAllIsRemoved) {
  TempDir dir;
  const std::string file = Save(dir, {Indexes({u"English"}), Index(u"I_English", Numbered("term number ", 2000))});
  const std::string output = dir.File("out.csv");
  EXPECT_TRUE(tmfiles::WithFileSizeLimit(8192, [&] {
    TObjectControled job;
    try {
      STLBToCSV(W(file), W(output), job);
    } catch (const ETermbaseError& e) {
      return std::string(e.what()).find(output) != std::string::npos;
    }
    return false;
  }));
  EXPECT_FALSE(std::filesystem::exists(output));
}

// Reading the tables is the first half of the progress, writing the second. Stopped while
// writing, the lines written stay and are counted; stopped while reading, nothing is written.
TEST(TermbaseExport, ProgressRisesToTheEndAndStopKeepsWhatWasWritten) {
  TempDir dir;
  const std::string file = Save(dir, {Indexes({u"English"}), Index(u"I_English", Numbered("e", 2000))});
  std::vector<int> seen;
  TObjectControled job;
  job.OnProgress = [&](int percent) { seen.push_back(percent); };
  EXPECT_EQ(Export(file, dir.File("all.csv"), job).first, 2000);
  EXPECT_EQ(job.UnitCount, 2000);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LE(seen.size(), 102u);  // only when the percentage changes

  // Stopped part-way, the lines written stay and are counted; stopped while a table out of entry
  // order is read again, before any line, nothing is written.
  Terms reversed = Numbered("e", 2000);
  std::reverse(reversed.begin(), reversed.end());
  const std::string outOfOrder = Save(dir, {Indexes({u"English"}), Index(u"I_English", reversed)}, "r.sdltb");
  for (const auto& [input, stopAt] : {std::pair{file, 75}, {outOfOrder, 10}}) {
    TObjectControled stopped;
    stopped.OnProgress = [&](int percent) {
      if (percent >= stopAt) stopped.Abort();
    };
    const std::string output = dir.File(std::to_string(stopAt) + ".csv");
    const int64_t entries = STLBToCSV(W(input), W(output), stopped);
    if (stopAt == 10) {
      EXPECT_EQ(entries, 0);
      EXPECT_FALSE(std::filesystem::exists(output));
      continue;
    }
    EXPECT_GT(entries, 800);
    EXPECT_LT(entries, 2000);
    const std::string text = TempDir::Read(output);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), entries + 1);
  }
}

// Entry numbers stored as text are whole numbers, with blanks and a sign; an empty or NULL one
// belongs to no entry; anything else is an error, and so is a table that lacks the entry field.
// A term may hold #0.
TEST(TermbaseExport, EntryNumbersAsTextAndTermsHoldingNul) {
  TempDir dir;
  auto textIndex = [&](const Terms& terms, const std::string& name) {
    Table t = Index(u"I_English", terms);
    t.columns[3].type = ColumnType::Text;
    return Save(dir, {Indexes({u"English"}), t}, name);
  };
  EXPECT_EQ(Export(textIndex({{u"two", u" 2 "}, {std::u16string(u"a\0b", 3), u"+1"}, {u"none", u""}, {u"none", Value()}}, "t.sdltb")),
            std::make_pair(int64_t{2}, std::string("English\r\na\0b\r\ntwo\r\n", 19)));
  TObjectControled job;
  EXPECT_THROW(STLBToCSV(W(textIndex({{u"x", u"7a"}}, "bad.sdltb")), W(dir.File("b.csv")), job), ETermbaseError);
  const std::string narrow =
      Save(dir, {Indexes({u"English"}), {u"I_English", {{u"id", ColumnType::LongInteger}, {u"term", ColumnType::Text}}, {{1, u"x"}}}},
           "narrow.sdltb");
  EXPECT_THROW(STLBToCSV(W(narrow), W(dir.File("b.csv")), job), ETermbaseError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.csv")));
}

// A term holding a surrogate without its partner is written well-formed: U+FFFD in its place, a
// pair as its four-byte form.
TEST(TermbaseExport, LoneSurrogatesInTermsBecomeReplacementCharacters) {
  TempDir dir;
  const std::string input =
      Save(dir, {Indexes({u"English"}), Index(u"I_English", {{u"a\xD800" u"b", 1}, {u"\xDC00\U0001F600\xD83D", 2}})});
  EXPECT_EQ(Export(input), std::make_pair(int64_t{2}, std::string("English\r\na\xEF\xBF\xBD" "b\r\n"
                                                                   "\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD\r\n")));
}

namespace {

TTermbaseField Text(std::u16string s) { return {false, false, 0, std::move(s)}; }

}  // namespace

// A table found out of entry order after lines were written begins the export again, and the
// lines written go: entries 1 and 2 are written before English goes back to entry 1.
TEST(TermbaseExport, TableFoundOutOfOrderAfterLinesWereWrittenBeginsAgain) {
  TempDir dir;
  const std::string file = Save(dir, {Indexes({u"English", u"German"}),
                                      Index(u"I_English", {{u"a1", 1}, {u"a2", 2}, {u"a3", 3}, {u"late", 1}}),
                                      Index(u"I_German", {{u"b1", 1}, {u"b3", 3}})});
  TObjectControled job;
  EXPECT_EQ(Export(file, dir.File("o.csv"), job),
            std::make_pair(int64_t{3}, std::string("English\tGerman\r\na1|late\tb1\r\na2\t\r\na3\tb3\r\n")));
  EXPECT_EQ(job.UnitCount, 3);
}

// Entries made as they are read, so that what grows with them is the export's own memory; the
// heap in use is sampled at every record.
class GeneratedTermbase : public TTermbaseSource {
public:
  explicit GeneratedTermbase(int64_t entries) : entries_(entries) {}
  std::vector<WideString> TableNames() override { return {u"mtIndexes", u"I_English", u"I_German"}; }
  std::unique_ptr<TTermbaseTable> OpenTable(size_t index) override {
    struct Reader : TTermbaseTable {
      GeneratedTermbase& source;
      size_t index;
      int64_t next = 0;
      Reader(GeneratedTermbase& s, size_t i) : source(s), index(i) {}
      int64_t RecordCount() const override { return index == 0 ? 2 : source.entries_; }
      bool Next(TTermbaseRecord& record) override {
        source.peak = std::max(source.peak, HeapInUse());
        if (next == RecordCount()) return false;
        ++next;
        if (index == 0) record = {Text(u""), Text(next == 1 ? u"English" : u"German")};
        else record = {Text(u""), Text(u"term " + W(std::to_string(next))), Text(u""), {false, true, next, u""}};
        return true;
      }
    };
    return std::make_unique<Reader>(*this, index);
  }
  static size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
  }
  size_t peak = 0;

private:
  int64_t entries_;
};

TEST(TermbaseExport, MemoryDoesNotGrowWithTheEntries) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps no count of the heap in use";
#endif
  TempDir dir;
  std::vector<size_t> growth;
  for (const int64_t entries : {1000, 100000, 200000}) {
    GeneratedTermbase termbase(entries);
    const size_t before = GeneratedTermbase::HeapInUse();
    TObjectControled job;
    EXPECT_EQ(STLBToCSV(termbase, u"memory.sdltb", W(dir.File("g.csv")), job), entries);
    growth.push_back(termbase.peak > before ? termbase.peak - before : 0);
  }
  // Holding every term of 100,000 entries would take some 8 MB. A file that grows large is
  // written behind through four blocks of 256 KiB, made once, however long it grows.
  EXPECT_LT(growth[1], growth[0] + 256 * 1024 + 4 * 256 * 1024);
  EXPECT_LT(growth[2], growth[1] + 256 * 1024);
}

TEST(MdbTermbase, ReadsEveryStoredFormOfAField) {
  TempDir dir;
  std::u16string chained;
  while (chained.size() < 30000) chained += u"Definition \u0434\u043E\u043C \U00029E3D; ";
  const std::u16string single(700, u'\u6F22');
  const std::string file =
      Save(dir, {{u"T",
                  {{u"n", ColumnType::LongInteger}, {u"s", ColumnType::Text}, {u"p", ColumnType::Text, 20, false},
                   {u"m", ColumnType::Memo}},
                  {{-7, u"caf\u00E9", u"\U00029E3D", chained},
                   {Value(), u"\uFEFFmarker", u"", single},
                   {2147483647, Value(), Value(), u""}}}});
  TMdbTermbase termbase(W(file));
  ASSERT_EQ(termbase.TableNames(), std::vector<std::u16string>{u"T"});
  const auto table = termbase.OpenTable(0);
  EXPECT_EQ(table->RecordCount(), 3);
  std::vector<std::vector<std::u16string>> rows;
  for (TTermbaseRecord r; table->Next(r);) {
    rows.emplace_back();
    for (const TTermbaseField& f : r) rows.back().push_back(f.Null ? u"<NULL>" : f.IsNumber ? u"#" + f.Text : f.Text);
  }
  EXPECT_EQ(rows, (std::vector<std::vector<std::u16string>>{{u"#-7", u"caf\u00E9", u"\U00029E3D", chained},
                                                            {u"<NULL>", u"\uFEFFmarker", u"", single},
                                                            {u"#2147483647", u"<NULL>", u"<NULL>", u""}}));
}

namespace {

// The lines of a CSV written by the program, each with its CR LF; a last line without one is
// kept as it is.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at));
    at = end == std::string::npos ? text.size() : end + 2;
  }
  return lines;
}

// What libmdb prints when it passes over a page or a record it cannot read.
bool LibmdbWarned(const std::string& err) {
  for (const char* said : {"doesn't match", "Invalid", "Unable to find", "mdb_find_row failed"})
    if (err.find(said) != std::string::npos) return true;
  return false;
}

}  // namespace

// A termbase damaged by bytes overwritten in a page of its tables (the page's header, its
// record offsets, its records): whenever libmdb passes over a page or a record, which it says
// only on standard error, the run fails with a message of its own naming the file, and keeps
// only whole lines, those of the intact file before the damage; a run that succeeds (the
// damage in a table the export does not read) writes what the intact file gives.
TEST(TermbaseExport, DamagedTablesFailKeepingTheWholeLinesBefore) {
  TempDir dir;
  const std::string intactPath = dir.File("intact.sdltb");
  ASSERT_EQ(RunProgram(MAKE_TERMBASE, {"--entries", "1000", intactPath}).status, 0);
  const std::string intact = TempDir::Read(intactPath);
  ASSERT_EQ(RunProgram(MIRELCON_EXE, {"/QUIET", intactPath, dir.File("out")}).status, 0);
  const std::vector<std::string> intactLines = Lines(TempDir::Read(dir.File("out/intact.csv")));
  ASSERT_EQ(intactLines.size(), 1001u);
  constexpr size_t kPage = jet4::Jet4Writer::kPageSize;
  enum Kind { Header, Offsets, Records };
  int failed = 0, warned = 0;
  for (size_t page = 3; page < intact.size() / kPage; page += 2) {
    const size_t at = page * kPage;
    if (intact[at] != 0x01 || intact.compare(at + 4, 4, "LVAL") == 0) continue;  // data pages only
    for (const Kind kind : {Header, Offsets, Records}) {
      SCOPED_TRACE("page " + std::to_string(page) + " kind " + std::to_string(kind));
      std::string bytes = intact;
      const size_t from = at + (kind == Header ? 0 : kind == Offsets ? 14 : kPage - 700);
      bytes.replace(from, 200, 200, 'Z');
      const std::string input = dir.File("d.sdltb"), output = dir.File("out/d.csv");
      TempDir::Write(input, bytes);
      std::filesystem::remove(output);
      const ProgramRun run = RunProgram(MIRELCON_EXE, {"/QUIET", input, dir.File("out")});
      const std::string csv = std::filesystem::exists(output) ? TempDir::Read(output) : std::string();
      if (LibmdbWarned(run.err)) ++warned;
      if (run.status == 0) {
        EXPECT_FALSE(LibmdbWarned(run.err)) << run.err << run.out;
        if (kind != Records) EXPECT_EQ(Lines(csv), intactLines);  // record text may be overwritten unseen
        continue;
      }
      ++failed;
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out.find("entries"), std::string::npos) << run.out;
      EXPECT_NE(run.err.find("\"" + input + "\""), std::string::npos) << run.err;
      if (csv.empty()) continue;
      const std::vector<std::string> lines = Lines(csv);
      EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
      EXPECT_NE(run.err.find("holds the " + std::to_string(lines.size() - 1) + " entr"), std::string::npos) << run.err;
      if (kind != Records)
        EXPECT_EQ(lines, std::vector<std::string>(intactLines.begin(), intactLines.begin() + static_cast<ptrdiff_t>(lines.size())));
    }
  }
  EXPECT_GT(failed, 20);
  EXPECT_GT(warned, 20);
  EXPECT_EQ(TempDir::Read(intactPath), intact);
}

// The result line tells what the CSV could not hold as it stood: entries (or a title) holding
// a surrogate without its partner, written as U+FFFD, are counted as warnings; terms without an
// entry number (empty, 0 or below) are counted and the first ones named. Tables in entry order
// and out of it (which the export reads in a second way) say the same.
TEST(TermbaseExport, ResultLineTellsRepairedAndLeftOutTerms) {
  const std::u16string lone = u"a\xD800";
  const struct {
    std::vector<std::u16string> titles;
    Terms english, german;
    std::string result;
  } cases[] = {
      {{u"English", u"German"}, {{lone, 1}, {u"b", 1}, {u"c", 2}, {u"d" + lone, 3}}, {{lone, 1}}, "3 entries, 2 warnings"},
      {{u"English\xDC00", u"German"}, {{u"a", 1}}, {}, "1 entries, 1 warning"},
      {{u"English", u"German"},
       {{u"a", 1}, {u"gone", Value()}, {u"zero", 0}, {u"", -1}, {u"b", 2}},
       {{u"minus", -5}, {u"x", 1}},
       "2 entries, 3 terms without an entry number left out (\"gone\" in I_English, \"zero\" in I_English, "
       "\"minus\" in I_German)"},
      {{u"English", u"German"},
       {{u"a", 1}, {u"g1", 0}, {u"g2", 0}, {u"g3", 0}, {u"g4" + lone, 0}},
       {},
       "1 entries, 4 terms without an entry number left out (\"g1\" in I_English, \"g2\" in I_English, "
       "\"g3\" in I_English...)"},
      {{u"English", u"German"}, {{u"a", 1}}, {{u"x", 1}}, "1 entries"},
  };
  for (const auto& c : cases) {
    for (const bool ordered : {true, false}) {
      TempDir dir;
      Terms english = c.english;
      if (!ordered) english.push_back({u"late", 1});  // entry 1 again, after the others
      const std::string input =
          Save(dir, {Indexes(c.titles), Index(u"I_English", english), Index(u"I_German", c.german)});
      const ProgramRun run = RunProgram(MIRELCON_EXE, {"/QUIET", input, dir.File("out")});
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.out, dir.File("out/t.csv") + ": " + c.result + "\n") << ordered;
    }
  }
}

// A term long enough for long-value pages, on a page found damaged (its mark, its record count,
// its record offsets overwritten): the export fails naming the file and the table, never giving
// the term cut short or empty.
TEST(TermbaseExport, LongTermsOnDamagedPagesFail) {
  TempDir dir;
  std::u16string longTerm;
  while (longTerm.size() < 30000) longTerm += u"Haftpflichtversicherung ";
  const std::string input = Save(dir, {Indexes({u"English"}), Index(u"I_English", {{u"car", 1}, {longTerm, 2}, {u"tree", 3}})});
  const std::string intact = TempDir::Read(input);
  constexpr size_t kPage = jet4::Jet4Writer::kPageSize;
  int pages = 0;
  for (size_t page = 1; page < intact.size() / kPage; ++page) {
    const size_t at = page * kPage;
    if (intact[at] != 0x01 || intact.compare(at + 4, 4, "LVAL") != 0) continue;
    ++pages;
    for (const size_t offset : {size_t{4}, size_t{12}, size_t{14}}) {
      SCOPED_TRACE("page " + std::to_string(page) + " at " + std::to_string(offset));
      std::string bytes = intact;
      bytes.replace(at + offset, 4, 4, 'Z');
      TempDir::Write(dir.File("d.sdltb"), bytes);
      TObjectControled job;
      try {
        STLBToCSV(W(dir.File("d.sdltb")), W(dir.File("d.csv")), job);
        ADD_FAILURE() << "no exception";
      } catch (const ETermbaseError& e) {
        EXPECT_NE(std::string(e.what()).find("\"I_English\" of \"" + dir.File("d.sdltb") + "\""), std::string::npos) << e.what();
      }
      // The line of entry 1, written before the damage was met, stays; nothing of entry 2 does.
      const std::string csv = std::filesystem::exists(dir.File("d.csv")) ? TempDir::Read(dir.File("d.csv")) : "";
      EXPECT_TRUE(csv.empty() || csv == "\xEF\xBB\xBF" "English\r\ncar\r\n") << csv.substr(0, 80);
    }
  }
  EXPECT_GT(pages, 0);
}
