#include "htmlview/parse/ReadHTML.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "platform/core/CodePages.h"

namespace htmlview {
namespace {

// ---- the tables, in the order they were defined; sorted below ----

constexpr TResWord kResWords[] = {
    {u"HTML", HtmlSy, HtmlEndSy},
    {u"TITLE", TitleSy, TitleEndSy},
    {u"BODY", BodySy, BodyEndSy},
    {u"HEAD", HeadSy, HeadEndSy},
    {u"B", BSy, BEndSy},
    {u"I", ISy, IEndSy},
    {u"H", HSy, HEndSy},
    {u"EM", EmSy, EmEndSy},
    {u"STRONG", StrongSy, StrongEndSy},
    {u"U", USy, UEndSy},
    {u"CITE", CiteSy, CiteEndSy},
    {u"VAR", VarSy, VarEndSy},
    {u"TT", TtSy, TtEndSy},
    {u"CODE", CodeSy, CodeEndSy},
    {u"KBD", KbdSy, KbdEndSy},
    {u"SAMP", SampSy, SampEndSy},
    {u"OL", OlSy, OlEndSy},
    {u"UL", UlSy, UlEndSy},
    {u"DIR", DirSy, DirEndSy},
    {u"MENU", MenuSy, MenuEndSy},
    {u"DL", DlSy, DlEndSy},
    {u"A", ASy, AEndSy},
    {u"ADDRESS", AddressSy, AddressEndSy},
    {u"BLOCKQUOTE", BlockquoteSy, BlockquoteEndSy},
    {u"PRE", PreSy, PreEndSy},
    {u"CENTER", CenterSy, CenterEndSy},
    {u"TABLE", TableSy, TableEndSy},
    {u"TD", TdSy, TdEndSy},
    {u"TH", ThSy, ThEndSy},
    {u"CAPTION", CaptionSy, CaptionEndSy},
    {u"FORM", FormSy, FormEndSy},
    {u"TEXTAREA", TextareaSy, TextareaEndSy},
    {u"SELECT", SelectSy, SelectEndSy},
    {u"OPTION", OptionSy, OptionEndSy},
    {u"FONT", FontSy, FontEndSy},
    {u"SUB", SubSy, SubEndSy},
    {u"SUP", SupSy, SupEndSy},
    {u"BIG", BigSy, BigEndSy},
    {u"SMALL", SmallSy, SmallEndSy},
    {u"P", PSy, PEndSy},
    {u"MAP", MapSy, MapEndSy},
    {u"FRAMESET", FramesetSy, FramesetEndSy},
    {u"NOFRAMES", NoframesSy, NoframesEndSy},
    {u"SCRIPT", ScriptSy, ScriptEndSy},
    {u"DIV", DivSy, DivEndSy},
    {u"S", SSy, SEndSy},
    {u"STRIKE", StrikeSy, StrikeEndSy},
    {u"TR", TrSy, TrEndSy},
    {u"NOBR", NobrSy, NobrEndSy},
    {u"STYLE", StyleSy, StyleEndSy},
    {u"SPAN", SpanSy, SpanEndSy},
    {u"COLGROUP", ColgroupSy, ColgroupEndSy},
    {u"LABEL", LabelSy, LabelEndSy},
    {u"THEAD", TheadSy, TheadEndSy},
    {u"TBODY", TbodySy, TbodyEndSy},
    {u"TFOOT", TfootSy, TfootEndSy},
    {u"OBJECT", ObjectSy, ObjectEndSy},
    {u"DD", DdSy, DdEndSy},
    {u"DT", DtSy, DtEndSy},
    {u"LI", LiSy, LiEndSy},
    {u"FIELDSET", FieldsetSy, FieldsetEndSy},
    {u"LEGEND", LegendSy, LegendEndSy},
    {u"BR", BrSy, UnknownTagSymbol},
    {u"HR", HrSy, UnknownTagSymbol},
    {u"IMG", ImgSy, UnknownTagSymbol},
    {u"BASE", BaseSy, UnknownTagSymbol},
    {u"BUTTON", ButtonSy, UnknownTagSymbol},
    {u"INPUT", InputSy, UnknownTagSymbol},
    {u"SELECTED", SelectedSy, UnknownTagSymbol},
    {u"BASEFONT", BasefontSy, UnknownTagSymbol},
    {u"AREA", AreaSy, UnknownTagSymbol},
    {u"FRAME", FrameSy, UnknownTagSymbol},
    {u"PAGE", PageSy, UnknownTagSymbol},
    {u"BGSOUND", BgsoundSy, UnknownTagSymbol},
    {u"WRAP", WrapSy, UnknownTagSymbol},
    {u"META", MetaSy, UnknownTagSymbol},
    {u"PANEL", PanelSy, UnknownTagSymbol},
    {u"WBR", WbrSy, UnknownTagSymbol},
    {u"LINK", LinkSy, UnknownTagSymbol},
    {u"COL", ColSy, UnknownTagSymbol},
    {u"PARAM", ParamSy, UnknownTagSymbol},
    {u"READONLY", ReadonlySy, UnknownTagSymbol},
    {u"HEADER", HeaderSy, HeaderEndSy},
    {u"SECTION", SectionSy, SectionEndSy},
    {u"NAV", NavSy, NavEndSy},
    {u"ARTICLE", ArticleSy, ArticleEndSy},
    {u"ASIDE", AsideSy, AsideEndSy},
    {u"FOOTER", FooterSy, FooterEndSy},
    {u"HGROUP", HgroupSy, HgroupEndSy},
    {u"MARK", MarkSy, MarkEndSy},
};

// VALUE stands twice with one symbol; words that are also element words share the start symbol.
constexpr TSymbolRec kAttribWords[] = {
    {u"HREF", HrefSy},
    {u"NAME", NameSy},
    {u"SRC", SrcSy},
    {u"ALT", AltSy},
    {u"ALIGN", AlignSy},
    {u"TEXT", TextSy},
    {u"BGCOLOR", BgcolorSy},
    {u"LINK", LinkSy},
    {u"BACKGROUND", BackgroundSy},
    {u"COLSPAN", ColspanSy},
    {u"ROWSPAN", RowspanSy},
    {u"BORDER", BorderSy},
    {u"CELLPADDING", CellpaddingSy},
    {u"CELLSPACING", CellspacingSy},
    {u"VALIGN", ValignSy},
    {u"WIDTH", WidthSy},
    {u"START", StartSy},
    {u"VALUE", ValueSy},
    {u"TYPE", TypeSy},
    {u"CHECKBOX", CheckboxSy},
    {u"RADIO", RadioSy},
    {u"METHOD", MethodSy},
    {u"ACTION", ActionSy},
    {u"CHECKED", CheckedSy},
    {u"SIZE", SizeSy},
    {u"MAXLENGTH", MaxlengthSy},
    {u"COLS", ColsSy},
    {u"ROWS", RowsSy},
    {u"MULTIPLE", MultipleSy},
    {u"VALUE", ValueSy},
    {u"SELECTED", SelectedSy},
    {u"FACE", FaceSy},
    {u"COLOR", ColorSy},
    {u"TRANSP", TranspSy},
    {u"CLEAR", ClearSy},
    {u"ISMAP", IsmapSy},
    {u"BORDERCOLOR", BordercolorSy},
    {u"USEMAP", UsemapSy},
    {u"SHAPE", ShapeSy},
    {u"COORDS", CoordsSy},
    {u"NOHREF", NohrefSy},
    {u"HEIGHT", HeightSy},
    {u"PLAIN", PlainSy},
    {u"TARGET", TargetSy},
    {u"NORESIZE", NoresizeSy},
    {u"SCROLLING", ScrollingSy},
    {u"HSPACE", HspaceSy},
    {u"LANGUAGE", LanguageSy},
    {u"FRAMEBORDER", FrameborderSy},
    {u"MARGINWIDTH", MarginwidthSy},
    {u"MARGINHEIGHT", MarginheightSy},
    {u"LOOP", LoopSy},
    {u"ONCLICK", OnclickSy},
    {u"WRAP", WrapSy},
    {u"NOSHADE", NoshadeSy},
    {u"HTTP-EQUIV", HttpequivSy},
    {u"CONTENT", ContentSy},
    {u"ENCTYPE", EnctypeSy},
    {u"VLINK", VlinkSy},
    {u"OLINK", OlinkSy},
    {u"ACTIVE", ActiveSy},
    {u"VSPACE", VspaceSy},
    {u"CLASS", ClassSy},
    {u"ID", IdSy},
    {u"STYLE", StyleSy},
    {u"REL", RelSy},
    {u"REV", RevSy},
    {u"NOWRAP", NowrapSy},
    {u"BORDERCOLORLIGHT", BordercolorlightSy},
    {u"BORDERCOLORDARK", BordercolordarkSy},
    {u"CHARSET", CharsetSy},
    {u"RATIO", RatioSy},
    {u"TITLE", TitleSy},
    {u"ONFOCUS", OnfocusSy},
    {u"ONBLUR", OnblurSy},
    {u"ONCHANGE", OnchangeSy},
    {u"SPAN", SpanSy},
    {u"TABINDEX", TabindexSy},
    {u"BGPROPERTIES", BgpropertiesSy},
    {u"DISABLED", DisabledSy},
    {u"TOPMARGIN", TopmarginSy},
    {u"LEFTMARGIN", LeftmarginSy},
    {u"LABEL", LabelSy},
    {u"READONLY", ReadonlySy},
    {u"MEDIA", MediaSy},
};

// The character entity references of HTML 4.01, and apos as the typographic apostrophe.
constexpr TEntity kEntities[] = {
    {u"nbsp", 0x00A0}, {u"iexcl", 0x00A1}, {u"cent", 0x00A2}, {u"pound", 0x00A3}, {u"curren", 0x00A4}, {u"yen", 0x00A5},
    {u"brvbar", 0x00A6}, {u"sect", 0x00A7}, {u"uml", 0x00A8}, {u"copy", 0x00A9}, {u"ordf", 0x00AA}, {u"laquo", 0x00AB},
    {u"not", 0x00AC}, {u"shy", 0x00AD}, {u"reg", 0x00AE}, {u"macr", 0x00AF}, {u"deg", 0x00B0}, {u"plusmn", 0x00B1},
    {u"sup2", 0x00B2}, {u"sup3", 0x00B3}, {u"acute", 0x00B4}, {u"micro", 0x00B5}, {u"para", 0x00B6}, {u"middot", 0x00B7},
    {u"cedil", 0x00B8}, {u"sup1", 0x00B9}, {u"ordm", 0x00BA}, {u"raquo", 0x00BB}, {u"frac14", 0x00BC}, {u"frac12", 0x00BD},
    {u"frac34", 0x00BE}, {u"iquest", 0x00BF}, {u"Agrave", 0x00C0}, {u"Aacute", 0x00C1}, {u"Acirc", 0x00C2}, {u"Atilde", 0x00C3},
    {u"Auml", 0x00C4}, {u"Aring", 0x00C5}, {u"AElig", 0x00C6}, {u"Ccedil", 0x00C7}, {u"Egrave", 0x00C8}, {u"Eacute", 0x00C9},
    {u"Ecirc", 0x00CA}, {u"Euml", 0x00CB}, {u"Igrave", 0x00CC}, {u"Iacute", 0x00CD}, {u"Icirc", 0x00CE}, {u"Iuml", 0x00CF},
    {u"ETH", 0x00D0}, {u"Ntilde", 0x00D1}, {u"Ograve", 0x00D2}, {u"Oacute", 0x00D3}, {u"Ocirc", 0x00D4}, {u"Otilde", 0x00D5},
    {u"Ouml", 0x00D6}, {u"times", 0x00D7}, {u"Oslash", 0x00D8}, {u"Ugrave", 0x00D9}, {u"Uacute", 0x00DA}, {u"Ucirc", 0x00DB},
    {u"Uuml", 0x00DC}, {u"Yacute", 0x00DD}, {u"THORN", 0x00DE}, {u"szlig", 0x00DF}, {u"agrave", 0x00E0}, {u"aacute", 0x00E1},
    {u"acirc", 0x00E2}, {u"atilde", 0x00E3}, {u"auml", 0x00E4}, {u"aring", 0x00E5}, {u"aelig", 0x00E6}, {u"ccedil", 0x00E7},
    {u"egrave", 0x00E8}, {u"eacute", 0x00E9}, {u"ecirc", 0x00EA}, {u"euml", 0x00EB}, {u"igrave", 0x00EC}, {u"iacute", 0x00ED},
    {u"icirc", 0x00EE}, {u"iuml", 0x00EF}, {u"eth", 0x00F0}, {u"ntilde", 0x00F1}, {u"ograve", 0x00F2}, {u"oacute", 0x00F3},
    {u"ocirc", 0x00F4}, {u"otilde", 0x00F5}, {u"ouml", 0x00F6}, {u"divide", 0x00F7}, {u"oslash", 0x00F8}, {u"ugrave", 0x00F9},
    {u"uacute", 0x00FA}, {u"ucirc", 0x00FB}, {u"uuml", 0x00FC}, {u"yacute", 0x00FD}, {u"thorn", 0x00FE}, {u"yuml", 0x00FF},
    {u"Alpha", 0x0391}, {u"Beta", 0x0392}, {u"Gamma", 0x0393}, {u"Delta", 0x0394}, {u"Epsilon", 0x0395}, {u"Zeta", 0x0396},
    {u"Eta", 0x0397}, {u"Theta", 0x0398}, {u"Iota", 0x0399}, {u"Kappa", 0x039A}, {u"Lambda", 0x039B}, {u"Mu", 0x039C},
    {u"Nu", 0x039D}, {u"Xi", 0x039E}, {u"Omicron", 0x039F}, {u"Pi", 0x03A0}, {u"Rho", 0x03A1}, {u"Sigma", 0x03A3},
    {u"Tau", 0x03A4}, {u"Upsilon", 0x03A5}, {u"Phi", 0x03A6}, {u"Chi", 0x03A7}, {u"Psi", 0x03A8}, {u"Omega", 0x03A9},
    {u"alpha", 0x03B1}, {u"beta", 0x03B2}, {u"gamma", 0x03B3}, {u"delta", 0x03B4}, {u"epsilon", 0x03B5}, {u"zeta", 0x03B6},
    {u"eta", 0x03B7}, {u"theta", 0x03B8}, {u"iota", 0x03B9}, {u"kappa", 0x03BA}, {u"lambda", 0x03BB}, {u"mu", 0x03BC},
    {u"nu", 0x03BD}, {u"xi", 0x03BE}, {u"omicron", 0x03BF}, {u"pi", 0x03C0}, {u"rho", 0x03C1}, {u"sigmaf", 0x03C2},
    {u"sigma", 0x03C3}, {u"tau", 0x03C4}, {u"upsilon", 0x03C5}, {u"phi", 0x03C6}, {u"chi", 0x03C7}, {u"psi", 0x03C8},
    {u"omega", 0x03C9}, {u"fnof", 0x0192}, {u"thetasym", 0x03D1}, {u"upsih", 0x03D2}, {u"piv", 0x03D6}, {u"bull", 0x2022},
    {u"hellip", 0x2026}, {u"prime", 0x2032}, {u"Prime", 0x2033}, {u"oline", 0x203E}, {u"frasl", 0x2044}, {u"weierp", 0x2118},
    {u"image", 0x2111}, {u"real", 0x211C}, {u"trade", 0x2122}, {u"alefsym", 0x2135}, {u"larr", 0x2190}, {u"uarr", 0x2191},
    {u"rarr", 0x2192}, {u"darr", 0x2193}, {u"harr", 0x2194}, {u"crarr", 0x21B5}, {u"lArr", 0x21D0}, {u"uArr", 0x21D1},
    {u"rArr", 0x21D2}, {u"dArr", 0x21D3}, {u"hArr", 0x21D4}, {u"forall", 0x2200}, {u"part", 0x2202}, {u"exist", 0x2203},
    {u"empty", 0x2205}, {u"nabla", 0x2207}, {u"isin", 0x2208}, {u"notin", 0x2209}, {u"ni", 0x220B}, {u"prod", 0x220F},
    {u"sum", 0x2211}, {u"minus", 0x2212}, {u"lowast", 0x2217}, {u"radic", 0x221A}, {u"prop", 0x221D}, {u"infin", 0x221E},
    {u"ang", 0x2220}, {u"and", 0x2227}, {u"or", 0x2228}, {u"cap", 0x2229}, {u"cup", 0x222A}, {u"int", 0x222B},
    {u"there4", 0x2234}, {u"sim", 0x223C}, {u"cong", 0x2245}, {u"asymp", 0x2248}, {u"ne", 0x2260}, {u"equiv", 0x2261},
    {u"le", 0x2264}, {u"ge", 0x2265}, {u"sub", 0x2282}, {u"sup", 0x2283}, {u"nsub", 0x2284}, {u"sube", 0x2286},
    {u"supe", 0x2287}, {u"oplus", 0x2295}, {u"otimes", 0x2297}, {u"perp", 0x22A5}, {u"sdot", 0x22C5}, {u"lceil", 0x2308},
    {u"rceil", 0x2309}, {u"lfloor", 0x230A}, {u"rfloor", 0x230B}, {u"lang", 0x2329}, {u"rang", 0x232A}, {u"loz", 0x25CA},
    {u"spades", 0x2660}, {u"clubs", 0x2663}, {u"hearts", 0x2665}, {u"diams", 0x2666}, {u"quot", 0x0022}, {u"amp", 0x0026},
    {u"lt", 0x003C}, {u"gt", 0x003E}, {u"OElig", 0x0152}, {u"oelig", 0x0153}, {u"Scaron", 0x0160}, {u"scaron", 0x0161},
    {u"Yuml", 0x0178}, {u"circ", 0x02C6}, {u"tilde", 0x02DC}, {u"ensp", 0x2002}, {u"emsp", 0x2003}, {u"thinsp", 0x2009},
    {u"zwnj", 0x200C}, {u"zwj", 0x200D}, {u"lrm", 0x200E}, {u"rlm", 0x200F}, {u"ndash", 0x2013}, {u"mdash", 0x2014},
    {u"lsquo", 0x2018}, {u"rsquo", 0x2019}, {u"sbquo", 0x201A}, {u"ldquo", 0x201C}, {u"rdquo", 0x201D}, {u"bdquo", 0x201E},
    {u"dagger", 0x2020}, {u"Dagger", 0x2021}, {u"permil", 0x2030}, {u"lsaquo", 0x2039}, {u"rsaquo", 0x203A}, {u"euro", 0x20AC},
    {u"apos", 0x2019},
};

static_assert(std::size(kResWords) == 90);
static_assert(std::size(kAttribWords) == 85);
static_assert(std::size(kEntities) == 253);

template <class T, size_t N>
consteval std::array<T, N> SortedByName(const T (&rows)[N]) {
  std::array<T, N> a{};
  for (size_t i = 0; i < N; ++i) a[i] = rows[i];
  std::sort(a.begin(), a.end(), [](const T& x, const T& y) { return x.Name < y.Name; });
  return a;
}

constexpr auto kResWordList = SortedByName(kResWords);
constexpr auto kAttribWordList = SortedByName(kAttribWords);
constexpr auto kEntityList = SortedByName(kEntities);

template <class T, size_t N>
const T* FindIn(const std::array<T, N>& list, std::u16string_view name) {
  auto it = std::lower_bound(list.begin(), list.end(), name, [](const T& r, std::u16string_view n) { return r.Name < n; });
  return it != list.end() && it->Name == name ? &*it : nullptr;
}

consteval std::array<int32_t, SymbolCount> MakeWordIndex() {
  std::array<int32_t, SymbolCount> index{};
  for (auto& i : index) i = -1;
  for (size_t i = 0; i < kResWordList.size(); ++i) {
    index[kResWordList[i].Symbol] = static_cast<int32_t>(i);
    if (kResWordList[i].EndSym != UnknownTagSymbol) index[kResWordList[i].EndSym] = static_cast<int32_t>(i);
  }
  return index;
}

// The lower-case words, one after the other, and where each symbol's word starts and ends.
struct TNamePool {
  std::array<char16_t, 2048> Chars{};
  std::array<uint16_t, SymbolCount> From{}, To{};
};

consteval TNamePool MakeNamePool() {
  TNamePool pool;
  size_t used = 0;
  auto put = [&](Symb sym, std::u16string_view word) {
    pool.From[sym] = static_cast<uint16_t>(used);
    for (char16_t c : word) pool.Chars[used++] = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
    pool.To[sym] = static_cast<uint16_t>(used);
  };
  // Element words last, so theirs is kept where an attribute shares the symbol.
  for (const TSymbolRec& r : kAttribWords) put(r.Symbol, r.Name);
  for (const TResWord& r : kResWords) {
    put(r.Symbol, r.Name);
    if (r.EndSym != UnknownTagSymbol) put(r.EndSym, r.Name);
  }
  return pool;
}

constexpr TNamePool kNamePool = MakeNamePool();

consteval std::array<std::u16string_view, SymbolCount> MakeSymbolNames() {
  std::array<std::u16string_view, SymbolCount> names{};
  for (size_t s = 0; s < SymbolCount; ++s)
    names[s] = std::u16string_view(kNamePool.Chars.data() + kNamePool.From[s], kNamePool.To[s] - kNamePool.From[s]);
  return names;
}

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r'; }
char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}


}  // namespace

