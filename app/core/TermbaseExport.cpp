#include "app/core/TermbaseExport.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/core/MdbTermbase.h"
#include "base/MyFileStream.h"
#include "base/MySysUtils.h"
#include "base/MyUnicodes.h"
#include "platform/core/Files.h"
#include "platform/core/Utf8.h"

WideString BuildJetConnectionString(const WideString& fileName) {
  return u"Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=" + fileName + u";" +
         u"Mode=Share Deny None;"
         u"Extended Properties=\"\";"
         u"Jet OLEDB:System database=\"\";"
         u"Jet OLEDB:Registry Path=\"\";"
         u"Jet OLEDB:Database Password=\"\";"
         u"Jet OLEDB:Engine Type=5;"
         u"Jet OLEDB:Database Locking Mode=1;"
         u"Jet OLEDB:Global Partial Bulk Ops=2;"
         u"Jet OLEDB:Global Bulk Transactions=1;"
         u"Jet OLEDB:New Database Password=\"\";"
         u"Jet OLEDB:Create System Database=False;"
         u"Jet OLEDB:Encrypt Database=False;"
         u"Jet OLEDB:Don't Copy Locale on Compact=False;"
         u"Jet OLEDB:Compact Without Replica Repair=False;"
         u"Jet OLEDB:SFP=False";
}

namespace {

const char16_t kIndexesTable[] = u"mtIndexes";
constexpr size_t kTermField = 1;
constexpr size_t kEntryField = 3;
constexpr size_t kTitleField = 1;
constexpr int64_t kNoEntry = INT64_MAX;

WideString Decimal(int64_t n) {
  const std::string s = std::to_string(n);
  return WideString(s.begin(), s.end());
}

// Whether text holds a surrogate without its partner.
bool HasLoneSurrogate(const WideString& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const WideChar c = text[i];
    if (c < 0xD800 || c > 0xDFFF) continue;
    if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    return true;
  }
  return false;
}

// Appends text in UTF-8 as one cell can hold it: a TAB, CR, LF or CR LF pair becomes one blank.
// A lone surrogate becomes U+FFFD, as in every text file the program writes: true when one did.
bool AppendCell(std::string& out, const WideString& text) {
  const size_t start = out.size();
  out.resize(start + text.size() * 3);
  char* const begin = out.data() + start;
  const char* const end = platform::EncodeUtf8(text, begin, platform::LoneSurrogate::Replace);
  // These characters are single bytes in UTF-8, never part of another character's sequence.
  char* to = begin;
  for (const char* p = begin; p < end; ++p) {
    char c = *p;
    if (c == '\r' && p + 1 < end && p[1] == '\n') ++p;
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    *to++ = c;
  }
  out.resize(static_cast<size_t>(to - out.data()));
  return HasLoneSurrogate(text);
}

// The entry number of a record: an integer field's value, or a text holding a whole number;
// an empty field counts as 0. Anything else is not an entry number, and the termbase is not
// one this export can read.
int64_t EntryNumber(const TTermbaseField& field, const WideString& table, const WideString& shownName) {
  if (field.Null) return 0;
  if (field.IsNumber) return field.Number;
  size_t i = 0, end = field.Text.size();
  while (i < end && field.Text[i] == u' ') ++i;
  while (end > i && field.Text[end - 1] == u' ') --end;
  if (i == end) return 0;
  const bool negative = field.Text[i] == u'-';
  if (field.Text[i] == u'-' || field.Text[i] == u'+') ++i;
  int64_t value = 0;
  bool valid = i < end;
  for (; valid && i < end; ++i) {
    const WideChar c = field.Text[i];
    if (c < u'0' || c > u'9' || value > (INT64_MAX - 9) / 10) valid = false;
    else value = value * 10 + (c - u'0');
  }
  if (!valid)
    throw ETermbaseError(WideFormat(u"The table \"%s\" of \"%s\" holds the entry number \"%s\", which is not a whole number.",
                                    {table, shownName, field.Text}));
  return negative ? -value : value;
}

// The user tables' positions in the source, sorted by name without case.
std::vector<size_t> SortedTables(const std::vector<WideString>& names) {
  std::vector<size_t> order(names.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const int c = CompareFoldedW(names[a].c_str(), names[b].c_str());
    return c != 0 ? c < 0 : names[a] < names[b];
  });
  return order;
}

