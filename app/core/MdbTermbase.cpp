#include "app/core/MdbTermbase.h"

// libmdb's header needs glib's types first.
#include <glib.h>
#include <mdbtools.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "app/core/JetText.h"
#include "platform/core/Files.h"
#include "platform/core/Module.h"
#include "platform/core/Utf8.h"

namespace {

// libmdb (and glib under it) is loaded when the first termbase is opened, not linked: the other
// conversions never use it, and every run of the program paid for loading it. Only its header is
// used at build time.
constexpr char kLibmdbName[] = "libmdb.so.3";

struct TLibmdb {
  decltype(&::mdb_open) open = nullptr;
  decltype(&::mdb_close) close = nullptr;
  decltype(&::mdb_clone_handle) clone_handle = nullptr;
  decltype(&::mdb_read_catalog) read_catalog = nullptr;
  decltype(&::mdb_is_user_table) is_user_table = nullptr;
  decltype(&::mdb_read_table) read_table = nullptr;
  decltype(&::mdb_free_tabledef) free_tabledef = nullptr;
  decltype(&::mdb_read_columns) read_columns = nullptr;
  decltype(&::mdb_bind_column) bind_column = nullptr;
  decltype(&::mdb_rewind_table) rewind_table = nullptr;
  decltype(&::mdb_fetch_row) fetch_row = nullptr;
  decltype(&::mdb_find_row) find_row = nullptr;
  decltype(&::mdb_crack_row) crack_row = nullptr;
  decltype(&::mdb_find_pg_row) find_pg_row = nullptr;
  decltype(&::mdb_map_find_next) map_find_next = nullptr;
};

// nullptr when the library is missing or lacks a function.
const TLibmdb* LoadLibmdb() {
  static const TLibmdb* const loaded = []() -> const TLibmdb* {
    void* handle = platform::OpenSharedLibrary(kLibmdbName);
    if (!handle) return nullptr;
    static TLibmdb l;
    using platform::BindSymbol;
    const bool ok = BindSymbol(handle, "mdb_open", l.open) && BindSymbol(handle, "mdb_close", l.close) &&
                    BindSymbol(handle, "mdb_clone_handle", l.clone_handle) &&
                    BindSymbol(handle, "mdb_read_catalog", l.read_catalog) &&
                    BindSymbol(handle, "mdb_is_user_table", l.is_user_table) &&
                    BindSymbol(handle, "mdb_read_table", l.read_table) &&
                    BindSymbol(handle, "mdb_free_tabledef", l.free_tabledef) &&
                    BindSymbol(handle, "mdb_read_columns", l.read_columns) &&
                    BindSymbol(handle, "mdb_bind_column", l.bind_column) &&
                    BindSymbol(handle, "mdb_rewind_table", l.rewind_table) &&
                    BindSymbol(handle, "mdb_fetch_row", l.fetch_row) && BindSymbol(handle, "mdb_find_row", l.find_row) &&
                    BindSymbol(handle, "mdb_crack_row", l.crack_row) &&
                    BindSymbol(handle, "mdb_find_pg_row", l.find_pg_row) &&
                    BindSymbol(handle, "mdb_map_find_next", l.map_find_next);
    return ok ? &l : nullptr;  // kept mapped: unloading gains nothing
  }();
  return loaded;
}

// Every call but the first open comes after a termbase was opened through the library.
const TLibmdb& Libmdb() { return *LoadLibmdb(); }

}  // namespace

struct TMdbFile {
  MdbHandle* Mdb = nullptr;
  WideString Shown;  // the expanded name, for messages
  int64_t Size = 0;

  TMdbFile() = default;
  TMdbFile(const TMdbFile&) = delete;
  TMdbFile& operator=(const TMdbFile&) = delete;
  ~TMdbFile() {
    if (Mdb) Libmdb().close(Mdb);
  }
};

namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Jet row offsets carry flags above their low 13 bits: a deleted row, or one that points to
// another page.
constexpr int kOffsetMask = 0x1FFF;
constexpr int kOffsetFlags = 0xC000;

