#include "app/core/SdlTMStream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "base/MyWideStr.h"
#include "unicode/UniSysUtils.h"

namespace {

[[noreturn]] void RaiseFor(const WideString& fileName, const ESQLiteException& e) {
  // The library's message names the statement, not the file.
  throw ESQLiteException(
      WideFormat(u"Cannot read the SDLTM database \"%s\".\r%s", {WideExpandFileName(fileName), e.WideMessage()}));
}

// The number text begins with, "-" and digits, read as WStrToInt reads it but in 64 bits; held
// at the ends of the range beyond them.
int64_t LeadingNumber(const WideString& text) {
  size_t i = 0;
  const bool negative = i < text.size() && text[i] == u'-';
  if (negative) ++i;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    const auto digit = static_cast<uint64_t>(text[i] - u'0');
    if (value > (static_cast<uint64_t>(INT64_MAX) - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
    value = value * 10 + digit;
  }
  return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

// Per byte of an SDLTM date: what its text-TM date holds for it; 0 for a byte that is no
// printable ASCII, 1 for one that goes.
constexpr auto kTmDateByte = [] {
  std::array<char, 256> t{};
  for (int c = 0x20; c < 0x7F; ++c) t[c] = static_cast<char>(c);
  t['-'] = t[':'] = 1;
  t[' '] = '~';
  return t;
}();

}  // namespace

// SdlDateToTmDate for a date of printable ASCII, in one pass; false for any other.
bool TSdlTMStream::TmDateBytes(std::string_view date, std::string& buffer, std::string_view& out) {
  // The buffer only grows: dates are mostly of one length, and a string made longer is filled first.
  if (buffer.size() < date.size()) buffer.resize(date.size());
  // The form the tools write, "yyyy-mm-dd hh:mm:ss", checked and rewritten without a loop's
  // branches; any other goes byte by byte.
  static constexpr std::string_view kShape = "0000-00-00 00:00:00";
  if (date.size() == kShape.size()) {
    // Eight bytes at a time (at 0, 8 and 11): each byte xor its shape's byte ("0" for a digit)
    // is below 0x80, and then at most 9 for a digit and 0 for a separator.
    static constexpr auto kXor = [](size_t at) {
      uint64_t word = 0;
      for (size_t i = 0; i < 8; ++i) word |= uint64_t(static_cast<unsigned char>(kShape[at + i])) << (8 * i);
      return word;
    };
    static constexpr auto kAdd = [](size_t at) {
      uint64_t word = 0;
      for (size_t i = 0; i < 8; ++i) word |= uint64_t(kShape[at + i] == '0' ? 0x7F - 9 : 0x7F) << (8 * i);
      return word;
    };
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    bool shaped = true;
    for (const size_t at : {size_t(0), size_t(8), size_t(11)}) {
      uint64_t word;
      std::memcpy(&word, date.data() + at, 8);
      const uint64_t x = word ^ kXor(at);
      shaped &= ((x | (x + kAdd(at))) & kHigh) == 0;
    }
    if (shaped) {
      char* q = buffer.data();
      std::memcpy(q, date.data(), 4);
      std::memcpy(q + 4, date.data() + 5, 2);
      std::memcpy(q + 6, date.data() + 8, 2);
      q[8] = '~';
      std::memcpy(q + 9, date.data() + 11, 2);
      std::memcpy(q + 11, date.data() + 14, 2);
      std::memcpy(q + 13, date.data() + 17, 2);
      out = std::string_view(q, 15);
      return true;
    }
  }
  // Through a pointer of its own: a store through the string would make its size be read again.
  char* q = buffer.data();
  const char* const start = q;
  for (const char c : date) {
    const char m = kTmDateByte[static_cast<unsigned char>(c)];
    if (m == 0) return false;
    *q = m;
    q += m != 1;
  }
  out = std::string_view(start, static_cast<size_t>(q - start));
  return true;
}

template <typename Step>
auto TSdlTMStream::Guarded(Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const ESQLiteException& e) {
    RaiseFor(FileName, e);
  }
}

TSdlTMStream::TSdlTMStream(const WideString& fileName) : FileName(fileName) {
  Database = std::make_unique<TSQLiteDatabase>(fileName);
  try {
    // The first column of each name counts, its name compared without case (the names arrive
    // upper-cased). change_user is not read: the usage count comes from usage_counter alone.
    static const char* const kNames[] = {"source_segment", "target_segment", "creation_user", "creation_date",
                                         "usage_counter"};
    int* const cols[] = {&SourceCol, &TargetCol, &UserCol, &DateCol, &CountCol};
    bool present[std::size(kNames)] = {};
    {
      TSQLiteCursor all(*Database, "SELECT * FROM translation_units");
      for (int i = 0; i < all.ColCount(); ++i)
        for (size_t k = 0; k < std::size(kNames); ++k)
          if (SameTextAsciiW(all.Columns(i), WideString(kNames[k], kNames[k] + std::strlen(kNames[k]))))
            present[k] = true;
    }
    // Only the columns a unit takes are read.
    AnsiString sql = "SELECT ";
    int next = 0;
    for (size_t k = 0; k < std::size(kNames); ++k) {
      if (!present[k]) continue;
      if (next > 0) sql += ", ";
      sql += kNames[k];
      *cols[k] = next++;
    }
    if (next == 0) sql += "NULL";
    sql += " FROM translation_units";
    auto count = Database->GetTable("SELECT count(*) FROM translation_units");
    RowCount = count->FieldAsInteger(0);
    Rows = std::make_unique<TSQLiteCursor>(*Database, sql);
    Rows->MoveFirst();
  } catch (const ESQLiteException& e) {
    RaiseFor(fileName, e);
  }
  Decoder = std::make_unique<TDecodeSdltmStr>();
}

TSdlTMStream::~TSdlTMStream() {
  Decoder.reset();
  Rows.reset();
  Database.reset();
}

int64_t TSdlTMStream::GetSize() { return RowCount; }

int64_t TSdlTMStream::GetPosition() { return Rows->Row(); }

void TSdlTMStream::MoveTo(int64_t row) {
  row = std::clamp<int64_t>(row, 0, RowCount);
  Guarded([&] {
    if (Rows->Row() > row) Rows->MoveFirst();
    while (Rows->Row() < row && !Rows->Eof()) Rows->Next();
    return 0;
  });
}

int64_t TSdlTMStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::FromBeginning:
      MoveTo(offset);
      RowsRead = 0;
      break;
    case TSeekOrigin::FromCurrent:
      MoveTo(Rows->Row() + offset);
      break;
    case TSeekOrigin::FromEnd:
      MoveTo(RowCount - offset);
      break;
  }
  return Rows->Row();
}

