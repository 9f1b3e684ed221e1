#pragma once
// The fonts text is drawn in: what a font must be, a font with its measured metrics, and the
// cache of fonts already made, shared by all documents.
#include <QFont>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/Graphics.h"

namespace htmlview {

struct ThtFontInfo {
  std::u16string iName;
  double iSize = 12;  // points
  unsigned iStyle = 0;  // fsBold, fsItalic, fsUnderline, fsStrikeOut
  TColor iColor = 0;
  TColor iBG = 0;
  uint8_t iCharSet = 1;
  std::u16string ibgSpacing;  // the letter-spacing value
};
// Link, visited, hover, visited and hover.
using TFontInfoArray = std::array<ThtFontInfo, 4>;

class TMyFont {
public:
  QFont Font;
  std::u16string Name;
  int Height = 0;  // negative: the character height in pixels
  unsigned Style = 0;
  uint8_t CharSet = 1;
  TColor Color = 0;
  TColor bgColor = 0;
  int tmHeight = 0, tmDescent = 0, tmExternalLeading = 0, tmAveCharWidth = 0, tmMaxCharWidth = 0;
  int tmCharSet = 1;
  int charExtra = 0;  // letter spacing in pixels, added after every character
  int EmSize = 0, ExSize = 0;
};

// The measurer fonts are measured with (Qt's unless a test sets the fixed one); setting it
// empties the font cache.
const TTextMeasurer& FontMeasurer();
void SetFontMeasurer(const TTextMeasurer* measurer);

// Whether a family exists among the screen's fonts; tests may replace the catalogue (nullptr:
// Qt's again).
bool FontExists(const std::u16string& family);
void SetFontCatalogue(std::function<bool(const std::u16string&)> catalogue);

// The first family of a comma-separated font-family value that exists, quotes removed and
// generic names mapped; defFontName when none does.
std::u16string FirstExistingFamily(const std::u16string& families, const std::u16string& defFontName);

// Letter spacing in pixels: "normal" or nothing gives 0, a bare number is pixels.
int LetterSpacingPixels(const std::u16string& value, int emSize);

class TMyFontCache {
public:
  void AddFont(std::unique_ptr<TMyFont> font);
  // A font of info's family (case ignored), height, style and char set, made and measured when
  // the cache has none. Valid until the cache is cleared.
  const TMyFont& GetFontLike(const ThtFontInfo& info);
  void Clear() {
    fonts_.clear();
    lastList_ = nullptr;
  }
  int Count() const;

private:
  using TFontList = std::vector<std::unique_ptr<TMyFont>>;
  std::map<std::u16string, TFontList> fonts_;
  // The list of the family asked for last, by that family's name as asked: a page asks for one
  // family many times in a row.
  std::u16string lastName_;
  TFontList* lastList_ = nullptr;
};
TMyFontCache& FontCache();

}  // namespace htmlview
