#include "htmlview/layout/HtmlSection.h"

#include <QChar>
#include <algorithm>
#include <climits>
#include <typeinfo>

#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlBorder.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleValues.h"

namespace htmlview {

namespace {

// Widths and positions add up over a line and lines over a section: held to the page.
void Grow(int& sum, long long add) { sum = CapCoord(sum + add); }

constexpr char16_t kShy = 0x00AD;
constexpr char16_t kNbsp = 0x00A0;

bool IsWide(char16_t c) { return c >= 0x3000; }
bool IsBreakAfter(char16_t c) { return c == u'-' || c == u'/' || c == u'?'; }
bool IsBreakChar(char16_t c) {
  return c == u' ' || c == FmCtl || c == ImgPan || c == BrkCh || IsBreakAfter(c) || IsWide(c);
}
bool IsSpecial(char16_t c) { return c == FmCtl || c == ImgPan; }

char16_t Lower(char16_t c) { return QChar::isSurrogate(c) ? c : QChar::toLower(c); }
char16_t Upper(char16_t c) { return QChar::isSurrogate(c) ? c : QChar::toUpper(c); }

std::u16string LowerText(const std::u16string& s) {
  std::u16string r = s;
  for (char16_t& c : r) c = Lower(c);
  return r;
}

}  // namespace

// ---- construction ----

TSection::TSection(ThtDocument* owner, TCellBasic* cell, TProperties& props, const TUrlTarget* anchor,
                   TAttributeList* attributes, bool takeTextIndent)
    : TSectionBase(owner, cell) {
  auto font = std::make_unique<TFontObj>(this, props.GetFont(), 0);
  font->Title = props.PropTitle;
  const int va = props.GetVertAlign();
  font->SScript = va == 8 ? ssSub : va == 9 ? ssSuper : ssNone;
  if (anchor) {
    font->UrlTarget = std::make_unique<TUrlTarget>();
    font->UrlTarget->Copy(*anchor);
    if (props.FontInfo) {
      font->FIArray = std::make_unique<TFontInfoArray>(*props.FontInfo);
      if (!owner || !owner->NoLinkStyling) font->ConvertFont((*font->FIArray)[0]);
    }
    if (owner) {
      owner->LinkFonts.push_back(font.get());
      font->InLinkFonts = true;
    }
  }
  TFontObj* first = Fonts.Add(std::move(font));
  if (first->InLinkFonts) first->AdoptParkedTabControl();
  DefaultLineHeight = props.GetLineHeight(first->FontHeight);
  if (takeTextIndent) {
    bool percent = false;
    const int indent = props.GetTextIndent(percent);
    if (percent)
      TextIndentPercent = std::min(indent, 90);
    else
      TextIndent = indent;
  }
  if (attributes) {
    for (const auto& a : *attributes) {
      if (a->Which == ClearSy) {
        const std::u16string v = LowerText(a->Name);
        ClearMode = v == u"left" ? 1 : v == u"right" ? 2 : 3;
      } else if (a->Which == IdSy && owner && !a->Name.empty()) {
        owner->IdentifierList.AddObject(a->Name, this);
      }
    }
  }
  if (const int clear = props.GetClear(); clear > 0) ClearMode = static_cast<uint8_t>(clear);
  const std::u16string align = props.Text(TPropIndex::TextAlign);
  TextAlign = align == u"right" ? 3 : align == u"center" ? 2 : align == u"justify" ? 4 : 1;
  BreakWord = props.Text(WordWrap) == u"break-word";
}

TSection::TSection(ThtDocument* owner, TCellBasic* cell, const TSection& source)
    : TSectionBase(owner, cell, source) {
  Text = source.Text;
  BreakCodes = source.BreakCodes;
  for (const auto& f : source.Fonts) Fonts.Add(std::make_unique<TFontObj>(this, *f));
  for (const auto& o : source.Images) Images.Add(o->Clone(owner));
  FormControls = source.FormControls;
  TextAlign = source.TextAlign;
  ClearMode = source.ClearMode;
  DefaultLineHeight = source.DefaultLineHeight;
  TextIndent = source.TextIndent;
  TextIndentPercent = source.TextIndentPercent;
  BreakWord = source.BreakWord;
  CharCount = source.CharCount;
  SourceIndex = source.SourceIndex;
  SectionNumber = source.SectionNumber;
  HasAnchor = source.HasAnchor;
  Finished = true;
}

TSection::~TSection() {
  if (!Owner || Owner->BeingDestroyed) return;
  Unlink();
}

void TSection::Unlink() {
  if (!Owner) return;
  for (const auto& f : Fonts) {
    if (f->InLinkFonts) EraseNearEnds(Owner->LinkFonts, f.get());
    f->InLinkFonts = false;
    if (Owner->HoverLink == f.get()) Owner->HoverLink = nullptr;
    // A link that starts in a section with nothing to show keeps its tab control for its text
    // further on.
    if (f->TabControl) Owner->ParkTabControl(f->LinkID(), std::move(f->TabControl));
  }
  Owner->IdentifierList.RemoveObject(this);
  for (const auto& o : Images) {
    Owner->IdentifierList.RemoveObject(o.get());
    if (Owner->HoverImage == o.get()) Owner->HoverImage = nullptr;
    auto& pending = Owner->PendingImages;
    pending.erase(std::remove_if(pending.begin(), pending.end(), [&](const auto& p) { return p.second == o.get(); }),
                  pending.end());
  }
  EraseNearEnds(Owner->SectionPositions, static_cast<TSectionBase*>(this));
}

std::unique_ptr<TSectionBase> TSection::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TSection>(owner, cell, *this);
}

std::unique_ptr<TSectionBase> TPreFormated::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TPreFormated>(owner, cell, *this);
}

// ---- building ----

void TSection::AddChar(char16_t ch, int sourcePos) { AddChars(&ch, &sourcePos, 1); }

void TSection::AddToken(TokenObj& token) {
  if (token.Leng <= 0) return;
  AddChars(token.C.data(), token.I.data(), token.Leng);
}

namespace {

constexpr double kSmallCapsScale = 0.8;

// The size in points of the small capitals of text in props.
double SmallCapsSize(const TProperties& props) {
  const TPropValue& size = props.Props[FontSize];
  double points = DefPointSize;
  if (auto d = std::get_if<double>(&size))
    points = *d;
  else if (auto i = std::get_if<int>(&size))
    points = *i;
  else if (auto s = std::get_if<std::u16string>(&size))
    points = FontSizeConv(*s, DefPointSize, props.QuirksMode);
  return points * kSmallCapsScale;
}

}  // namespace

void TSection::AddText(const std::u16string& text, int sourceStart) {
  std::vector<int> positions(text.size());
  for (size_t i = 0; i < text.size(); ++i) positions[i] = sourceStart + static_cast<int>(i);
  AddChars(text.data(), positions.data(), static_cast<int>(text.size()));
}

void TSection::AddChars(const char16_t* chars, const int* sourcePositions, int count) {
  if (count <= 0 || Finished) return;
  TProperties* top = Owner && Owner->PropertyStack ? &Owner->PropertyStack->Last() : nullptr;
  if (top && top->GetDisplay() == pdNone) return;
  const int transform = top ? top->GetTextTransform() : 0;
  const char code = (Owner && Owner->NoBreak) || dynamic_cast<TPreFormated*>(this) ? 'n' : 'y';
  const bool smallCaps = top && top->GetFontVariant() == u"small-caps";
  // Room for the run and the closing space Finish adds. The positions grow by doubling once a
  // section has some: a paragraph is added a run at a time, and growing to each new size exactly
  // copied it whole for every run. (The strings double by themselves.)
  const size_t base = Text.size(), needed = base + static_cast<size_t>(count) + 1;
  Text.reserve(needed);
  BreakCodes.reserve(needed);
  if (needed > SourcePositions.capacity())
    SourcePositions.reserve(base == 0 ? needed : std::max(needed, 2 * SourcePositions.capacity()));
  if (transform == 0 && !smallCaps) {
    Text.append(chars, static_cast<size_t>(count));
    BreakCodes.append(static_cast<size_t>(count), code);
    SourcePositions.insert(SourcePositions.end(), sourcePositions, sourcePositions + count);
    return;
  }
  bool small = false;
  for (int i = 0; i < count; ++i) {
    char16_t c = chars[i];
    // One character to one, so that positions, codes and sources stay in step.
    if (transform == 1) c = Upper(c);
    else if (transform == 2) c = Lower(c);
    if (smallCaps && top) {
      const char16_t up = Upper(c);
      const bool lower = up != c;
      if (lower && !small) {
        auto& stack = *Owner->PropertyStack;
        stack.push_back(std::make_unique<TProperties>(&stack, top->QuirksMode));
        TProperties& p = *stack.back();
        p.Inherit(top->PropTag, *top);
        p.Props = top->Props;
        p.OwnFlags = top->OwnFlags;
        p.PropTag = top->PropTag;
        // Small capitals are a size below the capitals beside them, in any mode: a keyword
        // size would be absolute, and in quirks mode larger than the text.
        p.SetPropByIndex(FontSize, SmallCapsSize(*top));
        if (p.FontInfo)
          for (ThtFontInfo& f : *p.FontInfo) f.iSize *= kSmallCapsScale;
        ChangeFont(p);
        small = true;
      } else if (!lower && small) {
        Owner->PropertyStack->pop_back();
        ChangeFont(*top);
        small = false;
      }
      c = up;
    }
    Text.push_back(c);
    BreakCodes.push_back(code);
    SourcePositions.push_back(sourcePositions[i]);
  }
  if (small) {
    Owner->PropertyStack->pop_back();
    ChangeFont(*top);
  }
}

