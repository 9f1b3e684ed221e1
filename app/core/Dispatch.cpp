#include "app/core/Dispatch.h"

#include <algorithm>
#include <set>

#include "base/MyWideStr.h"
#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "unicode/UniSysUtils.h"

const char16_t* const FileExtensions[FileTypeCount] = {u"",          u".txt",   u".tmx", u".sdltm",
                                                       u".sdlxliff", u".sdltb", u".csv"};

namespace {

WideString CurrentDir() { return platform::FullPathName(u"."); }

WideString WithSlash(WideString dir) {
  if (dir.empty() || dir.back() != u'/') dir += u'/';
  return dir;
}

}  // namespace

// The extension is compared without the case of its letters.
TFileType InputTypeOf(const WideString& fileName) {
  const WideString ext = WideExtractFileExt(fileName);
  for (size_t i = 1; i < FileTypeCount; ++i)
    if (SameTextAsciiW(ext, FileExtensions[i])) return static_cast<TFileType>(i);
  return ftNone;
}

TFileType OutputTypeOf(const WideString& fileName) {
  static const TFileType table[FileTypeCount] = {ftNone, ftTmx, ftTxt, ftTmx, ftTmx, ftCsv, ftTxt};
  return table[FileTypeIndex(InputTypeOf(fileName))];
}

WideString OutputFileName(const WideString& fileName, TFileType outputType) {
  const size_t index = FileTypeIndex(outputType);
  return WideChangeFileExt(fileName, FileExtensions[index < FileTypeCount ? index : 0]);
}

TFileMasks SplitFileMask(const WideString& s) {
  const WideString ext = WideExtractFileExt(s);
  const WideString name = s.substr(0, s.size() - ext.size());
  TFileMasks masks;
  // Masks and names are matched as the bytes of the names on disk, so that a name that is not
  // UTF-8 matches only a mask written with its own bytes.
  masks.NameMask = name.empty() ? "*" : platform::NativeName(name);
  masks.ExtMask = (ext.empty() || ext == u".") ? "*" : platform::NativeName(ext);
  return masks;
}

bool MatchesFileMask(const WideString& fileName, const TFileMasks& masks) {
  const WideString ext = WideExtractFileExt(fileName);
  const AnsiString name = platform::NativeName(std::u16string_view(fileName).substr(0, fileName.size() - ext.size()));
  return MatchesMaskPart(masks.NameMask, name) && MatchesMaskPart(masks.ExtMask, platform::NativeName(ext));
}

bool IsFileMask(const WideString& s) {
  return s.find(u'*') != WideString::npos || s == u"." || s == WideExtractFileExt(s);
}

WideString NormalizeDirParam(const WideString& p) {
  WideString dir;
  if (p.empty() || p[0] == u'*') {
    dir = CurrentDir();
  } else if (platform::IsDirectory(p)) {
    // A folder is that folder, "." and ".." included, with or without its "/".
    dir = platform::FullPathName(p);
  } else if (p[0] == u'.') {
    dir = WideExtractFilePath(platform::FullPathName(p));
  } else {
    dir = WideExtractFilePath(platform::FullPathName(p));
    if (dir.empty()) dir = WithSlash(CurrentDir()) + p;
  }
  return WithSlash(dir);
}

TCommandLine ParseCommandLine(const std::vector<WideString>& params) {
  TCommandLine cl;
  for (const WideString& p : params) {
    size_t dashes = 0;
    if (!p.empty() && (p[0] == u'/' || p[0] == u'-')) dashes = (p.size() > 1 && p[0] == u'-' && p[1] == u'-') ? 2 : 1;
    const std::u16string_view word = std::u16string_view(p).substr(dashes);
    auto is = [&word](std::u16string_view known) { return SameTextAsciiW(word, known); };
    if (dashes) {
      if (is(u"S")) {
        cl.Recursive = true;
        continue;
      }
      if (is(u"QM") || is(u"TMX") || is(u"UTF8")) continue;
      if (is(u"QUIET")) {
        cl.Quiet = true;
        continue;
      }
      if (is(u"HELP") || is(u"H") || is(u"?")) {
        cl.Help = true;
        continue;
      }
      if (SameTextAsciiW(word.substr(0, 10), u"PROP_TYPE=")) {
        // A type is text, not a name: bytes of it that are not UTF-8 count as U+FFFD.
        cl.PropTypes.push_back(platform::ShownText(std::u16string_view(p).substr(dashes + 10)));
        continue;
      }
    }
    // A path. A folder stands for every file in it: its own name is no name mask.
    if (!cl.HasPath) cl.NamePart = platform::IsDirectory(p) ? WideString() : WideExtractFileName(p);
    cl.HasPath = true;
    if (cl.InputDir.empty())
      cl.InputDir = NormalizeDirParam(p);
    else if (cl.OutputDir.empty())
      // The second path is the output folder, whether it exists yet or not.
      cl.OutputDir = WithSlash(platform::FullPathName(p));
  }
  if (cl.OutputDir.empty()) cl.OutputDir = cl.InputDir;
  return cl;
}

