#include "tm/sqlite/SQLiteTable3.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

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
  // Every row as text; NULL is empty, and an integer column's NULL is "0". Blob values are not kept.
  const std::u16string rows[3][6] = {{u"7", u"1.5", u"caf\u00E9 \u65E5 \U0001F600", u"", u"42", u"free"},
                                     {u"0", u"-2.75", u"", u"", u"", u"5"},
                                     {u"-9000000000", u"1E20", u"", u"", u"abc", u""}};
  for (int r = 0; r < 3; ++r, t->Next())
    for (int c = 0; c < 6; ++c) EXPECT_EQ(t->FieldAsString(c), rows[r][c]) << r << "," << c;
  t->MoveFirst();
  EXPECT_EQ(t->FieldAsInteger(1), 1);
  EXPECT_EQ(t->FieldAsBlobText(3), "");
  EXPECT_EQ(Failure([&] { t->FieldAsBlobText(2); }), "Not a Blob field");
  EXPECT_EQ(Failure([&] { t->FieldAsDouble(4); }), "Not an integer or numeric field");
  t->Next();
  EXPECT_EQ(t->FieldAsDouble(1), -2.75);
  EXPECT_THROW(t->Columns(6), ESQLiteException);
  EXPECT_THROW(t->FieldAsString(-1), ESQLiteException);
  EXPECT_EQ(SQLiteErrorStr(27), u"Unknown SQLite Error Code \"27\"");
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