TImageObj* TSection::AddImage(const TAttributeList* attributes, TCellBasic*, int sourcePos) {
  if (Finished) return nullptr;
  auto image = std::make_unique<TImageObj>(Owner, Length(), attributes);
  if (Owner && Owner->PropertyStack) image->ProcessProperties(Owner->PropertyStack->Last());
  TImageObj* made = image.get();
  Images.Add(std::move(image));
  AddChar(ImgPan, sourcePos);
  return made;
}

TPanelObj* TSection::AddPanel(const TAttributeList* attributes, TCellBasic*, int sourcePos) {
  if (Finished) return nullptr;
  auto panel = std::make_unique<TPanelObj>(Owner, Length(), attributes, Owner && Owner->PrintCopy);
  if (Owner && Owner->PropertyStack) panel->ProcessProperties(Owner->PropertyStack->Last());
  return AddPanelObject(std::move(panel), sourcePos);
}

TPanelObj* TSection::AddPanelObject(std::unique_ptr<TPanelObj> panel, int sourcePos) {
  if (Finished || !panel) return nullptr;
  panel->Pos = Length();
  TPanelObj* made = panel.get();
  Images.Add(std::move(panel));
  AddChar(ImgPan, sourcePos);
  return made;
}

TFormControlObj* TSection::AddFormControl(const std::u16string& type, const TAttributeList* attributes, TCellBasic*,
                                          int sourcePos, TProperties& props) {
  if (Finished || !Owner) return nullptr;
  auto control = MakeFormControl(Owner, Length(), type, attributes, props);
  TFormControlObj* made = control.get();
  Owner->FormControls.push_back(std::move(control));
  if (made->Hidden()) return made;
  FormControls.push_back(made);
  AddChar(FmCtl, sourcePos);
  return made;
}

void TSection::AllowBreakHere() {
  if (!BreakCodes.empty()) BreakCodes.back() = 'a';
}

namespace {

// The run that a font change uses: a new one when characters came since the last began.
TFontObj* RunFor(TSection& s, TProperties& props) {
  TFontObj* last = s.Fonts.Last();
  if (last && last->Pos < s.Length()) {
    auto run = std::make_unique<TFontObj>(&s, props.GetFont(), s.Length());
    if (last->UrlTarget) {
      run->UrlTarget = std::make_unique<TUrlTarget>();
      run->UrlTarget->Copy(*last->UrlTarget);
    }
    return s.Fonts.Add(std::move(run));
  }
  last->ReplaceFont(props.GetFont());
  return last;
}

void JoinLinks(ThtDocument* doc, TFontObj* run) {
  if (!doc) return;
  if (run->InLinkFonts) return;
  doc->LinkFonts.push_back(run);
  run->InLinkFonts = true;
  run->AdoptParkedTabControl();
}

void LeaveLinks(ThtDocument* doc, TFontObj* run) {
  if (!doc) return;
  if (!run->InLinkFonts) return;
  EraseNearEnds(doc->LinkFonts, run);
  run->InLinkFonts = false;
}

void SetScript(TFontObj* run, const TProperties& props) {
  const int va = props.GetVertAlign();
  run->SScript = va == 8 ? ssSub : va == 9 ? ssSuper : ssNone;
}

}  // namespace

void TSection::ChangeFont(TProperties& props) {
  if (Finished) return;
  TFontObj* run = RunFor(*this, props);
  run->Title = props.PropTitle;
  SetScript(run, props);
  if (run->UrlTarget && props.InLink && props.FontInfo) {
    run->FIArray = std::make_unique<TFontInfoArray>(*props.FontInfo);
    if (!Owner || !Owner->NoLinkStyling) run->ConvertFont((*run->FIArray)[run->StateIndex()]);
    JoinLinks(Owner, run);
  }
}

void TSection::HRef(bool start, TProperties& props, const TUrlTarget* target) {
  if (Finished) return;
  TFontObj* run = RunFor(*this, props);
  run->Title = props.PropTitle;
  SetScript(run, props);
  if (start && target) {
    run->UrlTarget = std::make_unique<TUrlTarget>();
    run->UrlTarget->Copy(*target);
    if (props.FontInfo) {
      run->FIArray = std::make_unique<TFontInfoArray>(*props.FontInfo);
      if (!Owner || !Owner->NoLinkStyling) run->ConvertFont((*run->FIArray)[0]);
    }
    JoinLinks(Owner, run);
    // Every link has its place in the tab order, taken as the page is read.
    if (Owner && !Owner->PrintCopy) run->CreateTabControl(target->TabIndex);
  } else if (!start) {
    LeaveLinks(Owner, run);
    run->UrlTarget.reset();
    run->FIArray.reset();
    // The run the link's tab control stood on has no text: the link showed none.
    run->TabControl.reset();
  }
}

void TSection::RemoveChar(int index) {
  Text.erase(static_cast<size_t>(index), 1);
  BreakCodes.erase(static_cast<size_t>(index), 1);
  if (static_cast<size_t>(index) < SourcePositions.size())
    SourcePositions.erase(SourcePositions.begin() + index);
  Fonts.Decrement(index, Owner);
  Images.Decrement(index);
  FormControls.Decrement(index);
}

void TSection::BuildSourceIndex() {
  SourceIndex.clear();
  orderKnownFor_ = -1;
  for (size_t i = 0; i < SourcePositions.size(); ++i)
    if (i == 0 || SourcePositions[i] != SourcePositions[i - 1] + 1)
      SourceIndex.push_back({static_cast<int>(i), SourcePositions[i]});
  std::vector<int>().swap(SourcePositions);
}

