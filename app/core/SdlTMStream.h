#pragma once
// The units of an SDLTM translation memory (an SQLite database): one unit per row of its table
// translation_units, read only. Rows are read one at a time as the stream moves forward, and
// only the columns a unit takes, so that memory does not grow with the database; moving back
// reads from the first row again.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tm/MyDecodeSdltm.h"
#include "tm/TUStream.h"
#include "tm/sqlite/SQLiteTable3.h"

class TSdlTMStream : public TTUStream {
public:
  // Opens the database read-only and reads the table. Raises ESQLiteException, whose message
  // names the file, when the file cannot be opened, is no database or has no such table.
  explicit TSdlTMStream(const WideString& fileName);
  ~TSdlTMStream() override;

  // The first row comes twice: first as the header (tu.IsHeader set), then as the first unit,
  // so that every row becomes a unit. A tu with IsHeader set on entry starts over at the
  // header. Returns the row position after the delivered row (1 for the header), 0 at the end.
  int64_t Read(TTU& tu) override;
  // Writes nothing: the stream is only read.
  bool Write(TTU& tu) override;
  int64_t GetSize() override;      // rows
  int64_t GetPosition() override;  // the current row
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  bool SegmentsAreText() const override { return false; }
  bool DeliverUtf8Segments(bool on) override;

  // An SDLTM date "2012-11-03 10:20:30" as a text-TM date "20121103~102030", in place: each
  // blank becomes "~", each "-" and ":" goes, every other character stays.
  static void SdlDateToTmDate(WideString& date);
  // The same for the date's bytes when every one is printable ASCII: out is the result, made
  // in buffer; false for any other date.
  static bool TmDateBytes(std::string_view date, std::string& buffer, std::string_view& out);

private:
  void MoveTo(int64_t row);
  // Runs a step of the cursor; a database error names the file.
  template <typename Step>
  auto Guarded(Step step) -> decltype(step());

  WideString FileName;
  std::unique_ptr<TSQLiteDatabase> Database;
  std::unique_ptr<TSQLiteCursor> Rows;
  int64_t RowCount = 0;
  WideString Field;
  std::string DateBytes;
  std::unique_ptr<TDecodeSdltmStr> Decoder;
  bool Utf8Segments = false;
  int64_t RowsRead = 0;  // rows delivered since the stream was last moved to its start
  // The columns that are read, by their index in the cursor (-1 when the table has none).
  int SourceCol = -1;
  int TargetCol = -1;
  int UserCol = -1;
  int DateCol = -1;
  int CountCol = -1;
};