WideString UsageText(const WideString& lineBreak) {
  static const char16_t* const lines[] = {
      u"Usage: Mirelcon [parameters] InputFile [OutputDirectory]",
      u"",
      u"Parameters:",
      u"/S\t\tInclude subdirectories",
      u"/QUIET\t\tSilent",
      u"/UTF8\t\tOutput file format = Utf8  (defaut is Unicode)",
      u"/Prop_Type=\"xxx\"\tProperty type to Attribut",
      u"/HELP  /H  /?\tThis help",
      u"",
      u"SourceFile:",
      u"*.txt\t\tAll files terminated by \".txt\"",
  };
  WideString text;
  for (const char16_t* line : lines) {
    if (!text.empty() || line != lines[0]) text += lineBreak;
    text += line;
  }
  return text;
}

namespace {

// What a walk does, in order: planned from a snapshot of the whole tree before anything is
// written, so that nothing the run writes is ever taken for one of its inputs.
struct TStep {
  enum Kind { EnterFolder, Unreadable, Convert, LeaveFolder } Type;
  WideString Path;    // EnterFolder: the output folder; Unreadable: the folder; Convert: the input
  WideString Output;  // Convert: the output file
  int Error = 0;      // Unreadable: why
};

struct TPlan {
  std::vector<TStep> Steps;
  std::set<platform::FileIdentity> Inputs;  // every file the run will convert
  size_t Found = 0;
};

// The order of names is that of their bytes on disk, whatever their script.
bool NameBefore(const platform::FolderEntry& a, const platform::FolderEntry& b) {
  return platform::NativeName(a.Name) < platform::NativeName(b.Name);
}

void Plan(const WideString& src, const WideString& dest, const WideString& outputRoot, bool recursive,
          const TFileMasks& masks, TPlan& plan) {
  plan.Steps.push_back({TStep::EnterFolder, dest, {}});
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(src, entries)) {
    plan.Steps.push_back({TStep::Unreadable, src, {}, platform::LastErrorCode()});
  } else {
    std::sort(entries.begin(), entries.end(), NameBefore);
    for (const platform::FolderEntry& e : entries) {
      // Links to folders are left out: following them could walk a tree twice or for ever.
      if (e.Type == platform::FolderEntry::LinkToFolder) continue;
      if (e.Type == platform::FolderEntry::Folder) {
        if (!recursive) continue;
        const WideString sub = src + e.Name + u"/";
        // The output tree inside the input tree holds what this run writes: never its input.
        if (src != dest && platform::SameFile(sub, outputRoot)) continue;
        Plan(sub, dest + e.Name + u"/", outputRoot, recursive, masks, plan);
      } else if (MatchesFileMask(e.Name, masks)) {
        const TFileType t = OutputTypeOf(e.Name);
        const WideString input = src + e.Name;
        plan.Steps.push_back({TStep::Convert, input, dest + OutputFileName(e.Name, t)});
        if (InputTypeOf(e.Name) == ftNone) continue;
        ++plan.Found;
        platform::FileIdentity id;
        if (platform::IdentityOf(input, id)) plan.Inputs.insert(id);
      }
    }
  }
  plan.Steps.push_back({TStep::LeaveFolder, {}, {}});
}

WideString Quoted(const WideString& name) { return u"\"" + name + u"\""; }

}  // namespace

size_t ConvertDirectory(const WideString& sourceDir, const WideString& destDir, bool recursive, const TFileMasks& masks,
                        const std::function<void(const WideString&, const WideString&)>& convertFile,
                        const std::function<void()>& afterFolder,
                        const std::function<void(const WideString&)>& reportError) {
  auto report = [&](const WideString& text) {
    if (!reportError) throw EConversionError(text);
    reportError(text);
  };
  const WideString dest = WithSlash(destDir);
  TPlan plan;
  Plan(WithSlash(sourceDir), dest, dest, recursive, masks, plan);
  for (const TStep& step : plan.Steps) {
    switch (step.Type) {
      case TStep::EnterFolder:
        if (!platform::IsDirectory(step.Path) && !platform::CreateFolders(step.Path))
          throw EConversionError(u"Cannot create folder " + Quoted(step.Path) + u". " +
                                 platform::SystemErrorText(platform::LastErrorCode()));
        break;
      case TStep::Unreadable:
        report(u"Cannot read folder " + Quoted(step.Path) + u". " + platform::SystemErrorText(step.Error));
        break;
      case TStep::Convert: {
        // A file whose output is another input of the run is left alone: its conversion would
        // replace that input, or add to it, whether the run has read it yet or not.
        platform::FileIdentity id;
        if (InputTypeOf(step.Path) != ftNone && platform::IdentityOf(step.Output, id) && plan.Inputs.count(id)) {
          report(Quoted(step.Path) + u" is not converted: its output would replace " + Quoted(step.Output) +
                 u", another input of this run.");
          break;
        }
        convertFile(step.Path, step.Output);
        break;
      }
      case TStep::LeaveFolder:
        if (afterFolder) afterFolder();
        break;
    }
  }
  return plan.Found;
}