void TSection::Finish(int sourcePos) {
  if (Finished) return;
  if (dynamic_cast<TPreFormated*>(this)) {
    static_cast<TPreFormated*>(this)->FinishPre(sourcePos);
    return;
  }
  const size_t n = Text.size();
  // One pass: each character is kept or dropped by the rules in their order (leading spaces,
  // soft hyphens, doubled spaces, spaces after floats, spaces around line breaks); what is kept
  // moves down in place, so that the work stays linear however many characters go.
  // The characters before the first that a rule may touch stay as they are, and are passed over:
  // in most sections no rule touches any.
  size_t first = 0;
  while (first < n) {
    const char16_t c = Text[first];
    if (c == kShy || c == ImgPan || c == BrkCh || (c == u' ' && (first == 0 || Text[first - 1] == u' '))) break;
    ++first;
  }
  std::vector<int> newIndex;
  if (first < n) {
    newIndex.resize(n + 1);
    for (size_t i = 0; i < first; ++i) newIndex[i] = static_cast<int>(i);
  }
  size_t out = first;
  size_t image = 0;
  auto floatsAt = [&](size_t pos) {
    while (image < static_cast<size_t>(Images.Count()) && Images[static_cast<int>(image)]->Pos < static_cast<int>(pos))
      ++image;
    return image < static_cast<size_t>(Images.Count()) && Images[static_cast<int>(image)]->Pos == static_cast<int>(pos) &&
           Images[static_cast<int>(image)]->IsFloat();
  };
  // Whether the last character kept is a float's mark. A space dropped before a line break is
  // the last one kept, and the break takes its place at once: one flag is all the history needed.
  bool lastKeptFloat = false;
  for (size_t i = first; i < n; ++i) {
    newIndex[i] = static_cast<int>(out);
    const char16_t c = Text[i];
    const char code = BreakCodes[i];
    const int src = i < SourcePositions.size() ? SourcePositions[i] : sourcePos;
    if (c == kShy) {
      if (out > 0 && BreakCodes[out - 1] != 'n') BreakCodes[out - 1] = 's';
      continue;
    }
    if (c == u' ') {
      if (out == 0) continue;
      const char16_t prev = Text[out - 1];
      if (prev == u' ') {
        if (BreakCodes[out - 1] == 'n') {
          // Under no-wrap the second space of a pair stays.
          BreakCodes[out - 1] = code;
          SourcePositions[out - 1] = src;
        }
        continue;
      }
      if (prev == ImgPan && lastKeptFloat) continue;
      if (prev == BrkCh) continue;
    }
    bool isFloat = false;
    if (c == ImgPan) isFloat = floatsAt(i);
    if (c == BrkCh && out > 0 && Text[out - 1] == u' ') {
      --out;
      newIndex[i] = static_cast<int>(out);
    }
    Text[out] = c;
    BreakCodes[out] = code;
    if (out < SourcePositions.size()) SourcePositions[out] = src;
    lastKeptFloat = isFloat;
    ++out;
  }
  if (first < n) {
    newIndex[n] = static_cast<int>(out);
    // A space dropped before a line break moved the break's index: mend the map for what follows.
    for (size_t i = n; i-- > 0;) newIndex[i] = std::min(newIndex[i], newIndex[i + 1]);
  }
  Text.resize(out);
  BreakCodes.resize(out);
  SourcePositions.resize(std::min(SourcePositions.size(), out));
  // The objects and runs follow their characters.
  auto moved = [&](int pos) {
    const int at = std::clamp(pos, 0, static_cast<int>(n));
    return newIndex.empty() ? at : newIndex[static_cast<size_t>(at)];
  };
  for (const auto& o : Images) o->Pos = moved(o->Pos);
  for (TFormControlObj* c : FormControls) c->Pos = moved(c->Pos);
  for (const auto& f : Fonts) f->Pos = moved(f->Pos);
  // Runs that now start together: the later one stays.
  for (int i = Fonts.Count() - 1; i > 0; --i) {
    if (Fonts[i]->Pos != Fonts[i - 1]->Pos) continue;
    LeaveLinks(Owner, Fonts[i - 1]);
    Fonts[i]->TakeTabControl(*Fonts[i - 1]);
    Fonts.Delete(i - 1);
  }
  if (Text.size() > 1 && Text.back() == BrkCh) RemoveChar(static_cast<int>(Text.size()) - 1);
  if (Text.size() > 1 && Text.back() == u' ') RemoveChar(static_cast<int>(Text.size()) - 1);
  if (!Text.empty() && !(Text.size() == 1 && Text[0] == BrkCh) && Text.back() != u' ') {
    Text.push_back(u' ');
    BreakCodes.push_back('y');
    SourcePositions.push_back(sourcePos);
  }
  // A section added in many runs grew by doubling: it keeps what it holds.
  auto fit = [](auto& held) {
    if (held.capacity() - held.size() > held.size() / 8) held.shrink_to_fit();
  };
  fit(Text);
  fit(BreakCodes);
  fit(SourcePositions);
  BuildSourceIndex();
  if (!Text.empty() && Owner) SectionNumber = ++Owner->SectionCount;
  CharCount = Length();
  Finished = true;
}

void TPreFormated::FinishPre(int) {
  const int prev = SourcePositions.empty() ? 0 : SourcePositions.back() + 1;
  Text.push_back(u' ');
  BreakCodes.push_back('n');
  SourcePositions.push_back(prev);
  BuildSourceIndex();
  if (Owner) SectionNumber = ++Owner->SectionCount;
  CharCount = Length();
  Finished = true;
}

// ---- measuring ----

int TSection::FindTextWidth(int start, int count, bool ignoreTrailingBreaks) {
  const int len = Length();
  start = std::clamp(start, 0, len);
  count = std::clamp(count, 0, len - start);
  if (ignoreTrailingBreaks)
    while (count > 0 && (Text[static_cast<size_t>(start + count - 1)] == u' ' ||
                         Text[static_cast<size_t>(start + count - 1)] == BrkCh))
      --count;
  int width = 0;
  int pos = start;
  const int end = start + count;
  while (pos < end) {
    const char16_t c = Text[static_cast<size_t>(pos)];
    if (c == ImgPan) {
      if (TFloatingObj* o = Images.FindImage(pos); o && !o->IsFloat()) Grow(width, o->TotalWidth());
      ++pos;
      continue;
    }
    if (c == FmCtl) {
      if (TFormControlObj* f = FormControls.FindControl(pos)) Grow(width, f->TotalWidth());
      ++pos;
      continue;
    }
    int overhang = 0;
    TFontObj* font = Fonts.GetFontAt(pos, overhang);
    int runEnd = std::min(end, pos + Fonts.GetFontCountAt(pos, len));
    int k = pos;
    while (k < runEnd && !IsSpecial(Text[static_cast<size_t>(k)])) ++k;
    runEnd = k;
    if (runEnd <= pos) break;
    Grow(width, static_cast<long long>(font->TextWidth(Text.data() + pos, runEnd - pos)) - overhang);
    pos = runEnd;
  }
  return width;
}

int TSection::ClearSpace(TIndentManager& imgr, int y) const {
  if (ClearMode == 0) return 0;
  int cl = 0, cr = 0;
  imgr.GetClearLeftRight(cl, cr);
  int target = 0;
  if (ClearMode == 1) target = cl;
  else if (ClearMode == 2) target = cr;
  else target = std::max(cl, cr);
  return std::max(0, target - y);
}

int TSection::FitCount(int p, int r, int lineY, bool firstLine, TIndentManager& imgr, int& left, int& right,
                       int& objectHeight) {
  const int len = Length();
  if (Text[static_cast<size_t>(p)] == BrkCh) return 1;
  // The next line break: found once and kept while the lines before it are placed.
  if (nextBreak_ < p) {
    nextBreak_ = p;
    while (nextBreak_ < len && Text[static_cast<size_t>(nextBreak_)] != BrkCh) ++nextBreak_;
  }
  int limit = r;
  bool limitedByBreak = false;
  if (nextBreak_ < p + r) {
    limit = nextBreak_ - p;
    limitedByBreak = true;
  }
  auto edges = [&] {
    left = imgr.LeftIndent(lineY);
    right = imgr.RightSide(lineY);
  };
  edges();
  const int indent = firstLine ? FirstLineIndent(left) : 0;
  int width = right - left - indent;
  if (firstLine && Fonts.Count() == 1 && Images.Count() == 0 && FormControls.empty() &&
      static_cast<long long>(Fonts[0]->tmMaxCharWidth) * limit <= width && Fonts[0]->tmMaxCharWidth > 0)
    return limitedByBreak ? limit + 1 : limit;
  int pos = p, used = 0, count = 0;
  objectHeight = 0;
  while (count < limit) {
    const char16_t c = Text[static_cast<size_t>(pos)];
    if (c == FmCtl) {
      TFormControlObj* f = FormControls.FindControl(pos);
      const int w = f ? f->TotalWidth() : 0;
      if (used + w > width) return count;
      used += w;
      if (f) objectHeight = std::max(objectHeight, f->Height() + f->MarginTop + f->MarginBottom);
      ++count, ++pos;
      continue;
    }
    if (c == ImgPan) {
      TFloatingObj* o = Images.FindImage(pos);
      if (o && o->IsFloat()) {
        if (!o->Placed) {
          // A float met for the first time goes to its edge here (or lower, where it fits);
          // the line's room changes, and what was counted is counted again.
          PlaceFloat(*o, lineY, imgr);
          edges();
          width = right - left - indent;
          if (count > 0) {
            pos = p, used = 0, count = 0, objectHeight = 0;
            continue;
          }
        }
        ++count, ++pos;
        continue;
      }
      const int w = o ? o->TotalWidth() : 0;
      if (used + w > width) return count;
      used += w;
      if (o) objectHeight = std::max(objectHeight, o->TotalHeight());
      ++count, ++pos;
      continue;
    }
    int overhang = 0;
    TFontObj* font = Fonts.GetFontAt(pos, overhang);
    const int runEnd = std::min({p + limit, pos + Fonts.GetFontCountAt(pos, len), NextObjectAt(pos)});
    if (runEnd <= pos) break;
    int extent = 0;
    const int n = runEnd - pos;
    int fit = font->FitChars(Text.data() + pos, n, width - used + overhang, extent);
    if (fit < n) {
      if (fit > 0 && BreakCodes[static_cast<size_t>(pos + fit - 1)] == 's' &&
          used + extent + font->TextWidth(u"-", 1) > width)
        --fit;
      return count + fit;
    }
    used += extent - overhang;
    count += n;
    pos = runEnd;
  }
  if (limitedByBreak && count == limit) ++count;
  return count;
}

void TSection::PlaceFloat(TFloatingObj& o, int lineY, TIndentManager& imgr) {
  int y = lineY;
  const int x = o.Floating == ALeft ? imgr.AlignLeft(y, o.TotalWidth()) : imgr.AlignRight(y, o.TotalWidth());
  if (o.Floating == ALeft)
    imgr.AddLeft(y, y + o.TotalHeight(), o.TotalWidth());
  else
    imgr.AddRight(y, y + o.TotalHeight(), o.TotalWidth());
  o.DrawX = x + o.HSpaceL;
  o.DrawY = y + o.VSpaceT;
  o.Placed = true;
}

