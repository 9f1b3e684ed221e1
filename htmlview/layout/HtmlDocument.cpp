#include "htmlview/layout/HtmlDocument.h"

#include <QChar>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "htmlview/images/HtmlGif.h"
#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/URLSubs.h"
#include "platform/core/MemoryStream.h"

namespace htmlview {

// ---- identifiers ----

bool TIDObjectList::TLess::operator()(const std::u16string& a, const std::u16string& b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = QChar::toLower(a[i]), y = QChar::toLower(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

TIDObjectList::~TIDObjectList() { Clear(); }

void TIDObjectList::AddObject(const std::u16string& name, TIDObject* object) {
  auto it = items_.find(name);
  if (it != items_.end()) {
    TIDObject* old = it->second;
    items_.erase(it);
    if (auto n = names_.find(old); n != names_.end() && --n->second <= 0) names_.erase(n);
    if (old && old != object && old->FreeMe()) delete old;
  }
  items_.emplace(name, object);
  ++names_[object];
}

TIDObject* TIDObjectList::Find(const std::u16string& name) const {
  auto it = items_.find(name);
  return it == items_.end() ? nullptr : it->second;
}

void TIDObjectList::RemoveObject(const TIDObject* object) {
  if (names_.erase(object) == 0) return;
  for (auto it = items_.begin(); it != items_.end();)
    it = it->second == object ? items_.erase(it) : std::next(it);
}

void TIDObjectList::Clear() {
  // One object may stand under several names: free each once.
  std::vector<TIDObject*> owned;
  for (auto& [name, object] : items_)
    if (object && object->FreeMe() && std::find(owned.begin(), owned.end(), object) == owned.end())
      owned.push_back(object);
  items_.clear();
  names_.clear();
  for (TIDObject* o : owned) delete o;
}

std::vector<std::u16string> TIDObjectList::Names() const {
  std::vector<std::u16string> names;
  for (const auto& [name, object] : items_) names.push_back(name);
  return names;
}

// ---- section base ----

TSectionBase::TSectionBase(ThtDocument* owner, TCellBasic* ownerCell) : Owner(owner), OwnerCell(ownerCell) {}

TSectionBase::TSectionBase(ThtDocument* owner, TCellBasic* ownerCell, const TSectionBase& source)
    : Owner(owner), OwnerCell(ownerCell) {
  Display = source.Display;
  DrawTop = source.DrawTop;
  SectionHeight = source.SectionHeight;
  ZIndex = source.ZIndex;
}

std::unique_ptr<TSectionBase> TSectionBase::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TSectionBase>(owner, cell, *this);
}

bool TSectionBase::CharToPoint(int, int&, int&, int&) { return false; }

int TSectionBase::Layout(TCanvas&, int, int y, int, int, int, int, int, TIndentManager&, int& maxWidth, int& curs) {
  StartChar = curs;
  DrawHeight = SectionHeight;
  maxWidth = 0;
  DrawTop = ContentTop = YPos = y;
  ContentBottom = y + SectionHeight;
  DrawBottom = y + DrawHeight;
  return SectionHeight;
}

int TSectionBase::Draw(TCanvas&, const TRect&, int, int, int, int) { return DrawTop + SectionHeight; }

// Whatever draws may paint down to its draw bottom; sections that know better say so.
int TSectionBase::InkBottom() const { return Display == pdNone ? INT_MIN : DrawBottom; }

int TSectionBase::PointToChar(TCanvas&, int, int, int&, int&, int&, bool& inText) {
  inText = false;
  return -1;
}
int TSectionBase::SourceToChar(int, bool) { return -1; }
int TSectionBase::CharToSource(int) { return -1; }
int TSectionBase::SearchForward(int, const std::u16string&, bool) { return -1; }
int TSectionBase::SearchBackward(int, const std::u16string&, bool) { return -1; }

bool TSectionBase::CharAt(int, char16_t& ch, TIDObject*& object) {
  ch = 0;
  object = nullptr;
  return false;
}

unsigned TSectionBase::LinkAtPoint(TCanvas&, int, int, std::unique_ptr<TUrlTarget>& url, TFormControlObj*& control,
                                   std::u16string& title) {
  url.reset();
  control = nullptr;
  title.clear();
  return 0;
}

bool TSectionBase::ObjectAtPoint(int, int, TFloatingObj*& object, int&, int&) {
  object = nullptr;
  return false;
}

void TSectionBase::RegisterPosition() {
  if (Owner) Owner->SectionPositions.push_back(this);
}

void TSectionBase::CopySelection() {}

void TSectionBase::WidthRange(TCanvas&, int& minWidth, int& maxWidth) { minWidth = maxWidth = 0; }

int TSectionBase::MinWidth(TCanvas& canvas) {
  int minWidth = 0, maxWidth = 0;
  WidthRange(canvas, minWidth, maxWidth);
  return minWidth;
}

// ---- section lists and cells ----

bool TSectionBaseList::CharToPoint(int index, int& x, int& y, int& height) {
  for (const auto& s : *this)
    if (s->CharToPoint(index, x, y, height)) return true;
  return false;
}

int TSectionBaseList::SourceToChar(int source, bool backwards) {
  const int n = Count();
  for (int k = 0; k < n; ++k) {
    TSectionBase* s = (*this)[backwards ? n - 1 - k : k];
    const int i = s->SourceToChar(source, backwards);
    if (i >= 0) return i;
  }
  return -1;
}

TCellBasic::TCellBasic(ThtDocument* document) : Document(document) {}

TCellBasic::TCellBasic(ThtDocument* document, const TCellBasic& source) : Document(document) {
  OwnersTag = source.OwnersTag;
  for (const auto& s : source) Add(s->CreateCopy(document, this));
}

TCellBasic::~TCellBasic() = default;

TSectionBase* TCellBasic::AddSection(std::unique_ptr<TSectionBase> section) {
  if (!section) return nullptr;
  if (auto* text = dynamic_cast<TSection*>(section.get())) {
    if (!text->Finished) text->Finish(Document && Document->PropertyStack ? Document->PropertyStack->SIndex : 0);
    if (text->Text.empty() && !text->HasAnchor && text->ClearMode == 0 && !dynamic_cast<TPreFormated*>(text)) {
      text->Unlink();
      return nullptr;
    }
  }
  section->OwnerCell = this;
  return Add(std::move(section));
}

int TCellBasic::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                       int yRef, int& scrollWidth, int& curs) {
  // However deep the nesting and however many the sections, positions stay on the page.
  x = CapCoord(x);
  y = CapCoord(y);
  YValue = y;
  StartChar = curs;
  TextWidth = 0;
  tcContentBot = 0;
  tcDrawTop = 990000;
  tcDrawBot = 0;
  scrollWidth = 0;
  int height = 0;
  for (const auto& s : *this) {
    int sw = 0;
    TIndentManager* imgr = IMgr;
    TIndentManager fallback;
    if (!imgr) {
      fallback.Reset(x, width);
      imgr = &fallback;
    }
    const int h = s->Layout(canvas, x, y + height, width, availableHeight, blockHeight, xRef, yRef, *imgr, sw, curs);
    height = CapCoord(static_cast<long long>(y) + height + h) - y;
    scrollWidth = std::max(scrollWidth, sw);
    TextWidth = std::max(TextWidth, s->TextWidth());
    if (!s->OutOfFlow()) tcContentBot = std::max(tcContentBot, s->ContentBottom);
    tcDrawTop = std::min(tcDrawTop, s->DrawTop);
    tcDrawBot = std::max(tcDrawBot, s->DrawBottom);
  }
  CharCount = curs - StartChar;
  return height;
}

int TCellBasic::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  int bottom = 0;
  for (const auto& s : *this) bottom = std::max(bottom, s->Draw(canvas, clip, clipWidth, x, xRef, yRef));
  return bottom;
}

