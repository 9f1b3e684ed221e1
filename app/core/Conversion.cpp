#include "app/core/Conversion.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "app/core/CsvImport.h"
#include "app/core/SdlTMStream.h"
#include "app/core/TermbaseExport.h"
#include "app/core/TessalyUnit2.h"
#include "base/MyPump.h"
#include "base/MySysUtils.h"
#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "tm/MyDecodeTMX.h"
#include "tm/MyEncodeTMX.h"
#include "tm/sqlite/SQLiteTable3.h"
#include "unicode/UniSysUtils.h"

const char16_t* const NotImplementedText = u"<b>Not yet implemented</b>";
const char16_t* const MissingLibraryText =
    u"DLL <a href=\"https://www.sqlite.org/download.html\">SQLite3.DLL</a> is missing. You cannot convert sdltm -> TMX";

WideString ResultLine(int64_t count, const char16_t* suffix) {
  const AnsiString grouped = GroupThousands(std::to_string(count));
  return WideString(grouped.begin(), grouped.end()) + suffix;
}

WideString WarningsText(int64_t warnings) {
  if (warnings <= 0) return {};
  return u", " + ResultLine(warnings, warnings == 1 ? u" warning" : u" warnings");
}

WideString SkippedRowsText(int64_t skipped, const std::vector<int64_t>& rows) {
  if (skipped <= 0 || rows.empty()) return {};
  WideString text = u", " + ResultLine(skipped, u" skipped (") + (skipped == 1 ? u"row " : u"rows ");
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) text += i + 1 == rows.size() && static_cast<int64_t>(rows.size()) == skipped ? u" and " : u", ";
    const AnsiString row = GroupThousands(std::to_string(rows[i]));
    text.append(row.begin(), row.end());
  }
  if (static_cast<int64_t>(rows.size()) < skipped) text += u"...";
  text += skipped == 1 ? u" of translation_units holds no segment with its language)"
                       : u" of translation_units hold no segment with its language)";
  return text;
}

WideString TermsLeftOutText(const TTermbaseExportNotes& notes) {
  if (notes.TermsLeftOut <= 0) return {};
  WideString text = u", " + ResultLine(notes.TermsLeftOut, notes.TermsLeftOut == 1 ? u" term" : u" terms") +
                    u" without an entry number left out (";
  for (size_t i = 0; i < notes.LeftOutNamed.size(); ++i) {
    if (i > 0) text += u", ";
    text += notes.LeftOutNamed[i];
  }
  if (static_cast<int64_t>(notes.LeftOutNamed.size()) < notes.TermsLeftOut) text += u"...";
  return text + u")";
}

WideString HeaderCountCappedText() {
  return u", the header counts " + ResultLine(TTU::kMaxHeaderCount, u", the most it can hold");
}

