#include "tm/sqlite/SQLiteTable3.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "platform/core/MemoryStream.h"
#include "platform/core/Utf8.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"

namespace {

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

std::string Message(const std::exception& e) { return e.what(); }

// How many descriptors of this process have the file open.
int OpenDescriptors(const std::string& path) {
  int n = 0;
  const auto target = std::filesystem::weakly_canonical(path);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec) == target) ++n;
  }
  return n;
}

// The message of the ESQLiteException that f raises.
template <class F>
std::string Failure(F f) {
  try {
    f();
  } catch (const ESQLiteException& e) {
    return Message(e);
  }
  return "no exception";
}

class SQLiteTable3 : public ::testing::Test {
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

  TempDir dir;
};

}  // namespace

TEST_F(SQLiteTable3, ColumnsTypesAndValues) {
  const std::string path = MakeDb(
      "types.db",
      "CREATE TABLE t(i INTEGER, r REAL, s TEXT, b BLOB, low boolean, n);"
      "INSERT INTO t VALUES(7, 1.5, 'caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80', x'00FF', 42, 'free');"
      "INSERT INTO t VALUES(NULL, -2.75, NULL, NULL, NULL, 5);"
      "INSERT INTO t VALUES(-9000000000, 1e20, '', x'', 'abc', NULL);");
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT * FROM t");
  ASSERT_EQ(t->RowCount(), 3);
  ASSERT_EQ(t->ColCount(), 6);
  // A type declared in lower case is not recognised: the column is text. A column without
  // declared type is typed by its first value, here text.
  const char16_t* names[] = {u"I", u"R", u"S", u"B", u"LOW", u"N"};
  const uint8_t types[] = {TSQLiteTable::dtInt, TSQLiteTable::dtNumeric, TSQLiteTable::dtStr,
                           TSQLiteTable::dtBlob, TSQLiteTable::dtStr, TSQLiteTable::dtStr};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(t->Columns(i), names[i]);
    EXPECT_EQ(t->ColTypes(i), types[i]) << i;
  }
  // Every row as text; NULL is empty, and an integer column's NULL is "0". A blob reads as its
  // bytes taken for UTF-8.
  const std::u16string rows[3][6] = {{u"7", u"1.5", u"caf\u00E9 \u65E5 \U0001F600", std::u16string(u"\0\uFFFD", 2), u"42", u"free"},
                                     {u"0", u"-2.75", u"", u"", u"", u"5"},
                                     {u"-9000000000", u"1E20", u"", u"", u"abc", u""}};
  for (int r = 0; r < 3; ++r, t->Next())
    for (int c = 0; c < 6; ++c) EXPECT_EQ(t->FieldAsString(c), rows[r][c]) << r << "," << c;
  t->MoveFirst();
  EXPECT_EQ(t->FieldAsInteger(1), 1);
  EXPECT_EQ(t->FieldAsBlobText(3), std::string("\0\xFF", 2));
  EXPECT_EQ(Failure([&] { t->FieldAsBlobText(2); }), "Not a Blob field");
  EXPECT_EQ(Failure([&] { t->FieldAsDouble(4); }), "Not an integer or numeric field");
  t->Next();
  EXPECT_EQ(t->FieldAsDouble(1), -2.75);
  EXPECT_THROW(t->Columns(6), ESQLiteException);
  EXPECT_THROW(t->FieldAsString(-1), ESQLiteException);
  EXPECT_EQ(SQLiteErrorStr(27), u"Unknown SQLite Error Code \"27\"");
}

