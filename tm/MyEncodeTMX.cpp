#include "tm/MyEncodeTMX.h"

#include <array>
#include <cstring>

#include "platform/core/Utf8.h"

#include "base/MyFileStream.h"
#include "base/MyPump.h"
#include "base/MySysUtils.h"
#include "base/MyWideStr.h"
#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "tm/MyReaderHTML.h"
#include "tm/TUStream.h"
#include "unicode/UniClasses.h"
#include "unicode/UniSysUtils.h"

namespace {

// The style sheet that tools reading TW4Win-format TMX expect in the header of a text source.
const char16_t* const kStyleSheet[] = {
    u"<prop type=\"RTFStyleSheet\">",
    u"{\\stylesheet",
    u"{\\St \\s0 {\\StN Normal}}",
    u"{\\St \\cs1 {\\StB \\v\\f1\\fs24\\sub\\cf12 }{\\StN tw4winMark}}",
    u"{\\St \\cs2 {\\StB \\cf4\\fs40\\f1 }{\\StN tw4winError}}",
    u"{\\St \\cs3 {\\StB \\f1\\cf11\\lang1024 }{\\StN tw4winPopup}}",
    u"{\\St \\cs4 {\\StB \\f1\\cf10\\lang1024 }{\\StN tw4winJump}}",
    u"{\\St \\cs5 {\\StB \\f1\\cf15\\lang1024 }{\\StN tw4winExternal}}",
    u"{\\St \\cs6 {\\StB \\f1\\cf6\\lang1024 }{\\StN tw4winInternal}}",
    u"{\\St \\cs7 {\\StB \\cf2 }{\\StN tw4winTerm}}",
    u"{\\St \\cs8 {\\StB \\f1\\cf13\\lang1024 }{\\StN DO_NOT_TRANSLATE}}",
    u"{\\St \\cs9 \\additive {\\StN Default Paragraph Font}}}</prop>",
};

const char16_t* EntityOf(WideChar c) {
  switch (c) {
    case u'&': return u"&amp;";
    case u'"': return u"&quot;";
    case u'>': return u"&gt;";
    case u'<': return u"&lt;";
    case u'\'': return u"&apos;";
    default: return nullptr;
  }
}

bool IsSpecial(WideChar c) { return c == u'&' || c == u'"' || c == u'>' || c == u'<' || c == u'\''; }

void AppendEscapedTo(WideString& out, std::u16string_view text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsSpecial(text[i])) continue;
    out.append(text.substr(run, i - run));
    out.append(EntityOf(text[i]));
    run = i + 1;
  }
  out.append(text.substr(run));
}

