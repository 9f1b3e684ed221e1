#include "tm/MyDecodeSdltm.h"

#include <algorithm>
#include <cstring>

#include "base/MyUnicodes.h"
#include "base/MyWideStr.h"
#include "platform/core/Utf8.h"
#include "tm/MyConvert.h"

namespace {

enum TName : uint8_t {
  nmOther,
  nmSegment,
  nmElements,
  nmTag,
  nmType,
  nmAnchor,
  nmAlignmentAnchor,
  nmTagID,
  nmTextEquivalent,
  nmValue,
  nmCultureName,
};

// Element names and type values are matched as the database tools write them, whatever their case.
TName NameOf(std::u16string_view name) {
  static constexpr struct {
    std::u16string_view text;
    TName name;
  } kNames[] = {
      {u"Segment", nmSegment},       {u"Elements", nmElements},       {u"Tag", nmTag},
      {u"Type", nmType},             {u"Anchor", nmAnchor},           {u"AlignmentAnchor", nmAlignmentAnchor},
      {u"TagID", nmTagID},           {u"TextEquivalent", nmTextEquivalent}, {u"Value", nmValue},
      {u"CultureName", nmCultureName},
  };
  for (const auto& n : kNames)
    if (SameTextAsciiW(name, n.text)) return n.name;
  return nmOther;
}

// The same for a name in UTF-8.
TName NameOfUtf8(std::string_view name) {
  char folded[16];
  if (name.size() > sizeof folded) return nmOther;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) return nmOther;  // every name of the vocabulary is ASCII
    folded[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  const std::string_view f(folded, name.size());
  switch (f.size()) {
    case 3: return f == "tag" ? nmTag : nmOther;
    case 4: return f == "type" ? nmType : nmOther;
    case 5: return f == "tagid" ? nmTagID : f == "value" ? nmValue : nmOther;
    case 6: return f == "anchor" ? nmAnchor : nmOther;
    case 7: return f == "segment" ? nmSegment : nmOther;
    case 8: return f == "elements" ? nmElements : nmOther;
    case 11: return f == "culturename" ? nmCultureName : nmOther;
    case 14: return f == "textequivalent" ? nmTextEquivalent : nmOther;
    case 15: return f == "alignmentanchor" ? nmAlignmentAnchor : nmOther;
    default: return nmOther;
  }
}

// The name of an element, looked up when it is first asked for and kept with the element.
TName NameOf(const TTag& tag) {
  if (tag.Kind < 0) tag.Kind = NameOf(std::u16string_view(tag.Name));
  return static_cast<TName>(tag.Kind);
}

uint8_t KindOf(std::u16string_view type) {
  if (SameTextAsciiW(type, u"Start")) return TDecodeSdltmStr::tkStart;
  if (SameTextAsciiW(type, u"End")) return TDecodeSdltmStr::tkEnd;
  if (SameTextAsciiW(type, u"Standalone")) return TDecodeSdltmStr::tkStandalone;
  if (SameTextAsciiW(type, u"LockedContent")) return TDecodeSdltmStr::tkLockedContent;
  if (SameTextAsciiW(type, u"TextPlaceholder")) return TDecodeSdltmStr::tkTextPlaceholder;
  return TDecodeSdltmStr::tkNone;
}

std::u16string_view TextOf(const TTag& tag) {
  const PCWideChar text = tag.Text();
  return text ? std::u16string_view(text) : std::u16string_view();
}

bool IsXmlChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// Where the XML reference at text[p] ("&") ends (after its ";"), or p when none begins there.
template <typename Char>
size_t XmlReferenceEnd(std::basic_string_view<Char> text, size_t p) {
  const std::basic_string_view<Char> rest = text.substr(p);
  if (rest.size() > 1 && rest[1] == Char('#')) {
    const bool hex = rest.size() > 2 && rest[2] == Char('x');
    size_t q = hex ? 3 : 2;
    const size_t digits = q;
    uint32_t v = 0;
    for (; q < rest.size(); ++q) {
      const Char c = rest[q];
      int d;
      if (c >= Char('0') && c <= Char('9'))
        d = c - Char('0');
      else if (hex && c >= Char('a') && c <= Char('f'))
        d = c - Char('a') + 10;
      else if (hex && c >= Char('A') && c <= Char('F'))
        d = c - Char('A') + 10;
      else
        break;
      v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      if (v > 0x10FFFF) v = 0x110000;  // held there: no character
    }
    if (q == digits || q >= rest.size() || rest[q] != Char(';') || !IsXmlChar(v)) return p;
    return p + q + 1;
  }
  for (const std::string_view name : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
    if (rest.size() >= name.size() && std::equal(name.begin(), name.end(), rest.begin())) return p + name.size();
  return p;
}

template <typename Char>
void AppendAscii(std::basic_string<Char>& out, std::string_view ascii) {
  out.append(ascii.begin(), ascii.end());
}

template <typename Char>
void AppendXmlTextOf(std::basic_string<Char>& out, std::basic_string_view<Char> text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const Char c = text[i];
    if (c == Char('&')) {
      const size_t end = XmlReferenceEnd(text, i);
      if (end != i) {
        i = end - 1;
        continue;
      }
      out.append(text.substr(run, i - run));
      AppendAscii(out, "&amp;");
      run = i + 1;
    } else if (c == Char('<')) {
      // Only a CDATA section gives element text a "<": as text it is escaped, or the text would
      // become elements of the TMX.
      out.append(text.substr(run, i - run));
      AppendAscii(out, "&lt;");
      run = i + 1;
    } else if (c == Char('>')) {
      // "]]>" may not stand in XML content, also where it spans two text runs.
      out.append(text.substr(run, i - run));
      run = i;
      const size_t n = out.size();
      if (n >= 2 && out[n - 1] == Char(']') && out[n - 2] == Char(']')) {
        AppendAscii(out, "&gt;");
        run = i + 1;
      }
    }
  }
  out.append(text.substr(run));
}

}  // namespace