// libmdb opens empty files and files of zeros as Jet 3 databases and then fails, talking on
// standard error; so the page 0 signature is checked first. Returns the file's size.
int64_t CheckJetHeader(const WideString& fileName, const WideString& shown) {
  const platform::FileHandle h = platform::OpenFile(fileName, platform::AccessRead,
                                                    platform::ShareRead | platform::ShareWrite,
                                                    platform::Disposition::OpenExisting);
  if (h == platform::InvalidFileHandle)
    throw EWideFOpenError(
        WideFormat(u"Cannot open file \"%s\". %s", {shown, WideSysErrorMessage(platform::LastErrorCode())}));
  uint8_t head[0x15] = {};
  const int64_t read = platform::ReadFileAt(h, head, sizeof head, 0);
  const int64_t size = platform::FileSizeOf(h);
  platform::CloseFile(h);
  const bool jet = read == static_cast<int64_t>(sizeof head) && head[0] == 0 && head[1] == 1 && head[2] == 0 &&
                   head[3] == 0 &&
                   (std::memcmp(head + 4, "Standard Jet DB", 16) == 0 ||
                    std::memcmp(head + 4, "Standard ACE DB", 16) == 0);
  if (!jet) throw ETermbaseError(WideFormat(u"Unrecognized database format '%s'.", {shown}));
  // Jet 3 keeps text in the file's code page, not in the UTF-16 forms decoded here.
  if (head[0x14] == 0)
    throw ETermbaseError(WideFormat(u"\"%s\" is a Jet 3 database; a termbase is a Jet 4 database.", {shown}));
  return size;
}

struct TCloseHandle {
  void operator()(MdbHandle* mdb) const { Libmdb().close(mdb); }
};
struct TFreeTable {
  void operator()(MdbTableDef* table) const { Libmdb().free_tabledef(table); }
};
// A clone of the file's handle (the same file, a page buffer of its own), the table's catalog
// entry bound to it, and the table read through it; each is freed before the one it uses.
using THandlePtr = std::unique_ptr<MdbHandle, TCloseHandle>;
using TEntryPtr = std::unique_ptr<MdbCatalogEntry>;
using TTablePtr = std::unique_ptr<MdbTableDef, TFreeTable>;

class TMdbTable : public TTermbaseTable {
public:
  TMdbTable(std::shared_ptr<TMdbFile> file, THandlePtr handle, TEntryPtr entry, TTablePtr table, WideString name);
  TMdbTable(const TMdbTable&) = delete;
  TMdbTable& operator=(const TMdbTable&) = delete;

  int64_t RecordCount() const override { return Table->num_rows; }
  bool Next(TTermbaseRecord& record) override;

private:
  enum class Kind { Text, Memo, Integer, Bool, Converted, Binary };
  struct Column {
    Kind kind = Kind::Binary;
    int type = 0;
    std::vector<char> buffer;  // libmdb's text of a converted column
    int length = 0;
  };

  [[noreturn]] void Fail(const char16_t* what) const;
  // libmdb passes over a page of the table's map that is not one of its data pages, and a record
  // it cannot read, saying so only on standard error: the records it gives are checked against
  // the pages they come from, so that a damaged table fails instead of losing records.
  void EnterPage(uint32_t page);
  // Every record of the page up to row (not included) was given or needs not be.
  void PassedUpTo(size_t row) const;
  // The value bytes of a cracked field, when they lie inside the current page.
  bool FieldBytes(const MdbField& field, const uint8_t*& bytes, size_t& size) const;
  std::vector<uint8_t> GatherMemo(const std::vector<uint8_t>& header) const;
  bool LongValueRecord(uint32_t pointer, const uint8_t*& record, size_t& size) const;

  std::shared_ptr<TMdbFile> File;
  THandlePtr Handle;
  TEntryPtr Entry;
  TTablePtr TableOwner;
  MdbHandle* Mdb;
  MdbTableDef* Table;
  WideString Name;
  std::vector<Column> Columns;
  std::vector<MdbField> Fields;
  std::vector<std::vector<uint8_t>> MemoHeaders;
  uint32_t Page = 0;            // the data page of the records given last (0 before the first)
  std::vector<uint8_t> Records;  // per record of that page: 1 when libmdb must give it
  size_t Given = 0;             // the records of the page passed so far (given or not)
};

constexpr char16_t kDamagedPage[] = u"The table \"%s\" of \"%s\" is damaged: a page of its records cannot be read.";
constexpr char16_t kDamagedRecord[] = u"The table \"%s\" of \"%s\" is damaged: a record cannot be read.";
constexpr char16_t kDamagedMemo[] = u"The table \"%s\" of \"%s\" is damaged: a long text of a record cannot be read whole.";

