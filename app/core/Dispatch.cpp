#include "app/core/Dispatch.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/MySysUtils.h"
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

bool IsControlChar(char16_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

WideString VisibleSwitch(const WideString& p) {
  static const char16_t digits[] = u"0123456789ABCDEF";
  WideString shown;
  for (const char16_t c : platform::ShownText(p)) {
    if (!IsControlChar(c)) {
      shown += c;
      continue;
    }
    shown += u"<U+00";
    shown += digits[c >> 4];
    shown += digits[c & 15];
    shown += u'>';
  }
  return shown;
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
        // A type is text, not a name: bytes of it that are not UTF-8 count as U+FFFD. A control
        // character would end or split the field it goes to.
        const WideString type = platform::ShownText(std::u16string_view(p).substr(dashes + 10));
        if (std::any_of(type.begin(), type.end(), IsControlChar)) {
          if (cl.BadSwitch.empty()) cl.BadSwitch = p;
        } else {
          cl.PropTypes.push_back(type);
        }
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
  std::vector<WideString> OutputTrees;      // output folders inside the input tree, not walked
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
        if (src != dest && platform::SameFile(sub, outputRoot)) {
          plan.OutputTrees.push_back(sub);
          continue;
        }
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

WideString Grouped(size_t n) {
  const AnsiString digits = GroupThousands(std::to_string(n));
  return WideString(digits.begin(), digits.end());
}

// The files to convert that an output tree held before the run: those that match the masks and
// have a conversion, but for what the run itself writes there. None is converted, so the
// folder is named: nothing goes unconverted without a word.
WideString PassedOverOutputTree(const WideString& folder, bool recursive, const TFileMasks& masks, const TPlan& plan) {
  std::set<platform::FileIdentity> written;
  for (const TStep& step : plan.Steps) {
    platform::FileIdentity id;
    if (step.Type == TStep::Convert && platform::IdentityOf(step.Output, id)) written.insert(id);
  }
  TPlan inside;
  Plan(folder, folder, folder, recursive, masks, inside);
  size_t count = 0;
  WideString first;
  for (const TStep& step : inside.Steps) {
    platform::FileIdentity id;
    if (step.Type != TStep::Convert || InputTypeOf(step.Path) == ftNone) continue;
    if (platform::IdentityOf(step.Path, id) && written.count(id)) continue;
    if (count++ == 0) first = step.Path;
  }
  if (count == 0) return {};
  return u"The folder " + Quoted(folder) + u" is the output folder of this run and is not walked: " +
         (count == 1 ? Quoted(first) + u" in it is not converted."
                     : Grouped(count) + u" files in it are not converted, the first " + Quoted(first) + u".");
}

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
  for (const WideString& folder : plan.OutputTrees) {
    const WideString passedOver = PassedOverOutputTree(folder, recursive, masks, plan);
    if (!passedOver.empty()) report(passedOver);
  }
  // The outputs this run has written, each with the input it was written from: no later input
  // of the run writes one again, whatever name it reaches it by.
  std::map<platform::FileIdentity, WideString> written;
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
        if (InputTypeOf(step.Path) == ftNone) {
          convertFile(step.Path, step.Output);
          break;
        }
        platform::FileState before;
        const bool existed = platform::StateOf(step.Output, before);
        if (const auto earlier = existed ? written.find(before.Id) : written.end(); earlier != written.end()) {
          report(Quoted(step.Path) + u" is not converted: its output " + Quoted(step.Output) +
                 u" was written from " + Quoted(earlier->second) + u" in this run.");
          break;
        }
        convertFile(step.Path, step.Output);
        // An output the conversion left alone (it failed before writing) is not this input's.
        platform::FileState after;
        if (platform::StateOf(step.Output, after) && !(existed && after == before)) written.emplace(after.Id, step.Path);
        break;
      }
      case TStep::LeaveFolder:
        if (afterFolder) afterFolder();
        break;
    }
  }
  return plan.Found;
}
