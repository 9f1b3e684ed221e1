#include "tm/MyEncodeTMX.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <iterator>

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

const char* EntityOf(uint32_t c) {
  switch (c) {
    case u'&': return "&amp;";
    case u'"': return "&quot;";
    case u'>': return "&gt;";
    case u'<': return "&lt;";
    case u'\'': return "&apos;";
    default: return nullptr;
  }
}

// Per byte of a date or user given in UTF-8: 0 written as it stands, 1 an XML special
// (escaped), 2 no printable ASCII (the field is decoded first, to be cleaned as the block is).
constexpr auto kFieldByteClass = [] {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = c < 0x20 || c >= 0x7F ? 2 : 0;
  for (const char c : {'&', '"', '<', '>', '\''}) t[static_cast<unsigned char>(c)] = 1;
  return t;
}();

// The classes of the bytes joined: 0 when all stand as they are; bit 2 when one is no
// printable ASCII.
uint8_t FieldBytesClass(const std::string* bytes) {
  uint8_t joined = 0;
  if (bytes)
    for (const char c : *bytes) joined |= kFieldByteClass[static_cast<unsigned char>(c)];
  return joined;
}

template <typename Char>
bool IsSpecial(Char c) {
  return c == Char('&') || c == Char('"') || c == Char('>') || c == Char('<') || c == Char('\'');
}

// Appending to the UTF-16 block and to the UTF-8 one alike.
void AppendText(WideString& out, std::u16string_view text) { out.append(text); }
void AppendText(TRawBuffer& out, std::string_view text) { out.append(text); }
void AppendAscii(WideString& out, std::string_view ascii) { out.append(ascii.begin(), ascii.end()); }
void AppendAscii(TRawBuffer& out, std::string_view ascii) { out.append(ascii); }
size_t SizeOf(const WideString& out) { return out.size(); }
size_t SizeOf(const TRawBuffer& out) { return out.size(); }
void CutTo(WideString& out, size_t n) { out.resize(n); }
void CutTo(TRawBuffer& out, size_t n) { out.resize(n); }

// A character of the text as the block's form writes it.
void AppendCode(WideString& out, uint32_t v) { AppendCodePoint(out, v); }
void AppendCode(TRawBuffer& out, uint32_t v) {
  char* q = out.grow(4);
  char* const start = q;
  if (v < 0x80) {
    *q++ = static_cast<char>(v);
  } else if (v < 0x800) {
    *q++ = static_cast<char>(0xC0 | (v >> 6));
    *q++ = static_cast<char>(0x80 | (v & 0x3F));
  } else if (v < 0x10000) {
    *q++ = static_cast<char>(0xE0 | (v >> 12));
    *q++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *q++ = static_cast<char>(0x80 | (v & 0x3F));
  } else {
    *q++ = static_cast<char>(0xF0 | (v >> 18));
    *q++ = static_cast<char>(0x80 | ((v >> 12) & 0x3F));
    *q++ = static_cast<char>(0x80 | ((v >> 6) & 0x3F));
    *q++ = static_cast<char>(0x80 | (v & 0x3F));
  }
  out.added(static_cast<size_t>(q - start));
}

template <typename Char, typename Out>
void AppendEscapedTo(Out& out, std::basic_string_view<Char> text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsSpecial(text[i])) continue;
    AppendText(out, text.substr(run, i - run));
    AppendAscii(out, EntityOf(static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(text[i]))));
    run = i + 1;
  }
  AppendText(out, text.substr(run));
}

template <typename Char>
int DigitValue(Char c, bool hex) {
  if (c >= Char('0') && c <= Char('9')) return c - Char('0');
  if (hex && c >= Char('A') && c <= Char('F')) return c - Char('A') + 10;
  if (hex && c >= Char('a') && c <= Char('f')) return c - Char('a') + 10;
  return -1;
}

