#include "tools/jet4/Jet4Writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// libmdb's header needs glib's types first.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/core/JetText.h"
#include "tests/support/TempDir.h"

extern char** environ;

#include "platform/core/Utf8.h"

using jet4::Column;
using jet4::ColumnType;
using jet4::Jet4Writer;
using jet4::Value;

namespace {

// UTF-8 of a UTF-16 text. libmdb 1.0 turns each half of a surrogate pair into "?", so
// `asLibmdbShowsIt` gives what its text conversion (and so mdb-export) prints.
std::string Utf8(const std::u16string& s, bool asLibmdbShowsIt = false) {
  if (!asLibmdbShowsIt) return platform::Utf16ToUtf8(s);
  std::u16string shown = s;
  for (char16_t& c : shown)
    if (c >= 0xD800 && c <= 0xDFFF) c = u'?';
  return platform::Utf16ToUtf8(shown);
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::u16string Repeat(const std::u16string& unit, std::size_t atLeast) {
  std::u16string s;
  while (s.size() < atLeast) s += unit;
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

bool OnPath(const std::string& command) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  for (std::size_t at = 0; at <= dirs.size();) {
    std::size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(at, end - at);
    if (!dir.empty() && access((dir + "/" + command).c_str(), X_OK) == 0) return true;
    at = end + 1;
  }
  return false;
}

bool HaveMdbTools() {
  for (const char* c : {"mdb-ver", "mdb-tables", "mdb-schema", "mdb-export"})
    if (!OnPath(c)) return false;
  return true;
}

#define SKIP_WITHOUT_MDBTOOLS()                                                                      \
  do {                                                                                               \
    if (!HaveMdbTools())                                                                             \
      GTEST_SKIP() << "mdbtools commands (mdb-ver, mdb-tables, mdb-schema, mdb-export) are not on " \
                      "PATH: install the mdbtools package";                                          \
  } while (0)

struct Output {
  int status = -1;
  std::string out, err;
};

// Runs a program without a shell, its output collected in files of `dir`.
Output RunProgram(const TempDir& dir, std::vector<std::string> argv) {
  const std::string outPath = dir.File("run.stdout"), errPath = dir.File("run.stderr");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  Output o;
  if (rc != 0) {
    o.err = "cannot start " + argv[0];
    return o;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.out = TempDir::Read(outPath);
  o.err = TempDir::Read(errPath);
  return o;
}

struct TableData {
  std::u16string name;
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
};

void AddAll(Jet4Writer& db, const std::vector<TableData>& tables) {
  for (const TableData& t : tables) {
    const std::size_t n = db.AddTable(t.name, t.columns);
    for (const auto& row : t.rows) db.AddRow(n, row);
  }
}

const std::u16string kNonBmp = u"\U00029E3D";  // needs a surrogate pair
const std::u16string kLongMixed =
    Repeat(u"Definition \u0394\u03B5\u03BD \u0434\u043E\u043C \u6F22\u5B57 " + kNonBmp + u" \u05E9\u05DC\u05D5\u05DD; ",
           20000);
const std::u16string kCjk300 = Repeat(u"\u6F22\u5B57\u3067\u3059", 300);
const std::u16string kLatin1500 = Repeat(u"abcdefghij", 1500);
const std::u16string kText255 = Repeat(u"0123456789abcd\u00E9", 255).substr(0, 255);
const std::u16string kLongTerm = Repeat(u"Kraftfahrzeug-Haftpflichtversicherung ", 300);
const std::u16string kLongEnglishTerm = Repeat(u"motor vehicle liability insurance ", 310);

// A termbase-like file whose values cover every stored form the writer has: compressed and
// plain text, memos in the row, in one long-value record and in a chain of them, NULLs,
// empty values, texts outside the Basic Multilingual Plane.
std::vector<TableData> SampleTables() {
  const Value null;
  return {
      {u"mtConcepts",
       {{u"conceptid", ColumnType::LongInteger},
        {u"text", ColumnType::Memo},
        {u"note", ColumnType::Text, 255},
        {u"plain", ColumnType::Text, 20, false}},
       {
           {1, u"Concept one", u"caf\u00E9", u"caf\u00E9"},
           {2, u"", u"", u""},
           {3, null, null, null},
           {4, kLongMixed, u"\u0414\u043E\u043C", null},
           {5, kCjk300, u"\u0100-Ende", u"\u0100"},
           {6, kLatin1500, u"\uFEFFmarker", null},
           {7, kNonBmp + u" and \U0001F697", kText255, null},
           {8, u"Haus \u0414\u043E\u043C Haus", u"\u05E9\u05DC\u05D5\u05DD / \u0645\u0631\u062D\u0628\u0627", null},
           {9, u"x", kNonBmp, kNonBmp},
       }},
      {u"I_German",
       {{u"termid", ColumnType::LongInteger},
        {u"term", ColumnType::Memo},
        {u"termex", ColumnType::Text, 255},
        {u"conceptid", ColumnType::LongInteger}},
       {
           {1, u"Auto", u"main", 1},
           {2, u"Stra\u00DFe", null, 1},
           {3, kLongTerm, u"main", 2},
           {4, u"Haus", u"main", null},
           {5, u"Zahl", u"main", -2147483647 - 1},
       }},
      {u"I_English",
       {{u"termid", ColumnType::LongInteger},
        {u"term", ColumnType::Memo},
        {u"termex", ColumnType::Text, 255},
        {u"conceptid", ColumnType::LongInteger}},
       {
           {1, u"car", u"main", 1},
           {2, u"automobile", null, 1},
           {3, kLongEnglishTerm, u"main", 2},
           {4, u"number", u"main", 2147483647},
       }},
      {u"mtIndexes",
       {{u"id", ColumnType::LongInteger}, {u"name", ColumnType::Text, 50}, {u"locale", ColumnType::Text, 10}},
       {{1, u"English", u"en-US"}, {2, u"German", u"de-DE"}}},
      {u"mtHistory", {{u"id", ColumnType::LongInteger}, {u"entry", ColumnType::Memo}}, {}},
  };
}

std::string ExportCell(const Value& v) {
  // libmdb gives NULL and the empty text alike, and mdb-export prints both as NULL.
  if (v.IsNull() || (v.IsText() && v.Text().empty())) return "<NULL>";
  if (v.IsInteger()) return std::to_string(v.Integer());
  return Utf8(v.Text(), true);
}

Output Export(const TempDir& dir, const std::string& file, const std::u16string& table) {
  return RunProgram(dir, {"mdb-export", "-H", "-Q", "-d", "\t", "-0", "<NULL>", file, Utf8(table)});
}

// One value as libmdb gives it back, with the bytes the file stores for it.
struct Cell {
  bool null = true;
  std::string text;                   // libmdb's UTF-8 conversion
  std::vector<std::uint8_t> stored;   // text bytes, or the whole memo gathered from its records
  int memoFlags = -1;                 // 0x80 in the row, 0x40 one long-value record, 0 a chain
};

struct TableRead {
  bool found = false;
  unsigned rowCount = 0;  // as the table definition says
  std::vector<std::string> columns;
  std::vector<int> types;
  std::vector<std::vector<Cell>> rows;
};

// Follows a memo's header to its data the way a reader of raw Jet rows has to.
std::vector<std::uint8_t> GatherMemo(MdbHandle* mdb, const std::uint8_t* header, int* flags) {
  const std::uint32_t word = static_cast<std::uint32_t>(mdb_get_int32(const_cast<std::uint8_t*>(header), 0));
  const std::uint32_t length = word & 0x3FFFFFFF;
  *flags = static_cast<int>(word >> 24);
  if (word & 0x80000000u) return std::vector<std::uint8_t>(header + 12, header + 12 + length);
  std::uint32_t pointer = static_cast<std::uint32_t>(mdb_get_int32(const_cast<std::uint8_t*>(header), 4));
  std::vector<std::uint8_t> data;
  const bool chained = !(word & 0x40000000u);
  for (int guard = 0; pointer != 0 && data.size() < length && guard < 10000; ++guard) {
    void* buf = nullptr;
    int start = 0;
    std::size_t size = 0;
    if (mdb_find_pg_row(mdb, static_cast<int>(pointer), &buf, &start, &size) != 0) break;
    const std::uint8_t* record = static_cast<const std::uint8_t*>(buf) + (start & 0x1FFF);
    if (!chained) return std::vector<std::uint8_t>(record, record + size);
    if (size < 4) break;
    data.insert(data.end(), record + 4, record + size);
    pointer = static_cast<std::uint32_t>(mdb_get_int32(const_cast<std::uint8_t*>(record), 0));
  }
  return data;
}

TableRead ReadWithLibmdb(const std::string& file, const std::u16string& table, std::size_t bindSize) {
  TableRead r;
  MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
  if (!mdb) return r;
  mdb_set_bind_size(mdb, bindSize);
  std::string name = Utf8(table);
  MdbTableDef* t = mdb_read_table_by_name(mdb, name.data(), MDB_TABLE);
  if (t) {
    r.found = true;
    r.rowCount = t->num_rows;
    mdb_read_columns(t);
    std::vector<std::vector<char>> buffers(t->num_cols, std::vector<char>(bindSize + 1));
    std::vector<int> lengths(t->num_cols);
    for (unsigned i = 0; i < t->num_cols; ++i) {
      const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
      r.columns.push_back(col->name);
      r.types.push_back(col->col_type);
      mdb_bind_column(t, static_cast<int>(i) + 1, buffers[i].data(), &lengths[i]);
    }
    mdb_rewind_table(t);
    while (mdb_fetch_row(t)) {
      int start = 0;
      std::size_t size = 0;
      mdb_find_row(mdb, static_cast<int>(t->cur_row) - 1, &start, &size);
      std::vector<MdbField> fields(t->num_cols);
      mdb_crack_row(t, start & 0x1FFF, size, fields.data());
      std::vector<Cell> row(t->num_cols);
      for (unsigned i = 0; i < t->num_cols; ++i) {
        row[i].null = fields[i].is_null;
        row[i].text.assign(buffers[i].data(), std::strlen(buffers[i].data()));
        if (fields[i].is_null) continue;
        const auto* v = static_cast<const std::uint8_t*>(fields[i].value);
        if (r.types[i] == MDB_TEXT) row[i].stored.assign(v, v + fields[i].siz);
      }
      // Gathering memos reads other pages, so it comes after everything taken from this one.
      std::vector<std::vector<std::uint8_t>> headers(t->num_cols);
      for (unsigned i = 0; i < t->num_cols; ++i) {
        if (r.types[i] != MDB_MEMO || fields[i].is_null) continue;
        const auto* v = static_cast<const std::uint8_t*>(fields[i].value);
        headers[i].assign(v, v + fields[i].siz);
      }
      for (unsigned i = 0; i < t->num_cols; ++i)
        if (headers[i].size() >= 12) row[i].stored = GatherMemo(mdb, headers[i].data(), &row[i].memoFlags);
      r.rows.push_back(std::move(row));
    }
    mdb_free_tabledef(t);
  }
  mdb_close(mdb);
  return r;
}

std::string SchemaOf(const std::string& schema, const std::u16string& table) {
  const std::string head = "CREATE TABLE [" + Utf8(table) + "]";
  const std::size_t at = schema.find(head);
  if (at == std::string::npos) return "";
  return schema.substr(at, schema.find(");", at) - at);
}

class Jet4WriterFile : public ::testing::Test {
protected:
  void SetUp() override {
    tables_ = SampleTables();
    Jet4Writer db;
    AddAll(db, tables_);
    file_ = dir_.File("sample.sdltb");
    db.Save(file_);
  }

  TempDir dir_;
  std::vector<TableData> tables_;
  std::string file_;
};

TEST_F(Jet4WriterFile, MdbToolsSeeAJet4FileWithTheTablesInCatalogOrder) {
  SKIP_WITHOUT_MDBTOOLS();
  Output ver = RunProgram(dir_, {"mdb-ver", file_});
  EXPECT_EQ(ver.status, 0) << ver.err;
  EXPECT_EQ(ver.out, "JET4\n");

  Output tables = RunProgram(dir_, {"mdb-tables", "-1", file_});
  EXPECT_EQ(tables.status, 0) << tables.err;
  EXPECT_EQ(tables.err, "");
  std::vector<std::string> expected;
  for (const TableData& t : tables_) expected.push_back(Utf8(t.name));
  EXPECT_EQ(Lines(tables.out), expected);

  // The catalog is listed as a system table, and only then.
  Output all = RunProgram(dir_, {"mdb-tables", "-1", "-S", file_});
  expected.insert(expected.begin(), "MSysObjects");
  EXPECT_EQ(Lines(all.out), expected);
}

TEST_F(Jet4WriterFile, MdbSchemaShowsEveryColumnWithItsType) {
  SKIP_WITHOUT_MDBTOOLS();
  Output schema = RunProgram(dir_, {"mdb-schema", file_});
  ASSERT_EQ(schema.status, 0) << schema.err;
  EXPECT_EQ(schema.err, "");
  for (const TableData& t : tables_) {
    const std::string table = SchemaOf(schema.out, t.name);
    ASSERT_NE(table, "") << Utf8(t.name);
    std::size_t at = 0;
    for (const Column& c : t.columns) {
      std::string type = c.type == ColumnType::LongInteger ? "Long Integer"
                         : c.type == ColumnType::Memo      ? "Memo/Hyperlink"
                                                           : "Text (" + std::to_string(c.maxLength) + ")";
      const std::size_t found = table.find("[" + Utf8(c.name) + "]", at);
      ASSERT_NE(found, std::string::npos) << Utf8(t.name) << "." << Utf8(c.name);
      const std::string line = table.substr(found, table.find('\n', found) - found);
      EXPECT_NE(line.find(type), std::string::npos) << line;
      at = found;  // columns come in their order
    }
  }
}

TEST_F(Jet4WriterFile, MdbExportShowsEveryValue) {
  SKIP_WITHOUT_MDBTOOLS();
  for (const TableData& t : tables_) {
    Output out = Export(dir_, file_, t.name);
    ASSERT_EQ(out.status, 0) << Utf8(t.name) << ": " << out.err;
    EXPECT_EQ(out.err, "") << Utf8(t.name);
    const std::vector<std::string> lines = Lines(out.out);
    ASSERT_EQ(lines.size(), t.rows.size()) << Utf8(t.name);
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
      std::string expected;
      for (std::size_t c = 0; c < t.rows[r].size(); ++c) expected += (c ? "\t" : "") + ExportCell(t.rows[r][c]);
      // Long values are compared whole: mdb-export raises libmdb's bind size for them.
      EXPECT_EQ(lines[r], expected) << Utf8(t.name) << " row " << r + 1;
    }
  }
}

TEST_F(Jet4WriterFile, LibmdbReadsEveryValueBackExactly) {
  for (const TableData& t : tables_) {
    const TableRead read = ReadWithLibmdb(file_, t.name, 1 << 20);
    ASSERT_TRUE(read.found) << Utf8(t.name);
    EXPECT_EQ(read.rowCount, t.rows.size());
    ASSERT_EQ(read.columns.size(), t.columns.size());
    for (std::size_t c = 0; c < t.columns.size(); ++c) {
      EXPECT_EQ(read.columns[c], Utf8(t.columns[c].name));
      const int type = t.columns[c].type == ColumnType::LongInteger ? MDB_LONGINT
                       : t.columns[c].type == ColumnType::Memo      ? MDB_MEMO
                                                                    : MDB_TEXT;
      EXPECT_EQ(read.types[c], type);
    }
    ASSERT_EQ(read.rows.size(), t.rows.size()) << Utf8(t.name);
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
      for (std::size_t c = 0; c < t.columns.size(); ++c) {
        const Value& want = t.rows[r][c];
        const Cell& got = read.rows[r][c];
        SCOPED_TRACE(Utf8(t.name) + " row " + std::to_string(r + 1) + " column " + Utf8(t.columns[c].name));
        EXPECT_EQ(got.null, want.IsNull());
        if (want.IsNull()) continue;
        if (want.IsInteger()) {
          EXPECT_EQ(got.text, std::to_string(want.Integer()));
          continue;
        }
        EXPECT_EQ(got.text, Utf8(want.Text(), true));
        // The stored bytes hold the text exactly, surrogate pairs included.
        EXPECT_EQ(DecodeJetText(got.stored), want.Text());
      }
    }
  }
}

TEST_F(Jet4WriterFile, TextsAndMemosTakeEachStoredForm) {
  const TableRead read = ReadWithLibmdb(file_, u"mtConcepts", 1 << 20);
  ASSERT_EQ(read.rows.size(), 9u);
  const auto stored = [&](int row, int column) { return read.rows[row - 1][column].stored; };
  const auto compressed = [](const std::vector<std::uint8_t>& b) { return b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE; };
  const std::vector<std::uint8_t> cafeCompressed{0xFF, 0xFE, 'c', 'a', 'f', 0xE9};
  const std::vector<std::uint8_t> cafePlain{'c', 0, 'a', 0, 'f', 0, 0xE9, 0};
  EXPECT_EQ(stored(1, 2), cafeCompressed);
  EXPECT_EQ(stored(1, 3), cafePlain);  // a column without compression
  EXPECT_EQ(stored(2, 2).size(), 0u);
  EXPECT_FALSE(compressed(stored(4, 2)));  // Cyrillic only: compression would not be shorter
  EXPECT_EQ(stored(4, 2).size(), 6u);
  EXPECT_FALSE(compressed(stored(5, 2)));  // U+0100 has a zero low byte
  EXPECT_TRUE(compressed(stored(6, 2)));   // a leading U+FEFF must not read as the marker
  EXPECT_FALSE(compressed(stored(9, 2)));  // surrogate pair
  EXPECT_EQ(stored(9, 2).size(), 4u);
  const std::vector<std::uint8_t> mixed = stored(8, 1);
  EXPECT_TRUE(compressed(mixed));  // Latin and Cyrillic: compressed, switching twice
  EXPECT_EQ(std::count(mixed.begin() + 2, mixed.end(), 0), 2);

  const auto flags = [&](int row) { return read.rows[row - 1][1].memoFlags; };
  EXPECT_EQ(flags(1), 0x80);  // in the row
  EXPECT_EQ(flags(2), 0x80);  // empty, in the row
  EXPECT_EQ(flags(4), 0x00);  // 40,000+ bytes: a chain of long-value records
  EXPECT_EQ(flags(5), 0x40);  // 600 bytes: one long-value record
  EXPECT_EQ(flags(6), 0x40);
  EXPECT_EQ(flags(7), 0x80);
  EXPECT_FALSE(compressed(stored(6, 1)));  // a memo of more than 1,024 characters is never compressed
  EXPECT_EQ(stored(6, 1).size(), 3000u);
  EXPECT_TRUE(compressed(stored(1, 1)));

  const TableRead german = ReadWithLibmdb(file_, u"I_German", 1 << 20);
  ASSERT_EQ(german.rows.size(), 5u);
  EXPECT_EQ(german.rows[2][1].memoFlags, 0x40);  // a term of 300+ characters leaves the row
  EXPECT_TRUE(compressed(german.rows[2][1].stored));
}

TEST_F(Jet4WriterFile, LibmdbCutsLongMemosAtItsDefaultBindSize) {
  // What a reader of these files must know: without mdb_set_bind_size the 20,000-character memo is cut.
  const TableRead cut = ReadWithLibmdb(file_, u"mtConcepts", MDB_BIND_SIZE);
  ASSERT_EQ(cut.rows.size(), 9u);
  const std::string whole = Utf8(kLongMixed, true);
  EXPECT_LT(cut.rows[3][1].text.size(), whole.size());
  EXPECT_EQ(whole.compare(0, cut.rows[3][1].text.size(), cut.rows[3][1].text), 0);
  const TableRead full = ReadWithLibmdb(file_, u"mtConcepts", 1 << 20);
  EXPECT_EQ(full.rows[3][1].text, whole);
}

TEST_F(Jet4WriterFile, CatalogMarksOnlyItselfAsSystemTable) {
  MdbHandle* mdb = mdb_open(file_.c_str(), MDB_NOFLAGS);
  ASSERT_NE(mdb, nullptr);
  ASSERT_NE(mdb_read_catalog(mdb, MDB_TABLE), nullptr);
  std::vector<std::string> user, system;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    (mdb_is_system_table(entry) ? system : user).push_back(entry->object_name);
  }
  mdb_close(mdb);
  EXPECT_EQ(system, std::vector<std::string>{"MSysObjects"});
  std::vector<std::string> expected;
  for (const TableData& t : tables_) expected.push_back(Utf8(t.name));
  EXPECT_EQ(user, expected);
}

