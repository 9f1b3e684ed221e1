#include "app/core/SdlTMStream.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <system_error>
#include <utility>

#include "base/MyWideStr.h"
#include "unicode/UniSysUtils.h"

namespace {

[[noreturn]] void RaiseFor(const WideString& fileName, const ESQLiteException& e) {
  // The library's message names the statement, not the file.
  throw ESQLiteException(
      WideFormat(u"Cannot read the SDLTM database \"%s\".\r%s", {WideExpandFileName(fileName), e.WideMessage()}),
      e.Reason, e.OutOfMemory);
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

// Days since 1970-01-01 of a day of the proleptic Gregorian calendar; a day beyond the end of
// its month runs on into the next, as SQLite counts it.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Seconds since 1970 as a text-TM date "YYYYMMDD~hhmmss" into out (15 characters and a zero);
// false for a year outside 0000 to 9999, which the form cannot hold.
bool FormatTmDate(int64_t seconds, char* out) {
  int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  if (y < 0 || y > 9999) return false;
  std::snprintf(out, 16, "%04d%02d%02d~%02d%02d%02d", static_cast<int>(y), static_cast<int>(m), static_cast<int>(d),
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return true;
}

// A date in one of the forms SQLite keeps dates in, as seconds since 1970 (fractions of a
// second dropped): text "YYYY-MM-DD", followed by "HH:MM", "HH:MM:SS" or "HH:MM:SS.SSS" after
// blanks or "T", then a time zone "Z" or "+HH:MM"/"-HH:MM" (the time is taken to UTC); or a
// number, a Julian day number below 5373484.5 and a Unix time beyond, as SQLite's "auto" reads
// it. Blanks around the date are allowed. False for anything else.
bool SqlDateSeconds(std::string_view s, int64_t& seconds) {
  // Blanks as SQLite's dates take them: the space, TAB and the line ends.
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  if (s.empty() || s.size() > 64) return false;
  size_t i = 0;
  auto digits = [&](size_t n, int& value) {
    value = 0;
    for (size_t k = 0; k < n; ++k, ++i) {
      if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
      value = value * 10 + (s[i] - '0');
    }
    return true;
  };
  auto take = [&](char c) {
    if (i >= s.size() || s[i] != c) return false;
    ++i;
    return true;
  };
  int y, mo, d;
  if (digits(4, y) && take('-')) {
    if (!digits(2, mo) || !take('-') || !digits(2, d) || mo < 1 || mo > 12 || d < 1 || d > 31) return false;
    int h = 0, mi = 0, sec = 0;
    if (i < s.size() && (s[i] == 'T' || blank(s[i]))) {
      while (i < s.size() && (s[i] == 'T' || blank(s[i]))) ++i;
      if (!digits(2, h) || !take(':') || !digits(2, mi) || h > 24 || mi > 59) return false;
      if (take(':')) {
        if (!digits(2, sec) || sec > 59) return false;
        if (take('.')) {
          const size_t first = i;
          while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
          if (i == first) return false;
        }
      }
      while (i < s.size() && blank(s[i])) ++i;
    }
    int64_t zone = 0;
    if (i < s.size() && (s[i] == 'Z' || s[i] == 'z')) {
      ++i;
    } else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      const int sign = s[i++] == '-' ? -1 : 1;
      int zh, zm;
      if (!digits(2, zh) || !take(':') || !digits(2, zm) || zh > 14 || zm > 59) return false;
      zone = sign * (zh * 3600 + zm * 60);
    }
    if (i != s.size()) return false;
    seconds = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + sec - zone;
    return true;
  }
  // A number: sign, digits, a fraction, an exponent, as SQLite writes a REAL or an INTEGER.
  if (!(s[0] == '-' || s[0] == '+' || (s[0] >= '0' && s[0] <= '9')) ||
      s.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
    return false;
  char number[72];
  std::memcpy(number, s.data(), s.size());
  number[s.size()] = '\0';
  char* end = nullptr;
  const double v = std::strtod(number, &end);
  if (end != number + s.size() || !std::isfinite(v)) return false;
  if (v >= 0 && v < 5373484.5) {
    // A Julian day number, to milliseconds as SQLite rounds it, then to seconds since 1970.
    const int64_t ms = static_cast<int64_t>(v * 86400000.0 + 0.5) - int64_t{210866760000000};
    seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    return true;
  }
  if (v < -210866760000.0 || v > 253402300799.0) return false;
  seconds = static_cast<int64_t>(std::floor(v));
  return true;
}

}  // namespace

// The tools' form is rewritten without a loop's branches; any other is read in full.
bool TSdlTMStream::TmDateBytes(std::string_view date, std::string& buffer, std::string_view& out) {
  if (buffer.size() < 16) buffer.resize(16);
  char* q = buffer.data();
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
    // Days up to the 28th are in every month; later days, and times out of range, are read in
    // full.
    auto two = [&](size_t at) { return (date[at] - '0') * 10 + (date[at + 1] - '0'); };
    if (shaped && two(5) >= 1 && two(5) <= 12 && two(8) >= 1 && two(8) <= 28 && two(11) <= 23 && two(14) <= 59 &&
        two(17) <= 59) {
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
  int64_t seconds;
  if (!SqlDateSeconds(date, seconds) || !FormatTmDate(seconds, q)) {
    out = {};
    return false;
  }
  out = std::string_view(q, 15);
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

TSdlTMStream::TSdlTMStream(const WideString& fileName, bool readAhead)
    : FileName(fileName), ReadAhead(readAhead && std::thread::hardware_concurrency() > 1) {
  Database = std::make_unique<TSQLiteDatabase>(fileName);
  try {
    // The first column of each name counts, its name compared without case (the names arrive
    // upper-cased). change_user is not read: the usage count comes from usage_counter alone.
    static const char* const kNames[] = {"source_segment", "target_segment", "creation_user", "creation_date",
                                         "usage_counter"};
    int* const cols[] = {&SourceCol, &TargetCol, &UserCol, &DateCol, &CountCol};
    static_assert(std::size(kNames) == kColumnsRead);
    bool present[std::size(kNames)] = {};
    {
      TSQLiteCursor all(*Database, "SELECT * FROM translation_units");
      CheckRealTable();
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
    CheckStoredColumns(kNames, present);
    auto count = Database->GetTable("SELECT count(*) FROM translation_units");
    RowCount = count->FieldAsInteger(0);
    Rows = std::make_unique<TSQLiteCursor>(*Database, sql);
    ColCount = Rows->ColCount();
    Rows->MoveFirst();
  } catch (const ESQLiteException& e) {
    RaiseFor(fileName, e);
  }
  Decoder = std::make_unique<TDecodeSdltmStr>();
}

// Units come from rows stored in the file: a view (of a query that may run without end or make
// rows without number) and a virtual table are refused before anything is read from them.
void TSdlTMStream::CheckRealTable() {
  auto kind = Database->GetTable(
      "SELECT type, rootpage > 0 FROM sqlite_master WHERE type IN ('table', 'view') AND name = 'translation_units' "
      "COLLATE NOCASE");
  if (kind->RowCount() == 0) return;  // the query of the table says that there is none
  const WideString type = kind->FieldAsString(0);
  if (type == u"table") {
    if (kind->FieldAsString(1) == u"1") return;
    throw ESQLiteException(u"translation_units is a virtual table, not a table of stored units.",
                           u"translation_units is a virtual table, not a table of stored units");
  }
  throw ESQLiteException(u"translation_units is a view, not a table of stored units.",
                         u"translation_units is a view, not a table of stored units");
}

// A column computed as it is read is no stored value either; a library too old to tell has none.
void TSdlTMStream::CheckStoredColumns(const char* const* names, const bool* present) {
  std::unique_ptr<TSQLiteTable> columns;
  try {
    columns = Database->GetTable("SELECT name, hidden FROM pragma_table_xinfo('translation_units')");
  } catch (const ESQLiteException&) {
    return;
  }
  for (columns->MoveFirst(); !columns->Eof(); columns->Next()) {
    if (columns->FieldAsString(1) != u"2") continue;  // 2: computed when read
    const WideString name = columns->FieldAsString(0);
    for (size_t k = 0; k < kColumnsRead; ++k)
      if (present[k] && SameTextAsciiW(name, WideString(names[k], names[k] + std::strlen(names[k]))))
        throw ESQLiteException(u"The column " + name + u" of translation_units is computed, not stored.",
                               u"its column " + name + u" is computed, not stored");
  }
}

TSdlTMStream::~TSdlTMStream() {
  StopReading();
  Decoder.reset();
  Rows.reset();
  Database.reset();
}

int64_t TSdlTMStream::GetSize() { return RowCount; }

int64_t TSdlTMStream::GetPosition() { return Position; }

void TSdlTMStream::MoveTo(int64_t row) {
  row = std::clamp<int64_t>(row, 0, RowCount);
  // At the start, before any row was read, there is nothing to move.
  if (row == 0 && Position == 0 && !Current && !Reader.joinable() && Rows->Row() == 0) return;
  StopReading();
  try {
    Guarded([&] {
      if (Rows->Row() > row) Rows->MoveFirst();
      while (Rows->Row() < row && !Rows->Eof()) Rows->Next();
      return 0;
    });
  } catch (...) {
    Position = Rows->Row();
    throw;
  }
  Position = Rows->Row();
}

int64_t TSdlTMStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::FromBeginning:
      MoveTo(offset);
      RowsRead = 0;
      SkippedAtTop = 0;
      break;
    case TSeekOrigin::FromCurrent:
      MoveTo(Position + offset);
      break;
    case TSeekOrigin::FromEnd:
      MoveTo(RowCount - offset);
      break;
  }
  return Position;
}

namespace {
// A batch ends after this many rows, or once its bytes reach this many: a few batches in
// flight hold the rows of a few hundred units.
constexpr size_t kBatchRows = 256;
constexpr size_t kBatchBytes = 256 * 1024;
constexpr size_t kBatches = 3;
}  // namespace

void TSdlTMStream::FillBatch(TBatch& batch) {
  batch.Rows = 0;
  batch.Fields.clear();
  batch.Bytes.clear();
  batch.Wide.clear();
  batch.End = false;
  batch.Error = nullptr;
  const auto cols = static_cast<size_t>(ColCount);
  try {
    while (!Rows->Eof()) {
      const size_t first = batch.Fields.size();
      batch.Fields.resize(first + cols);
      for (int col = 0; col < ColCount; ++col) {
        TField& f = batch.Fields[first + static_cast<size_t>(col)];
        // The count is asked for as Read asks: its number first; a number not below zero is
        // all that Read takes of it.
        if (col == CountCol) {
          f.IsInt = Rows->FieldAsInt64(col, f.Int);
          f.IsStored = !f.IsInt && Rows->StoredInt64(col, f.Int);
          if ((f.IsInt || f.IsStored) && f.Int >= 0) continue;
        }
        std::string_view bytes;
        // The text of a segment or a user goes on after a zero character; a date or a count,
        // read as SQLite reads them, ends there.
        f.Utf8 = col == SourceCol || col == TargetCol || col == UserCol ? Rows->FieldAsUtf8Whole(col, bytes)
                                                                          : Rows->FieldAsUtf8(col, bytes);
        if (f.Utf8) {
          f.At = batch.Bytes.size();
          f.Size = bytes.size();
          batch.Bytes.append(bytes);
        } else {
          Rows->FieldAsString(col, RowText);
          f.At = batch.Wide.size();
          f.Size = RowText.size();
          batch.Wide.append(RowText);
        }
      }
      ++batch.Rows;
      Rows->Next();
      if (batch.Rows >= kBatchRows || batch.Bytes.size() >= kBatchBytes) break;
    }
  } catch (...) {
    // Raised when the stream moves past the last row of the batch, as the cursor raised it.
    batch.Error = std::current_exception();
    batch.End = true;
    return;
  }
  batch.End = Rows->Eof();
}

void TSdlTMStream::ReadAheadLoop() {
  for (;;) {
    std::unique_ptr<TBatch> batch;
    {
      std::unique_lock<std::mutex> lock(Lock);
      Emptied.wait(lock, [&] { return StopAsked || !Free.empty(); });
      if (StopAsked) return;
      batch = std::move(Free.back());
      Free.pop_back();
    }
    FillBatch(*batch);
    const bool end = batch->End;
    {
      std::lock_guard<std::mutex> lock(Lock);
      Full.push_back(std::move(batch));
    }
    Filled.notify_one();
    if (end) return;
  }
}

std::unique_ptr<TSdlTMStream::TBatch> TSdlTMStream::NextBatch() {
  if (ReadAhead && !Reader.joinable()) {
    {
      std::lock_guard<std::mutex> lock(Lock);
      while (Free.size() < kBatches) Free.push_back(std::make_unique<TBatch>());
    }
    try {
      Reader = std::thread([this] { ReadAheadLoop(); });
    } catch (const std::system_error&) {
      ReadAhead = false;  // no thread to be had: read here
    }
  }
  if (!Reader.joinable()) {
    std::unique_ptr<TBatch> batch;
    if (Free.empty()) {
      batch = std::make_unique<TBatch>();
    } else {
      batch = std::move(Free.back());
      Free.pop_back();
    }
    FillBatch(*batch);
    return batch;
  }
  std::unique_lock<std::mutex> lock(Lock);
  Filled.wait(lock, [&] { return !Full.empty(); });
  std::unique_ptr<TBatch> batch = std::move(Full.front());
  Full.pop_front();
  return batch;
}

void TSdlTMStream::StopReading() {
  if (Reader.joinable()) {
    {
      std::lock_guard<std::mutex> lock(Lock);
      StopAsked = true;
    }
    Emptied.notify_all();
    Reader.join();
    StopAsked = false;
  }
  if (Current) Free.push_back(std::move(Current));
  for (; !Full.empty(); Full.pop_front()) Free.push_back(std::move(Full.front()));
  Index = 0;
}

bool TSdlTMStream::AtRow() {
  for (;;) {
    if (Current && Index < Current->Rows) return true;
    if (Current && Current->Error) {
      // What reading past the last row raised, raised when the row after it is asked for: the
      // rows before it are all delivered. A batch that failed on its first row has none.
      const std::exception_ptr error = std::exchange(Current->Error, nullptr);
      Guarded([&]() -> int { std::rethrow_exception(error); });
    }
    if (Current && Current->End) return false;
    if (Current) {
      {
        std::lock_guard<std::mutex> lock(Lock);
        Free.push_back(std::move(Current));
      }
      Emptied.notify_one();
    }
    Current = NextBatch();
    Index = 0;
  }
}

void TSdlTMStream::NextRow() {
  ++Position;
  ++Index;
}

bool TSdlTMStream::Write(TTU&) { return false; }

bool TSdlTMStream::DeliverUtf8Segments(bool on) {
  Utf8Segments = on;
  Decoder->Utf8Segments = on;
  return true;
}

bool TSdlTMStream::SdlDateToTmDate(WideString& date) {
  // Called for every unit whose dates are read as text: scratch of the thread's own, so that no
  // unit allocates for its date.
  thread_local std::string bytes, buffer;
  bytes.clear();
  for (const WideChar c : date) {
    if (c >= 0x80) {
      date.clear();
      return false;
    }
    bytes.push_back(static_cast<char>(c));
  }
  std::string_view out;
  const bool ok = TmDateBytes(bytes, buffer, out);
  date.assign(out.begin(), out.end());
  return ok;
}

int64_t TSdlTMStream::Read(TTU& tu) {
  if (tu.IsHeader) {
    MoveTo(0);
    RowsRead = 0;
    FDatesLeftOut = 0;
    FZeroCharUnits = 0;
    FSkipped = 0;
    SkippedAtTop = 0;
    FSkippedRows.clear();
  }
  for (;;) {
    if (!AtRow()) return 0;
    const bool header = RowsRead == 0 && Position == SkippedAtTop;
    if (ReadRow(tu, header)) {
      ++RowsRead;
      // The header's row is delivered once more, as the first unit.
      if (header) return 1;
      NextRow();
      return Position;
    }
    // A row whose segment is none: passed over, and named, once.
    ++FSkipped;
    if (FSkippedRows.size() < kSkippedRowsKept) FSkippedRows.push_back(Position + 1);
    if (header) ++SkippedAtTop;
    NextRow();
  }
}

bool TSdlTMStream::ReadRow(TTU& tu, bool header) {
  tu.Clear();
  tu.SegmentsUtf8 = Utf8Segments;
  tu.SegmentsClean = Utf8Segments;
  tu.SetIsHeader(header);
  auto field = [&](int col) -> WideString& {
    const TField& f = FieldOf(col);
    if (f.Utf8)
      TSQLiteCursor::TextOfUtf8(std::string_view(Current->Bytes).substr(f.At, f.Size), Field);
    else
      Field.assign(Current->Wide, f.At, f.Size);
    return Field;
  };
  auto utf8 = [&](int col, std::string_view& bytes) {
    const TField& f = FieldOf(col);
    if (f.Utf8) bytes = std::string_view(Current->Bytes).substr(f.At, f.Size);
    return f.Utf8;
  };
  std::string_view bytes;
  // The segments go to the decoder as the database holds them, in UTF-8. A zero character (in a
  // segment or the user) is text like any other that TMX cannot hold: a blank stands for it, and
  // the unit is warned of.
  bool zero = false;
  auto segment = [&](int col, bool isSource) {
    if (utf8(col, bytes)) {
      zero = zero || (!bytes.empty() && std::memchr(bytes.data(), 0, bytes.size()));
      Decoder->DecodeUtf8(bytes, tu, isSource);
    } else {
      const WideString& text = field(col);
      zero = zero || text.find(u'\0') != WideString::npos;
      Decoder->Decode(text, tu, isSource);
    }
    return Decoder->SegmentDecoded();
  };
  if (SourceCol >= 0 && !segment(SourceCol, true)) return false;
  if (TargetCol >= 0 && !segment(TargetCol, false)) return false;

  // For a writer in UTF-8 the user and the date go as the database's bytes where those are
  // ASCII without controls (what names and dates are), the count without its text.
  if (UserCol >= 0) {
    if (utf8(UserCol, bytes) && !bytes.empty() && std::memchr(bytes.data(), 0, bytes.size())) zero = true;
    if (Utf8Segments && !header && utf8(UserCol, bytes) &&
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
      tu.SetFieldBytes(tfUserId, bytes);
    else
      tu.SetField(tfUserId, field(UserCol));
  }
  if (DateCol >= 0) {
    // A value that is no date leaves the unit without one. The header's row comes again as the
    // first unit: it is counted there.
    bool dated;
    if (Utf8Segments && !header && utf8(DateCol, bytes)) {
      dated = TmDateBytes(bytes, DateBytes, bytes);
      if (dated) tu.SetFieldBytes(tfDate, bytes);
    } else {
      WideString& date = field(DateCol);
      dated = SdlDateToTmDate(date);
      if (dated) tu.SetField(tfDate, date);
    }
    if (!dated && !header) ++FDatesLeftOut;
  }
  if (zero && !header) ++FZeroCharUnits;
  if (CountCol >= 0) {
    // A count is kept as stored, beyond the 32-bit range too: its number, or its text's leading
    // number. Up to 18 digits cannot overflow. An integer that a column of another declared type
    // holds is its number too, with no text made of it.
    const TField& f = FieldOf(CountCol);
    int64_t count = -1;
    if (f.IsInt || f.IsStored) {
      count = f.Int;
    } else if (utf8(CountCol, bytes) && !bytes.empty() && bytes.size() <= 18 &&
               std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      count = 0;
      for (const char c : bytes) count = count * 10 + (c - '0');
    }
    tu.SetCount(count >= 0 ? count : LeadingNumber(field(CountCol)));
  }
  return true;
}