// A blob is kept as stored: its bytes, zero bytes included; an empty blob is an empty stream, NULL
// none; the cursor reads the same.
TEST_F(SQLiteTable3, BlobsAreKeptAsStored) {
  const std::string path = MakeDb("blob.db", "CREATE TABLE t(b BLOB, s TEXT);"
                                             "INSERT INTO t VALUES(x'00FF0041', 'A'), (x'', ''), (NULL, NULL);");
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT * FROM t ORDER BY rowid");
  const std::string expected[] = {std::string("\0\xFF\0A", 4), ""};
  for (const std::string& bytes : expected) {
    const std::unique_ptr<TMemoryStream> blob = t->FieldAsBlob(0);
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(std::string(blob->Bytes().begin(), blob->Bytes().end()), bytes);
    EXPECT_EQ(t->FieldAsBlobText(0), bytes);
    EXPECT_EQ(Failure([&] { t->FieldAsBlob(1); }), "Not a Blob field");
    t->Next();
  }
  EXPECT_EQ(t->FieldAsBlob(0), nullptr);
  t->Next();
  EXPECT_EQ(Failure([&] { t->FieldAsBlob(0); }), "Table is at End of File");
  TSQLiteCursor cursor(db, "SELECT b FROM t ORDER BY rowid");
  ASSERT_TRUE(cursor.MoveFirst());
  WideString text;
  cursor.FieldAsString(0, text);
  EXPECT_EQ(text, std::u16string(u"\0\uFFFD\0A", 4));
}

// A text column's bytes end at the first zero byte, as its text does: FieldAsUtf8 gives what
// FieldAsString decodes, for text with zero bytes inside, at its ends and alone, empty text,
// NULL, and numbers and blobs that the column holds.
TEST_F(SQLiteTable3, TextBytesEndWhereTheTextEnds) {
  const std::pair<const char*, std::string> values[] = {
      {"'a' || char(0) || 'b'", "a"}, {"char(0) || 'x'", ""}, {"'x' || char(0)", "x"}, {"char(0)", ""},
      {"''", ""}, {"NULL", ""}, {"'caf\xC3\xA9 ' || char(0, 0x65E5)", "caf\xC3\xA9 "}, {"42", "42"},
      {"x'41004200'", "A"}, {"'\xE6\x97\xA5\xF0\x9F\x98\x80'", "\xE6\x97\xA5\xF0\x9F\x98\x80"},
  };
  std::string script = "CREATE TABLE t(s TEXT);";
  for (const auto& [value, bytes] : values) script += std::string("INSERT INTO t VALUES(") + value + ");";
  TSQLiteDatabase db(W(MakeDb("text.db", script)));
  TSQLiteCursor cursor(db, "SELECT s FROM t ORDER BY rowid");
  ASSERT_TRUE(cursor.MoveFirst());
  for (const auto& [value, bytes] : values) {
    std::string_view utf8;
    ASSERT_TRUE(cursor.FieldAsUtf8(0, utf8)) << value;
    EXPECT_EQ(std::string(utf8), bytes) << value;
    WideString text, decoded;
    cursor.FieldAsString(0, text);
    TSQLiteCursor::TextOfUtf8(utf8, decoded);
    EXPECT_EQ(text, decoded) << value;
    cursor.Next();
  }
  EXPECT_TRUE(cursor.Eof());
}