void TCellBasic::WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) {
  minWidth = maxWidth = 0;
  for (const auto& s : *this) {
    int mn = 0, mx = 0;
    s->WidthRange(canvas, mn, mx);
    minWidth = std::max(minWidth, mn);
    maxWidth = std::max(maxWidth, mx);
  }
}

int TCellBasic::MinWidth(TCanvas& canvas) {
  int minWidth = 0;
  for (const auto& s : *this) minWidth = std::max(minWidth, s->MinWidth(canvas));
  return minWidth;
}

int TCellBasic::InkBottom() const {
  int bottom = INT_MIN;
  for (const auto& s : *this) bottom = std::max(bottom, s->InkBottom());
  return bottom;
}

namespace {
bool Meets(const TSectionBase& s, int y) { return s.Display != pdNone && s.YPos <= y && y < s.DrawBottom; }
}  // namespace

unsigned TCellBasic::LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                                 TFormControlObj*& control, std::u16string& title) {
  url.reset();
  control = nullptr;
  title.clear();
  for (const auto& s : *this) {
    if (!Meets(*s, y)) continue;
    const unsigned flags = s->LinkAtPoint(canvas, x, y, url, control, title);
    if (flags) return flags;
  }
  return 0;
}

bool TCellBasic::ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY) {
  object = nullptr;
  for (const auto& s : *this)
    if (Meets(*s, y) && s->ObjectAtPoint(x, y, object, objX, objY)) return true;
  return false;
}

int TCellBasic::PointToChar(TCanvas& canvas, int x, int y, int& caretX, int& caretY, int& caretHeight,
                            bool& inText) {
  inText = false;
  for (const auto& s : *this) {
    if (!Meets(*s, y)) continue;
    const int i = s->PointToChar(canvas, x, y, caretX, caretY, caretHeight, inText);
    if (i >= 0) return i;
  }
  return -1;
}

int TCellBasic::SearchForward(int start, const std::u16string& text, bool matchCase) {
  for (const auto& s : *this) {
    const int i = s->SearchForward(start, text, matchCase);
    if (i >= 0) return i;
  }
  return -1;
}

int TCellBasic::SearchBackward(int start, const std::u16string& text, bool matchCase) {
  for (int k = Count() - 1; k >= 0; --k) {
    const int i = (*this)[k]->SearchBackward(start, text, matchCase);
    if (i >= 0) return i;
  }
  return -1;
}

void TCellBasic::TextSections(std::vector<TSection*>& out) {
  for (const auto& s : *this) s->TextSections(out);
}

int TCellBasic::CharToSource(int index) {
  for (const auto& s : *this) {
    const int i = s->CharToSource(index);
    if (i >= 0) return i;
  }
  return -1;
}

bool TCellBasic::CharAt(int index, char16_t& ch, TIDObject*& object) {
  ch = 0;
  object = nullptr;
  if (index < StartChar || index >= StartChar + CharCount) return false;
  for (const auto& s : *this)
    if (s->CharAt(index, ch, object)) return true;
  return false;
}

void TCellBasic::CopySelection() {
  for (const auto& s : *this) {
    if (!Document) break;
    if (s->StartChar + s->CharCount <= Document->SelectionStart) continue;
    if (s->StartChar >= Document->SelectionEnd) break;
    s->CopySelection();
  }
}

void TCellBasic::AddSectionsToPositions() {
  for (const auto& s : *this) s->RegisterPosition();
}