TEST(Jet4Writer, FiveThousandRowsSpanManyPagesInOrder) {
  TempDir dir;
  Jet4Writer db;
  const std::size_t table = db.AddTable(u"I_Russian", {{u"termid", ColumnType::LongInteger},
                                                        {u"term", ColumnType::Memo},
                                                        {u"termex", ColumnType::Text, 255},
                                                        {u"conceptid", ColumnType::LongInteger}});
  std::vector<std::u16string> terms;
  for (int i = 1; i <= 5000; ++i) {
    std::u16string term = u"\u0442\u0435\u0440\u043C\u0438\u043D " + Ascii(std::to_string(i));
    if (i % 500 == 0) term = Repeat(term + u" ", 400);  // some leave the row
    terms.push_back(term);
    db.AddRow(table, {i, term, i % 3 ? Value(u"main") : Value(), (i + 1) / 2});
  }
  const std::string file = dir.File("many.sdltb");
  db.Save(file);
  const std::vector<std::uint8_t> image = db.Image();
  EXPECT_GT(image.size() / Jet4Writer::kPageSize, 5000u / 255u);  // more data pages than one page's rows allow

  const TableRead read = ReadWithLibmdb(file, u"I_Russian", 1 << 16);
  ASSERT_EQ(read.rows.size(), 5000u);
  for (int i = 1; i <= 5000; ++i) {
    const auto& row = read.rows[i - 1];
    ASSERT_EQ(row[0].text, std::to_string(i));
    ASSERT_EQ(DecodeJetText(row[1].stored), terms[i - 1]) << i;
    ASSERT_EQ(row[2].null, i % 3 == 0) << i;
    ASSERT_EQ(row[3].text, std::to_string((i + 1) / 2));
  }

  if (!HaveMdbTools()) GTEST_SKIP() << "mdbtools commands are not on PATH: install the mdbtools package";
  Output out = Export(dir, file, u"I_Russian");
  ASSERT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(out.err, "");
  const std::vector<std::string> lines = Lines(out.out);
  ASSERT_EQ(lines.size(), 5000u);
  for (int i = 1; i <= 5000; ++i)
    ASSERT_EQ(lines[i - 1], std::to_string(i) + "\t" + Utf8(terms[i - 1]) + "\t" + (i % 3 ? "main" : "<NULL>") +
                                "\t" + std::to_string((i + 1) / 2));
}