void AppendXmlText(WideString& out, std::u16string_view text) { AppendXmlTextOf(out, text); }

namespace {

// text in UTF-8 into out, lone surrogates kept in their three-byte form. out is sized for what
// the text needs, not three bytes a unit: a long segment takes its own size, no more.
void EncodeUtf8Sized(std::u16string_view text, std::string& out) {
  out.resize(platform::Utf8Length(text));
  out.resize(static_cast<size_t>(platform::EncodeUtf8(text, out.data(), platform::LoneSurrogate::Keep) - out.data()));
}

// Scratch that a long segment made large is given back once it is done with, so that memory
// follows the segment at hand, not the longest one met.
constexpr size_t kScratchKept = size_t{1} << 20;
template <class S>
void GiveBack(S& s) {
  if (s.capacity() > kScratchKept) S().swap(s);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
TDecodeSdltmStr::TDecodeSdltmStr(const WideString& fileName) : TReaderHTML(fileName) {}

TDecodeSdltmStr::~TDecodeSdltmStr() = default;

void TDecodeSdltmStr::Decode(std::u16string_view text, TTU& tu, bool isSource) {
  EncodeUtf8Sized(text, Checked);
  DecodeBytes(Checked, tu, isSource);
  GiveBack(Checked);
}

namespace {
// Well-formed UTF-8: no overlong form, no surrogate, nothing beyond U+10FFFF, nothing cut;
// with noLineEnds, no CR or LF either.
template <bool noLineEnds>
bool CheckUtf8(std::string_view text) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = s + text.size();
  while (s < end) {
    while (end - s >= 8) {  // ASCII, eight bytes at a time
      uint64_t word;
      std::memcpy(&word, s, 8);
      if (word & kHigh) break;
      if (noLineEnds) {
        const uint64_t cr = word ^ (kOnes * '\r'), lf = word ^ (kOnes * '\n');
        if (((cr - kOnes) & ~cr & kHigh) | ((lf - kOnes) & ~lf & kHigh)) break;
      }
      s += 8;
    }
    // Runs of two-byte forms (Greek, Cyrillic, Hebrew, Arabic...), four at a time: each lead
    // byte 110xxxxx but not 0xC0 or 0xC1, each second byte 10xxxxxx.
    while (end - s >= 8) {
      uint64_t word;
      std::memcpy(&word, s, 8);
      constexpr uint64_t kLane = 0x0080008000800080ull;
      if ((word & 0xC0E0C0E0C0E0C0E0ull) != 0x80C080C080C080C0ull ||
          (((word & 0x001E001E001E001Eull) + 0x007F007F007F007Full) & kLane) != kLane)
        break;
      s += 8;
    }
    while (end - s >= 2 && s[0] >= 0xC2 && s[0] <= 0xDF && (s[1] & 0xC0) == 0x80) s += 2;
    if (s >= end) break;
    if (*s < 0x80) {
      if (noLineEnds && (*s == '\r' || *s == '\n')) return false;
      ++s;
      continue;
    }
    const unsigned char b = *s;
    int n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      n = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (end - s <= n) return false;
    if (s[1] < lo || s[1] > hi) return false;
    for (int k = 2; k <= n; ++k)
      if ((s[k] & 0xC0) != 0x80) return false;
    s += n + 1;
  }
  return true;
}

bool IsWellFormedUtf8(std::string_view text) { return CheckUtf8<false>(text); }
}  // namespace

void TDecodeSdltmStr::DecodeUtf8(std::string_view text, TTU& tu, bool isSource) {
  SegmentEnded = HasCulture = false;
  LangField = isSource ? tfSourceLang : tfTargetLang;
  TextField = isSource ? tfSource : tfTarget;
  TargetTU = &tu;
  const bool plain = DecodePlain(text);
  TargetTU = nullptr;
  if (plain) return;
  // What the direct reading made before it gave up is not needed by the scanner's.
  GiveBack(SegmentUtf8);
  GiveBack(Piece);
  if (IsWellFormedUtf8(text)) return DecodeBytes(text, tu, isSource);
  const WideString wide = platform::Utf8ToUtf16(text);
  EncodeUtf8Sized(wide, Checked);
  DecodeBytes(Checked, tu, isSource);
  GiveBack(Checked);
}

namespace {

// Takes the literal from the front of text.
bool Take(std::string_view& text, std::string_view literal) {
  if (text.size() < literal.size() || std::memcmp(text.data(), literal.data(), literal.size()) != 0) return false;
  text.remove_prefix(literal.size());
  return true;
}

// The same for a literal of the source, compared without a call.
template <size_t N>
bool Take(std::string_view& text, const char (&literal)[N]) {
  constexpr size_t n = N - 1;
  if (text.size() < n || std::memcmp(text.data(), literal, n) != 0) return false;
  text.remove_prefix(n);
  return true;
}

// The text up to the next "<", taken from the front of text and appended to out as well-formed
// XML text (see AppendXmlText) that is also clean (see AppendCleanXml), in one pass that also
// checks it; a line end becomes the reference "&#10;". False when it is no well-formed UTF-8 or
// no "<" follows it.
bool TakeXmlText(std::string_view& text, std::string& out) {
  static const TUtf8Stops stops = MakeUtf8Stops(true, "<&>", "\xED", true);
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t run = 0;
  for (size_t i = 0;;) {
    i += ScanUtf8(text.substr(i), stops);
    if (i >= n) return false;
    switch (s[i]) {
      case '<':
        out.append(text.substr(run, i - run));
        text.remove_prefix(i);
        return true;
      case '&': {
        const size_t end = XmlReferenceEnd(text, i);
        if (end != i) {
          i = end;
          continue;
        }
        out.append(text.substr(run, i - run));
        out.append("&amp;");
        run = ++i;
        continue;
      }
      case '>': {
        // "]]>" may not stand in XML content, also where it spans two text runs.
        out.append(text.substr(run, i - run));
        run = i;
        const size_t m = out.size();
        if (m >= 2 && out[m - 1] == ']' && out[m - 2] == ']') {
          out.append("&gt;");
          run = i + 1;
        }
        ++i;
        continue;
      }
      case '\r':
      case '\n':
        // A line break of the text stays one as a reference, which XML readers keep (the scanner's
        // path makes the same of it); CR LF is one line end.
        out.append(text.substr(run, i - run));
        out.append("&#10;");
        if (s[i] == '\r' && i + 1 < n && s[i + 1] == '\n') ++i;
        run = ++i;
        continue;
      case 0xED:
        // A character from U+D000 to U+D7FF; the form of a surrogate is no UTF-8.
        if (n - i < 3 || s[i + 1] < 0x80 || s[i + 1] > 0x9F || (s[i + 2] & 0xC0) != 0x80) return false;
        i += 3;
        continue;
      case '\t':
        ++i;
        continue;
      case 0xEF:
        // U+FFFE or U+FFFF, which XML cannot hold: a blank in its place.
        if (n - i < 3 || s[i + 1] != 0xBF || s[i + 2] < 0xBE) return false;  // ill-formed
        out.append(text.substr(run, i - run));
        out.push_back(' ');
        run = i += 3;
        continue;
      default:
        if (s[i] >= 0x20) return false;  // ill-formed
        // Another control character, which XML cannot hold either.
        out.append(text.substr(run, i - run));
        out.push_back(' ');
        run = ++i;
        continue;
    }
  }
}

// The text up to the next "<", taken from the front of text; false when it holds a line end
// (which the scanner's path turns into a reference) or no "<" follows.
bool TakeText(std::string_view& text, std::string_view& content) {
  const size_t lt = text.find('<');
  if (lt == std::string_view::npos) return false;
  content = text.substr(0, lt);
  if (!CheckUtf8<true>(content)) return false;
  text.remove_prefix(lt);
  return true;
}

// The bytes of an attribute name that the scanner takes as such whatever stands around them.
bool IsPlainNameByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_' ||
         c == '.' || c == '-' || c >= 0x80;
}

// The attributes of the Segment start tag and its ">", taken from the front of text: each a
// blank, a plain name, "=" and a value in double quotes without quotes, "<", ">" or blanks
// other than the space. Nothing of them reaches the result.
bool TakeAttributes(std::string_view& text) {
  // What the tools write, and so nearly every string holds.
  if (Take(text, " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"))
    return true;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') {
    ++i;
    const size_t name = i;
    while (i < n && IsPlainNameByte(static_cast<unsigned char>(text[i]))) ++i;
    if (i == name || i + 1 >= n || text[i] != '=' || text[i + 1] != '"') return false;
    i += 2;
    for (;; ++i) {
      if (i >= n) return false;
      const char c = text[i];
      if (c == '"') break;
      if (c == '<' || c == '>' || c == '\'' || c == '\t' || c == '\r' || c == '\n') return false;
    }
    ++i;
  }
  if (i >= n || text[i] != '>') return false;
  text.remove_prefix(i + 1);
  return true;
}