constexpr std::array<int32_t, SymbolCount> SymbolWordIndex = MakeWordIndex();
constexpr std::array<std::u16string_view, SymbolCount> SymbolNames = MakeSymbolNames();

std::span<const TResWord> ResWordList() { return kResWordList; }
std::span<const TSymbolRec> AttribWordList() { return kAttribWordList; }
std::span<const TEntity> EntityList() { return kEntityList; }
const TResWord* FindResWord(std::u16string_view upperName) { return FindIn(kResWordList, upperName); }
const TSymbolRec* FindAttribWord(std::u16string_view upperName) { return FindIn(kAttribWordList, upperName); }
const TEntity* FindEntity(std::u16string_view name) { return FindIn(kEntityList, name); }

// ---- attribute numbers ----

double AttributeNumber(const std::u16string& text, double fallback) {
  size_t from = 0, to = text.size();
  while (from < to && text[from] < 33) ++from;
  while (to > from && text[to - 1] < 33) --to;
  std::u16string_view v(text.data() + from, to - from);
  if (!v.empty() && v.back() == u'%') v.remove_suffix(1);
  if (!v.empty() && v.back() == u'*') {
    v.remove_suffix(1);
    if (v.empty()) return 1;
  }
  if (v.empty()) return fallback;
  if (v[0] != u'+' && v[0] != u'-' && v[0] != u'.' && !IsDigit(v[0])) return fallback;
  // Read without the locale: under a comma-decimal locale strtod would stop at the ".".
  std::string ascii;
  ascii.reserve(v.size());
  for (char16_t c : v) {
    if (c > 0x7F) return fallback;
    ascii.push_back(static_cast<char>(c));
  }
  size_t start = 0;
  if (ascii[0] == '+') {
    start = 1;
    if (ascii.size() < 2 || ascii[1] == '-' || ascii[1] == '+') return fallback;
  }
  double d = 0;
  const char* first = ascii.data() + start;
  const char* last = ascii.data() + ascii.size();
  auto [ptr, ec] = std::from_chars(first, last, d, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(d)) return fallback;
  d = std::clamp(d, static_cast<double>(std::numeric_limits<int32_t>::min()),
                 static_cast<double>(std::numeric_limits<int32_t>::max()));
  return std::round(d);
}

