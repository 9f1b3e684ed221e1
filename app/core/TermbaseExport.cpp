#include "app/core/TermbaseExport.h"

#include <algorithm>
#include <string>

#include "app/core/MdbTermbase.h"
#include "base/MyFileStream.h"
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

WideString Decimal(int64_t n) {
  const std::string s = std::to_string(n);
  return WideString(s.begin(), s.end());
}

// Appends text as one cell can hold it: a TAB, CR, LF or CR LF pair becomes one blank.
void AppendCellText(WideString& out, const WideString& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    WideChar c = text[i];
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    if (c == u'\t' || c == u'\r' || c == u'\n') c = u' ';
    out += c;
  }
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

}  // namespace

TTermbaseIndexes::TTermbaseIndexes(TTermbaseSource& source, const WideString& shownName,
                                   const TRecordEvent& onRecord) {
  const std::vector<WideString> names = source.TableNames();
  const std::vector<size_t> order = SortedTables(names);
  size_t indexes = order.size();
  for (size_t i = 0; i < order.size() && indexes == order.size(); ++i)
    if (CompareFoldedW(names[order[i]].c_str(), kIndexesTable) == 0) indexes = order[i];
  if (indexes == order.size())
    throw ETermbaseError(WideFormat(u"The termbase \"%s\" has no table \"%s\".", {shownName, kIndexesTable}));
  {
    const std::unique_ptr<TTermbaseTable> table = source.OpenTable(indexes);
    TTermbaseRecord record;
    while (table->Next(record)) {
      if (record.size() <= kTitleField) FailFields(names[indexes], shownName, kTitleField + 1);
      WideString title;
      AppendCellText(title, record[kTitleField].Text);
      FTitles.push_back(std::move(title));
    }
  }
  if (FTitles.size() > order.size())
    throw ETermbaseError(WideFormat(u"The termbase \"%s\" lists %s indexes in \"%s\" but has only %s tables.",
                                    {shownName, Decimal(static_cast<int64_t>(FTitles.size())), kIndexesTable,
                                     Decimal(static_cast<int64_t>(order.size()))}));
  Columns.resize(FTitles.size());
  for (size_t i = 0; i < Columns.size() && !FStopped; ++i)
    ReadColumn(source, i, order[i], names[order[i]], shownName, onRecord);
}

void TTermbaseIndexes::ReadColumn(TTermbaseSource& source, size_t column, size_t tableIndex, const WideString& name,
                                  const WideString& shownName, const TRecordEvent& onRecord) {
  TColumn& c = Columns[column];
  const std::unique_ptr<TTermbaseTable> table = source.OpenTable(tableIndex);
  const int64_t count = table->RecordCount();
  TTermbaseRecord record;
  int64_t read = 0;
  bool ordered = true;
  while (table->Next(record)) {
    ++read;
    if (record.size() <= kEntryField) FailFields(name, shownName, kEntryField + 1);
    const int64_t entry = EntryNumber(record[kEntryField], name, shownName);
    const WideString& term = record[kTermField].Text;
    if (entry >= 1 && !term.empty()) {
      if (!c.Refs.empty() && entry < c.Refs.back().Entry) ordered = false;
      const size_t start = c.Terms.size();
      AppendCellText(c.Terms, term);
      c.Refs.push_back({entry, start, c.Terms.size() - start});
    }
    if (onRecord && !onRecord(column, Columns.size(), read, count)) {
      FStopped = true;
      return;
    }
  }
  // Records not grouped by entry are brought together here, so that no term waits behind
  // another entry's; within an entry they keep the table's order.
  if (!ordered)
    std::stable_sort(c.Refs.begin(), c.Refs.end(), [](const TTermRef& a, const TTermRef& b) { return a.Entry < b.Entry; });
  FTermCount += static_cast<int64_t>(c.Refs.size());
}

int64_t TTermbaseIndexes::NextEntry() const {
  int64_t next = NoEntry;
  for (const TColumn& c : Columns)
    if (c.Cursor < c.Refs.size()) next = std::min(next, c.Refs[c.Cursor].Entry);
  return next;
}