bool TSdlTMStream::Write(TTU&) { return false; }

bool TSdlTMStream::DeliverUtf8Segments(bool on) {
  Utf8Segments = on;
  Decoder->Utf8Segments = on;
  return true;
}

void TSdlTMStream::SdlDateToTmDate(WideString& date) {
  size_t out = 0;
  for (const WideChar c : date) {
    if (c == u'-' || c == u':') continue;
    date[out++] = c == u' ' ? u'~' : c;
  }
  date.resize(out);
}

int64_t TSdlTMStream::Read(TTU& tu) {
  if (tu.IsHeader) {
    MoveTo(0);
    RowsRead = 0;
  }
  if (Rows->Eof()) return 0;
  const bool header = RowsRead == 0 && Rows->Row() == 0;
  tu.Clear();
  tu.SegmentsUtf8 = Utf8Segments;
  tu.SegmentsClean = Utf8Segments;
  tu.SetIsHeader(header);
  auto field = [&](int col) -> WideString& {
    Guarded([&] {
      Rows->FieldAsString(col, Field);
      return 0;
    });
    return Field;
  };
  // The segments go to the decoder as the database holds them, in UTF-8.
  auto segment = [&](int col, bool isSource) {
    std::string_view bytes;
    if (Guarded([&] { return Rows->FieldAsUtf8(col, bytes); }))
      Decoder->DecodeUtf8(bytes, tu, isSource);
    else
      Decoder->Decode(field(col), tu, isSource);
  };
  if (SourceCol >= 0) segment(SourceCol, true);
  if (TargetCol >= 0) segment(TargetCol, false);
  // For a writer in UTF-8 the user and the date go as the database's bytes where those are
  // ASCII without controls (what names and dates are), the count without its text.
  auto plainBytes = [&](int col, std::string_view& bytes) {
    return Utf8Segments && !header && Guarded([&] { return Rows->FieldAsUtf8(col, bytes); }) &&
           std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  };
  std::string_view bytes;
  if (UserCol >= 0) {
    if (plainBytes(UserCol, bytes))
      tu.SetFieldBytes(tfUserId, bytes);
    else
      tu.SetField(tfUserId, field(UserCol));
  }
  if (DateCol >= 0) {
    if (Utf8Segments && !header && Guarded([&] { return Rows->FieldAsUtf8(DateCol, bytes); }) &&
        TmDateBytes(bytes, DateBytes, bytes)) {
      tu.SetFieldBytes(tfDate, bytes);
    } else {
      WideString& date = field(DateCol);
      SdlDateToTmDate(date);
      tu.SetField(tfDate, date);
    }
  }
  if (CountCol >= 0) {
    // A count is kept as stored, beyond the 32-bit range too: its number, or its text's leading
    // number. Up to 18 digits cannot overflow. An integer that a column of another declared type
    // holds is its number too, with no text made of it.
    int64_t count = -1;
    if (!Guarded([&] { return Rows->FieldAsInt64(CountCol, count); }) &&
        !Guarded([&] { return Rows->StoredInt64(CountCol, count); }) &&
        Guarded([&] { return Rows->FieldAsUtf8(CountCol, bytes); }) && !bytes.empty() && bytes.size() <= 18 &&
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      count = 0;
      for (const char c : bytes) count = count * 10 + (c - '0');
    }
    tu.SetCount(count >= 0 ? count : LeadingNumber(field(CountCol)));
  }
  ++RowsRead;
  // The header's row is delivered once more, as the first unit.
  if (header) return 1;
  Guarded([&] { return Rows->Next(); });
  return Rows->Row();
}
