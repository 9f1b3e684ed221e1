#pragma once
// The style engine: an element's computed style (64 CSS properties), the stack of property sets
// of the open elements, the document's list of style rules, inheritance and the cascade.
#include <array>
#include <cassert>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StyleValues.h"

namespace htmlview {

inline constexpr int IntNull = -12345678;
inline constexpr int Auto = -12348765;
inline constexpr int AutoParagraph = -12348766;

enum TPropIndex {
  FontFamily, FontSize, FontStyle, FontWeight, TextAlign, TextDecoration, LetterSpacing, Color, BackgroundColor,
  MarginTop, MarginRight, MarginBottom, MarginLeft, MinHeight, MinWidth, MaxHeight, MaxWidth, BoxSizing,
  PaddingTop, PaddingRight, PaddingBottom, PaddingLeft, BorderTopWidth, BorderRightWidth, BorderBottomWidth,
  BorderLeftWidth, BorderTopColor, BorderRightColor, BorderBottomColor, BorderLeftColor, BorderTopStyle,
  BorderRightStyle, BorderBottomStyle, BorderLeftStyle, piWidth, piHeight, TopPos, BottomPos, RightPos, LeftPos,
  Visibility, LineHeight, BackgroundImage, BackgroundPosition, BackgroundRepeat, BackgroundAttachment,
  VerticalAlign, psPosition, ZIndex, ListStyleType, ListStyleImage, piFloat, piClear, TextIndent,
  PageBreakBefore, PageBreakAfter, PageBreakInside, TextTransform, WordWrap, FontVariant, BorderCollapse,
  OverFlow, piDisplay, piEmptyCells, PropCount
};

// Not given, text as written, an integer (colours, codes) or a size in points.
using TPropValue = std::variant<std::monostate, std::u16string, int, double>;

extern const char16_t* const PropWords[PropCount];

class TProperties;
class TStyleList;

// The property sets of the open elements, the root first; item i - 1 is the parent of item i.
using TPropStack = std::vector<std::unique_ptr<TProperties>>;

// Layout's numbers by property id, for ids BackgroundColor to LeftPos only.
class TMarginArray {
public:
  static constexpr int First = BackgroundColor, Last = LeftPos;
  int& operator[](int index) {
    assert(index >= First && index <= Last);
    return v_[static_cast<size_t>(index - First)];
  }
  int operator[](int index) const {
    assert(index >= First && index <= Last);
    return v_[static_cast<size_t>(index - First)];
  }

private:
  std::array<int, Last - First + 1> v_{};
};

// The values layout's numbers come from, for ids BackgroundColor to LeftPos; any other id reads as
// not given. Every block keeps one, and most of its values are "not given", IntNull or small
// codes and lengths: those take one byte, other numbers four, text and sizes in points a value
// each, stored in the order of their ids.
class TVMarArray {
public:
  static constexpr int First = BackgroundColor, Last = LeftPos, Count = Last - First + 1;
  TPropValue operator[](int index) const;
  void Set(int index, const TPropValue& value);
  bool operator==(const TVMarArray& other) const;

private:
  // A slot's code: not given, IntNull, a number of its own, a value of its own, or kSmall + n for
  // the number n.
  enum : uint8_t { kNone, kIntNull, kInt, kOther, kSmall };
  static constexpr int SmallMax = 255 - kSmall;
  // The place of slot k's own number or value: the slots before it with one of the same kind.
  size_t Rank(size_t k, uint8_t code) const;
  void Drop(size_t k);
  std::array<uint8_t, Count> codes_{};
  std::vector<int32_t> ints_;
  std::vector<TPropValue> others_;
};

struct TBackgroundAxis {
  int PosType = 6;  // 0 top, 1 center, 2 bottom, 3 left, 4 right, 5 percent, 6 pixels
  int Value = 0;
  bool RepeatD = true, Fixed = false;
};
using TBackgroundPosition = std::array<TBackgroundAxis, 2>;  // horizontal, vertical
// The offset of an image on an axis of free length r.
int BackgroundOffset(const TBackgroundAxis& axis, int r);

class TProperties {
public:
  TProperties();
  TProperties(TPropStack* propStack, bool quirksMode);
  explicit TProperties(bool quirksMode);
  TProperties(const TProperties&) = delete;
  TProperties& operator=(const TProperties&) = delete;

  TPropStack* PropStack = nullptr;
  std::unique_ptr<TMyFont> TheFont;
  bool InLink = false;
  std::u16string DefFontname = u"Times New Roman";
  bool QuirksMode = false;
  std::u16string PropTag, PropClass, PropID, PropPseudo, PropTitle;
  TColor FontBG = clNone;
  uint8_t CharSet = 1;
  int CodePage = 0;
  int EmSize = 0, ExSize = 0;
  std::array<TPropValue, PropCount> Props;
  std::array<bool, PropCount> OwnFlags{};
  std::unique_ptr<TFontInfoArray> FontInfo;
  int ID = 0;

