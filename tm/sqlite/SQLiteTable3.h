#pragma once
// Read access to SQLite 3 databases: an open database file and the complete result of one
// query held in memory with a row cursor. The library is loaded at run time, so that the
// program runs without it and only the databases need it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "unicode/UniSysUtils.h"
#include "unicode/UniTypes.h"

struct sqlite3;
struct sqlite3_stmt;
struct TSQLiteApi;
class TStream;
class TMemoryStream;

// Every failure of the SQLite classes; the message says what failed. The message of a failed
// statement has three parts separated by CR characters: what failed, the result code with its
// text, and the statement with SQLite's own message.
class ESQLiteException : public WideException {
public:
  using WideException::WideException;
  ESQLiteException(const WideString& message, WideString reason, bool outOfMemory = false)
      : WideException(message), Reason(std::move(reason)), OutOfMemory(outOfMemory) {}
  // What went wrong in the library's own words, without the statement ("database disk image
  // is malformed"); empty when the message has nothing to add to it.
  WideString Reason;
  bool OutOfMemory = false;  // the library ran out of memory
};

// The name the library is loaded by.
inline constexpr const char* SQLiteLibraryName = "libsqlite3.so.0";

// Loads the library and binds its entry points; called once when the program starts, and again
// by any first use. Thread-safe. True when the library is loaded.
bool LoadSQLiteLibrary();
// True when the library is loaded; when it is not, loading is tried again first.
bool SQLiteLibraryLoaded();
// Forgets the loaded library and makes later loads use name (nullptr: the usual name), so that
// tests can see the program without the library. Databases already open keep working.
void SetSQLiteLibraryNameForTesting(const char* name);

// The English text of a result code.
WideString SQLiteErrorStr(int code);

class TSQLiteTable;

// One value for a statement's parameter, as the caller gives it; its kind says how it is bound.
// Text is SQL text (UTF-8) or UTF-16; a null pointer binds NULL; a stream binds its bytes as a
// blob (a memory stream from its position on, any other stream whole). A binding made without a
// value binds nothing: it is refused.
struct TSQLiteBinding {
  enum TKind : uint8_t { bkNone, bkText, bkInteger, bkInt64, bkExtended, bkBoolean, bkPointer, bkObject };
  enum TStringType : uint8_t { stAnsi, stWide };

  TSQLiteBinding() = default;
  TSQLiteBinding(const char* text) : Kind(text ? bkText : bkPointer), Ansi(text ? text : "") {}
  TSQLiteBinding(AnsiString text) : Kind(bkText), Ansi(std::move(text)) {}
  TSQLiteBinding(const char16_t* text) : Kind(text ? bkText : bkPointer), StringType(stWide), Wide(text ? text : u"") {}
  TSQLiteBinding(WideString text) : Kind(bkText), StringType(stWide), Wide(std::move(text)) {}
  TSQLiteBinding(int32_t value) : Kind(bkInteger), Int(value) {}
  TSQLiteBinding(long value) : Kind(bkInt64), Int(value) {}
  TSQLiteBinding(long long value) : Kind(bkInt64), Int(value) {}
  TSQLiteBinding(double value) : Kind(bkExtended), Float(value) {}
  TSQLiteBinding(bool value) : Kind(bkBoolean), Int(value) {}
  TSQLiteBinding(std::nullptr_t) : Kind(bkPointer) {}
  TSQLiteBinding(const void* pointer) : Kind(bkPointer), Pointer(pointer) {}
  TSQLiteBinding(TStream* stream) : Kind(bkObject), Object(stream) {}

  TKind Kind = bkNone;
  TStringType StringType = stAnsi;
  AnsiString Ansi;
  WideString Wide;
  int64_t Int = 0;
  double Float = 0;
  const void* Pointer = nullptr;
  TStream* Object = nullptr;
};

// A named parameter for the next statement: Name as the statement writes it (":id", "@id",
// "$id"); a name the statement does not have is passed over.
struct TSQLiteParam {
  AnsiString Name;
  TSQLiteBinding Value;
};