// Text between a tag's elements that goes into the markup as it stands: printable ASCII with
// none of the characters that references, escapes or trimming would change.
bool IsAsciiAsItStands(std::string_view text) {
  for (const char c : text)
    if (c < 0x21 || c > 0x7E || c == '&' || c == '<' || c == '>' || c == '"' || c == '\'') return false;
  return true;
}

// A Tag element (its "<Tag>" taken) whose every element holds such text, as nearly all do,
// written onto out in UTF-8 as the general path writes it, and taken from the front of text;
// false (nothing taken or written) for any other.
bool TakeAsciiTag(std::string_view& text, std::string& out) {
  std::string_view rest = text, type, anchor, alignment, id, equivalent;
  bool hasAnchor = false, hasAlignment = false, hasId = false;
  while (!Take(rest, "</Tag>")) {
    const size_t gt = rest.find('>');
    if (rest.size() < 2 || rest[0] != '<' || gt == std::string_view::npos) return false;
    const std::string_view name = rest.substr(1, gt - 1);
    std::string_view after = rest.substr(gt + 1);
    const size_t lt = after.find('<');
    if (lt == std::string_view::npos) return false;
    const std::string_view content = after.substr(0, lt);
    after.remove_prefix(lt);
    if (!Take(after, "</") || !Take(after, name) || !Take(after, ">")) return false;
    if (name == "Type") {
      type = content;
    } else if (name == "Anchor") {
      anchor = content, hasAnchor = true;
    } else if (name == "AlignmentAnchor") {
      alignment = content, hasAlignment = true;
    } else if (name == "TagID") {
      id = content, hasId = true;
    } else if (name == "TextEquivalent") {
      equivalent = content;
    } else {
      // An element the decoder does not read (CanHide...): its text goes nowhere.
      if (name.empty() || NameOfUtf8(name) != nmOther ||
          !std::all_of(name.begin(), name.end(), [](char c) { return IsPlainNameByte(static_cast<unsigned char>(c)); }))
        return false;
      rest = after;
      continue;
    }
    if (!IsAsciiAsItStands(content)) return false;
    rest = after;
  }
  uint8_t kind = TDecodeSdltmStr::tkNone;
  for (const auto& [word, k] : {std::pair<std::string_view, uint8_t>{"start", TDecodeSdltmStr::tkStart},
                                {"end", TDecodeSdltmStr::tkEnd},
                                {"standalone", TDecodeSdltmStr::tkStandalone},
                                {"lockedcontent", TDecodeSdltmStr::tkLockedContent},
                                {"textplaceholder", TDecodeSdltmStr::tkTextPlaceholder}})
    if (type.size() == word.size() &&
        std::equal(type.begin(), type.end(), word.begin(), [](char a, char b) { return (a | 0x20) == b; }))
      kind = k;
  auto attr = [&](bool has, std::string_view name, std::string_view value) {
    if (!has) return;
    out.append(name).append("=\"").append(value).append("\" ");
  };
  auto bpt = [&](std::string_view type) {
    out.append("<bpt ");
    attr(hasAnchor, "i", anchor);
    attr(hasAlignment, "x", alignment);
    out.append(type);
  };
  auto ept = [&] {
    out.append("<ept ");
    attr(hasAnchor, "i", anchor);
    out.append("/>");
  };
  // A code of a pair without its anchor cannot be matched: it stands alone, as a placeholder.
  if (!hasAnchor && kind != TDecodeSdltmStr::tkStandalone && kind != TDecodeSdltmStr::tkNone) {
    out.append("<ph ");
    attr(hasAlignment, "x", alignment);
    if (kind == TDecodeSdltmStr::tkLockedContent)
      out.append("type=\"x-LockedContent\" ");
    else if (kind == TDecodeSdltmStr::tkTextPlaceholder)
      out.append("type=\"x-TextPlaceholder\" ");
    else if (kind == TDecodeSdltmStr::tkStart)
      attr(hasId, "type", id);
    out.append("/>");
    if (kind == TDecodeSdltmStr::tkTextPlaceholder) out.append(equivalent);
    text = rest;
    return true;
  }
  switch (kind) {
    case TDecodeSdltmStr::tkStart:
      bpt({});
      attr(hasId, "type", id);
      out.append("/>");
      break;
    case TDecodeSdltmStr::tkEnd:
      ept();
      break;
    case TDecodeSdltmStr::tkLockedContent:
      bpt("type=\"x-LockedContent\" />");
      ept();
      break;
    case TDecodeSdltmStr::tkTextPlaceholder:
      bpt("type=\"x-TextPlaceholder\" />");
      out.append(equivalent);
      ept();
      break;
    default:
      out.append("<ph ");
      attr(hasAlignment, "x", alignment);
      attr(hasId, "type", id);
      out.append("/>");
      break;
  }
  text = rest;
  return true;
}

}  // namespace

