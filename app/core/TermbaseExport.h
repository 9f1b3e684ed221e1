#pragma once
// The export of a termbase into a tab-separated UTF-8 text file: one column per index
// (language), one line per entry, the terms of an entry in one index joined with "|".
//
// The file: the UTF-8 byte-order mark; the header line of the index titles; then one line per
// entry number that has a term, in ascending order. Every line has one cell per index (cells
// joined by TAB, an empty cell kept as such) and ends with CR LF. Inside a term or a title a
// TAB, a CR, a LF or a CR LF pair becomes one blank, so that it cannot open a cell or a line
// of its own; a "|" stays as it is.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/core/TermbaseSource.h"
#include "base/MyObjects.h"

// The connection text that opens a termbase through the Jet OLE DB provider. The termbase is
// read with libmdb here, so nothing uses it to connect; it is the file name in the form
// other tools take.
WideString BuildJetConnectionString(const WideString& fileName);

// The index tables of a termbase in memory: "mtIndexes" gives their number N and their titles
// (field 1 of each record, in the table's order); the first N user tables, sorted by name
// without case, are the index tables, table i for column i. In each, field 1 is a term and
// field 3 its entry number. Each table is read once, front to back; its terms are kept in one
// text per column with their entry numbers, ordered by entry (the table's order within an
// entry) whatever the order of the records. Records with an empty term, or an entry number
// below 1 (an empty one counts as 0), belong to no entry line and are not kept.
class TTermbaseIndexes {
public:
  static constexpr int64_t NoEntry = INT64_MAX;

  // Reads the termbase; shownName names it in messages. Raises ETermbaseError (naming the file)
  // when "mtIndexes" is missing, when it lists more indexes than the termbase has tables, or
  // when a table lacks the fields read or holds an entry number that is not a whole number.
  // onRecord is called after each record of an index table with the column, the number of
  // columns, the records of the table read so far and the count the table gives; it returns
  // false to stop reading, which leaves Stopped() true.
  using TRecordEvent = std::function<bool(size_t column, size_t columns, int64_t read, int64_t count)>;
  TTermbaseIndexes(TTermbaseSource& source, const WideString& shownName, const TRecordEvent& onRecord = {});

  size_t Count() const { return Columns.size(); }
  const std::vector<WideString>& Titles() const { return FTitles; }
  bool Stopped() const { return FStopped; }
  // The number of terms kept over all columns, and how many of them were collected.
  int64_t TermCount() const { return FTermCount; }
  int64_t Collected() const { return FCollected; }

  // The smallest entry number of which some column still has terms to collect; NoEntry when
  // every term was collected.
  int64_t NextEntry() const;
  // The terms of Entry in column Column joined with "|", in their table's order; the column
  // moves past them. Entries are collected in ascending order: a column whose next terms
  // belong to a later entry gives the empty string and keeps them for that entry.
  WideString CollectEntryTerms(size_t Column, int64_t Entry);

private:
  struct TTermRef {
    int64_t Entry;
    size_t Start;
    size_t Length;
  };
  struct TColumn {
    WideString Terms;  // the column's terms, one after the other
    std::vector<TTermRef> Refs;
    size_t Cursor = 0;
  };

  void ReadColumn(TTermbaseSource& source, size_t column, size_t tableIndex, const WideString& name,
                  const WideString& shownName, const TRecordEvent& onRecord);

  std::vector<TColumn> Columns;
  std::vector<WideString> FTitles;
  int64_t FTermCount = 0;
  int64_t FCollected = 0;
  bool FStopped = false;
};

// Exports the termbase inputName into outputName (replaced when it exists) and returns the
// number of entry lines written. job receives the progress (reading the index tables is the
// first half of the work, writing the lines the second) and, in UnitCount, each entry line
// written; its stop flag ends the export: stopped while reading, nothing is written; stopped
// while writing, the lines written stay. Raises EWideFOpenError or ETermbaseError when the
// termbase cannot be read and EWideFCreateError when the output cannot be created, before
// anything is written; ETermbaseError when the output is the termbase itself (the termbase
// is never written to) or could not take all that was written, in which case the partial
// output is removed. Every message names the file. An existing output file is replaced only
// once the termbase has been read.
int64_t STLBToCSV(const WideString& inputName, const WideString& outputName, TObjectControled& job);

// The same from a termbase already open; inputName names it in messages.
int64_t STLBToCSV(TTermbaseSource& source, const WideString& inputName, const WideString& outputName,
                  TObjectControled& job);
