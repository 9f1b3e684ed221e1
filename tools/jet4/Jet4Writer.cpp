#include "tools/jet4/Jet4Writer.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace jet4 {

namespace {

constexpr std::size_t kPage = Jet4Writer::kPageSize;
// A page of rows: type, flag, free space, owner (TDEF page or "LVAL"), 4 unused bytes, row count,
// then one offset per row; the rows themselves fill the page from its end.
constexpr std::size_t kRowPageHeader = 14;
constexpr std::size_t kMaxRowsPerPage = 255;  // a data pointer keeps the row number in one byte
constexpr std::size_t kMaxRow = kPage - kRowPageHeader - 2;
constexpr std::uint16_t kOffsetMask = 0x1FFF;
// Usage maps are rows of 64 bytes.
constexpr std::size_t kMapSize = 64;
constexpr std::size_t kMapSpan = (kMapSize - 5) * 8;
// Larger maps point to bitmap pages (type 0x05): four header bytes, then one bit per page.
constexpr std::size_t kBitmapPageSpan = (kPage - 4) * 8;
constexpr std::size_t kMemoHeader = 12;
// Access keeps only short memo values in the row; the rest go to long-value pages.
constexpr std::size_t kInlineMemoLimit = 64;
// Jet compresses a memo only up to this many characters; longer ones are stored as UTF-16LE.
constexpr std::size_t kMaxCompressedMemo = 1024;
// A chained long-value record starts with the pointer to the next record.
constexpr std::size_t kLongValueChunk = kMaxRow - 4;
constexpr std::size_t kTdefColumnsStart = 63;
constexpr std::size_t kTdefColumnEntry = 25;
constexpr std::size_t kMaxNameLength = 64;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;
constexpr double kCreationDate = 41216.0;  // 2012-11-03 as an OLE date; any fixed date keeps files reproducible

enum : std::uint8_t {
  kTypeInteger = 0x03,
  kTypeLong = 0x04,
  kTypeDateTime = 0x08,
  kTypeBinary = 0x09,
  kTypeText = 0x0A,
  kTypeOle = 0x0B,
  kTypeMemo = 0x0C,
};

// A column as the file describes it; the catalog table needs types that user tables never get.
struct Field {
  std::u16string name;
  std::uint8_t type;
  std::uint16_t length;  // bytes: fixed size, or the most a Text or Binary value takes; 0 for long values
  bool compressed;

  bool IsFixed() const { return type == kTypeInteger || type == kTypeLong || type == kTypeDateTime; }
  bool IsLongValue() const { return type == kTypeMemo || type == kTypeOle; }
  bool IsText() const { return type == kTypeText || type == kTypeMemo; }
};

struct TableDef {
  std::u16string name;
  bool system;
  std::vector<Field> fields;
};

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

void Append16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::uint32_t DataPointer(std::uint32_t page, std::uint8_t row) { return (page << 8) | row; }

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += (c < 0x80) ? static_cast<char>(c) : '?';
  return out;
}

void CheckName(const std::u16string& name, const char* what) {
  if (name.empty() || name.size() > kMaxNameLength)
    throw std::invalid_argument(std::string(what) + " name must have 1 to 64 characters: \"" + Narrow(name) + "\"");
}

// The header's fields from 0x18 on are stored under RC4 with this fixed key.
void Rc4(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* data, std::size_t length) {
  std::uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % keyLength]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (std::size_t n = 0, i = 0, j = 0; n < length; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[n] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

}  // namespace