TMdbTable::TMdbTable(std::shared_ptr<TMdbFile> file, THandlePtr handle, TEntryPtr entry, TTablePtr table,
                     WideString name)
    : File(std::move(file)),
      Handle(std::move(handle)),
      Entry(std::move(entry)),
      TableOwner(std::move(table)),
      Mdb(Handle.get()),
      Table(TableOwner.get()),
      Name(std::move(name)) {
  Columns.resize(Table->num_cols);
  Fields.resize(Table->num_cols);
  MemoHeaders.resize(Table->num_cols);
  for (unsigned i = 0; i < Table->num_cols; ++i) {
    const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(Table->columns, i));
    Column& c = Columns[i];
    c.type = col->col_type;
    switch (col->col_type) {
      case MDB_TEXT: c.kind = Kind::Text; break;
      case MDB_MEMO: c.kind = Kind::Memo; break;
      case MDB_BYTE:
      case MDB_INT:
      case MDB_LONGINT:
      case MDB_COMPLEX: c.kind = Kind::Integer; break;
      case MDB_BOOL: c.kind = Kind::Bool; break;
      case MDB_OLE:
      case MDB_BINARY: c.kind = Kind::Binary; break;
      default: c.kind = Kind::Converted; break;
    }
  }
  // Only the columns without a text form of their own go through libmdb's conversion: their
  // texts (numbers, dates) are far below its bind size.
  for (unsigned i = 0; i < Table->num_cols; ++i) {
    Column& c = Columns[i];
    if (c.kind != Kind::Converted) continue;
    c.buffer.assign(Mdb->bind_size + 1, 0);
    Libmdb().bind_column(Table, static_cast<int>(i) + 1, c.buffer.data(), &c.length);
  }
  Libmdb().rewind_table(Table);
}

void TMdbTable::Fail(const char16_t* what) const {
  throw ETermbaseError(WideFormat(what, {Name, File->Shown}));
}

void TMdbTable::EnterPage(uint32_t page) {
  MdbHandle* mdb = Mdb;
  // The page libmdb reads next is the next of the map; one it passed over is not a page of the
  // table's records.
  if (Libmdb().map_find_next(mdb, Table->usage_map, Table->map_sz, Page) != static_cast<gint32>(page))
    Fail(kDamagedPage);
  Page = page;
  Records.clear();
  Given = 0;
  const auto* buffer = static_cast<const uint8_t*>(mdb->pg_buf);
  const size_t pageSize = static_cast<size_t>(mdb->fmt->pg_size);
  const size_t countAt = mdb->fmt->row_count_offset;
  const size_t rows = Le16(buffer + countAt);
  const size_t firstRecord = countAt + 2 + 2 * rows;
  if (firstRecord > pageSize) Fail(kDamagedPage);
  // Records lie from the end of the page towards its start, each ending where the one before
  // it begins.
  size_t end = pageSize;
  for (size_t i = 0; i < rows; ++i) {
    const int offset = Le16(buffer + countAt + 2 + 2 * i);
    const size_t start = static_cast<size_t>(offset & kOffsetMask);
    if (offset & kOffsetFlags) {
      // Deleted, or a pointer to another page: its offset is one within the page all the same.
      if (start >= pageSize) Fail(kDamagedRecord);
      if (start <= end) end = start;
      Records.push_back(0);
      continue;
    }
    if (start < firstRecord || start >= end) Fail(kDamagedRecord);
    end = start;
    Records.push_back(1);
  }
}

void TMdbTable::PassedUpTo(size_t row) const {
  for (size_t i = Given; i < row && i < Records.size(); ++i)
    if (Records[i]) Fail(kDamagedRecord);
}

bool TMdbTable::FieldBytes(const MdbField& field, const uint8_t*& bytes, size_t& size) const {
  const auto* page = Mdb->pg_buf;
  const auto* value = static_cast<const uint8_t*>(field.value);
  if (field.siz < 0 || value < page || value + field.siz > page + Mdb->fmt->pg_size) return false;
  bytes = value;
  size = static_cast<size_t>(field.siz);
  return true;
}