  void Copy(const TProperties& source);
  void CopyDefault(const TProperties& source);
  void Inherit(const std::u16string& tag, const TProperties& source);
  void Update(const TProperties& source, const TStyleList& styles);
  void AssignCharSet(int charSet);
  void AssignCodePage(int codePage);
  void AssignCharSetAndCodePage(int charSet, int codePage);
  static bool IndexOfProp(const std::u16string& name, int& index);
  void SetPropByName(const std::u16string& name, const TPropValue& value);
  void SetPropByIndex(int index, const TPropValue& value);
  void AssignProp(int index, const TPropValue& value);
  // The cascade for the set at the top of its stack; cls holds one class or several joined by
  // "." or blanks.
  void Combine(const TStyleList& styles, const std::u16string& tag, const std::u16string& cls,
               const std::u16string& id, const std::u16string& pseudo, const TProperties* aProp);
  const TMyFont& GetFont();
  void GetFontInfo(ThtFontInfo& info) const;

  TBackgroundPosition GetBackgroundPos() const;
  std::u16string GetBackgroundImage() const;
  int GetVertAlign() const;
  int GetFloat() const;
  int GetClear() const;
  int GetDisplay() const;
  int GetListStyleType() const;
  std::u16string GetListStyleImage() const;
  int GetPosition() const;
  int GetVisibility() const;
  int GetZIndex() const;
  bool HasBorderWidth() const;
  int GetBorderStyle(int index) const;
  bool HasBorderStyle() const;
  bool IsCollapse() const;
  bool IsOverflowHidden() const;
  bool ShowEmptyCells() const;
  int GetLineHeight(int newHeight) const;
  int GetTextIndent(bool& isPercent) const;
  int GetTextTransform() const;
  std::u16string GetFontVariant() const;
  void GetPageBreaks(bool& before, bool& after, bool& inside) const;
  TColor GetBackgroundColor() const;
  TColor GetOwnForegroundColor() const;
  void UpdateFontBG();
  int GetBoxSizing() const;
  void ConvMargArray(int baseWidth, int baseHeight, int defaultBorderWidth, int emSize, int exSize,
                     TMarginArray& margins, int& autoCount) const;
  // Ids 8-39 for layout: border colours that are no colour take the element's colour when asked
  // (else IntNull); border styles become their codes.
  void CopyBoxProps(TVMarArray& vm, bool borderColorFromColor) const;

  std::u16string Text(int index) const;

private:
  void Merge(const TProperties& rule);
  void MergeForms(const TStyleList& styles, const std::u16string& tag, const std::vector<std::u16string>& classes,
                  const std::u16string& id, const std::u16string& pseudo, bool descendants);
  void BuildLinkInfo(const TStyleList& styles, const TProperties* aProp);
  bool MatchesAncestors(const std::u16string& key, size_t prefix) const;
};

void ConvMargArray(const TVMarArray& vm, int baseWidth, int baseHeight, int defaultBorderWidth, int emSize,
                   int exSize, TMarginArray& m, int& autoCount);
// As ConvMargArray for inline boxes: margins and paddings not given stay IntNull; borders 4 wide.
void ConvInlineMargArray(const TVMarArray& vm, int baseWidth, int baseHeight, int emSize, int exSize,
                         TMarginArray& m);
// The vertical margins: AutoParagraph gives 14 pixels and its flag.
void ConvVertMargins(const TVMarArray& vm, int baseWidth, int emSize, int exSize, TMarginArray& m, bool& topAuto,
                     bool& bottomAuto);
// A table cell's paddings: pixels, the negative of a percentage, -1 when not given.
void ConvCellPadding(const TVMarArray& vm, int baseWidth, int emSize, int exSize, std::array<int, 4>& padding);
// Width and height within their min and max; for "border-box" without paddings and borders.
void ApplyBoxSizing(TMarginArray& m);

class TStyleList {
public:
  TStyleList() = default;
  explicit TStyleList(bool quirksMode) : QuirksMode(quirksMode) {}
  void Clear();
  void AddModifyProp(const std::u16string& selector, const std::u16string& prop, const std::u16string& value);
  TProperties& AddObject(const std::u16string& key, std::unique_ptr<TProperties> props);
  void AddDuplicate(const std::u16string& key, const TProperties& props);
  void Initialize(const std::u16string& fontName, const std::u16string& preFontName, int pointSize, TColor color,
                  TColor hotspot, TColor visited, TColor activeColor, bool linkUnderline, int charSet,
                  int marginHeight, int marginWidth);
  std::u16string NextSeqString();

  // Rules under key in list order; empty when none.
  std::vector<const TProperties*> Find(const std::u16string& key) const;
  const TProperties* First(const std::u16string& key) const;
  int Count() const { return static_cast<int>(items_.size()); }
  const std::multimap<std::u16string, std::unique_ptr<TProperties>>& Items() const { return items_; }

  int SeqNo = 10;
  bool QuirksMode = false;
  bool UseHover = false;
  const TProperties* DefProp = nullptr;

private:
  TProperties& Entry(const std::u16string& key);
  // Link states that the sheet gave a colour of their own.
  std::set<std::u16string> ownLinkColors_;
  std::multimap<std::u16string, std::unique_ptr<TProperties>> items_;
};

}  // namespace htmlview