bool TDecodeSdltmStr::DecodePlain(std::string_view text) {
  if (!Take(text, "<Segment")) return false;
  if (!TakeAttributes(text) || !Take(text, "<Elements>")) return false;
  const bool utf8 = Utf8Segments;
  // It holds what the unit gave back for the last segment.
  GiveBack(SegmentUtf8);
  SegmentUtf8.clear();
  SegmentBuffer.clear();
  std::string_view content;
  for (;;) {
    if (Take(text, "<Text><Value>")) {
      if (utf8) {
        if (!TakeXmlText(text, SegmentUtf8) || !Take(text, "</Value></Text>")) return false;
      } else {
        if (!TakeText(text, content) || !Take(text, "</Value></Text>")) return false;
        Piece.clear();
        AppendUtf8(content, Piece);
        AppendXmlText(SegmentBuffer, Piece);
      }
    } else if (Take(text, "<Tag>")) {
      if (utf8 && TakeAsciiTag(text, SegmentUtf8)) continue;
      StartTag();
      while (!Take(text, "</Tag>")) {
        // One element of the tag, "<Name>" text "</Name>", by one of the names it may have.
        const size_t gt = text.find('>');
        if (text.size() < 2 || text[0] != '<' || gt == std::string_view::npos) return false;
        const std::string_view name = text.substr(1, gt - 1);
        static constexpr std::string_view kParts[] = {"Type", "Anchor", "AlignmentAnchor", "TagID", "TextEquivalent"};
        const bool part = std::find(std::begin(kParts), std::end(kParts), name) != std::end(kParts);
        if (!part) {
          // An element the decoder does not read (CanHide...): its text goes nowhere.
          if (name.empty() || NameOfUtf8(name) != nmOther ||
              !std::all_of(name.begin(), name.end(), [](char c) { return IsPlainNameByte(static_cast<unsigned char>(c)); }))
            return false;
          text.remove_prefix(gt + 1);
          const size_t lt = text.find('<');
          if (lt == std::string_view::npos) return false;
          text.remove_prefix(lt);
          if (!Take(text, "</") || !Take(text, name) || !Take(text, ">")) return false;
          continue;
        }
        text.remove_prefix(gt + 1);
        if (!TakeText(text, content) || !Take(text, "</") || !Take(text, name) || !Take(text, ">")) return false;
        Piece.clear();
        AppendUtf8(content, Piece);
        switch (name.size()) {
          case 4: TagKind = KindOf(PlainValue(Piece)); break;
          case 6: SetAttr(AnchorAttr, u"i", Piece); break;
          case 15: SetAttr(AlignmentAttr, u"x", Piece); break;
          case 5: SetAttr(TagIdAttr, u"type", Piece); break;
          default:
            TextEquivalent.clear();
            AppendXmlText(TextEquivalent, Piece);
            break;
        }
      }
      if (utf8) {
        SegmentBuffer.clear();
        WriteTag();
        EncodeUtf8Sized(SegmentBuffer, Encoded);
        AppendCleanXml(SegmentUtf8, Encoded);
      } else {
        WriteTag();
      }
    } else {
      break;
    }
  }
  std::string_view culture;
  if (!Take(text, "</Elements><CultureName>")) return false;
  // A database holds a few cultures: the code of the last one on each side is kept, and text
  // that repeats it needs no second check.
  TCulture& known = Cultures[LangField == tfSourceLang ? 0 : 1];
  const size_t knownSize = known.Bytes.size();
  const bool sameCulture = known.Valid && text.size() > knownSize && text[knownSize] == '<' &&
                           std::memcmp(text.data(), known.Bytes.data(), knownSize) == 0;
  if (sameCulture) {
    culture = text.substr(0, knownSize);
    text.remove_prefix(knownSize);
  } else if (!TakeText(text, culture)) {
    return false;
  }
  if (!Take(text, "</CultureName></Segment>") || !text.empty()) return false;
  StartTag();
  EndOfInput = true;
  if (!sameCulture && (!known.Valid || known.Bytes != culture)) {
    Piece.clear();
    AppendUtf8(culture, Piece);
    const std::u16string_view plain = PlainValue(Piece);
    known.Code.assign(plain);
    FoldWStr(known.Code.data());
    known.Bytes.assign(culture);
    known.Valid = true;
  }
  if (LangField == tfSourceLang)
    SetPairSource(TargetTU->LangPair, known.Code);
  else
    SetPairTarget(TargetTU->LangPair, known.Code);
  SegmentEnded = true;
  HasCulture = !known.Code.empty();
  if (utf8)
    (TextField == tfSource ? TargetTU->SourceUtf8 : TargetTU->TargetUtf8).swap(SegmentUtf8);
  else
    TargetTU->SetField(TextField, SegmentBuffer);
  return true;
}

