#pragma once
// Text translation memories and TMX documents written on the spot, and the byte-level helpers
// that the tests reading them back share.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Utf8.h"

namespace tmfiles {

// The header line of a text TM from English to German that says it holds two units; its free
// fields hold the tool's identifier and a filler.
inline const std::string kTmHeader = "%20261201~090000\t%User ID,T\t%TU=00000002\t%EN-GB\t%Quillmar TM v.5.53/00\t%DE-DE"
                                     "\t%---79532885\t\t0SAMPLE001\t%" + std::string(40, ' ') + ".";

inline std::string TmUnit(const std::string& source, const std::string& target, const std::string& more = "") {
  return "20261201~090000\tANA\t1\ten-GB\t" + source + "\tde-DE\t" + target + more;
}

// A UTF-8 text TM with its mark, each line ended by CR LF.
inline std::string TextTm(const std::vector<std::string>& lines) {
  std::string s = "\xEF\xBB\xBF";
  for (const std::string& l : lines) s += l + "\r\n";
  return s;
}

// A text TM of `units` numbered units.
inline std::string NumberedTm(int units) {
  std::string s = TextTm({kTmHeader});
  for (int i = 0; i < units; ++i) s += TmUnit("source " + std::to_string(i), "Ziel " + std::to_string(i)) + "\r\n";
  return s;
}

inline std::string Tuv(const std::string& lang, const std::string& seg) {
  return "<tuv xml:lang=\"" + lang + "\"><seg>" + seg + "</seg></tuv>";
}

// A unit from en-GB to de-DE; attrs go into the tu tag, inside before its variants.
inline std::string Tu(const std::string& source, const std::string& target, const std::string& attrs = "",
                      const std::string& inside = "") {
  return "<tu" + attrs + ">" + inside + Tuv("en-GB", source) + Tuv("de-DE", target) + "</tu>\r\n";
}

inline const std::string kTmxHeader =
    "<header creationtool=\"t\" creationtoolversion=\"1\" segtype=\"sentence\" o-tmf=\"x\" adminlang=\"en-GB\" "
    "srclang=\"en-GB\" datatype=\"plaintext\" creationid=\"Hdr\" creationdate=\"20250102T030405Z\"/>";

inline std::string Tmx(const std::string& body, const std::string& header = kTmxHeader) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<tmx version=\"1.4\">\r\n" + header + "\r\n<body>\r\n" + body +
         "</body>\r\n</tmx>\r\n";
}

// UTF-16 code units as bytes, without a mark.
inline std::string Utf16(std::u16string_view text, bool bigEndian = false) {
  std::string out;
  for (const char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}
inline std::string Utf16(std::string_view utf8, bool bigEndian = false) {
  return Utf16(platform::Utf8ToUtf16(utf8), bigEndian);
}

inline std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

// The lines of text ended by CR LF (a last line without it counts too).
inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t at = 0, end; at < text.size(); at = end + 2) {
    end = std::min(text.find("\r\n", at), text.size());
    lines.emplace_back(text.substr(at, end - at));
  }
  return lines;
}

// The content of each seg element of a TMX document, in order.
inline std::vector<std::string> SegsOf(std::string_view doc) {
  std::vector<std::string> segs;
  for (size_t at = doc.find("<seg>"), end; at != std::string_view::npos; at = doc.find("<seg>", end)) {
    if ((end = doc.find("</seg>", at)) == std::string_view::npos) break;
    segs.emplace_back(doc.substr(at + 5, end - at - 5));
  }
  return segs;
}

inline size_t CountOf(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// Of a round trip from a text TM ("x.txt") or a TMX ("x.tmx"): the file that the conversion writes
// beside it, and a test's name for the trip ("xTxt", "xTmx").
inline std::string OtherSide(const std::string& name) {
  return name.substr(0, name.size() - 4) + (name.ends_with(".tmx") ? ".txt" : ".tmx");
}
inline std::string TripName(const std::string& name) {
  return name.substr(0, name.size() - 4) + (name.ends_with(".tmx") ? "Tmx" : "Txt");
}

// Runs check() in a child process whose files cannot grow past `bytes`, as on a full disk; true
// when check() returned true there.
inline bool WithFileSizeLimit(rlim_t bytes, const std::function<bool()>& check) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tmfiles
