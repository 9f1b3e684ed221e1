#pragma once
// The units of an SDLTM translation memory (an SQLite database): one unit per row of its table
// translation_units, read only. Rows are read in batches of a few hundred as the stream moves
// forward, and only the columns a unit takes, so that memory does not grow with the database;
// moving back reads from the first row again. SQLite reads the next rows on a thread of its own
// while the units of the rows before them are made.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tm/MyDecodeSdltm.h"
#include "tm/TUStream.h"
#include "tm/sqlite/SQLiteTable3.h"

class TSdlTMStream : public TTUStream {
public:
  // Opens the database read-only and reads the table. Raises ESQLiteException, whose message
  // names the file, when the file cannot be opened, is no database or has no such table.
  // readAhead: the rows are read on a second thread (where the machine has more than one
  // processor); without, as the units are asked for. The units, errors and positions are the same.
  explicit TSdlTMStream(const WideString& fileName, bool readAhead = true);
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

  // An SDLTM date as a text-TM date "YYYYMMDD~hhmmss", in place: a date in any form SQLite
  // keeps dates in ("2012-11-03 10:20:30", with fractions of a second, with "T" and a time
  // zone, a Julian day number, a Unix time), taken to UTC with its fractions dropped. Anything
  // else is no date: false, and date is left empty.
  static bool SdlDateToTmDate(WideString& date);
  // The same for the date's bytes: out is the result, made in buffer; false (out empty) for a
  // value that is no date.
  static bool TmDateBytes(std::string_view date, std::string& buffer, std::string_view& out);

  // Units read whose creation date was no date, and which have none: what the TMX has no
  // creationdate for.
  int64_t DatesLeftOut() const { return FDatesLeftOut; }
  // Units read whose segment held a zero character, which the TMX holds as a blank.
  int64_t ZeroCharUnits() const { return FZeroCharUnits; }
  int64_t WarnedUnits() const override { return FDatesLeftOut + FZeroCharUnits; }
  // Rows passed over since the start because a segment of theirs is no segment with its
  // language (plain text, a number, NULL, bytes that are no text): no unit, nor the header, is
  // made of them. SkippedRows holds the first few of their row numbers, from 1.
  int64_t SkippedUnits() const { return FSkipped; }
  const std::vector<int64_t>& SkippedRows() const { return FSkippedRows; }
  static constexpr size_t kSkippedRowsKept = 5;

private:
  // A field of a row as the cursor gave it: its bytes (FieldAsUtf8), else its text
  // (FieldAsString); for the count also its number, when the cursor gave one.
  struct TField {
    size_t At = 0;  // in the batch's Bytes or Wide
    size_t Size = 0;
    bool Utf8 = false;
    bool IsInt = false;     // FieldAsInt64 gave Int
    bool IsStored = false;  // else StoredInt64 gave it
    int64_t Int = 0;
  };
  // Rows copied from the cursor, one after another.
  struct TBatch {
    size_t Rows = 0;
    std::vector<TField> Fields;  // Rows times the cursor's columns
    std::string Bytes;
    std::u16string Wide;
    bool End = false;          // the cursor is at its end after these rows
    std::exception_ptr Error;  // what moving past the last row raised
  };
  static constexpr size_t kColumnsRead = 5;
  void CheckRealTable();
  void CheckStoredColumns(const char* const* names, const bool* present);
  // Copies rows from the cursor, from where it stands, into batch. Only one thread at a time.
  void FillBatch(TBatch& batch);
  // Brings the next batch (the reading thread's, or filled here) as the current one, when the
  // current one has no row left; false at the end.
  bool AtRow();
  // Moves past the current row; what the cursor raised there is raised by the next AtRow.
  void NextRow();
  std::unique_ptr<TBatch> NextBatch();
  void ReadAheadLoop();
  // Stops the reading thread and takes every batch back; the cursor stands where that left it.
  void StopReading();
  const TField& FieldOf(int col) const { return Current->Fields[Index * static_cast<size_t>(ColCount) + static_cast<size_t>(col)]; }
  void MoveTo(int64_t row);
  // Fills tu from the current row; false when a segment of the row is no segment.
  bool ReadRow(TTU& tu, bool header);
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
  int64_t FDatesLeftOut = 0;
  int64_t FZeroCharUnits = 0;
  int64_t FSkipped = 0;
  int64_t SkippedAtTop = 0;  // rows passed over before the header's
  std::vector<int64_t> FSkippedRows;
  int64_t RowsRead = 0;  // rows delivered since the stream was last moved to its start
  int64_t Position = 0;  // the row of the next unit
  WideString RowText;    // FillBatch's own, for it may run beside Read
  int ColCount = 0;
  bool ReadAhead = false;
  std::unique_ptr<TBatch> Current;  // the batch of the current row, Index
  size_t Index = 0;
  // Shared with the reading thread, under Lock: the batches read and those free to be filled.
  std::thread Reader;
  std::mutex Lock;
  std::condition_variable Filled;
  std::condition_variable Emptied;
  std::deque<std::unique_ptr<TBatch>> Full;
  std::vector<std::unique_ptr<TBatch>> Free;
  bool StopAsked = false;
  // The columns that are read, by their index in the cursor (-1 when the table has none).
  int SourceCol = -1;
  int TargetCol = -1;
  int UserCol = -1;
  int DateCol = -1;
  int CountCol = -1;
};