std::vector<std::uint8_t> EncodeText(const std::u16string& text, bool compress) {
  bool compressible = compress && !text.empty();
  for (char16_t c : text)
    if ((c & 0xFF) == 0 || (c >= 0xD800 && c <= 0xDFFF)) compressible = false;
  const bool startsWithMarker = !text.empty() && text[0] == 0xFEFF;
  if (compressible) {
    std::vector<std::uint8_t> out{0xFF, 0xFE};
    bool oneByte = true;
    for (char16_t c : text) {
      if ((c < 0x100) != oneByte) {
        out.push_back(0);
        oneByte = !oneByte;
      }
      out.push_back(static_cast<std::uint8_t>(c));
      if (!oneByte) out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (out.size() < 2 * text.size() || startsWithMarker) return out;
  }
  if (startsWithMarker)
    throw std::invalid_argument("a text that starts with U+FEFF must be stored compressed, and this one cannot be");
  std::vector<std::uint8_t> out;
  out.reserve(2 * text.size());
  for (char16_t c : text) Append16(out, c);
  return out;
}

// Lays the tables out page by page: the header (0), the global usage map (1), the catalog's
// table definition and usage maps (2, 3), each user table (definition, usage maps, its data and
// long-value pages as its rows are stored, bitmap pages of its large maps), and last the
// catalog's rows, which need the user tables' page numbers.
class FileLayout {
public:
  explicit FileLayout(const std::vector<Jet4Writer::Table>& tables) : tables_(tables) {}

  std::vector<std::uint8_t> Build() {
    WriteHeader(NewPage());
    const std::uint32_t global = NewRowPage(0);
    AddRowTo(global, MapRow({}));  // no free pages anywhere
    const std::uint32_t catalogTdef = NewPage();
    const std::uint32_t catalogMaps = NewRowPage(catalogTdef);

    const TableDef catalog{u"MSysObjects", true, CatalogFields()};
    std::vector<std::vector<Value>> catalogRows;
    // The flags that mark a system table, which table lists leave out.
    catalogRows.push_back(CatalogRow(catalogTdef, catalog.name, static_cast<std::int32_t>(0x80000002u)));
    for (const auto& t : tables_) {
      TableDef def{t.name, false, {}};
      for (const Column& c : t.columns) {
        switch (c.type) {
          case ColumnType::LongInteger: def.fields.push_back({c.name, kTypeLong, 4, false}); break;
          case ColumnType::Text:
            def.fields.push_back({c.name, kTypeText, static_cast<std::uint16_t>(2 * c.maxLength), c.compressed});
            break;
          case ColumnType::Memo: def.fields.push_back({c.name, kTypeMemo, 0, c.compressed}); break;
        }
      }
      const std::uint32_t tdef = NewPage();
      LayOutTable(def, t.rows, tdef, NewRowPage(tdef));
      catalogRows.push_back(CatalogRow(tdef, t.name, 0));
    }
    LayOutTable(catalog, catalogRows, catalogTdef, catalogMaps);
    return std::move(file_);
  }

private:
  static std::vector<Field> CatalogFields() {
    return {
        {u"Id", kTypeLong, 4, false},          {u"ParentId", kTypeLong, 4, false},
        {u"Name", kTypeText, 510, true},       {u"Type", kTypeInteger, 2, false},
        {u"DateCreate", kTypeDateTime, 8, false}, {u"DateUpdate", kTypeDateTime, 8, false},
        {u"Owner", kTypeBinary, 255, false},   {u"Flags", kTypeLong, 4, false},
        {u"Database", kTypeMemo, 0, true},     {u"Connect", kTypeMemo, 0, true},
        {u"ForeignName", kTypeText, 510, true}, {u"RmtInfoShort", kTypeBinary, 255, false},
        {u"RmtInfoLong", kTypeOle, 0, false},  {u"Lv", kTypeOle, 0, false},
        {u"LvProp", kTypeOle, 0, false},       {u"LvModule", kTypeOle, 0, false},
        {u"LvExtra", kTypeOle, 0, false},
    };
  }

  static std::vector<Value> CatalogRow(std::uint32_t tdefPage, const std::u16string& name, std::int32_t flags) {
    std::vector<Value> row(17);
    row[0] = static_cast<std::int32_t>(tdefPage);
    row[1] = static_cast<std::int32_t>(0x0F000001);  // the "Tables" container
    row[2] = name;
    row[3] = 1;  // a table
    row[7] = flags;
    return row;
  }

  std::uint8_t* PageAt(std::uint32_t page) { return file_.data() + static_cast<std::size_t>(page) * kPage; }

  std::uint32_t NewPage() {
    const std::size_t page = file_.size() / kPage;
    if (page >= (1u << 24)) throw std::length_error("the file outgrows the pages a data pointer can address");
    file_.resize(file_.size() + kPage, 0);
    return static_cast<std::uint32_t>(page);
  }

  // A page of rows owned by a table definition page, or a long-value page (owner "LVAL").
  std::uint32_t NewRowPage(std::uint32_t owner) {
    const std::uint32_t page = NewPage();
    std::uint8_t* p = PageAt(page);
    p[0] = 0x01;
    p[1] = 0x01;
    Put16(p + 2, kPage - kRowPageHeader);
    Put32(p + 4, owner);
    return page;
  }

  std::uint32_t NewLongValuePage() {
    const std::uint32_t page = NewRowPage(0);
    std::memcpy(PageAt(page) + 4, "LVAL", 4);
    return page;
  }

  bool RowFits(std::uint32_t page, std::size_t length) {
    const std::uint8_t* p = PageAt(page);
    return Get16(p + 12) < kMaxRowsPerPage && Get16(p + 2) >= length + 2;
  }

  std::uint8_t AddRowTo(std::uint32_t page, const std::vector<std::uint8_t>& row) {
    std::uint8_t* p = PageAt(page);
    const std::uint16_t rows = Get16(p + 12);
    const std::size_t end = rows == 0 ? kPage : (Get16(p + kRowPageHeader + 2 * (rows - 1)) & kOffsetMask);
    const std::size_t start = end - row.size();
    std::copy(row.begin(), row.end(), p + start);
    Put16(p + kRowPageHeader + 2 * rows, static_cast<std::uint32_t>(start));
    Put16(p + 12, rows + 1u);
    Put16(p + 2, Get16(p + 2) - row.size() - 2);
    return static_cast<std::uint8_t>(rows);
  }

  std::uint8_t* RowAt(std::uint32_t page, std::uint8_t row) {
    std::uint8_t* p = PageAt(page);
    return p + (Get16(p + kRowPageHeader + 2 * row) & kOffsetMask);
  }

  // A usage map row: of type 0 (the first page covered, then one bit per page) while the pages
  // fit in its span, else of type 1, whose entries point to bitmap pages that each cover a
  // fixed share of the file.
  std::vector<std::uint8_t> MapRow(const std::vector<std::uint32_t>& pages) {
    std::vector<std::uint8_t> map(kMapSize, 0);
    if (pages.empty()) return map;
    const auto [low, high] = std::minmax_element(pages.begin(), pages.end());
    if (*high - *low < kMapSpan) {
      Put32(map.data() + 1, *low);
      for (std::uint32_t page : pages) {
        const std::size_t bit = page - *low;
        map[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
      }
      return map;
    }
    map[0] = 0x01;
    std::vector<std::uint32_t> bitmapPages((kMapSize - 1) / 4, 0);
    for (std::uint32_t page : pages) {
      const std::size_t index = page / kBitmapPageSpan;
      if (index >= bitmapPages.size()) throw std::length_error("the file outgrows what a usage map covers");
      if (bitmapPages[index] == 0) {
        bitmapPages[index] = NewPage();
        PageAt(bitmapPages[index])[0] = 0x05;
        PageAt(bitmapPages[index])[1] = 0x01;
        Put32(map.data() + 1 + 4 * index, bitmapPages[index]);
      }
      const std::size_t bit = page % kBitmapPageSpan;
      PageAt(bitmapPages[index])[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
    }
    return map;
  }

  // Long-value pages of one memo column: records are appended to the newest page while they fit.
  struct LongValues {
    std::vector<std::uint32_t> pages;

    std::uint32_t Add(FileLayout& file, const std::vector<std::uint8_t>& record) {
      if (pages.empty() || !file.RowFits(pages.back(), record.size())) pages.push_back(file.NewLongValuePage());
      return DataPointer(pages.back(), file.AddRowTo(pages.back(), record));
    }
  };

  std::vector<std::uint8_t> MemoCell(const Field& field, const std::u16string& text, LongValues& longValues) {
    const std::vector<std::uint8_t> data = EncodeText(text, field.compressed && text.size() <= kMaxCompressedMemo);
    std::vector<std::uint8_t> cell(kMemoHeader, 0);
    const std::uint32_t length = static_cast<std::uint32_t>(data.size());
    if (data.size() <= kInlineMemoLimit) {
      Put32(cell.data(), length | 0x80000000u);
      cell.insert(cell.end(), data.begin(), data.end());
    } else if (data.size() <= kMaxRow) {
      Put32(cell.data(), length | 0x40000000u);
      Put32(cell.data() + 4, longValues.Add(*this, data));
    } else {
      // A chain of records, each starting with the pointer to the next one (0 ends the chain).
      std::vector<std::uint32_t> chain;
      for (std::size_t at = 0; at < data.size(); at += kLongValueChunk) {
        const std::size_t n = std::min(kLongValueChunk, data.size() - at);
        std::vector<std::uint8_t> record(4, 0);
        record.insert(record.end(), data.begin() + at, data.begin() + at + n);
        chain.push_back(longValues.Add(*this, record));
      }
      for (std::size_t i = 0; i + 1 < chain.size(); ++i)
        Put32(RowAt(chain[i] >> 8, static_cast<std::uint8_t>(chain[i])), chain[i + 1]);
      Put32(cell.data(), length);
      Put32(cell.data() + 4, chain.front());
    }
    return cell;
  }

  // A row: column count, fixed columns, variable columns, then (from the end) the null mask,
  // the count of variable columns, their offsets last to first, and the end of their data.
  std::vector<std::uint8_t> EncodeRow(const TableDef& def, const std::vector<Value>& values,
                                      std::vector<LongValues>& longValues) {
    const std::size_t n = def.fields.size();
    std::size_t fixedSize = 0;
    for (const Field& f : def.fields)
      if (f.IsFixed()) fixedSize += f.length;
    std::vector<std::uint8_t> row;
    Append16(row, static_cast<std::uint32_t>(n));
    row.resize(2 + fixedSize, 0);
    std::vector<std::uint8_t> nullMask((n + 7) / 8, 0);
    std::vector<std::uint16_t> varOffsets;
    std::size_t fixedAt = 2;
    for (std::size_t i = 0; i < n; ++i) {
      const Field& f = def.fields[i];
      const Value& v = values[i];
      if (!v.IsNull()) nullMask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
      if (f.IsFixed()) {
        if (v.IsInteger()) {
          const auto bits = static_cast<std::uint32_t>(v.Integer());
          if (f.type == kTypeInteger) Put16(row.data() + fixedAt, bits);
          else Put32(row.data() + fixedAt, bits);
        }
        fixedAt += f.length;
        continue;
      }
      varOffsets.push_back(static_cast<std::uint16_t>(row.size()));  // a row too long is refused below
      if (v.IsNull()) continue;
      const std::vector<std::uint8_t> bytes = f.type == kTypeMemo ? MemoCell(f, v.Text(), longValues[i])
                                                                  : EncodeText(v.Text(), f.compressed);
      row.insert(row.end(), bytes.begin(), bytes.end());
    }
    if (!varOffsets.empty()) {
      Append16(row, static_cast<std::uint32_t>(row.size()));  // end of the variable data
      for (auto it = varOffsets.rbegin(); it != varOffsets.rend(); ++it) Append16(row, *it);
      Append16(row, static_cast<std::uint32_t>(varOffsets.size()));
    }
    row.insert(row.end(), nullMask.begin(), nullMask.end());
    if (row.size() > kMaxRow)
      throw std::length_error("a row of table \"" + Narrow(def.name) + "\" does not fit in a page");
    return row;
  }

  void LayOutTable(const TableDef& def, const std::vector<std::vector<Value>>& rows, std::uint32_t tdefPage,
                   std::uint32_t mapPage) {
    std::vector<LongValues> longValues(def.fields.size());
    std::vector<std::uint32_t> dataPages;
    for (const auto& values : rows) {
      const std::vector<std::uint8_t> row = EncodeRow(def, values, longValues);
      if (dataPages.empty() || !RowFits(dataPages.back(), row.size())) dataPages.push_back(NewRowPage(tdefPage));
      AddRowTo(dataPages.back(), row);
    }
    // The free-space maps stay empty: a reader never needs them, and a writer then starts new pages.
    const std::uint32_t usedMap = DataPointer(mapPage, AddMap(mapPage, dataPages));
    const std::uint32_t freeMap = DataPointer(mapPage, AddMap(mapPage, {}));
    // Long-value pages belong to their column's own map, never to the table's.
    std::vector<std::uint8_t> longValueMaps;
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
      if (!def.fields[i].IsLongValue()) continue;
      std::uint8_t entry[10];
      Put16(entry, static_cast<std::uint32_t>(i));
      Put32(entry + 2, DataPointer(mapPage, AddMap(mapPage, longValues[i].pages)));
      Put32(entry + 6, DataPointer(mapPage, AddMap(mapPage, {})));
      longValueMaps.insert(longValueMaps.end(), entry, entry + 10);
    }
    WriteTableDefinition(tdefPage, def, rows.size(), usedMap, freeMap, longValueMaps);
  }

  std::uint8_t AddMap(std::uint32_t mapPage, const std::vector<std::uint32_t>& pages) {
    const std::vector<std::uint8_t> map = MapRow(pages);
    if (!RowFits(mapPage, map.size())) throw std::length_error("too many long-value columns in one table");
    return AddRowTo(mapPage, map);
  }

  void WriteTableDefinition(std::uint32_t page, const TableDef& def, std::size_t rowCount, std::uint32_t usedMap,
                            std::uint32_t freeMap, const std::vector<std::uint8_t>& longValueMaps) {
    std::vector<std::uint8_t> t(kTdefColumnsStart, 0);
    t[0] = 0x02;
    t[1] = 0x01;
    const std::size_t n = def.fields.size();
    std::size_t varCount = 0;
    for (const Field& f : def.fields)
      if (!f.IsFixed()) ++varCount;
    Put32(t.data() + 16, static_cast<std::uint32_t>(rowCount));
    t[40] = def.system ? 0x53 : 0x4E;
    Put16(t.data() + 41, static_cast<std::uint32_t>(n));  // the most columns a row has
    Put16(t.data() + 43, static_cast<std::uint32_t>(varCount));
    Put16(t.data() + 45, static_cast<std::uint32_t>(n));
    // No indexes (47, 51 stay 0).
    Put32(t.data() + 55, usedMap);
    Put32(t.data() + 59, freeMap);
    std::size_t fixedOffset = 0, varIndex = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Field& f = def.fields[i];
      std::uint8_t c[kTdefColumnEntry] = {};
      c[0] = f.type;
      Put16(c + 5, static_cast<std::uint32_t>(i));
      Put16(c + 7, f.IsFixed() ? 0 : static_cast<std::uint32_t>(varIndex++));
      Put16(c + 9, static_cast<std::uint32_t>(i));
      if (f.IsText()) Put16(c + 11, kGeneralSortOrder);
      c[15] = f.IsFixed() ? 0x03 : 0x02;  // fixed, nullable
      c[16] = (f.IsText() && f.compressed) ? 0x01 : 0x00;
      Put16(c + 21, f.IsFixed() ? static_cast<std::uint32_t>(fixedOffset) : 0);
      Put16(c + 23, f.length);
      if (f.IsFixed()) fixedOffset += f.length;
      t.insert(t.end(), c, c + kTdefColumnEntry);
    }
    for (const Field& f : def.fields) {
      Append16(t, static_cast<std::uint32_t>(2 * f.name.size()));
      for (char16_t ch : f.name) Append16(t, ch);
    }
    t.insert(t.end(), longValueMaps.begin(), longValueMaps.end());
    Append16(t, 0xFFFF);
    if (t.size() > kPage)
      throw std::length_error("the definition of table \"" + Narrow(def.name) + "\" does not fit in a page");
    Put16(t.data() + 2, static_cast<std::uint32_t>(kPage - t.size() - 8));
    Put32(t.data() + 8, static_cast<std::uint32_t>(t.size()));
    std::copy(t.begin(), t.end(), PageAt(page));
  }

  void WriteHeader(std::uint32_t page) {
    std::uint8_t* p = PageAt(page);
    p[1] = 0x01;
    std::memcpy(p + 4, "Standard Jet DB", 15);
    Put32(p + 0x14, 1);  // Jet 4
    std::uint8_t* masked = p + 0x18;
    Put16(p + 0x3C, 1252);
    // 0x3E: the database key stays 0, so that no page is encrypted.
    // The password is masked with the creation date's whole days: storing the mask itself
    // leaves the password empty.
    std::uint8_t dateMask[4];
    Put32(dateMask, static_cast<std::uint32_t>(static_cast<std::int32_t>(kCreationDate)));
    for (int i = 0; i < 40; ++i) p[0x42 + i] = dateMask[i % 4];
    Put16(p + 0x6E, kGeneralSortOrder);
    std::memcpy(p + 0x72, &kCreationDate, sizeof kCreationDate);
    static const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    Rc4(key, sizeof key, masked, 128);
  }

  const std::vector<Jet4Writer::Table>& tables_;
  std::vector<std::uint8_t> file_;
};

std::size_t Jet4Writer::AddTable(std::u16string name, std::vector<Column> columns) {
  CheckName(name, "a table");
  if (SameName(name, u"MSysObjects")) throw std::invalid_argument("the catalog's name is taken");
  for (const Table& t : tables_)
    if (SameName(t.name, name)) throw std::invalid_argument("two tables named \"" + Narrow(name) + "\"");
  if (columns.empty()) throw std::invalid_argument("table \"" + Narrow(name) + "\" has no columns");
  for (std::size_t i = 0; i < columns.size(); ++i) {
    CheckName(columns[i].name, "a column");
    for (std::size_t j = 0; j < i; ++j)
      if (SameName(columns[i].name, columns[j].name))
        throw std::invalid_argument("two columns named \"" + Narrow(columns[i].name) + "\"");
    if (columns[i].type == ColumnType::Text && (columns[i].maxLength < 1 || columns[i].maxLength > 255))
      throw std::invalid_argument("a text column holds 1 to 255 characters");
  }
  tables_.push_back({std::move(name), std::move(columns), {}});
  return tables_.size() - 1;
}

void Jet4Writer::AddRow(std::size_t table, std::vector<Value> values) {
  if (table >= tables_.size()) throw std::invalid_argument("no such table");
  Table& t = tables_[table];
  if (values.size() != t.columns.size())
    throw std::invalid_argument("a row of table \"" + Narrow(t.name) + "\" needs one value per column");
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Column& c = t.columns[i];
    const Value& v = values[i];
    if (v.IsNull()) continue;
    const std::string where = " in column \"" + Narrow(c.name) + "\" of table \"" + Narrow(t.name) + "\"";
    if (c.type == ColumnType::LongInteger) {
      if (!v.IsInteger()) throw std::invalid_argument("a text" + where);
      continue;
    }
    if (!v.IsText()) throw std::invalid_argument("an integer" + where);
    if (c.type == ColumnType::Text && v.Text().size() > static_cast<std::size_t>(c.maxLength))
      throw std::invalid_argument("a text longer than the column allows" + where);
    EncodeText(v.Text(), c.compressed && (c.type == ColumnType::Text || v.Text().size() <= kMaxCompressedMemo));
  }
  t.rows.push_back(std::move(values));
}

std::vector<std::uint8_t> Jet4Writer::Image() const { return FileLayout(tables_).Build(); }

void Jet4Writer::Save(const std::string& path) const {
  const std::vector<std::uint8_t> image = Image();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace jet4