WideString TTermbaseIndexes::CollectEntryTerms(size_t Column, int64_t Entry) {
  WideString result;
  if (Column >= Columns.size()) return result;
  TColumn& c = Columns[Column];
  for (bool first = true; c.Cursor < c.Refs.size() && c.Refs[c.Cursor].Entry == Entry; ++c.Cursor, first = false) {
    if (!first) result += u'|';
    result.append(c.Terms, c.Refs[c.Cursor].Start, c.Refs[c.Cursor].Length);
    ++FCollected;
  }
  return result;
}

namespace {

// Progress in thousandths of a percent: reading the index tables is the first half, each
// table an equal share by its records; writing the lines the second half, by terms written.
// The job hears of it only when the percentage changes.
class TExportProgress {
public:
  explicit TExportProgress(TObjectControled& job) : Job(job) {
    Job.Position = 0;
    Job.SetTotal(kTotal);
  }
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

// A line as the file takes it. The stream writes text up to its first #0, so a term holding
// U+0000 is written in pieces, the character itself as its UTF-8 byte.
void WriteCsvLine(TTextFileStream& out, const WideString& line) {
  size_t from = 0;
  for (size_t nul = line.find(u'\0'); nul != WideString::npos; nul = line.find(u'\0', from)) {
    out.WriteText(line.substr(from, nul - from).c_str());
    out.Write("", 1);
    from = nul + 1;
  }
  out.WriteLine(from == 0 ? line.c_str() : line.substr(from).c_str());
}

// Removes the output it guards unless the export completed or was stopped by the user, so
// that a failed export leaves no file that could pass for its result.
class TOutputGuard {
public:
  explicit TOutputGuard(const WideString& name) : Name(name) {}
  ~TOutputGuard() {
    if (!Kept) platform::DeleteFile(Name);
  }
  TOutputGuard(const TOutputGuard&) = delete;
  TOutputGuard& operator=(const TOutputGuard&) = delete;
  void Keep() { Kept = true; }

private:
  WideString Name;
  bool Kept = false;
};

}  // namespace

int64_t STLBToCSV(TTermbaseSource& source, const WideString& inputName, const WideString& outputName,
                  TObjectControled& job) {
  const WideString shownInput = WideExpandFileName(inputName);
  const WideString shownOutput = WideExpandFileName(outputName);
  if (platform::SameFile(inputName, outputName))
    throw ETermbaseError(WideFormat(u"The output file \"%s\" is the termbase itself.", {shownOutput}));
  TExportProgress progress(job);
  TTermbaseIndexes indexes(source, shownInput, [&](size_t column, size_t columns, int64_t read, int64_t count) {
    progress.Reading(column, columns, read, count);
    return !job.Aborted;
  });
  if (indexes.Stopped() || job.Aborted) return 0;

  std::unique_ptr<TTextFileStream> out = TTextFileStream::Create(outputName, ccUtf8, false, fmCreate);
  if (!out)
    throw EWideFCreateError(WideFormat(u"Cannot create file \"%s\". %s",
                                       {shownOutput, WideSysErrorMessage(platform::LastErrorCode())}));
  TOutputGuard guard(outputName);
  WideString line;
  for (size_t i = 0; i < indexes.Count(); ++i) {
    if (i > 0) line += u'\t';
    line += indexes.Titles()[i];
  }
  WriteCsvLine(*out, line);
  int64_t written = 0;
  for (int64_t entry = indexes.NextEntry(); entry != TTermbaseIndexes::NoEntry && !job.Aborted && !out->WriteFailed();
       entry = indexes.NextEntry()) {
    line.clear();
    for (size_t i = 0; i < indexes.Count(); ++i) {
      if (i > 0) line += u'\t';
      line += indexes.CollectEntryTerms(i, entry);
    }
    WriteCsvLine(*out, line);
    ++written;
    ++job.UnitCount;
    progress.Writing(indexes.Collected(), indexes.TermCount());
  }
  if (!out->CloseFile() || out->WriteFailed()) {
    const int code = platform::LastErrorCode();
    out.reset();
    throw ETermbaseError(WideFormat(u"Cannot write file \"%s\". %s", {shownOutput, WideSysErrorMessage(code)}));
  }
  guard.Keep();
  if (!job.Aborted) progress.Done();
  return written;
}

int64_t STLBToCSV(const WideString& inputName, const WideString& outputName, TObjectControled& job) {
  TMdbTermbase source(inputName);
  return STLBToCSV(source, inputName, outputName, job);
}