TEST(Jet4Writer, SameTablesGiveTheSameBytes) {
  Jet4Writer a, b;
  AddAll(a, SampleTables());
  AddAll(b, SampleTables());
  EXPECT_EQ(a.Image(), b.Image());
}

TEST(Jet4Writer, RefusesWhatItCannotStore) {
  Jet4Writer db;
  const std::size_t t = db.AddTable(u"T", {{u"n", ColumnType::LongInteger}, {u"s", ColumnType::Text, 5}});
  EXPECT_THROW(db.AddTable(u"t", {{u"x", ColumnType::LongInteger}}), std::invalid_argument);  // names ignore case
  EXPECT_THROW(db.AddTable(u"MSysObjects", {{u"x", ColumnType::LongInteger}}), std::invalid_argument);
  EXPECT_THROW(db.AddTable(u"U", {}), std::invalid_argument);
  EXPECT_THROW(db.AddTable(u"U", {{u"a", ColumnType::Text, 256}}), std::invalid_argument);
  EXPECT_THROW(db.AddTable(u"U", {{u"a", ColumnType::Memo}, {u"A", ColumnType::Memo}}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(t, {1}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(t, {u"1", u"x"}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(t, {1, 2}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(t, {1, u"123456"}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(t, {1, u"\uFEFF\u0100"}), std::invalid_argument);  // neither form can hold it
  EXPECT_THROW(db.AddRow(7, {1, u"x"}), std::invalid_argument);
  EXPECT_NO_THROW(db.AddRow(t, {Value(), u"12345"}));
  TempDir dir;
  EXPECT_THROW(db.Save(dir.File("missing/x.sdltb")), std::runtime_error);
}

// The sample's content as make_termbase documents it: word(i) is the list's [i % 8]; no terms
// when position > 0 and (k + position) % 5 == 0; the first term word(k - 1) + " " + k, for
// k % 10 == 3 lengthened with " " + word(k - 1) to 300 units or more; a second term
// word(k) + " " + k when k % 4 == 0.
struct SampleTerm {
  int termid;
  std::u16string term;
  bool main;
  int entry;
};

std::vector<SampleTerm> SampleTerms(const std::vector<std::u16string>& words, int position, int entries) {
  std::vector<SampleTerm> terms;
  for (int k = 1; k <= entries; ++k) {
    if (position > 0 && (k + position) % 5 == 0) continue;
    const std::u16string number = Ascii(std::to_string(k));
    std::u16string first = words[(k - 1) % 8] + u" " + number;
    if (k % 10 == 3)
      while (first.size() < 300) first += u" " + words[(k - 1) % 8];
    terms.push_back({static_cast<int>(terms.size()) + 1, first, true, k});
    if (k % 4 == 0) terms.push_back({static_cast<int>(terms.size()) + 1, words[k % 8] + u" " + number, false, k});
  }
  return terms;
}

TEST(MakeTermbase, WritesTheDocumentedSampleReproducibly) {
  SKIP_WITHOUT_MDBTOOLS();
  TempDir dir;
  const std::string file = dir.File("sample.sdltb"), again = dir.File("again.sdltb");
  Output made = RunProgram(dir, {MAKE_TERMBASE, "--entries", "5000", "--languages", "English,German,Russian,Japanese", file});
  ASSERT_EQ(made.status, 0) << made.err;
  ASSERT_EQ(RunProgram(dir, {MAKE_TERMBASE, "--entries=5000", "--languages=English,German,Russian,Japanese", again}).status, 0);
  EXPECT_EQ(TempDir::Read(file), TempDir::Read(again));

  EXPECT_EQ(RunProgram(dir, {"mdb-ver", file}).out, "JET4\n");
  EXPECT_EQ(Lines(RunProgram(dir, {"mdb-tables", "-1", file}).out),
            (std::vector<std::string>{"mtConcepts", "I_English", "I_German", "I_Russian", "I_Japanese", "mtIndexes"}));
  // Titles in the order of the index tables' names compared without case.
  EXPECT_EQ(Lines(Export(dir, file, u"mtIndexes").out),
            (std::vector<std::string>{"1\tEnglish\ten-US", "2\tGerman\tde-DE", "3\tJapanese\tja-JP",
                                      "4\tRussian\tru-RU"}));
  const std::string schema = RunProgram(dir, {"mdb-schema", file}).out;
  for (const char* index : {"I_English", "I_Japanese"}) {
    const std::string table = SchemaOf(schema, Ascii(index));
    EXPECT_NE(table.find("[termid]\t\t\tLong Integer"), std::string::npos) << table;
    EXPECT_NE(table.find("[term]\t\t\tMemo/Hyperlink"), std::string::npos) << table;
    EXPECT_NE(table.find("[termex]\t\t\tText (255)"), std::string::npos) << table;
    EXPECT_NE(table.find("[conceptid]\t\t\tLong Integer"), std::string::npos) << table;
  }

  const std::vector<std::u16string> english{u"car", u"house", u"tree", u"water", u"book", u"window", u"street", u"light"};
  const std::vector<std::u16string> german{u"Auto", u"Haus", u"Baum", u"Wasser", u"Buch", u"Fenster", u"Stra\u00DFe", u"L\u00FCcke"};
  for (const auto& [table, words, position] :
       {std::tuple{u"I_English", english, 0}, std::tuple{u"I_German", german, 1}}) {
    const std::vector<SampleTerm> want = SampleTerms(words, position, 5000);
    const std::vector<std::string> lines = Lines(Export(dir, file, table).out);
    ASSERT_EQ(lines.size(), want.size()) << Utf8(table);
    for (std::size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(lines[i], std::to_string(want[i].termid) + "\t" + Utf8(want[i].term) + "\t" +
                              (want[i].main ? "main" : "<NULL>") + "\t" + std::to_string(want[i].entry))
          << Utf8(table) << " record " << i + 1;
  }

  // Japanese has a word outside the Basic Multilingual Plane; read it from the stored bytes.
  const std::vector<std::u16string> japanese{u"\u81EA\u52D5\u8ECA", u"\u5BB6", u"\u6728", u"\u6C34",
                                             u"\u672C", u"\u7A93", u"\U00029E3D", u"\u5149"};
  const std::vector<SampleTerm> want = SampleTerms(japanese, 3, 5000);
  const TableRead read = ReadWithLibmdb(file, u"I_Japanese", 1 << 16);
  ASSERT_EQ(read.rows.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(DecodeJetText(read.rows[i][1].stored), want[i].term) << "record " << i + 1;
    ASSERT_EQ(read.rows[i][3].text, std::to_string(want[i].entry)) << "record " << i + 1;
  }

  const TableRead concepts = ReadWithLibmdb(file, u"mtConcepts", 1 << 20);
  ASSERT_EQ(concepts.rows.size(), 5000u);
  EXPECT_GE(DecodeJetText(concepts.rows[0][1].stored).size(), 20000u);
  EXPECT_EQ(concepts.rows[0][1].memoFlags, 0x00);
}

TEST(MakeTermbase, RejectsBadOptions) {
  TempDir dir;
  const std::string file = dir.File("x.sdltb");
  for (std::vector<std::string> args : {std::vector<std::string>{},
                                        {"--entries", "many", file},
                                        {"--entries", "-1", file},
                                        {"--entries"},
                                        {"--languages", "English,english", file},
                                        {"--languages", "Old English", file},
                                        {"--languages", "English,,German", file},
                                        {"--colour", file},
                                        {file, file}}) {
    args.insert(args.begin(), MAKE_TERMBASE);
    Output o = RunProgram(dir, args);
    EXPECT_EQ(o.status, 2) << args.size();
    EXPECT_NE(o.err.find("usage: make_termbase"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(file));
  Output o = RunProgram(dir, {MAKE_TERMBASE, dir.File("missing/x.sdltb")});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("missing/x.sdltb"), std::string::npos);
}

}  // namespace