void TDecodeSdltmStr::DeliverSegment() {
  SegmentEnded = true;
  if (!Utf8Segments) {
    TargetTU->SetField(TextField, SegmentBuffer);
    return;
  }
  TargetTU->SegmentsClean = false;
  std::string& out = TextField == tfSource ? TargetTU->SourceUtf8 : TargetTU->TargetUtf8;
  EncodeUtf8Sized(SegmentBuffer, out);
}

void TDecodeSdltmStr::SetLanguage(std::u16string_view culture) {
  WideString code(PlainValue(culture));
  FoldWStr(code.data());
  HasCulture = !code.empty();
  if (LangField == tfSourceLang)
    SetPairSource(TargetTU->LangPair, code);
  else
    SetPairTarget(TargetTU->LangPair, code);
}

void TDecodeSdltmStr::DecodeBytes(std::string_view text, TTU& tu, bool isSource) {
  SegmentEnded = HasCulture = false;
  LangField = isSource ? tfSourceLang : tfTargetLang;
  TextField = isSource ? tfSource : tfTarget;
  // The scanner makes a blank of every line end, but a line break inside a segment's text is
  // part of the text: outside the markup it goes in as the reference "&#10;", which the text
  // keeps. CR LF and a lone CR are one line end, as for any XML reader.
  Prepared.clear();
  bool markup = false;
  size_t run = 0;
  // A zero character, which would end the scan, is a character XML cannot hold: a blank, as
  // the other control characters become.
  const bool lineEnds =
      !text.empty() && (std::memchr(text.data(), '\n', text.size()) || std::memchr(text.data(), '\r', text.size()) ||
                        std::memchr(text.data(), '\0', text.size()));
  for (size_t i = 0; lineEnds && i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') {
      Prepared.append(text.substr(run, i - run));
      Prepared.push_back(' ');
      run = i + 1;
    } else if (c == '<') {
      markup = true;
    } else if (c == '>') {
      markup = false;
    } else if (!markup && (c == '\n' || c == '\r')) {
      Prepared.append(text.substr(run, i - run));
      Prepared.append("&#10;");
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      run = i + 1;
    }
  }
  const std::string_view whole = run == 0 ? text : (Prepared.append(text.substr(run)), std::string_view(Prepared));
  SegmentBuffer.clear();
  TargetTU = &tu;
  StartTag();
  ParseBytes(whole);
  TargetTU = nullptr;
  GiveBack(Prepared);
  GiveBack(SegmentBuffer);
  GiveBack(Plain);
}

