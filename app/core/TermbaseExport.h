#pragma once
// The export of a termbase into a tab-separated UTF-8 text file: one column per index
// (language), one line per entry, the terms of an entry in one index joined with "|".
//
// The file: the UTF-8 byte-order mark; the header line of the index titles; then one line per
// entry number that has a term, in ascending order. Every line has one cell per index (cells
// joined by TAB, an empty cell kept as such) and ends with CR LF. Inside a term or a title a
// TAB, a CR, a LF or a CR LF pair becomes one blank, so that it cannot open a cell or a line
// of its own; a "|" stays as it is.
//
// Where the termbase comes from: "mtIndexes" gives the number N of indexes and their titles
// (field 1 of each record, in the table's order); the first N user tables, sorted by name
// without case, are the index tables, table i for column i. In each, field 1 is a term and
// field 3 its entry number. Records with an empty term, or an entry number below 1 (an empty
// one counts as 0), belong to no entry line; such a term is counted and named in the notes.
// Within an entry, terms keep their table's order.
//
// Memory: index tables hold their records grouped by ascending entry number, as termbases
// write them; the export then reads them side by side and writes each entry's line as soon as
// every table has read past that entry. It holds one entry's terms per table and the records
// being read: nothing that grows with the number of entries (the whole process stays at about
// 18 MB from 50,000 to 500,000 entries). A table found out of that order makes the export begin
// again, the output emptied, holding every term in memory before it writes a line: per term
// its UTF-8 bytes and 17 bytes more (about 300 bytes per entry of four languages, against
// about 410 when every term was held as UTF-16 with a 24-byte reference).
#include <cstdint>
#include <vector>

#include "app/core/TermbaseSource.h"
#include "base/MyObjects.h"

// The connection text that opens a termbase through the Jet OLE DB provider. The termbase is
// read with libmdb here, so nothing uses it to connect; it is the file name in the form
// other tools take.
WideString BuildJetConnectionString(const WideString& fileName);

// What an export tells besides its count of entries.
struct TTermbaseExportNotes {
  // Lines (the header's among them) that held a surrogate without its partner, written as U+FFFD.
  int64_t WarnedLines = 0;
  // Terms whose entry number is empty or below 1, which belong to no entry line; the first few
  // of them as "term" in table.
  int64_t TermsLeftOut = 0;
  std::vector<WideString> LeftOutNamed;
  static constexpr size_t kNamed = 3;
};

// Exports the termbase inputName into outputName (replaced when it exists) and returns the
// number of entry lines written. job receives the progress, by records read over all index
// tables (a table found out of order starts it again from 0: reading the tables is then the
// first half, writing the lines the second), and, in UnitCount, each entry line written. Its
// stop flag ends the export and the lines written stay; stopped before the first line, or
// while the tables are read again, nothing is written. Raises EWideFOpenError or
// ETermbaseError when the termbase cannot be read and EWideFCreateError when the output
// cannot be created, ETermbaseError when the output is the termbase itself (the termbase is
// never written to); every message names the file. The output is created, and an existing
// one replaced, only once "mtIndexes" is read and every index table has given its first
// entry's terms: a failure before that leaves an existing file as it was; one after it that
// comes before the first entry line, or an output that could not take all that was written,
// removes the partial output. A record that cannot be read (a damaged table) after entry lines
// were written keeps those lines, each whole, and the message says how many the file holds.
// notes, when given, receives what the result line tells besides the entries.
int64_t STLBToCSV(const WideString& inputName, const WideString& outputName, TObjectControled& job,
                  TTermbaseExportNotes* notes = nullptr);

// The same from a termbase already open; inputName names it in messages.
int64_t STLBToCSV(TTermbaseSource& source, const WideString& inputName, const WideString& outputName,
                  TObjectControled& job, TTermbaseExportNotes* notes = nullptr);