// ---- the parser ----

THtmlParser::THtmlParser(TBuffer& buffer, THtmlParserHost* host) : Doc(&buffer), host_(host) {
  if (!host_) {
    ownHost_ = std::make_unique<TParserHost>();
    host_ = ownHost_.get();
  }
  sourcePos_ = host_->SourcePosField();
  hasDocument_ = host_->HasDocument();
}

THtmlParser::~THtmlParser() = default;

inline char16_t THtmlParser::ReadSourceChar() {
  // Inside an included text the position stays at the include command.
  if (DocStack.empty()) SetSourcePos(Doc->Position());
  char16_t c = Doc->NextChar();
  while (c == 0 && !DocStack.empty()) {
    included_.pop_back();
    Doc = DocStack.back();
    DocStack.pop_back();
    // The first character after an included text has a place in the page again.
    if (DocStack.empty()) SetSourcePos(Doc->Position());
    c = Doc->NextChar();
  }
  CountChar(c);
  return c;
}

inline void THtmlParser::CountChar(char16_t c) {
  if (PreScan || !hasDocument_) return;
  ++CharsRead;
  if ((c == 0 || CharsRead % 4096 == 0) && Doc->Size() > 0)
    host_->Progress(static_cast<int>(static_cast<int64_t>(Doc->Position()) * host_->ParseShare() / Doc->Size()));
}

