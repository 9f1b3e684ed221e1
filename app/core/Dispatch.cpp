#include "app/core/Dispatch.h"

#include <algorithm>
#include <set>

#include "base/MyWideStr.h"
#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "unicode/UniSysUtils.h"

const char16_t* const FileExtensions[7] = {u"", u".txt", u".tmx", u".sdltm", u".sdlxliff", u".sdltb", u".csv"};

namespace {

WideString AsciiLower(WideString s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

WideString AsciiUpper(WideString s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return s;
}

WideString CurrentDir() { return platform::FullPathName(u"."); }

WideString WithSlash(WideString dir) {
  if (dir.empty() || dir.back() != u'/') dir += u'/';
  return dir;
}

}  // namespace

uint8_t InputTypeOf(const WideString& fileName) {
  const WideString ext = AsciiLower(WideExtractFileExt(fileName));
  for (uint8_t i = 1; i < 7; ++i)
    if (ext == FileExtensions[i]) return i;
  return ftNone;
}

uint8_t OutputTypeOf(const WideString& fileName) {
  static const uint8_t table[7] = {ftNone, ftTmx, ftTxt, ftTmx, ftTmx, ftCsv, ftTxt};
  return table[InputTypeOf(fileName)];
}

WideString OutputFileName(const WideString& fileName, uint8_t outputType) {
  return WideChangeFileExt(fileName, FileExtensions[outputType < 7 ? outputType : 0]);
}

TFileMasks SplitFileMask(const WideString& s) {
  const WideString ext = WideExtractFileExt(s);
  const WideString name = s.substr(0, s.size() - ext.size());
  TFileMasks masks;
  masks.NameMask = name.empty() ? "*" : platform::Utf16ToUtf8(name);
  masks.ExtMask = (ext.empty() || ext == u".") ? "*" : platform::Utf16ToUtf8(ext);
  return masks;
}

bool MatchesFileMask(const WideString& fileName, const TFileMasks& masks) {
  const WideString ext = WideExtractFileExt(fileName);
  const AnsiString name = platform::Utf16ToUtf8(fileName.substr(0, fileName.size() - ext.size()));
  return MatchesMaskPart(masks.NameMask, name) && MatchesMaskPart(masks.ExtMask, platform::Utf16ToUtf8(ext));
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
    const WideString word = AsciiUpper(p.substr(dashes));
    if (dashes) {
      if (word == u"S") {
        cl.Recursive = true;
        continue;
      }
      if (word == u"QM" || word == u"TMX" || word == u"UTF8") continue;
      if (word == u"QUIET") {
        cl.Quiet = true;
        continue;
      }
      if (word == u"HELP" || word == u"H" || word == u"?") {
        cl.Help = true;
        continue;
      }
      if (word.rfind(u"PROP_TYPE=", 0) == 0) {
        cl.PropTypes.push_back(p.substr(dashes + 10));
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

// The order of names is that of their UTF-8 bytes, whatever their script.
bool NameBefore(const platform::FolderEntry& a, const platform::FolderEntry& b) {
  return platform::Utf16ToUtf8(a.Name) < platform::Utf16ToUtf8(b.Name);
}

bool SameFolder(const WideString& a, const WideString& b) {
  platform::FileIdentity ia, ib;
  return platform::IdentityOf(a, ia) && platform::IdentityOf(b, ib) && ia == ib;
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
        if (src != dest && SameFolder(sub, outputRoot)) continue;
        Plan(sub, dest + e.Name + u"/", outputRoot, recursive, masks, plan);
      } else if (MatchesFileMask(e.Name, masks)) {
        const uint8_t t = OutputTypeOf(e.Name);
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
    if (!reportError) throw EConversionError(platform::Utf16ToUtf8(text));
    reportError(text);
  };
  const WideString dest = WithSlash(destDir);
  TPlan plan;
  Plan(WithSlash(sourceDir), dest, dest, recursive, masks, plan);
  for (const TStep& step : plan.Steps) {
    switch (step.Type) {
      case TStep::EnterFolder:
        if (!platform::IsDirectory(step.Path) && !platform::CreateFolders(step.Path))
          throw EConversionError(
              platform::Utf16ToUtf8(u"Cannot create folder " + Quoted(step.Path) + u". " +
                                    platform::SystemErrorText(platform::LastErrorCode())));
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