bool TMdbTable::Next(TTermbaseRecord& record) {
  MdbHandle* mdb = Mdb;
  if (!Libmdb().fetch_row(Table)) {
    // Every record of the last page given, and no page of the map left unread.
    PassedUpTo(Records.size());
    // The map says there is none by 0 or -1 (page 0 is never a data page).
    if (Libmdb().map_find_next(mdb, Table->usage_map, Table->map_sz, Page) > 0) Fail(kDamagedPage);
    return false;
  }
  if (Table->cur_phys_pg != Page) {
    PassedUpTo(Records.size());
    EnterPage(Table->cur_phys_pg);
  }
  // A record libmdb passed over unread is one it could not read.
  PassedUpTo(Table->cur_row - 1);
  Given = Table->cur_row;
  int start = 0;
  size_t size = 0;
  if (Table->cur_row == 0 || Libmdb().find_row(mdb, static_cast<int>(Table->cur_row) - 1, &start, &size) != 0)
    Fail(u"Cannot read a record of the table \"%s\" of \"%s\".");
  const int offset = start & kOffsetMask;
  if (offset + size > static_cast<size_t>(mdb->fmt->pg_size))
    Fail(u"Cannot read a record of the table \"%s\" of \"%s\".");
  std::fill(Fields.begin(), Fields.end(), MdbField{});
  if (Libmdb().crack_row(Table, offset, size, Fields.data()) <= 0 && !Fields.empty())
    Fail(u"Cannot read a record of the table \"%s\" of \"%s\".");

  record.resize(Columns.size());
  for (size_t i = 0; i < Columns.size(); ++i) {
    const Column& c = Columns[i];
    const MdbField& f = Fields[i];
    TTermbaseField& field = record[i];
    field = TTermbaseField{};
    MemoHeaders[i].clear();
    if (c.kind == Kind::Bool) {
      // Jet keeps a yes/no value in the row's null mask: a clear bit is "no".
      field.Null = false;
      field.IsNumber = true;
      field.Number = f.is_null ? 0 : 1;
      field.Text = f.is_null ? u"0" : u"1";
      continue;
    }
    if (f.is_null) continue;
    field.Null = false;
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    switch (c.kind) {
      case Kind::Text:
        if (FieldBytes(f, bytes, length)) field.Text = DecodeJetText(bytes, length);
        break;
      case Kind::Memo:
        // The memo's data may lie on other pages, which are read only once this row is done.
        if (FieldBytes(f, bytes, length)) MemoHeaders[i].assign(bytes, bytes + length);
        break;
      case Kind::Integer: {
        if (!FieldBytes(f, bytes, length)) break;
        if (c.type == MDB_BYTE && length == 1)
          field.Number = bytes[0];
        else if (c.type == MDB_INT && length == 2)
          field.Number = static_cast<int16_t>(Le16(bytes));
        else if (length == 4)
          field.Number = static_cast<int32_t>(Le32(bytes));
        else
          break;
        field.IsNumber = true;
        const std::string digits = std::to_string(field.Number);
        field.Text.assign(digits.begin(), digits.end());
        break;
      }
      case Kind::Converted:
        field.Text = platform::Utf8ToUtf16(std::string(c.buffer.data(), strnlen(c.buffer.data(), c.buffer.size())));
        break;
      case Kind::Bool:
      case Kind::Binary:
        break;
    }
  }
  for (size_t i = 0; i < Columns.size(); ++i)
    if (Columns[i].kind == Kind::Memo && !record[i].Null) {
      const std::vector<uint8_t> data = GatherMemo(MemoHeaders[i]);
      record[i].Text = DecodeJetText(data.data(), data.size());
    }
  return true;
}

// A memo's 12-byte header: its length in the low 30 bits of the first word, with the flag
// 0x80000000 when the data follows the header in the row, 0x40000000 when it is one record of
// a long-value page, and neither when it is a chain of such records, each beginning with the
// pointer to the next. A pointer is a page number shifted left by 8 plus a row number.
// A memo whose data ends before its length (a length beyond the row or the file, a record of
// the chain that cannot be read) is damaged: its text would come out cut short.
std::vector<uint8_t> TMdbTable::GatherMemo(const std::vector<uint8_t>& header) const {
  if (header.size() < 12) return {};
  const uint32_t word = Le32(header.data());
  uint64_t length = word & 0x3FFFFFFFu;
  if (word & 0x80000000u) {
    if (length > header.size() - 12) Fail(kDamagedMemo);
    return std::vector<uint8_t>(header.begin() + 12, header.begin() + 12 + static_cast<ptrdiff_t>(length));
  }
  if (length > static_cast<uint64_t>(std::max<int64_t>(File->Size, 0))) Fail(kDamagedMemo);
  uint32_t pointer = Le32(header.data() + 4);
  const bool single = (word & 0x40000000u) != 0;
  std::vector<uint8_t> data;
  while (pointer != 0 && data.size() < length) {
    const uint8_t* record = nullptr;
    size_t size = 0;
    if (!LongValueRecord(pointer, record, size)) break;
    if (single) {
      data.assign(record, record + std::min<uint64_t>(size, length));
      break;
    }
    if (size <= 4) break;  // every record of a chain brings data, so the walk ends
    pointer = Le32(record);
    const size_t take = static_cast<size_t>(std::min<uint64_t>(size - 4, length - data.size()));
    data.insert(data.end(), record + 4, record + 4 + take);
  }
  if (data.size() < length) Fail(kDamagedMemo);
  return data;
}