[[noreturn]] void FailFields(const WideString& table, const WideString& shownName, size_t fields) {
  throw ETermbaseError(WideFormat(u"The table \"%s\" of \"%s\" has fewer than %s fields.",
                                  {table, shownName, Decimal(static_cast<int64_t>(fields))}));
}

// The index tables of a termbase: per column its title, as a cell in UTF-8, and its table.
struct TIndexList {
  std::vector<std::string> Titles;
  bool TitlesRepaired = false;  // a title held a surrogate without its partner
  std::vector<size_t> Tables;     // positions in the source
  std::vector<WideString> Names;  // for messages
};

TIndexList ListIndexes(TTermbaseSource& source, const WideString& shownName) {
  const std::vector<WideString> names = source.TableNames();
  const std::vector<size_t> order = SortedTables(names);
  size_t indexes = order.size();
  for (size_t i = 0; i < order.size() && indexes == order.size(); ++i)
    if (CompareFoldedW(names[order[i]].c_str(), kIndexesTable) == 0) indexes = order[i];
  if (indexes == order.size())
    throw ETermbaseError(WideFormat(u"The termbase \"%s\" has no table \"%s\".", {shownName, kIndexesTable}));
  TIndexList list;
  {
    const std::unique_ptr<TTermbaseTable> table = source.OpenTable(indexes);
    TTermbaseRecord record;
    while (table->Next(record)) {
      if (record.size() <= kTitleField) FailFields(names[indexes], shownName, kTitleField + 1);
      if (AppendCell(list.Titles.emplace_back(), record[kTitleField].Text)) list.TitlesRepaired = true;
    }
  }
  if (list.Titles.size() > order.size())
    throw ETermbaseError(WideFormat(u"The termbase \"%s\" lists %s indexes in \"%s\" but has only %s tables.",
                                    {shownName, Decimal(static_cast<int64_t>(list.Titles.size())), kIndexesTable,
                                     Decimal(static_cast<int64_t>(order.size()))}));
  for (size_t i = 0; i < list.Titles.size(); ++i) {
    list.Tables.push_back(order[i]);
    list.Names.push_back(names[order[i]]);
  }
  return list;
}

// One index table read front to back. A record holds a term when its term is not empty and its
// entry number is 1 or more; other records belong to no entry line, and a term among them is
// counted (and the first few named) in notes.
class TIndexReader {
public:
  TIndexReader(TTermbaseSource& source, const TIndexList& list, size_t column, const WideString& shownName,
               TTermbaseExportNotes& notes)
      : Table(source.OpenTable(list.Tables[column])), Name(list.Names[column]), ShownName(shownName), Notes(notes) {}
  int64_t Count() const { return Table->RecordCount(); }
  // Reads the next record: false at the end of the table. When the record holds a term, held
  // is set, entry receives its number and term its cell, appended in UTF-8; repaired tells
  // whether the cell holds a U+FFFD for a surrogate without its partner.
  bool Next(bool& held, int64_t& entry, std::string& term, bool& repaired) {
    held = false;
    if (!Table->Next(Record)) return false;
    if (Record.size() <= kEntryField) FailFields(Name, ShownName, kEntryField + 1);
    entry = EntryNumber(Record[kEntryField], Name, ShownName);
    const WideString& text = Record[kTermField].Text;
    if (text.empty()) return true;
    if (entry >= 1) {
      held = true;
      repaired = AppendCell(term, text);
    } else {
      ++Notes.TermsLeftOut;
      if (Notes.LeftOutNamed.size() < TTermbaseExportNotes::kNamed) {
        constexpr size_t kShown = 40;
        WideString shown = text.size() > kShown ? text.substr(0, kShown) + u"..." : text;
        Notes.LeftOutNamed.push_back(u"\"" + shown + u"\" in " + Name);
      }
    }
    return true;
  }

private:
  std::unique_ptr<TTermbaseTable> Table;
  TTermbaseRecord Record;
  const WideString& Name;
  const WideString& ShownName;
  TTermbaseExportNotes& Notes;
};