class TSQLiteDatabase {
public:
  // Opens an existing database file for reading; never creates one. Raises ESQLiteException
  // naming the file when it cannot be opened or the library is not loaded.
  explicit TSQLiteDatabase(const WideString& fileName);
  ~TSQLiteDatabase();
  TSQLiteDatabase(const TSQLiteDatabase&) = delete;
  TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

  // SQL texts are UTF-8. Runs sql, with Params and the positional values, and holds its whole
  // result.
  std::unique_ptr<TSQLiteTable> GetTable(const AnsiString& sql, const std::vector<TSQLiteBinding>& values = {});
  // Runs one statement that returns no rows, with Params and the positional values.
  void ExecSQL(const AnsiString& sql, const std::vector<TSQLiteBinding>& values = {});
  void Rollback();
  // Adds a named parameter for the next statement.
  void AddParam(const AnsiString& name, TSQLiteBinding value);
  // Binds values to the statement's parameters 1, 2, ... Raises ESQLiteException naming what
  // could not be bound.
  void BindData(sqlite3_stmt* statement, const std::vector<TSQLiteBinding>& values);
  // Raises ESQLiteException: msg, with the connection's last result code and message when
  // there is one.
  [[noreturn]] void RaiseError(const AnsiString& msg, const AnsiString& sql);

  // What one reading of the database may cost: the library gives up a statement that has run
  // more of its virtual machine's steps since the last StartBudget than kStepsPerFileByte for
  // each byte of the file (and at least kStepsAtLeast), and no text or blob it makes may be
  // longer than kMaxValueBytes; the error's Reason then says which bound was met. Reading a
  // table takes some seven steps a row, and a row takes a few bytes of the file at least: a
  // pass over any stored table stays far below the bound.
  static constexpr int64_t kStepsPerFileByte = 64;
  static constexpr int64_t kStepsAtLeast = int64_t{64} << 20;
  static constexpr int kMaxValueBytes = 256 << 20;
  static constexpr int kStepsPerCall = 1000;
  // Starts a new reading of the database: the count of steps begins again.
  void StartBudget() { Steps = 0; }
  bool OverBudget() const { return Steps > StepBudget; }

  bool InTrans = false;
  // The named parameters of the next statement; cleared once it is prepared, whether it runs or
  // fails.
  std::vector<TSQLiteParam> Params;
  // Called with each statement's text before it runs.
  std::function<void(TSQLiteDatabase&, const AnsiString&)> OnQuery;

  sqlite3* DB = nullptr;

private:
  friend class TSQLiteTable;
  friend class TSQLiteCursor;
  // Prepares sql into statement (finalised by the caller), tells OnQuery, and binds Params and
  // values.
  void Prepare(const AnsiString& sql, const std::vector<TSQLiteBinding>& values, sqlite3_stmt*& statement);
  void Bind(sqlite3_stmt* statement, int index, const TSQLiteBinding& value);
  std::shared_ptr<const TSQLiteApi> Api;
  static int CountSteps(void* db);
  int64_t Steps = 0;
  int64_t StepBudget = 0;
};

// One query read row by row as the cursor moves forward, so that memory does not grow with the
// result; moving back to the first row runs the query again. Columns and their types are those
// TSQLiteTable would give, and so are the fields' texts.
class TSQLiteCursor {
public:
  // Prepares sql; raises ESQLiteException as GetTable does. No row is read yet: MoveFirst.
  TSQLiteCursor(TSQLiteDatabase& db, const AnsiString& sql);
  ~TSQLiteCursor();
  TSQLiteCursor(const TSQLiteCursor&) = delete;
  TSQLiteCursor& operator=(const TSQLiteCursor&) = delete;