bool TCellBasic::CheckLastBottomMargin() {
  for (int k = Count() - 1; k >= 0; --k) {
    TSectionBase* s = (*this)[k];
    if (s->IsAbsolutelyPositioned()) continue;
    return s->CheckLastBottomMargin();
  }
  return false;
}

TCell::TCell(ThtDocument* document) : TCellBasic(document), OwnIMgr(std::make_unique<TIndentManager>()) {
  IMgr = OwnIMgr.get();
}

TCell::TCell(ThtDocument* document, const TCell& source)
    : TCellBasic(document, source), OwnIMgr(std::make_unique<TIndentManager>()) {
  IMgr = OwnIMgr.get();
}

TCell::~TCell() = default;

int TCell::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
                  int& scrollWidth, int& curs) {
  TIndentManager& m = *OwnIMgr;
  IMgr = &m;
  m.Reset(x, width);
  const TIndentID saveID = m.CurrentID;
  m.CurrentID = this;
  const int li = m.SetLeftEdge(0, y);
  const int ri = m.SetRightEdge(width, y);
  const int h = TCellBasic::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, scrollWidth, curs);
  m.DeleteRight(ri);
  m.DeleteLeft(li);
  m.CurrentID = saveID;
  // Floats that reach below the last line still take room.
  int lowest = 0;
  for (const IndentRec& r : m.L()) lowest = std::max(lowest, r.YB < 9999999 ? r.YB : 0);
  for (const IndentRec& r : m.R()) lowest = std::max(lowest, r.YB < 9999999 ? r.YB : 0);
  return std::max(h, lowest - y);
}

int TCell::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  OwnIMgr->Reset(x, OwnIMgr->Width);
  OwnIMgr->ClipWidth = clipWidth;
  drawX_ = x;
  drawY_ = YValue;
  return TCellBasic::Draw(canvas, clip, clipWidth, x, xRef, yRef);
}

TCellObjCell::TCellObjCell(ThtDocument* document, const TCellObjCell& source)
    : TCell(document, source), CellRect(source.CellRect), Title(source.Title), Url(source.Url),
      Target(source.Target) {}

unsigned TCellObjCell::LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                                   TFormControlObj*& control, std::u16string& title) {
  unsigned flags = TCell::LinkAtPoint(canvas, x, y, url, control, title);
  if (x >= CellRect.Left && x < CellRect.Right && y >= CellRect.Top && y < CellRect.Bottom) {
    if (!(flags & guTitle) && !Title.empty()) {
      title = Title;
      flags |= guTitle;
    }
    if (!(flags & guUrl) && !Url.empty()) {
      url = std::make_unique<TUrlTarget>();
      url->URL = Url;
      url->Target = Target;
      flags |= guUrl;
    }
  }
  return flags;
}

int TChPosObj::YPosition() const {
  int x = 0, y = 0, h = 0;
  if (Owner && Owner->CharToPoint(ChPos, x, y, h)) return y;
  return 0;
}

// ---- the document ----

namespace {
constexpr std::array<double, 8> kFontSizes = {0, 8, 10, 12, 14, 18, 24, 36};
constexpr std::array<double, 8> kPreFontSizes = {0, 7, 8, 10, 12, 15, 20, 30};
}  // namespace

ThtDocument::ThtDocument(THtmlViewBase* viewer, QWidget* paintPanel) : TCell(nullptr), Viewer(viewer),
                                                                         PaintPanel(paintPanel) {
  Document = this;
  if (viewer) QuirksMode = viewer->QuirksMode == qmQuirks;
  StyleList = std::make_unique<THtmlStyleList>(this);
  PropertyStack = std::make_unique<THtmlPropStack>(this);
  InlineBoxes = std::make_shared<TInlineList>(this);
  for (int i = 1; i <= 7; ++i) {
    FontConvBase[i] = kFontSizes[i] * FontSize / 12;
    PreFontConvBase[i] = kPreFontSizes[i] * FontSize / 12;
  }
}

ThtDocument::ThtDocument(const ThtDocument& source, QWidget* paintPanel) : TCell(nullptr), PaintPanel(paintPanel) {
  Document = this;
  PrintCopy = true;
  QuirksMode = source.QuirksMode;
  Viewer = source.Viewer;
  FontColor = source.FontColor, HotSpotColor = source.HotSpotColor, LinkVisitedColor = source.LinkVisitedColor;
  LinkActiveColor = source.LinkActiveColor, Background = source.Background;
  FontName = source.FontName, PreFontName = source.PreFontName, FontSize = source.FontSize;
  ShowImages = source.ShowImages, NoLinkStyling = source.NoLinkStyling;
  // Before the sections: a copied table keeps its backgrounds only when they print.
  PrintBackgrounds = source.PrintBackgrounds, PrintBackgroundImages = source.PrintBackgroundImages;
  PrintMonochromeBlack = source.PrintMonochromeBlack;
  BackgroundImageName = source.BackgroundImageName, BackgroundPosition = source.BackgroundPosition;
  BackgroundImageDone = source.BackgroundImageDone, BackgroundImage = source.BackgroundImage;
  FontConvBase = source.FontConvBase, PreFontConvBase = source.PreFontConvBase;
  ImageLoader = source.ImageLoader;
  images_ = source.images_;
  StyleList = std::make_unique<THtmlStyleList>(this);
  PropertyStack = std::make_unique<THtmlPropStack>(this);
  InlineBoxes = source.InlineBoxes;
  OwnersTag = source.OwnersTag;
  for (const auto& s : source) Add(s->CreateCopy(this, this));
}

ThtDocument::~ThtDocument() {
  BeingDestroyed = true;
  Clear();
}