int TSection::NextObjectAt(int pos) const {
  int next = Length();
  auto image = std::lower_bound(Images.begin(), Images.end(), pos,
                                [](const std::unique_ptr<TFloatingObj>& o, int p) { return o->Pos < p; });
  if (image != Images.end()) next = std::min(next, (*image)->Pos);
  auto control = std::lower_bound(FormControls.begin(), FormControls.end(), pos,
                                  [](const TFormControlObj* c, int p) { return c->Pos < p; });
  if (control != FormControls.end()) next = std::min(next, (*control)->Pos);
  return next;
}

int TSection::CharX(const LineRec& line, int index) {
  index = std::clamp(index, line.Start, line.Start + line.CharCount);
  int x = line.LineOffset + FindTextWidth(line.Start, index - line.Start, false);
  if (line.Spaces > 0 && line.Extra > 0) {
    int spaces = 0;
    for (int k = line.Start; k < index; ++k) {
      const char16_t c = Text[static_cast<size_t>(k)];
      if (c == u' ' || c == kNbsp) ++spaces;
    }
    spaces = std::min(spaces, line.Spaces);
    const int each = line.Extra / line.Spaces, more = line.Extra % line.Spaces;
    Grow(x, static_cast<long long>(spaces) * each + std::min(spaces, more));
  }
  return x;
}

void TSection::CompleteLine(int p, int n, int& y, TIndentManager& imgr, bool firstLine) {
  LineRec line;
  line.Start = p;
  line.CharCount = n;
  line.LineY = y;
  line.FirstLine = firstLine;
  line.HasInlineBorders = Owner && Owner->InlineBoxes && !Owner->InlineBoxes->Empty();
  bool textHeight = false;
  for (int k = p; k < p + n; ++k) {
    const char16_t c = Text[static_cast<size_t>(k)];
    if (c == FmCtl || c == ImgPan || c == BrkCh || (c == u' ' && k == p)) continue;
    textHeight = true;
    break;
  }
  if (textHeight) {
    int index = 0;
    Fonts.GetFontObjAt(p, index);
    for (int i = std::max(0, index); i < Fonts.Count(); ++i) {
      TFontObj* f = Fonts[i];
      if (f->Pos >= p + n) break;
      line.LineHeight = std::max(line.LineHeight, f->FontHeight);
      line.Descent = std::max(line.Descent, f->Descent);
    }
  }
  if (DefaultLineHeight >= 0 && DefaultLineHeight != line.LineHeight && textHeight) {
    const int diff = DefaultLineHeight - line.LineHeight;
    line.SpaceAbove = diff / 2;
    line.SpaceBelow = diff - diff / 2;
  }
  int tallest = 0;
  for (int k = p; k < p + n; ++k) {
    const char16_t c = Text[static_cast<size_t>(k)];
    if (c == ImgPan) {
      int w = 0, h = 0;
      AlignmentType align = ANone;
      if (!Images.GetImageAt(k, w, h, align)) continue;
      tallest = std::max(tallest, h);
      int lh = line.LineHeight, d = line.Descent;
      if (!textHeight && align == AMiddle) lh = Fonts[0]->FontHeight, d = Fonts[0]->Descent;
      switch (align) {
        case ATop: line.SpaceBelow = std::max(line.SpaceBelow, h - lh); break;
        case AMiddle:
          line.SpaceAbove = std::max(line.SpaceAbove, (h - lh) / 2);
          line.SpaceBelow = std::max(line.SpaceBelow, h - lh - (h - lh) / 2);
          break;
        default: line.SpaceAbove = std::max(line.SpaceAbove, h - (lh - d)); break;
      }
    } else if (c == FmCtl) {
      TFormControlObj* f = FormControls.FindControl(k);
      if (!f) continue;
      const int h = f->Height() + f->MarginTop + f->MarginBottom;
      tallest = std::max(tallest, h);
      const int lh = line.LineHeight, d = line.Descent;
      switch (f->VertAlign) {
        case ATop: line.SpaceBelow = std::max(line.SpaceBelow, h - lh); break;
        case AMiddle:
          line.SpaceAbove = std::max(line.SpaceAbove, (h - lh) / 2);
          line.SpaceBelow = std::max(line.SpaceBelow, h - lh - (h - lh) / 2);
          break;
        case ABaseline: line.SpaceAbove = std::max(line.SpaceAbove, h - (lh - d)); break;
        default: line.SpaceAbove = std::max(line.SpaceAbove, h - lh); break;
      }
    }
  }
  line.EndsWithSoftHyphen = n > 0 && BreakCodes[static_cast<size_t>(p + n - 1)] == 's';
  int width = FindTextWidth(p, n, true);
  if (line.EndsWithSoftHyphen) {
    int overhang = 0;
    Grow(width, Fonts.GetFontAt(p + n - 1, overhang)->TextWidth(u"-", 1));
  }
  const int left = imgr.ImageLeft(y);
  const int indent = firstLine ? FirstLineIndent(left) : 0;
  MaxLineWidth = std::max(MaxLineWidth, width + indent);
  const int l = left + indent, r = imgr.ImageRight(y);
  switch (TextAlign) {
    case 2: line.LineOffset = (l + r - width) / 2 - sectionX_; break;
    case 3: line.LineOffset = r - sectionX_ - width; break;
    default: line.LineOffset = l - sectionX_; break;
  }
  if (TextAlign == 4 && p + n < Length()) {
    line.Extra = (r - l) - width;
    for (int k = p; k < p + n - 1; ++k) {
      const char16_t c = Text[static_cast<size_t>(k)];
      if (c == u' ' || c == kNbsp) ++line.Spaces;
    }
    // Nothing spreads over no spaces, and a line wider than its room is never squeezed.
    if (line.Spaces == 0 || line.Extra <= 0) line.Extra = 0;
  }
  line.AvailableWidth = r - l;
  const int height = line.Height();
  line.LineImageHeight = std::max(height, tallest);
  // Objects in the line: their places in the document.
  for (int k = p; k < p + n; ++k) {
    const char16_t c = Text[static_cast<size_t>(k)];
    if (c == ImgPan) {
      TFloatingObj* o = Images.FindImage(k);
      if (!o || o->IsFloat()) continue;
      const int h = o->TotalHeight();
      const int base = y + line.SpaceAbove + line.LineHeight - line.Descent;
      int top;
      if (o->VertAlign == ATop) top = y + line.SpaceAbove;
      else if (o->VertAlign == AMiddle) top = y + line.SpaceAbove + (line.LineHeight - h) / 2;
      else top = base - h;
      o->DrawX = sectionX_ + CharX(line, k) + o->HSpaceL;
      o->DrawY = top + o->VSpaceT;
    } else if (c == FmCtl) {
      // The control's window belongs to the screen's layout: a print copy places it only when
      // drawing, by its own lines.
      TFormControlObj* f = FormControls.FindControl(k);
      if (f && (!Owner || !Owner->PrintCopy)) f->YValue = ControlTop(line, *f, y);
    }
  }
  // A link's top, for scrolling it into view when it takes the focus: the line where it starts.
  int first = 0;
  Fonts.GetFontObjAt(p, first);
  for (int i = std::max(0, first); i < Fonts.Count() && Fonts[i]->Pos < p + n; ++i)
    if (Fonts[i]->Pos >= p && Fonts[i]->IsLink()) Fonts[i]->YValue = y;
  Lines.push_back(std::move(line));
  Grow(y, height);
}

// ---- layout ----

