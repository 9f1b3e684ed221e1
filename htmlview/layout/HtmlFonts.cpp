#include "htmlview/layout/HtmlFonts.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <algorithm>
#include <cmath>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlShared.h"
#include "platform/core/MulDiv.h"

namespace htmlview {

// ---- tab controls ----

ThtTabControl::ThtTabControl(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setGeometry(-4000, 0, 1, 1);
}

void ThtTabControl::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  if (OnEnter) OnEnter();
}

void ThtTabControl::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  if (OnExit) OnExit();
}

void ThtTabControl::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers m = event->modifiers();
  const unsigned shift = ((m & Qt::ShiftModifier) ? 1u : 0u) | ((m & Qt::AltModifier) ? 2u : 0u) |
                         ((m & Qt::ControlModifier) ? 4u : 0u);
  if (OnKeyDown) OnKeyDown(event->key(), shift);
  event->accept();
}

// ---- font runs ----

TFont CanvasFont(const TMyFont& font, TColor color) {
  TFont f;
  f.Name = font.Name;
  const int pixels = std::max(1, font.Height < 0 ? -font.Height : font.Height);
  // The pixels are kept exactly; Size is the nearest point size at 96 pixels per inch, for those
  // who read it.
  int points = std::max(1, static_cast<int>(std::lround(pixels * 72.0 / 96.0)));
  for (int p : {points - 1, points + 1})
    if (p >= 1 && std::abs(MulDiv(p, 96, 72) - pixels) < std::abs(MulDiv(points, 96, 72) - pixels)) points = p;
  f.Size = points;
  f.PixelSize = pixels;
  f.Style = font.Style;
  f.Color = color;
  return f;
}

TFontObj::TFontObj(TSection* section, const TMyFont& font, int pos) : Pos(pos), Section(section), TheFont(font) {
  UpdateMetrics();
}

TFontObj::TFontObj(TSection* section, const TFontObj& other)
    : Pos(other.Pos), Section(section), TheFont(other.TheFont), SScript(other.SScript), Title(other.Title) {
  if (other.FIArray) {
    FIArray = std::make_unique<TFontInfoArray>(*other.FIArray);
    ConvertFont((*FIArray)[0]);
  }
  if (other.UrlTarget) {
    UrlTarget = std::make_unique<TUrlTarget>();
    UrlTarget->Copy(*other.UrlTarget);
  }
  UpdateMetrics();
}

TFontObj::~TFontObj() {
  // A paint panel freed first has taken the tab control with it.
  if (TabControl && !tabAlive_) (void)TabControl.release();
}

void TFontObj::UpdateMetrics() {
  tmHeight = TheFont.tmHeight;
  tmMaxCharWidth = TheFont.tmMaxCharWidth;
  FontHeight = TheFont.tmHeight + TheFont.tmExternalLeading;
  Descent = TheFont.tmDescent;
  Overhang = (TheFont.Style & fsItalic) ? TheFont.tmHeight / 10 : 0;
}

void TFontObj::ConvertFont(const ThtFontInfo& info) {
  TheFont = FontCache().GetFontLike(info);
  TheFont.Color = info.iColor;
  TheFont.bgColor = info.iBG;
  TheFont.charExtra = LetterSpacingPixels(info.ibgSpacing, TheFont.EmSize);
  if (TheFont.charExtra != 0) TheFont.Font.setLetterSpacing(QFont::AbsoluteSpacing, TheFont.charExtra);
  UpdateMetrics();
}

void TFontObj::ReplaceFont(const TMyFont& font) {
  TheFont = font;
  UpdateMetrics();
}

void TFontObj::ApplyState() {
  if (FIArray) ConvertFont((*FIArray)[StateIndex()]);
}

void TFontObj::SetVisited(bool value) {
  if (value == Visited) return;
  Visited = value;
  ApplyState();
}

void TFontObj::SetHover(bool value) {
  if (value == Hover) return;
  Hover = value;
  ApplyState();
}

void TFontObj::SetAllHovers(std::vector<TFontObj*>& list, bool value) {
  SetHover(value);
  const int id = LinkID();
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end() || id == 0) return;
  for (auto f = std::next(it); f != list.end() && (*f)->LinkID() == id; ++f) (*f)->SetHover(value);
  for (auto b = it; b != list.begin();) {
    --b;
    if ((*b)->LinkID() != id) break;
    (*b)->SetHover(value);
  }
}

std::u16string TFontObj::GetURL() const { return UrlTarget ? UrlTarget->URL : std::u16string(); }

int TFontObj::GetHeight(int& descent) const {
  descent = Descent;
  return FontHeight;
}

void TFontObj::CreateTabControl(int tabIndex) {
  if (TabControl || !Section || !Section->Owner || !Section->Owner->PaintPanel) return;
  ThtDocument* doc = Section->Owner;
  const int id = LinkID();
  if (id == 0) return;
  // The runs of one link stand together in the link list, and a run being built is near its end:
  // look for this run from the end, then at the runs of its link before it.
  const auto& list = doc->LinkFonts;
  auto at = std::find(list.rbegin(), list.rend(), this);
  for (auto f = at == list.rend() ? at : std::next(at); f != list.rend() && (*f)->LinkID() == id; ++f)
    if ((*f)->TabControl) return;
  TabControl = std::make_unique<ThtTabControl>(doc->PaintPanel);
  TabControl->show();
  BindTabControl();
  doc->AddTabIndex(tabIndex, TabControl.get());
}