// Where the character at text[k] ends when it is one UTF-16 unit; npos otherwise (a pair, or
// nothing there). A UTF-8 segment reaching here is well-formed and holds no surrogate's form.
size_t OneUnitEnd(std::u16string_view text, size_t k) { return k < text.size() && text[k] != 0 ? k + 1 : std::u16string_view::npos; }
size_t OneUnitEnd(std::string_view text, size_t k) {
  if (k >= text.size() || text[k] == 0) return std::string_view::npos;
  const auto lead = static_cast<unsigned char>(text[k]);
  const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  return length < 4 && k + length <= text.size() ? k + length : std::string_view::npos;
}

// The bytes a UTF-8 segment is expanded at, besides its well-formed text: the five XML
// specials; and what sends it to the UTF-16 path: control characters, surrogates' forms
// (0xED), U+FFFE and U+FFFF.
const TUtf8Stops& SegmentStops() {
  static const TUtf8Stops stops = MakeUtf8Stops(true, "&\"<>'", "\xED", true);
  return stops;
}

// Where the next byte to act on stands: a special, or (for UTF-8) one the UTF-16 path settles.
size_t NextStop(std::u16string_view text, size_t i) {
  while (i < text.size() && !IsSpecial(text[i])) ++i;
  return i;
}
size_t NextStop(std::string_view text, size_t i) { return i + ScanUtf8(text.substr(i), SegmentStops()); }