int TSection::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int, int, int,
                     TIndentManager& imgr, int& maxWidth, int& curs) {
  StartChar = curs;
  sectionX_ = x;
  sectionWidth_ = width;
  Lines.clear();
  MaxLineWidth = 0;
  YPos = DrawTop = ContentTop = y;
  const int len = Length();
  CharCount = len;
  curs += len;
  maxWidth = 0;
  if (len == 0) {
    const int h = Preformatted() ? Fonts[0]->FontHeight : ClearSpace(imgr, y);
    SectionHeight = DrawHeight = h;
    ContentBottom = DrawBottom = y + h;
    return h;
  }
  if (TextIndentPercent) TextIndent = TextIndentPercent * width / 100;
  const int avail = std::max(0, std::min(width, imgr.RightSide(y) - imgr.LeftIndent(y)));
  int reported = avail;
  for (const auto& o : Images) {
    int overhang = 0;
    o->DrawLogic(*Owner, canvas, Fonts.GetFontAt(o->Pos, overhang), avail, availableHeight);
    o->Placed = false;
    reported = std::max(reported, o->TotalWidth());
  }
  for (TFormControlObj* f : FormControls) {
    if (f->PercentWidth) f->SetWidth(std::max(0, f->SpecWidth * avail / 100));
    reported = std::max(reported, f->TotalWidth());
  }
  int curY = y;
  int p = 0;
  nextBreak_ = -1;
  if (const int drop = ClearSpace(imgr, y); drop > 0) {
    LineRec empty;
    empty.Start = 0;
    empty.LineY = curY;
    empty.LineHeight = empty.LineImageHeight = drop;
    Lines.push_back(empty);
    curY += drop;
  }
  bool firstLine = true;
  auto spacesAfter = [&](int k) {
    while (k < len && Text[static_cast<size_t>(k)] == u' ') ++k;
    return k;
  };
  auto complete = [&](int n) {
    CompleteLine(p, n, curY, imgr, firstLine);
    firstLine = false;
    p += n;
  };
  // An empty line down to where floats leave more room.
  auto skipTo = [&](int wider) {
    LineRec empty;
    empty.Start = p;
    empty.LineY = curY;
    empty.LineHeight = empty.LineImageHeight = wider - curY;
    Lines.push_back(empty);
    curY = wider;
  };
  while (p < len) {
    const int r = len - p;
    int left = 0, right = 0, objH = 0;
    int fit;
    if (Preformatted()) {
      // Lines end only at line breaks.
      fit = r;
      for (int k = p; k < len; ++k)
        if (Text[static_cast<size_t>(k)] == BrkCh) {
          fit = k - p + 1;
          break;
        }
      // Floats in the line still go to their edges.
      for (auto it = std::lower_bound(Images.begin(), Images.end(), p,
                                      [](const std::unique_ptr<TFloatingObj>& o, int v) { return o->Pos < v; });
           it != Images.end() && (*it)->Pos < p + fit; ++it)
        if ((*it)->IsFloat() && !(*it)->Placed) PlaceFloat(**it, curY, imgr);
    } else {
      fit = FitCount(p, r, curY, firstLine, imgr, left, right, objH);
    }
    int n = std::max(1, fit);
    const char16_t c0 = Text[static_cast<size_t>(p)];
    const char code0 = BreakCodes[static_cast<size_t>(p)];
    if (fit == 0) {
      const int wider = imgr.GetNextWiderY(curY);
      if (wider > curY) {
        if (((c0 == u' ' || c0 == ImgPan || IsWide(c0)) && code0 != 'n') || c0 == BrkCh) {
          complete(spacesAfter(p + 1) - p);
          continue;
        }
        skipTo(wider);
        continue;
      }
    }
    if (n >= r) {
      complete(r);
      break;
    }
    const char16_t last = Text[static_cast<size_t>(p + n - 1)];
    const char lastCode = BreakCodes[static_cast<size_t>(p + n - 1)];
    if ((last == u' ' || last == FmCtl || last == ImgPan || IsWide(last)) && lastCode != 'n') {
      complete(spacesAfter(p + n) - p);
      continue;
    }
    if (last == BrkCh) {
      complete(n);
      continue;
    }
    const char16_t next = Text[static_cast<size_t>(p + n)];
    if (next == u' ' && lastCode != 'n') {
      complete(spacesAfter(p + n) - p);
      continue;
    }
    if ((next == FmCtl || next == ImgPan) && BreakCodes[static_cast<size_t>(p + n)] != 'n') {
      complete(n);
      continue;
    }
    int found = -1;
    for (int k = p + n - 1; k >= p; --k) {
      const char code = BreakCodes[static_cast<size_t>(k)];
      const char16_t c = Text[static_cast<size_t>(k)];
      if (code == 'a' || (code != 'n' && (code == 's' || IsBreakChar(c)))) {
        found = k;
        break;
      }
    }
    if (found >= 0) {
      complete(spacesAfter(found + 1) - p);
      continue;
    }
    if (IsSpecial(c0) && code0 != 'n') {
      complete(1);
      continue;
    }
    if (BreakWord) {
      complete(n);
      continue;
    }
    // The word overflows: the line runs to the word's end.
    int k = p;
    while (k < len) {
      const char code = BreakCodes[static_cast<size_t>(k)];
      const char16_t c = Text[static_cast<size_t>(k)];
      if (code == 'a' || code == 's' || IsBreakAfter(c)) {
        ++k;
        break;
      }
      if (k + 1 < len) {
        const char16_t nc = Text[static_cast<size_t>(k + 1)];
        if ((nc == u' ' || nc == FmCtl || nc == ImgPan || nc == BrkCh || IsWide(nc)) &&
            BreakCodes[static_cast<size_t>(k + 1)] != 'n') {
          ++k;
          break;
        }
      }
      ++k;
    }
    k = spacesAfter(k);
    if (k < len && Text[static_cast<size_t>(k)] == BrkCh) ++k;
    const int wider = imgr.GetNextWiderY(curY);
    if (wider > curY) {
      skipTo(wider);
      continue;
    }
    complete(k - p);
    reported = std::max(reported, MaxLineWidth);
  }
  SectionHeight = curY - y;
  int bottom = curY;
  for (const LineRec& l : Lines) bottom = std::max(bottom, l.LineY + l.LineImageHeight);
  for (const auto& o : Images)
    if (o->IsFloat()) bottom = std::max(bottom, o->DrawY - o->VSpaceT + o->TotalHeight());
  ContentBottom = std::max(bottom, y + SectionHeight);
  DrawHeight = ContentBottom - y;
  DrawBottom = ContentBottom;
  if (Owner && Owner->FirstLineRequested && Owner->FirstLineY < 0) {
    for (const LineRec& l : Lines)
      if (l.CharCount > 0) {
        Owner->FirstLineY = l.LineY + l.SpaceAbove + l.LineHeight - l.Descent;
        break;
      }
  }
  if (Owner && !Owner->PrintCopy && SectionNumber > 0 && SectionNumber % 50 == 0 &&
      lastLayoutCount_ != Owner->LayoutCount) {
    lastLayoutCount_ = Owner->LayoutCount;
    Owner->ReportProgress(Owner->SectionCount > 0 ? SectionNumber * 100 / Owner->SectionCount : 100);
  }
  maxWidth = std::max(reported, 0);
  return SectionHeight;
}

int TPreFormated::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                         int yRef, TIndentManager& imgr, int& maxWidth, int& curs) {
  if (BreakWord) return TSection::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, imgr, maxWidth, curs);
  int h = TSection::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, imgr, maxWidth, curs);
  maxWidth = std::max(maxWidth, MaxLineWidth);
  // An empty line of preformatted text (its closing space alone) keeps a line's height.
  if (Length() == 1 && Text[0] == u' ' && h == 0 && !Lines.empty()) {
    LineRec& line = Lines.back();
    line.LineHeight = line.LineImageHeight = Fonts[0]->FontHeight;
    line.Descent = Fonts[0]->Descent;
    h = SectionHeight = line.LineHeight;
    ContentBottom = std::max(ContentBottom, y + h);
    DrawBottom = ContentBottom;
    DrawHeight = ContentBottom - y;
  }
  return h;
}

// ---- width range ----

void TSection::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  if (maxCache_ >= 0 && Images.Empty()) {
    minWidth = minCache_;
    maxWidth = maxCache_;
    return;
  }
  minWidth = maxWidth = 0;
  const int len = Length();
  if (len == 0) return;
  int objectMin = 0, floatsMax = 0;
  for (const auto& o : Images) {
    int overhang = 0;
    o->DrawLogic(*Owner, canvas, Fonts.GetFontAt(o->Pos, overhang), 0, 0);
    if (o->PercentWidth) continue;
    if (o->IsFloat()) {
      Grow(floatsMax, o->TotalWidth());
      if (o->Pos >= 0 && o->Pos < len) BreakCodes[static_cast<size_t>(o->Pos)] = 'y';
      objectMin = std::max(objectMin, o->TotalWidth());
    } else {
      objectMin = std::max(objectMin, o->TotalWidth());
    }
  }
  for (TFormControlObj* f : FormControls)
    if (!f->PercentWidth) objectMin = std::max(objectMin, f->TotalWidth());
  // The widest piece between line breaks.
  int start = 0;
  bool first = true;
  for (int k = 0; k <= len; ++k) {
    if (k < len && Text[static_cast<size_t>(k)] != BrkCh) continue;
    int w = FindTextWidth(start, k - start, true);
    if (first) {
      if (TextIndentPercent > 0 && TextIndentPercent < 100)
        w = w * 100 / (100 - TextIndentPercent);
      else
        Grow(w, TextIndent);
      first = false;
    }
    maxWidth = std::max(maxWidth, w);
    start = k + 1;
  }
  Grow(maxWidth, floatsMax);
  minWidth = WordsMinWidth();
  minWidth = std::max(minWidth, objectMin);
  maxWidth = std::max(maxWidth, minWidth);
  if (Images.Empty()) {
    minCache_ = minWidth;
    maxCache_ = maxWidth;
  }
}