void TFontObj::TakeTabControl(TFontObj& from) {
  if (TabControl || !from.TabControl || LinkID() == 0 || from.LinkID() != LinkID()) return;
  TabControl = std::move(from.TabControl);
  BindTabControl();
}

void TFontObj::AdoptParkedTabControl() {
  if (TabControl || !Section || !Section->Owner) return;
  TabControl = Section->Owner->TakeParkedTabControl(LinkID());
  BindTabControl();
}

void TFontObj::BindTabControl() {
  tabAlive_ = TabControl.get();
  ThtDocument* doc = Section ? Section->Owner : nullptr;
  if (!TabControl || !doc) return;
  const int id = LinkID();
  auto setActive = [this, doc, id](bool active) {
    bool seen = false;
    for (TFontObj* f : doc->LinkFonts) {
      if (f == this) seen = true;
      if (seen && f->LinkID() == id) f->Active = active;
      else if (seen) break;
    }
  };
  TabControl->OnEnter = [this, doc, setActive] {
    setActive(true);
    if (doc->Viewer) {
      doc->Viewer->ScrollLinkInto(YValue);
      doc->Viewer->RepaintPanel();
    }
  };
  TabControl->OnExit = [doc, setActive] {
    setActive(false);
    if (doc->Viewer) doc->Viewer->RepaintPanel();
  };
  TabControl->OnKeyDown = [this, doc](int key, unsigned shift) {
    if (!doc->Viewer) return;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && UrlTarget)
      doc->Viewer->PostHotSpot(*UrlTarget);
    else
      doc->Viewer->KeyDown(key, shift);
  };
}

int TFontObj::TextWidth(const char16_t* text, int count) const {
  if (count <= 0) return 0;
  // Layout measures every word: one buffer for all of them rather than a string each.
  thread_local std::u16string run;
  run.assign(text, static_cast<size_t>(count));
  return FontMeasurer().TextExtent(TheFont.Font, run).cx;
}

int TFontObj::FitChars(const char16_t* text, int count, int width, int& extent) const {
  extent = 0;
  if (count <= 0 || width < 1) return 0;
  // Only a prefix near the width is measured, never the whole rest of a long paragraph: start
  // from a guess by the average advance and double it until it passes the width. Every prefix of
  // the probe is measured in one call.
  const int average = std::max(1, TheFont.tmAveCharWidth > 0 ? TheFont.tmAveCharWidth : tmMaxCharWidth);
  int probe = std::min(count, width / average + 8);
  thread_local std::vector<int> widths;
  const TTextMeasurer& m = FontMeasurer();
  while (true) {
    m.PartialExtents(TheFont.Font, std::u16string_view(text, static_cast<size_t>(probe)), widths);
    if (widths.back() <= width && probe < count) {
      probe = std::min(count, probe * 2);
      continue;
    }
    // Prefix widths never shrink as characters are added: the longest prefix that fits.
    const int fit = static_cast<int>(std::upper_bound(widths.begin(), widths.end(), width) - widths.begin());
    extent = fit > 0 ? widths[static_cast<size_t>(fit - 1)] : 0;
    return fit;
  }
}

TFontObj* TFontList::GetFontAt(int pos, int& overhang) const {
  TFontObj* found = nullptr;
  // Runs are in ascending Pos: the last one that starts at or before pos.
  auto it = std::upper_bound(items_.begin(), items_.end(), pos,
                             [](int p, const std::unique_ptr<TFontObj>& f) { return p < f->Pos; });
  if (it != items_.begin()) found = std::prev(it)->get();
  else if (!items_.empty()) found = items_.front().get();
  overhang = found ? found->Overhang : 0;
  return found;
}

int TFontList::GetFontCountAt(int pos, int leng) const {
  auto it = std::upper_bound(items_.begin(), items_.end(), pos,
                             [](int p, const std::unique_ptr<TFontObj>& f) { return p < f->Pos; });
  if (it == items_.end()) return leng - pos;
  return (*it)->Pos - pos;
}

TFontObj* TFontList::GetFontObjAt(int pos, int& index) const {
  auto it = std::upper_bound(items_.begin(), items_.end(), pos,
                             [](int p, const std::unique_ptr<TFontObj>& f) { return p < f->Pos; });
  index = static_cast<int>(it - items_.begin()) - 1;
  if (index < 0) index = items_.empty() ? -1 : 0;
  return index >= 0 ? items_[static_cast<size_t>(index)].get() : nullptr;
}

void TFontList::Decrement(int pos, ThtDocument* document) {
  for (auto& f : items_)
    if (f->Pos > pos) --f->Pos;
  for (size_t i = 1; i < items_.size();) {
    if (items_[i]->Pos != items_[i - 1]->Pos) {
      ++i;
      continue;
    }
    TFontObj* gone = items_[i - 1].get();
    TFontObj* kept = items_[i].get();
    if (document) {
      if (gone->InLinkFonts) EraseNearEnds(document->LinkFonts, gone);
      gone->InLinkFonts = false;
      if (document->HoverLink == gone) document->HoverLink = nullptr;
    }
    // The link keeps its place in the tab order through the run that stays.
    kept->TakeTabControl(*gone);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i - 1));
  }
}

}  // namespace htmlview