void ThtDocument::SetFonts(const std::u16string& name, const std::u16string& preName, TColor color, TColor hotSpot,
                           TColor visited, TColor active, TColor background, bool linksActive, bool linkUnderline,
                           double defaultSize, int charSet, int marginHeight, int marginWidth) {
  StyleList->Initialize(name, preName, static_cast<int>(defaultSize), color, hotSpot, visited, active,
                        linkUnderline, charSet, marginHeight, marginWidth);
  FontSize = defaultSize;
  for (int i = 1; i <= 7; ++i) {
    FontConvBase[i] = kFontSizes[i] * defaultSize / 12;
    PreFontConvBase[i] = kPreFontSizes[i] * defaultSize / 12;
    // The size keywords of the style sheets follow the viewer's default size.
    FontConv[static_cast<size_t>(i)] = FontConvBase[i];
  }
  FontName = name;
  PreFontName = preName;
  FontColor = color;
  HotSpotColor = hotSpot;
  LinkVisitedColor = visited;
  LinkActiveColor = active;
  LinksActive = linksActive;
  SetBackground(background);
  PropertyStack->Reset();
}

void ThtDocument::AddTabIndex(int tabIndex, QWidget* control) {
  if (tabIndex <= 0 || !control) return;
  char key[32];
  std::snprintf(key, sizeof key, "%.5d%.3d", std::min(tabIndex, 99999), static_cast<int>(TabIndexList.size()));
  TabIndexList[std::u16string(key, key + std::char_traits<char>::length(key))] = control;
}

void ThtDocument::ParkTabControl(int linkID, std::unique_ptr<ThtTabControl> control) {
  // A paint panel freed first has taken the parked control with it.
  if (parkedTab_ && !parkedAlive_) (void)parkedTab_.release();
  parkedTab_ = std::move(control);
  parkedAlive_ = parkedTab_.get();
  parkedTabLink_ = parkedTab_ ? linkID : 0;
}

std::unique_ptr<ThtTabControl> ThtDocument::TakeParkedTabControl(int linkID) {
  if (!parkedTab_ || !parkedAlive_ || linkID == 0 || linkID != parkedTabLink_) return nullptr;
  parkedTabLink_ = 0;
  return std::move(parkedTab_);
}

void ThtDocument::SetBackground(TColor color) {
  Background = color;
  if (BackgroundChanged) BackgroundChanged();
}

void ThtDocument::SetBackgroundImage(const std::u16string& name, const TBackgroundPosition& position) {
  BackgroundImageName = name;
  BackgroundPosition = position;
  BackgroundImageDone = false;
}

void ThtDocument::Clear() {
  if (!PrintCopy) {
    IdentifierList.Clear();
    SectionPositions.clear();
    if (InlineBoxes) InlineBoxes->Clear();
  }
  BackgroundImage.reset();
  BackgroundImageName.clear();
  BackgroundImageDone = false;
  AnimatedGifs.clear();
  Timer.reset();
  SelectionStart = SelectionEnd = 0;
  PendingImages.clear();
  LinkFonts.clear();
  Panels.clear();
  MapList.clear();
  HoverLink = nullptr;
  HoverImage = nullptr;
  if (!PrintCopy) {
    StyleList->Clear();
    StyleList->QuirksMode = QuirksMode;
  }
  TabIndexList.clear();
  TabOrderPending = true;
  // A control with the focus passes it on as it goes, to the next control, which goes next: each
  // of the page's controls would take the focus (and scroll the view to itself) on the way out.
  // (A document being destroyed may outlive its panel.)
  if (PaintPanel && !BeingDestroyed) {
    QWidget* focused = PaintPanel->window()->focusWidget();
    if (focused && PaintPanel->isAncestorOf(focused)) {
      if (Viewer) Viewer->setFocus(Qt::OtherFocusReason);
      if (PaintPanel->window()->focusWidget() == focused) focused->clearFocus();
    }
  }
  // Sections refer to the controls: they go first.
  TFreeList<TSectionBase>::Clear();
  ParkTabControl(0, nullptr);
  FormControls.clear();
  Forms.reset();
  SectionCount = 0;
  CharCount = 0;
  ManyLinks = false;
  // The images go back to the cache, which ages them from the next load on. A document being
  // destroyed may outlive its cache (the viewer clears it first).
  if (ImageCache && !BeingDestroyed)
    for (const auto& [name, entry] : images_)
      for (int k = 0; k < entry.Uses; ++k) ImageCache->DecUsage(name);
  images_.clear();
}

int ThtDocument::Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                        int yRef, int& scrollWidth, int& curs) {
  ++LayoutCount;
  PageShortened = false;
  TableNestLevel = 0;
  InLogic2 = false;
  SplitTable = nullptr;
  if (Timer) Timer->stop();
  // The controls take the sizes of the canvas the page is laid out on, not those of the scratch
  // canvas they were made on. A print copy has no forms of its own: it leaves the screen's
  // controls as they are.
  SetFormSizes(canvas);
  if (InlineBoxes) InlineBoxes->NeedsConverting = true;
  if (!PrintCopy && (TabOrderPending || !TabIndexList.empty())) {
    std::vector<QWidget*> first;
    for (const auto& [key, control] : TabIndexList)
      if (control) first.push_back(control);
    PlaceTabChain(Viewer, PaintPanel, first);
    TabIndexList.clear();
    TabOrderPending = false;
  }
  layoutWidth_ = width;
  const int h = TCell::Layout(canvas, x, y, width, availableHeight, blockHeight, xRef, yRef, scrollWidth, curs);
  if (!PrintCopy) {
    if (!AnimatedGifs.empty()) {
      // The first frame waits 50 ms; after that the steps take the interval they set, also
      // across layouts.
      if (!Timer) {
        Timer = std::make_unique<QTimer>();
        Timer->setInterval(50);
        QObject::connect(Timer.get(), &QTimer::timeout, [this] { AnimationStep(); });
      }
      Timer->start();
    } else if (Timer) {
      Timer->stop();
    }
    if (!FormControls.empty() && PaintPanel && PaintPanel->isVisible())
      for (const auto& c : FormControls)
        if (!c->Shown) c->MoveOff();
    if (SectionPositions.empty()) AddSectionsToPositions();
  }
  return h;
}

