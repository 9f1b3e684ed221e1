#pragma once
// What a conversion is, by the input file's extension; the output name derived from the input;
// the command line; and the walk over a directory tree.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/MyFileStream.h"
#include "unicode/UniStringList.h"
#include "unicode/UniSysUtils.h"
#include "unicode/UniTypes.h"

class TObjectControled;

// File types, by the extension of the file.
enum class TFileType : uint8_t {
  ftNone = 0,
  ftTxt = 1,
  ftTmx = 2,
  ftSdltm = 3,
  ftSdlxliff = 4,
  ftSdltb = 5,
  ftCsv = 6,
};
using enum TFileType;
inline constexpr size_t FileTypeCount = 7;
// The type's place in FileExtensions.
constexpr size_t FileTypeIndex(TFileType type) { return static_cast<size_t>(type); }
extern const char16_t* const FileExtensions[FileTypeCount];
// The encoding of every text TM created and every TMX written: UTF-8.
inline constexpr TCodeChar OutputEncoding = ccUtf8;

TFileType InputTypeOf(const WideString& fileName);
TFileType OutputTypeOf(const WideString& fileName);
WideString OutputFileName(const WideString& fileName, TFileType outputType);

// A name mask split into its name and extension parts, "*" standing for anything.
struct TFileMasks {
  AnsiString NameMask = "*";
  AnsiString ExtMask = "*";
};
TFileMasks SplitFileMask(const WideString& s);
bool MatchesFileMask(const WideString& fileName, const TFileMasks& masks);
bool IsFileMask(const WideString& s);

// The folder a path parameter names, always ending with "/": an existing folder itself, else the
// folder part of the name.
WideString NormalizeDirParam(const WideString& p);

// The command line: mirelcon [parameters] InputFile [OutputDirectory].
struct TCommandLine {
  WideString NamePart;
  WideString InputDir;
  WideString OutputDir;
  bool Recursive = false;
  bool Quiet = false;
  bool Help = false;
  std::vector<WideString> PropTypes;
  bool HasPath = false;
  WideString BadSwitch;  // the first switch whose value holds a control character
};
// A parameter is a switch only when it is a switch word the program knows, after "/", "-" or
// "--", compared without case; anything else is a path (absolute paths begin with "/"). The
// first path names the input: a file, a name mask, or a folder (every file in it); the second
// is the output folder.
TCommandLine ParseCommandLine(const std::vector<WideString>& params);
// A character below U+0020, DEL, or one of U+0080..U+009F.
bool IsControlChar(char16_t c);
// A parameter as a message shows it: each control character written as <U+00XX>.
WideString VisibleSwitch(const WideString& p);

// The usage text, lines joined by lineBreak (a CR in a message box, LF on a terminal).
WideString UsageText(const WideString& lineBreak);

// Raised for what stops a conversion, or a whole command-line run (an output folder that cannot
// be made).
class EConversionError : public WideException {
public:
  using WideException::WideException;
};

// Walks sourceDir (ending with "/"): every file whose name matches the masks is handed to
// convertFile(input, output) with its output name in the mirrored folder under destDir; with
// recursive, every subfolder is walked the same way, its output folder created as the walk
// reaches it. The whole tree is read into a sorted snapshot before the first file is converted;
// symbolic links to folders are not followed, and the output tree is never walked when it lies
// inside the input tree. afterFolder runs once per folder visited.
// reportError receives what the walk goes on after: a folder that cannot be read, a file that
// is not converted because its output is another input of the walk or was written from another
// input of it, and an output folder inside the input tree that held files to convert before the
// walk (without reportError these end the walk with EConversionError). An output folder that
// cannot be made always ends it so. Returns the number of matching files that have a
// conversion, converted or not.
size_t ConvertDirectory(const WideString& sourceDir, const WideString& destDir, bool recursive, const TFileMasks& masks,
                        const std::function<void(const WideString&, const WideString&)>& convertFile,
                        const std::function<void()>& afterFolder = {},
                        const std::function<void(const WideString&)>& reportError = {});
