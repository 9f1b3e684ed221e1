#include "app/core/Dispatch.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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
  } else if (p[0] == u'.') {
    dir = WideExtractFilePath(platform::FullPathName(p));
  } else if (platform::IsDirectory(p)) {
    dir = platform::FullPathName(p);
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
    // A path.
    if (!cl.HasPath) cl.NamePart = WideExtractFileName(p);
    cl.HasPath = true;
    const WideString d = NormalizeDirParam(p);
    if (cl.InputDir.empty())
      cl.InputDir = d;
    else if (cl.OutputDir.empty())
      cl.OutputDir = d;
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

struct Entry {
  std::string name;
  bool isDir;
};

// The folder's entries, sorted by name. Links to folders are left out: following them could
// walk a tree twice or for ever.
std::vector<Entry> Snapshot(const std::string& dir) {
  std::vector<Entry> entries;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return entries;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::lstat((dir + name).c_str(), &st) != 0) continue;
    bool isDir = S_ISDIR(st.st_mode);
    if (S_ISLNK(st.st_mode)) {
      struct stat target;
      if (::stat((dir + name).c_str(), &target) == 0 && S_ISDIR(target.st_mode)) continue;
    }
    entries.push_back({name, isDir});
  }
  ::closedir(d);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

// Identity of a folder, so that the output tree is recognised wherever the walk meets it.
bool SameFolder(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

void Walk(const std::string& src, const std::string& dest, const std::string& outputRoot, bool recursive,
          const TFileMasks& masks, const std::function<void(const WideString&, const WideString&)>& convertFile,
          const std::function<void()>& afterFolder) {
  struct stat st;
  if (::stat(dest.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (::mkdir(dest.c_str(), 0777) != 0) {
      const int code = errno;
      throw EConversionError("Cannot create folder \"" + dest + "\". " +
                             platform::Utf16ToUtf8(platform::SystemErrorText(code)));
    }
  }
  for (const Entry& e : Snapshot(src)) {
    const WideString name = platform::Utf8ToUtf16(e.name);
    if (e.isDir) {
      if (!recursive) continue;
      const std::string sub = src + e.name + "/";
      // The output tree inside the input tree holds what this run writes: never its input.
      if (src != dest && SameFolder(sub, outputRoot)) continue;
      Walk(sub, dest + e.name + "/", outputRoot, recursive, masks, convertFile, afterFolder);
    } else if (MatchesFileMask(name, masks)) {
      const uint8_t t = OutputTypeOf(name);
      convertFile(platform::Utf8ToUtf16(src) + name, platform::Utf8ToUtf16(dest) + OutputFileName(name, t));
    }
  }
  if (afterFolder) afterFolder();
}

}  // namespace

void ConvertDirectory(const WideString& sourceDir, const WideString& destDir, bool recursive, const TFileMasks& masks,
                      const std::function<void(const WideString&, const WideString&)>& convertFile,
                      const std::function<void()>& afterFolder) {
  const std::string src = platform::Utf16ToUtf8(WithSlash(sourceDir));
  const std::string dest = platform::Utf16ToUtf8(WithSlash(destDir));
  Walk(src, dest, dest, recursive, masks, convertFile, afterFolder);
}