int ThtDocument::DoLayout(TCanvas& canvas, int y, int width, int availableHeight, int& scrollWidth) {
  int curs = 0;
  return Layout(canvas, 0, y, width, availableHeight, 0, 0, 0, scrollWidth, curs);
}

int ThtDocument::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  PageBottom = YOffset + clip.Bottom;
  PageTop = YOffset + clip.Top;
  PageInked = false;
  printedLines_.clear();
  FirstPageItem = true;
  if (Timer) Timer->stop();
  for (const auto& c : FormControls) c->Shown = false;
  for (TPanelObj* p : Panels) p->ShownThisPaint = false;
  const int bottom = TCell::Draw(canvas, clip, clipWidth, x, xRef, yRef);
  if (ControlsPlaced) {
    for (const auto& c : FormControls)
      if (!c->Shown) c->MoveOff();
    for (TPanelObj* p : Panels)
      if (!p->ShownThisPaint && p->Panel) p->Panel->hide();
    ControlsPlaced = false;
  }
  if (Timer && !AnimatedGifs.empty() && !PrintCopy) Timer->start();
  return bottom;
}

bool ThtDocument::PrintLine(int top, int inkTop, int inkBottom) {
  if (top >= PageBottom) return false;
  if (inkBottom > PageBottom && top > PageTop) {
    PageBottom = top;
    return false;
  }
  printedLines_.push_back({top, inkBottom});
  if (inkTop < PageBottom && inkBottom > PageTop) PageInked = true;
  return true;
}

int ThtDocument::PrintBreak() const {
  // Each pass moves the break up to a line's top; the lines of one page are few.
  int bottom = PageBottom;
  for (bool moved = true; moved;) {
    moved = false;
    for (const TPrintedLine& l : printedLines_)
      if (l.Top > PageTop && l.Top < bottom && l.InkBottom > bottom) {
        bottom = l.Top;
        moved = true;
      }
  }
  return bottom;
}

void ThtDocument::SetYOffset(int y) {
  YOffset = y;
  ControlsPlaced = true;
  for (const auto& c : FormControls) c->Shown = false;
  for (TPanelObj* p : Panels) p->ShownThisPaint = false;
}

int ThtDocument::CountSelection() {
  if (SelectionEnd <= SelectionStart) return 0;
  SelTextCount counter;
  CB = &counter;
  TCellBasic::CopySelection();
  CB = nullptr;
  return counter.Terminate();
}

int ThtDocument::CopySelectionTo(char16_t* buffer, int size) {
  if (!buffer || size < 1) return 0;
  if (SelectionEnd <= SelectionStart) {
    buffer[0] = 0;
    return 0;
  }
  SelTextBuf collector(buffer, size);
  CB = &collector;
  TCellBasic::CopySelection();
  CB = nullptr;
  return collector.Terminate() - 1;
}

std::u16string ThtDocument::SelectionText() {
  const int n = CountSelection();
  if (n <= 0) return {};
  std::u16string s(static_cast<size_t>(n) + 1, u'\0');
  const int copied = CopySelectionTo(s.data(), n + 1);
  s.resize(static_cast<size_t>(std::max(0, copied)));
  return s;
}

TSectionBase* ThtDocument::FindSectionAt(int y, int& top, int& index) {
  for (int i = static_cast<int>(SectionPositions.size()) - 1; i >= 0; --i) {
    TSectionBase* s = SectionPositions[static_cast<size_t>(i)];
    if (s->TopY() <= y) {
      top = s->TopY();
      index = i;
      return s;
    }
  }
  return nullptr;
}

int ThtDocument::SourceToChar(int source, bool backwards) {
  const int i = TSectionBaseList::SourceToChar(source, backwards);
  return i >= 0 ? i : CharCount;
}

bool ThtDocument::CharToPoint(int index, int& x, int& y, int& height) {
  if (CharCount <= 0) return false;
  const bool past = index >= CharCount;
  const int i = past ? CharCount - 1 : std::max(0, index);
  if (!TSectionBaseList::CharToPoint(i, x, y, height)) return false;
  if (past) y += 15;
  return true;
}

TSectionBase* ThtDocument::FindSectionOfChar(int index) {
  for (TSectionBase* s : SectionPositions)
    if (index >= s->StartChar && index < s->StartChar + s->CharCount) return s;
  return nullptr;
}

namespace {

// The pixels of a decoded image with its mask folded into the alpha (white in the mask is
// transparent).
std::shared_ptr<TDocImage> FromHtImage(const THtImage& source, const TBitmap* mask, TTransparency transparent) {
  QImage pixels;
  if (source.Bitmap()) pixels = source.Bitmap()->Image();
  else if (source.GpImage()) pixels = source.GpImage()->Image();
  else if (source.Gif()) pixels = source.Gif()->Bitmap();
  if (pixels.isNull()) return nullptr;
  auto result = std::make_shared<TDocImage>();
  result->Image = pixels.convertToFormat(QImage::Format_ARGB32);
  if (source.Gif() && source.Gif()->NumFrames > 1) result->Gif = std::make_shared<TViewerGifPicture>(*source.Gif());
  result->OwnTransparency = transparent == GifTransp || (source.Gif() && source.Gif()->IsTransparent);
  if (mask && !mask->Empty() && mask->Width() == pixels.width() && mask->Height() == pixels.height()) {
    const QImage m = mask->Image().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < m.height(); ++y) {
      const auto* in = reinterpret_cast<const QRgb*>(m.constScanLine(y));
      auto* out = reinterpret_cast<QRgb*>(result->Image.scanLine(y));
      for (int x = 0; x < m.width(); ++x)
        if (qGray(in[x]) >= 128) out[x] = 0;
    }
  }
  return result;
}