int TSection::WordsMinWidth() {
  const int len = Length();
  int minWidth = 0;
  if (BreakWord) {
    for (int k = 0; k < len; ++k)
      if (!IsSpecial(Text[static_cast<size_t>(k)]) && Text[static_cast<size_t>(k)] != BrkCh)
        minWidth = std::max(minWidth, FindTextWidth(k, 1, false));
  } else {
    int k = 0;
    while (k < len) {
      while (k < len && (Text[static_cast<size_t>(k)] == u' ' || IsSpecial(Text[static_cast<size_t>(k)]) ||
                         Text[static_cast<size_t>(k)] == BrkCh))
        ++k;
      if (k >= len) break;
      const int ws = k;
      while (k < len) {
        const char16_t c = Text[static_cast<size_t>(k)];
        const char code = BreakCodes[static_cast<size_t>(k)];
        if (code == 'a' || code == 's' || k == len - 1) {
          ++k;
          break;
        }
        if (IsBreakChar(c) && code == 'y') {
          if (IsBreakAfter(c) || IsWide(c)) ++k;
          break;
        }
        ++k;
      }
      int w = FindTextWidth(ws, k - ws, true);
      if (k > ws && BreakCodes[static_cast<size_t>(k - 1)] == 's') {
        int overhang = 0;
        Grow(w, Fonts.GetFontAt(k - 1, overhang)->TextWidth(u"-", 1));
      }
      minWidth = std::max(minWidth, w);
    }
  }
  return minWidth;
}

int TSection::MinWidth(TCanvas& canvas) {
  // Objects are sized, floats' break chances set and controls' widths taken on the way through
  // WidthRange: a section with any (or of a kind of its own) goes the whole way.
  if (!Images.Empty() || !FormControls.empty() || typeid(*this) != typeid(TSection))
    return TSectionBase::MinWidth(canvas);
  if (minCache_ < 0) minCache_ = Length() == 0 ? 0 : WordsMinWidth();
  return minCache_;
}

void TPreFormated::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  if (BreakWord) {
    TSection::WidthRange(canvas, minWidth, maxWidth);
    return;
  }
  if (measuredWidth_ < 0) {
    // The widest line, without the closing space.
    const int len = Length() - 1;
    int widest = 0, start = 0;
    for (int k = 0; k <= len; ++k) {
      if (k < len && Text[static_cast<size_t>(k)] != BrkCh) continue;
      widest = std::max(widest, FindTextWidth(start, k - start, false));
      start = k + 1;
    }
    measuredWidth_ = widest;
  }
  maxWidth = measuredWidth_;
  minWidth = std::min(measuredWidth_, 6000);
}

// ---- drawing ----

void TSection::FillLineBorders(LineRec& line) {
  line.Borders.clear();
  if (!Owner || !Owner->InlineBoxes) return;
  TInlineList& list = *Owner->InlineBoxes;
  const int l = StartChar + line.Start, n = line.CharCount;
  std::vector<int> meeting;
  list.Meeting(l, l + n, meeting);
  for (const int i : meeting) {
    const int s = list.StartOf(i), e = list.EndOf(i);
    BorderRec b;
    b.OpenStart = s < l;
    b.BStart = b.OpenStart ? line.Start : s - StartChar;
    b.OpenEnd = e > l + n;
    b.BEnd = b.OpenEnd ? line.Start + n : e - StartChar;
    b.Values = list[i]->Box;
    line.Borders.push_back(b);
  }
}

namespace {

void DrawBoxSides(TCanvas& canvas, const TRect& outer, const TInlineBox& box, bool openStart, bool openEnd,
                  bool printing) {
  // An edge that continues on another line has no side here.
  const int wl = openStart ? 0 : box.BorderWidth[3], wr = openEnd ? 0 : box.BorderWidth[1];
  const TRect inner{outer.Left + wl, outer.Top + box.BorderWidth[0], outer.Right - wr,
                    outer.Bottom - box.BorderWidth[2]};
  auto colour = [&](int side) { return box.BorderColor[side] == clNone ? clBlack : box.BorderColor[side]; };
  const TBorderColors colours{colour(3), colour(0), colour(1), colour(2)};
  const TBorderStyles styles{box.BorderStyle[3], box.BorderStyle[0], box.BorderStyle[1], box.BorderStyle[2]};
  DrawBorder(canvas, outer, inner, colours, styles, clNone, printing);
}

}  // namespace

void SelectionColours(TColor text, TColor& fore, TColor& ground) {
  const TColor highlight = ColorToRGB(clHighlight), highlightText = ColorToRGB(clHighlightText);
  if (highlight != highlightText) {
    fore = highlightText;
    ground = highlight;
    return;
  }
  // The system's pair would hide the text: the run is drawn inverted instead, on its own colour.
  // Text of no colour cannot be inverted and keeps its colour.
  ground = highlight;
  if (text == clNone) {
    fore = text;
    return;
  }
  const TColor rgb = ColorToRGB(text);
  fore = rgb ^ 0xFFFFFF;
  ground = rgb;
}

void TSection::DrawTextRun(TCanvas& canvas, const LineRec& line, int from, int to, int& x, int baseY,
                           bool selected) {
  if (to <= from) return;
  int overhang = 0;
  TFontObj* font = Fonts.GetFontAt(from, overhang);
  const int yOff = Owner ? Owner->YOffset : 0;
  int shift = 0;
  if (font->SScript == ssSuper) shift = -(font->FontHeight / 3);
  else if (font->SScript == ssSub) shift = font->Descent / 2 + 1;
  const int top = baseY - (font->tmHeight - font->Descent) + shift;
  TColor colour = font->TheFont.Color;
  if (Owner && font->Active && font->IsLink()) colour = Owner->LinkActiveColor;
  const TBrush saveBrush = canvas.Brush;
  TColor ground = clNone;
  if (selected) SelectionColours(colour, colour, ground);
  canvas.Font = CanvasFont(font->TheFont, colour);
  canvas.Brush.Style = selected ? bsSolid : bsClear;
  if (selected) canvas.Brush.Color = ground;
  const int startX = x;
  const bool justify = line.Spaces > 0 && line.Extra > 0;
  // The spaces before this run decide how much each of its spaces takes.
  int spaceIndex = 0;
  if (justify)
    for (int k = line.Start; k < from; ++k)
      if (Text[static_cast<size_t>(k)] == u' ' || Text[static_cast<size_t>(k)] == kNbsp) ++spaceIndex;
  const int each = justify ? line.Extra / line.Spaces : 0, more = justify ? line.Extra % line.Spaces : 0;
  auto out = [&](int a, int b, bool hyphen) {
    std::u16string s(Text.data() + a, static_cast<size_t>(b - a));
    const int w = font->TextWidth(s.data(), static_cast<int>(s.size()));
    if (hyphen) s += u'-';
    const int drawnW = hyphen ? font->TextWidth(s.data(), static_cast<int>(s.size())) : w;
    if (!s.empty()) {
      if (font->TheFont.charExtra == 0) {
        canvas.TextOut(x, top, s);
      } else {
        // The canvas's font has no letter spacing: each character goes where the measured
        // (spaced) font puts it.
        int cx = x;
        for (size_t k = 0; k < s.size(); ++k) {
          canvas.TextOut(cx, top, std::u16string(1, s[k]));
          Grow(cx, font->TextWidth(&s[k], 1));
        }
      }
      if (Owner && Owner->TextRecorder) Owner->TextRecorder(x, top + yOff, drawnW, font->FontHeight, s);
    }
    Grow(x, static_cast<long long>(w) - overhang);
  };
  const bool hyphenHere = line.EndsWithSoftHyphen && to == line.Start + line.CharCount;
  if (!justify) {
    out(from, to, hyphenHere);
  } else {
    int a = from;
    for (int k = from; k < to; ++k) {
      const char16_t c = Text[static_cast<size_t>(k)];
      if (c != u' ' && c != kNbsp) continue;
      out(a, k + 1, false);
      if (spaceIndex < line.Spaces) Grow(x, each + (spaceIndex < more ? 1 : 0));
      ++spaceIndex;
      a = k + 1;
    }
    out(a, to, hyphenHere);
  }
  canvas.Brush = saveBrush;
  // A link that has the keyboard's focus is framed, unless the viewer is told not to.
  if (Owner && font->Active && font->IsLink() && !Owner->Printing && Owner->Viewer && Owner->Viewer->ShowFocusRect() &&
      x > startX) {
    const TPen savePen = canvas.Pen;
    canvas.Pen = TPen{colour, 1, psDot};
    const int bottom = top + font->FontHeight - 1;
    canvas.MoveTo(startX, top);
    canvas.LineTo(x - 1, top);
    canvas.LineTo(x - 1, bottom);
    canvas.LineTo(startX, bottom);
    canvas.LineTo(startX, top);
    canvas.Pen = savePen;
  }
}

