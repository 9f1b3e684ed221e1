#pragma once
// What the termbase export reads: the tables of a termbase and their records, field by field.
// The export sees only this interface, so that it runs on a Jet file read with libmdb and, in
// tests, on tables held in memory.
#include <cstdint>
#include <memory>
#include <vector>

#include "unicode/UniSysUtils.h"
#include "unicode/UniTypes.h"

// A termbase that cannot be read as one; the message names the file.
class ETermbaseError : public WideException {
public:
  using WideException::WideException;
};

// One field of a record. Integer columns carry their value in Number and its decimal text in
// Text; other columns carry their text only. A NULL field has Null set and an empty text.
struct TTermbaseField {
  bool Null = true;
  bool IsNumber = false;
  int64_t Number = 0;
  WideString Text;
};

using TTermbaseRecord = std::vector<TTermbaseField>;

// A table read once, front to back, in the order the file keeps its records.
class TTermbaseTable {
public:
  virtual ~TTermbaseTable() = default;
  // The number of records the table says it holds (what a progress measure can rely on).
  virtual int64_t RecordCount() const = 0;
  // The next record, one field per column; false at the end of the table.
  virtual bool Next(TTermbaseRecord& record) = 0;
};

class TTermbaseSource {
public:
  virtual ~TTermbaseSource() = default;
  // The user tables (system tables left out), in the order the file keeps them.
  virtual std::vector<WideString> TableNames() = 0;
  // The table at position index of TableNames(). Tables may be open at the same time, each read
  // at its own pace (the export reads its index tables side by side). Raises ETermbaseError when
  // it cannot be read.
  virtual std::unique_ptr<TTermbaseTable> OpenTable(size_t index) = 0;
};