std::unique_ptr<THtImage> ReadImage(const QByteArray& data, TTransparency& transparent,
                                    std::unique_ptr<TBitmap>& mask) {
  TMemoryStream stream(std::vector<uint8_t>(data.begin(), data.end()));
  return LoadImageFromStream(&stream, transparent, mask);
}

}  // namespace

std::u16string ThtDocument::ImageName(const std::u16string& source) const {
  const std::u16string name = WideTrim(source);
  // A data: URL carries the picture itself: there is no file to find.
  if (name.empty() || !Viewer || WideLowerCase(name.substr(0, 5)) == u"data:") return name;
  try {
    return Viewer->HtmlExpandFilename(name);
  } catch (const EConvertError&) {
    return {};
  }
}

std::shared_ptr<TDocImage> ThtDocument::UseImage(const std::u16string& name, std::shared_ptr<TDocImage> image) {
  TImageEntry& entry = images_[name];
  entry.Image = image;
  ++entry.Uses;
  return image;
}

std::shared_ptr<TDocImage> ThtDocument::KeepImage(const std::u16string& name, std::unique_ptr<THtImage> loaded,
                                                   std::unique_ptr<TBitmap> mask, TTransparency transparent) {
  std::shared_ptr<TDocImage> image = loaded ? FromHtImage(*loaded, mask.get(), transparent) : nullptr;
  if (!image) return nullptr;
  if (ImageCache)
    ImageCache->AddObject(name, std::make_unique<TBitmapItem>(std::move(loaded), std::move(mask), transparent));
  return UseImage(name, image);
}

std::shared_ptr<TDocImage> ThtDocument::GetImage(const std::u16string& nameIn, bool& pending) {
  pending = false;
  // Keyed as written: names that differ only in case (two files, two data payloads) are two
  // images.
  const std::u16string name = WideTrim(nameIn);
  if (name.empty()) return nullptr;
  const int index = ImageCache ? ImageCache->IndexOf(name) : -1;
  TBitmapItem* item = index >= 0 ? ImageCache->GetImage(index) : nullptr;
  if (auto it = images_.find(name); it != images_.end()) {
    // One that failed is not asked for again.
    if (!it->second.Image) return nullptr;
    if (item) ++item->UsageCount;
    return UseImage(name, it->second.Image);
  }
  if (item) {
    auto image = item->MImage ? FromHtImage(*item->MImage, item->Mask.get(), item->Transp) : nullptr;
    if (!image) return nullptr;
    ++item->UsageCount;
    item->AccessCount = 0;
    return UseImage(name, image);
  }
  std::shared_ptr<TDocImage> image;
  std::unique_ptr<THtImage> loaded;
  std::unique_ptr<TBitmap> mask;
  TTransparency transparent = NotTransp;
  try {
    if (name.rfind(u"data:image/", 0) == 0) {
      const size_t at = name.find(u";base64,", 10);
      if (at == std::u16string::npos) return nullptr;
      QString payload = QString::fromStdU16String(name.substr(at + 8));
      payload.replace(QStringLiteral("%0A"), QStringLiteral("\n"));
      loaded = ReadImage(QByteArray::fromBase64(payload.toLatin1()), transparent, mask);
    } else if (ImageLoader) {
      image = ImageLoader(name, pending);
    } else {
      // The host's bitmap comes first, then its stream; without either handler, the file.
      QImage bitmap;
      const TImageRequestResult b = Viewer ? Viewer->RequestBitmap(name, bitmap) : irNoHandler;
      if (b == irData && !bitmap.isNull()) {
        image = std::make_shared<TDocImage>();
        image->Image = bitmap.convertToFormat(QImage::Format_ARGB32);
      } else {
        QByteArray data;
        const TImageRequestResult r = Viewer ? Viewer->RequestImage(name, data) : irNoHandler;
        if (r == irWait) {
          pending = true;
          return nullptr;
        }
        if (r == irNone || (r == irNoHandler && b != irNoHandler)) return nullptr;
        if (r == irData)
          loaded = ReadImage(data, transparent, mask);
        else
          loaded = LoadImageFromFile(name, transparent, mask);
      }
    }
  } catch (...) {
    // A decoder's failure is an image that cannot be had: the error image shows, nothing more.
    return nullptr;
  }
  if (image) return UseImage(name, image);
  return KeepImage(name, std::move(loaded), std::move(mask), transparent);
}

std::shared_ptr<TDocImage> ThtDocument::GetImage(const std::u16string& name, TIDObject* waiter, bool& pending) {
  pending = false;
  if (name.empty()) return nullptr;
  pending = std::any_of(PendingImages.begin(), PendingImages.end(), [&](const auto& p) { return p.first == name; });
  std::shared_ptr<TDocImage> image = pending ? nullptr : GetImage(name, pending);
  if (!image && pending) PendingImages.emplace_back(name, waiter);
  return image;
}

void ThtDocument::ReleaseImage(const std::u16string& nameIn) {
  const std::u16string name = WideTrim(nameIn);
  const auto it = images_.find(name);
  if (it == images_.end() || it->second.Uses < 1) return;
  if (ImageCache) ImageCache->DecUsage(name);
  // The last use gone, the document's copy of the pixels goes with its last holder.
  if (--it->second.Uses == 0) images_.erase(it);
}