  int ColCount() const { return static_cast<int>(Cols.size()); }
  // The upper-cased name of a column.
  const WideString& Columns(int index) const;
  // The number of rows moved over since the first row (0 on the first row).
  int64_t Row() const { return FRow; }
  bool Eof() const { return FEof; }
  // To the first row; false when there is none.
  bool MoveFirst();
  // To the next row; false at the end.
  bool Next();
  // The field of the current row as text, into out; raises "Table is at End of File" at the end.
  void FieldAsString(int index, WideString& out);
  // The text FieldAsString gives for a field whose bytes FieldAsUtf8 gave.
  static void TextOfUtf8(std::string_view bytes, WideString& out);
  // The field of a text column as SQLite holds it, UTF-8 up to its first zero byte, valid until
  // the cursor moves; false (and nothing in out) for a column of another type, whose text is
  // FieldAsString's. Raises as FieldAsString.
  bool FieldAsUtf8(int index, std::string_view& out);
  // The same with every byte of the text, a zero byte and what follows it included.
  bool FieldAsUtf8Whole(int index, std::string_view& out);
  // The field of an integer column (NULL reads 0), without its text; false (out untouched) for
  // a column of another type. Raises as FieldAsString.
  bool FieldAsInt64(int index, int64_t& out);
  // The field of the current row when SQLite holds it as an integer, whatever its column's
  // declared type (an "INT" column is read as text), without making text of it; false (out
  // untouched) for any other value. Raises as FieldAsString.
  bool StoredInt64(int index, int64_t& out);

private:
  bool Step();

  TSQLiteDatabase& Db;
  std::shared_ptr<const TSQLiteApi> Api;
  sqlite3_stmt* Stmt = nullptr;
  AnsiString Sql;
  std::vector<WideString> Cols;
  std::vector<uint8_t> ColTypes;  // fixed from the first row, as in TSQLiteTable
  bool TypesFixed = false;
  bool FEof = true;
  int64_t FRow = 0;
};

// The complete result of one query: every row is read before the constructor returns.
class TSQLiteTable {
public:
  TSQLiteTable(TSQLiteDatabase& db, const AnsiString& sql, const std::vector<TSQLiteBinding>& values = {});
  ~TSQLiteTable();
  TSQLiteTable(const TSQLiteTable&) = delete;
  TSQLiteTable& operator=(const TSQLiteTable&) = delete;

  // Column types, fixed from the first row.
  enum : uint8_t { dtInt = 1, dtNumeric = 2, dtStr = 3, dtBlob = 4, dtNull = 5 };

  int RowCount() const { return FRowCount; }
  int ColCount() const { return FColCount; }
  int Row() const { return FRow; }
  // The upper-cased name of a column.
  const WideString& Columns(int index) const;
  uint8_t ColTypes(int index) const;

  // EOF and BOF of the cursor (the C library owns the name EOF).
  bool Eof() const { return FRow >= FRowCount; }
  bool Bof() const { return FRow == 0; }
  bool Next();
  bool Previous();
  bool MoveFirst();

  // Fields of the current row. All raise "Table is at End of File" at the end.
  WideString FieldAsString(int index) const;
  int64_t FieldAsInteger(int index) const;
  double FieldAsDouble(int index) const;
  // A blob's bytes as a new stream; nullptr for NULL; "Not a Blob field" for another column.
  std::unique_ptr<TMemoryStream> FieldAsBlob(int index) const;
  // A blob's bytes; empty for NULL; "Not a Blob field" for another column.
  AnsiString FieldAsBlobText(int index) const;

private:
  // One value: 16 bytes, texts and blobs in the table's text blocks.
  struct TCell {
    union {
      int64_t Int;
      double Float;
      const char* Text;
    };
    uint32_t Length;  // bytes of Text
    bool Null;
  };

  void ReadRow(const TSQLiteApi& api, sqlite3_stmt* stmt);
  void FixColumns(const TSQLiteApi& api, sqlite3_stmt* stmt);
  const char* StoreText(const char* text, size_t length);
  const TCell& Cell(int index) const;

  std::vector<TCell> Results;  // row after row, ColCount cells each
  std::vector<WideString> Cols;
  std::vector<uint8_t> FColTypes;
  std::vector<std::unique_ptr<char[]>> TextBlocks;
  char* CurrentBlock = nullptr;  // where short texts go
  size_t BlockUsed = 0;
  int FRowCount = 0;
  int FColCount = 0;
  int FRow = 0;
};