int TSection::ControlTop(const LineRec& line, const TFormControlObj& f, int lineTop) {
  const int h = f.Height() + f.MarginTop + f.MarginBottom;
  int top;
  switch (f.VertAlign) {
    case ATop: top = lineTop + line.SpaceAbove; break;
    case AMiddle: top = lineTop + line.SpaceAbove + (line.LineHeight - h) / 2; break;
    case ABaseline:
      top = lineTop + line.SpaceAbove + line.LineHeight - line.Descent - h;
      break;
    default: top = lineTop + line.SpaceAbove + line.LineHeight - h; break;
  }
  return top + f.MarginTop;
}

void TSection::DrawLine(TCanvas& canvas, LineRec& line, int x, int windowY) {
  const int yOff = Owner ? Owner->YOffset : 0;
  const int dx = x - sectionX_;
  const int baseY = windowY + line.SpaceAbove + line.LineHeight - line.Descent;
  int end = line.Start + line.CharCount;
  // A closing space or line break is not painted.
  while (end > line.Start && (Text[static_cast<size_t>(end - 1)] == u' ' || Text[static_cast<size_t>(end - 1)] == BrkCh))
    --end;
  line.DrawY = windowY;
  line.FirstDrawIndex = line.Start;
  line.LastDrawIndex = line.Start + line.CharCount - 1;
  if (line.HasInlineBorders) {
    FillLineBorders(line);
    for (BorderRec& b : line.Borders) {
      const int x1 = x + CharX(line, b.BStart), x2 = x + CharX(line, b.BEnd);
      const TInlineBox& v = b.Values;
      TRect r{x1, windowY + line.SpaceAbove, x2, windowY + line.SpaceAbove + line.LineHeight};
      b.Box = r;
      const TRect outer{r.Left - (b.OpenStart ? 0 : v.Padding[3] + v.BorderWidth[3]),
                        r.Top - v.Padding[0] - v.BorderWidth[0],
                        r.Right + (b.OpenEnd ? 0 : v.Padding[1] + v.BorderWidth[1]),
                        r.Bottom + v.Padding[2] + v.BorderWidth[2]};
      if (v.Background != clNone && (!Owner || !Owner->Printing || Owner->PrintBackgrounds))
        FillRectColor(canvas, outer, v.Background);
      DrawBoxSides(canvas, outer, v, b.OpenStart, b.OpenEnd, Owner && Owner->Printing);
    }
  }
  const int selStart = Owner ? Owner->SelectionStart - StartChar : -1;
  const int selEnd = Owner ? Owner->SelectionEnd - StartChar : -1;
  int cx = x + line.LineOffset;
  int pos = line.Start;
  const int len = Length();
  while (pos < end) {
    const char16_t c = Text[static_cast<size_t>(pos)];
    if (c == ImgPan) {
      if (TFloatingObj* o = Images.FindImage(pos); o && !o->IsFloat()) {
        int overhang = 0;
        o->Draw(*Owner, canvas, o->DrawX + dx, o->DrawY - yOff, Fonts.GetFontAt(pos, overhang));
        Grow(cx, o->TotalWidth());
      }
      ++pos;
      continue;
    }
    if (c == FmCtl) {
      if (TFormControlObj* f = FormControls.FindControl(pos)) {
        if (Owner && Owner->Printing)
          f->Draw(canvas, cx + f->MarginLeft, ControlTop(line, *f, windowY));
        else
          f->Show(cx + f->MarginLeft, f->YValue - yOff);
        Grow(cx, f->TotalWidth());
      }
      ++pos;
      continue;
    }
    if (c == BrkCh) {
      ++pos;
      continue;
    }
    int runEnd = std::min(end, pos + Fonts.GetFontCountAt(pos, len));
    int k = pos;
    while (k < runEnd && !IsSpecial(Text[static_cast<size_t>(k)]) && Text[static_cast<size_t>(k)] != BrkCh) ++k;
    runEnd = k;
    // Split at the selection's edges.
    int cut = runEnd;
    const bool inSel = pos >= selStart && pos < selEnd;
    if (!inSel && selStart > pos && selStart < cut) cut = selStart;
    if (inSel && selEnd < cut) cut = selEnd;
    DrawTextRun(canvas, line, pos, cut, cx, baseY, inSel);
    pos = cut;
  }
  if (line.EndsWithSoftHyphen && end < line.Start + line.CharCount) {
    // The hyphen belongs after the last painted character; DrawTextRun adds it when the run
    // reaches the line's end, which a trailing space prevents.
  }
}

bool TSection::LineInk(const LineRec& line, int& top, int& bottom) const {
  if (line.CharCount == 0) return false;
  bool text = false, objects = line.HasInlineBorders;
  const int end = std::min(line.Start + line.CharCount, Length());
  for (int i = line.Start; i < end && !objects; ++i) {
    const char16_t c = Text[static_cast<size_t>(i)];
    if (c == ImgPan || c == FmCtl) objects = true;
    else if (c != u' ' && c != BrkCh) text = true;
  }
  if (objects) {
    top = line.LineY;
    bottom = line.LineY + std::max(line.LineImageHeight, line.Height());
    return true;
  }
  if (!text || line.LineHeight <= 0) return false;
  top = line.LineY + line.SpaceAbove;
  bottom = top + line.LineHeight;
  return true;
}

int TSection::InkBottom() const {
  if (Display == pdNone) return INT_MIN;
  int bottom = INT_MIN;
  for (const auto& o : Images)
    if (o->IsFloat()) bottom = std::max(bottom, o->DrawY + o->ImageHeight);
  for (auto line = Lines.rbegin(); line != Lines.rend(); ++line) {
    int top = 0, inkBottom = 0;
    if (LineInk(*line, top, inkBottom)) {
      // Lines go down the page: the last that paints is the lowest.
      bottom = std::max(bottom, inkBottom);
      break;
    }
  }
  return bottom;
}

int TSection::Draw(TCanvas& canvas, const TRect& clip, int, int x, int, int) {
  if (Display == pdNone) return YPos + SectionHeight;
  const int yOff = Owner ? Owner->YOffset : 0;
  const int dx = x - sectionX_;
  const bool printing = Owner && Owner->Printing;
  for (const auto& o : Images) {
    if (!o->IsFloat()) continue;
    const int top = o->DrawY - yOff;
    if (top + o->ImageHeight >= clip.Top && top < clip.Bottom) {
      if (printing && !Owner->PrintLine(o->DrawY, o->DrawY, o->DrawY + o->ImageHeight)) continue;
      int overhang = 0;
      o->Draw(*Owner, canvas, o->DrawX + dx, top, Fonts.GetFontAt(o->Pos, overhang));
    }
  }
  for (LineRec& line : Lines) {
    const int top = line.LineY - yOff;
    if (top + line.LineImageHeight < clip.Top) continue;
    if (top >= clip.Bottom) break;
    if (line.CharCount == 0) continue;
    if (printing) {
      // A line is not cut by the page's break: it goes to the next page whole.
      int inkTop = 0, inkBottom = 0;
      if (LineInk(line, inkTop, inkBottom) && !Owner->PrintLine(line.LineY, inkTop, inkBottom)) break;
      // On paper each line is clipped to its own rectangle.
      const bool hadClip = canvas.HasClip();
      const QRegion saved = canvas.ClipRegion();
      canvas.IntersectClipRect({clip.Left, top, clip.Right, top + line.LineImageHeight});
      DrawLine(canvas, line, x, top);
      if (hadClip)
        canvas.SetClipRegion(saved);
      else
        canvas.ClearClip();
      continue;
    }
    DrawLine(canvas, line, x, top);
  }
  if (Owner) Owner->FirstPageItem = false;
  return YPos + SectionHeight;
}

// ---- queries ----

int TSection::LineOf(int index) const {
  for (size_t k = 0; k < Lines.size(); ++k) {
    const LineRec& l = Lines[k];
    if (l.CharCount > 0 && index >= l.Start && index < l.Start + l.CharCount) return static_cast<int>(k);
  }
  return -1;
}

int TSection::PointToChar(TCanvas&, int x, int y, int& caretX, int& caretY, int& caretHeight, bool& inText) {
  return CharAtPoint(x, y, true, caretX, caretY, caretHeight, inText);
}