inline char16_t THtmlParser::GetCh() {
  char16_t c = ReadSourceChar();
  if ((c == u'\n' && LineEndState == 1) || (c == u'\r' && LineEndState == 2)) c = ReadSourceChar();
  switch (c) {
    case u'\t':
      c = u' ';
      break;
    case u'\n':
      c = u'\r';
      LineEndState = 2;
      break;
    case u'\r':
      LineEndState = 1;
      break;
    default:
      LineEndState = 0;
  }
  if (c == 0 && InComment) throw EHtmlParseError("Open Comment at End of HTML File");
  return c;
}

// Ch is the first character after "<!--".
void THtmlParser::SkipComment() {
  for (;;) {
    while (Ch != u'-') Ch = GetCh();
    Ch = GetCh();
    if (Ch != u'-') continue;
    while (Ch == u'-') Ch = GetCh();
    while (Ch == u' ' || Ch == u'\r') Ch = GetCh();
    if (Ch == u'!') Ch = GetCh();
    if (Ch == u'>') return;
  }
}

inline bool THtmlParser::NextAsciiCh() {
  if (!DocStack.empty()) return false;
  const char16_t c = Doc->PeekAscii();
  if (c == 0 || c == u'\t' || c == u'\n' || c == u'\r' || c == u'<') return false;
  SetSourcePos(Doc->Position());
  Doc->SkipAscii();
  CountChar(c);
  LineEndState = 0;
  Ch = c;
  return true;
}

