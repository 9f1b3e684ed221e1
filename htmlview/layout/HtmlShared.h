#pragma once
// What the viewer control, the parser and the document objects share: the selection-text
// collectors, the character buffers used while building text, the float bookkeeping of the
// layout, the control bases, the shared pictures, and a set of text and drawing routines.
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstdint>
#include <climits>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/gui/Graphics.h"

namespace htmlview {

class TUrlTarget;
class ThvPanel;

// Counts the characters a selection copies. The document's text holds a marker character in
// place of each object: a line break (8) counts two (CR LF); the form-control (2) and image (4)
// markers count nothing.
class SelTextCount {
public:
  virtual ~SelTextCount() = default;
  virtual void AddText(const char16_t* p, int size);
  // The count.
  virtual int Terminate();
  int Count() const { return Leng; }

protected:
  int Leng = 0;
};

// Copies the characters a selection copies into a caller's buffer of size characters: never
// more than size - 1, then a terminating zero.
class SelTextBuf : public SelTextCount {
public:
  SelTextBuf(char16_t* buffer, int size);
  void AddText(const char16_t* p, int size) override;
  // Writes the terminating zero and returns the count + 1 (0 for a buffer of size 0).
  int Terminate() override;

private:
  char16_t* Buffer;
  int BufferLeng;
};

// Characters with the source position of each, collected while a run of text is read.
class TCharCollection {
public:
  TCharCollection();
  void Add(char16_t ch, int index) {
    if (size_ < static_cast<int>(Indices.size())) {
      Chars[static_cast<size_t>(size_)] = ch;
      Indices[static_cast<size_t>(size_++)] = index;
    } else {
      Concat(std::u16string(1, ch), index);
    }
  }
  // Every character of s gets index.
  void Concat(const std::u16string& s, int index);
  void Clear();
  int Size() const { return size_; }
  // The characters in use (Chars may hold spare capacity beyond Size).
  std::u16string AsString() const { return Chars.substr(0, static_cast<size_t>(size_)); }

  std::u16string Chars;
  std::vector<int> Indices;

private:
  void Grow(int needed);
  int size_ = 0;
};

// The text of a token with the source position of each character.
class TokenObj {
public:
  TokenObj();
  void AddUnicodeChar(char16_t ch, int index);
  void AddString(const TCharCollection& s);
  void AddString(const std::u16string& s, int index);
  // Empty; the string stays valid (empty).
  void Clear();
  // Capacity n; shrinking below Leng cuts the text.
  void SetCapacity(int n);
  // The text, rebuilt from C after a change.
  const std::u16string& S();
  int Leng = 0;
  int MaxIndex() const { return static_cast<int>(C.size()); }

  std::vector<char16_t> C;  // capacity MaxIndex; Leng in use
  std::vector<int> I;

private:
  void Grow(int needed);
  std::u16string string_;
  bool stringOK_ = true;
};

// Identifies what an indent record belongs to: the block (or cell) being laid out; nullptr for a
// float that every block sees.
using TIndentID = const void*;

struct IndentRec {
  int X = 0;   // the edge, relative to the manager's LfEdge
  int YT = 0;  // top of the vertical extent
  int YB = 0;  // bottom, exclusive
  TIndentID ID = nullptr;
  uint64_t Seq = 0;  // the order in which the manager took it
};

// Where floats stand beside the text of a cell, in document pixels. X values of the records and of
// LeftIndent and RightSide are relative to LfEdge; ImageLeft, ImageRight and the results of
// AlignLeft and AlignRight are absolute. A record covers Y when YT <= Y < YB; it counts when its ID
// is nullptr or the current block.
class TIndentManager {
public:
  int LfEdge = 0;
  int Width = 0;
  int ClipWidth = 0;
  TIndentID CurrentID = nullptr;

  void Reset(int lfEdge, int width);
  // A new edge for the next block of the same cell.
  void UpdateBlock(int lfEdge);
  // Floats of width w from yt to yb, beside the current indents.
  void AddLeft(int yt, int yb, int w);
  void AddRight(int yt, int yb, int w);
  // An edge of the current block from y downwards; the record's index for DeleteLeft/DeleteRight.
  int SetLeftEdge(int x, int y);
  int SetRightEdge(int x, int y);
  void DeleteLeft(int index);
  void DeleteRight(int index);
  // Each side's records in the order they were added.
  const std::vector<IndentRec>& L() const { return left_.All; }
  const std::vector<IndentRec>& R() const { return right_.All; }

