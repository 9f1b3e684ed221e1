#include "htmlview/style/StyleUn.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "htmlview/text/HtmlBuffer.h"
#include "htmlview/text/HtmlGlobals.h"
#include "htmlview/text/URLSubs.h"
#include "platform/core/RoundHalfEven.h"

namespace htmlview {

const char16_t* const PropWords[PropCount] = {
    u"font-family", u"font-size", u"font-style", u"font-weight", u"text-align", u"text-decoration",
    u"letter-spacing", u"color", u"background-color", u"margin-top", u"margin-right", u"margin-bottom",
    u"margin-left", u"min-height", u"min-width", u"max-height", u"max-width", u"box-sizing", u"padding-top",
    u"padding-right", u"padding-bottom", u"padding-left", u"border-top-width", u"border-right-width",
    u"border-bottom-width", u"border-left-width", u"border-top-color", u"border-right-color",
    u"border-bottom-color", u"border-left-color", u"border-top-style", u"border-right-style",
    u"border-bottom-style", u"border-left-style", u"width", u"height", u"top", u"bottom", u"right", u"left",
    u"visibility", u"line-height", u"background-image", u"background-position", u"background-repeat",
    u"background-attachment", u"vertical-align", u"position", u"z-index", u"list-style-type",
    u"list-style-image", u"float", u"clear", u"text-indent", u"page-break-before", u"page-break-after",
    u"page-break-inside", u"text-transform", u"word-wrap", u"font-variant", u"border-collapse", u"overflow",
    u"display", u"empty-cells"};

namespace {

int g_nextId = 0;

std::u16string NumberText(int n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

std::u16string NumberText(double d) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%g", d);
  return std::u16string(buf, buf + std::max(0, n));
}

const char16_t* const kBorderStyles[] = {u"none", u"solid", u"inset", u"outset", u"groove",
                                         u"ridge", u"dashed", u"dotted", u"double"};
const char16_t* const kListStyles[] = {u"blank",       u"circle",      u"decimal", u"disc",        u"lower-alpha",
                                       u"lower-roman", u"none",        u"square",  u"upper-alpha", u"upper-roman"};
const char16_t* const kDisplays[] = {u"block", u"inline", u"inline-block", u"list-item", u"run-in", u"none"};

template <size_t N>
int Code(const std::u16string& word, const char16_t* const (&table)[N], int offset, int unknown) {
  for (size_t i = 0; i < N; ++i)
    if (word == table[i]) return static_cast<int>(i) + offset;
  return unknown;
}

bool IsFontProp(int i) { return i <= Color || i == FontVariant || i == BackgroundColor; }
bool IsBoxProp(int i) { return i >= MarginTop && i <= LeftPos; }

std::vector<std::u16string> SplitClasses(const std::u16string& cls) {
  std::vector<std::u16string> out;
  std::u16string cur;
  for (char16_t c : cls + u" ") {
    if (c == u'.' || c == u' ' || c == u'\t') {
      if (!cur.empty()) out.push_back(LowerW(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  return out;
}

// One compound selector of a descendant key: tag, classes, id, pseudo-class, direct child.
struct Compound {
  std::u16string tag, id, pseudo;
  std::vector<std::u16string> classes;
  bool child = false;
};

Compound ParseCompound(std::u16string s) {
  Compound c;
  if (!s.empty() && s.back() == u'>') {
    c.child = true;
    s.pop_back();
  }
  char16_t kind = 0;
  std::u16string cur;
  auto flush = [&] {
    if (kind == 0) c.tag = cur;
    if (kind == u'.' && !cur.empty()) c.classes.push_back(cur);
    if (kind == u'#') c.id = cur;
    if (kind == u':') c.pseudo = cur;
    cur.clear();
  };
  for (char16_t ch : s) {
    if (ch == u'.' || ch == u'#' || ch == u':') {
      flush();
      kind = ch;
    } else {
      cur += ch;
    }
  }
  flush();
  return c;
}

bool Matches(const Compound& c, const TProperties& p) {
  if (!c.tag.empty() && c.tag != p.PropTag) return false;
  if (!c.id.empty() && c.id != p.PropID) return false;
  if (!c.pseudo.empty() && c.pseudo != p.PropPseudo) return false;
  if (!c.classes.empty()) {
    const std::vector<std::u16string> have = SplitClasses(p.PropClass);
    for (const auto& cl : c.classes)
      if (std::find(have.begin(), have.end(), cl) == have.end()) return false;
  }
  return true;
}

int ToInt(const TPropValue& v, int fallback) {
  if (auto i = std::get_if<int>(&v)) return *i;
  if (auto d = std::get_if<double>(&v)) return static_cast<int>(*d);
  return fallback;
}

}  // namespace

int BackgroundOffset(const TBackgroundAxis& axis, int r) {
  switch (axis.PosType) {
    case 0:
    case 3: return 0;
    case 1: return r / 2;
    case 2:
    case 4: return r;
    case 5: return static_cast<int>(static_cast<int64_t>(r) * axis.Value / 100);
    default: return axis.Value;
  }
}

// ---- TProperties ----

TProperties::TProperties() : ID(++g_nextId) {
  for (int i = MarginTop; i <= LeftPos; ++i) Props[i] = IntNull;
  Props[ZIndex] = 0;
}

TProperties::TProperties(TPropStack* propStack, bool quirksMode) : TProperties() {
  PropStack = propStack;
  QuirksMode = quirksMode;
}

TProperties::TProperties(bool quirksMode) : TProperties() { QuirksMode = quirksMode; }

std::u16string TProperties::Text(int index) const {
  const TPropValue& v = Props[index];
  if (auto s = std::get_if<std::u16string>(&v)) return *s;
  if (auto i = std::get_if<int>(&v)) return NumberText(*i);
  if (auto d = std::get_if<double>(&v)) return NumberText(*d);
  return {};
}

void TProperties::Copy(const TProperties& source) {
  Props = source.Props;
  TheFont.reset();
}

void TProperties::CopyDefault(const TProperties& source) {
  Props = source.Props;
  CharSet = source.CharSet;
  DefFontname = source.DefFontname;
  PropTag = u"default";
  TheFont.reset();
}

void TProperties::Inherit(const std::u16string& tag, const TProperties& source) {
  TheFont.reset();
  if (source.PropTag == u"span") {
    Props = source.Props;
  } else if (source.PropTag == u"thead" || source.PropTag == u"tbody" || source.PropTag == u"tfoot") {
    Props = source.Props;
    OwnFlags = source.OwnFlags;
  } else {
    // By kind: every set pushed inherits, and the variant's general copy costs more than the
    // value most often does.
    auto copy = [](TPropValue& to, const TPropValue& from) {
      switch (from.index()) {
        case 1:
          to = std::get<std::u16string>(from);
          break;
        case 2:
          to = std::get<int>(from);
          break;
        case 3:
          to = std::get<double>(from);
          break;
        default:
          to = std::monostate{};
      }
    };
    for (int i = 0; i < PropCount; ++i) {
      if (i >= ZIndex) {
        const bool skip = i == piFloat || i == piClear || i == PageBreakBefore || i == PageBreakAfter ||
                          i == PageBreakInside || i == BorderCollapse || i == OverFlow || i == piDisplay;
        if (skip)
          Props[i] = std::monostate{};
        else
          copy(Props[i], source.Props[i]);
      } else if (i == psPosition || i == BackgroundColor || (i >= BackgroundImage && i <= BackgroundAttachment)) {
        Props[i] = std::monostate{};
      } else if (IsBoxProp(i)) {
        Props[i] = IntNull;
      } else {
        copy(Props[i], source.Props[i]);
      }
    }
    if (tag == u"table") Props[WordWrap] = std::u16string(u"normal");
  }
  DefFontname = source.DefFontname;
  FontBG = source.FontBG;
  CharSet = source.CharSet;
  CodePage = source.CodePage;
  PropTitle = source.PropTitle;
  InLink = source.InLink;
  FontInfo = source.FontInfo ? std::make_unique<TFontInfoArray>(*source.FontInfo) : nullptr;
  EmSize = source.EmSize;
  ExSize = source.ExSize;
}

void TProperties::Update(const TProperties& source, const TStyleList& styles) {
  for (int i = 0; i < PropCount; ++i)
    if (!OwnFlags[i]) Props[i] = source.Props[i];
  TheFont.reset();
  if (!FontInfo) return;
  if (source.InLink && source.FontInfo) {
    *FontInfo = *source.FontInfo;
  } else if (PropPseudo == u"link") {
    BuildLinkInfo(styles, nullptr);
  } else {
    FontInfo.reset();
    InLink = false;
  }
}

void TProperties::AssignCharSetAndCodePage(int charSet, int codePage) {
  if (charSet == CharSet && codePage == CodePage) return;
  // The char set a font of that char set really gets: every one on this system; 31 is asked
  // for as 238.
  int real = charSet == 31 ? 238 : charSet;
  CharSet = static_cast<uint8_t>(real);
  CodePage = codePage;
  if (FontInfo)
    for (ThtFontInfo& f : *FontInfo) f.iCharSet = CharSet;
  TheFont.reset();
}

void TProperties::AssignCharSet(int charSet) { AssignCharSetAndCodePage(charSet, CharSetToCodePage(charSet)); }

void TProperties::AssignCodePage(int codePage) {
  const int cs = codePage == CP_UTF16LE || codePage == CP_UTF16BE || codePage == CP_UTF8 ? 1
                                                                                       : CodePageToCharSet(codePage);
  AssignCharSetAndCodePage(cs, codePage);
}

bool TProperties::IndexOfProp(const std::u16string& name, int& index) {
  for (int i = 0; i < PropCount; ++i)
    if (name == PropWords[i]) {
      index = i;
      return true;
    }
  return false;
}

void TProperties::SetPropByName(const std::u16string& name, const TPropValue& value) {
  int i;
  if (IndexOfProp(name, i)) SetPropByIndex(i, value);
}

void TProperties::SetPropByIndex(int index, const TPropValue& value) {
  if (index < 0 || index >= PropCount) return;
  if (IsFontProp(index)) TheFont.reset();
  const std::u16string* text = std::get_if<std::u16string>(&value);
  if (!text) {
    Props[index] = value;
    return;
  }
  TColor c;
  int alpha;
  switch (index) {
    case Color: Props[index] = static_cast<int>(ColorFromString(*text, false, c, alpha) ? c : clBlack); return;
    case BackgroundColor: Props[index] = static_cast<int>(ColorFromString(*text, false, c, alpha) ? c : clNone); return;
    case BorderTopColor:
    case BorderRightColor:
    case BorderBottomColor:
    case BorderLeftColor:
      if (ColorFromString(*text, false, c, alpha)) Props[index] = static_cast<int>(c);
      return;
    case Visibility:
      if (*text == u"visible") Props[index] = 2;
      if (*text == u"hidden") Props[index] = 1;
      return;
    case TextTransform: Props[index] = *text == u"uppercase" ? 1 : *text == u"lowercase" ? 2 : 0; return;
    case WordWrap: Props[index] = std::u16string(*text == u"break-word" ? u"break-word" : u"normal"); return;
    case FontVariant:
      if (*text == u"small-caps" || *text == u"normal") Props[index] = *text;
      return;
    default: Props[index] = *text;
  }
}

void TProperties::AssignProp(int index, const TPropValue& value) {
  if (index < 0 || index >= PropCount || OwnFlags[index]) return;
  SetPropByIndex(index, value);
  OwnFlags[index] = true;
  if (InLink && FontInfo && (index == FontFamily || index == FontSize || index == Color)) {
    for (ThtFontInfo& f : *FontInfo) {
      if (index == FontFamily) f.iName = FirstExistingFamily(Text(FontFamily), DefFontname);
      if (index == FontSize) f.iSize = std::holds_alternative<double>(Props[FontSize])
                                           ? std::get<double>(Props[FontSize])
                                           : FontSizeConv(Text(FontSize), f.iSize, QuirksMode);
      if (index == Color) f.iColor = static_cast<TColor>(ToInt(Props[Color], clBlack));
    }
  }
}

void TProperties::Merge(const TProperties& rule) {
  for (int i = 0; i < PropCount; ++i) {
    const TPropValue& v = rule.Props[i];
    if (std::holds_alternative<std::monostate>(v)) continue;
    if (IsBoxProp(i) && ToInt(v, 0) == IntNull && std::holds_alternative<int>(v)) continue;
    Props[i] = v;
    OwnFlags[i] = true;
  }
  TheFont.reset();
}

bool TProperties::MatchesAncestors(const std::u16string& key, size_t prefix) const {
  // After the element and its blank: eight digits, then the ancestors nearest first.
  if (key.size() < prefix + 8 || !PropStack) return false;
  std::vector<Compound> parts;
  std::u16string cur;
  for (char16_t c : key.substr(prefix + 8) + u" ") {
    if (c == u' ') {
      if (!cur.empty()) parts.push_back(ParseCompound(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (parts.empty()) return false;
  const TPropStack& stack = *PropStack;
  int at = static_cast<int>(stack.size());
  if (!stack.empty() && stack.back().get() == this) --at;
  for (const Compound& part : parts) {
    if (part.child) {
      if (at - 1 < 0 || !Matches(part, *stack[at - 1])) return false;
      --at;
    } else {
      int i = at - 1;
      while (i >= 0 && !Matches(part, *stack[i])) --i;
      if (i < 0) return false;
      at = i;
    }
  }
  return true;
}

void TProperties::MergeForms(const TStyleList& styles, const std::u16string& t,
                             const std::vector<std::u16string>& classes, const std::u16string& i,
                             const std::u16string& p, bool descendants) {
  std::vector<std::u16string> cls = classes;
  if (classes.size() > 1) {
    std::vector<std::u16string> sorted = classes;
    std::sort(sorted.begin(), sorted.end());
    std::u16string joined;
    for (const auto& c : sorted) joined += (joined.empty() ? u"" : u".") + c;
    cls.push_back(joined);
  }
  auto apply = [&](const std::u16string& key) {
    if (!descendants) {
      auto [from, to] = styles.Items().equal_range(key);
      for (auto it = from; it != to; ++it) Merge(*it->second);
      return;
    }
    const std::u16string prefix = key + u" ";
    const auto& items = styles.Items();
    for (auto it = items.lower_bound(prefix); it != items.end() && it->first.starts_with(prefix); ++it)
      if (MatchesAncestors(it->first, prefix.size())) Merge(*it->second);
  };
  // form: which parts it uses (t, c, i, p); a form is tried only when they are given.
  struct Form {
    bool t, c, i, p;
  };
  static constexpr Form forms[] = {{0, 0, 0, 1}, {0, 1, 0, 0}, {1, 1, 0, 0}, {1, 0, 0, 1}, {0, 1, 0, 1},
                                   {1, 1, 0, 1}, {0, 0, 1, 0}, {1, 0, 1, 0}, {0, 1, 1, 0}, {0, 0, 1, 1},
                                   {1, 0, 1, 1}, {1, 1, 1, 0}, {0, 1, 1, 1}, {1, 1, 1, 1}};
  if (!descendants && t == u"a" && !p.empty()) apply(u"::" + p);
  if (!t.empty() && p != u"hover" && p != u"visited") apply(t);
  for (const Form& f : forms) {
    if ((f.t && t.empty()) || (f.c && cls.empty()) || (f.i && i.empty()) || (f.p && p.empty())) continue;
    auto key = [&](const std::u16string& c) {
      return (f.t ? t : u"") + (f.c ? u"." + c : u"") + (f.i ? u"#" + i : u"") + (f.p ? u":" + p : u"");
    };
    if (!f.c) {
      apply(key(u""));
    } else {
      for (const auto& c : cls) apply(key(c));
    }
  }
}

void TProperties::Combine(const TStyleList& styles, const std::u16string& tagIn, const std::u16string& cls,
                          const std::u16string& idIn, const std::u16string& pseudoIn, const TProperties* aProp) {
  const std::u16string tag = LowerW(tagIn), id = LowerW(idIn), pseudo = LowerW(pseudoIn);
  const TProperties* parent = nullptr;
  if (PropStack && PropStack->size() >= 2 && PropStack->back().get() == this)
    parent = (*PropStack)[PropStack->size() - 2].get();
  // A link stays a link whatever it inherits.
  const bool link = InLink;
  if (parent) Inherit(tag, *parent);
  InLink = InLink || link;
  PropTag = tag, PropClass = cls, PropID = id, PropPseudo = pseudo;
  const std::vector<std::u16string> classes = SplitClasses(cls);
  const double parentSize =
      parent && std::holds_alternative<double>(parent->Props[FontSize]) ? std::get<double>(parent->Props[FontSize])
                                                                         : DefPointSize;
  auto finish = [&](TProperties& p) {
    if (auto s = std::get_if<std::u16string>(&p.Props[FontSize])) p.Props[FontSize] = FontSizeConv(*s, parentSize, QuirksMode);
  };
  MergeForms(styles, tag, classes, id, pseudo, false);
  MergeForms(styles, tag, classes, id, pseudo, true);
  if (aProp) Merge(*aProp);
  finish(*this);
  if (InLink) BuildLinkInfo(styles, aProp);
}

void TProperties::BuildLinkInfo(const TStyleList& styles, const TProperties* aProp) {
  const std::vector<std::u16string> classes = SplitClasses(PropClass);
  const TProperties* parent = nullptr;
  if (PropStack && PropStack->size() >= 2 && PropStack->back().get() == this)
    parent = (*PropStack)[PropStack->size() - 2].get();
  const double parentSize =
      parent && std::holds_alternative<double>(parent->Props[FontSize]) ? std::get<double>(parent->Props[FontSize])
                                                                         : DefPointSize;
  FontInfo = std::make_unique<TFontInfoArray>();
  GetFontInfo((*FontInfo)[0]);
  // The other link states: visited and hover on top of this one.
  const std::vector<std::vector<const char16_t*>> states = {{u"visited"}, {u"hover"}, {u"visited", u"hover"}};
  for (size_t k = 0; k < states.size(); ++k) {
    TProperties state(PropStack, QuirksMode);
    state.Props = Props;
    state.DefFontname = DefFontname, state.CharSet = CharSet, state.FontBG = FontBG;
    state.PropTag = PropTag, state.PropClass = PropClass, state.PropID = PropID;
    for (const char16_t* p : states[k]) {
      state.PropPseudo = p;
      state.MergeForms(styles, PropTag, classes, PropID, p, false);
      state.MergeForms(styles, PropTag, classes, PropID, p, true);
    }
    if (aProp) state.Merge(*aProp);
    if (auto sz = std::get_if<std::u16string>(&state.Props[FontSize]))
      state.Props[FontSize] = FontSizeConv(*sz, parentSize, QuirksMode);
    state.GetFontInfo((*FontInfo)[k + 1]);
  }
}

void TProperties::GetFontInfo(ThtFontInfo& info) const {
  const std::u16string* family = std::get_if<std::u16string>(&Props[FontFamily]);
  info.iName = FirstExistingFamily(family ? *family : Text(FontFamily), DefFontname);
  const TPropValue& size = Props[FontSize];
  if (auto d = std::get_if<double>(&size))
    info.iSize = *d;
  else if (auto i = std::get_if<int>(&size))
    info.iSize = *i;
  else if (auto s = std::get_if<std::u16string>(&size))
    info.iSize = FontSizeConv(*s, DefPointSize, QuirksMode);
  else
    info.iSize = DefPointSize;
  info.iStyle = 0;
  const std::u16string weight = Text(FontWeight), style = Text(FontStyle), deco = Text(TextDecoration);
  double w;
  std::u16string unit;
  if (weight.find(u"bold") != std::u16string::npos || (SplitNumber(weight, w, unit) && unit.empty() && w >= 600))
    info.iStyle |= fsBold;
  if (style.find(u"italic") != std::u16string::npos || style.find(u"oblique") != std::u16string::npos)
    info.iStyle |= fsItalic;
  if (deco.find(u"underline") != std::u16string::npos) info.iStyle |= fsUnderline;
  if (deco.find(u"line-through") != std::u16string::npos) info.iStyle |= fsStrikeOut;
  info.iColor = static_cast<TColor>(ToInt(Props[Color], clBlack));
  info.iBG = FontBG;
  info.iCharSet = CharSet;
  info.ibgSpacing = Text(LetterSpacing);
}

const TMyFont& TProperties::GetFont() {
  if (!TheFont) {
    ThtFontInfo info;
    GetFontInfo(info);
    TheFont = std::make_unique<TMyFont>(FontCache().GetFontLike(info));
    TheFont->Color = info.iColor;
    TheFont->bgColor = FontBG;
    EmSize = TheFont->EmSize;
    ExSize = EmSize / 2;
    TheFont->ExSize = ExSize;
    TheFont->charExtra = LetterSpacingPixels(info.ibgSpacing, EmSize);
    // Qt adds the spacing after every character wherever this font measures or draws.
    if (TheFont->charExtra != 0) TheFont->Font.setLetterSpacing(QFont::AbsoluteSpacing, TheFont->charExtra);
  }
  return *TheFont;
}

// ---- accessors ----

TBackgroundPosition TProperties::GetBackgroundPos() const {
  TBackgroundPosition pos;
  const std::u16string repeat = Text(BackgroundRepeat);
  if (repeat == u"no-repeat") pos[0].RepeatD = pos[1].RepeatD = false;
  if (repeat == u"repeat-x") pos[1].RepeatD = false;
  if (repeat == u"repeat-y") pos[0].RepeatD = false;
  pos[0].Fixed = pos[1].Fixed = Text(BackgroundAttachment) == u"fixed";
  const std::u16string value = LowerW(TrimW(Text(BackgroundPosition)));
  if (value.empty()) return pos;
  std::u16string words[2];
  const size_t blank = value.find(u' ');
  words[0] = value.substr(0, blank);
  int count = 1;
  if (blank != std::u16string::npos) {
    words[1] = TrimW(value.substr(blank + 1));
    count = words[1].empty() ? 1 : 2;
  }
  TBackgroundAxis* axis[2] = {&pos[0], &pos[1]};
  std::u16string axisWord[2];
  for (int k = 0; k < count; ++k) {
    const std::u16string& w = words[k];
    int a = k;  // the first word horizontal, the second vertical
    int type = 6;
    if (w == u"center") type = 1;
    if (w.find(u'%') != std::u16string::npos) type = 5;
    if (w == u"left" || w == u"right") {
      a = 0, type = w == u"left" ? 3 : 4;
      if (k == 1) {  // the first word was vertical
        axis[1]->PosType = axis[0]->PosType, axis[1]->Value = axis[0]->Value;
        if (axis[1]->PosType == 3 || axis[1]->PosType == 4) axis[1]->PosType = 1;
      }
    }
    if (w == u"top" || w == u"bottom") {
      a = 1, type = w == u"top" ? 0 : 2;
      if (k == 0 && count == 2) {  // the next word is horizontal
        axis[a]->PosType = type;
        const std::u16string& n = words[1];
        int t2 = n == u"center" ? 1 : n == u"left" ? 3 : n == u"right" ? 4 : n.find(u'%') != std::u16string::npos ? 5 : 6;
        axis[0]->PosType = t2;
        if (t2 >= 5) axis[0]->Value = LengthConv(n, false, 100, 0, 0, 0);
        return pos;
      }
    }
    axis[a]->PosType = type;
    if (type >= 5) axis[a]->Value = LengthConv(w, false, 100, 0, 0, 0);
    if (count == 1) axis[1 - a]->PosType = 1, axis[1 - a]->Value = 0;
  }
  return pos;
}

std::u16string TProperties::GetBackgroundImage() const {
  const std::u16string url = ReadURL(Text(BackgroundImage));
  return url.empty() ? u"none" : url;
}

int TProperties::GetVertAlign() const {
  const std::u16string v = Text(VerticalAlign);
  if (v == u"top" || v == u"text-top") return 1;
  if (v == u"middle") return 2;
  if (v == u"bottom") return 4;
  if (v == u"sub") return 8;
  if (v == u"super") return 9;
  return 3;
}

int TProperties::GetFloat() const {
  const std::u16string v = Text(piFloat);
  return v == u"left" ? 5 : v == u"right" ? 6 : 0;
}

int TProperties::GetClear() const {
  const std::u16string v = Text(piClear);
  return v == u"left" ? 1 : v == u"right" ? 2 : v == u"both" ? 3 : 0;
}

int TProperties::GetDisplay() const { return Code(Text(piDisplay), kDisplays, 1, 0); }
int TProperties::GetListStyleType() const { return Code(Text(ListStyleType), kListStyles, 0, 3); }
std::u16string TProperties::GetListStyleImage() const { return ReadURL(Text(ListStyleImage)); }

int TProperties::GetPosition() const {
  const std::u16string v = Text(psPosition);
  return v == u"relative" ? 1 : v == u"absolute" ? 2 : v == u"fixed" ? 3 : 0;
}

int TProperties::GetVisibility() const { return ToInt(Props[Visibility], 2); }

int TProperties::GetZIndex() const {
  if (auto i = std::get_if<int>(&Props[ZIndex])) return CapLength(*i);
  double d;
  std::u16string unit;
  // Held like a length: layout orders by ten times it.
  return SplitNumber(Text(ZIndex), d, unit) && unit.empty() ? CapLength(d) : 0;
}

bool TProperties::HasBorderWidth() const {
  for (int i = BorderTopWidth; i <= BorderLeftWidth; ++i)
    if (!std::holds_alternative<std::monostate>(Props[i]) && ToInt(Props[i], 0) != IntNull) return true;
  return false;
}

int TProperties::GetBorderStyle(int index) const {
  if (auto i = std::get_if<int>(&Props[index])) return *i >= 0 && *i <= 8 ? *i : 0;
  return Code(LowerW(Text(index)), kBorderStyles, 0, 0);
}

bool TProperties::HasBorderStyle() const {
  for (int i = BorderTopStyle; i <= BorderLeftStyle; ++i)
    if (GetBorderStyle(i) > 0) return true;
  return false;
}

bool TProperties::IsCollapse() const { return Text(BorderCollapse) == u"collapse"; }
bool TProperties::IsOverflowHidden() const { return Text(OverFlow) == u"hidden"; }
bool TProperties::ShowEmptyCells() const { return Text(piEmptyCells) != u"hide"; }

int TProperties::GetLineHeight(int newHeight) const {
  const std::u16string v = TrimW(Text(LineHeight));
  double n;
  std::u16string unit;
  if (v.empty() || !SplitNumber(v, n, unit)) return -1;
  if (unit.empty()) return RoundHalfEven(std::clamp(n * newHeight, double{-MaxLength}, double{MaxLength}));
  return LengthConv(v, false, EmSize, -1, EmSize, ExSize);
}

int TProperties::GetTextIndent(bool& isPercent) const {
  const std::u16string v = TrimW(Text(TextIndent));
  double n;
  std::u16string unit;
  isPercent = SplitNumber(v, n, unit) && unit == u"%";
  if (isPercent) return CapLength(n);
  return LengthConv(v, false, EmSize, 0, EmSize, ExSize);
}

int TProperties::GetTextTransform() const { return ToInt(Props[TextTransform], 0); }

std::u16string TProperties::GetFontVariant() const {
  const std::u16string v = Text(FontVariant);
  return v.empty() ? u"normal" : v;
}

void TProperties::GetPageBreaks(bool& before, bool& after, bool& inside) const {
  before = Text(PageBreakBefore) == u"always";
  after = Text(PageBreakAfter) == u"always";
  inside = Text(PageBreakInside) == u"avoid";
}

TColor TProperties::GetBackgroundColor() const {
  return OwnFlags[BackgroundColor] ? static_cast<TColor>(ToInt(Props[BackgroundColor], clNone)) : clNone;
}

TColor TProperties::GetOwnForegroundColor() const {
  return OwnFlags[Color] ? static_cast<TColor>(ToInt(Props[Color], clNone)) : clNone;
}

void TProperties::UpdateFontBG() {
  const TColor bg = GetBackgroundColor();
  if (bg != clNone) FontBG = bg;
}

int TProperties::GetBoxSizing() const {
  if (auto i = std::get_if<int>(&Props[BoxSizing])) return *i == 1 ? 1 : 0;
  return Text(BoxSizing) == u"border-box" ? 1 : 0;
}

TPropValue TVMarArray::operator[](int index) const {
  if (index < First || index > Last) return {};
  const size_t k = static_cast<size_t>(index - First);
  switch (const uint8_t code = codes_[k]) {
    case kNone: return {};
    case kIntNull: return IntNull;
    case kInt: return ints_[Rank(k, kInt)];
    case kOther: return others_[Rank(k, kOther)];
    default: return code - kSmall;
  }
}

size_t TVMarArray::Rank(size_t k, uint8_t code) const {
  return static_cast<size_t>(std::count(codes_.begin(), codes_.begin() + static_cast<std::ptrdiff_t>(k), code));
}

void TVMarArray::Drop(size_t k) {
  if (codes_[k] == kInt) ints_.erase(ints_.begin() + static_cast<std::ptrdiff_t>(Rank(k, kInt)));
  if (codes_[k] == kOther) others_.erase(others_.begin() + static_cast<std::ptrdiff_t>(Rank(k, kOther)));
  codes_[k] = kNone;
}

void TVMarArray::Set(int index, const TPropValue& value) {
  if (index < First || index > Last) return;
  const size_t k = static_cast<size_t>(index - First);
  const int* n = std::get_if<int>(&value);
  if (n && *n != IntNull && (*n < 0 || *n > SmallMax)) {
    if (codes_[k] == kInt) {
      ints_[Rank(k, kInt)] = *n;
      return;
    }
    Drop(k);
    ints_.insert(ints_.begin() + static_cast<std::ptrdiff_t>(Rank(k, kInt)), *n);
    codes_[k] = kInt;
  } else if (n) {
    Drop(k);
    codes_[k] = *n == IntNull ? kIntNull : static_cast<uint8_t>(kSmall + *n);
  } else if (std::holds_alternative<std::monostate>(value)) {
    Drop(k);
  } else {
    if (codes_[k] == kOther) {
      others_[Rank(k, kOther)] = value;
      return;
    }
    Drop(k);
    others_.insert(others_.begin() + static_cast<std::ptrdiff_t>(Rank(k, kOther)), value);
    codes_[k] = kOther;
  }
}

bool TVMarArray::operator==(const TVMarArray& other) const {
  for (int i = First; i <= Last; ++i)
    if ((*this)[i] != other[i]) return false;
  return true;
}

namespace {

std::u16string ValueText(const TPropValue& v) {
  if (auto s = std::get_if<std::u16string>(&v)) return *s;
  return {};
}

int BorderStyleCode(const TPropValue& v) {
  if (auto i = std::get_if<int>(&v)) return *i >= 0 && *i <= 8 ? *i : 0;
  return Code(LowerW(TrimW(ValueText(v))), kBorderStyles, 0, 0);
}

// Layout's numbers of a box from its values. An inline box keeps IntNull for margins and paddings
// not given.
template <typename Values>
void ConvBox(const Values& vm, int baseWidth, int baseHeight, int defaultBorderWidth, int emSize, int exSize,
             bool inlineBox, TMarginArray& m, int& autoCount) {
  autoCount = 0;
  auto conv = [&](int i, int base, int def, int nullValue, bool autoWord) {
    const TPropValue& v = vm[i];
    if (std::holds_alternative<std::monostate>(v)) return nullValue;
    if (!std::holds_alternative<std::u16string>(v)) {
      const int n = ToInt(v, nullValue);
      return n == IntNull ? nullValue : n;
    }
    const std::u16string t = LowerW(TrimW(std::get<std::u16string>(v)));
    if (autoWord && t == u"auto") return Auto;
    return LengthConv(t, false, base, def, emSize, exSize);
  };
  auto color = [&](int i) {
    const TPropValue& v = vm[i];
    if (auto n = std::get_if<int>(&v)) return *n == IntNull ? static_cast<int>(clNone) : *n;
    return static_cast<int>(clNone);
  };
  const int keep = inlineBox ? IntNull : 0;
  m[BackgroundColor] = color(BackgroundColor);
  for (int i = BorderTopColor; i <= BorderLeftColor; ++i) m[i] = color(i);
  for (int i : {MarginRight, MarginLeft}) {
    m[i] = conv(i, baseWidth, 0, keep, true);
    if (m[i] == Auto) ++autoCount;
  }
  if (inlineBox)
    for (int i : {MarginTop, MarginBottom}) m[i] = conv(i, baseWidth, 0, IntNull, false);
  for (int i : {MinWidth, MaxWidth}) m[i] = conv(i, baseWidth, Auto, Auto, false);
  {
    const TPropValue& b = vm[BoxSizing];
    m[BoxSizing] = std::holds_alternative<int>(b) ? (std::get<int>(b) == 1) : ValueText(b) == u"border-box";
  }
  // Paddings and borders are never negative: one would take the content, and the page after it,
  // off the page.
  auto notNegative = [&](int v) { return v == IntNull ? v : std::max(0, v); };
  for (int i = PaddingTop; i <= PaddingLeft; ++i) m[i] = notNegative(conv(i, baseWidth, 0, keep, false));
  for (int i = BorderTopStyle; i <= BorderLeftStyle; ++i) m[i] = BorderStyleCode(vm[i]);
  for (int i = BorderTopWidth; i <= BorderLeftWidth; ++i) {
    const std::u16string t = LowerW(TrimW(ValueText(vm[i])));
    if (m[i - BorderTopWidth + BorderTopStyle] == 0)
      m[i] = 0;
    else if (t == u"thin")
      m[i] = 2;
    else if (t == u"medium")
      m[i] = 4;
    else if (t == u"thick")
      m[i] = 6;
    else
      m[i] = notNegative(conv(i, baseWidth, defaultBorderWidth, defaultBorderWidth, false));
  }
  for (int i : {MinHeight, MaxHeight, piHeight}) {
    m[i] = conv(i, baseHeight, 0, 0, false);
    if (ValueText(vm[i]).find(u'%') != std::u16string::npos)
      m[i] -= m[PaddingTop] + m[PaddingBottom] + m[BorderTopWidth] + m[BorderBottomWidth];
  }
  m[piWidth] = conv(piWidth, baseWidth, Auto, Auto, true);
  if (m[piWidth] == Auto) ++autoCount;
  m[TopPos] = conv(TopPos, baseHeight, Auto, Auto, true);
  m[BottomPos] = conv(BottomPos, baseHeight, Auto, Auto, true);
  m[RightPos] = conv(RightPos, baseWidth, Auto, Auto, true);
  m[LeftPos] = conv(LeftPos, baseWidth, Auto, Auto, true);
}

}  // namespace

void TProperties::ConvMargArray(int baseWidth, int baseHeight, int defaultBorderWidth, int emSize, int exSize,
                                TMarginArray& m, int& autoCount) const {
  ConvBox(Props, baseWidth, baseHeight, defaultBorderWidth, emSize, exSize, false, m, autoCount);
}

void TProperties::CopyBoxProps(TVMarArray& vm, bool borderColorFromColor) const {
  for (int i = BackgroundColor; i <= LeftPos; ++i) vm.Set(i, Props[i]);
  for (int i = BorderTopColor; i <= BorderLeftColor; ++i)
    if (!std::holds_alternative<int>(Props[i]) || std::get<int>(Props[i]) == IntNull)
      vm.Set(i, borderColorFromColor && std::holds_alternative<int>(Props[Color]) ? Props[Color] : TPropValue{IntNull});
  for (int i = BorderTopStyle; i <= BorderLeftStyle; ++i) vm.Set(i, BorderStyleCode(Props[i]));
}

void ConvMargArray(const TVMarArray& vm, int baseWidth, int baseHeight, int defaultBorderWidth, int emSize,
                   int exSize, TMarginArray& m, int& autoCount) {
  ConvBox(vm, baseWidth, baseHeight, defaultBorderWidth, emSize, exSize, false, m, autoCount);
}

void ConvInlineMargArray(const TVMarArray& vm, int baseWidth, int baseHeight, int emSize, int exSize,
                         TMarginArray& m) {
  int autoCount;
  ConvBox(vm, baseWidth, baseHeight, 4, emSize, exSize, true, m, autoCount);
}

void ConvVertMargins(const TVMarArray& vm, int baseWidth, int emSize, int exSize, TMarginArray& m, bool& topAuto,
                     bool& bottomAuto) {
  auto one = [&](int i, bool& isAuto) {
    isAuto = false;
    const TPropValue& v = vm[i];
    if (auto n = std::get_if<int>(&v)) {
      if (*n == AutoParagraph) {
        isAuto = true;
        return 14;
      }
      return *n == IntNull ? 0 : *n;
    }
    return LengthConv(ValueText(v), false, baseWidth, 0, emSize, exSize);
  };
  m[MarginTop] = one(MarginTop, topAuto);
  m[MarginBottom] = one(MarginBottom, bottomAuto);
}

void ConvCellPadding(const TVMarArray& vm, int baseWidth, int emSize, int exSize, std::array<int, 4>& padding) {
  for (int k = 0; k < 4; ++k) {
    const TPropValue& v = vm[PaddingTop + k];
    if (auto n = std::get_if<int>(&v)) {
      padding[k] = *n == IntNull ? -1 : *n;
      continue;
    }
    double number;
    std::u16string unit;
    const std::u16string t = ValueText(v);
    if (!SplitNumber(t, number, unit))
      padding[k] = -1;
    else if (unit == u"%")
      padding[k] = -static_cast<int>(std::clamp(number, 0.0, 1e6));
    else
      padding[k] = LengthConv(t, false, baseWidth, -1, emSize, exSize);
  }
}

void ApplyBoxSizing(TMarginArray& m) {
  for (auto [size, min, max] : {std::array{piWidth, MinWidth, MaxWidth}, std::array{piHeight, MinHeight, MaxHeight}}) {
    if (m[size] == Auto || m[size] == IntNull) continue;
    if (m[max] > 0) m[size] = std::min(m[size], m[max]);
    if (m[min] > 0) m[size] = std::max(m[size], m[min]);
  }
  if (m[BoxSizing] != 1) return;
  if (m[piWidth] != Auto && m[piWidth] != IntNull)
    m[piWidth] = std::max(0, m[piWidth] - m[PaddingLeft] - m[PaddingRight] - m[BorderLeftWidth] - m[BorderRightWidth]);
  if (m[piHeight] != Auto && m[piHeight] != IntNull && m[piHeight] > 0)
    m[piHeight] =
        std::max(0, m[piHeight] - m[PaddingTop] - m[PaddingBottom] - m[BorderTopWidth] - m[BorderBottomWidth]);
}

// ---- TStyleList ----

void TStyleList::Clear() {
  items_.clear();
  SeqNo = 10;
  DefProp = nullptr;
  UseHover = false;
  ownLinkColors_.clear();
}

std::u16string TStyleList::NextSeqString() {
  std::u16string s = NumberText(SeqNo++);
  return std::u16string(s.size() < 8 ? 8 - s.size() : 0, u'0') + s;
}

std::vector<const TProperties*> TStyleList::Find(const std::u16string& key) const {
  std::vector<const TProperties*> out;
  auto [b, e] = items_.equal_range(key);
  for (auto it = b; it != e; ++it) out.push_back(it->second.get());
  return out;
}

const TProperties* TStyleList::First(const std::u16string& key) const {
  auto it = items_.find(key);
  return it == items_.end() ? nullptr : it->second.get();
}

TProperties& TStyleList::AddObject(const std::u16string& key, std::unique_ptr<TProperties> props) {
  props->PropTag = key;
  TProperties& p = *props;
  items_.emplace(key, std::move(props));
  if (key == u"default") DefProp = &p;
  return p;
}

void TStyleList::AddDuplicate(const std::u16string& key, const TProperties& props) {
  auto copy = std::make_unique<TProperties>(QuirksMode);
  copy->Copy(props);
  copy->CharSet = props.CharSet;
  copy->DefFontname = props.DefFontname;
  AddObject(key, std::move(copy));
}

TProperties& TStyleList::Entry(const std::u16string& key) {
  auto it = items_.find(key);
  if (it != items_.end()) return *it->second;
  return AddObject(key, std::make_unique<TProperties>(QuirksMode));
}

void TStyleList::AddModifyProp(const std::u16string& selector, const std::u16string& prop, const std::u16string& value) {
  int index;
  if (!TProperties::IndexOfProp(prop, index)) return;
  if (selector.find(u":hover") != std::u16string::npos) UseHover = true;
  TProperties& p = Entry(selector);
  TColor c;
  int alpha;
  if (index == Color) {
    if (!ColorFromString(value, false, c, alpha)) return;
    p.Props[Color] = static_cast<int>(c);
    auto give = [&](const std::u16string& key) {
      if (!ownLinkColors_.contains(key)) Entry(key).Props[Color] = static_cast<int>(c);
    };
    const bool link = selector.ends_with(u":link"), visited = selector.ends_with(u":visited");
    if (link) give(u"::hover"), give(u"::visited");
    if (visited) give(u"::hover"), ownLinkColors_.insert(u"::visited");
    if (selector.ends_with(u":hover")) ownLinkColors_.insert(u"::hover");
  } else if (index == BackgroundColor) {
    p.Props[index] = static_cast<int>(ColorFromString(value, false, c, alpha) ? c : clNone);
  } else {
    p.SetPropByIndex(index, value);
  }
  if (selector == u"a") Entry(u"::link").Props[index] = p.Props[index];
  if (QuirksMode && selector == u"body" && index == Color) {
    const TProperties& body = p;
    for (const char16_t* key : {u"table", u"td", u"th"}) {
      TProperties& t = Entry(key);
      t.Props[Color] = body.Props[Color];
      for (int i = BorderTopColor; i <= BorderLeftColor; ++i) t.Props[i] = body.Props[i];
      if (std::u16string(key) == u"table")
        for (int i : {FontSize, FontStyle, FontWeight, FontVariant}) t.Props[i] = body.Props[i];
    }
  }
}

void TStyleList::Initialize(const std::u16string& fontName, const std::u16string& preFontName, int pointSize,
                            TColor color, TColor hotspot, TColor visited, TColor activeColor, bool linkUnderline,
                            int charSet, int marginHeight, int marginWidth) {
  Clear();
  DefPointSize = pointSize;
  auto rule = [&](const std::u16string& key) -> TProperties& {
    return AddObject(key, std::make_unique<TProperties>(QuirksMode));
  };
  auto set = [](TProperties& p, int i, TPropValue v) { p.Props[i] = std::move(v); };
  const std::u16string none = u"none", normal = u"normal";
  TProperties& def = rule(u"default");
  set(def, FontFamily, fontName);
  set(def, FontSize, static_cast<double>(pointSize));
  set(def, FontStyle, none);
  set(def, FontWeight, normal);
  set(def, TextAlign, std::u16string(u"left"));
  set(def, TextDecoration, none);
  set(def, TextTransform, 0);
  set(def, WordWrap, normal);
  set(def, FontVariant, normal);
  set(def, Color, static_cast<int>(color));
  set(def, MarginTop, marginHeight);
  set(def, MarginBottom, marginHeight);
  set(def, MarginLeft, marginWidth);
  set(def, MarginRight, marginWidth);
  set(def, Visibility, 2);
  set(def, LetterSpacing, 0);
  set(def, BoxSizing, 0);
  def.CharSet = static_cast<uint8_t>(charSet);
  def.DefFontname = fontName;
  if (QuirksMode) {
    TProperties& t = rule(u"table");
    set(t, FontSize, static_cast<double>(pointSize));
    set(t, FontStyle, none);
    set(t, FontWeight, normal);
    set(t, Color, static_cast<int>(color));
    AddDuplicate(u"td", t);
    TProperties& th = rule(u"th");
    th.Copy(t);
    set(th, FontWeight, std::u16string(u"bold"));
  }
  set(rule(u"::link"), Color, static_cast<int>(hotspot | PaletteRelativeFlag));
  set(*const_cast<TProperties*>(First(u"::link")), TextDecoration, linkUnderline ? std::u16string(u"underline") : none);
  set(rule(u"::visited"), Color, static_cast<int>(visited));
  set(rule(u"::hover"), Color, static_cast<int>(activeColor));
  rule(u"null");
  TProperties& pre = rule(u"pre");
  set(pre, FontFamily, preFontName);
  set(pre, FontSize, pointSize * 10.0 / 12.0);
  set(pre, FontStyle, none);
  set(pre, TextDecoration, none);
  set(pre, FontWeight, normal);
  TProperties& p = rule(u"p");
  set(p, MarginTop, AutoParagraph);
  set(p, MarginBottom, AutoParagraph);
  set(rule(u"p " + NextSeqString() + u"pre"), MarginTop, 0);
  for (const char16_t* key : {u"ul", u"ol", u"menu", u"dir"}) {
    TProperties& l = rule(key);
    set(l, ListStyleType, std::u16string(u"blank"));
    set(l, MarginTop, AutoParagraph);
    set(l, MarginBottom, AutoParagraph);
    set(l, PaddingLeft, IntNull);
  }
  TProperties& dl = rule(u"dl");
  set(dl, ListStyleType, none);
  for (int i : {MarginLeft, MarginTop, MarginBottom, PaddingLeft}) set(dl, i, 0);
  TProperties& dd = rule(u"dd");
  set(dd, MarginTop, 0);
  set(dd, MarginBottom, 0);
  set(dd, PaddingLeft, 40);
  TProperties& bq = rule(u"blockquote");
  set(bq, MarginTop, AutoParagraph);
  set(bq, MarginBottom, 14);
  set(bq, PaddingLeft, 40);
  TProperties& code = rule(u"code");
  set(code, FontFamily, preFontName);
  set(code, FontSize, std::u16string(u"0.83em"));
  for (const char16_t* key : {u"tt", u"kbd", u"samp"}) AddDuplicate(key, code);
  TProperties& b = rule(u"b");
  set(b, FontWeight, std::u16string(u"bold"));
  AddDuplicate(u"strong", b);
  if (!QuirksMode) {
    AddDuplicate(u"th", b);
    set(rule(u"table"), TextAlign, none);
  }
  struct SizeRule {
    const char16_t* key;
    const char16_t* size;
    const char16_t* align;
  };
  for (const SizeRule& r : {SizeRule{u"sup", u"0.83em", u"super"}, SizeRule{u"sub", u"0.83em", u"sub"},
                            SizeRule{u"big", u"1.17em", nullptr}, SizeRule{u"small", u"0.83em", nullptr}}) {
    TProperties& s = rule(r.key);
    set(s, FontSize, std::u16string(r.size));
    if (r.align) set(s, VerticalAlign, std::u16string(r.align));
  }
  TProperties& i = rule(u"i");
  set(i, FontStyle, std::u16string(u"italic"));
  for (const char16_t* key : {u"em", u"cite", u"var", u"address"}) AddDuplicate(key, i);
  set(rule(u"u"), TextDecoration, std::u16string(u"underline"));
  TProperties& s = rule(u"s");
  set(s, TextDecoration, std::u16string(u"line-through"));
  AddDuplicate(u"strike", s);
  TProperties& center = rule(u"center");
  set(center, TextAlign, std::u16string(u"center"));
  AddDuplicate(u"caption", center);
  TProperties& input = rule(u"input");
  set(input, FontFamily, std::u16string(u"Arial Unicode MS, Arial"));
  set(input, FontSize, std::u16string(u"10pt"));
  set(input, FontStyle, none);
  set(input, FontWeight, normal);
  set(input, TextAlign, std::u16string(u"left"));
  set(input, TextDecoration, none);
  set(input, Color, static_cast<int>(color));
  AddDuplicate(u"select", input);
  AddDuplicate(u"textarea", input);
  TProperties& hr = rule(u"hr");
  set(hr, MarginLeft, 0);
  set(hr, MarginRight, 0);
  set(hr, MarginTop, 10);
  set(hr, MarginBottom, 10);
  const int sizes[6] = {24, 18, 14, 12, 10, 8};
  for (int k = 0; k < 6; ++k) {
    TProperties& h = rule(u"h" + std::u16string(1, static_cast<char16_t>(u'1' + k)));
    set(h, FontSize, pointSize / 12.0 * sizes[k]);
    set(h, MarginTop, 19);
    set(h, MarginBottom, 19);
    set(h, FontWeight, std::u16string(u"bold"));
  }
  TProperties& mark = rule(u"mark");
  set(mark, FontStyle, none);
  set(mark, BackgroundColor, static_cast<int>(RGB(255, 255, 0)));
  set(mark, Color, 0);
}

}  // namespace htmlview
