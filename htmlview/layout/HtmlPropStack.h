#pragma once
// The property sets of the open elements while the page is built, the page's style sheet, and
// the boxes (borders, backgrounds) of inline elements that are drawn behind their text.
#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/markup/HtmlBase.h"
#include "htmlview/style/StyleUn.h"

namespace htmlview {

class ThtDocument;

class THtmlStyleList : public TStyleList {
public:
  explicit THtmlStyleList(ThtDocument* owner);
  ThtDocument* Owner;
};

// The box of an inline element as it is drawn: paddings, border widths, colours and styles and
// the background colour, each by side (top, right, bottom, left).
struct TInlineBox {
  std::array<int, 4> Padding{};
  std::array<int, 4> BorderWidth{};
  std::array<TColor, 4> BorderColor{};
  std::array<int, 4> BorderStyle{};
  TColor Background = clNone;
  bool operator==(const TInlineBox&) const = default;
};

struct InlineRec {
  int StartChar = 0;
  int EndChar = 999999;
  int PropertyID = 0;
  int StartSource = 0;
  int EndSource = -1;  // not yet ended
  TInlineBox Box;
};

class TInlineList : public TFreeList<InlineRec> {
public:
  explicit TInlineList(ThtDocument* owner) : Owner(owner) {}
  ThtDocument* Owner;
  bool NeedsConverting = true;

  void Clear() override;
  // Character indices of record i; 99999999 past the end of the list.
  int StartOf(int i);
  int EndOf(int i);
  // The indices, in list order, of the records whose characters meet [from, to).
  void Meeting(int from, int to, std::vector<int>& out);
  // Records that no element ended end at endSource (the end of their set, or of the page).
  void EndOpenRecords(int endSource);

private:
  void Convert();
  void Collect(size_t node, size_t lo, size_t hi, size_t below, int from, std::vector<int>& out) const;
  // The records by StartChar, and over them a tree of the greatest EndChar, so that a line finds
  // its boxes without looking at every record of the page.
  std::vector<int> byStart_, starts_, reach_;
  size_t leaves_ = 0;
};

// Whether a property set draws an inline box (a border or a background).
bool HasInlineBox(const TProperties& props);
// An element's margins, paddings and borders in pixels: percentages of baseWidth (horizontal) and
// baseHeight (vertical), ems and exes in the element's font.
TMarginArray InlineMargins(TProperties& props, int baseWidth, int baseHeight);
TInlineBox InlineBoxOf(TProperties& props);

// The bottom set is the document's default; item i - 1 is the parent of item i.
class THtmlPropStack : public TPropStack {
public:
  explicit THtmlPropStack(ThtDocument* owner);
  ThtDocument* Owner;
  int SIndex = 0;  // the parser's source position

  TProperties& Last() { return *back(); }
  // Empties the stack down to a fresh default set.
  void Reset();
  // A set for the element, inherited from the top and combined with the style sheet. (The
  // builder starts an inline element's box record with the document's ProcessInline.)
  TProperties& PushProperties(const std::u16string& tag, const std::u16string& cls, const std::u16string& id,
                              const std::u16string& pseudo, const std::u16string& title,
                              const TProperties* styleAttr);
  TProperties& PushProperties(const std::u16string& tag, const std::u16string& cls, const std::u16string& id,
                              const std::u16string& pseudo, const std::u16string& title,
                              TAttributeList* attributes);
  TProperties& PushProperties(const std::u16string& tag, const std::u16string& cls, const std::u16string& id,
                              const std::u16string& pseudo, const std::u16string& title, std::nullptr_t) {
    return PushProperties(tag, cls, id, pseudo, title, static_cast<const TProperties*>(nullptr));
  }
  // Removes the top set, never the bottom one.
  void PopProperties();
  // Removes the set of tag (searched from the top) and repairs the sets opened after it.
  void PopElement(const std::u16string& tag);
};

}  // namespace htmlview