  int LeftIndent(int y) const;
  int RightSide(int y) const;
  int ImageLeft(int y) const { return LeftIndent(y) + LfEdge; }
  int ImageRight(int y) const { return RightSide(y) + LfEdge; }
  // The lowest bottom of all floats (0 when none).
  int GetClearY() const;
  // The lowest bottom of the left and of the right floats, each + 1 (0 when none).
  void GetClearLeftRight(int& cl, int& cr) const;
  // The nearest float bottom below y, where the room may widen (y when none).
  int GetNextWiderY(int y) const;
  // Where a left float of width w goes at y or below (y moves down when it must); spW is room
  // wanted beside it, spH a step down that may give that room.
  // The searches remember what they found (they answer as if they did not).
  int AlignLeft(int& y, int w, int spW = 0, int spH = 0) const;
  int AlignRight(int& y, int w, int spW = 0, int spH = 0) const;

private:
  // The extreme of the values of the intervals that hold a point, over the whole int range: a
  // question costs the tree's depth, not the number of intervals.
  class TIntervalExtreme {
  public:
    explicit TIntervalExtreme(bool lowest) : lowest_(lowest) {}
    void Clear() { nodes_.clear(); }
    // [from, to) holds value.
    void Add(int from, int to, int value);
    // The greatest (or, lowest, the least) value of the intervals holding y; false when none does.
    bool At(int y, int& value) const;

  private:
    struct TNode {
      int Child[2] = {-1, -1};
      int Value = 0;
      bool Set = false;
    };
    void Add(int node, int64_t lo, int64_t hi, int64_t from, int64_t to, int value);
    bool lowest_;
    std::vector<TNode> nodes_;
  };
  // What the last row search of a side found: below Y, every float bottom under M of the records
  // older than Seq left less room than W. While the block's edges stand above Y on both sides,
  // floats added later only take room away, so the next float at Y need not look there again.
  struct TRowMemo {
    bool Valid = false;
    int Y = 0, W = 0, M = 0;
    TIndentID ID = nullptr;
    uint64_t Gen = 0, Seq = 0;
  };
  // A page of thousands of floats asks about rows near its bottom: the records without an ID are
  // kept by bottom as well, and their extent in a tree. The block edges are few (one per open
  // block) and are looked through in full.
  struct TSide {
    explicit TSide(bool right) : Extent(right) {}
    std::vector<IndentRec> All;
    std::multimap<int, IndentRec> Floats;  // by YB
    std::vector<IndentRec> Edges;          // ID set, in the order added
    TIntervalExtreme Extent;               // of Floats: the greatest X on the left, the least on the right
    mutable TRowMemo Memo;
    void Add(const IndentRec& r);
    void Delete(int index);
    void Clear();
    // The bottom of the lowest float, or def when there is none.
    int LowestBottom(int def) const { return Floats.empty() ? def : std::max(def, Floats.rbegin()->first); }
  };
  // The innermost edge at y of a side, of the floats there and the current block's edges; false
  // when none stands at y.
  bool InnerEdge(const TSide& side, int y, int& x) const;
  // The last edge of the current block on side, or nullptr.
  const IndentRec* BlockEdge(const TSide& side) const;
  int LastLeftOfBlock() const;
  int LastRightOfBlock(bool& found) const;
  bool Fits(int y, int w) const { return RightSide(y) - w >= LeftIndent(y); }
  // Floats that came before the current block's own edge on side belong to what surrounds the
  // block: the Seq of that edge (candidates must be newer), 0 when every float counts.
  uint64_t BlockStart(const TSide& side, bool& bounded) const;
  // Whether the bottom of a float r of a side is a row where the search may stop: r came after the
  // block's edge and is in force just above its bottom.
  bool IsRow(bool leftSide, const IndentRec& r, uint64_t after, bool bounded) const;
  // The highest float bottom of side below y that is a row where w fits; INT_MAX when none.
  int FindRow(const TSide& side, bool leftSide, int y, int w) const;
  // The lowest float bottom of side below y that is a row, or y.
  int LowestRow(const TSide& side, bool leftSide, int y) const;
  // Whether both sides have edges of the current block that stand from y + 1 down.
  bool EdgesAbove(int y) const;
  // Where a float of width w goes at y or below: the row (y moves there) or, when it fits
  // nowhere, the lowest row.
  bool PlaceBelow(int& y, int w) const;