int TSection::CharAtPoint(int x, int y, bool round, int& caretX, int& caretY, int& caretHeight, bool& inText) {
  inText = false;
  for (LineRec& line : Lines) {
    if (line.CharCount == 0) continue;
    if (y < line.LineY || y >= line.LineY + line.LineImageHeight) continue;
    const int rel = x - sectionX_;
    const int startX = line.LineOffset;
    const int lastIndex = line.Start + line.CharCount;
    const int endX = CharX(line, lastIndex);
    int i;
    if (rel < startX - 10) {
      i = line.Start;
    } else if (rel >= endX) {
      i = lastIndex - 1;
    } else {
      inText = true;
      // The last character whose left edge is at or before the point.
      int lo = line.Start, hi = lastIndex;  // CharX(lo) <= rel < CharX(hi)
      if (CharX(line, lo) > rel) hi = lo;
      while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (CharX(line, mid) <= rel) lo = mid;
        else hi = mid;
      }
      i = lo;
      // Past the middle of its character, the caret goes after it.
      if (round && i + 1 <= lastIndex) {
        const int left = CharX(line, i), right = CharX(line, i + 1);
        if (rel > (left + right) / 2) ++i;
      }
    }
    caretX = sectionX_ + CharX(line, i);
    caretY = line.LineY;
    caretHeight = line.Height();
    return StartChar + i;
  }
  return -1;
}

bool TSection::CharToPoint(int index, int& x, int& y, int& height) {
  const int i = index - StartChar;
  if (i < 0 || i >= Length()) return false;
  const int k = LineOf(i);
  if (k < 0) return false;
  LineRec& line = Lines[static_cast<size_t>(k)];
  x = sectionX_ + CharX(line, i);
  y = line.LineY;
  height = line.Height();
  return true;
}

int TSection::CharToSource(int index) {
  const int i = index - StartChar;
  if (i < 0 || i >= Length() || SourceIndex.empty()) return -1;
  auto it = std::upper_bound(SourceIndex.begin(), SourceIndex.end(), i,
                             [](int v, const IndexObj& o) { return v < o.Pos; });
  if (it == SourceIndex.begin()) return -1;
  --it;
  return it->Index + (i - it->Pos);
}

int TSection::RunReach(size_t k, int len) const {
  const IndexObj& run = SourceIndex[k];
  const int runLen = (k + 1 < SourceIndex.size() ? SourceIndex[k + 1].Pos : len) - run.Pos;
  return std::max(run.Index, run.Index + runLen);
}

bool TSection::RunsInOrder() {
  const int len = Length();
  if (orderKnownFor_ != len) {
    runsInOrder_ = true;
    for (size_t k = 1; k < SourceIndex.size() && runsInOrder_; ++k)
      runsInOrder_ = RunReach(k - 1, len) <= RunReach(k, len);
    orderKnownFor_ = len;
  }
  return runsInOrder_;
}

bool TSection::SourceRange(int& first, int& reach) {
  const int len = Length();
  if (SourceIndex.empty() || len == 0) return false;
  first = SourceIndex[0].Index;
  reach = INT_MIN;
  if (RunsInOrder()) {
    reach = RunReach(SourceIndex.size() - 1, len);
  } else {
    for (size_t k = 0; k < SourceIndex.size(); ++k) reach = std::max(reach, RunReach(k, len));
  }
  return true;
}

int TSection::SourceToChar(int source, bool backwards) {
  const int len = Length();
  if (SourceIndex.empty() || len == 0) return -1;
  const size_t n = SourceIndex.size();
  // The first run that holds the position or lies after it decides; runs in source order (the
  // usual case: a paragraph of many spans has many runs) are halved to it.
  size_t k = 0;
  if (RunsInOrder()) {
    size_t lo = 0, hi = n;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (RunReach(mid, len) > source)
        hi = mid;
      else
        lo = mid + 1;
    }
    k = lo;
  } else {
    while (k < n && RunReach(k, len) <= source) ++k;
  }
  if (k == n) return backwards ? StartChar + len - 1 : -1;
  const IndexObj& run = SourceIndex[k];
  if (source >= run.Index) return StartChar + run.Pos + (source - run.Index);
  // Before this run: in the gap after the previous one, or before the section.
  if (k == 0) return backwards ? -1 : StartChar;
  return backwards ? StartChar + run.Pos - 1 : StartChar + run.Pos;
}

int TSection::SearchForward(int start, const std::u16string& text, bool matchCase) {
  if (text.empty()) return -1;
  const int from = std::max(0, start - StartChar);
  if (from >= Length()) return -1;
  const std::u16string s = matchCase ? Text : LowerText(Text);
  const size_t at = s.find(text, static_cast<size_t>(from));
  return at == std::u16string::npos ? -1 : StartChar + static_cast<int>(at);
}

int TSection::SearchBackward(int start, const std::u16string& text, bool matchCase) {
  if (text.empty()) return -1;
  const int limit = std::min(start - StartChar, Length());
  if (limit < static_cast<int>(text.size())) return -1;
  const std::u16string s = matchCase ? Text : LowerText(Text);
  const size_t at = s.rfind(text, static_cast<size_t>(limit) - text.size());
  return at == std::u16string::npos ? -1 : StartChar + static_cast<int>(at);
}

bool TSection::CharAt(int index, char16_t& ch, TIDObject*& object) {
  ch = 0;
  object = nullptr;
  const int i = index - StartChar;
  if (i < 0 || i >= Length()) return false;
  ch = Text[static_cast<size_t>(i)];
  if (ch == ImgPan) object = Images.FindImage(i);
  else if (ch == FmCtl) object = FormControls.FindControl(i);
  return true;
}

unsigned TSection::LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                               TFormControlObj*& control, std::u16string& title) {
  url.reset();
  control = nullptr;
  title.clear();
  unsigned flags = 0;
  int ix = 0, iy = 0;
  bool isMap = false;
  TMapItem* map = nullptr;
  TImageObj* image = Images.PtInImage(x, y, ix, iy, isMap, map);
  if (TFloatingObj* o = image ? image : Images.PtInObject(x, y, ix, iy)) {
    title = !o->Title.empty() ? o->Title : o->Alt;
    if (!title.empty()) flags |= guTitle;
    if (image && Owner) Owner->HoverImage = image;
    if (map) {
      std::u16string areaTitle;
      if (map->GetURL(ix, iy, url, areaTitle)) {
        flags |= guUrl;
        if (!areaTitle.empty()) {
          title = areaTitle;
          flags |= guTitle;
        }
      }
      return flags;
    }
    int overhang = 0;
    TFontObj* font = Fonts.GetFontAt(o->Pos, overhang);
    if (font && font->IsLink()) {
      url = std::make_unique<TUrlTarget>();
      url->Copy(*font->UrlTarget);
      if (isMap)
        url->URL += u"?" + QString::number(ix).toStdU16String() + u"," + QString::number(iy).toStdU16String();
      if (Owner) Owner->HoverLink = font;
      flags |= guUrl;
    }
    return flags;
  }
  int cx = 0, cy = 0, ch = 0;
  bool inText = false;
  (void)canvas;
  const int index = CharAtPoint(x, y, false, cx, cy, ch, inText);
  if (index < 0 || !inText) return 0;
  const int i = index - StartChar;
  if (Text[static_cast<size_t>(i)] == ImgPan) return 0;
  if (Text[static_cast<size_t>(i)] == FmCtl) {
    // Only the control's own box: its line may be taller.
    TFormControlObj* c = FormControls.FindControl(i);
    if (!c || c->Hidden() || y < c->YValue || y >= c->YValue + c->Height()) return 0;
    control = c;
    flags |= guControl;
    if (!c->Title.empty()) {
      title = c->Title;
      flags |= guTitle;
    }
    return flags;
  }
  int overhang = 0;
  TFontObj* font = Fonts.GetFontAt(i, overhang);
  if (!font) return 0;
  if (font->IsLink()) {
    url = std::make_unique<TUrlTarget>();
    url->Copy(*font->UrlTarget);
    if (Owner) Owner->HoverLink = font;
    flags |= guUrl;
  }
  if (!font->Title.empty()) {
    title = font->Title;
    flags |= guTitle;
  }
  return flags;
}

bool TSection::ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY) {
  object = Images.PtInObject(x, y, objX, objY);
  return object != nullptr;
}

void TSection::CopySelection() {
  if (!Owner || !Owner->CB) return;
  const int len = Length();
  const int ss = Owner->SelectionStart - StartChar, se = Owner->SelectionEnd - StartChar;
  if (se <= 0 || ss >= len) return;
  int from = std::max(0, ss);
  int to = std::min(len, se);
  // The closing space is no text of the page.
  if (se >= len && to == len && len > 0 && Text.back() == u' ') --to;
  if (to > from) Owner->CB->AddText(Text.data() + from, to - from);
  if (se > len) Owner->CB->AddText(u"\r\n", 2);
}

}  // namespace htmlview
