#include "htmlview/style/StyleFonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "htmlview/style/StyleValues.h"
#include "htmlview/text/URLSubs.h"
#include "platform/gui/Graphics.h"

namespace htmlview {
namespace {

const TTextMeasurer* g_measurer = nullptr;
std::function<bool(const std::u16string&)> g_catalogue;

// The families Qt has answered for. Fonts are only ever added to Qt's database, never taken
// away, so a family once found stays found; one not found may yet be registered and is asked
// again. Asking costs a walk of every family and a font match: every new property set asks.
std::unordered_set<std::u16string>& KnownFamilies() {
  static std::unordered_set<std::u16string> known;
  return known;
}

bool QtKnowsFamily(const std::u16string& family) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
  RegisterWindowsFonts();
  const QString name = QString::fromStdU16String(family);
  for (const QString& f : QFontDatabase::families())
    if (f.compare(name, Qt::CaseInsensitive) == 0) return true;
  // Aliases ("Arial" is Liberation Sans through fontconfig) resolve to another family than an
  // unknown name does.
  static const QString fallback = QFontInfo(QFont(QStringLiteral("NoSuchFamily-3f9c1d"))).family();
  return QFontInfo(QFont(name)).family() != fallback;
}

}  // namespace

const TTextMeasurer& FontMeasurer() { return g_measurer ? *g_measurer : QtTextMeasurer(); }

void SetFontMeasurer(const TTextMeasurer* measurer) {
  if (measurer != g_measurer) FontCache().Clear();
  g_measurer = measurer;
}

bool FontExists(const std::u16string& family) {
  if (family.empty()) return false;
  if (g_catalogue) return g_catalogue(family);
  auto& known = KnownFamilies();
  if (known.contains(family) && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
  if (!QtKnowsFamily(family)) return false;
  known.insert(family);
  return true;
}

void SetFontCatalogue(std::function<bool(const std::u16string&)> catalogue) { g_catalogue = std::move(catalogue); }

std::u16string FirstExistingFamily(const std::u16string& families, const std::u16string& defFontName) {
  static const std::pair<const char16_t*, const char16_t*> generic[] = {{u"serif", u"Times New Roman"},
                                                                         {u"monospace", u"Courier New"},
                                                                         {u"sans-serif", u"Arial"},
                                                                         {u"cursive", u"Lucida Handwriting"},
                                                                         {u"helvetica", u"Arial"}};
  // Every property set asks with the same few values. An answer that no missing family shaped
  // stays right for good (see KnownFamilies); one past a missing family is worked out again.
  // By value: the default family it was asked with and the answer.
  static std::map<std::u16string, std::pair<std::u16string, std::u16string>> answers;
  constexpr size_t MaxAnswers = 256;
  const bool qt = !g_catalogue && qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (qt)
    if (auto it = answers.find(families); it != answers.end() && it->second.first == defFontName)
      return it->second.second;
  bool missed = false;
  std::u16string found = defFontName;
  size_t start = 0;
  while (start <= families.size()) {
    size_t comma = families.find(u',', start);
    if (comma == std::u16string::npos) comma = families.size();
    std::u16string name;
    for (char16_t c : TrimW(families.substr(start, comma - start)))
      if (c != u'"' && c != u'\'') name += c;
    name = TrimW(name);
    for (const auto& [g, real] : generic)
      if (LowerW(name) == g) name = real;
    if (FontExists(name)) {
      found = std::move(name);
      break;
    }
    missed = missed || !name.empty();
    start = comma + 1;
  }
  if (qt && !missed && answers.size() < MaxAnswers) answers.insert_or_assign(families, std::pair(defFontName, found));
  return found;
}

int LetterSpacingPixels(const std::u16string& value, int emSize) {
  // What nearly every set holds: nothing to work out.
  if (value.empty() || value == u"normal" || value == u"0") return 0;
  const std::u16string v = LowerW(TrimW(value));
  if (v.empty() || v == u"normal") return 0;
  // Every character of a run adds it: held to what keeps a run's width measurable.
  constexpr int MaxSpacing = 1000;
  return std::clamp(LengthConv(v, false, emSize, 0, emSize, emSize / 2), -MaxSpacing, MaxSpacing);
}

void TMyFontCache::AddFont(std::unique_ptr<TMyFont> font) {
  fonts_[LowerW(font->Name)].push_back(std::move(font));
}

int TMyFontCache::Count() const {
  int n = 0;
  for (const auto& [name, list] : fonts_) n += static_cast<int>(list.size());
  return n;
}

const TMyFont& TMyFontCache::GetFontLike(const ThtFontInfo& info) {
  const int pixels = std::max(1, static_cast<int>(std::lround(PixelsPerInch() * std::clamp(info.iSize, 0.0, 5000.0) / 72)));
  const int height = -pixels;
  if (!lastList_ || info.iName != lastName_) {
    lastList_ = &fonts_[LowerW(info.iName)];
    lastName_ = info.iName;
  }
  auto& list = *lastList_;
  for (const auto& f : list)
    if (f->Height == height && f->Style == info.iStyle && f->CharSet == info.iCharSet) return *f;

  auto font = std::make_unique<TMyFont>();
  font->Name = info.iName;
  font->Height = height;
  font->Style = info.iStyle;
  font->CharSet = info.iCharSet;
  QFont& q = font->Font;
  q.setFamily(QString::fromStdU16String(info.iName));
  q.setPixelSize(pixels);
  q.setBold((info.iStyle & fsBold) != 0);
  q.setItalic((info.iStyle & fsItalic) != 0);
  q.setUnderline((info.iStyle & fsUnderline) != 0);
  q.setStrikeOut((info.iStyle & fsStrikeOut) != 0);
  // Every char set is what it asks for: no font of another char set is substituted here.
  font->tmCharSet = info.iCharSet;
  const TTextMeasurer& m = FontMeasurer();
  font->tmHeight = m.LineHeight(q);
  if (&m == &QtTextMeasurer()) {
    const QFontMetrics fm(q);
    font->tmHeight = fm.ascent() + fm.descent();
    font->tmDescent = fm.descent();
    font->tmExternalLeading = std::max(0, fm.leading());
    font->tmAveCharWidth = fm.averageCharWidth();
    font->tmMaxCharWidth = fm.maxWidth();
  } else {
    // A measurer of fixed cells: a fifth of the cell below the baseline.
    font->tmDescent = font->tmHeight / 5;
    font->tmAveCharWidth = font->tmMaxCharWidth = m.TextExtent(q, u"x").cx;
  }
  font->EmSize = pixels;
  font->ExSize = pixels / 2;
  const TMyFont& made = *font;
  list.push_back(std::move(font));
  return made;
}

TMyFontCache& FontCache() {
  static TMyFontCache cache;
  return cache;
}

}  // namespace htmlview