  TSide left_{false}, right_{true};
  uint64_t nextSeq_ = 1;
  uint64_t gen_ = 0;  // changes with every change but a float added
};

// How the page declares its rendering rules.
enum THtQuirksMode { qmDetect, qmStandards, qmQuirks };

// The events every viewer offers its host.
using TIncludeEvent = std::function<void(QObject* sender, const std::u16string& command,
                                         const std::u16string& params, std::u16string& included)>;
using TSoundRequestEvent = std::function<void(QObject* sender, const std::u16string& src, int loop, bool terminate)>;
using TScriptEvent = std::function<void(QObject* sender, const std::u16string& name, const std::u16string& contentType,
                                        const std::u16string& src, const std::u16string& script)>;
using TLinkEvent = std::function<void(QObject* sender, const std::u16string& rel, const std::u16string& rev,
                                      const std::u16string& href)>;

class TViewerBase : public QWidget {
public:
  explicit TViewerBase(QWidget* parent = nullptr);

  virtual void SetOnInclude(TIncludeEvent handler) { OnInclude = std::move(handler); }
  virtual void SetOnSoundRequest(TSoundRequestEvent handler) { OnSoundRequest = std::move(handler); }
  virtual void SetOnScript(TScriptEvent handler) { OnScript = std::move(handler); }
  virtual void SetOnLink(TLinkEvent handler) { OnLink = std::move(handler); }
  virtual void SetQuirksMode(THtQuirksMode mode) { QuirksMode = mode; }

  TIncludeEvent OnInclude;
  TSoundRequestEvent OnSoundRequest;
  TScriptEvent OnScript;
  TLinkEvent OnLink;
  THtQuirksMode QuirksMode = qmDetect;
};

// What a host answers when the document asks it for an image.
enum TImageRequestResult {
  irNoHandler,  // no host event: the document reads the file itself
  irData,       // data holds the image
  irWait,       // not yet: the image stays pending until the host supplies it
  irNone        // no image
};

// The only way the document reaches its viewer. The viewer control implements it; tests use a
// fake. The operations beyond the first four have defaults that do nothing, so fakes stay small.
class THtmlViewBase : public TViewerBase {
public:
  using TViewerBase::TViewerBase;

  virtual std::u16string HtmlExpandFilename(const std::u16string& filename) = 0;
  virtual bool ShowFocusRect() = 0;
  virtual void ControlMouseMove(QObject* sender, unsigned shift, int x, int y) = 0;
  virtual void htProgress(int percent) = 0;