// Progress in thousandths of a percent; the job hears of it only when the percentage changes.
class TExportProgress {
public:
  explicit TExportProgress(TObjectControled& job) : Job(job) { Start(); }
  void Start() {
    Job.Position = 0;
    Job.SetTotal(kTotal);
  }
  // The tables read side by side: records read over all of them.
  void Records(int64_t read, int64_t count) { Report(count > 0 ? kTotal * std::min(read, count) / count : 0); }
  // The tables read one by one, then the lines written: reading is the first half, each table an
  // equal share by its records; writing the second half, by terms written.
  void Reading(size_t column, size_t columns, int64_t read, int64_t count) {
    const int64_t share = kTotal / 2 / static_cast<int64_t>(std::max<size_t>(columns, 1));
    const int64_t within = count > 0 ? share * std::min(read, count) / count : 0;
    Report(share * static_cast<int64_t>(column) + within);
  }
  void Writing(int64_t written, int64_t terms) {
    Report(kTotal / 2 + (terms > 0 ? kTotal / 2 * std::min(written, terms) / terms : kTotal / 2));
  }
  void Done() { Report(kTotal); }

private:
  static constexpr int64_t kTotal = 100000;
  void Report(int64_t position) {
    if (position * 100 / kTotal == Job.Position * 100 / kTotal) return;
    Job.SetPosition(position);
  }
  TObjectControled& Job;
};

// The output: the mark and the header line, then the entry lines. Removed unless kept, so that
// a failed export leaves no file that could pass for its result.
class TCsvOutput {
public:
  TCsvOutput(const WideString& name, const WideString& shownName, const std::vector<std::string>& titles)
      : Name(name), ShownName(shownName) {
    for (size_t i = 0; i < titles.size(); ++i) {
      if (i > 0) Header += '\t';
      Header += titles[i];
    }
  }
  ~TCsvOutput() {
    if (!Created || Kept) return;
    Out.reset();
    platform::DeleteFile(Name);
  }
  TCsvOutput(const TCsvOutput&) = delete;
  TCsvOutput& operator=(const TCsvOutput&) = delete;

  bool Begun() const { return Created; }
  // Creates the file, or empties it to begin again.
  void Begin() {
    Out.reset();
    Out = TTextFileStream::Create(Name, ccUtf8, false, fmCreate);
    if (!Out)
      throw EWideFCreateError(
          WideFormat(u"Cannot create file \"%s\". %s", {ShownName, WideSysErrorMessage(platform::LastErrorCode())}));
    Created = true;
    std::string header = Header;
    WriteLine(header);
  }
  bool Failed() const { return Out->WriteFailed(); }
  // Writes line and its CR LF; line is left changed.
  void WriteLine(std::string& line) {
    line += "\r\n";
    Out->Write(line.data(), static_cast<int64_t>(line.size()));
  }
  // Closes the file and keeps it. Raises ETermbaseError when it could not take all that was
  // written; the file is then removed.
  void Keep() {
    if (!Out->CloseFile() || Out->WriteFailed()) {
      const int code = platform::LastErrorCode();
      Out.reset();
      platform::DeleteFile(Name);
      throw ETermbaseError(WideFormat(u"Cannot write file \"%s\". %s", {ShownName, WideSysErrorMessage(code)}));
    }
    Kept = true;
  }

private:
  WideString Name;
  WideString ShownName;
  std::string Header;
  std::unique_ptr<TTextFileStream> Out;
  bool Created = false;
  bool Kept = false;
};

enum class TStreamEnd { Done, Stopped, Unordered };

// One index table read side by side with the others: the terms of its current entry, all of
// them, and the term read after them, which belongs to a later entry.
struct TStreamColumn {
  std::unique_ptr<TIndexReader> Reader;
  int64_t Entry = 0;  // of Cell; 0 once the table has no more terms
  std::string Cell;   // the terms joined with "|"
  bool CellRepaired = false;
  int64_t NextEntry = 0;
  std::string Next;
  bool NextRepaired = false;
};