void THtmlParser::NextCh() {
  // Whoever reads on by characters reads the content of the last tag.
  rawPending_ = NoSymbol;
  if (NextAsciiCh()) return;
  for (;;) {
    Ch = GetCh();
    if (Ch != u'<' || NoMarkup) return;
    const char16_t peek = Doc->PeekChar();
    if (peek == u'!') {
      GetCh();
      InComment = true;
      Ch = GetCh();
      if (Ch == u'-') {
        Ch = GetCh();
        if (Ch == u'-') {
          Ch = GetCh();
          if (OnInclude && Ch == u'#')
            DoInclude();
          else
            SkipComment();
        } else {
          while (Ch != u'>') Ch = GetCh();
        }
      } else {
        while (Ch != u'>') Ch = GetCh();
      }
      InComment = false;
    } else if (peek == u'%') {
      GetCh();
      for (;;) {
        Ch = GetCh();
        if (Ch == 0) break;
        if (Ch == u'%' && Doc->PeekChar() == u'>') {
          GetCh();
          break;
        }
      }
    } else {
      return;
    }
  }
}

void THtmlParser::SkipWhiteSpace() {
  while (Ch == u'\t' || Ch == u'\n' || Ch == u'\f' || Ch == u'\r' || Ch == u' ') NextCh();
}

