#include "tm/sqlite/SQLiteTable3.h"

#include <dlfcn.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <mutex>
#include <new>
#include <string>

#include "base/MyUnicodes.h"
#include "platform/core/Files.h"
#include "platform/core/MemoryStream.h"
#include "platform/core/Utf8.h"

// The entry points the program calls, bound by name from the library loaded at run time.
// sqlite3.h only lends the types: nothing here links against the library.
struct TSQLiteApi {
  decltype(&::sqlite3_open_v2) open_v2 = nullptr;
  decltype(&::sqlite3_close) close = nullptr;
  decltype(&::sqlite3_close_v2) close_v2 = nullptr;
  decltype(&::sqlite3_errcode) errcode = nullptr;
  decltype(&::sqlite3_errmsg) errmsg = nullptr;
  decltype(&::sqlite3_prepare_v2) prepare_v2 = nullptr;
  decltype(&::sqlite3_step) step = nullptr;
  decltype(&::sqlite3_reset) reset = nullptr;
  decltype(&::sqlite3_finalize) finalize = nullptr;
  decltype(&::sqlite3_column_count) column_count = nullptr;
  decltype(&::sqlite3_column_name) column_name = nullptr;
  decltype(&::sqlite3_column_decltype) column_decltype = nullptr;
  decltype(&::sqlite3_column_type) column_type = nullptr;
  decltype(&::sqlite3_column_int64) column_int64 = nullptr;
  decltype(&::sqlite3_column_double) column_double = nullptr;
  decltype(&::sqlite3_column_text) column_text = nullptr;
  decltype(&::sqlite3_column_bytes) column_bytes = nullptr;
  decltype(&::sqlite3_column_blob) column_blob = nullptr;
  decltype(&::sqlite3_bind_parameter_index) bind_parameter_index = nullptr;
  decltype(&::sqlite3_bind_text) bind_text = nullptr;
  decltype(&::sqlite3_bind_int) bind_int = nullptr;
  decltype(&::sqlite3_bind_int64) bind_int64 = nullptr;
  decltype(&::sqlite3_bind_double) bind_double = nullptr;
  decltype(&::sqlite3_bind_null) bind_null = nullptr;
  decltype(&::sqlite3_bind_blob) bind_blob = nullptr;
  decltype(&::sqlite3_limit) limit = nullptr;
  decltype(&::sqlite3_progress_handler) progress_handler = nullptr;
};