int TDecodeSdltmStr::ElementKind(std::string_view name) const { return NameOfUtf8(name); }

// Only the elements whose text is read gather it; the rest (the blanks between elements) is
// dropped as it is scanned.
bool TDecodeSdltmStr::CollectsText(const TTag& tag) const {
  switch (NameOf(tag)) {
    case nmValue: case nmType: case nmAnchor: case nmAlignmentAnchor: case nmTagID: case nmTextEquivalent:
    case nmCultureName:
      return true;
    default:
      return false;
  }
}

void TDecodeSdltmStr::StartTag() {
  TagKind = tkNone;
  AnchorAttr.clear();
  AlignmentAttr.clear();
  TagIdAttr.clear();
  TextEquivalent.clear();
}

void TDecodeSdltmStr::TagOpened(TTag* tag) {
  switch (NameOf(*tag)) {
    case nmSegment:
    case nmElements:
      SegmentBuffer.clear();
      [[fallthrough]];
    case nmTag:
      StartTag();
      break;
    default:
      break;
  }
}

void TDecodeSdltmStr::SetAttr(WideString& dest, std::u16string_view attr, std::u16string_view value) {
  DecodeXmlText(value, Plain);
  dest.assign(attr);
  dest.append(u"=\"");
  size_t run = 0;
  for (size_t i = 0; i < Plain.size(); ++i) {
    const char16_t* entity = nullptr;
    switch (Plain[i]) {
      case u'&': entity = u"&amp;"; break;
      case u'"': entity = u"&quot;"; break;
      case u'<': entity = u"&lt;"; break;
      case u'>': entity = u"&gt;"; break;
      case u'\'': entity = u"&apos;"; break;
      default: continue;
    }
    dest.append(Plain, run, i - run);
    dest.append(entity);
    run = i + 1;
  }
  dest.append(Plain, run);
  dest.append(u"\" ");
}