bool THtmlParser::ReadIdentifier(std::u16string& word) {
  word.clear();
  if (!IsLetter(Ch) && Ch != u'_') return false;
  // A "--" is the end of the comment, not part of the word ("<!--#command-->").
  while (IsLetter(Ch) || IsDigit(Ch) || Ch == u'_' || (Ch == u'-' && Doc->PeekChar() != u'-')) {
    word.push_back(Ch);
    NextCh();
  }
  return true;
}

// Ch is the '#' of "<!--#command name=value ... -->".
void THtmlParser::DoInclude() {
  // The command is read as it stands: a "<!" inside it opens nothing.
  struct Restore {
    bool& flag;
    bool saved;
    ~Restore() { flag = saved; }
  } restore{NoMarkup, NoMarkup};
  NoMarkup = true;
  NextCh();
  std::u16string command, name, value, params;
  ReadIdentifier(command);
  for (;;) {
    SkipWhiteSpace();
    if (!ReadIdentifier(name)) break;
    SkipWhiteSpace();
    value.clear();
    if (Ch == u'=') {
      NextCh();
      SkipWhiteSpace();
      if (Ch == u'"' || Ch == u'\'')
        ReadQuotedValue(value, u" ");
      else
        ReadBareValue(value, u" \r->");
    }
    params += name;
    params += u'=';
    params += value;
    params += u"\r\n";
  }
  SkipComment();
  // A text that includes itself would otherwise never end.
  if (static_cast<int>(DocStack.size()) >= MaxIncludeDepth) return;
  // The first pass asks the handler and keeps its answer; the second takes that answer, command
  // for command, so that a handler with work or effects of its own runs once per command.
  std::u16string included;
  std::u16string key = command;
  key += u'\0';
  key += params;
  // The first of equal keys is the one asked first.
  const auto kept = PreScan ? includeReplies_.end() : includeReplies_.lower_bound(key);
  if (kept != includeReplies_.end() && kept->first == key) {
    included = std::move(kept->second);
    includeReplies_.erase(kept);
  } else {
    OnInclude(CallingObject, command, params, included);
    if (PreScan) includeReplies_.emplace(std::move(key), included);
  }
  if (included.empty()) return;
  included_.push_back(std::make_unique<TBuffer>(TBuffer::FromString(included, Doc->Name)));
  DocStack.push_back(Doc);
  Doc = included_.back().get();
}

std::u16string THtmlParser::CodeToText(uint32_t code, bool numeric, int codePage) {
  if (code == 9) return u" ";
  if (code < 32) return u"?";
  if (numeric && code >= 127 && code <= 159) {
    if (codePage != cachedCodePage_) {
      const unsigned real = ResolveCodePage(codePage);
      for (uint32_t b = 127; b <= 159; ++b) {
        char16_t c = static_cast<char16_t>(b);
        if (real != 0) {
          const char byte = static_cast<char>(b);
          bool ok = false;
          const std::u16string s = platform::CodePageToUtf16(real, std::string_view(&byte, 1), &ok);
          if (ok && s.size() == 1 && s[0] != u'\xFFFD') c = s[0];
        }
        cachedControls_[b - 127] = c;
      }
      cachedCodePage_ = codePage;
    }
    return std::u16string(1, cachedControls_[code - 127]);
  }
  if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return u"\xFFFD";
  if (code > 0xFFFF) {
    code -= 0x10000;
    return {static_cast<char16_t>(0xD800 + (code >> 10)), static_cast<char16_t>(0xDC00 + (code & 0x3FF))};
  }
  return std::u16string(1, static_cast<char16_t>(code));
}

std::u16string THtmlParser::GetEntity(int codePage) {
  std::u16string source(1, u'&');
  NextCh();
  if (Ch != u'#') {
    while (source.size() < 12 && (IsLetter(Ch) || IsDigit(Ch))) {
      source.push_back(Ch);
      NextCh();
    }
    const TEntity* entity = FindEntity(std::u16string_view(source).substr(1));
    if (!entity) return source;
    if (Ch == u';') {
      NextCh();
      return CodeToText(static_cast<uint32_t>(entity->Value), false, codePage);
    }
    return entity->Value <= 255 ? CodeToText(static_cast<uint32_t>(entity->Value), false, codePage) : source;
  }
  source.push_back(Ch);
  NextCh();
  uint32_t base = 10;
  if (Ch == u'x' || Ch == u'X') {
    base = 16;
    source.push_back(Ch);
    NextCh();
  }
  uint32_t value = 0;
  bool any = false;
  for (;;) {
    uint32_t digit;
    if (IsDigit(Ch))
      digit = Ch - u'0';
    else if (base == 16 && Ch >= u'a' && Ch <= u'f')
      digit = Ch - u'a' + 10;
    else if (base == 16 && Ch >= u'A' && Ch <= u'F')
      digit = Ch - u'A' + 10;
    else
      break;
    any = true;
    // Anything past the last code point reads as one value past it: the sum never overflows.
    value = std::min<uint32_t>(value * base + digit, 0x110000);
    source.push_back(Ch);
    NextCh();
  }
  if (!any) return source;
  if (Ch == u';') NextCh();
  return CodeToText(value, true, codePage);
}