// Values bound by position and by name reach the statement as the types they were given, on a
// database opened for reading (a temporary table takes the writes).
TEST_F(SQLiteTable3, NamedAndPositionalValuesAreBound) {
  const std::string path = MakeDb("bind.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  TSQLiteDatabase db(W(path));
  db.ExecSQL("CREATE TEMP TABLE v(k INTEGER, a, b, c, d, e, f, g, h, i)");
  TMemoryStream memory({1, 0, 2, 3});
  memory.SetPosition(1);  // a memory stream binds from where it stands
  TMemoryStream whole({7, 8});
  whole.SetPosition(2);
  struct : TStream {  // any other stream binds whole
    TMemoryStream inner{std::vector<uint8_t>{9, 0, 9}};
    int64_t Read(void* b, int64_t n) override { return inner.Read(b, n); }
    int64_t Write(const void* b, int64_t n) override { return inner.Write(b, n); }
    int64_t Seek(int64_t o, int origin) override { return inner.Seek(o, origin); }
    int64_t GetSize() override { return inner.GetSize(); }
    void SetSize(int64_t n) override { inner.SetSize(n); }
  } other;
  other.SetPosition(3);
  db.ExecSQL("INSERT INTO v VALUES(1, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
             {"caf\xC3\xA9", u"\u65E5\U0001F600", std::string("a\0b", 3), 2147483647, 9000000000LL, 2.5, true, nullptr,
              static_cast<TStream*>(&memory)});
  db.AddParam(":k", 2);
  db.AddParam("@unused", "passed over");
  db.AddParam(":blob", &other);
  db.AddParam(":text", u"w");
  db.ExecSQL("INSERT INTO v(k, a, i) VALUES(:k, :text, :blob)");
  EXPECT_TRUE(db.Params.empty());
  db.ExecSQL("INSERT INTO v(k, i) VALUES(3, ?)", {&whole});
  db.AddParam(":k", 2LL);
  auto t = db.GetTable("SELECT typeof(a), hex(a), typeof(b), hex(b), hex(c), typeof(d), d, typeof(e), e, typeof(f), f, "
                       "typeof(g), g, typeof(h), typeof(i), hex(i) FROM v WHERE k >= ? AND k <> :k ORDER BY k",
                       {1});
  ASSERT_EQ(t->RowCount(), 2);
  std::vector<std::u16string> row;
  for (int c = 0; c < t->ColCount(); ++c) row.push_back(t->FieldAsString(c));
  EXPECT_EQ(row, (std::vector<std::u16string>{u"text", u"636166C3A9", u"text", u"E697A5F09F9880", u"610062", u"integer",
                                              u"2147483647", u"integer", u"9000000000", u"real", u"2.5", u"integer",
                                              u"1", u"null", u"blob", u"000203"}));
  t->Next();
  EXPECT_EQ(t->FieldAsString(14), u"blob");
  EXPECT_EQ(t->FieldAsString(15), u"");  // an empty blob: the stream was at its end
  // The named parameters went with the statement that took them.
  EXPECT_EQ(db.GetTable("SELECT k, a, hex(i) FROM v WHERE k = 2")->FieldAsString(2), u"090009");
  EXPECT_EQ(db.GetTable("SELECT count(*) FROM v WHERE k = :k")->FieldAsString(0), u"0");
}

// What cannot be bound is refused with a message that says which value; a failed statement
// takes its named parameters with it.
TEST_F(SQLiteTable3, BindingsThatFailSayWhy) {
  const std::string path = MakeDb("refuse.db", "CREATE TABLE t(v TEXT);");
  TSQLiteDatabase db(W(path));
  db.ExecSQL("CREATE TEMP TABLE v(a)");
  TMemoryStream memory;
  TSQLiteBinding badString(u"x");
  badString.StringType = static_cast<TSQLiteBinding::TStringType>(9);
  struct : TStream {  // a stream larger than any memory
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, int) override { return 0; }
    int64_t GetSize() override { return INT64_MAX; }
    void SetSize(int64_t) override {}
  } huge;
  // The second value has no parameter to go to.
  const std::string range = ".\rError [25]: 2nd parameter to sqlite3_bind out of range.\r\"BindData\": ";
  const struct {
    TSQLiteBinding value;
    std::string message;  // the start of the message
  } cases[] = {
      {"text", "Could not bind text" + range},
      {u"wide", "Could not bind text" + range},
      {7, "Could not bind integer" + range},
      {7LL, "Could not bind int64" + range},
      {0.5, "Could not bind extended" + range},
      {false, "Could not bind boolean" + range},
      {nullptr, "Could not bind null" + range},
      {static_cast<TStream*>(&memory), "Could not bind BLOB" + range},
      {&huge, "Error getting memory to save blob"},
      {static_cast<TStream*>(nullptr), "Unhandled object-type in binding"},
      {static_cast<const void*>(&memory), "Unhandled pointer (<> nil)"},
      {TSQLiteBinding(), "Unhandled binding"},
      {badString, "Unknown string-type"},
  };
  for (const auto& c : cases) {
    db.AddParam(":a", 1);
    const std::string message = Failure([&] { db.ExecSQL("INSERT INTO v VALUES(?)", {1, c.value}); });
    EXPECT_EQ(message.substr(0, c.message.size()), c.message);
    EXPECT_TRUE(db.Params.empty()) << c.message;
  }
  EXPECT_EQ(db.GetTable("SELECT count(*) FROM v")->FieldAsInteger(0), 0);
}

