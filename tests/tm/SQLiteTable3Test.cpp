#include "tm/sqlite/SQLiteTable3.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

namespace {

// The tests make their databases through the library itself, loaded the way the program loads it.
class Maker {
public:
  Maker() {
    handle_ = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!handle_) return;
    open_ = reinterpret_cast<decltype(open_)>(::dlsym(handle_, "sqlite3_open_v2"));
    exec_ = reinterpret_cast<decltype(exec_)>(::dlsym(handle_, "sqlite3_exec"));
    close_ = reinterpret_cast<decltype(close_)>(::dlsym(handle_, "sqlite3_close"));
  }
  bool Ready() const { return open_ && exec_ && close_; }

  // Runs the script in a new or existing database file; "" when it ran, else SQLite's message.
  std::string Make(const std::string& path, const std::string& script) {
    sqlite3* db = nullptr;
    if (open_(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
      close_(db);
      return "cannot open";
    }
    char* error = nullptr;
    std::string result;
    if (exec_(db, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) result = error ? error : "error";
    if (error) reinterpret_cast<void (*)(void*)>(::dlsym(handle_, "sqlite3_free"))(error);
    close_(db);
    return result;
  }

  // A second connection that holds the database's exclusive lock until it is closed.
  sqlite3* Lock(const std::string& path) {
    sqlite3* db = nullptr;
    open_(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (exec_(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      close_(db);
      return nullptr;
    }
    return db;
  }
  void Unlock(sqlite3* db) {
    exec_(db, "ROLLBACK", nullptr, nullptr, nullptr);
    close_(db);
  }

private:
  void* handle_ = nullptr;
  decltype(&::sqlite3_open_v2) open_ = nullptr;
  decltype(&::sqlite3_exec) exec_ = nullptr;
  decltype(&::sqlite3_close) close_ = nullptr;
};

Maker& TheMaker() {
  static Maker maker;
  return maker;
}

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

class SQLiteTable3 : public ::testing::Test {
protected:
  void SetUp() override {
    if (!TheMaker().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
    ASSERT_TRUE(LoadSQLiteLibrary());
  }
  void TearDown() override { SetSQLiteLibraryNameForTesting(nullptr); }

  std::string MakeDb(const std::string& name, const std::string& script) {
    const std::string path = dir.File(name);
    EXPECT_EQ(TheMaker().Make(path, script), "");
    return path;
  }

  TempDir dir;
};

const char* const kTypesScript =
    "CREATE TABLE t(i INTEGER, r REAL, s TEXT, b BLOB, low boolean, dt DATETIME, n);"
    "INSERT INTO t VALUES(7, 1.5, 'caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80', x'00FF', 42, "
    "'2012-11-03 10:20:30', 'free');"
    "INSERT INTO t VALUES(NULL, -2.75, NULL, NULL, NULL, '', 5);"
    "INSERT INTO t VALUES(-9000000000, 1e20, '', x'', 'abc', 'x', NULL);";

}  // namespace

TEST(SQLiteErrorStr, TextsOfResultCodes) {
  EXPECT_EQ(SQLiteErrorStr(0), u"Successful result");
  EXPECT_EQ(SQLiteErrorStr(11), u"The database disk image is malformed");
  EXPECT_EQ(SQLiteErrorStr(19), u"Abort due to contraint violation");
  EXPECT_EQ(SQLiteErrorStr(26), u"File opened that is not a database file");
  EXPECT_EQ(SQLiteErrorStr(100), u"sqlite3_step() has another row ready");
  EXPECT_EQ(SQLiteErrorStr(101), u"sqlite3_step() has finished executing");
  EXPECT_EQ(SQLiteErrorStr(27), u"Unknown SQLite Error Code \"27\"");
  EXPECT_EQ(SQLiteErrorStr(-1), u"Unknown SQLite Error Code \"-1\"");
}

TEST_F(SQLiteTable3, ColumnsTypesAndValues) {
  const std::string path = MakeDb("types.db", kTypesScript);
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT * FROM t");
  ASSERT_EQ(t->RowCount(), 3);
  ASSERT_EQ(t->ColCount(), 7);
  const char16_t* names[] = {u"I", u"R", u"S", u"B", u"LOW", u"DT", u"N"};
  const uint8_t types[] = {TSQLiteTable::dtInt, TSQLiteTable::dtNumeric, TSQLiteTable::dtStr, TSQLiteTable::dtBlob,
                           TSQLiteTable::dtStr, TSQLiteTable::dtStr, TSQLiteTable::dtStr};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(t->Columns(i), names[i]);
    EXPECT_EQ(t->ColTypes(i), types[i]) << i;
  }
  // Row 1: text outside the Basic Multilingual Plane arrives as a surrogate pair.
  EXPECT_EQ(t->FieldAsInteger(0), 7);
  EXPECT_EQ(t->FieldAsString(0), u"7");
  EXPECT_EQ(t->FieldAsString(1), u"1.5");
  EXPECT_EQ(t->FieldAsInteger(1), 1);
  EXPECT_EQ(t->FieldAsString(2), u"caf\u00E9 \u65E5\u672C \U0001F600");
  EXPECT_EQ(t->FieldAsString(3), u"");  // blob values are not kept
  EXPECT_EQ(t->FieldAsBlobText(3), "");
  // A type declared in lower case is not recognised: the column is text. (The library itself
  // spells its own standard names, such as "integer", in upper case.)
  EXPECT_EQ(t->FieldAsString(4), u"42");
  EXPECT_THROW(t->FieldAsInteger(4), ESQLiteException);
  EXPECT_EQ(t->FieldAsString(5), u"2012-11-03 10:20:30");
  EXPECT_EQ(t->FieldAsString(6), u"free");
  try {
    t->FieldAsBlobText(2);
    FAIL();
  } catch (const ESQLiteException& e) {
    EXPECT_EQ(Message(e), "Not a Blob field");
  }
  try {
    t->FieldAsDouble(2);
    FAIL();
  } catch (const ESQLiteException& e) {
    EXPECT_EQ(Message(e), "Not an integer or numeric field");
  }
  // Row 2: NULL reads as empty text and as 0; an integer column's NULL is the text "0".
  ASSERT_TRUE(t->Next());
  EXPECT_EQ(t->FieldAsString(0), u"0");
  EXPECT_EQ(t->FieldAsInteger(0), 0);
  EXPECT_EQ(t->FieldAsInteger(1), -2);
  EXPECT_EQ(t->FieldAsDouble(1), -2.75);
  EXPECT_EQ(t->FieldAsString(2), u"");
  EXPECT_EQ(t->FieldAsInteger(2), 0);
  EXPECT_EQ(t->FieldAsBlobText(2), "");
  EXPECT_EQ(t->FieldAsString(4), u"");
  EXPECT_EQ(t->FieldAsString(5), u"");
  // A column without declared type is typed by its first value, here text: 5 reads as "5".
  EXPECT_EQ(t->FieldAsString(6), u"5");
  // Row 3: empty text, large numbers.
  ASSERT_TRUE(t->Next());
  EXPECT_EQ(t->FieldAsInteger(0), -9000000000LL);
  EXPECT_EQ(t->FieldAsDouble(0), -9000000000.0);
  EXPECT_EQ(t->FieldAsString(1), u"1E20");
  EXPECT_EQ(t->FieldAsString(2), u"");
  EXPECT_EQ(t->FieldAsString(4), u"abc");
  EXPECT_THROW(t->Columns(7), ESQLiteException);
  EXPECT_THROW(t->FieldAsString(-1), ESQLiteException);
}

TEST_F(SQLiteTable3, CursorMovesAndStopsAtTheEnds) {
  const std::string path = MakeDb("cursor.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('a'),('b');");
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT v FROM t ORDER BY v");
  EXPECT_TRUE(t->Bof());
  EXPECT_FALSE(t->Previous());
  EXPECT_TRUE(t->Next());
  EXPECT_EQ(t->FieldAsString(0), u"b");
  EXPECT_TRUE(t->Next());
  EXPECT_TRUE(t->Eof());
  EXPECT_FALSE(t->Next());
  try {
    t->FieldAsString(0);
    FAIL();
  } catch (const ESQLiteException& e) {
    EXPECT_EQ(Message(e), "Table is at End of File");
  }
  EXPECT_THROW(t->FieldAsInteger(0), ESQLiteException);
  EXPECT_TRUE(t->Previous());
  EXPECT_EQ(t->FieldAsString(0), u"b");
  EXPECT_TRUE(t->MoveFirst());
  EXPECT_EQ(t->Row(), 0);
  EXPECT_EQ(t->FieldAsString(0), u"a");
}

TEST_F(SQLiteTable3, EmptyResultHasNoColumns) {
  const std::string path = MakeDb("empty.db", "CREATE TABLE t(v TEXT);");
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT * FROM t");
  EXPECT_EQ(t->RowCount(), 0);
  EXPECT_EQ(t->ColCount(), 0);
  EXPECT_TRUE(t->Eof());
  EXPECT_FALSE(t->MoveFirst());
  EXPECT_THROW(t->FieldAsString(0), ESQLiteException);
}

TEST_F(SQLiteTable3, UntypedColumnWhoseFirstValueIsNullKeepsLaterTexts) {
  const std::string path = MakeDb("untyped.db", "CREATE TABLE u(x); INSERT INTO u VALUES(NULL),('kept'),(12);");
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT x FROM u ORDER BY rowid");
  ASSERT_EQ(t->RowCount(), 3);
  EXPECT_EQ(t->ColTypes(0), TSQLiteTable::dtNull);
  EXPECT_EQ(t->FieldAsString(0), u"");
  t->Next();
  EXPECT_EQ(t->FieldAsString(0), u"kept");
  t->Next();
  EXPECT_EQ(t->FieldAsString(0), u"12");
}

TEST_F(SQLiteTable3, ManyRowsAreReadInLinearTime) {
  const std::string path = MakeDb(
      "big.db",
      "CREATE TABLE t(id INTEGER, s TEXT);"
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200000) "
      "INSERT INTO t SELECT x, 'row ' || x || ' ' || substr(hex(randomblob(40)), 1, x % 80) FROM c;"
      "INSERT INTO t VALUES(200001, printf('%.*c', 100000, 'z'));");
  TSQLiteDatabase db(W(path));
  auto t = db.GetTable("SELECT * FROM t ORDER BY id");
  ASSERT_EQ(t->RowCount(), 200001);
  for (int i = 0; i < 199999; ++i) t->Next();
  EXPECT_EQ(t->FieldAsInteger(0), 200000);
  EXPECT_EQ(t->FieldAsString(1).substr(0, 11), u"row 200000 ");
  t->Next();
  EXPECT_EQ(t->FieldAsString(1), std::u16string(100000, u'z'));
  EXPECT_TRUE(t->MoveFirst());
  EXPECT_EQ(t->FieldAsString(1).substr(0, 6), u"row 1 ");
}

TEST_F(SQLiteTable3, MissingFileIsAnErrorAndIsNotCreated) {
  const std::string path = dir.File("missing.sdltm");
  try {
    TSQLiteDatabase db(W(path));
    FAIL();
  } catch (const ESQLiteException& e) {
    EXPECT_EQ(Message(e), "Failed to open database \"" + path + "\" : No such file or directory.");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  EXPECT_THROW(TSQLiteDatabase(u""), ESQLiteException);
  try {
    TSQLiteDatabase db(W(dir.Path().string()));
    FAIL();
  } catch (const ESQLiteException& e) {
    EXPECT_NE(Message(e).find("Is a directory"), std::string::npos) << Message(e);
  }
}

TEST_F(SQLiteTable3, NonAsciiFileName) {
  const std::string path = MakeDb("m\xC3\xA9moire \xE6\x97\xA5.sdltm", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  TSQLiteDatabase db(W(path));
  EXPECT_EQ(db.GetTable("SELECT v FROM t")->RowCount(), 1);
}

TEST_F(SQLiteTable3, FileThatIsNotADatabase) {
  const std::string path = dir.File("text.sdltm");
  const std::string content = "This is a text file, not a database.\n" + std::string(2000, 'x');
  TempDir::Write(path, content);
  try {
    TSQLiteDatabase db(W(path));
    db.GetTable("SELECT * FROM translation_units");
    FAIL();
  } catch (const ESQLiteException& e) {
    EXPECT_EQ(Message(e),
              "Error executing SQL.\rError [26]: File opened that is not a database file.\r"
              "\"SELECT * FROM translation_units\": file is not a database");
  }
  EXPECT_EQ(TempDir::Read(path), content);
  EXPECT_EQ(OpenDescriptors(path), 0);
}

TEST_F(SQLiteTable3, FailedQueriesLeaveTheDatabaseUsableAndClosable) {
  const std::string path = MakeDb("q.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  const std::string before = TempDir::Read(path);
  {
    TSQLiteDatabase db(W(path));
    EXPECT_EQ(OpenDescriptors(path), 1);
    try {
      db.GetTable("SELECT * FROM translation_units");
      FAIL();
    } catch (const ESQLiteException& e) {
      EXPECT_EQ(Message(e),
                "Error executing SQL.\rError [1]: SQL error or missing database.\r"
                "\"SELECT * FROM translation_units\": no such table: translation_units");
    }
    try {
      db.GetTable("");
      FAIL();
    } catch (const ESQLiteException& e) {
      EXPECT_EQ(Message(e), "Could not prepare SQL statement");
    }
    // A read-only database refuses writes, and the statement is still finalised.
    try {
      db.ExecSQL("INSERT INTO t VALUES('y')");
      FAIL();
    } catch (const ESQLiteException& e) {
      EXPECT_NE(Message(e).find("Error executing SQL statement.\rError [8]: Attempt to write a readonly database."),
                std::string::npos)
          << Message(e);
    }
    // A failure while the rows are read: abs() of the smallest integer overflows.
    try {
      db.GetTable("SELECT v, abs(-9223372036854775807 - length(v)) FROM t");
      FAIL();
    } catch (const ESQLiteException& e) {
      EXPECT_EQ(Message(e).rfind("Could not retrieve data.\rError [1]: SQL error or missing database.", 0), 0u)
          << Message(e);
    }
    std::string seen;
    db.OnQuery = [&](TSQLiteDatabase&, const AnsiString& sql) { seen = sql; };
    EXPECT_EQ(db.GetTable("SELECT v FROM t")->FieldAsString(0), u"x");
    EXPECT_EQ(seen, "SELECT v FROM t");
  }
  EXPECT_EQ(OpenDescriptors(path), 0);
  EXPECT_EQ(TempDir::Read(path), before);
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
}

TEST_F(SQLiteTable3, BusyDatabaseIsAnErrorAndTheDatabaseCloses) {
  const std::string path = MakeDb("busy.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  {
    TSQLiteDatabase db(W(path));
    EXPECT_EQ(db.GetTable("SELECT v FROM t")->RowCount(), 1);
    sqlite3* other = TheMaker().Lock(path);
    ASSERT_NE(other, nullptr);
    try {
      db.GetTable("SELECT v FROM t");
      FAIL();
    } catch (const ESQLiteException& e) {
      EXPECT_EQ(Message(e), "Could not prepare SQL statement");
    }
    TheMaker().Unlock(other);
    EXPECT_EQ(db.GetTable("SELECT v FROM t")->RowCount(), 1);
  }
  EXPECT_EQ(OpenDescriptors(path), 0);
}

TEST_F(SQLiteTable3, CorruptedPageIsAnErrorAndTheDatabaseCloses) {
  const std::string path = MakeDb("corrupt.db",
                                  "PRAGMA page_size = 4096; CREATE TABLE t(id INTEGER, s TEXT);"
                                  "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000) "
                                  "INSERT INTO t SELECT x, printf('%.*c', 200, 'a') FROM c;");
  std::string bytes = TempDir::Read(path);
  const size_t pages = bytes.size() / 4096;
  ASSERT_GT(pages, 20u);
  // A leaf page in the middle of the table becomes noise.
  bytes.replace((pages / 2) * 4096, 4096, std::string(4096, '\xFF'));
  TempDir::Write(path, bytes);
  {
    TSQLiteDatabase db(W(path));
    try {
      db.GetTable("SELECT * FROM t");
      FAIL();
    } catch (const ESQLiteException& e) {
      EXPECT_EQ(Message(e).rfind("Could not retrieve data.\rError [11]: The database disk image is malformed.", 0), 0u)
          << Message(e);
    }
  }
  EXPECT_EQ(OpenDescriptors(path), 0);
  EXPECT_EQ(TempDir::Read(path), bytes);
}

TEST_F(SQLiteTable3, WithoutTheLibraryEveryUseFailsCleanly) {
  const std::string path = MakeDb("lib.db", "CREATE TABLE t(v TEXT); INSERT INTO t VALUES('x');");
  auto opened = std::make_unique<TSQLiteDatabase>(W(path));
  SetSQLiteLibraryNameForTesting("libdoesnotexist.so.0");
  EXPECT_FALSE(SQLiteLibraryLoaded());
  EXPECT_FALSE(LoadSQLiteLibrary());
  try {
    TSQLiteDatabase db(W(path));
    FAIL();
  } catch (const ESQLiteException& e) {
    EXPECT_EQ(Message(e), "Failed to open database \"" + path +
                              "\" : the SQLite library libdoesnotexist.so.0 is missing");
  }
  // A library without SQLite's entry points is no SQLite library.
  SetSQLiteLibraryNameForTesting("libm.so.6");
  EXPECT_FALSE(SQLiteLibraryLoaded());
  // What was opened before keeps its own binding.
  EXPECT_EQ(opened->GetTable("SELECT v FROM t")->FieldAsString(0), u"x");
  opened.reset();
  EXPECT_EQ(OpenDescriptors(path), 0);
  // The next question loads it again, from any thread.
  SetSQLiteLibraryNameForTesting(nullptr);
  std::vector<std::thread> threads;
  std::atomic<int> loaded{0};
  for (int i = 0; i < 8; ++i) threads.emplace_back([&] { loaded += SQLiteLibraryLoaded() ? 1 : 0; });
  for (auto& th : threads) th.join();
  EXPECT_EQ(loaded, 8);
  TSQLiteDatabase db(W(path));
  EXPECT_EQ(db.GetTable("SELECT v FROM t")->RowCount(), 1);
}

// ---- The SDLTM samples, read where they stand ----
namespace {
struct Sample {
  const char* file;
  int rows;
};
}  // namespace

TEST_F(SQLiteTable3, SdltmSamples) {
  const std::filesystem::path data = MIRELCON_SHARED_DATA;
  if (!std::filesystem::exists(data / "sdltm_importer_sample_2.sdltm"))
    GTEST_SKIP() << "the SDLTM samples are not in " << data;
  const Sample samples[] = {{"sdlcommunity_SDLImportFields.sdltm", 19},
                            {"sdlcommunity_empty_NoFields.sdltm", 0},
                            {"sdltm_importer_sample_2.sdltm", 102}};
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.file);
    const std::string path = (data / s.file).string();
    const auto before = std::filesystem::last_write_time(path);
    {
      TSQLiteDatabase db(W(path));
      auto t = db.GetTable("SELECT * FROM translation_units");
      EXPECT_EQ(t->RowCount(), s.rows);
      if (s.rows == 0) continue;
      ASSERT_GE(t->ColCount(), 15);
      EXPECT_EQ(t->Columns(0), u"ID");
      EXPECT_EQ(t->Columns(4), u"SOURCE_SEGMENT");
      EXPECT_EQ(t->Columns(6), u"TARGET_SEGMENT");
      EXPECT_EQ(t->Columns(7), u"CREATION_DATE");
      EXPECT_EQ(t->Columns(13), u"USAGE_COUNTER");
      EXPECT_EQ(t->FieldAsString(4).rfind(u"<Segment ", 0), 0u);
      EXPECT_EQ(t->FieldAsString(7).size(), 19u);  // yyyy-mm-dd hh:mm:ss
    }
    EXPECT_EQ(std::filesystem::last_write_time(path), before);
  }
  // Text beyond ASCII, as stored.
  TSQLiteDatabase db(W((data / "sdltm_importer_sample_2.sdltm").string()));
  auto t = db.GetTable("SELECT target_segment FROM translation_units WHERE id = 12");
  ASSERT_EQ(t->RowCount(), 1);
  EXPECT_NE(t->FieldAsString(0).find(u"herk\u00F6mmlichen Holz"), std::u16string::npos);
  TSQLiteDatabase db2(W((data / "sdlcommunity_SDLImportFields.sdltm").string()));
  auto t2 = db2.GetTable("SELECT target_segment FROM translation_units WHERE id = 495");
  ASSERT_EQ(t2->RowCount(), 1);
  EXPECT_NE(t2->FieldAsString(0).find(u"you can\u2019t see them"), std::u16string::npos);
}
