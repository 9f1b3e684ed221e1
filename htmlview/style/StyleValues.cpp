#include "htmlview/style/StyleValues.h"

#include <QColor>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "htmlview/text/HtmlGlobals.h"
#include "htmlview/text/URLSubs.h"
#include "platform/core/RoundHalfEven.h"

namespace htmlview {

std::array<double, 8> FontConv = {0, 8, 10, 12, 14, 18, 24, 36};
double DefPointSize = 12;

namespace {

int g_pixelsPerInch = 0;

constexpr auto npos = std::u16string::npos;

// Numbers ignore the locale: the text is ASCII by the time it is a number.
bool ParseDouble(std::u16string_view s, double& value) {
  if (s.empty() || s.size() > 64) return false;
  char buf[65];
  size_t n = 0;
  for (char16_t c : s) {
    if (c > 0x7F) return false;
    buf[n++] = static_cast<char>(c);
  }
  const char* b = buf;
  if (*b == '+') ++b;
  auto [end, ec] = std::from_chars(b, buf + n, value);
  return ec == std::errc() && end == buf + n && std::isfinite(value);
}

bool ParseInt(std::u16string_view s, int& value) {
  double d;
  if (!ParseDouble(TrimW(std::u16string(s)), d) || d != std::trunc(d) || std::fabs(d) > 1e9) return false;
  value = static_cast<int>(d);
  return true;
}

int Trunc(double d) {
  if (!std::isfinite(d)) return 0;
  return static_cast<int>(std::clamp(d, -2147483648.0, 2147483647.0));
}

struct SystemColor {
  const char16_t* name;
  int index;
};
constexpr SystemColor kSystemColors[] = {
    {u"background", 1},        {u"activecaption", 2},       {u"inactivecaption", 3},    {u"menu", 4},
    {u"window", 5},            {u"windowframe", 6},         {u"menutext", 7},           {u"windowtext", 8},
    {u"captiontext", 9},       {u"activeborder", 10},       {u"inactiveborder", 11},    {u"appworkspace", 12},
    {u"highlight", 13},        {u"hightlighttext", 14},     {u"highlighttext", 14},     {u"buttonface", 15},
    {u"buttonshadow", 16},     {u"graytext", 17},           {u"buttontext", 18},        {u"inactivecaptiontext", 19},
    {u"buttonhighlight", 20},  {u"threeddarkshadow", 21},   {u"threedlightshadow", 20}, {u"infotext", 23},
    {u"infobackground", 24},   {u"scrollbar", 0},           {u"threedface", 15},        {u"threedhighlight", 22},
    {u"threedshadow", 16}};

// The named colours: "transparent", the CSS and SVG colour keywords (Qt knows exactly these) and
// the system colours, resolved when drawn.
bool NamedColor(const std::u16string& name, TColor& color) {
  if (name == u"transparent") {
    color = clNone;
    return true;
  }
  for (const SystemColor& s : kSystemColors)
    if (name == s.name) {
      color = clSystemColor + static_cast<TColor>(s.index);
      return true;
    }
  for (char16_t c : name)
    if (c < 'a' || c > 'z') return false;
  const QColor q = QColor::fromString(QString::fromStdU16String(name));
  if (!q.isValid()) return false;
  color = FromQColor(q);
  return true;
}

// The comma-separated parts between the "(" and ")" that follow from; false without them.
bool FunctionParts(const std::u16string& s, size_t from, std::vector<std::u16string>& parts) {
  const size_t open = s.find(u'(', from);
  if (open == npos) return false;
  const size_t close = s.find(u')', open);
  if (close == npos) return false;
  std::u16string inner = s.substr(open + 1, close - open - 1);
  size_t start = 0;
  for (;;) {
    const size_t comma = inner.find(u',', start);
    parts.push_back(TrimW(inner.substr(start, comma == npos ? npos : comma - start)));
    if (comma == npos) break;
    start = comma + 1;
  }
  return parts.size() >= 3;
}

int AlphaPart(const std::vector<std::u16string>& parts) {
  double a;
  if (parts.size() < 4 || !ParseDouble(parts[3], a)) return 255;
  return std::clamp(Trunc(255 * a), 0, 255);
}

std::u16string WithoutPercent(const std::u16string& s) {
  std::u16string t;
  for (char16_t c : s)
    if (c != u'%') t += c;
  return t;
}

bool Convert(const std::u16string& v, bool needPound, TColor& color, int& alpha) {
  std::vector<std::u16string> parts;
  if (size_t p = v.find(u"hsl"); p != npos) {
    if (!FunctionParts(v, p + 3, parts)) return false;
    int h = 0, s = 0, l = 0;
    ParseInt(parts[0], h);
    ParseInt(WithoutPercent(parts[1]), s);
    ParseInt(WithoutPercent(parts[2]), l);
    h %= 360;
    if (h < 0) h += 360;
    color = HSLtoRGB(h, std::clamp(s, 0, 100), std::clamp(l, 0, 100));
    alpha = AlphaPart(parts);
    return true;
  }
  if (size_t p = v.find(u"rgb"); p != npos) {
    if (!FunctionParts(v, p + 3, parts)) return false;
    int rgb[3];
    for (int i = 0; i < 3; ++i) {
      const std::u16string& part = parts[i];
      if (part.find(u'%') != npos) {
        double pct;
        if (!ParseDouble(TrimW(WithoutPercent(part)), pct)) return false;
        rgb[i] = std::clamp(RoundHalfEven(std::clamp(pct, -1000.0, 1000.0) * 2.55), 0, 255);
      } else {
        int n = 0;
        ParseInt(part, n);
        rgb[i] = std::clamp(n, 0, 255);
      }
    }
    color = RGB(rgb[0], rgb[1], rgb[2]);
    alpha = AlphaPart(parts);
    return true;
  }
  if (v.find(u'#') == npos && NamedColor(v, color)) return true;
  if (v.find(u'#') == npos && needPound) return false;
  std::u16string hex;
  for (char16_t c : v)
    if (c != u'#') hex += c;
  if (hex.empty() || hex.size() > 8) return false;
  if (hex.size() < 4) {
    std::u16string doubled;
    for (char16_t c : hex) doubled += std::u16string(2, c);
    hex = doubled;
  }
  uint32_t value = 0;
  for (char16_t c : hex) {
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  color = RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF) | PaletteRelativeFlag;
  return true;
}

}  // namespace

int PixelsPerInch() {
  if (g_pixelsPerInch > 0) return g_pixelsPerInch;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    if (QScreen* screen = QGuiApplication::primaryScreen())
      return std::max(1, static_cast<int>(std::lround(screen->logicalDotsPerInch())));
  return 96;
}

void SetPixelsPerInch(int value) { g_pixelsPerInch = value; }

std::u16string LowerW(std::u16string s) {
  for (char16_t& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

bool SplitNumber(const std::u16string& valueIn, double& number, std::u16string& unit) {
  const std::u16string value = TrimW(valueIn);
  unit.clear();
  if (ParseDouble(value, number)) return true;
  size_t i = 0;
  if (i < value.size() && (value[i] == u'-' || value[i] == u'+')) ++i;
  bool digits = false;
  while (i < value.size() && ((value[i] >= '0' && value[i] <= '9') || value[i] == u'.')) {
    digits |= value[i] != u'.';
    ++i;
  }
  if (!digits || !ParseDouble(std::u16string_view(value).substr(0, i), number)) return false;
  unit = TrimW(value.substr(i));
  return true;
}

int CapLength(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::clamp(value, static_cast<double>(-MaxLength), static_cast<double>(MaxLength)));
}

int LengthConv(const std::u16string& value, bool relative, int base, int defaultValue, int emSize, int exSize) {
  double n;
  std::u16string unit;
  if (!SplitNumber(value, n, unit)) return defaultValue;
  unit = LowerW(unit);
  const double ppi = PixelsPerInch();
  double r;
  if (unit.empty())
    r = relative ? base * n : n;
  else if (unit == u"%")
    r = base * n * 0.01;
  else if (unit == u"in")
    r = ppi * n;
  else if (unit == u"cm")
    r = ppi * n * 0.3937007874;
  else if (unit == u"mm")
    r = ppi * n * 0.03937007874;
  else if (unit == u"pt")
    r = ppi * n / 72;
  else if (unit == u"px")
    r = n;
  else if (unit == u"pc")
    r = ppi * n / 6;
  else if (unit == u"em")
    r = emSize * n;
  else if (unit == u"ex")
    r = exSize * n;
  else
    return defaultValue;
  return CapLength(r);
}

double FontSizeConv(const std::u16string& valueIn, double oldSize, bool quirks) {
  const std::u16string value = LowerW(TrimW(valueIn));
  static const char16_t* const keywords[] = {u"xx-small", u"x-small", u"small", u"medium",
                                             u"large",    u"x-large", u"xx-large"};
  for (int k = 0; k < 7; ++k)
    if (value == keywords[k]) return FontConv[quirks && k < 6 ? k + 2 : k + 1];
  if (value == u"smaller" || value == u"larger") {
    int step = 4;
    for (int k : {3, 5, 2, 6, 1, 7})
      if (std::fabs(FontConv[k] - oldSize) < std::fabs(FontConv[step] - oldSize)) step = k;
    const int next = std::clamp(step + (value == u"larger" ? 1 : -1), 1, 7);
    if (FontConv[step] == 0) return DefPointSize;
    return oldSize * FontConv[next] / FontConv[step];
  }
  double n;
  std::u16string unit;
  if (!SplitNumber(value, n, unit)) return DefPointSize;
  if (unit == u"in") return n * 72;
  if (unit == u"cm") return n * 72 * 0.3937007874;
  if (unit == u"mm") return n * 72 * 0.03937007874;
  if (unit == u"pt") return n;
  if (unit == u"pc") return n * 12;
  if (unit == u"em") return n * oldSize;
  if (unit == u"ex") return n * oldSize * 0.5;
  if (unit == u"%") return n * oldSize * 0.01;
  if (unit == u"px" || unit.empty()) return n * 72 / PixelsPerInch();
  return DefPointSize;
}

bool ColorFromString(const std::u16string& s, bool needPound, TColor& color, int& alpha) {
  alpha = 255;
  if (s.empty()) return false;
  const std::u16string v = LowerW(TrimW(s));
  // One entry for the program: the text, whether "#" was needed, and what it gave.
  struct Cache {
    std::u16string text;
    bool needPound = false, valid = false;
    TColor color = 0;
    int alpha = 255;
  };
  thread_local Cache cache;
  if (cache.valid && cache.text == v && cache.needPound == needPound) {
    color = cache.color;
    alpha = cache.alpha;
    return true;
  }
  TColor c = 0;
  int a = 255;
  if (!Convert(v, needPound, c, a)) return false;
  cache = {v, needPound, true, c, a};
  color = c;
  alpha = a;
  return true;
}

TColor HSLtoRGB(int hIn, int sIn, int lIn) {
  const double h = hIn / 360.0, s = sIn / 100.0, l = lIn / 100.0;
  double r, g, b;
  if (s == 0) {
    r = g = b = l;
  } else {
    const double m2 = l <= 0.5 ? l * (s + 1) : l + s - l * s;
    const double m1 = 2 * l - m2;
    auto f = [&](double x) {
      x -= std::floor(x);
      if (x < 1.0 / 6) return m1 + (m2 - m1) * 6 * x;
      if (x < 0.5) return m2;
      if (x < 2.0 / 3) return m1 + (m2 - m1) * (2.0 / 3 - x) * 6;
      return m1;
    };
    r = f(h + 1.0 / 3), g = f(h), b = f(h - 1.0 / 3);
  }
  auto channel = [](double v) { return std::clamp(RoundHalfEven(255 * v), 0, 255); };
  return RGB(channel(r), channel(g), channel(b));
}

std::u16string ReadURL(const std::u16string& value) {
  size_t i = value.find(u"url(");
  if (i == npos) return {};
  i += 4;
  while (i < value.size() && (value[i] == u' ' || value[i] == u'\n' || value[i] == u'\f' || value[i] == u'\r')) ++i;
  if (i < value.size() && (value[i] == u'"' || value[i] == u'\'')) {
    const size_t close = value.find(value[i], i + 1);
    return value.substr(i + 1, close == npos ? npos : close - i - 1);
  }
  const size_t start = i;
  int depth = 0;
  for (; i < value.size(); ++i) {
    const char16_t c = value[i];
    if (c == u'(') ++depth;
    if (c == u')' && depth-- == 0) break;
    if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r') break;
  }
  return value.substr(start, i - start);
}

}  // namespace htmlview