namespace {

// Detaches the job from the host however the conversion ends.
class TAttached {
public:
  TAttached(TConversionHost& host, TObjectControled& job) : host_(host) { host_.AttachProgress(job); }
  ~TAttached() { host_.DetachProgress(); }
  TAttached(const TAttached&) = delete;
  TAttached& operator=(const TAttached&) = delete;

private:
  TConversionHost& host_;
};

[[noreturn]] void Fail(const WideString& text) { throw EConversionError(text); }

// What the system said when the file could not be opened or created (format: "Cannot ... \"%s\". %s").
WideString FileError(const char16_t* format, const WideString& name) {
  return WideFormat(format, {WideExpandFileName(name), WideSysErrorMessage(platform::LastErrorCode())});
}

WideString CannotOpen(const WideString& name) { return FileError(u"Cannot open file \"%s\". %s", name); }

// Runs a converter of units with the host following its progress: a failure throws the
// converter's text, a success shows how many units it converted, and how many of them were
// written with a warning when warnings tells some. units is the converter's count, also when
// it raises. more gives what the result line adds after the warnings (rows skipped, a header
// count at its largest).
template <class Converter, class Run>
void ConvertUnits(TConversionHost& host, Converter& converter, Run run, int64_t& units,
                  const std::function<int64_t()>& warnings = {}, const std::function<WideString()>& more = {}) {
  bool ok;
  {
    TAttached attached(host, converter);
    try {
      ok = run();
    } catch (...) {
      units = converter.UnitCount;
      throw;
    }
  }
  units = converter.UnitCount;
  if (!ok) Fail(converter.ErrorText());
  host.ShowResult(ResultLine(converter.UnitCount, u" TUs") + WarningsText(warnings ? warnings() : 0) +
                  (more ? more() : WideString()));
}

// Why a conversion failed, in words of its own: the library's reason for a database error,
// "not enough memory" for memory refused, the message of any other error.
WideString ReasonOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const ESQLiteException& e) {
    return e.Reason.empty() ? e.WideMessage() : e.Reason;
  } catch (const std::bad_alloc&) {
    return u"not enough memory";
  } catch (const WideException& e) {
    return e.WideMessage();
  } catch (const std::exception& e) {
    return platform::Utf8ToUtf16(e.what());
  } catch (...) {
    return u"an unknown error";
  }
}

// After a conversion raised: with units converted, the output holds them, and the message says
// which file failed, after how many units and why; without, the failure is passed on as it
// came, but for memory refused, which is said in words.
[[noreturn]] void FailPartWay(const WideString& input, const WideString& output, int64_t units) {
  const std::exception_ptr error = std::current_exception();
  const WideString in = WideExpandFileName(input);
  if (units <= 0) {
    bool outOfMemory = false;
    try {
      std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
      outOfMemory = true;
    } catch (const ESQLiteException& e) {
      outOfMemory = e.OutOfMemory;
    } catch (...) {
    }
    if (outOfMemory) Fail(WideFormat(u"Cannot convert \"%s\": not enough memory.", {in}));
    std::rethrow_exception(error);
  }
  const AnsiString count = GroupThousands(std::to_string(units));
  Fail(WideFormat(u"\"%s\" could not be converted to its end: %s.\r\"%s\" holds the %s %s converted before the failure.",
                  {in, ReasonOf(error), WideExpandFileName(output), WideString(count.begin(), count.end()),
                   units == 1 ? u"unit" : u"units"}));
}

// A TMX written from source: a failure part-way leaves the document closed after the units
// converted before it; one before the first unit leaves no file.
void WriteTmx(TConversionHost& host, TTUStream& source, const WideString& input, const WideString& output,
              const std::function<WideString()>& skipped = {}) {
  int64_t units = 0;
  bool created = false;  // Convert creates the output before anything can fail in it
  try {
    TEncodeTMX writer(&source);
    ConvertUnits(host, writer, [&] {
      created = true;
      return writer.Convert(output, OutputEncoding);
    }, units, [&] { return writer.RepairedUnits; }, skipped);
  } catch (const EConversionError&) {
    throw;  // the file could not be written: its text says so
  } catch (...) {
    if (units == 0 && created) platform::DeleteFile(output);
    FailPartWay(input, output, units);
  }
}

void TxtToTmx(TConversionHost& host, const WideString& input, const WideString& output) {
  TQMStream source(input, ccNone, fmOpenRead | fmShareDenyWrite);
  if (!source.Opened()) Fail(CannotOpen(input));
  WriteTmx(host, source, input, output);
}

// The size of an existing file in bytes; -1 when it cannot be told.
int64_t FileBytes(const WideString& name) {
  const platform::FileHandle h =
      platform::OpenFile(name, platform::AccessRead, platform::ShareRead | platform::ShareWrite, platform::Disposition::OpenExisting);
  if (h == platform::InvalidFileHandle) return -1;
  const int64_t size = platform::FileSizeOf(h);
  platform::CloseFile(h);
  return size;
}