namespace {

std::mutex g_loadLock;
std::shared_ptr<const TSQLiteApi> g_api;  // guarded by g_loadLock
std::string g_libraryName = SQLiteLibraryName;

template <typename Fn>
bool Bind(void* handle, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(::dlsym(handle, name));
  return fn != nullptr;
}

std::shared_ptr<const TSQLiteApi> LoadApi(const std::string& name) {
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  auto api = std::make_shared<TSQLiteApi>();
  const bool ok = Bind(handle, "sqlite3_open_v2", api->open_v2) && Bind(handle, "sqlite3_close", api->close) &&
                  Bind(handle, "sqlite3_close_v2", api->close_v2) && Bind(handle, "sqlite3_errcode", api->errcode) &&
                  Bind(handle, "sqlite3_errmsg", api->errmsg) && Bind(handle, "sqlite3_prepare_v2", api->prepare_v2) &&
                  Bind(handle, "sqlite3_step", api->step) && Bind(handle, "sqlite3_reset", api->reset) &&
                  Bind(handle, "sqlite3_finalize", api->finalize) &&
                  Bind(handle, "sqlite3_column_count", api->column_count) &&
                  Bind(handle, "sqlite3_column_name", api->column_name) &&
                  Bind(handle, "sqlite3_column_decltype", api->column_decltype) &&
                  Bind(handle, "sqlite3_column_type", api->column_type) &&
                  Bind(handle, "sqlite3_column_int64", api->column_int64) &&
                  Bind(handle, "sqlite3_column_double", api->column_double) &&
                  Bind(handle, "sqlite3_column_text", api->column_text) &&
                  Bind(handle, "sqlite3_column_bytes", api->column_bytes) &&
                  Bind(handle, "sqlite3_column_blob", api->column_blob) &&
                  Bind(handle, "sqlite3_bind_parameter_index", api->bind_parameter_index) &&
                  Bind(handle, "sqlite3_bind_text", api->bind_text) && Bind(handle, "sqlite3_bind_int", api->bind_int) &&
                  Bind(handle, "sqlite3_bind_int64", api->bind_int64) &&
                  Bind(handle, "sqlite3_bind_double", api->bind_double) &&
                  Bind(handle, "sqlite3_bind_null", api->bind_null) && Bind(handle, "sqlite3_bind_blob", api->bind_blob) &&
                  Bind(handle, "sqlite3_limit", api->limit) &&
                  Bind(handle, "sqlite3_progress_handler", api->progress_handler);
  if (!ok) {
    ::dlclose(handle);
    return nullptr;
  }
  // The library stays mapped for the life of the process: a database opened through this table
  // may outlive the table's place in g_api.
  return api;
}

std::shared_ptr<const TSQLiteApi> CurrentApi() {
  std::lock_guard<std::mutex> lock(g_loadLock);
  if (!g_api) g_api = LoadApi(g_libraryName);
  return g_api;
}

WideString FromUtf8(std::string_view bytes) { return platform::Utf8ToUtf16(bytes); }

WideString Number(int64_t value) {
  const std::string s = std::to_string(value);
  return WideString(s.begin(), s.end());
}

// The general format of the class library: 15 significant digits, the shorter of fixed and
// scientific, an exponent without "+" or leading zeros ("1E20", "1E-5").
WideString FloatToStr(double value) {
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value > 0 ? u"INF" : u"-INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s = buf;
  const size_t e = s.find('E');
  if (e != std::string::npos) {
    std::string mantissa = s.substr(0, e), exponent = s.substr(e + 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+')) exponent.erase(0, 1);
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    s = mantissa + "E" + (negative ? "-" : "") + exponent;
  }
  return WideString(s.begin(), s.end());
}

// Finalises its statement on every way out, so that the database can always close.
struct TStatement {
  const TSQLiteApi& Api;
  sqlite3_stmt* Handle = nullptr;
  explicit TStatement(const TSQLiteApi& api) : Api(api) {}
  ~TStatement() {
    if (Handle) Api.finalize(Handle);
  }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
};

[[noreturn]] void RaiseTable(const char16_t* message) { throw ESQLiteException(message); }

// The type a column's values are read as: its declared type, compared exactly as the schema
// wrote it, or the type of its value in the first row.
uint8_t ColumnType(const TSQLiteApi& api, sqlite3_stmt* stmt, int i) {
  const char* decl = api.column_decltype(stmt, i);
  if (!decl) return static_cast<uint8_t>(api.column_type(stmt, i));
  if (!std::strcmp(decl, "INTEGER") || !std::strcmp(decl, "BOOLEAN")) return TSQLiteTable::dtInt;
  if (!std::strcmp(decl, "NUMERIC") || !std::strcmp(decl, "FLOAT") || !std::strcmp(decl, "DOUBLE") ||
      !std::strcmp(decl, "REAL"))
    return TSQLiteTable::dtNumeric;
  if (!std::strcmp(decl, "BLOB")) return TSQLiteTable::dtBlob;
  return TSQLiteTable::dtStr;
}

WideString UpperColumnName(const TSQLiteApi& api, sqlite3_stmt* stmt, int i) {
  const char* name = api.column_name(stmt, i);
  WideString upper = FromUtf8(name ? name : "");
  FoldWStr(upper.data());
  return upper;
}

constexpr size_t kTextBlock = 64 * 1024;

}  // namespace

bool LoadSQLiteLibrary() { return CurrentApi() != nullptr; }

bool SQLiteLibraryLoaded() { return CurrentApi() != nullptr; }

void SetSQLiteLibraryNameForTesting(const char* name) {
  std::lock_guard<std::mutex> lock(g_loadLock);
  g_libraryName = name ? name : SQLiteLibraryName;
  g_api.reset();
}

WideString SQLiteErrorStr(int code) {
  static const char16_t* const texts[] = {
      u"Successful result",
      u"SQL error or missing database",
      u"An internal logic error in SQLite",
      u"Access permission denied",
      u"Callback routine requested an abort",
      u"The database file is locked",
      u"A table in the database is locked",
      u"A malloc() failed",
      u"Attempt to write a readonly database",
      u"Operation terminated by sqlite3_interrupt()",
      u"Some kind of disk I/O error occurred",
      u"The database disk image is malformed",
      u"(Internal Only) Table or record not found",
      u"Insertion failed because database is full",
      u"Unable to open the database file",
      u"Database lock protocol error",
      u"Database is empty",
      u"The database schema changed",
      u"Too much data for one row of a table",
      u"Abort due to contraint violation",
      u"Data type mismatch",
      u"Library used incorrectly",
      u"Uses OS features not supported on host",
      u"Authorization denied",
      u"Auxiliary database format error",
      u"2nd parameter to sqlite3_bind out of range",
      u"File opened that is not a database file",
  };
  if (code >= 0 && code < static_cast<int>(std::size(texts))) return texts[code];
  if (code == SQLITE_ROW) return u"sqlite3_step() has another row ready";
  if (code == SQLITE_DONE) return u"sqlite3_step() has finished executing";
  return u"Unknown SQLite Error Code \"" + Number(code) + u"\"";
}

// ---------------------------------------------------------------------------------------------
TSQLiteDatabase::TSQLiteDatabase(const WideString& fileName) : Api(CurrentApi()) {
  static const char16_t* const kFormat = u"Failed to open database \"%s\" : %s";
  if (!Api) {
    const std::string lib = [] {
      std::lock_guard<std::mutex> lock(g_loadLock);
      return g_libraryName;
    }();
    throw ESQLiteException(WideFormat(kFormat, {fileName, u"the SQLite library " + FromUtf8(lib) + u" is missing"}));
  }
  // A read never creates a database: the name must be an existing file (a FIFO or a device
  // would block or mislead the library), and the library is asked for read-only access.
  if (!platform::IsRegularFile(fileName)) {
    WideString reason;
    if (!platform::PathExists(fileName))
      reason = platform::SystemErrorText(platform::LastErrorCode() ? platform::LastErrorCode() : ENOENT);
    else if (platform::IsDirectory(fileName))
      reason = platform::SystemErrorText(EISDIR);
    else
      reason = u"not a regular file";
    throw ESQLiteException(WideFormat(kFormat, {fileName, reason}));
  }
  // An absolute path, so that no name is taken for a URI or for ":memory:".
  const std::string path = platform::NativeName(platform::FullPathName(fileName));
  sqlite3* db = nullptr;
  const int rc = Api->open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    WideString reason = u"unknown error";
    if (db) {
      const char* e = Api->errmsg(db);
      if (e) reason = FromUtf8(e);
      Api->close_v2(db);
    }
    throw ESQLiteException(WideFormat(kFormat, {fileName, reason}));
  }
  DB = db;
  // A file may hold a view or a computed column that makes the library work without end or
  // build values of any size: every reading is bounded (see kStepsPerFileByte).
  Api->limit(DB, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
  std::error_code error;
  const auto bytes = std::filesystem::file_size(path, error);
  const int64_t size = error ? 0 : static_cast<int64_t>(std::min<uintmax_t>(bytes, INT64_MAX / kStepsPerFileByte));
  StepBudget = std::max(kStepsAtLeast, size * kStepsPerFileByte);
  Api->progress_handler(DB, kStepsPerCall, &TSQLiteDatabase::CountSteps, this);
}

int TSQLiteDatabase::CountSteps(void* db) {
  auto* self = static_cast<TSQLiteDatabase*>(db);
  self->Steps += kStepsPerCall;
  return self->OverBudget() ? 1 : 0;
}

TSQLiteDatabase::~TSQLiteDatabase() {
  if (InTrans) {
    try {
      Rollback();
    } catch (...) {
      // Closing the connection rolls back whatever remains.
    }
    InTrans = false;
  }
  if (DB && Api->close(DB) != SQLITE_OK) Api->close_v2(DB);
  DB = nullptr;
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::GetTable(const AnsiString& sql, const std::vector<TSQLiteBinding>& values) {
  return std::make_unique<TSQLiteTable>(*this, sql, values);
}

void TSQLiteDatabase::ExecSQL(const AnsiString& sql, const std::vector<TSQLiteBinding>& values) {
  TStatement stmt(*Api);
  Prepare(sql, values, stmt.Handle);
  if (Api->step(stmt.Handle) != SQLITE_DONE) RaiseError("Error executing SQL statement", sql);
}

void TSQLiteDatabase::AddParam(const AnsiString& name, TSQLiteBinding value) {
  Params.push_back({name, std::move(value)});
}

void TSQLiteDatabase::Prepare(const AnsiString& sql, const std::vector<TSQLiteBinding>& values, sqlite3_stmt*& statement) {
  // The parameters belong to this statement alone, however it ends.
  struct TClear {
    std::vector<TSQLiteParam>& Params;
    ~TClear() { Params.clear(); }
  } clear{Params};
  if (Api->prepare_v2(DB, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) RaiseError("Error executing SQL", sql);
  if (!statement) RaiseError("Could not prepare SQL statement", sql);
  if (OnQuery) OnQuery(*this, sql);
  for (const TSQLiteParam& param : Params) {
    const int index = Api->bind_parameter_index(statement, param.Name.c_str());
    if (index > 0) Bind(statement, index, param.Value);
  }
  BindData(statement, values);
}

void TSQLiteDatabase::BindData(sqlite3_stmt* statement, const std::vector<TSQLiteBinding>& values) {
  for (size_t i = 0; i < values.size(); ++i) Bind(statement, static_cast<int>(i + 1), values[i]);
}

// Every value is copied by the library (SQLITE_TRANSIENT): texts converted here and streams read
// here do not outlive this call, and the caller's memory may change before the statement runs.
void TSQLiteDatabase::Bind(sqlite3_stmt* statement, int index, const TSQLiteBinding& value) {
  static const char* const kWhere = "BindData";
  switch (value.Kind) {
    case TSQLiteBinding::bkText: {
      AnsiString utf8;
      const AnsiString* text = &value.Ansi;
      switch (value.StringType) {
        case TSQLiteBinding::stAnsi: break;
        case TSQLiteBinding::stWide:
          utf8 = platform::Utf16ToUtf8(value.Wide);
          text = &utf8;
          break;
        default: throw ESQLiteException(u"Unknown string-type");
      }
      // The exact length: a text keeps its zero bytes and gains none.
      if (text->size() > static_cast<size_t>(INT_MAX) ||
          Api->bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT) != SQLITE_OK)
        RaiseError("Could not bind text", kWhere);
      break;
    }
    case TSQLiteBinding::bkInteger:
      if (Api->bind_int(statement, index, static_cast<int>(value.Int)) != SQLITE_OK) RaiseError("Could not bind integer", kWhere);
      break;
    case TSQLiteBinding::bkInt64:
      if (Api->bind_int64(statement, index, value.Int) != SQLITE_OK) RaiseError("Could not bind int64", kWhere);
      break;
    case TSQLiteBinding::bkExtended:
      if (Api->bind_double(statement, index, value.Float) != SQLITE_OK) RaiseError("Could not bind extended", kWhere);
      break;
    case TSQLiteBinding::bkBoolean:
      if (Api->bind_int(statement, index, value.Int != 0) != SQLITE_OK) RaiseError("Could not bind boolean", kWhere);
      break;
    case TSQLiteBinding::bkPointer:
      if (value.Pointer) throw ESQLiteException(u"Unhandled pointer (<> nil)");
      if (Api->bind_null(statement, index) != SQLITE_OK) RaiseError("Could not bind null", kWhere);
      break;
    case TSQLiteBinding::bkObject: {
      std::vector<uint8_t> bytes;
      const void* data = nullptr;
      int64_t size = 0;
      if (auto* memory = dynamic_cast<TMemoryStream*>(value.Object)) {
        // A memory stream from where it stands.
        const int64_t at = std::min<int64_t>(std::max<int64_t>(memory->GetPosition(), 0), memory->GetSize());
        data = memory->Memory() + at;
        size = memory->GetSize() - at;
      } else if (value.Object) {
        // Any other stream whole, read into memory first; a size no blob can have is never
        // asked of the allocator.
        TStream& stream = *value.Object;
        size = stream.GetSize();
        try {
          if (size < 0 || size > INT_MAX) throw std::bad_alloc();
          bytes.resize(static_cast<size_t>(size));
        } catch (const std::exception&) {
          throw ESQLiteException(u"Error getting memory to save blob");
        }
        stream.SetPosition(0);
        size = std::max<int64_t>(stream.Read(bytes.data(), size), 0);
        data = bytes.data();
      } else {
        throw ESQLiteException(u"Unhandled object-type in binding");
      }
      if (size > INT_MAX || Api->bind_blob(statement, index, data, static_cast<int>(size), SQLITE_TRANSIENT) != SQLITE_OK)
        RaiseError("Could not bind BLOB", kWhere);
      break;
    }
    default: throw ESQLiteException(u"Unhandled binding");
  }
}

void TSQLiteDatabase::Rollback() {
  ExecSQL("ROLLBACK");
  InTrans = false;
}

void TSQLiteDatabase::RaiseError(const AnsiString& msg, const AnsiString& sql) {
  const int code = DB ? Api->errcode(DB) : 0;
  const char* e = code != 0 ? Api->errmsg(DB) : nullptr;
  if (code != 0 && e) {
    WideString reason = FromUtf8(e);
    if (code == SQLITE_INTERRUPT && OverBudget())
      reason = u"reading it takes more work than any database of its size needs";
    else if (code == SQLITE_TOOBIG)
      reason = u"it holds a value longer than " + Number(kMaxValueBytes >> 20) + u" MB";
    else if (code == SQLITE_NOMEM)
      reason = u"not enough memory";
    throw ESQLiteException(FromUtf8(msg) + u".\rError [" + Number(code) + u"]: " + SQLiteErrorStr(code) + u".\r\"" +
                               FromUtf8(sql) + u"\": " + FromUtf8(e),
                           reason, code == SQLITE_NOMEM);
  }
  throw ESQLiteException(WideFormat(FromUtf8(msg), {FromUtf8(sql), u"No message"}));
}

// ---------------------------------------------------------------------------------------------
TSQLiteTable::TSQLiteTable(TSQLiteDatabase& db, const AnsiString& sql, const std::vector<TSQLiteBinding>& values) {
  const TSQLiteApi& api = *db.Api;
  TStatement stmt(api);
  db.Prepare(sql, values, stmt.Handle);
  db.StartBudget();
  for (;;) {
    const int rc = api.step(stmt.Handle);
    if (rc == SQLITE_DONE) break;
    if (rc == SQLITE_BUSY) RaiseTable(u"Could not prepare SQL statement");
    if (rc != SQLITE_ROW) {
      api.reset(stmt.Handle);
      db.RaiseError("Could not retrieve data", sql);
    }
    if (FRowCount == 0) FixColumns(api, stmt.Handle);
    ReadRow(api, stmt.Handle);
    ++FRowCount;
  }
  FRow = 0;
}

TSQLiteTable::~TSQLiteTable() = default;

void TSQLiteTable::FixColumns(const TSQLiteApi& api, sqlite3_stmt* stmt) {
  FColCount = api.column_count(stmt);
  Cols.reserve(static_cast<size_t>(FColCount));
  FColTypes.reserve(static_cast<size_t>(FColCount));
  for (int i = 0; i < FColCount; ++i) {
    Cols.push_back(UpperColumnName(api, stmt, i));
    FColTypes.push_back(ColumnType(api, stmt, i));
  }
}

void TSQLiteTable::ReadRow(const TSQLiteApi& api, sqlite3_stmt* stmt) {
  static_assert(sizeof(TCell) == 16, "a cell costs 16 bytes");
  for (int i = 0; i < FColCount; ++i) {
    TCell cell{};
    cell.Null = api.column_type(stmt, i) == SQLITE_NULL;
    if (!cell.Null) {
      switch (FColTypes[static_cast<size_t>(i)]) {
        case dtInt: cell.Int = api.column_int64(stmt, i); break;
        case dtNumeric: cell.Float = api.column_double(stmt, i); break;
        case dtBlob: {
          const void* blob = api.column_blob(stmt, i);
          const int bytes = api.column_bytes(stmt, i);
          const size_t length = blob && bytes > 0 ? static_cast<size_t>(bytes) : 0;
          cell.Text = StoreText(static_cast<const char*>(blob), length);
          cell.Length = static_cast<uint32_t>(length);
          break;
        }
        default: {
          const auto* text = reinterpret_cast<const char*>(api.column_text(stmt, i));
          const int bytes = api.column_bytes(stmt, i);
          // The text ends at its first zero byte.
          const size_t length = text && bytes > 0 ? ::strnlen(text, static_cast<size_t>(bytes)) : 0;
          cell.Text = StoreText(text, length);
          cell.Length = static_cast<uint32_t>(length);
        }
      }
    }
    Results.push_back(cell);
  }
}

// Texts go into blocks that are never moved, so that storing a row costs its own size only;
// a long text has a block of its own.
const char* TSQLiteTable::StoreText(const char* text, size_t length) {
  if (length == 0) return nullptr;
  char* dest;
  if (length > kTextBlock / 4) {
    TextBlocks.push_back(std::make_unique<char[]>(length));
    dest = TextBlocks.back().get();
  } else {
    if (!CurrentBlock || BlockUsed + length > kTextBlock) {
      TextBlocks.push_back(std::make_unique<char[]>(kTextBlock));
      CurrentBlock = TextBlocks.back().get();
      BlockUsed = 0;
    }
    dest = CurrentBlock + BlockUsed;
    BlockUsed += length;
  }
  std::memcpy(dest, text, length);
  return dest;
}

const WideString& TSQLiteTable::Columns(int index) const {
  if (index < 0 || index >= FColCount) RaiseTable(u"Column index out of range");
  return Cols[static_cast<size_t>(index)];
}

uint8_t TSQLiteTable::ColTypes(int index) const {
  if (index < 0 || index >= FColCount) RaiseTable(u"Column index out of range");
  return FColTypes[static_cast<size_t>(index)];
}

const TSQLiteTable::TCell& TSQLiteTable::Cell(int index) const {
  if (Eof()) RaiseTable(u"Table is at End of File");
  if (index < 0 || index >= FColCount) RaiseTable(u"Column index out of range");
  return Results[static_cast<size_t>(FRow) * static_cast<size_t>(FColCount) + static_cast<size_t>(index)];
}

bool TSQLiteTable::Next() {
  if (Eof()) return false;
  ++FRow;
  return true;
}

bool TSQLiteTable::Previous() {
  if (Bof()) return false;
  --FRow;
  return true;
}

bool TSQLiteTable::MoveFirst() {
  if (FRowCount <= 0) return false;
  FRow = 0;
  return true;
}

WideString TSQLiteTable::FieldAsString(int index) const {
  const TCell& cell = Cell(index);
  switch (FColTypes[static_cast<size_t>(index)]) {
    case dtInt: return Number(FieldAsInteger(index));
    case dtNumeric: return FloatToStr(FieldAsDouble(index));
    case dtBlob: return FromUtf8(FieldAsBlobText(index));
    // A column without a declared type whose first value was NULL holds its later values as
    // text: they are read as text, not lost.
    case dtStr:
    case dtNull: return cell.Null ? WideString() : FromUtf8(std::string_view(cell.Text ? cell.Text : "", cell.Length));
    default: return WideString();
  }
}

int64_t TSQLiteTable::FieldAsInteger(int index) const {
  const TCell& cell = Cell(index);
  if (cell.Null) return 0;
  switch (FColTypes[static_cast<size_t>(index)]) {
    case dtInt: return cell.Int;
    case dtNumeric: {
      // Truncated toward zero; values beyond the range are held at its ends.
      const double d = std::trunc(cell.Float);
      if (std::isnan(d)) return 0;
      if (d >= 9223372036854775807.0) return INT64_MAX;
      if (d <= -9223372036854775808.0) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    default: RaiseTable(u"Not an integer or numeric field");
  }
}

double TSQLiteTable::FieldAsDouble(int index) const {
  const TCell& cell = Cell(index);
  if (cell.Null) return 0;
  switch (FColTypes[static_cast<size_t>(index)]) {
    case dtInt: return static_cast<double>(cell.Int);
    case dtNumeric: return cell.Float;
    default: RaiseTable(u"Not an integer or numeric field");
  }
}

std::unique_ptr<TMemoryStream> TSQLiteTable::FieldAsBlob(int index) const {
  const TCell& cell = Cell(index);
  if (cell.Null) return nullptr;
  if (FColTypes[static_cast<size_t>(index)] != dtBlob) RaiseTable(u"Not a Blob field");
  return std::make_unique<TMemoryStream>(std::vector<uint8_t>(cell.Text, cell.Text + cell.Length));
}

AnsiString TSQLiteTable::FieldAsBlobText(int index) const {
  const TCell& cell = Cell(index);
  if (cell.Null) return AnsiString();
  if (FColTypes[static_cast<size_t>(index)] != dtBlob) RaiseTable(u"Not a Blob field");
  return AnsiString(cell.Text ? cell.Text : "", cell.Length);
}

// ---------------------------------------------------------------------------------------------
TSQLiteCursor::TSQLiteCursor(TSQLiteDatabase& db, const AnsiString& sql) : Db(db), Api(db.Api), Sql(sql) {
  TStatement stmt(*Api);
  db.Prepare(sql, {}, stmt.Handle);
  std::swap(Stmt, stmt.Handle);
  const int count = Api->column_count(Stmt);
  for (int i = 0; i < count; ++i) Cols.push_back(UpperColumnName(*Api, Stmt, i));
}

TSQLiteCursor::~TSQLiteCursor() {
  if (Stmt) Api->finalize(Stmt);
}

const WideString& TSQLiteCursor::Columns(int index) const {
  if (index < 0 || index >= ColCount()) RaiseTable(u"Column index out of range");
  return Cols[static_cast<size_t>(index)];
}

bool TSQLiteCursor::Step() {
  const int rc = Api->step(Stmt);
  if (rc == SQLITE_DONE) {
    FEof = true;
    return false;
  }
  if (rc == SQLITE_BUSY) RaiseTable(u"Could not prepare SQL statement");
  if (rc != SQLITE_ROW) {
    FEof = true;
    Api->reset(Stmt);
    Db.RaiseError("Could not retrieve data", Sql);
  }
  if (!TypesFixed) {
    for (int i = 0; i < ColCount(); ++i) ColTypes.push_back(ColumnType(*Api, Stmt, i));
    TypesFixed = true;
  }
  FEof = false;
  return true;
}

bool TSQLiteCursor::MoveFirst() {
  Api->reset(Stmt);
  Db.StartBudget();
  FRow = 0;
  return Step();
}

bool TSQLiteCursor::Next() {
  if (FEof) return false;
  ++FRow;
  return Step();
}

bool TSQLiteCursor::FieldAsUtf8(int index, std::string_view& out) {
  if (FEof) RaiseTable(u"Table is at End of File");
  if (index < 0 || index >= ColCount()) RaiseTable(u"Column index out of range");
  out = {};
  const uint8_t type = ColTypes[static_cast<size_t>(index)];
  if (type != TSQLiteTable::dtStr && type != TSQLiteTable::dtNull) return false;
  // NULL has no text: column_text says so without a separate look at the value's type. Its
  // text always ends with a zero byte after its column_bytes bytes, so that the text up to its
  // first zero byte is found without asking for their count.
  const auto* text = reinterpret_cast<const char*>(Api->column_text(Stmt, index));
  if (!text) return true;
  out = std::string_view(text);
  return true;
}

bool TSQLiteCursor::FieldAsUtf8Whole(int index, std::string_view& out) {
  if (!FieldAsUtf8(index, out)) return false;
  if (out.data()) {
    const int bytes = Api->column_bytes(Stmt, index);
    out = std::string_view(out.data(), bytes > 0 ? static_cast<size_t>(bytes) : 0);
  }
  return true;
}

bool TSQLiteCursor::StoredInt64(int index, int64_t& out) {
  if (FEof) RaiseTable(u"Table is at End of File");
  if (index < 0 || index >= ColCount()) RaiseTable(u"Column index out of range");
  if (Api->column_type(Stmt, index) != SQLITE_INTEGER) return false;
  out = Api->column_int64(Stmt, index);
  return true;
}

bool TSQLiteCursor::FieldAsInt64(int index, int64_t& out) {
  if (FEof) RaiseTable(u"Table is at End of File");
  if (index < 0 || index >= ColCount()) RaiseTable(u"Column index out of range");
  if (ColTypes[static_cast<size_t>(index)] != TSQLiteTable::dtInt) return false;
  out = Api->column_type(Stmt, index) == SQLITE_NULL ? 0 : Api->column_int64(Stmt, index);
  return true;
}

void TSQLiteCursor::FieldAsString(int index, WideString& out) {
  if (FEof) RaiseTable(u"Table is at End of File");
  if (index < 0 || index >= ColCount()) RaiseTable(u"Column index out of range");
  out.clear();
  const bool null = Api->column_type(Stmt, index) == SQLITE_NULL;
  switch (ColTypes[static_cast<size_t>(index)]) {
    // A number column reads NULL as 0, as the whole-result table does.
    case TSQLiteTable::dtInt: out = Number(null ? 0 : Api->column_int64(Stmt, index)); break;
    case TSQLiteTable::dtNumeric: out = FloatToStr(null ? 0.0 : Api->column_double(Stmt, index)); break;
    case TSQLiteTable::dtBlob: {
      if (null) break;
      const auto* blob = static_cast<const char*>(Api->column_blob(Stmt, index));
      const int bytes = Api->column_bytes(Stmt, index);
      if (blob && bytes > 0) out = FromUtf8(std::string_view(blob, static_cast<size_t>(bytes)));
      break;
    }
    default: {
      if (null) break;
      const auto* text = reinterpret_cast<const char*>(Api->column_text(Stmt, index));
      const int bytes = Api->column_bytes(Stmt, index);
      // The text ends at its first zero byte.
      const size_t length = text && bytes > 0 ? ::strnlen(text, static_cast<size_t>(bytes)) : 0;
      TextOfUtf8(std::string_view(text, length), out);
      break;
    }
  }
}

void TSQLiteCursor::TextOfUtf8(std::string_view bytes, WideString& out) {
  // ASCII, what names and dates are, goes in as it stands, into the storage out already has.
  size_t i = 0;
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  if (i == bytes.size())
    out.assign(bytes.begin(), bytes.end());
  else
    out = FromUtf8(bytes);
}