std::u16string_view TDecodeSdltmStr::PlainValue(std::u16string_view value) {
  DecodeXmlText(value, Plain);
  std::u16string_view v(Plain);
  while (!v.empty() && v.front() == u' ') v.remove_prefix(1);
  while (!v.empty() && v.back() == u' ') v.remove_suffix(1);
  return v;
}

// The TMX forms, for the anchor 1, the alignment anchor 1, the tag id 6 and the text
// equivalent {1}:
//   start tag         <bpt i="1" x="1" type="6" />
//   end tag           <ept i="1" />                 (ept takes no other attribute in TMX 1.4)
//   standalone tag    <ph x="1" type="6" />
//   locked content    <bpt i="1" x="1" type="x-LockedContent" /><ept i="1" />
//   text placeholder  <bpt i="1" x="1" type="x-TextPlaceholder" />{1}<ept i="1" />
// A tag of a type not among these stands as a placeholder, like a standalone tag; so does any
// of a pair without an anchor (<ph x="1" type="6" />, <ph />, <ph type="x-LockedContent" />...).
void TDecodeSdltmStr::WriteTag() {
  WideString& out = SegmentBuffer;
  // A code of a pair without its anchor has no i to match it by, which bpt and ept must carry:
  // it stands alone, as a placeholder, keeping its alignment anchor and type.
  if (AnchorAttr.empty() && TagKind != tkStandalone && TagKind != tkNone) {
    out.append(u"<ph ").append(AlignmentAttr);
    if (TagKind == tkLockedContent)
      out.append(u"type=\"x-LockedContent\" ");
    else if (TagKind == tkTextPlaceholder)
      out.append(u"type=\"x-TextPlaceholder\" ");
    else if (TagKind == tkStart)
      out.append(TagIdAttr);
    out.append(u"/>");
    if (TagKind == tkTextPlaceholder) out.append(TextEquivalent);
    return;
  }
  switch (TagKind) {
    case tkStart:
      out.append(u"<bpt ").append(AnchorAttr).append(AlignmentAttr).append(TagIdAttr).append(u"/>");
      break;
    case tkEnd:
      out.append(u"<ept ").append(AnchorAttr).append(u"/>");
      break;
    case tkLockedContent:
      out.append(u"<bpt ").append(AnchorAttr).append(AlignmentAttr).append(u"type=\"x-LockedContent\" />");
      out.append(u"<ept ").append(AnchorAttr).append(u"/>");
      break;
    case tkTextPlaceholder:
      out.append(u"<bpt ").append(AnchorAttr).append(AlignmentAttr).append(u"type=\"x-TextPlaceholder\" />");
      out.append(TextEquivalent);
      out.append(u"<ept ").append(AnchorAttr).append(u"/>");
      break;
    default:
      out.append(u"<ph ").append(AlignmentAttr).append(TagIdAttr).append(u"/>");
      break;
  }
}

TTag* TDecodeSdltmStr::TagClosed(TTag* tag, std::u16string_view) {
  const std::u16string_view text = TextOf(*tag);
  switch (NameOf(*tag)) {
    case nmValue:
      AppendXmlText(SegmentBuffer, text);
      break;
    case nmType:
      TagKind = KindOf(PlainValue(text));
      break;
    case nmAnchor:
      SetAttr(AnchorAttr, u"i", text);
      break;
    case nmAlignmentAnchor:
      SetAttr(AlignmentAttr, u"x", text);
      break;
    case nmTagID:
      SetAttr(TagIdAttr, u"type", text);
      break;
    case nmTextEquivalent:
      TextEquivalent.clear();
      AppendXmlText(TextEquivalent, text);
      break;
    case nmTag:
      WriteTag();
      StartTag();
      break;
    case nmCultureName:
      if (TargetTU) SetLanguage(text);
      break;
    case nmSegment:
      if (TargetTU) DeliverSegment();
      break;
    default:
      break;
  }
  return tag->Close();
}