// After a refused conversion: a new output goes, and one appended to loses what was added at
// its end. Nothing else of it changed before the units were all read (its header's count is
// set last), so cutting it back to its old size gives its old bytes.
void LeaveAsBefore(const WideString& output, int64_t sizeBefore) {
  if (sizeBefore < 0) {
    platform::DeleteFile(output);
    return;
  }
  if (FileBytes(output) == sizeBefore) return;  // left untouched
  const platform::FileHandle h =
      platform::OpenFile(output, platform::AccessWrite, platform::ShareRead, platform::Disposition::OpenExisting);
  if (h == platform::InvalidFileHandle) return;
  platform::SetFileSizeOf(h, sizeBefore);
  platform::CloseFile(h);
}

// After a failure part-way, a text TM keeps the whole lines written before it: a line cut short
// goes (from its last line end at or after from).
void KeepWholeLines(const WideString& output, int64_t from) {
  const platform::FileHandle h =
      platform::OpenFile(output, platform::AccessRead | platform::AccessWrite, platform::ShareRead, platform::Disposition::OpenExisting);
  if (h == platform::InvalidFileHandle) return;
  const int64_t size = platform::FileSizeOf(h);
  unsigned char mark[2] = {};
  const int width = platform::ReadFileAt(h, mark, 2, 0) == 2 && ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF)) ? 2 : 1;
  const bool bigEndian = width == 2 && mark[0] == 0xFE;
  // From the end back, a block at a time, to the last LF in the file's encoding.
  int64_t keep = from;
  std::vector<unsigned char> block(64 * 1024);
  for (int64_t end = size; end > from && keep == from;) {
    int64_t start = std::max(from, end - static_cast<int64_t>(block.size()));
    if (width == 2 && start % 2) ++start;
    if (start >= end || platform::ReadFileAt(h, block.data(), end - start, start) != end - start) break;
    for (int64_t at = end - width; at >= start; at -= width) {
      const unsigned char* c = block.data() + (at - start);
      const bool lf = width == 1 ? c[0] == '\n' : bigEndian ? c[0] == 0 && c[1] == '\n' : c[0] == '\n' && c[1] == 0;
      if (lf) {
        keep = at + width;
        break;
      }
    }
    end = start;
  }
  if (keep < size) platform::SetFileSizeOf(h, keep);
  platform::CloseFile(h);
}

void TmxToTxt(TConversionHost& host, const WideString& input, const WideString& output) {
  // An existing text TM receives the new units at its end; a new one is UTF-8 with its mark.
  const bool exists = WideFileExists(output);
  const int64_t sizeBefore = exists ? FileBytes(output) : -1;
  bool refused = false, opened = false;
  int64_t units = 0;
  try {
    // The input is opened first: one that cannot be read leaves no output behind.
    TDecodeTMX reader(input);
    if (reader.Failed()) Fail(reader.ErrorText());
    TQMStream target(output, exists ? ccNone : OutputEncoding, exists ? fmOpenReadWrite | fmShareDenyWrite : fmCreate);
    if (!target.Opened()) Fail(exists ? CannotOpen(output) : FileError(u"Cannot create file \"%s\". %s", output));
    opened = true;
    if (const TUniStringList* types = host.PropTypes()) reader.SetPropTypes(*types);
    ConvertUnits(
        host, reader,
        [&] {
          const bool ok = reader.Convert(&target, output);
          refused = reader.Refused();
          return ok;
        },
        units, [&] { return target.RepairedLines(); }, [&] { return reader.CountCapped ? HeaderCountCappedText() : WideString(); });
  } catch (const EConversionError&) {
    // The output is closed by now. A run that failed before its first unit leaves it as it was.
    if (opened && (refused || units == 0) && (!exists || sizeBefore >= 0)) LeaveAsBefore(output, sizeBefore);
    throw;
  } catch (...) {
    // Raised part-way: the units converted so far stay, in whole lines; before the first one,
    // the output is left as it was.
    if (!opened) FailPartWay(input, output, units);
    if (units == 0 && (!exists || sizeBefore >= 0)) {
      LeaveAsBefore(output, sizeBefore);
    } else if (units > 0) {
      KeepWholeLines(output, std::max<int64_t>(sizeBefore, 0));
      // The header counts the units kept, as after a stopped conversion.
      RaiseHeaderCount(output, units);
    }
    FailPartWay(input, output, units);
  }
}