// Exports index tables grouped by ascending entry number, reading them side by side: the line
// of an entry is written once every table has read past it, so only one entry's terms per
// table are held. The output is begun once every table has given its first entry. Ends with
// Unordered at the first term whose entry number is below the one before it in its table.
TStreamEnd StreamIndexes(TTermbaseSource& source, const TIndexList& list, const WideString& shownName,
                         TCsvOutput& output, TObjectControled& job, TExportProgress& progress, int64_t& written,
                         TTermbaseExportNotes& notes) {
  std::vector<TStreamColumn> columns(list.Titles.size());
  int64_t count = 0, read = 0;
  for (size_t i = 0; i < columns.size(); ++i) {
    columns[i].Reader = std::make_unique<TIndexReader>(source, list, i, shownName, notes);
    count += std::max<int64_t>(columns[i].Reader->Count(), 0);
  }
  // Reads up to the column's next term (NextEntry 0 at the end); false when stopped.
  const auto readTerm = [&](TStreamColumn& c) {
    c.Next.clear();
    c.NextRepaired = false;
    for (bool held = false; !held;) {
      if (!c.Reader->Next(held, c.NextEntry, c.Next, c.NextRepaired)) {
        c.NextEntry = 0;
        break;
      }
      progress.Records(++read, count);
      if (job.Aborted) return false;
    }
    return true;
  };
  // Moves the column to its next entry and reads all of that entry's terms.
  const auto advance = [&](TStreamColumn& c) {
    c.Entry = c.NextEntry;
    c.Cell.swap(c.Next);
    c.CellRepaired = c.NextRepaired;
    while (c.Entry != 0) {
      if (!readTerm(c)) return TStreamEnd::Stopped;
      if (c.NextEntry == 0 || c.NextEntry > c.Entry) break;
      if (c.NextEntry < c.Entry) return TStreamEnd::Unordered;
      c.Cell += '|';
      c.Cell += c.Next;
      c.CellRepaired = c.CellRepaired || c.NextRepaired;
    }
    return TStreamEnd::Done;
  };
  for (TStreamColumn& c : columns) {
    if (!readTerm(c)) return TStreamEnd::Stopped;
    if (const TStreamEnd end = advance(c); end != TStreamEnd::Done) return end;
  }
  output.Begin();
  std::string line;
  while (!output.Failed()) {
    int64_t entry = kNoEntry;
    for (const TStreamColumn& c : columns)
      if (c.Entry != 0) entry = std::min(entry, c.Entry);
    if (entry == kNoEntry) break;
    line.clear();
    bool repaired = false;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) line += '\t';
      if (columns[i].Entry != entry) continue;
      line += columns[i].Cell;
      repaired = repaired || columns[i].CellRepaired;
    }
    output.WriteLine(line);
    ++written;
    if (repaired) ++notes.WarnedLines;
    ++job.UnitCount;
    for (TStreamColumn& c : columns)
      if (c.Entry == entry)
        if (const TStreamEnd end = advance(c); end != TStreamEnd::Done) return end;
  }
  return TStreamEnd::Done;
}

// Every term of the index tables in memory, for tables not grouped by entry: per column the
// terms' UTF-8 one after the other, each ended by a TAB (which no cell holds), and per term its
// entry number and start, ordered by entry (the table's order within an entry).
class TTermbaseIndexes {
public:
  // Reads every table, one after the other; false when stopped.
  bool Read(TTermbaseSource& source, const TIndexList& list, const WideString& shownName, TObjectControled& job,
            TExportProgress& progress, TTermbaseExportNotes& notes) {
    Columns.resize(list.Titles.size());
    for (size_t i = 0; i < Columns.size(); ++i) {
      TColumn& c = Columns[i];
      TIndexReader reader(source, list, i, shownName, notes);
      const int64_t count = reader.Count();
      int64_t read = 0, entry = 0;
      bool ordered = true;
      for (bool held = false, repaired = false;;) {
        const size_t start = c.Terms.size();
        if (!reader.Next(held, entry, c.Terms, repaired)) break;
        if (held) {
          if (!c.Refs.empty() && entry < c.Refs.back().Entry) ordered = false;
          c.Refs.push_back({entry, start | (repaired ? kRepaired : 0)});
          c.Terms += '\t';
        }
        progress.Reading(i, Columns.size(), ++read, count);
        if (job.Aborted) return false;
      }
      if (!ordered)
        std::stable_sort(c.Refs.begin(), c.Refs.end(),
                         [](const TTermRef& a, const TTermRef& b) { return a.Entry < b.Entry; });
      TermCount += static_cast<int64_t>(c.Refs.size());
    }
    return true;
  }