// Whether placeholder or open-form text can be written as it stands in the block's form.
bool Writable(std::u16string_view) { return true; }
bool Writable(std::string_view inner) {
  static const TUtf8Stops stops = MakeUtf8Stops(true, {}, "\xED", true);
  return ScanUtf8(inner, stops) == inner.size();
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
  Utf8Units = 0;
  DeferredCount = 0;
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
  // Bytes that are no characters, decoded on the way as U+FFFD, make a warning of their unit.
  uint64_t illFormedBefore = IllFormedUtf8Replaced();
  if (Source->Read(CurrentTU) > 0) {
    CurrentTU.BytesToFields();
    if (CurrentTU.IsHeader) {
      illFormedBefore = IllFormedUtf8Replaced();
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
  RepairedUnits = 0;
  UnitRepaired = false;
  int64_t warnedBefore = 0;  // the source's warnings before the unit read
  try {
    while (!Aborted) {
      if (firstUnitPending) {
        firstUnitPending = false;
      } else {
        // A unit that still said "header" would send the stream back to the top.
        CurrentTU.IsHeader = false;
        warnedBefore = Source->WarnedUnits();
        illFormedBefore = IllFormedUtf8Replaced();
        if (Source->Read(CurrentTU) <= 0) break;
        if (CurrentTU.IsHeader) continue;
      }
      SetPosition(Source->GetPosition());
      WriteUnit(CurrentTU, header);
      FlushBlock();
      ++UnitCount;
      // One warning a unit, whether its source left something out or the writer replaced
      // something in it.
      if (UnitRepaired || Source->WarnedUnits() != warnedBefore || IllFormedUtf8Replaced() != illFormedBefore)
        ++RepairedUnits;
      UnitRepaired = false;
      if (pump.Due()) ProcessOneMessage();
    }
  } catch (...) {
    CloseAfterFailure();
    throw;
  }
  SetPosition(Source->GetPosition());
  AddLine(u"</body>");
  AddLine(u"</tmx>");
  FlushBlock();
  WriteUtf8Units();
  if (utf8Segments) Source->DeliverUtf8Segments(false);
}

// The units converted before a failure stay written, and the document is closed after them as
// after a Stop, so that it is well-formed and holds exactly those units; what was made of the
// unit that failed goes. Before the first unit nothing is written.
void TEncodeTMX::CloseAfterFailure() {
  DeferredCount = 0;  // segments of the unit that failed
  Block.clear();
  Utf8Block.resize(Utf8Units);
  if (UnitCount == 0) {
    Utf8Block.clear();
    Utf8Units = 0;
    return;
  }
  try {
    AddLine(u"</body>");
    AddLine(u"</tmx>");
    FlushBlock();
    WriteUtf8Units();
    Output->Flush();
  } catch (...) {
    // What stops the closing is not what the caller is told: the failure that came first is.
  }
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
  if (!header.Field(tfDate).empty()) AddAttrLine(u"\t creationdate=\"", TmDateToTmxDate(header.Field(tfDate)));
  AddAttrLine(u"\t creationid=\"", header.GetUserID());
  AddLine(u">");
  if (IsTextSource) {
    for (const char16_t* line : kStyleSheet) AddLine(line);
  } else {
    AddLine(u"<prop type=\"x-Recognizers\">RecognizeAll</prop>");
    Block.append(u"<prop type=\"x-TMName\">");
    // The memory's name is text of the document: a byte of the file's name that is not UTF-8
    // stands there as U+FFFD.
    AppendEscaped(platform::ShownText(WideChangeFileExt(WideExtractFileName(FileName), u".sdltm")));
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
  if (tuv.Line.empty() || lang.size() != tuv.Lang.size() ||
      std::memcmp(lang.data(), tuv.Lang.data(), lang.size() * sizeof(WideChar)) != 0) {
    tuv.Lang = lang;
    tuv.Line = u"<tuv xml:lang=\"";
    AppendEscapedTo(tuv.Line, std::u16string_view(lang.empty() || LangMatches(lang, headerLang, false) ? headerLang : lang));
    tuv.Line.append(u"\">\r\n");
    tuv.Utf8.clear();
  }
  if (!WritesUtf8) {
    Block.append(tuv.Line);
    return;
  }
  if (tuv.Utf8.empty()) {
    // Cleaned and encoded as the block would be, once for as long as the code repeats.
    Put("");
    Block.append(tuv.Line);
    const size_t at = Utf8Block.size();
    EncodeBlock();
    tuv.Utf8.assign(Utf8Block.view().substr(at));
    return;
  }
  Put(tuv.Utf8);
}

void TEncodeTMX::PutAfterBlock(std::string_view ascii) {
  if (!WritesUtf8) {
    AppendAscii(Block, ascii);
    return;
  }
  if (!Block.empty()) EncodeBlock();
  Utf8Block.append(ascii);
}

void TEncodeTMX::WriteUnit(TTU& tu, const TTU& header) {
  // A date or user given as bytes of printable ASCII goes into the UTF-8 block as it is,
  // escaped where it must be; any other is decoded first, to be cleaned as the block is.
  const std::string* date = tu.BytesOf(tfDate);
  const std::string* user = tu.BytesOf(tfUserId);
  const uint8_t dateClass = FieldBytesClass(date), userClass = FieldBytesClass(user);
  if (!WritesUtf8 || ((dateClass | userClass) & 2)) {
    tu.BytesToFields();
    date = user = nullptr;
  }
  // Put has just encoded what Block held: the bytes go straight after it.
  auto putBytes = [&](std::string_view bytes, uint8_t byteClass) {
    if (byteClass)
      AppendEscapedTo(Utf8Block, bytes);
    else
      Utf8Block.append(bytes);
  };
  // A unit without a date has no creationdate: an attribute of no date is one no reader takes.
  if (date ? date->empty() : tu.Field(tfDate).empty()) {
    Put("<tu creationid=\"");
  } else if (date) {
    Put("<tu creationdate=\"");
    const std::string_view d(*date);
    if (d.size() > 8) {
      putBytes(d.substr(0, 8), dateClass);
      Utf8Block.push_back('T');
      putBytes(d.substr(9), dateClass);
    } else {
      putBytes(d, dateClass);
    }
    Utf8Block.push_back('Z');
    Put("\" creationid=\"");
  } else {
    Put("<tu creationdate=\"");
    DateBuf.assign(tu.Field(tfDate));
    if (DateBuf.size() > 8) DateBuf[8] = u'T';
    DateBuf.push_back(u'Z');
    AppendEscaped(DateBuf);
    Put("\" creationid=\"");
  }
  if (user && !tu.IsHeader)
    putBytes(*user, userClass);
  else
    AppendEscaped(tu.GetUserID());
  Put("\" usagecount=\"");
  char digits[24];
  Put(std::string_view(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, tu.GetCount()).ptr - digits)));
  Put("\">\r\n");
  // The header names the attributes of the units: field i of the header the type of field i
  // of each unit, but for its fields 8 and 9, which hold its identifier and its filler.
  for (int i = tfAttributes; i < tu.Count(); ++i) {
    const WideString& value = tu.Field(i);
    if (value.empty()) continue;
    const bool named = i != tfHeaderId && i != tfHeaderFiller && !header.Field(i).empty();
    Put("<prop type=\"");
    if (named) {
      AppendEscaped(header.Field(i));
    } else {
      Put("Attr");
      Put(Int64ToStrBase(10, i - tfAttributes + 1));
    }
    Put("\">");
    AppendEscaped(value);
    Put("</prop>\r\n");
  }
  const auto addTuv = [&](TTuvLine& line, const WideString& lang, const WideString& headerLang, const auto& utf8,
                          int field) {
    AddTuvLine(line, lang, headerLang);
    if (tu.SegmentsUtf8)
      AddSegmentUtf8(utf8, tu.SegmentsClean);
    else
      AddSegment(tu.Field(field));
    Put("</tuv>\r\n");
  };
  addTuv(SourceTuv, tu.LangPair.Source, header.LangPair.Source, tu.SourceUtf8, tfSource);
  addTuv(TargetTuv, tu.LangPair.Target, header.LangPair.Target, tu.TargetUtf8, tfTarget);
  Put("</tu>\r\n");
}

// The segment decoder of an SDLTM source already produced TMX markup: its text goes as it is.
void TEncodeTMX::AddSegment(std::u16string_view text) {
  Put("<seg>");
  if (IsTextSource)
    ExpandSegment(text, Block);
  else
    Block.append(text);
  Put("</seg>\r\n");
}


// Markup of an SDLTM source goes out as it stands, but for what XML cannot hold, which is
// replaced as in the UTF-16 lines (a surrogate's form from a lone surrogate of the source); markup
// that its source made clean already goes out unread. Text of a text source is expanded
// straight into the UTF-8 block when nothing in it needs the UTF-16 path.
void TEncodeTMX::AddSegmentUtf8(std::string_view text, bool clean) {
  if (!WritesUtf8) {
    Scratch.clear();
    TReaderHTML::AppendUtf8(text, Scratch);
    AddSegment(Scratch);
    return;
  }
  Put("<seg>");
  if (IsTextSource) {
    const size_t at = Utf8Block.size();
    if (!ExpandSegment(text, Utf8Block)) {
      Utf8Block.resize(at);
      Scratch.clear();
      TReaderHTML::AppendUtf8(text, Scratch);
      ExpandSegment(std::u16string_view(Scratch), Block);
    }
    Put("</seg>\r\n");
    return;
  }
  if (clean && text.size() >= kDeferredSegment && DeferredCount < std::size(Deferred))
    Deferred[DeferredCount++] = {Utf8Block.size(), text};
  else if (clean)
    Utf8Block.append(text);
  else if (AppendCleanXml(Utf8Block, text) > 0)
    UnitRepaired = true;
  Put("</seg>\r\n");
}

// One pass over the segment, writing straight into the block: the XML special characters
// become entities, character references are decoded, and the placeholders become ph elements,
// adjacent four-character ones forming a single element. The codes recognised are those of
// FindAmpCodeEnd; they are read here without editing the text, so that no code costs more than
// its own length. The same pass serves UTF-16 text and UTF-8 text, each in its own form.
template <typename Char, typename Out>
bool TEncodeTMX::ExpandSegment(std::basic_string_view<Char> text, Out& out) {
  OpenFormFails = std::u16string_view::npos;
  JoinsAt = std::u16string_view::npos;
  size_t i = 0;
  bool ok = true;
  while (i < text.size()) {
    const size_t j = NextStop(text, i);
    AppendText(out, text.substr(i, j - i));
    if (j >= text.size()) break;
    if (text[j] == Char('&')) {
      i = ExpandAmp(text, j, out, ok);
      if (!ok) return false;
    } else if (IsSpecial(text[j])) {
      AppendAscii(out, EntityOf(static_cast<uint32_t>(text[j])));
      i = j + 1;
    } else {
      return false;  // UTF-8 that the UTF-16 path settles
    }
  }
  return true;
}

// text[p] is an "&"; returns where the walk goes on.
template <typename Char, typename Out>
size_t TEncodeTMX::ExpandAmp(std::basic_string_view<Char> text, size_t p, Out& out, bool& ok) {
  auto at = [&](size_t k) -> Char { return p + k < text.size() ? text[p + k] : Char(0); };
  switch (at(1)) {
    case Char('\''):
      return DecodeCharRef(text, p, p + 2, true, out);
    case Char('#'):
      return at(2) == Char('x') ? DecodeCharRef(text, p, p + 3, true, out) : DecodeCharRef(text, p, p + 2, false, out);
    case Char('f'):
    case Char('j'):
    case Char('p'):
    case Char('s'):
      // "&" + kind + "A".."Z" + ";"
      if (at(2) >= Char('A') && at(2) <= Char('Z') && at(3) == Char(';')) {
        ok = ExpandPlaceholder(text.substr(p, 4), false, out);
        return p + 4;
      }
      break;
    case Char('t'):
      if (at(2) == Char('=')) {
        // "&t=" + text + ";": the first ";" not preceded by "\" ends it. Whether a ";" is
        // escaped does not depend on where the search began, so once a search found no end,
        // none from further on will.
        if (p >= OpenFormFails) break;
        size_t e = p + 3;
        while (e < text.size() && !(text[e] == Char(';') && text[e - 1] != Char('\\'))) ++e;
        if (e >= text.size()) {
          OpenFormFails = p;
          break;
        }
        ok = ExpandPlaceholder(text.substr(p + 3, e - (p + 3)), true, out);
        return e + 1;
      }
      // "&t" + one character + ";" (a longer "&t...;" is no placeholder).
      if (const size_t e = OneUnitEnd(text, p + 2); e != std::string_view::npos && e < text.size() && text[e] == Char(';')) {
        ok = ExpandPlaceholder(text.substr(p, e + 1 - p), false, out);
        return e + 1;
      }
      break;
    default:
      break;
  }
  // Not a code: a plain ampersand of the text.
  AppendAscii(out, "&amp;");
  return p + 1;
}

// The ph element of a placeholder; in the open form every "\;" of the tag text stands for ";".
// Placeholders side by side share one element, which the TMX reader splits into the same
// placeholders again; an open form's element holds one code's markup and is never shared.
template <typename Char, typename Out>
bool TEncodeTMX::ExpandPlaceholder(std::basic_string_view<Char> inner, bool openForm, Out& out) {
  if (!Writable(inner)) return false;
  const bool joins = !openForm && inner[2] >= Char('A') && inner[2] <= Char('Z');
  if (joins && SizeOf(out) == JoinsAt)
    CutTo(out, SizeOf(out) - 5);  // the previous placeholder's "</ph>"
  else
    AppendAscii(out, "<ph>");
  if (openForm) {
    size_t run = 0;
    for (size_t i = 0; i + 1 < inner.size(); ++i) {
      if (inner[i] != Char('\\') || inner[i + 1] != Char(';')) continue;
      AppendEscapedTo(out, inner.substr(run, i - run));
      run = i + 1;
    }
    AppendEscapedTo(out, inner.substr(run));
  } else {
    AppendEscapedTo(out, inner);
  }
  AppendAscii(out, "</ph>");
  JoinsAt = joins ? SizeOf(out) : std::u16string_view::npos;
  return true;
}

// A numeric reference, p at its "&", its digits from digits on. A ";" right after the digits
// ends it; without one the reference ends with its digits. An "&" without digits after the
// prefix is no reference and is escaped.
template <typename Char, typename Out>
size_t TEncodeTMX::DecodeCharRef(std::basic_string_view<Char> text, size_t p, size_t digits, bool hex, Out& out) {
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
    AppendAscii(out, "&amp;");
    return p + 1;
  }
  const size_t rest = q < text.size() && text[q] == Char(';') ? q + 1 : q;
  if (tooBig || (v >= 0xD800 && v <= 0xDFFF) || v == 0xFFFE || v == 0xFFFF) {
    AppendAscii(out, " ");  // no character of XML: a blank holds its place
  } else if (v == 0) {
    // removed: no character of XML, and a warning of its unit
    UnitRepaired = true;
  } else if (v == 9 || v == 10 || v == 13) {
    // A TAB or line break of the text, as a reference: XML readers keep those as they are.
    AppendAscii(out, v == 9 ? "&#9;" : v == 10 ? "&#10;" : "&#13;");
  } else if (const char* entity = v < 0x80 ? EntityOf(v) : nullptr) {
    AppendAscii(out, entity);
  } else if (v < 32) {
    AppendAscii(out, " ");
  } else if (v > 0xFFFF) {
    AppendCode(out, v);
  } else {
    // References below 256 were written from bytes of the ANSI code page.
    AppendCode(out, AnsiCodeToUnicode(static_cast<WideChar>(v)));
  }
  return rest;
}