// Without the SQLite library nothing is opened or written: the host says what is missing.
bool SdltmToTmx(TConversionHost& host, const WideString& input, const WideString& output) {
  if (!SQLiteLibraryLoaded()) {
    host.ShowHtmlMessage(MissingLibraryText, u"Error");
    return false;
  }
  std::unique_ptr<TSdlTMStream> source;
  try {
    source = std::make_unique<TSdlTMStream>(input);
  } catch (...) {
    FailPartWay(input, output, 0);
  }
  // Units whose creation date was no date have none in the TMX: each is a warning, counted by
  // the writer with its own. Rows that hold no segment are told by their numbers.
  WriteTmx(host, *source, input, output, [&] { return SkippedRowsText(source->SkippedUnits(), source->SkippedRows()); });
  return true;
}

void CsvToTxt(TConversionHost& host, const WideString& input, const WideString& output) {
  // The import reports percentages: on a total of 100 they reach the host unchanged.
  TObjectControled job;
  job.SetTotal(100);
  int units, repaired = 0;
  {
    TAttached attached(host, job);
    units = ConvertCsvToTxt(input, output, [&job](int percent) { job.SetPosition(percent); }, &repaired);
  }
  // The import shows no count of its own; units written with a warning are told, and a count
  // that its header cannot hold.
  const bool capped = units > TTU::kMaxHeaderCount;
  if (repaired > 0 || capped)
    host.ShowResult(ResultLine(units, u" TUs") + WarningsText(repaired) + (capped ? HeaderCountCappedText() : WideString()));
}

void SdltbToCsv(TConversionHost& host, const WideString& input, const WideString& output) {
  TObjectControled job;
  int64_t entries;
  TTermbaseExportNotes notes;
  {
    TAttached attached(host, job);
    entries = STLBToCSV(input, output, job, &notes);
  }
  host.ShowResult(ResultLine(entries, u" entries") + WarningsText(notes.WarnedLines) + TermsLeftOutText(notes));
}

// Before anything is opened: the input must be a regular file (a pipe or a device would block
// the run or act on being read), the output a regular file or none, and another file than the
// input by whatever names or links both are reached, since creating it would empty the input.
void CheckInputAndOutput(const WideString& input, const WideString& output) {
  if (!platform::IsRegularFile(input)) {
    if (!platform::PathExists(input)) Fail(CannotOpen(input));
    Fail(WideFormat(u"Cannot open file \"%s\". %s", {WideExpandFileName(input), platform::IsDirectory(input)
                                                                                   ? WideSysErrorMessage(EISDIR)
                                                                                   : WideString(u"Not a regular file.")}));
  }
  // Nor is an output that stands as a pipe or a device (a folder is refused as the output opens).
  if (platform::PathExists(output) && !platform::IsRegularFile(output) && !platform::IsDirectory(output))
    Fail(WideFormat(u"Cannot create file \"%s\". Not a regular file.", {WideExpandFileName(output)}));
  if (platform::SameFile(input, output))
    Fail(WideFormat(u"The output file \"%s\" is the input file \"%s\" itself; nothing was written to it.",
                    {WideExpandFileName(output), WideExpandFileName(input)}));
}

}  // namespace