bool TMdbTable::LongValueRecord(uint32_t pointer, const uint8_t*& record, size_t& size) const {
  MdbHandle* mdb = Mdb;
  void* buffer = nullptr;
  int start = 0;
  size_t length = 0;
  if (Libmdb().find_pg_row(mdb, static_cast<int>(pointer), &buffer, &start, &length) != 0) return false;
  const auto* page = static_cast<const uint8_t*>(buffer);
  const size_t pageSize = static_cast<size_t>(mdb->fmt->pg_size);
  if (page[0] != 0x01 || std::memcmp(page + 4, "LVAL", 4) != 0) return false;
  if ((pointer & 0xFF) >= Le16(page + mdb->fmt->row_count_offset)) return false;
  const size_t offset = static_cast<size_t>(start & kOffsetMask);
  if (length > pageSize || offset + length > pageSize) return false;
  record = page + offset;
  size = length;
  return true;
}

}  // namespace

TMdbTermbase::TMdbTermbase(const WideString& fileName) : File(std::make_shared<TMdbFile>()) {
  File->Shown = WideExpandFileName(fileName);
  File->Size = CheckJetHeader(fileName, File->Shown);
  // Where the provider is missing: its own words, after the file's name.
  if (!LoadLibmdb())
    throw ETermbaseError(WideFormat(
        u"Cannot read the termbase \"%s\". Provider cannot be found. It may not be properly installed.", {File->Shown}));
  File->Mdb = Libmdb().open(platform::NativeName(fileName).c_str(), MDB_NOFLAGS);
  if (!File->Mdb) throw ETermbaseError(WideFormat(u"Unrecognized database format '%s'.", {File->Shown}));
  // libmdb walks a table's pages by its usage map without checking that it could read one;
  // the catalog's own table is checked here, each user table when it is opened.
  MdbCatalogEntry catalog{};
  catalog.mdb = File->Mdb;
  std::strcpy(catalog.object_name, "MSysObjects");
  catalog.object_type = MDB_TABLE;
  catalog.table_pg = 2;
  MdbTableDef* catalogTable = Libmdb().read_table(&catalog);
  const bool walkable = catalogTable && catalogTable->usage_map;
  if (catalogTable) Libmdb().free_tabledef(catalogTable);
  if (!walkable || !Libmdb().read_catalog(File->Mdb, MDB_TABLE))
    throw ETermbaseError(WideFormat(u"Cannot read the tables of \"%s\".", {File->Shown}));
  for (unsigned i = 0; i < File->Mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(File->Mdb->catalog, i));
    if (!Libmdb().is_user_table(entry)) continue;
    Entries.push_back(entry);
    Names.push_back(platform::Utf8ToUtf16(entry->object_name));
  }
}

TMdbTermbase::~TMdbTermbase() = default;

std::vector<WideString> TMdbTermbase::TableNames() { return Names; }

std::unique_ptr<TTermbaseTable> TMdbTermbase::OpenTable(size_t index) {
  if (index >= Entries.size())
    throw ETermbaseError(WideFormat(u"The termbase \"%s\" has no table number %s.",
                                    {File->Shown, platform::Utf8ToUtf16(std::to_string(index + 1))}));
  // A clone copies the first num_catalog entries of the catalog. The table needs only its own,
  // copied here and bound to the clone, so none is: with every table open, each clone would
  // otherwise hold the whole catalog.
  MdbHandle* const mdb = File->Mdb;
  const unsigned catalogSize = mdb->num_catalog;
  mdb->num_catalog = 0;
  THandlePtr handle(Libmdb().clone_handle(mdb));
  mdb->num_catalog = catalogSize;
  TTablePtr table;
  TEntryPtr entry;
  if (handle) {
    entry = std::make_unique<MdbCatalogEntry>(*static_cast<const MdbCatalogEntry*>(Entries[index]));
    entry->mdb = handle.get();
    entry->props = nullptr;  // as in a clone's own copies: the properties belong to the file's handle
    table.reset(Libmdb().read_table(entry.get()));
  }
  if (!table || !table->usage_map || !Libmdb().read_columns(table.get()))
    throw ETermbaseError(
        WideFormat(u"Cannot read the table \"%s\" of \"%s\".", {Names[index], File->Shown}));
  return std::make_unique<TMdbTable>(File, std::move(handle), std::move(entry), std::move(table), Names[index]);
}
