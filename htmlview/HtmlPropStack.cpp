#include "htmlview/HtmlPropStack.h"

#include "htmlview/HtmlDocument.h"

namespace htmlview {

THtmlStyleList::THtmlStyleList(ThtDocument* owner) : TStyleList(owner ? owner->QuirksMode : false), Owner(owner) {}

// ---- inline boxes ----

bool HasInlineBox(const TProperties& props) {
  return props.HasBorderStyle() || props.GetBackgroundColor() != clNone;
}

TInlineBox InlineBoxOf(TProperties& props) {
  TVMarArray vm;
  props.CopyBoxProps(vm, true);
  TMarginArray m{};
  const TMyFont& font = props.GetFont();
  // Percentages have no containing block yet: they resolve against 200 by 200 pixels.
  ConvInlineMargArray(vm, 200, 200, font.EmSize, font.ExSize, m);
  TInlineBox box;
  for (int k = 0; k < 4; ++k) {
    const int pad = m[PaddingTop + k];
    box.Padding[k] = pad == IntNull || pad == Auto ? 0 : std::max(0, pad);
    box.BorderStyle[k] = m[BorderTopStyle + k];
    const int w = m[BorderTopWidth + k];
    box.BorderWidth[k] = box.BorderStyle[k] == 0 || w == IntNull ? 0 : std::max(0, w);
    box.BorderColor[k] = static_cast<TColor>(m[BorderTopColor + k]);
  }
  box.Background = props.GetBackgroundColor();
  return box;
}

void TInlineList::Clear() {
  TFreeList<InlineRec>::Clear();
  NeedsConverting = true;
}

void TInlineList::EndOpenRecords(int endSource) {
  for (const auto& r : *this)
    if (r->EndSource < 0) r->EndSource = endSource;
  NeedsConverting = true;
}

void TInlineList::Convert() {
  NeedsConverting = false;
  if (!Owner) return;
  for (const auto& r : *this) {
    r->StartChar = Owner->SourceToChar(r->StartSource, false);
    r->EndChar = r->EndSource < 0 ? Owner->CharCount : Owner->SourceToChar(r->EndSource, true);
    // An element that starts and ends on one character still gets a box of it.
    if (r->StartChar == r->EndChar) --r->StartChar;
  }
}

int TInlineList::StartOf(int i) {
  if (i < 0 || i >= Count()) return 99999999;
  if (NeedsConverting) Convert();
  return (*this)[i]->StartChar;
}

int TInlineList::EndOf(int i) {
  if (i < 0 || i >= Count()) return 99999999;
  if (NeedsConverting) Convert();
  return (*this)[i]->EndChar;
}

// ---- the property stack ----

THtmlPropStack::THtmlPropStack(ThtDocument* owner) : Owner(owner) { Reset(); }

void THtmlPropStack::Reset() {
  clear();
  const bool quirks = Owner && Owner->QuirksMode;
  push_back(std::make_unique<TProperties>(this, quirks));
  if (Owner && Owner->StyleList && Owner->StyleList->DefProp) back()->CopyDefault(*Owner->StyleList->DefProp);
  SIndex = 0;
}

TProperties& THtmlPropStack::PushProperties(const std::u16string& tag, const std::u16string& cls,
                                            const std::u16string& id, const std::u16string& pseudo,
                                            const std::u16string& title, const TProperties* styleAttr) {
  const bool quirks = Owner && Owner->QuirksMode;
  push_back(std::make_unique<TProperties>(this, quirks));
  TProperties& p = *back();
  static const TStyleList empty;
  p.Combine(Owner && Owner->StyleList ? static_cast<const TStyleList&>(*Owner->StyleList) : empty, tag, cls, id,
            pseudo, styleAttr);
  if (!title.empty()) p.PropTitle = title;
  return p;
}

TProperties& THtmlPropStack::PushProperties(const std::u16string& tag, const std::u16string& cls,
                                            const std::u16string& id, const std::u16string& pseudo,
                                            const std::u16string& title, TAttributeList* attributes) {
  const TProperties* style = attributes ? attributes->TheStyle() : nullptr;
  return PushProperties(tag, cls, id, pseudo, title, style);
}

void THtmlPropStack::PopProperties() {
  if (size() <= 1) return;
  // A box that no element end closed ends where its set leaves the stack.
  if (Owner) Owner->ProcessInline(SIndex, *back(), false);
  pop_back();
}

void THtmlPropStack::PopElement(const std::u16string& tagIn) {
  const std::u16string tag = LowerW(tagIn);
  for (size_t i = size(); i-- > 1;) {
    if ((*this)[i]->PropTag != tag) continue;
    if (Owner && HasInlineBox(*(*this)[i])) Owner->ProcessInline(SIndex, *(*this)[i], false);
    erase(begin() + static_cast<std::ptrdiff_t>(i));
    static const TStyleList empty;
    const TStyleList& styles =
        Owner && Owner->StyleList ? static_cast<const TStyleList&>(*Owner->StyleList) : empty;
    // The sets opened after it inherit again from what is now below them.
    for (size_t k = i; k < size(); ++k) (*this)[k]->Update(*(*this)[k - 1], styles);
    return;
  }
}

}  // namespace htmlview
