#include "htmlview/style/StylePars.h"

#include <algorithm>

#include "htmlview/text/URLSubs.h"
#include "platform/core/Utf8.h"

namespace htmlview {
namespace {

constexpr auto npos = std::u16string::npos;

bool IsIdentChar(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == u'_' || c == u'-' ||
         c >= 0xA0;
}

bool IsDigit(char16_t c) { return c >= '0' && c <= '9'; }

const char16_t* const kShortHands[] = {u"margin",       u"padding",      u"border-width", u"border",
                                       u"border-top",   u"border-right", u"border-bottom", u"border-left",
                                       u"font",         u"background",   u"list-style",   u"border-color",
                                       u"border-style"};
enum { shMargin, shPadding, shBorderWidth, shBorder, shBorderTop, shBorderRight, shBorderBottom, shBorderLeft,
       shFont, shBackground, shListStyle, shBorderColor, shBorderStyle };

const char16_t* const kBorderStyleWords[] = {u"none",   u"solid", u"dashed", u"dotted", u"double",
                                             u"groove", u"inset", u"outset", u"ridge"};
const char16_t* const kFontWords[] = {u"italic", u"oblique", u"normal",   u"bolder", u"lighter", u"bold",
                                      u"small-caps", u"larger", u"smaller", u"xx-small", u"x-small", u"small",
                                      u"medium", u"large", u"x-large", u"xx-large"};
const char16_t* const kMedia[] = {u"all", u"braille", u"embossed", u"handheld", u"print",
                                  u"projection", u"screen", u"speech", u"tty", u"tv"};
const char16_t* const kSides[] = {u"top", u"right", u"bottom", u"left"};

template <size_t N>
int IndexOf(const std::u16string& w, const char16_t* const (&table)[N]) {
  for (size_t i = 0; i < N; ++i)
    if (w == table[i]) return static_cast<int>(i);
  return -1;
}

bool StartsWithFunction(const std::u16string& s, size_t at) {
  for (const char16_t* f : {u"url(", u"rgb(", u"rgba(", u"hsla(", u"hsl("})
    if (s.compare(at, std::char_traits<char16_t>::length(f), f) == 0) return true;
  return false;
}

// Lower case outside url(...), whose text names a file and keeps its case.
std::u16string LowerOutsideURL(const std::u16string& s) {
  std::u16string out = s;
  size_t i = 0;
  while (i < out.size()) {
    auto lower = [&](size_t k) { return out[k] >= 'A' && out[k] <= 'Z' ? static_cast<char16_t>(out[k] + 32) : out[k]; };
    if (i + 4 <= out.size() && lower(i) == u'u' && lower(i + 1) == u'r' && lower(i + 2) == u'l' && out[i + 3] == u'(') {
      out.replace(i, 4, u"url(");
      i += 4;
      char16_t quote = 0;
      while (i < out.size() && (quote || out[i] != u')')) {
        if (quote && out[i] == quote)
          quote = 0;
        else if (!quote && (out[i] == u'"' || out[i] == u'\''))
          quote = out[i];
        ++i;
      }
      continue;
    }
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char16_t>(out[i] + 32);
    ++i;
  }
  return out;
}

// The parts of a shorthand's value (at most maxParts); with functions, url(), rgb() and the
// like come out first as parts of their own.
std::vector<std::u16string> SplitParts(const std::u16string& valueIn, size_t maxParts, bool functions) {
  std::vector<std::u16string> parts;
  std::u16string v;
  const std::u16string t = TrimW(valueIn);
  for (size_t i = 0; i < t.size(); ++i) {
    const char16_t c = t[i] == u'\t' ? u' ' : t[i];
    if (c == u' ' && !v.empty() && (v.back() == u' ' || v.back() == u',')) continue;
    v += c;
  }
  if (functions) {
    // One pass: the functions go to their parts, the rest of the text is kept without them.
    std::u16string rest;
    rest.reserve(v.size());
    for (size_t i = 0; i < v.size();) {
      if (!StartsWithFunction(v, i)) {
        rest += v[i++];
        continue;
      }
      size_t close = v.find(u')', i);
      close = close == npos ? v.size() : close + 1;
      parts.push_back(v.substr(i, close - i));
      i = close;
    }
    v.swap(rest);
  }
  size_t i = 0;
  while (i < v.size()) {
    while (i < v.size() && v[i] == u' ') ++i;
    if (i >= v.size()) break;
    size_t end;
    if (v[i] == u'"' || v[i] == u'\'') {
      end = v.find(v[i], i + 1);
      end = end == npos ? v.size() : end + 1;
    } else {
      end = v.find(u' ', i);
      if (end == npos) end = v.size();
    }
    std::u16string part = v.substr(i, end - i);
    const size_t slash = part.find(u'/', 1);
    if (slash != npos && part[0] != u'"' && part[0] != u'\'' && !StartsWithFunction(part, 0)) {
      parts.push_back(part.substr(0, slash));
      parts.push_back(part.substr(slash));
    } else {
      parts.push_back(part);
    }
    i = end;
  }
  if (parts.size() > maxParts) parts.resize(maxParts);
  return parts;
}

bool IsColorPart(const std::u16string& p) {
  if (StartsWithFunction(p, 0)) return p.compare(0, 4, u"url(") != 0;
  TColor c;
  int a;
  return ColorFromString(p, true, c, a);
}

}  // namespace

// ---- reading ----

void THtmlStyleParser::GetCh() {
  LCh = Doc.NextChar();
  if (LCh == u'\t' || LCh == u'\n' || LCh == u'\f' || LCh == u'\r') LCh = u' ';
  if (LCh == u'/' && Doc.PeekChar() == u'*') {
    Doc.NextChar();
    char16_t prev = 0;
    for (;;) {
      const char16_t c = Doc.NextChar();
      if (c == 0)
        throw EParseError("Unterminated comment in style file: " + platform::Utf16ToUtf8(Doc.Name));
      if (prev == u'*' && c == u'/') break;
      prev = c;
    }
    LCh = u' ';
  }
}

void THtmlStyleParser::SkipWhiteSpace() {
  while (LCh == u' ') GetCh();
}

bool THtmlStyleParser::GetIdentifier(std::u16string& id) {
  id.clear();
  if (LCh == u'-') {
    const char16_t next = Doc.PeekChar();
    if (next == u'-' || IsDigit(next)) return false;
  } else if (IsDigit(LCh) || !IsIdentChar(LCh)) {
    return false;
  }
  while (IsIdentChar(LCh)) {
    id += LCh;
    GetCh();
  }
  return !id.empty();
}

bool THtmlStyleParser::GetQuotedStr(std::u16string& s, bool stopAtLess) {
  s.clear();
  const char16_t quote = LCh;
  if (quote != u'"' && quote != u'\'') return false;
  s += quote;
  // Raw characters: a line feed inside ends the string as a failure, and so does the "<" that
  // ends a style element.
  auto ends = [&](char16_t c) {
    if (c != 0 && c != u'\n' && !(stopAtLess && c == u'<')) return false;
    LCh = c == u'\n' ? u' ' : c;
    return true;
  };
  for (;;) {
    char16_t c = Doc.NextChar();
    if (ends(c)) return false;
    if (c == u'\\') {
      c = Doc.NextChar();
      if (ends(c)) return false;
      s += c;
      continue;
    }
    s += c;
    if (c == quote) break;
  }
  GetCh();
  return true;
}

std::u16string THtmlStyleParser::ReadValue(bool stopAtLess) {
  std::u16string& v = valueBuffer_;
  v.clear();
  // Expected closing characters of the brackets and quotes that are open. A "}" (and a "<" in a
  // style element, which ends the element's text) ends the value whatever is open, so that an
  // unclosed quote or bracket never takes the rules and the page after it.
  char16_t stack[32];
  int depth = 0;
  auto inQuotes = [&] { return depth > 0 && (stack[depth - 1] == u'"' || stack[depth - 1] == u'\''); };
  auto raw = [&] {
    // Inside quotes comments do not start: take characters as they are.
    LCh = Doc.NextChar();
    if (LCh == u'\t' || LCh == u'\n' || LCh == u'\f' || LCh == u'\r') LCh = u' ';
  };
  while (LCh != 0) {
    if (LCh == u'}' || (stopAtLess && LCh == u'<') || (depth == 0 && LCh == u';')) break;
    const char16_t c = LCh;
    if (c == u'\\') {
      // An escaped character is taken as it is, the backslash with it (file names keep theirs).
      v += c;
      raw();
      if (LCh == 0 || (stopAtLess && LCh == u'<')) break;
      v += LCh;
      if (inQuotes())
        raw();
      else
        GetCh();
      continue;
    }
    if (depth > 0 && c == stack[depth - 1]) {
      --depth;
    } else if (!inQuotes()) {
      char16_t close = c == u'(' ? u')' : c == u'[' ? u']' : c == u'{' ? u'}' : c == u'"' || c == u'\'' ? c : 0;
      if (close && depth < 32) stack[depth++] = close;
    }
    v += c;
    if (inQuotes())
      raw();
    else
      GetCh();
  }
  std::u16string value = LowerOutsideURL(TrimW(v));
  if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  return value;
}

std::u16string THtmlStyleParser::AddPath(const std::u16string& value) const {
  std::u16string url = ReadURL(value);
  if (url.empty() || IsFullURL(url) || LinkPath.empty()) return url.empty() ? value : u"url(\"" + url + u"\")";
  // A path that begins with "/" still takes the host of a sheet that has one.
  const bool drivePath = url.size() > 1 && url[1] == u':';
  const bool network = LinkPath.starts_with(u"//") || LinkPath.starts_with(u"\\\\");
  if (!drivePath && !network) url = CombineURL(GetURLBase(LinkPath), url);
  return u"url(\"" + url + u"\")";
}

void THtmlStyleParser::ProcessProperty(const std::u16string& prop, const std::u16string& value) {
  if (ProcessShortHand(prop, value)) return;
  if (!LinkPath.empty() && value.find(u"url(") != npos)
    AddProperty(prop, AddPath(value));
  else
    AddProperty(prop, value);
}

bool THtmlStyleParser::ProcessShortHand(const std::u16string& prop, const std::u16string& value) {
  const int index = IndexOf(prop, kShortHands);
  if (index < 0) return false;
  switch (index) {
    case shMargin:
    case shPadding:
    case shBorderWidth:
    case shBorderColor:
    case shBorderStyle: {
      const std::vector<std::u16string> p = SplitParts(value, 4, index == shBorderColor);
      if (p.empty()) return true;
      const std::u16string side[4] = {p[0], p.size() > 1 ? p[1] : p[0], p.size() > 2 ? p[2] : p[0],
                                      p.size() > 3 ? p[3] : p.size() > 1 ? p[1] : p[0]};
      for (int k = 0; k < 4; ++k) {
        std::u16string name;
        if (index == shMargin) name = u"margin-" + std::u16string(kSides[k]);
        if (index == shPadding) name = u"padding-" + std::u16string(kSides[k]);
        if (index == shBorderWidth) name = u"border-" + std::u16string(kSides[k]) + u"-width";
        if (index == shBorderColor) name = u"border-" + std::u16string(kSides[k]) + u"-color";
        if (index == shBorderStyle) name = u"border-" + std::u16string(kSides[k]) + u"-style";
        AddProperty(name, side[k]);
      }
      return true;
    }
    case shBorder:
    case shBorderTop:
    case shBorderRight:
    case shBorderBottom:
    case shBorderLeft: {
      std::u16string width = u"medium", style = u"none", color;
      for (const std::u16string& p : SplitParts(value, 7, true)) {
        if (IsColorPart(p))
          color = p;
        else if (IndexOf(p, kBorderStyleWords) >= 0)
          style = p;
        else if (!StartsWithFunction(p, 0))
          width = p;
      }
      for (int k = 0; k < 4; ++k) {
        if (index != shBorder && index - shBorderTop != k) continue;
        const std::u16string base = u"border-" + std::u16string(kSides[k]);
        if (!color.empty()) AddProperty(base + u"-color", color);
        AddProperty(base + u"-width", width);
        AddProperty(base + u"-style", style);
      }
      return true;
    }
    case shFont: {
      std::u16string style = u"normal", variant = u"normal", weight = u"normal";
      std::u16string size = QuirksMode ? u"small" : u"medium", lineHeight = u"normal", family;
      // The family list comes last and runs to the end: a quoted name and the names after its
      // comma are all part of it.
      const std::vector<std::u16string> parts = SplitParts(value, 64, false);
      for (size_t k = 0; k < parts.size(); ++k) {
        const std::u16string& p = parts[k];
        if (p[0] == u'/') {
          lineHeight = p.substr(1);
        } else if (IsDigit(p[0]) || (p[0] == u'.' && p.size() > 1 && IsDigit(p[1]))) {
          double n;
          std::u16string unit;
          const bool number = SplitNumber(p, n, unit);
          if (number && (!unit.empty() || n < 100))
            size = p;
          else
            weight = p;
        } else if (int w = IndexOf(p, kFontWords); w >= 0) {
          if (w <= 1)
            style = p;
          else if (w <= 5)
            weight = p;
          else if (w == 6)
            variant = p;
          else
            size = p;
        } else {
          family = p;
          for (size_t j = k + 1; j < parts.size(); ++j) {
            if (family.back() != u',' && parts[j][0] != u',') family += u' ';
            family += parts[j];
          }
          break;
        }
      }
      AddProperty(u"font-style", style);
      AddProperty(u"font-variant", variant);
      AddProperty(u"font-weight", weight);
      AddProperty(u"font-size", size);
      AddProperty(u"line-height", lineHeight);
      if (!family.empty()) AddProperty(u"font-family", family);
      return true;
    }
    case shBackground: {
      std::u16string color = u"transparent", image = u"none", repeat = u"repeat", attachment = u"scroll";
      std::vector<std::u16string> rest;
      for (const std::u16string& p : SplitParts(value, 7, true)) {
        if (p.starts_with(u"url("))
          image = LinkPath.empty() ? p : AddPath(p);
        else if (IsColorPart(p))
          color = p;
        else if (p == u"none")
          image = p;
        else if (p.find(u"repeat") != npos)
          repeat = p;
        else if (p == u"fixed" || p == u"scroll")
          attachment = p;
        else
          rest.push_back(p);
      }
      std::u16string position = u"0% 0%";
      if (rest.size() == 1) position = rest[0];
      if (rest.size() >= 2) position = rest[rest.size() - 2] + u" " + rest.back();
      AddProperty(u"background-color", color);
      AddProperty(u"background-image", image);
      AddProperty(u"background-repeat", repeat);
      AddProperty(u"background-attachment", attachment);
      AddProperty(u"background-position", position);
      return true;
    }
    case shListStyle: {
      std::u16string type = u"disc", image = u"none";
      for (const std::u16string& p : SplitParts(value, 7, true)) {
        if (p == u"none")
          type = p;
        else if (p.starts_with(u"url("))
          image = LinkPath.empty() ? p : AddPath(p);
        else if (p == u"inside" || p == u"outside")
          continue;  // the position is no property of the style engine
        else
          type = p;
      }
      AddProperty(u"list-style-type", type);
      AddProperty(u"list-style-image", image);
      return true;
    }
  }
  return false;
}

// ---- style sheets ----

void THtmlStyleTagParser::AddProperty(const std::u16string& prop, const std::u16string& value) {
  for (const std::u16string& s : Selectors) Styles.AddModifyProp(s, prop, value);
}

void THtmlStyleTagParser::Parse(bool isFile) {
  isFile_ = isFile;
  if (LCh == u'\r') LCh = u' ';
  // The markers of an HTML comment around the sheet; in a style element any other "<" is its end
  // tag, and an empty sheet must leave it for the page.
  while (LCh == u' ' || LCh == u'>' || LCh == u'!' || LCh == u'-' ||
         (LCh == u'<' && (isFile || Doc.PeekChar() == u'!')))
    GetCh();
  ReadRules(isFile, false);
}

void THtmlStyleTagParser::ReadRules(bool isFile, bool inMedia) {
  while (LCh != 0) {
    if (LCh == u'<' && !isFile) return;
    if (inMedia && LCh == u'}') return;
    if (LCh == u'@') {
      GetCh();
      DoAtRule(isFile);
    } else if (LCh == u'<') {
      while (LCh != 0 && LCh != u' ') GetCh();
    } else {
      GetSelectors();
      if (LCh == u'{') DoStatement();
    }
    while (LCh == u' ' || LCh == u'-' || LCh == u'>') GetCh();
  }
}

void THtmlStyleTagParser::SkipBlock(bool isFile) {
  // To the ";" that ends a rule without a block, or over the block with its nested braces.
  while (LCh != 0 && LCh != u'{' && LCh != u';' && !(LCh == u'<' && !isFile)) GetCh();
  if (LCh == u';') {
    GetCh();
    return;
  }
  if (LCh != u'{') return;
  int depth = 0;
  do {
    if (LCh == u'{') ++depth;
    if (LCh == u'}') --depth;
    GetCh();
  } while (LCh != 0 && depth > 0 && !(LCh == u'<' && !isFile));
}

void THtmlStyleTagParser::DoAtRule(bool isFile) {
  std::u16string name;
  GetIdentifier(name);
  name = LowerW(name);
  auto readMedia = [&](unsigned& media) {
    media = 0;
    for (;;) {
      SkipWhiteSpace();
      std::u16string m;
      if (!GetIdentifier(m)) break;
      if (int k = IndexOf(LowerW(m), kMedia); k >= 0) media |= 1u << k;
      SkipWhiteSpace();
      if (LCh != u',') break;
      GetCh();
    }
    if (media == 0) media = 1;  // all
  };
  if (name == u"media") {
    unsigned media;
    readMedia(media);
    if (LCh == u';') {
      GetCh();
      return;
    }
    if (LCh != u'{') {
      SkipBlock(isFile);
      return;
    }
    if (!(media & (1u << 0 | 1u << 6))) {
      SkipBlock(isFile);
      return;
    }
    if (mediaDepth_ >= MaxMediaDepth) {
      // Blocks nested deeper are skipped whole: reading them would take a stack frame each.
      SkipBlock(isFile);
      return;
    }
    GetCh();
    while (LCh == u' ') GetCh();
    ++mediaDepth_;
    ReadRules(isFile, true);
    --mediaDepth_;
    if (LCh == u'}') GetCh();
  } else if (name == u"import") {
    SkipWhiteSpace();
    std::u16string s;
    if (LCh == u'"' || LCh == u'\'') {
      GetQuotedStr(s, !isFile);
    } else if (GetIdentifier(s) && LowerW(s) == u"url" && LCh == u'(') {
      GetCh();
      SkipWhiteSpace();
      if (LCh == u'"' || LCh == u'\'') GetQuotedStr(s, !isFile);
      while (LCh != 0 && LCh != u')' && LCh != u';' && !(LCh == u'<' && !isFile)) GetCh();
      if (LCh == u')') GetCh();
    }
    unsigned media;
    readMedia(media);
    if (LCh == u';')
      GetCh();
    else
      SkipBlock(isFile);
  } else {
    SkipBlock(isFile);
  }
}

std::u16string THtmlStyleTagParser::NormalizeSelector(std::u16string s) {
  // A ">" at either end has no element on that side: it goes, with the blanks around it.
  const auto edge = [](char16_t c) { return c == u'>' || c <= u' '; };
  size_t first = 0, last = s.size();
  while (first < last && edge(s[first])) ++first;
  while (last > first && edge(s[last - 1])) --last;
  s = LowerW(s.substr(first, last - first));
  std::u16string t;
  for (char16_t c : s) {
    if (c == u'>') {
      while (!t.empty() && t.back() == u' ') t.pop_back();
      t += u"> ";
    } else {
      t += c;
    }
  }
  std::vector<std::u16string> compounds;
  std::u16string cur;
  for (char16_t c : t + u" ") {
    if (c == u' ') {
      if (!cur.empty()) compounds.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (compounds.empty()) return {};
  for (std::u16string& c : compounds) {
    bool child = c.back() == u'>';
    if (child) c.pop_back();
    int marks = 0;
    for (char16_t ch : c) marks += ch == u'#' || ch == u'.' || ch == u':';
    if (marks >= 2) {
      std::u16string tag, id, pseudo, part;
      std::vector<std::u16string> classes;
      char16_t kind = 0;
      for (char16_t ch : c + u".") {
        if (ch == u'#' || ch == u'.' || ch == u':') {
          if (kind == 0) tag = part;
          if (kind == u'.' && !part.empty()) classes.push_back(part);
          if (kind == u'#') id = part;
          if (kind == u':') pseudo = pseudo.empty() ? part : pseudo + u":" + part;
          kind = ch;
          part.clear();
        } else {
          part += ch;
        }
      }
      std::sort(classes.begin(), classes.end());
      c = tag;
      for (const auto& cl : classes) c += u"." + cl;
      if (!id.empty()) c += u"#" + id;
      if (!pseudo.empty()) c += u":" + pseudo;
    }
    if (child) c += u'>';
  }
  if (compounds.size() == 1) return compounds[0];
  std::u16string element = compounds.back();
  if (!element.empty() && element.back() == u'>') element.pop_back();
  std::u16string key = element + u" " + Styles.NextSeqString();
  for (size_t k = compounds.size() - 1; k-- > 0;) key += (k + 2 == compounds.size() ? u"" : u" ") + compounds[k];
  return key;
}

void THtmlStyleTagParser::GetSelectors() {
  Selectors.clear();
  std::u16string cur;
  bool bad = false;
  auto finish = [&] {
    if (!bad && cur.find(u'+') == npos) {
      std::u16string key = NormalizeSelector(cur);
      if (!key.empty()) Selectors.push_back(key);
    }
    cur.clear();
    bad = false;
  };
  while (LCh != 0 && LCh != u'{' && !(LCh == u'<' && !isFile_)) {
    const char16_t c = LCh;
    if (c == u',') {
      finish();
    } else if (IsIdentChar(c) || c == u':' || c == u'#' || c == u'.' || c == u'>' || c == u'+' || c == u' ') {
      cur += c;
    } else if (c == u'*') {
      cur += u' ';
    } else {
      bad = true;  // attribute selectors and the like: never applied to the wrong elements
    }
    GetCh();
  }
  finish();
}

void THtmlStyleTagParser::DoStatement() {
  GetCh();  // the "{"
  std::u16string name;
  for (;;) {
    SkipWhiteSpace();
    if (LCh == u'}') {
      GetCh();
      return;
    }
    if (LCh == 0 || (LCh == u'<' && !isFile_)) return;
    if (LCh == u';') {
      GetCh();
      continue;
    }
    const bool named = GetIdentifier(name);
    SkipWhiteSpace();
    if (named && (LCh == u':' || LCh == u'=')) {
      GetCh();
      SkipWhiteSpace();
      const std::u16string value = ReadValue(!isFile_);
      ProcessProperty(LowerW(name), value);
    } else {
      ReadValue(!isFile_);  // the rest of a malformed declaration
      if (!named && LCh != u';' && LCh != u'}' && LCh != 0 && !(LCh == u'<' && !isFile_)) GetCh();
    }
    if (LCh == u';') GetCh();
  }
}

// ---- style attributes ----

void THtmlStyleAttrParser::AddProperty(const std::u16string& prop, const std::u16string& value) {
  Propty.SetPropByName(prop, value);
}

void THtmlStyleAttrParser::Parse() {
  GetCh();
  auto isNameChar = [](char16_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == u'-';
  };
  while (LCh != 0) {
    while (LCh != 0 && !isNameChar(LCh)) GetCh();
    std::u16string name;
    while (isNameChar(LCh)) {
      name += LCh;
      GetCh();
    }
    SkipWhiteSpace();
    if (LCh != u':' && LCh != u'=') continue;
    GetCh();
    SkipWhiteSpace();
    const std::u16string value = ReadValue(false);
    ProcessProperty(LowerW(name), value);
    if (LCh == u';' || LCh == u'}') GetCh();
  }
}

void ParseStyleTag(TStyleList& styles, char16_t& lch, TBuffer& doc, bool quirksMode, bool isFile,
                   const std::u16string& linkPath) {
  THtmlStyleTagParser parser(doc, quirksMode, styles);
  parser.LinkPath = linkPath;
  parser.LCh = lch;
  parser.Parse(isFile);
  lch = parser.LCh;
}

void ParseStyleAttr(TBuffer& doc, TProperties& propty) {
  THtmlStyleAttrParser parser(doc, propty.QuirksMode, propty);
  parser.Parse();
}

void ParseStyleAttrString(const std::u16string& text, TProperties& propty) {
  TBuffer doc = TBuffer::FromString(text, u"style");
  ParseStyleAttr(doc, propty);
}

}  // namespace htmlview