  // The smallest entry number of which some column still has terms; kNoEntry when none has.
  int64_t NextEntry() const {
    int64_t next = kNoEntry;
    for (const TColumn& c : Columns)
      if (c.Cursor < c.Refs.size()) next = std::min(next, c.Refs[c.Cursor].Entry);
    return next;
  }
  // Appends the terms of entry in column, joined with "|", to line; the column moves past them.
  // True when one of them holds a U+FFFD for a surrogate without its partner.
  bool CollectEntryTerms(size_t column, int64_t entry, std::string& line) {
    TColumn& c = Columns[column];
    bool repaired = false;
    for (bool first = true; c.Cursor < c.Refs.size() && c.Refs[c.Cursor].Entry == entry; ++c.Cursor, first = false) {
      if (!first) line += '|';
      const size_t start = c.Refs[c.Cursor].Start & ~kRepaired;
      repaired = repaired || (c.Refs[c.Cursor].Start & kRepaired) != 0;
      line.append(c.Terms, start, c.Terms.find('\t', start) - start);
      ++Collected;
    }
    return repaired;
  }
  int64_t TermCount = 0;
  int64_t Collected = 0;

private:
  // The top bit of a term's start marks a term that held a surrogate without its partner.
  static constexpr size_t kRepaired = ~(~size_t{0} >> 1);
  struct TTermRef {
    int64_t Entry;
    size_t Start;
  };
  struct TColumn {
    std::string Terms;
    std::vector<TTermRef> Refs;
    size_t Cursor = 0;
  };
  std::vector<TColumn> Columns;
};

}  // namespace

int64_t STLBToCSV(TTermbaseSource& source, const WideString& inputName, const WideString& outputName,
                  TObjectControled& job, TTermbaseExportNotes* notesOut) {
  const WideString shownInput = WideExpandFileName(inputName);
  const WideString shownOutput = WideExpandFileName(outputName);
  if (platform::SameFile(inputName, outputName))
    throw ETermbaseError(WideFormat(u"The output file \"%s\" is the termbase itself.", {shownOutput}));
  TExportProgress progress(job);
  const TIndexList list = ListIndexes(source, shownInput);
  TCsvOutput output(outputName, shownOutput, list.Titles);
  TTermbaseExportNotes notes;
  int64_t written = 0;
  try {
    const TStreamEnd end = StreamIndexes(source, list, shownInput, output, job, progress, written, notes);
    if (end == TStreamEnd::Unordered) {
      // Begun again the way that takes records in any order; what was written goes, and what
      // was noted is noted again.
      job.UnitCount -= static_cast<int>(written);
      written = 0;
      notes = TTermbaseExportNotes();
      if (output.Begun()) output.Begin();
      progress.Start();
      TTermbaseIndexes indexes;
      if (!indexes.Read(source, list, shownInput, job, progress, notes) || job.Aborted) return 0;
      if (!output.Begun()) output.Begin();
      std::string line;
      for (int64_t entry = indexes.NextEntry(); entry != kNoEntry && !job.Aborted && !output.Failed();
           entry = indexes.NextEntry()) {
        line.clear();
        bool repaired = false;
        for (size_t i = 0; i < list.Titles.size(); ++i) {
          if (i > 0) line += '\t';
          if (indexes.CollectEntryTerms(i, entry, line)) repaired = true;
        }
        output.WriteLine(line);
        ++written;
        ++job.UnitCount;
        if (repaired) ++notes.WarnedLines;
        progress.Writing(indexes.Collected, indexes.TermCount);
      }
    }
  } catch (const ETermbaseError& e) {
    // A table found damaged part-way: the entry lines written before stay, each whole (a line
    // is written only once complete); before the first, the output goes.
    if (written == 0 || !output.Begun()) throw;
    output.Keep();
    const AnsiString count = GroupThousands(std::to_string(written));
    throw ETermbaseError(WideFormat(
        u"\"%s\" could not be exported to its end: %s\r\"%s\" holds the %s %s exported before the failure.",
        {shownInput, e.WideMessage(), shownOutput, WideString(count.begin(), count.end()),
         written == 1 ? u"entry" : u"entries"}));
  }
  if (!output.Begun()) return 0;  // stopped before the first line
  output.Keep();
  if (!job.Aborted) progress.Done();
  if (list.TitlesRepaired) ++notes.WarnedLines;
  if (notesOut) *notesOut = std::move(notes);
  return written;
}

int64_t STLBToCSV(const WideString& inputName, const WideString& outputName, TObjectControled& job,
                  TTermbaseExportNotes* notes) {
  TMdbTermbase source(inputName);
  return STLBToCSV(source, inputName, outputName, job, notes);
}