  // The widget the document draws on; form controls and panels are its children.
  virtual QWidget* PaintPanel() { return this; }
  virtual TImageRequestResult RequestImage(const std::u16string& /*name*/, QByteArray& /*data*/) {
    return irNoHandler;
  }
  // Asked before RequestImage: a picture the host has at hand (its transparent colour already
  // taken out of the alpha). irWait is never the answer.
  virtual TImageRequestResult RequestBitmap(const std::u16string& /*name*/, QImage& /*image*/) {
    return irNoHandler;
  }
  // A control at document y (height h) took the focus: scroll it into view.
  virtual void ScrollFocusInto(int /*y*/, int /*h*/) {}
  // A link whose line starts at document y took the focus: scroll it into view.
  virtual void ScrollLinkInto(int /*y*/) {}
  virtual void RepaintPanel() {}
  // The part of the document the panel shows, and a repaint of a part of the document (both in
  // document coordinates). A view that cannot tell shows all and repaints the whole panel.
  virtual TRect VisibleDocRect() const { return {INT_MIN, INT_MIN, INT_MAX, INT_MAX}; }
  virtual void RepaintDocRect(const TRect& rect) {
    (void)rect;
    RepaintPanel();
  }
  // A link was activated from the keyboard: it becomes the current link and the hot-spot message
  // is posted.
  virtual void PostHotSpot(const TUrlTarget& /*link*/) {}
  // A key that a link's tab control does not use itself: the viewer's keys (Qt key codes).
  virtual void KeyDown(int /*key*/, unsigned /*shift*/) {}
  // Object panels: whether the host handles them, and its handlers.
  virtual bool HasPanelHandlers() const { return false; }
  virtual void PanelCreate(ThvPanel* /*panel*/, const std::u16string& /*name*/, const std::u16string& /*type*/,
                           const std::u16string& /*src*/) {}
  virtual void PanelDestroy(ThvPanel* /*panel*/) {}
  virtual void PanelPrint(ThvPanel* /*panel*/, TCanvas& /*canvas*/, const TRect& /*rect*/) {}
  // OBJECT elements: whether the host takes them, and its answer for one (attributes and params as
  // "name=value" lines).
  virtual bool HasObjectTag() const { return false; }
  virtual void ObjectTag(ThvPanel* /*panel*/, const std::vector<std::u16string>& /*attributes*/,
                         const std::vector<std::u16string>& /*params*/, bool& /*wantPanel*/) {}
};

// Text routines. Case maps one UTF-16 unit (a surrogate pair as one character) to one, so that
// character positions and source positions stay aligned.
std::u16string WideUpperCase(const std::u16string& s);
std::u16string WideLowerCase(const std::u16string& s);
// Without leading and trailing characters below 33.
std::u16string WideTrim(const std::u16string& s);
// 1-based position of sub in s; 0 when absent.
int PosW(const std::u16string& sub, const std::u16string& s, int from = 1);
// In a zero-terminated text: sub's first occurrence, ch's first and last; nullptr when absent.
const char16_t* StrPosW(const char16_t* s, const char16_t* sub);
const char16_t* StrScanW(const char16_t* s, char16_t ch);
const char16_t* StrRScanW(const char16_t* s, char16_t ch);

// How many of the first count characters of text fit in width in the canvas's font; extent gets
// their width. A width below 1 or no text gives 0.
int FitText(const TCanvas& canvas, const char16_t* text, int count, int width, int& extent);
int GetXExtent(const TCanvas& canvas, const char16_t* text, int count);
// Text wrapped at blanks within rect (no hot-key prefixes); returns the height.
int WrapTextW(TCanvas& canvas, TRect& rect, const std::u16string& text);

// Drawing routines.
TRect ScaleRect(const TRect& r, double fx, double fy);

// A canvas's clip as it was: whether there was one, and its region.
struct TSavedClip {
  bool HadClip = false;
  QRegion Region;
};
// Narrows the canvas's clip to rect (within the clip already in force, if any) and returns the
// clip as it was, for RestoreClip. rect is in the canvas's coordinates, printing or not.
TSavedClip SetClip(TCanvas& canvas, const TRect& rect, bool printing);
void RestoreClip(TCanvas& canvas, const TSavedClip& saved);
// Keeps the canvas's clip and puts it back when it goes, whatever was done to it meanwhile.
class TClipScope {
public:
  explicit TClipScope(TCanvas& canvas);
  // Also narrows the clip to rect, as SetClip does.
  TClipScope(TCanvas& canvas, const TRect& rect, bool printing);
  ~TClipScope();
  TClipScope(const TClipScope&) = delete;
  TClipScope& operator=(const TClipScope&) = delete;
  const TSavedClip& Saved() const { return saved_; }

private:
  TCanvas& canvas_;
  TSavedClip saved_;
};

// Paints with fn onto the canvas within the bands given (document coordinates): each band is
// drawn into a transparent image of its own and copied on, so memory follows the bands' area.
void PaintOnCanvas(TCanvas& canvas, const std::vector<TRect>& bands, const std::function<void(QPainter&)>& fn);
void FillRectColor(TCanvas& canvas, const TRect& r, TColor color);
// A control's background and a two-coloured frame; a monochrome device (a one-bit printer) gets
// a black one-pixel frame.
void FormControlRect(TCanvas& canvas, int left, int top, int right, int bottom, TColor color, bool btnFace,
                     bool printing, bool raised, bool monochrome = false);
// A filled four-sided polygon (a side of a border): the pixels whose centres lie inside, so that
// sides that meet share no pixel.
void FillQuad(TCanvas& canvas, const TPoint (&p)[4], TColor color);

// The shared pictures, made on first use: the placeholder shown while an image is awaited, the
// error image for one that failed (its alpha is its mask) and that mask on its own (white where
// the image is transparent), and the three cursors of panning with the middle button.
const QImage& DefBitMap();
const QImage& ErrorBitmap();
const QImage& ErrorBitmapMask();
enum TPanCursor { UpDownCursor = 10103, UpOnlyCursor = 10104, DownOnlyCursor = 10105 };
const QImage& PanCursorImage(TPanCursor which);

// The tab order of the windows on a paint panel. second follows first when tabbing; both must
// take the focus.
void LinkTabOrder(QWidget* first, QWidget* second);
// The direct children of panel in the order the tab key visits them.
std::vector<QWidget*> PanelTabChain(QWidget* panel);
// The panel's windows that take the focus follow lead: those of first in its order, then the
// others as they stood. One walk of the window's chain, however many there are.
void PlaceTabChain(QWidget* lead, QWidget* panel, const std::vector<QWidget*>& first);

// Erases the one entry of value in v, searching from both ends at once: what is dropped while a
// page is built is mostly its newest (at the back) or oldest (at the front) part, so each drop
// costs about its own entries and dropping many stays linear. False when value is not there.
template <class T>
bool EraseNearEnds(std::vector<T>& v, const T& value) {
  for (size_t i = 0, j = v.size(); i < j; ++i) {
    if (v[i] == value) {
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
    if (v[--j] == value) {
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(j));
      return true;
    }
  }
  return false;
}

}  // namespace htmlview
