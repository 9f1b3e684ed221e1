#include "app/core/TermbaseExport.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/core/MdbTermbase.h"
#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"
#include "tools/jet4/Jet4Writer.h"

extern char** environ;

using jet4::ColumnType;
using jet4::Value;

namespace {

struct Table {
  std::u16string name;
  std::vector<jet4::Column> columns;
  std::vector<std::vector<Value>> rows;
};

// An index table as termbases have them: termid, term (memo), termex, entry number.
Table Index(std::u16string name, const std::vector<std::pair<std::u16string, Value>>& terms) {
  Table t{std::move(name),
          {{u"termid", ColumnType::LongInteger}, {u"term", ColumnType::Memo}, {u"termex", ColumnType::Text},
           {u"conceptid", ColumnType::LongInteger}},
          {}};
  for (const auto& [term, entry] : terms)
    t.rows.push_back({static_cast<int32_t>(t.rows.size() + 1), term, Value(), entry});
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

struct Result {
  int64_t entries = -1;
  std::string text;  // the file after its byte-order mark
};

Result Export(const std::string& input, const std::string& output, TObjectControled& job) {
  Result r;
  r.entries = STLBToCSV(W(input), W(output), job);
  const std::string bytes = TempDir::Read(output);
  EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  r.text = bytes.substr(3);
  return r;
}

Result Export(const std::string& input) {
  TObjectControled job;
  return Export(input, input + ".csv", job);
}

TEST(TermbaseExport, OneCellPerIndexAndEveryEntryNumber) {
  TempDir dir;
  const std::string file =
      Save(dir, {Indexes({u"English", u"German"}),
                 Index(u"I_English", {{u"car", 1}, {u"automobile", 1}, {u"tree", 4}}),
                 Index(u"I_German", {{u"Auto", 1}, {u"Haus", 2}})});
  const Result r = Export(file);
  EXPECT_EQ(r.entries, 3);
  // Entry 2 has no English term: its cell stays, empty. Entry 3 has no term at all; entry 4 follows.
  EXPECT_EQ(r.text, "English\tGerman\r\ncar|automobile\tAuto\r\n\tHaus\r\ntree\t\r\n");
}

TEST(TermbaseExport, EmptyIndexListGivesTheMarkAndAnEmptyHeader) {
  TempDir dir;
  const Result r = Export(Save(dir, {Index(u"I_English", {{u"car", 1}}), Indexes({})}));
  EXPECT_EQ(r.entries, 0);
  EXPECT_EQ(r.text, "\r\n");
}

TEST(TermbaseExport, TablesTakenByNameWithoutCaseAndRecordsInAnyOrder) {
  TempDir dir;
  // Stored out of name order; by name without case "i_French" comes before "I_German".
  const std::string file = Save(dir, {Indexes({u"French", u"German"}), Index(u"I_German", {{u"Auto", 1}}),
                                      {u"mtConcepts", {{u"conceptid", ColumnType::LongInteger}}, {{1}, {2}}},
                                      Index(u"i_French", {{u"b2", 2}, {u"a1", 1}, {u"c2", 2}, {u"d1", 1}})});
  TMdbTermbase termbase(W(file));
  EXPECT_EQ(termbase.TableNames(), (std::vector<std::u16string>{u"mtIndexes", u"I_German", u"mtConcepts", u"i_French"}));
  EXPECT_EQ(Export(file).text, "French\tGerman\r\na1|d1\tAuto\r\nb2|c2\t\r\n");
}

TEST(TermbaseExport, TermsKeepEveryCharacterWithinTheirCell) {
  TempDir dir;
  const std::u16string nonBmp = u"\U00029E3D";
  std::u16string longTerm;
  while (longTerm.size() < 20000) longTerm += u"Haftpflicht " + nonBmp + u" ";
  const std::string file = Save(
      dir, {Indexes({u"Eng\tlish", u"Japanese"}),
            Index(u"I_English", {{u"a\tb", 1}, {u"c\r\nd", 1}, {u"e\rf\ng", 2}, {u"x|y", 2}, {u"", 3}, {u"gone", Value()},
                                 {u"gone", 0}, {u"gone", -5}, {longTerm, 4}}),
            Index(u"I_Japanese", {{nonBmp, 1}, {u"\u81EA\u52D5\u8ECA", 3}})});
  const Result r = Export(file);
  EXPECT_EQ(r.entries, 4);
  EXPECT_EQ(r.text, "Eng lish\tJapanese\r\na b|c d\t" + U8(nonBmp) + "\r\ne f g|x|y\t\r\n\t\u81EA\u52D5\u8ECA\r\n" +
                        U8(longTerm) + "\t\r\n");
}

// The sample's terms as make_termbase documents them.
std::vector<std::u16string> SampleTerms(const std::vector<std::u16string>& words, size_t position, int k) {
  if (position > 0 && (k + position) % 5 == 0) return {};
  const std::u16string number = W(std::to_string(k));
  std::vector<std::u16string> terms{words[(k - 1) % 8] + u" " + number};
  if (k % 10 == 3)
    while (terms[0].size() < 300) terms[0] += u" " + words[(k - 1) % 8];
  if (k % 4 == 0) terms.push_back(words[k % 8] + u" " + number);
  return terms;
}

int RunProgram(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(TermbaseExport, SampleTermbaseExportsEveryTerm) {
  TempDir dir;
  const std::string file = dir.File("sample.sdltb");
  const int entries = 3000;
  ASSERT_EQ(RunProgram({MAKE_TERMBASE, "--entries", std::to_string(entries), "--languages", "Japanese,English", file}), 0);
  // Japanese has a word outside the Basic Multilingual Plane; every tenth entry has a term of 300 characters.
  const std::vector<std::u16string> words[] = {
      {u"car", u"house", u"tree", u"water", u"book", u"window", u"street", u"light"},
      {u"\u81EA\u52D5\u8ECA", u"\u5BB6", u"\u6728", u"\u6C34", u"\u672C", u"\u7A93", u"\U00029E3D", u"\u5149"}};
  const size_t positions[] = {1, 0};  // English, Japanese by name; their positions in the list given
  std::u16string want = u"English\tJapanese\r\n";
  for (int k = 1; k <= entries; ++k)
    for (size_t c = 0; c < 2; ++c) {
      const std::vector<std::u16string> terms = SampleTerms(words[c], positions[c], k);
      for (size_t t = 0; t < terms.size(); ++t) want += (t ? u"|" : u"") + terms[t];
      want += c == 0 ? u"\t" : u"\r\n";
    }
  const Result r = Export(file);
  EXPECT_EQ(r.entries, entries);
  EXPECT_TRUE(r.text == U8(want)) << "the export differs from the sample's terms";
}

// Each failure names the file, leaves no CSV behind and leaves the input as it was.
void ExpectFailure(const std::string& input, const std::string& output, const std::string& named,
                   bool outputCreateError = false) {
  SCOPED_TRACE(input);
  const std::string before = TempDir::Read(input);
  TObjectControled job;
  try {
    STLBToCSV(W(input), W(output), job);
    ADD_FAILURE() << "no exception";
  } catch (const EWideFCreateError& e) {
    EXPECT_TRUE(outputCreateError) << e.what();
    EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
  } catch (const WideException& e) {
    EXPECT_FALSE(outputCreateError) << e.what();
    EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
  }
  if (output != input) {
    EXPECT_FALSE(std::filesystem::exists(output));
  }
  EXPECT_EQ(TempDir::Read(input), before);
}

TEST(TermbaseExport, FailuresNameTheFileAndLeaveNoOutput) {
  TempDir dir;
  const std::string good = Save(dir, {Indexes({u"English"}), Index(u"I_English", {{u"car", 1}})}, "good.sdltb");
  TempDir::Write(dir.File("text.sdltb"), "English\tGerman\r\ncar\tAuto\r\n");
  ExpectFailure(dir.File("text.sdltb"), dir.File("text.csv"), dir.File("text.sdltb"));
  TempDir::Write(dir.File("empty.sdltb"), "");
  ExpectFailure(dir.File("empty.sdltb"), dir.File("empty.csv"), dir.File("empty.sdltb"));
  std::string jet3 = TempDir::Read(good);
  jet3[0x14] = 0;
  TempDir::Write(dir.File("jet3.sdltb"), jet3);
  ExpectFailure(dir.File("jet3.sdltb"), dir.File("jet3.csv"), dir.File("jet3.sdltb"));
  // Usage maps pointing at a row their page does not have: libmdb would walk a map it never read.
  std::string broken = TempDir::Read(good);
  broken[2 * 4096 + 55] = static_cast<char>(249);  // the catalog's table
  TempDir::Write(dir.File("catalog.sdltb"), broken);
  ExpectFailure(dir.File("catalog.sdltb"), dir.File("c.csv"), dir.File("catalog.sdltb"));
  broken = TempDir::Read(good);
  for (size_t page = 3; page < broken.size() / 4096; ++page)
    if (broken[page * 4096] == 2) broken[page * 4096 + 55] = static_cast<char>(249);  // every user table
  TempDir::Write(dir.File("tables.sdltb"), broken);
  ExpectFailure(dir.File("tables.sdltb"), dir.File("t.csv"), dir.File("tables.sdltb"));
  ExpectFailure(Save(dir, {Index(u"I_English", {{u"car", 1}})}, "noindexes.sdltb"), dir.File("n.csv"), "noindexes.sdltb");
  ExpectFailure(Save(dir, {Indexes({u"English", u"German", u"French"}), Index(u"I_English", {{u"car", 1}})}, "few.sdltb"),
                dir.File("f.csv"), "few.sdltb");
  ExpectFailure(good, good, good);
  ExpectFailure(good, dir.File("missing/out.csv"), dir.File("missing/out.csv"), true);
  TObjectControled job;
  EXPECT_THROW(STLBToCSV(W(dir.File("absent.sdltb")), W(dir.File("absent.csv")), job), EWideFOpenError);
}

TEST(TermbaseExport, OutputThatCannotTakeItAllIsRemoved) {
  TempDir dir;
  std::vector<std::pair<std::u16string, Value>> terms;
  for (int k = 1; k <= 2000; ++k) terms.push_back({u"term number " + W(std::to_string(k)), k});
  const std::string file = Save(dir, {Indexes({u"English"}), Index(u"I_English", terms)});
  const std::string output = dir.File("out.csv");
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 8192;
  setrlimit(RLIMIT_FSIZE, &small);
  TObjectControled job;
  bool failed = false;
  try {
    STLBToCSV(W(file), W(output), job);
  } catch (const ETermbaseError& e) {
    failed = std::string(e.what()).find(output) != std::string::npos;
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(failed);
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST(TermbaseExport, ProgressRisesToTheEndAndStopKeepsWhatWasWritten) {
  TempDir dir;
  std::vector<std::pair<std::u16string, Value>> terms;
  for (int k = 1; k <= 2000; ++k) terms.push_back({u"e" + W(std::to_string(k)), k});
  const std::string file = Save(dir, {Indexes({u"English"}), Index(u"I_English", terms)});
  std::vector<int> seen;
  TObjectControled job;
  job.OnProgress = [&](int percent) { seen.push_back(percent); };
  EXPECT_EQ(Export(file, dir.File("all.csv"), job).entries, 2000);
  EXPECT_EQ(job.UnitCount, 2000);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LE(seen.size(), 102u);  // only when the percentage changes

  // Stopped part-way: the lines written stay and are counted.
  TObjectControled writing;
  writing.OnProgress = [&](int percent) {
    if (percent >= 75) writing.Abort();
  };
  const Result part = Export(file, dir.File("part.csv"), writing);
  EXPECT_GT(part.entries, 800);
  EXPECT_LT(part.entries, 2000);
  EXPECT_EQ(std::count(part.text.begin(), part.text.end(), '\n'), part.entries + 1);

  // Stopped while a table out of entry order is read again, before any line: nothing is written.
  const std::string reversed =
      Save(dir, {Indexes({u"English"}), Index(u"I_English", {terms.rbegin(), terms.rend()})}, "r.sdltb");
  TObjectControled reading;
  reading.OnProgress = [&](int percent) {
    if (percent >= 10) reading.Abort();
  };
  EXPECT_EQ(STLBToCSV(W(reversed), W(dir.File("none.csv")), reading), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.csv")));
}

// Tables in memory, for what a Jet file written here cannot hold.
class MemoryTermbase : public TTermbaseSource {
public:
  struct MemoryTable {
    std::u16string name;
    std::vector<TTermbaseRecord> records;
  };
  explicit MemoryTermbase(std::vector<MemoryTable> tables) : tables_(std::move(tables)) {}
  std::vector<WideString> TableNames() override {
    std::vector<WideString> names;
    for (const auto& t : tables_) names.push_back(t.name);
    return names;
  }
  std::unique_ptr<TTermbaseTable> OpenTable(size_t index) override {
    struct Reader : TTermbaseTable {
      const std::vector<TTermbaseRecord>& records;
      size_t next = 0;
      explicit Reader(const std::vector<TTermbaseRecord>& r) : records(r) {}
      int64_t RecordCount() const override { return 0; }  // a count that cannot be trusted
      bool Next(TTermbaseRecord& record) override {
        if (next >= records.size()) return false;
        record = records[next++];
        return true;
      }
    };
    return std::make_unique<Reader>(tables_.at(index).records);
  }

private:
  std::vector<MemoryTable> tables_;
};

TTermbaseField Text(std::u16string s) { return {false, false, 0, std::move(s)}; }

TEST(TermbaseExport, EntryNumbersAsTextAndTermsHoldingNul) {
  TempDir dir;
  const auto entryAs = [](TTermbaseField entry, std::u16string term) {
    return TTermbaseRecord{Text(u""), Text(std::move(term)), Text(u""), std::move(entry)};
  };
  MemoryTermbase termbase({{u"mtIndexes", {{Text(u"1"), Text(u"English")}}},
                           {u"I_English",
                            {entryAs(Text(u" 2 "), u"two"), entryAs(Text(u"+1"), std::u16string(u"a\0b", 3)),
                             entryAs(Text(u""), u"none"), entryAs(TTermbaseField{}, u"none")}}});
  TObjectControled job;
  EXPECT_EQ(STLBToCSV(termbase, u"memory.sdltb", W(dir.File("m.csv")), job), 2);
  EXPECT_EQ(TempDir::Read(dir.File("m.csv")), std::string("\xEF\xBB\xBF" "English\r\na\0b\r\ntwo\r\n", 22));

  MemoryTermbase bad({{u"mtIndexes", {{Text(u"1"), Text(u"English")}}}, {u"I_English", {entryAs(Text(u"7a"), u"x")}}});
  EXPECT_THROW(STLBToCSV(bad, u"memory.sdltb", W(dir.File("b.csv")), job), ETermbaseError);
  MemoryTermbase narrow({{u"mtIndexes", {{Text(u"1"), Text(u"English")}}}, {u"I_English", {{Text(u"1"), Text(u"x")}}}});
  EXPECT_THROW(STLBToCSV(narrow, u"memory.sdltb", W(dir.File("b.csv")), job), ETermbaseError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("b.csv")));
}

TEST(TermbaseExport, TableFoundOutOfOrderAfterLinesWereWrittenBeginsAgain) {
  TempDir dir;
  const auto term = [](int64_t entry, std::u16string text) {
    return TTermbaseRecord{Text(u""), Text(std::move(text)), Text(u""), {false, true, entry, u""}};
  };
  // Entries 1 and 2 are written before English goes back to entry 1.
  MemoryTermbase termbase({{u"mtIndexes", {{Text(u"1"), Text(u"English")}, {Text(u"2"), Text(u"German")}}},
                           {u"I_English", {term(1, u"a1"), term(2, u"a2"), term(3, u"a3"), term(1, u"late")}},
                           {u"I_German", {term(1, u"b1"), term(3, u"b3")}}});
  TObjectControled job;
  EXPECT_EQ(STLBToCSV(termbase, u"memory.sdltb", W(dir.File("o.csv")), job), 3);
  EXPECT_EQ(job.UnitCount, 3);
  EXPECT_EQ(TempDir::Read(dir.File("o.csv")), "\xEF\xBB\xBF" "English\tGerman\r\na1|late\tb1\r\na2\t\r\na3\tb3\r\n");
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
  for (const int64_t entries : {1000, 100000}) {
    GeneratedTermbase termbase(entries);
    const size_t before = GeneratedTermbase::HeapInUse();
    TObjectControled job;
    EXPECT_EQ(STLBToCSV(termbase, u"memory.sdltb", W(dir.File("g.csv")), job), entries);
    growth.push_back(termbase.peak > before ? termbase.peak - before : 0);
  }
  // Holding every term of 100,000 entries would take some 8 MB.
  EXPECT_LT(growth[1], growth[0] + 256 * 1024);
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

}  // namespace