bool ThtDocument::InsertImage(const std::u16string& nameIn, const QByteArray& data) {
  const std::u16string name = WideTrim(nameIn);
  std::vector<TIDObject*> waiting;
  bool waited = false;
  auto kept = std::remove_if(PendingImages.begin(), PendingImages.end(), [&](const auto& p) {
    if (WideTrim(p.first) != name) return false;
    waited = true;
    waiting.push_back(p.second);
    return true;
  });
  PendingImages.erase(kept, PendingImages.end());
  if (!waited) return false;
  std::shared_ptr<TDocImage> image;
  try {
    std::unique_ptr<TBitmap> mask;
    TTransparency transparent = NotTransp;
    std::unique_ptr<THtImage> loaded = ReadImage(data, transparent, mask);
    // The document holds the one use of the picture for all that waited: it goes back when the
    // document is cleared.
    image = KeepImage(name, std::move(loaded), std::move(mask), transparent);
  } catch (...) {
    image = nullptr;
  }
  // What failed is not asked for again.
  if (!image) images_[name].Image = nullptr;
  for (TIDObject* o : waiting) {
    if (o)
      o->ImageArrived(image);
    else
      BackgroundImageDone = false;
  }
  return true;
}

std::shared_ptr<TDocImage> ThtDocument::GetBackgroundImage() {
  if (BackgroundImageDone) return BackgroundImage;
  BackgroundImageDone = true;
  if (BackgroundImageName.empty()) return nullptr;
  const std::u16string name = ImageName(BackgroundImageName);
  // An awaited background stays done until InsertImage brings it: paints do not ask again.
  bool pending = false;
  BackgroundImage = GetImage(name, nullptr, pending);
  if (BackgroundImage && BackgroundImage->Gif && !PrintCopy) {
    auto gif = std::make_shared<TViewerGifPicture>(*BackgroundImage->Gif);
    gif->SetAnimate(true);
    AnimatedGifs.push_back({this,
                            [gif] {
                              bool changed = false;
                              gif->CheckTime([&changed](const QRect&) { changed = true; });
                              return changed;
                            },
                            nullptr});
  }
  return BackgroundImage;
}

TImageWait::~TImageWait() {
  if (!waitingIn_ || waitingIn_->BeingDestroyed) return;
  auto& pending = waitingIn_->PendingImages;
  pending.erase(std::remove_if(pending.begin(), pending.end(), [this](const auto& p) { return p.second == this; }),
                pending.end());
}

std::shared_ptr<TDocImage> TImageWait::Get(ThtDocument& document, const std::u16string& name, bool& pending) {
  pending = waitingIn_ != nullptr;
  if (arrived_ || pending) return image_;
  std::shared_ptr<TDocImage> image = document.GetImage(name, this, pending);
  if (pending) waitingIn_ = &document;
  return image;
}

void TImageWait::ImageArrived(std::shared_ptr<TDocImage> image) {
  waitingIn_ = nullptr;
  arrived_ = true;
  image_ = std::move(image);
}

TMapItem* ThtDocument::FindMap(const std::u16string& name) const {
  for (const auto& m : MapList)
    if (m->MapName == name) return m.get();
  return nullptr;
}

void ThtDocument::ProcessInline(int sourcePos, TProperties& props, bool start) {
  if (!InlineBoxes) return;
  if (start) {
    auto rec = std::make_unique<InlineRec>();
    rec->StartSource = sourcePos;
    rec->PropertyID = props.ID;
    rec->Box = InlineBoxOf(props);
    InlineBoxes->Add(std::move(rec));
    InlineBoxes->NeedsConverting = true;
    return;
  }
  for (int i = InlineBoxes->Count() - 1; i >= 0; --i) {
    InlineRec* r = (*InlineBoxes)[i];
    if (r->PropertyID == props.ID) {
      if (r->EndSource < 0) r->EndSource = sourcePos;
      InlineBoxes->NeedsConverting = true;
      return;
    }
  }
}

unsigned ThtDocument::Hover(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                            TFormControlObj*& control, std::u16string& title, bool buttonDown) {
  TFontObj* oldLink = HoverLink;
  TImageObj* oldImage = HoverImage;
  HoverLink = nullptr;
  HoverImage = nullptr;
  const unsigned flags = LinkAtPoint(canvas, x, y, url, control, title);
  bool repaint = false;
  if (LinksActive && HoverLink != oldLink) {
    // Every run of a link changes together.
    if (oldLink) oldLink->SetAllHovers(LinkFonts, false);
    if (HoverLink) HoverLink->SetAllHovers(LinkFonts, true);
    repaint = true;
  }
  if (HoverImage != oldImage) {
    if (oldImage) oldImage->SetHover(0);
    repaint = true;
  }
  if (HoverImage) HoverImage->SetHover(buttonDown ? 2 : 1);
  if (repaint && Viewer) Viewer->RepaintPanel();
  return flags;
}

void ThtDocument::SetPressed(bool pressed) {
  if (!HoverImage) return;
  HoverImage->SetHover(pressed ? 2 : 1);
  if (Viewer) Viewer->RepaintPanel();
}

void ThtDocument::ClearHover() {
  if (HoverLink && LinksActive) HoverLink->SetAllHovers(LinkFonts, false);
  if (HoverImage) HoverImage->SetHover(0);
  HoverLink = nullptr;
  HoverImage = nullptr;
  if (Viewer) Viewer->RepaintPanel();
}

