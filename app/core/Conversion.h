#pragma once
// One conversion, chosen by the input's extension, and the command-line run of the program.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/core/Dispatch.h"
#include "base/MyObjects.h"
#include "unicode/UniStringList.h"

struct TTermbaseExportNotes;

// What a conversion reports to, the window or the terminal.
class TConversionHost {
public:
  virtual ~TConversionHost() = default;
  // The job that runs now: its progress goes to the host, and Stop aborts it.
  virtual void AttachProgress(TObjectControled& job) = 0;
  virtual void DetachProgress() {}
  virtual void ShowHtmlMessage(const WideString& html, const WideString& caption) = 0;
  virtual void ShowResult(const WideString& line) = 0;
  // The TMX property types to keep as attributes (command line only).
  virtual const TUniStringList* PropTypes() { return nullptr; }
};

// "1.234 TUs", "5 entries".
WideString ResultLine(int64_t count, const char16_t* suffix);
// What follows the count of units written when some of them were written with a warning (a
// surrogate without its partner replaced by U+FFFD): ", 1 warning", ", 2 warnings"; empty for none.
WideString WarningsText(int64_t warnings);
// What follows them when rows of an SDLTM were passed over for holding no segment: ", 1 skipped
// (row 3 of translation_units holds no segment with its language)", the first few rows named.
WideString SkippedRowsText(int64_t skipped, const std::vector<int64_t>& rows);
// What follows the count of entries when terms of a termbase had no entry number: ", 2 terms
// without an entry number left out ("car" in I_English, "Auto" in I_German)", the first few named.
WideString TermsLeftOutText(const TTermbaseExportNotes& notes);
// What follows them when the header of a text TM counts fewer units than it holds, its count
// having no room for more: ", the header counts 99.999.999, the most it can hold".
WideString HeaderCountCappedText();

// The HTML messages of the conversions.
extern const char16_t* const NotImplementedText;
extern const char16_t* const MissingLibraryText;

// Converts input into output by the input's extension. Raises an exception whose message names
// the file when the conversion fails; what was written stays. False when nothing could be
// converted and the host was told why ("Not yet implemented", the missing SQLite library).
bool RunConversion(TConversionHost& host, const WideString& input, const WideString& output);

// Runs work; false when it raised an exception, whose text is then in error as the hosts show it:
// the UTF-16 message of the program's exceptions, the message of any other standard exception.
// An exception of another kind gets the text unknown when one is given, and is passed on when not.
bool RunCatching(const std::function<void()>& work, WideString& error,
                 const std::optional<WideString>& unknown = std::nullopt);

// What a command-line run reports to, beside the conversions themselves.
class TCommandLineHost : public TConversionHost {
public:
  // The "/PROP_TYPE=" types of the run, filled by RunCommandLine.
  const TUniStringList* PropTypes() override { return &PropTypeList; }
  TUniStringList PropTypeList;

  virtual void ShowUsage(const WideString& text) = 0;    // what the run was asked for with "/HELP"
  virtual void ShowMessage(const WideString& text) = 0;  // "Bad FileName", "Bad source directory"
  virtual void ShowError(const WideString& text) = 0;    // one failed file
  virtual void HideWindow() {}
  // Each file of a run, as it starts and once it is done (ok false: it failed).
  virtual void BeginFile(const WideString& /*input*/, const WideString& /*output*/) {}
  virtual void EndFile(bool /*ok*/) {}
};

// Exit statuses of a run.
enum : int { ExitOk = 0, ExitFileFailed = 1, ExitBadParameters = 2 };

// Runs the command line: every named or matching file is converted, each failure reported and
// the run going on with the next file. Returns the exit status.
int RunCommandLine(TCommandLineHost& host, const std::vector<WideString>& params);