TEST_F(SQLiteTable3, CursorMovesAndStopsAtTheEnds) {
  const std::string path = MakeDb("cursor.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('a'),('b');"
                                               "CREATE TABLE u(x); INSERT INTO u VALUES(NULL),('kept'),(12);");
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT v FROM t ORDER BY v");
  EXPECT_TRUE(t->Bof());
  EXPECT_FALSE(t->Previous());
  EXPECT_TRUE(t->Next() && t->Next() && t->Eof() && !t->Next());
  EXPECT_EQ(Failure([&] { t->FieldAsString(0); }), "Table is at End of File");
  EXPECT_TRUE(t->Previous());
  EXPECT_EQ(t->FieldAsString(0), u"b");
  EXPECT_TRUE(t->MoveFirst());
  EXPECT_EQ(t->Row(), 0);
  EXPECT_EQ(t->FieldAsString(0), u"a");
  // An untyped column whose first value is NULL keeps the later texts.
  t = db.GetTable("SELECT x FROM u ORDER BY rowid");
  EXPECT_EQ(t->ColTypes(0), TSQLiteTable::dtNull);
  EXPECT_TRUE(t->Next() && t->FieldAsString(0) == u"kept" && t->Next() && t->FieldAsString(0) == u"12");
  t = db.GetTable("SELECT * FROM t WHERE v = 'z'");
  EXPECT_EQ(t->ColCount(), 0);
  EXPECT_TRUE(t->Eof());
  EXPECT_FALSE(t->MoveFirst());
}

TEST_F(SQLiteTable3, FilesThatCannotBeOpened) {
  const std::string path = dir.File("missing.sdltm");
  EXPECT_EQ(Failure([&] { TSQLiteDatabase db(W(path)); }),
            "Failed to open database \"" + path + "\" : No such file or directory.");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));  // never created
  EXPECT_THROW(TSQLiteDatabase(u""), ESQLiteException);  // no name is no temporary database
  EXPECT_NE(Failure([&] { TSQLiteDatabase db(W(dir.Path().string())); }).find("Is a directory"), std::string::npos);
  const std::string text = dir.File("text.sdltm");
  TempDir::Write(text, "This is a text file, not a database.\n" + std::string(2000, 'x'));
  EXPECT_EQ(Failure([&] { TSQLiteDatabase(W(text)).GetTable("SELECT * FROM translation_units"); }),
            "Error executing SQL.\rError [26]: File opened that is not a database file.\r"
            "\"SELECT * FROM translation_units\": file is not a database");
  EXPECT_EQ(OpenDescriptors(text), 0);
  const std::string named = MakeDb("m\xC3\xA9moire \xE6\x97\xA5.sdltm", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  EXPECT_EQ(TSQLiteDatabase(W(named)).GetTable("SELECT v FROM t")->RowCount(), 1);
}