void THtmlParser::Next() {
  if (rawPending_ != NoSymbol) {
    const Symb sy = rawPending_;
    rawPending_ = NoSymbol;
    if (sy == TitleSy) {
      // A title's content is text as written wherever the title stands: where a builder passes
      // the element over, a "<!--" in it still opens nothing.
      ReadRawContent(u"</title", nullptr);
    } else if (OnRawContent && !PreScan)
      OnRawContent(sy);
    else
      ReadRawContent(sy == ScriptSy ? u"</script" : u"</style", nullptr);
  }
  TextToken.Clear();
  if (Ch == 0) {
    Sy = EofSymbol;
  } else if (Ch < 9) {
    // A control character reads as a question mark at the head of the run.
    Ch = u'?';
    Sy = TextSymbol;
    GetText();
  } else if (Ch == u'<') {
    GetTag();
  } else {
    Sy = TextSymbol;
    GetText();
  }
}

void THtmlParser::GetText() {
  text_.Clear();
  for (;;) {
    const int pos = SourcePos();
    if (Ch == u'&') {
      std::u16string s = GetEntity(host_->CodePage());
      if (!PreScan) text_.Concat(s, pos);
    } else if (Ch == u' ' || Ch == u'\t' || Ch == u'\n' || Ch == u'\r') {
      if (!PreScan) text_.Add(u' ', pos);
      NextCh();
      SkipWhiteSpace();
    } else if (Ch < 9 || Ch == u'<') {
      break;
    } else {
      if (!PreScan) text_.Add(Ch, pos);
      // Next did what NextCh does first: no content is pending.
      if (!NextAsciiCh()) NextCh();
    }
  }
  if (text_.Size() > 0) TextToken.AddString(text_);
}

void THtmlParser::GetTag() {
  TagPos = SourcePos();
  NextCh();
  bool endTag = false;
  if (Ch == u'/') {
    endTag = true;
    NextCh();
  } else if (Ch != u'?' && !IsLetter(Ch)) {
    // Not a tag: the '<' and what follows it are text.
    Sy = TextSymbol;
    TextToken.AddUnicodeChar(u'<', TagPos);
    GetText();
    return;
  }
  Sy = UnknownTagSymbol;
  word_.clear();
  for (;;) {
    if (IsDigit(Ch)) {
      // H1 to H6 are the word H with a level.
      if (word_.size() == 1 && Upper(word_[0]) == u'H') break;
    } else if (Ch == u'/') {
      if (!word_.empty()) break;
    } else if (!IsLetter(Ch) && Ch != u'_') {
      break;
    }
    word_.push_back(Upper(Ch));
    NextCh();
  }
  if (!word_.empty())
    if (const TResWord* r = FindResWord(word_)) Sy = endTag ? r->EndSym : r->Symbol;
  SkipWhiteSpace();
  TagValue = 0;
  if ((Sy == HSy || Sy == HEndSy) && Ch >= u'1' && Ch <= u'6') {
    TagValue = Ch - u'0';
    NextCh();
  }
  Attributes.Clear();
  Symb sym;
  double value;
  while (GetAttribute(sym, value, attrName_, attrValue_))
    Attributes.Add(sym, value, attrName_, attrValue_, host_->CodePage());
  while (Ch != u'>' && Ch != 0) NextCh();
  // The content readers of scripts, style sheets and the title start at the '>'.
  if (Sy == ScriptSy || Sy == StyleSy || Sy == TitleSy)
    rawPending_ = Sy;
  else if (Ch == u'>')
    NextCh();
}

void THtmlParser::ReadRawContent(const std::u16string& endTag, std::u16string* content, int* start, int* end,
                                 bool entities) {
  NoMarkup = true;
  if (Ch == u'>') NextCh();
  if (start) *start = SourcePos();
  if (end) *end = SourcePos();
  auto isLetter = [](char16_t c) { return c < 128 && (c | 0x20) >= u'a' && (c | 0x20) <= u'z'; };
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  std::u16string word;
  while (Ch != 0) {
    if (Ch == u'\r') {
      if (content) *content += u"\r\n";
      NextCh();
      continue;
    }
    if (Ch == u'&' && content && entities) {
      *content += GetEntity(host_->CodePage());
      continue;
    }
    if (Ch != u'<') {
      if (content) content->push_back(Ch);
      NextCh();
      continue;
    }
    const int tagAt = SourcePos();
    word.assign(1, u'<');
    NextCh();
    while (word.size() <= endTag.size() && (Ch == u'/' || isLetter(Ch))) {
      word.push_back(Ch);
      NextCh();
    }
    bool matched = word.size() == endTag.size();
    for (size_t i = 0; matched && i < word.size(); ++i) matched = lower(word[i]) == endTag[i];
    if (matched) {
      if (end) *end = tagAt;
      for (int k = 0; k < 6 && Ch != u'>' && Ch != 0; ++k) {
        // A character beyond the BMP is one of the few: never left with its second half unread.
        const bool high = Ch >= 0xD800 && Ch < 0xDC00;
        NextCh();
        if (high && Ch >= 0xDC00 && Ch < 0xE000) NextCh();
      }
      if (Ch == u'>') {
        NoMarkup = false;
        NextCh();
      }
      NoMarkup = false;
      return;
    }
    if (content) *content += word;
  }
  // Without its end tag the content runs to the end of the text.
  if (end) *end = SourcePos();
  NoMarkup = false;
}