int DigitValue(WideChar c, bool hex) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (hex && c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (hex && c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

}  // namespace

TEncodeTMX::TEncodeTMX(TTUStream* source)
    : TWriter(source),
      CurrentTU(MakeUnitLine(u"@@", u"YY-YY>ZZ-ZZ", WideString())),
      IsTextSource(!source || source->SegmentsAreText()) {
  SetPosition(0);
}

TEncodeTMX::~TEncodeTMX() = default;

bool TEncodeTMX::Convert(const WideString& fileName, TCodeChar encoding) {
  FileName = fileName;
  EncodingCode = encoding;
  // UTF-8 is opened as ANSI so that no byte-order mark is written, then switched.
  const TCodeChar code =
      encoding == ccUtf8 ? ccAnsi : encoding >= ccAnsi && encoding <= ccBigEndian ? encoding : ccUnicode;
  Output = TTextFileStream::Create(fileName, code, false, fmCreate);
  if (!Output) {
    SetFileError(u"Cannot create file \"%s\". %s", fileName, platform::LastErrorCode());
    return false;
  }
  if (encoding == ccUtf8) Output->SetCodeChar(ccUtf8);
  platform::SetLastErrorCode(0);
  Execute();
  // The file stays open until the writer is freed, but what it holds is on the disk now.
  if (!Output->Flush() || Output->WriteFailed()) {
    SetFileError(u"Cannot write file \"%s\". %s", fileName, platform::LastErrorCode());
    return false;
  }
  return true;
}

const WideString& TEncodeTMX::EscapeAttr(std::u16string_view text) {
  WorkBuffer.clear();
  AppendEscapedTo(WorkBuffer, text);
  return WorkBuffer;
}

void TEncodeTMX::AppendEscaped(std::u16string_view text) { AppendEscapedTo(Block, text); }

void TEncodeTMX::AddLine(std::u16string_view text) {
  Block.append(text);
  Block.append(u"\r\n");
}

// start + the escaped value + the closing double quote, as one line.
void TEncodeTMX::AddAttrLine(std::u16string_view start, std::u16string_view value) {
  Block.append(start);
  AppendEscaped(value);
  Block.append(u"\"\r\n");
}

void TEncodeTMX::Execute() {
  if (!Output || !Source) return;
  Block.clear();
  Block.reserve(32500);
  Utf8Block.clear();
  WritesUtf8 = Output->CodeChar() == ccUtf8 && Output->CanWrite;
  // A source that can give its segments in UTF-8 does so for a UTF-8 file: they then go out as
  // they come, never turned into UTF-16 and back.
  const bool utf8Segments = WritesUtf8 && Source->DeliverUtf8Segments(true);
  Source->Seek(0, TSeekOrigin::FromBeginning);
  SetTotal(Source->GetSize());

  // The first unit of the stream is its header. A stream without one starts with a unit: the
  // header is then made from that unit, which is written as well.
  TTU header(MakeUnitLine(u"@@", u"YY-YY>ZZ-ZZ", WideString()));
  bool firstUnitPending = false;
  CurrentTU.IsHeader = true;
  if (Source->Read(CurrentTU) > 0) {
    if (CurrentTU.IsHeader) {
      header = CurrentTU;
    } else {
      header.Clear();
      header.SetField(tfDate, CurrentTU.Field(tfDate));
      header.SetField(tfUserId, CurrentTU.GetUserID());
      header.SetSourceLang(CurrentTU.GetSourceLang());
      header.SetTargetLang(CurrentTU.GetTargetLang());
      firstUnitPending = true;
    }
  }
  WriteHeader(header);
  SourceTuv.Line.clear();
  TargetTuv.Line.clear();

  TPumpThrottle pump;
  while (!Aborted) {
    if (firstUnitPending) {
      firstUnitPending = false;
    } else {
      // A unit that still said "header" would send the stream back to the top.
      CurrentTU.IsHeader = false;
      if (Source->Read(CurrentTU) <= 0) break;
      if (CurrentTU.IsHeader) continue;
    }
    SetPosition(Source->GetPosition());
    WriteUnit(CurrentTU, header);
    FlushBlock();
    ++UnitCount;
    if (pump.Due()) ProcessOneMessage();
  }
  SetPosition(Source->GetPosition());
  AddLine(u"</body>");
  AddLine(u"</tmx>");
  FlushBlock();
  if (utf8Segments) Source->DeliverUtf8Segments(false);
}

void TEncodeTMX::WriteHeader(const TTU& header) {
  switch (EncodingCode) {
    case ccUtf8: AddLine(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"); break;
    case ccUnicode: AddLine(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"); break;
    default: AddLine(u"<?xml version=\"1.0\"?>"); break;
  }
  AddLine(u"<tmx version=\"1.4\">");
  AddLine(u"<header");
  AddAttrLine(u"\t creationtool=\"", GetExeNameW());
  AddAttrLine(u"\t creationtoolversion=\"", GetExeVersionW());
  AddLine(u"\t segtype=\"sentence\"");
  if (IsTextSource) {
    AddLine(u"\t o-tmf=\"TW4Win 2.0 Format\"");
    AddLine(u"\t datatype=\"rtf\"");
  } else {
    AddLine(u"\t o-tmf=\"SDL TM8 Format\"");
    AddLine(u"\t datatype=\"xml\"");
  }
  AddAttrLine(u"\t adminlang=\"", header.GetSourceLang());
  AddAttrLine(u"\t srclang=\"", header.GetSourceLang());
  AddAttrLine(u"\t creationdate=\"", TmDateToTmxDate(header.Field(tfDate)));
  AddAttrLine(u"\t creationid=\"", header.GetUserID());
  AddLine(u">");
  if (IsTextSource) {
    for (const char16_t* line : kStyleSheet) AddLine(line);
  } else {
    AddLine(u"<prop type=\"x-Recognizers\">RecognizeAll</prop>");
    Block.append(u"<prop type=\"x-TMName\">");
    AppendEscaped(WideChangeFileExt(WideExtractFileName(FileName), u".sdltm"));
    AddLine(u"</prop>");
  }
  AddLine(u"</header>\r\n");
  AddLine(u"<body>");
}

// Each variant carries the language its unit holds (units of one memory may be in regional
// variants that the header does not name). The header's code stands for the same code in other
// letter case, and for a unit that holds none. The line of the last code met is kept: units
// mostly repeat it.
void TEncodeTMX::AddTuvLine(TTuvLine& tuv, const WideString& lang, const WideString& headerLang) {
  if (!tuv.Line.empty() && lang == tuv.Lang) {
    Block.append(tuv.Line);
    return;
  }
  tuv.Lang = lang;
  tuv.Line = u"<tuv xml:lang=\"";
  AppendEscapedTo(tuv.Line, lang.empty() || LangMatches(lang, headerLang, false) ? headerLang : lang);
  tuv.Line.append(u"\">\r\n");
  Block.append(tuv.Line);
}

void TEncodeTMX::WriteUnit(const TTU& tu, const TTU& header) {
  Block.append(u"<tu creationdate=\"");
  AppendEscaped(TmDateToTmxDate(tu.Field(tfDate)));
  Block.append(u"\" creationid=\"");
  AppendEscaped(tu.GetUserID());
  Block.append(u"\" usagecount=\"");
  Block.append(Int64ToWideStr(tu.GetCount()));
  AddLine(u"\">");
  // The header names the attributes of the units: field i of the header the type of field i
  // of each unit, but for its fields 8 and 9, which hold its identifier and its filler.
  for (int i = tfAttributes; i < tu.Count(); ++i) {
    const WideString& value = tu.Field(i);
    if (value.empty()) continue;
    const bool named = i != tfHeaderId && i != tfHeaderFiller && !header.Field(i).empty();
    Block.append(u"<prop type=\"");
    if (named) {
      AppendEscaped(header.Field(i));
    } else {
      Block.append(u"Attr");
      Block.append(Int64ToWideStr(i - tfAttributes + 1));
    }
    Block.append(u"\">");
    AppendEscaped(value);
    AddLine(u"</prop>");
  }
  AddTuvLine(SourceTuv, tu.LangPair.Source, header.LangPair.Source);
  if (tu.SegmentsUtf8)
    AddSegmentUtf8(tu.SourceUtf8);
  else
    AddSegment(tu.Field(tfSource));
  AddLine(u"</tuv>");
  AddTuvLine(TargetTuv, tu.LangPair.Target, header.LangPair.Target);
  if (tu.SegmentsUtf8)
    AddSegmentUtf8(tu.TargetUtf8);
  else
    AddSegment(tu.Field(tfTarget));
  AddLine(u"</tuv>");
  AddLine(u"</tu>");
}

// The segment decoder of an SDLTM source already produced TMX markup: its text goes as it is.
void TEncodeTMX::AddSegment(std::u16string_view text) {
  Block.append(u"<seg>");
  if (IsTextSource)
    ExpandSegment(text);
  else
    Block.append(text);
  AddLine(u"</seg>");
}

namespace {

// The bytes that may begin what XML 1.0 cannot hold: a control character other than TAB, LF
// and CR, the form of a surrogate (0xED), U+FFFE or U+FFFF (0xEF).
constexpr auto kUnclean = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = c != 9 && c != 10 && c != 13;
  t[0xED] = t[0xEF] = true;
  return t;
}();

}  // namespace

// The segment's bytes go out as they stand, but for what XML cannot hold, which becomes a
// blank as in the UTF-16 lines (a surrogate's form from a lone surrogate of the source).
void TEncodeTMX::AddSegmentUtf8(std::string_view text) {
  if (!WritesUtf8) {
    Scratch.clear();
    TReaderHTML::AppendUtf8(text, Scratch);
    AddSegment(Scratch);
    return;
  }
  Block.append(u"<seg>");
  EncodeBlock();
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t run = 0;
  for (size_t i = 0; i < n; ++i) {
    // Eight bytes at a time while none is below 0x20 or from 0xED on.
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    for (uint64_t word; i + 8 <= n; i += 8) {
      std::memcpy(&word, s + i, 8);
      const uint64_t low = word & kLow7;
      const uint64_t control = ~((low + kOnes * 0x60) | word) & kHigh;
      const uint64_t high = (low + kOnes * 0x13) & word & kHigh;
      if (control | high) break;
    }
    if (i >= n) break;
    if (!kUnclean[s[i]]) continue;
    size_t skip = 1;
    if (s[i] == 0xED) {
      if (i + 2 >= n || s[i + 1] < 0xA0) continue;
      skip = 3;
    } else if (s[i] == 0xEF) {
      if (i + 2 >= n || s[i + 1] != 0xBF || s[i + 2] < 0xBE) continue;
      skip = 3;
    }
    Utf8Block.append(text.data() + run, i - run);
    Utf8Block.push_back(' ');
    i += skip - 1;
    run = i + 1;
  }
  Utf8Block.append(text.data() + run, n - run);
  AddLine(u"</seg>");
}

// One pass over the segment, writing straight into the block: the XML special characters
// become entities, character references are decoded, and the placeholders become ph elements,
// adjacent four-character ones forming a single element. The codes recognised are those of
// FindAmpCodeEnd; they are read here without editing the text, so that no code costs more than
// its own length.
void TEncodeTMX::ExpandSegment(std::u16string_view text) {
  OpenFormFails = std::u16string_view::npos;
  JoinsAt = std::u16string_view::npos;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = i;
    while (j < text.size() && !IsSpecial(text[j])) ++j;
    Block.append(text.substr(i, j - i));
    if (j >= text.size()) break;
    if (text[j] == u'&') {
      i = ExpandAmp(text, j);
    } else {
      Block.append(EntityOf(text[j]));
      i = j + 1;
    }
  }
}

// text[p] is an "&"; returns where the walk goes on.
size_t TEncodeTMX::ExpandAmp(std::u16string_view text, size_t p) {
  auto at = [&](size_t k) -> WideChar { return p + k < text.size() ? text[p + k] : 0; };
  switch (at(1)) {
    case u'\'':
      return DecodeCharRef(text, p, p + 2, true);
    case u'#':
      return at(2) == u'x' ? DecodeCharRef(text, p, p + 3, true) : DecodeCharRef(text, p, p + 2, false);
    case u'f':
    case u'j':
    case u'p':
    case u's':
      // "&" + kind + "A".."Z" + ";"
      if (at(2) >= u'A' && at(2) <= u'Z' && at(3) == u';') {
        ExpandPlaceholder(text.substr(p, 4), false);
        return p + 4;
      }
      break;
    case u't':
      if (at(2) == u'=') {
        // "&t=" + text + ";": the first ";" not preceded by "\" ends it. Whether a ";" is
        // escaped does not depend on where the search began, so once a search found no end,
        // none from further on will.
        if (p >= OpenFormFails) break;
        size_t e = p + 3;
        while (e < text.size() && !(text[e] == u';' && text[e - 1] != u'\\')) ++e;
        if (e >= text.size()) {
          OpenFormFails = p;
          break;
        }
        ExpandPlaceholder(text.substr(p + 3, e - (p + 3)), true);
        return e + 1;
      }
      // "&t" + one character + ";" (a longer "&t...;" is no placeholder).
      if (at(2) != 0 && at(3) == u';') {
        ExpandPlaceholder(text.substr(p, 4), false);
        return p + 4;
      }
      break;
    default:
      break;
  }
  // Not a code: a plain ampersand of the text.
  Block.append(u"&amp;");
  return p + 1;
}

// The ph element of a placeholder; in the open form every "\;" of the tag text stands for ";".
// Placeholders side by side share one element, which the TMX reader splits into the same
// placeholders again; an open form's element holds one code's markup and is never shared.
void TEncodeTMX::ExpandPlaceholder(std::u16string_view inner, bool openForm) {
  const bool joins = !openForm && inner[2] >= u'A' && inner[2] <= u'Z';
  if (joins && Block.size() == JoinsAt)
    Block.resize(Block.size() - 5);  // the previous placeholder's "</ph>"
  else
    Block.append(u"<ph>");
  if (openForm) {
    size_t run = 0;
    for (size_t i = 0; i + 1 < inner.size(); ++i) {
      if (inner[i] != u'\\' || inner[i + 1] != u';') continue;
      AppendEscaped(inner.substr(run, i - run));
      run = i + 1;
    }
    AppendEscaped(inner.substr(run));
  } else {
    AppendEscaped(inner);
  }
  Block.append(u"</ph>");
  JoinsAt = joins ? Block.size() : std::u16string_view::npos;
}

// A numeric reference, p at its "&", its digits from digits on. A ";" right after the digits
// ends it; without one the reference ends with its digits. An "&" without digits after the
// prefix is no reference and is escaped.
size_t TEncodeTMX::DecodeCharRef(std::u16string_view text, size_t p, size_t digits, bool hex) {
  constexpr uint32_t kMaxCode = 0x10FFFF;
  uint32_t v = 0;
  bool tooBig = false;
  size_t q = digits;
  for (int d; q < text.size() && (d = DigitValue(text[q], hex)) >= 0; ++q) {
    v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    if (v > kMaxCode) {
      tooBig = true;
      v = kMaxCode + 1;
    }
  }
  if (q == digits) {
    Block.append(u"&amp;");
    return p + 1;
  }
  const size_t rest = q < text.size() && text[q] == u';' ? q + 1 : q;
  if (tooBig || (v >= 0xD800 && v <= 0xDFFF) || v == 0xFFFE || v == 0xFFFF) {
    Block.push_back(u' ');  // no character of XML: a blank holds its place
  } else if (v == 0) {
    // removed
  } else if (v == 9 || v == 10 || v == 13) {
    // A TAB or line break of the text, as a reference: XML readers keep those as they are.
    Block.append(v == 9 ? u"&#9;" : v == 10 ? u"&#10;" : u"&#13;");
  } else if (const char16_t* entity = v < 0x80 ? EntityOf(static_cast<WideChar>(v)) : nullptr) {
    Block.append(entity);
  } else if (v < 32) {
    Block.push_back(u' ');
  } else if (v > 0xFFFF) {
    v -= 0x10000;
    Block.push_back(static_cast<WideChar>(0xD800 + (v >> 10)));
    Block.push_back(static_cast<WideChar>(0xDC00 + (v & 0x3FF)));
  } else {
    // References below 256 were written from bytes of the ANSI code page.
    Block.push_back(AnsiCodeToUnicode(static_cast<WideChar>(v)));
  }
  return rest;
}

// XML 1.0 has no place for the control characters other than TAB, LF and CR, for U+FFFE and
// U+FFFF, nor for a surrogate without its partner: each is written as a blank, wherever it came
// from (segment text, attribute values, markup of an SDLTM source).
void TEncodeTMX::EncodeBlock() {
  const size_t n = Block.size();
  WideChar* b = Block.data();
  if (WritesUtf8) Utf8Block.resize(Utf8Block.size() + n * 3);
  char* out = WritesUtf8 ? Utf8Block.data() + Utf8Block.size() - n * 3 : nullptr;
  for (size_t i = 0; i < n; ++i) {
    const WideChar c = b[i];
    if (c >= 0x20 && c < 0x80) {
      // ASCII, the bulk of the markup: copied while it lasts.
      if (out) {
        size_t k = i;
        // Four characters at a time while each is from 0x20 to 0x7F.
        for (uint64_t word; k + 4 <= n; k += 4, out += 4) {
          std::memcpy(&word, b + k, 8);
          constexpr uint64_t kLane7 = 0x0080008000800080ull;
          if ((word & 0xFF80FF80FF80FF80ull) || ((word + 0x0060006000600060ull) & kLane7) != kLane7) break;
          out[0] = static_cast<char>(b[k]);
          out[1] = static_cast<char>(b[k + 1]);
          out[2] = static_cast<char>(b[k + 2]);
          out[3] = static_cast<char>(b[k + 3]);
        }
        while (k < n && b[k] >= 0x20 && b[k] < 0x80) *out++ = static_cast<char>(b[k++]);
        i = k - 1;
      }
      continue;
    }
    if (c < 0x20) {
      if (c != 9 && c != 10 && c != 13) b[i] = u' ';
      if (out) {
        *out++ = static_cast<char>(b[i]);
      }
      continue;
    }
    // A run of other characters, cleaned and encoded as it is walked.
    size_t j = i;
    while (j < n && b[j] >= 0x80) {
      const WideChar d = b[j];
      if (d < 0x800) {
        if (out) {
          *out++ = static_cast<char>(0xC0 | (d >> 6));
          *out++ = static_cast<char>(0x80 | (d & 0x3F));
        }
        ++j;
        continue;
      }
      if (d >= 0xD800 && d <= 0xDFFF) {
        if (d <= 0xDBFF && j + 1 < n && b[j + 1] >= 0xDC00 && b[j + 1] <= 0xDFFF) {
          if (out) out = platform::EncodeUtf8(std::u16string_view(b + j, 2), out, platform::LoneSurrogate::Keep);
          j += 2;
          continue;
        }
        b[j] = u' ';
      } else if (d >= 0xFFFE) {
        b[j] = u' ';
      }
      if (out) {
        const WideChar e = b[j];
        if (e < 0x80) {
          *out++ = static_cast<char>(e);
        } else {
          *out++ = static_cast<char>(0xE0 | (e >> 12));
          *out++ = static_cast<char>(0x80 | ((e >> 6) & 0x3F));
          *out++ = static_cast<char>(0x80 | (e & 0x3F));
        }
      }
      ++j;
    }
    i = j - 1;
  }
  if (WritesUtf8) {
    Utf8Block.resize(static_cast<size_t>(out - Utf8Block.data()));
    Block.clear();
  }
}

void TEncodeTMX::FlushBlock() {
  EncodeBlock();
  if (WritesUtf8) {
    // The block goes out as UTF-8 in one write, its line end with it (what WriteLine does, without
    // measuring and copying the block again).
    Utf8Block.append("\r\n");
    Output->Write(Utf8Block.data(), static_cast<int64_t>(Utf8Block.size()));
    Utf8Block.clear();
  } else {
    Output->WriteLine(Block.c_str());
    Block.clear();
  }
}