// XML 1.0 has no place for the control characters other than TAB, LF and CR, for U+FFFE and
// U+FFFF, nor for a surrogate without its partner: each is written as a blank, but for the
// surrogate, which a character stood for and which becomes U+FFFD, wherever it came from
// (segment text, attribute values, markup of an SDLTM source).
void TEncodeTMX::EncodeBlock() {
  const size_t n = Block.size();
  WideChar* b = Block.data();
  char* out = WritesUtf8 ? Utf8Block.grow(n * 3) : nullptr;
  char* const outStart = out;
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
      // A #0 stood for a character that a value lost: a warning, unlike the other controls.
      if (c == 0) UnitRepaired = true;
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
        b[j] = 0xFFFD;
        UnitRepaired = true;
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
    Utf8Block.added(static_cast<size_t>(out - outStart));
    Block.clear();
  }
}

void TEncodeTMX::FlushBlock() {
  EncodeBlock();
  if (WritesUtf8) {
    // The block's line end goes with it (what WriteLine does, without measuring and copying the
    // block again); blocks go out together in writes of some tens of kilobytes.
    Utf8Block.append("\r\n");
    Utf8Units = Utf8Block.size();
    if (Utf8Units >= kUtf8WriteSize || DeferredCount > 0) WriteUtf8Units();
  } else {
    Output->WriteLine(Block.c_str());
    Block.clear();
  }
}

void TEncodeTMX::WriteUtf8Units() {
  size_t from = 0;
  for (size_t i = 0; i < DeferredCount; ++i) {
    const TDeferred& d = Deferred[i];
    if (d.At > from) Output->Write(Utf8Block.data() + from, static_cast<int64_t>(d.At - from));
    Output->Write(d.Text.data(), static_cast<int64_t>(d.Text.size()));
    from = d.At;
  }
  DeferredCount = 0;
  if (Utf8Units > from) Output->Write(Utf8Block.data() + from, static_cast<int64_t>(Utf8Units - from));
  Utf8Block.clear();
  Utf8Units = 0;
}
