#include "htmlview/layout/HtmlPropStack.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlSection.h"

namespace htmlview {

THtmlStyleList::THtmlStyleList(ThtDocument* owner) : TStyleList(owner ? owner->QuirksMode : false), Owner(owner) {}

// ---- inline boxes ----

bool HasInlineBox(const TProperties& props) {
  return props.HasBorderStyle() || props.GetBackgroundColor() != clNone;
}

TMarginArray InlineMargins(TProperties& props, int baseWidth, int baseHeight) {
  TVMarArray vm;
  props.CopyBoxProps(vm, true);
  TMarginArray m{};
  const TMyFont& font = props.GetFont();
  ConvInlineMargArray(vm, baseWidth, baseHeight, font.EmSize, font.ExSize, m);
  return m;
}

TInlineBox InlineBoxOf(TProperties& props) {
  // Percentages have no containing block yet: they resolve against 200 by 200 pixels.
  const TMarginArray m = InlineMargins(props, 200, 200);
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
  // The document answers a source position by asking its sections from the first (or the last)
  // until one answers: with a record for every bordered span of a long page that costs the spans
  // times the sections. The sections are listed once instead, with the first that can answer a
  // forward search (the running greatest reach) and the last that can answer a backward one (the
  // least first position from there on) found by halving.
  std::vector<TSection*> all, sections;
  Owner->TextSections(all);
  std::vector<int> reach, first;
  for (TSection* s : all) {
    int f = 0, r = 0;
    if (!s->SourceRange(f, r)) continue;
    sections.push_back(s);
    reach.push_back(reach.empty() ? r : std::max(reach.back(), r));
    first.push_back(f);
  }
  for (size_t i = first.size(); i-- > 1;) first[i - 1] = std::min(first[i - 1], first[i]);
  auto toChar = [&](int source, bool backwards) {
    if (backwards) {
      const auto it = std::upper_bound(first.begin(), first.end(), source);
      if (it != first.begin()) return sections[static_cast<size_t>(it - first.begin()) - 1]->SourceToChar(source, true);
    } else {
      const auto it = std::upper_bound(reach.begin(), reach.end(), source);
      if (it != reach.end()) return sections[static_cast<size_t>(it - reach.begin())]->SourceToChar(source, false);
    }
    return Owner->CharCount;
  };
  for (const auto& r : *this) {
    r->StartChar = toChar(r->StartSource, false);
    r->EndChar = r->EndSource < 0 ? Owner->CharCount : toChar(r->EndSource, true);
    // An element that starts and ends on one character still gets a box of it.
    if (r->StartChar == r->EndChar) --r->StartChar;
  }
  const size_t n = static_cast<size_t>(Count());
  byStart_.resize(n);
  for (size_t i = 0; i < n; ++i) byStart_[i] = static_cast<int>(i);
  std::stable_sort(byStart_.begin(), byStart_.end(),
                   [this](int a, int b) { return (*this)[a]->StartChar < (*this)[b]->StartChar; });
  starts_.resize(n);
  for (size_t i = 0; i < n; ++i) starts_[i] = (*this)[byStart_[i]]->StartChar;
  leaves_ = 1;
  while (leaves_ < n) leaves_ *= 2;
  reach_.assign(2 * leaves_, INT_MIN);
  for (size_t i = 0; i < n; ++i) reach_[leaves_ + i] = (*this)[byStart_[i]]->EndChar;
  for (size_t i = leaves_; i-- > 1;) reach_[i] = std::max(reach_[2 * i], reach_[2 * i + 1]);
}

void TInlineList::Collect(size_t node, size_t lo, size_t hi, size_t below, int from, std::vector<int>& out) const {
  if (lo >= below || reach_[node] <= from) return;
  if (hi - lo == 1) {
    out.push_back(byStart_[lo]);
    return;
  }
  const size_t mid = lo + (hi - lo) / 2;
  Collect(2 * node, lo, mid, below, from, out);
  Collect(2 * node + 1, mid, hi, below, from, out);
}

void TInlineList::Meeting(int from, int to, std::vector<int>& out) {
  out.clear();
  if (Count() == 0) return;
  if (NeedsConverting) Convert();
  // Those that start before to, and of them those that end after from.
  const size_t below = static_cast<size_t>(std::lower_bound(starts_.begin(), starts_.end(), to) - starts_.begin());
  Collect(1, 0, leaves_, below, from, out);
  std::sort(out.begin(), out.end());
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