TEST_F(SQLiteTable3, FailedQueriesLeaveTheDatabaseUsableAndClosable) {
  const std::string path = MakeDb("q.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  const std::string before = TempDir::Read(path);
  {
    TSQLiteDatabase db(W(path));
    EXPECT_EQ(Failure([&] { db.GetTable("SELECT * FROM translation_units"); }),
              "Error executing SQL.\rError [1]: SQL error or missing database.\r"
              "\"SELECT * FROM translation_units\": no such table: translation_units");
    EXPECT_EQ(Failure([&] { db.GetTable(""); }), "Could not prepare SQL statement");
    // A read-only database refuses writes, and the statement is still finalised.
    EXPECT_NE(Failure([&] { db.ExecSQL("INSERT INTO t VALUES('y')"); })
                  .find("Error executing SQL statement.\rError [8]: Attempt to write a readonly database."),
              std::string::npos);
    // A failure while the rows are read: abs() of the smallest integer overflows.
    EXPECT_EQ(Failure([&] { db.GetTable("SELECT v, abs(-9223372036854775807 - length(v)) FROM t"); })
                  .rfind("Could not retrieve data.\rError [1]: SQL error or missing database.", 0),
              0u);
    // Another connection's exclusive lock makes the database busy, until it ends.
    void* lib = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    auto open = reinterpret_cast<decltype(&::sqlite3_open_v2)>(::dlsym(lib, "sqlite3_open_v2"));
    auto exec = reinterpret_cast<decltype(&::sqlite3_exec)>(::dlsym(lib, "sqlite3_exec"));
    auto close = reinterpret_cast<decltype(&::sqlite3_close)>(::dlsym(lib, "sqlite3_close"));
    sqlite3* other = nullptr;
    open(path.c_str(), &other, SQLITE_OPEN_READWRITE, nullptr);
    ASSERT_EQ(exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(Failure([&] { db.GetTable("SELECT v FROM t"); }), "Could not prepare SQL statement");
    exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    close(other);
    ::dlclose(lib);
    std::string seen;
    db.OnQuery = [&](TSQLiteDatabase&, const AnsiString& sql) { seen = sql; };
    EXPECT_EQ(db.GetTable("SELECT v FROM t")->FieldAsString(0), u"x");
    EXPECT_EQ(seen, "SELECT v FROM t");
  }
  EXPECT_EQ(OpenDescriptors(path), 0);
  EXPECT_EQ(TempDir::Read(path), before);
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

TEST_F(SQLiteTable3, WithoutTheLibraryEveryUseFailsCleanly) {
  const std::string path = MakeDb("lib.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  auto opened = std::make_unique<TSQLiteDatabase>(W(path));
  SetSQLiteLibraryNameForTesting("libdoesnotexist.so.0");
  EXPECT_FALSE(LoadSQLiteLibrary());
  EXPECT_EQ(Failure([&] { TSQLiteDatabase db(W(path)); }),
            "Failed to open database \"" + path + "\" : the SQLite library libdoesnotexist.so.0 is missing");
  // A library without SQLite's entry points is no SQLite library.
  SetSQLiteLibraryNameForTesting("libm.so.6");
  EXPECT_FALSE(SQLiteLibraryLoaded());
  // What was opened before keeps its own binding.
  EXPECT_EQ(opened->GetTable("SELECT v FROM t")->FieldAsString(0), u"x");
  opened.reset();
  EXPECT_EQ(OpenDescriptors(path), 0);
  SetSQLiteLibraryNameForTesting(nullptr);  // the next question loads it again
  EXPECT_TRUE(SQLiteLibraryLoaded());
}

// No reading runs without end or builds values of any size, whatever the database asks for: a
// statement that takes far more steps than any reading of a file of its size needs is given up,
// and so is one that makes a value longer than the limit; each says why. The count of steps
// starts again with each reading, so that the database stays usable.
TEST_F(SQLiteTable3, ReadingIsBoundedByWhatTheFileCanHold) {
  TSQLiteDatabase db(W(MakeDb("small.db", "CREATE TABLE t(a); INSERT INTO t VALUES (1);")));
  const std::pair<const char*, const char*> cases[] = {
      {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200000000) SELECT count(*) FROM n",
       "more work than any database of its size needs"},
      {"SELECT length(zeroblob(300000000))", "a value longer than 256 MB"},
      {"SELECT length(replace(printf('%.*c', 3000000, 'x'), 'x', printf('%.*c', 100, 'y')))",
       "a value longer than 256 MB"},
  };
  for (const auto& [sql, reason] : cases) {
    std::string got = "no exception";
    try {
      db.GetTable(sql);
    } catch (const ESQLiteException& e) {
      got = platform::Utf16ToUtf8(e.Reason);
      EXPECT_NE(Message(e).find(sql), std::string::npos) << Message(e);
    }
    EXPECT_NE(got.find(reason), std::string::npos) << sql << ": " << got;
  }
  // Readings of several million steps each fit, where their sum would not.
  for (int i = 0; i < 10; ++i) {
    auto t = db.GetTable("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400000) SELECT count(*) FROM n");
    EXPECT_EQ(t->FieldAsInteger(0), 400000);
  }
  TSQLiteCursor cursor(db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) SELECT i FROM n");
  for (int pass = 0; pass < 4; ++pass) {
    int64_t rows = 0;
    for (bool row = cursor.MoveFirst(); row; row = cursor.Next()) ++rows;
    EXPECT_EQ(rows, 1000000);
  }
}