void THtmlParser::ReadQuotedValue(std::u16string& out, std::u16string_view lineEnd) {
  const char16_t quote = Ch;
  NextCh();
  while (Ch != quote && Ch != 0) {
    if (Ch == u'\r') {
      out += lineEnd;
      NextCh();
    } else if (Ch == u'&') {
      out += GetEntity(host_->CodePage());
    } else {
      out.push_back(Ch);
      NextCh();
    }
  }
  if (Ch == quote) NextCh();
}

void THtmlParser::ReadBareValue(std::u16string& out, std::u16string_view stops) {
  while (Ch != 0 && stops.find(Ch) == std::u16string_view::npos) {
    if (Ch == u'&') {
      out += GetEntity(host_->CodePage());
    } else {
      out.push_back(Ch);
      NextCh();
    }
  }
}

bool THtmlParser::GetAttribute(Symb& sym, double& value, std::u16string& name, std::u16string& text) {
  sym = UnknownAttrSymbol;
  SkipWhiteSpace();
  name.clear();
  word_.clear();
  while (Ch == u'$' || Ch == u'-' || IsDigit(Ch) || IsLetter(Ch)) {
    name.push_back(Ch);
    word_.push_back(Upper(Ch));
    NextCh();
  }
  if (name.empty()) return false;
  if (const TSymbolRec* r = FindAttribWord(word_)) sym = r->Symbol;
  SkipWhiteSpace();
  // A bare BORDER is a one-pixel border.
  value = sym == BorderSy ? 1 : 0;
  text.clear();
  if (Ch != u'=') return true;
  NextCh();
  SkipWhiteSpace();
  if (Ch == u'"' || Ch == u'\'') {
    // Line ends stay only in the texts shown as written.
    ReadQuotedValue(text, sym == TitleSy || sym == AltSy ? u"\r\n" : u"");
  } else {
    ReadBareValue(text, u" \t\r>");
    SkipWhiteSpace();
  }
  value = AttributeNumber(text, value);
  if (sym == IdSy && !text.empty() && !PreScan && hasDocument_) host_->AddChPosObject(text, SourcePos());
  return true;
}

// ---- the document type ----

namespace {

// Reads raw characters: no line ends joined, no comments skipped.
class TRawReader {
public:
  explicit TRawReader(TBuffer& doc) : doc_(doc) {}
  char16_t Peek() { return doc_.PeekChar(); }
  char16_t Take() { return doc_.NextChar(); }
  void SkipBlanks() {
    while (IsBlank(Peek())) Take();
  }
  // A letter or '_', then letters, digits, '_' and '-'.
  std::u16string Identifier() {
    std::u16string w;
    if (!IsLetter(Peek()) && Peek() != u'_') return w;
    while (IsLetter(Peek()) || IsDigit(Peek()) || Peek() == u'_' || Peek() == u'-') w.push_back(Take());
    return w;
  }
  // A word of a declaration, after any blanks.
  std::u16string Word() {
    SkipBlanks();
    std::u16string w;
    for (char16_t c = Peek(); c == u'-' || c == u'.' || c == u'/' || c == u'_' || IsDigit(c) || IsLetter(c); c = Peek())
      w.push_back(Take());
    return w;
  }

private:
  TBuffer& doc_;
};

// A version word such as "4.01//EN" is compared without what follows its "//".
std::u16string_view Version(const std::u16string& word) {
  std::u16string_view v(word);
  return v.substr(0, v.find(u"//"));
}

// After "<!DOCTYPE".
bool IsStandardDocType(TRawReader& in) {
  if (!SameText(in.Word(), u"HTML")) return false;
  in.SkipBlanks();
  if (in.Peek() == u'>') return true;
  if (!SameText(in.Word(), u"PUBLIC")) return false;
  in.SkipBlanks();
  if (in.Peek() == u'"') in.Take();
  if (!SameText(in.Word(), u"-//W3C//DTD")) return false;
  const std::u16string kind = in.Word();
  if (SameText(kind, u"HTML")) return SameText(Version(in.Word()), u"4.01");
  if (!SameText(kind, u"XHTML")) return false;
  const std::u16string version = in.Word();
  if (SameText(version, u"BASIC")) return SameText(Version(in.Word()), u"1.1");
  return SameText(Version(version), u"1.0") || SameText(Version(version), u"1.1");
}

}  // namespace

bool THtmlParser::ShouldUseQuirksMode() {
  const int position = Doc->Position();
  const uint8_t jisMode = Doc->JisMode;
  TRawReader in(*Doc);
  bool result = true;
  for (;;) {
    char16_t c;
    do c = in.Take();
    while (c != u'<' && c != 0);
    if (c == 0 || in.Peek() == 0) break;
    if (in.Peek() == u'!') {
      in.Take();
      if (SameText(in.Identifier(), u"DOCTYPE")) {
        const bool standard = IsStandardDocType(in);
        result = !standard;
        if (standard) break;
      } else {
        while ((c = in.Take()) != u'>' && c != 0) {
        }
      }
      continue;
    }
    const std::u16string word = in.Identifier();
    if (SameText(word, u"HTML") || SameText(word, u"HEAD") || SameText(word, u"BODY")) break;
  }
  Doc->SetPosition(position);
  Doc->JisMode = jisMode;
  return result;
}

}  // namespace htmlview