bool RunConversion(TConversionHost& host, const WideString& input, const WideString& output) {
  const TFileType type = InputTypeOf(input);
  if (type != ftNone && type != ftSdlxliff) CheckInputAndOutput(input, output);
  switch (type) {
    case ftTxt: TxtToTmx(host, input, output); break;
    case ftTmx: TmxToTxt(host, input, output); break;
    case ftSdltm: return SdltmToTmx(host, input, output);
    case ftSdlxliff: host.ShowHtmlMessage(NotImplementedText, u"Error"); return false;
    case ftSdltb: SdltbToCsv(host, input, output); break;
    case ftCsv: CsvToTxt(host, input, output); break;
    default: break;
  }
  return true;
}

bool RunCatching(const std::function<void()>& work, WideString& error, const std::optional<WideString>& unknown) {
  try {
    work();
    return true;
  } catch (const WideException& e) {
    error = e.WideMessage();
  } catch (const std::exception& e) {
    error = platform::Utf8ToUtf16(e.what());
  } catch (...) {
    if (!unknown) throw;
    error = *unknown;
  }
  return false;
}

int RunCommandLine(TCommandLineHost& host, const std::vector<WideString>& params) {
  const TCommandLine cl = ParseCommandLine(params);
  host.PropTypeList.Clear();
  for (const WideString& type : cl.PropTypes) host.PropTypeList.Add(type);
  if (cl.Help) {
    host.HideWindow();
    host.ShowUsage(UsageText(u"\r"));
    return ExitOk;
  }
  if (!cl.BadSwitch.empty()) {
    const WideString usage = UsageText(u"\r");
    host.ShowMessage(WideFormat(u"Bad parameter \"%s\": a switch's value may hold no control character.\r%s",
                                {VisibleSwitch(cl.BadSwitch), usage.substr(0, usage.find(u'\r'))}));
    return ExitBadParameters;
  }
  if (cl.Quiet) host.HideWindow();
  bool failed = false;
  auto convertFile = [&](const WideString& input, const WideString& output) {
    host.BeginFile(input, output);
    bool ok = false;
    WideString error;
    if (!RunCatching([&] { ok = RunConversion(host, input, output); }, error)) host.ShowError(error);
    failed = failed || !ok;
    host.EndFile(ok);
  };
  if (!cl.HasPath) {
    host.ShowMessage(u"Bad FileName");
    return ExitBadParameters;
  }
  const bool batch = IsFileMask(cl.NamePart) || cl.Recursive;
  const WideString input = cl.InputDir + cl.NamePart;
  if (batch && !platform::IsDirectory(cl.InputDir)) {
    host.ShowMessage(u"Bad source directory");
    return ExitBadParameters;
  }
  if (!batch && !platform::IsRegularFile(input)) {
    host.ShowMessage(u"Bad FileName");
    return ExitBadParameters;
  }
  if (!platform::IsDirectory(cl.OutputDir) && !platform::CreateFolders(cl.OutputDir)) {
    host.ShowError(WideFormat(u"Cannot create folder \"%s\". %s",
                              {cl.OutputDir, platform::SystemErrorText(platform::LastErrorCode())}));
    return ExitFileFailed;
  }
  if (batch) {
    bool reported = false;
    size_t found = 0;
    auto walk = [&] {
      found = ConvertDirectory(
          cl.InputDir, cl.OutputDir, cl.Recursive, SplitFileMask(cl.NamePart), convertFile, [] { ProcessMessagesAll(); },
          [&](const WideString& text) {
            reported = failed = true;
            host.ShowError(text);
          });
    };
    WideString error;
    if (!RunCatching(walk, error)) {
      host.ShowError(error);
      return ExitFileFailed;
    }
    // A run that converts nothing says so, or a mistyped name would pass for success.
    if (found == 0 && !reported) {
      host.ShowError(WideFormat(u"No file to convert matches \"%s\".", {input}));
      failed = true;
    }
  } else {
    convertFile(input, OutputFileName(cl.OutputDir + cl.NamePart, OutputTypeOf(cl.NamePart)));
  }
  return failed ? ExitFileFailed : ExitOk;
}