void ThtDocument::AnimationStep() {
  if (PrintCopy) return;
  const TRect view = Viewer ? Viewer->VisibleDocRect() : TRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  bool whole = false;
  for (auto& a : AnimatedGifs) {
    if (!a.Step) continue;
    if (!a.Area) {
      whole = a.Step() || whole;
      continue;
    }
    // Far below the view a picture would repaint nothing that shows.
    const TRect r = a.Area();
    if (r.Right <= r.Left || r.Bottom <= r.Top || r.Right <= view.Left || r.Left >= view.Right ||
        r.Bottom <= view.Top || r.Top >= view.Bottom)
      continue;
    if (a.Step() && Viewer && !whole) Viewer->RepaintDocRect(r);
  }
  if (whole && Viewer) Viewer->RepaintPanel();
  if (Timer) Timer->setInterval(40);
}

void ThtDocument::ReportProgress(int percent) {
  if (PrintCopy || !Viewer) return;
  Viewer->htProgress(percent);
}

// ---- page break and rule ----

std::unique_ptr<TSectionBase> TPage::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<TPage>(owner, cell, *this);
}

int TPage::InkBottom() const { return INT_MIN; }

int TPage::Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) {
  const int bottom = TSectionBase::Draw(canvas, clip, clipWidth, x, xRef, yRef);
  if (Owner && Owner->Printing) {
    const int top = YPos - Owner->YOffset;
    if (top > clip.Top + 5 && top < clip.Bottom) Owner->PageBottom = std::min(Owner->PageBottom, YPos);
  }
  return bottom;
}

THorzLine::THorzLine(ThtDocument* owner, TCellBasic* cell, const TAttributeList* attributes, TProperties& props)
    : TSectionBase(owner, cell) {
  if (attributes) {
    for (const auto& a : *attributes) {
      switch (a->Which) {
        case SizeSy:
          if (a->Value >= 1 && a->Value <= 20) VSize = a->Value;
          break;
        case WidthSy:
          if (a->Name.find(u'%') != std::u16string::npos) {
            if (a->Value <= 100) props.AssignProp(piWidth, std::u16string(a->Name));
          } else if (a->Value > 0) {
            props.AssignProp(piWidth, std::u16string(a->Name.empty() ? u"0" : a->Name) + u"px");
          }
          break;
        case ColorSy: {
          TColor c;
          int alpha;
          if (ColorFromString(a->Name, false, c, alpha)) props.AssignProp(TPropIndex::Color, static_cast<int>(c));
          break;
        }
        case AlignSy: {
          const std::u16string v = LowerW(a->Name);
          if (v == u"left") Align = 1;
          else if (v == u"right") Align = 3;
          break;
        }
        case NoshadeSy: NoShade = true; break;
        default: break;
      }
    }
  }
  // Only the rule's own text-align: the one every element inherits would put each rule at the left.
  const std::u16string ta = props.OwnFlags[TPropIndex::TextAlign] ? props.Text(TPropIndex::TextAlign) : std::u16string();
  if (ta == u"left") Align = 1;
  else if (ta == u"right") Align = 3;
  else if (ta == u"center") Align = 2;
  Color = props.GetOwnForegroundColor();
  props.AssignProp(piHeight, QString::number(VSize).toStdU16String() + u"px");
}

THorzLine::THorzLine(ThtDocument* owner, TCellBasic* cell, const THorzLine& source)
    : TSectionBase(owner, cell, source), VSize(source.VSize), Align(source.Align), Color(source.Color),
      NoShade(source.NoShade), Width(source.Width) {}

std::unique_ptr<TSectionBase> THorzLine::CreateCopy(ThtDocument* owner, TCellBasic* cell) const {
  return std::make_unique<THorzLine>(owner, cell, *this);
}

int THorzLine::Layout(TCanvas&, int x, int y, int width, int, int, int, int, TIndentManager& imgr, int& maxWidth,
                      int& curs) {
  StartChar = curs;
  DrawTop = YPos = ContentTop = y;
  LeftX = std::max(x, imgr.ImageLeft(y));
  RuleWidth = std::max(0, std::min(x + width - LeftX, imgr.ImageRight(y) - LeftX));
  SectionHeight = DrawHeight = VSize;
  ContentBottom = DrawBottom = y + VSize;
  maxWidth = RuleWidth;
  return SectionHeight;
}

int THorzLine::Draw(TCanvas& canvas, const TRect& clip, int, int, int, int) {
  const int yOff = Owner ? Owner->YOffset : 0;
  const int top = YPos - yOff;
  if (top >= clip.Bottom || top + VSize <= clip.Top) return YPos + SectionHeight;
  if (Owner && Owner->Printing && YPos > Owner->PageBottom) return YPos + SectionHeight;
  if (Owner && Owner->Printing && YPos < Owner->PageBottom) Owner->PageInked = true;
  const TRect r{LeftX, top, LeftX + RuleWidth, top + VSize};
  if (Color != clNone) {
    FillRectColor(canvas, r, Color);
    return YPos + SectionHeight;
  }
  const bool black = NoShade || (Owner && Owner->MonochromeBlack());
  const bool whiteBack = Owner && (Owner->Printing || Owner->Background == clWhite ||
                                   (Owner->Background == clBtnFace && ColorToRGB(clBtnFace) == clWhite));
  const TColor light = black ? clBlack : whiteBack ? TColor(0xC0C0C0) : ColorToRGB(clBtnHighlight);
  const TColor dark = black ? clBlack : ColorToRGB(clBtnShadow);
  // A sunken frame: right and bottom edges light, then left and top dark.
  FillRectColor(canvas, {r.Right - 1, r.Top, r.Right, r.Bottom}, light);
  FillRectColor(canvas, {r.Left, r.Bottom - 1, r.Right, r.Bottom}, light);
  FillRectColor(canvas, {r.Left, r.Top, r.Left + 1, r.Bottom - 1}, dark);
  FillRectColor(canvas, {r.Left, r.Top, r.Right - 1, r.Top + 1}, dark);
  return YPos + SectionHeight;
}

}  // namespace htmlview
