#pragma once
// The document tree's common ground: identified objects and their name index, the section base
// that every laid-out piece derives from, cells (ordered lists of sections laid out one below the
// other), the document root that owns what the page's objects share, and the two simplest
// sections (page break and rule).
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <unordered_map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "htmlview/markup/HtmlBase.h"
#include "htmlview/style/StyleUn.h"
#include "platform/gui/Graphics.h"

class QTimer;
class QWidget;

namespace htmlview {

class ThtDocument;
class TCellBasic;
class TIndentManager;
class TFormControlObj;
class TFontObj;
class ThtTabControl;
class TFloatingObj;
class TImageObj;
class TPanelObj;
class TSection;
class THtmlViewBase;
class THtmlPropStack;
class THtmlStyleList;
class TInlineList;
class SelTextCount;
class TStringBitmapList;
class TViewerGifPicture;
class TMapItem;
class THtImage;
enum TTransparency : uint8_t;
class TDocumentForms;
// The forms are made and freed by their own unit (HtmlForms), which stands on the document.
struct TDocumentFormsDeleter {
  void operator()(TDocumentForms* forms) const;
};

struct TDocImage;

// An object that a name (id, name) can reach.
class TIDObject {
public:
  virtual ~TIDObject() = default;
  // The object's top in document coordinates.
  virtual int YPosition() const { return 0; }
  // Whether the name index owns (and frees) the object.
  virtual bool FreeMe() const { return false; }
  // The image this object awaited has come (nullptr: it never will).
  virtual void ImageArrived(std::shared_ptr<TDocImage> /*image*/) {}
};

// Stands for a picture that an object shows besides its content (a block's or a cell's
// background, a list item's marker) while the host makes it wait: the object asks for it once,
// and what InsertImage brings (nullptr: no picture) is its answer from then on.
class TImageWait final : public TIDObject {
public:
  TImageWait() = default;
  TImageWait(const TImageWait&) = delete;
  TImageWait& operator=(const TImageWait&) = delete;
  ~TImageWait() override;
  // The picture name of document: nullptr while it is awaited (pending set) or when it cannot be
  // had.
  std::shared_ptr<TDocImage> Get(ThtDocument& document, const std::u16string& name, bool& pending);
  void ImageArrived(std::shared_ptr<TDocImage> image) override;

private:
  ThtDocument* waitingIn_ = nullptr;
  bool arrived_ = false;
  std::shared_ptr<TDocImage> image_;
};

// Names to objects, sorted without regard to case. Owns the objects whose FreeMe is true.
class TIDObjectList {
public:
  TIDObjectList() = default;
  TIDObjectList(const TIDObjectList&) = delete;
  TIDObjectList& operator=(const TIDObjectList&) = delete;
  ~TIDObjectList();

  // A name already present first loses its old object (freed when FreeMe).
  void AddObject(const std::u16string& name, TIDObject* object);
  TIDObject* Find(const std::u16string& name) const;
  // Drops every entry that points at object, without freeing it.
  void RemoveObject(const TIDObject* object);
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear();
  std::vector<std::u16string> Names() const;

private:
  struct TLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const;
  };
  std::map<std::u16string, TIDObject*, TLess> items_;
  // How many names each object stands under: removing an object with none is free, so that
  // dropping sections without identifiers never scans the list.
  std::unordered_map<const TIDObject*, int> names_;
};

// What the user has put into a page's forms: per form, per control in the form's order, the values
// the control would submit, so that a page revisited through the history shows them again.
using TFormData = std::vector<std::vector<std::vector<std::u16string>>>;

// Flags of LinkAtPoint.
inline constexpr unsigned guUrl = 1, guControl = 2, guTitle = 4;

// The display keyword of an element, as sections keep it.
enum TDisplay : uint8_t { pdUnassigned, pdBlock, pdInline, pdInlineBlock, pdListItem, pdRunIn, pdNone };

// A laid-out piece of a cell: text, block, table, rule, page break.
class TSectionBase : public TIDObject {
public:
  TSectionBase(ThtDocument* owner, TCellBasic* ownerCell);
  // The print copy's constructor: Display, DrawTop and SectionHeight carry over.
  TSectionBase(ThtDocument* owner, TCellBasic* ownerCell, const TSectionBase& source);
  ~TSectionBase() override = default;

  ThtDocument* Owner;
  TCellBasic* OwnerCell;
  uint8_t Display = pdUnassigned;
  int StartChar = 0, CharCount = 0;
  int DrawTop = 0, ContentTop = 0;
  int YPos = 999999999;
  int ContentBottom = 0, DrawBottom = 0;
  int SectionHeight = 0, DrawHeight = 0;
  int ZIndex = 0;

  int YPosition() const override { return YPos; }
  virtual int TopY() const { return YPos; }
  // A copy for printing, owned by owner and placed in cell.
  virtual std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const;

  // The caret at character index: its x, the top of its line and the line's height.
  virtual bool CharToPoint(int index, int& x, int& y, int& height);
  // Lays out at (x, y) for width; curs in: the document character index where the section
  // starts, out: past its end; maxWidth out: the widest line. Returns the section's height.
  virtual int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                     int yRef, TIndentManager& imgr, int& maxWidth, int& curs);
  // Paints what meets clip (window coordinates; the document's YOffset maps document y to it).
  // Returns the bottom y (document coordinates) of what was drawn.
  virtual int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef);
  // The character index at a document point, -1 when none; inText tells whether the point lies
  // on the text rather than beside it.
  virtual int PointToChar(TCanvas& canvas, int x, int y, int& caretX, int& caretY, int& caretHeight, bool& inText);
  virtual int SourceToChar(int source, bool backwards);
  virtual int CharToSource(int index);
  // The text sections that SourceToChar asks, in the order it asks them searching forwards.
  virtual void TextSections(std::vector<TSection*>& out) { (void)out; }
  virtual int SearchForward(int start, const std::u16string& text, bool matchCase);
  virtual int SearchBackward(int start, const std::u16string& text, bool matchCase);
  // The character at index, or the object (image, panel, control) it stands for.
  virtual bool CharAt(int index, char16_t& ch, TIDObject*& object);
  // guUrl, guControl, guTitle flags of what lies under the point; url is a copy the caller owns.
  virtual unsigned LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                               TFormControlObj*& control, std::u16string& title);
  virtual bool ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY);
  virtual void RegisterPosition();
  // Adds the selected part of the section to the document's text collector.
  virtual void CopySelection();
  virtual void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth);
  // The least width of WidthRange, for callers that need no more: some sections find it alone.
  virtual int MinWidth(TCanvas& canvas);

  // Hooks of the cell's bookkeeping, answered by blocks.
  // Positioned absolutely or fixed: outside the flow for margins and content bottoms.
  virtual bool IsAbsolutelyPositioned() const { return false; }
  // Taken out of the flow (floats, absolute and fixed blocks): no content bottom in its cell.
  virtual bool OutOfFlow() const { return false; }
  // The last in-flow section of a cell drops an automatic bottom margin; true when it did.
  virtual bool CheckLastBottomMargin() { return false; }
  // A text section's widest line of the last layout; 0 for other sections.
  virtual int TextWidth() const { return 0; }
  // The lowest document row that the section paints when printed (text, pictures, borders,
  // backgrounds), INT_MIN when it paints nothing: what lies below is empty space on paper.
  virtual int InkBottom() const;
  // Discarded by the builder before the document is finished: forget what refers to it.
  virtual void Unlink() {}
};

// An owning list of sections with the position queries that ask each in turn.
class TSectionBaseList : public TFreeList<TSectionBase> {
public:
  bool CharToPoint(int index, int& x, int& y, int& height);
  int SourceToChar(int source, bool backwards);
};

// Sections laid out one below the other.
class TCellBasic : public TSectionBaseList {
public:
  explicit TCellBasic(ThtDocument* document);
  TCellBasic(ThtDocument* document, const TCellBasic& source);
  ~TCellBasic() override;

  ThtDocument* Document;
  std::u16string OwnersTag;
  int StartChar = 0, CharCount = 0;
  int YValue = 0;
  TIndentManager* IMgr = nullptr;  // in force; may be shared
  // What the last layout found: the widest text line, the lowest content bottom of the in-flow
  // sections, the highest content top and the lowest draw bottom.
  int TextWidth = 0;
  int tcContentBot = 0, tcDrawTop = 990000, tcDrawBot = 0;

  // Finishes a text section; drops one that stays empty unless it must stay (an anchor, a clear
  // mode, preformatted text). Returns the section kept, or nullptr.
  TSectionBase* AddSection(std::unique_ptr<TSectionBase> section);

  // Lays the sections out one below the other from y; returns the height.
  virtual int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef,
                     int yRef, int& scrollWidth, int& curs);
  virtual int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef);
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth);
  // The least width of WidthRange.
  int MinWidth(TCanvas& canvas);
  // The lowest row that a section of the cell paints when printed; INT_MIN when none does.
  int InkBottom() const;
  virtual unsigned LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url,
                               TFormControlObj*& control, std::u16string& title);
  bool ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY);
  int PointToChar(TCanvas& canvas, int x, int y, int& caretX, int& caretY, int& caretHeight, bool& inText);
  int SearchForward(int start, const std::u16string& text, bool matchCase);
  int SearchBackward(int start, const std::u16string& text, bool matchCase);
  int CharToSource(int index);
  void TextSections(std::vector<TSection*>& out);
  bool CharAt(int index, char16_t& ch, TIDObject*& object);
  void CopySelection();
  void AddSectionsToPositions();
  // The last in-flow section drops an automatic bottom margin.
  bool CheckLastBottomMargin();
};

// A cell with an indent manager of its own (table cells, the document).
class TCell : public TCellBasic {
public:
  explicit TCell(ThtDocument* document);
  TCell(ThtDocument* document, const TCell& source);
  ~TCell() override;

  std::unique_ptr<TIndentManager> OwnIMgr;

  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             int& scrollWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;

protected:
  int drawX_ = 0, drawY_ = 0;
};

// The content of a table cell: also answers a title and a link for its whole rectangle.
class TCellObjCell : public TCell {
public:
  explicit TCellObjCell(ThtDocument* document) : TCell(document) {}
  TCellObjCell(ThtDocument* document, const TCellObjCell& source);

  TRect CellRect;
  std::u16string Title, Url, Target;

  unsigned LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url, TFormControlObj*& control,
                       std::u16string& title) override;
};

// An image as the document hands it out: pixels with their alpha (the mask folded in).
struct TDocImage {
  QImage Image;
  bool Error = false;  // the error image stands in for one that failed
  // A GIF's own transparent colour: the picture's TRANSP leaves it the only one.
  bool OwnTransparency = false;
  // An animated GIF, as decoded: each object that shows it animates a copy of its own.
  std::shared_ptr<const TViewerGifPicture> Gif;
};

// An identifier anchored at a character of the text.
class TChPosObj : public TIDObject {
public:
  TChPosObj(ThtDocument* owner, int charPos) : Owner(owner), ChPos(charPos) {}
  ThtDocument* Owner;
  int ChPos;
  int YPosition() const override;
  bool FreeMe() const override { return true; }
};

// The page: what the parser built and everything its objects share.
class ThtDocument : public TCell {
public:
  // viewer may be nullptr (documents made in tests, or for measuring).
  ThtDocument(THtmlViewBase* viewer, QWidget* paintPanel);
  // A copy for printing: shares the inline list and the background settings.
  ThtDocument(const ThtDocument& source, QWidget* paintPanel);
  ~ThtDocument() override;

  std::unique_ptr<THtmlPropStack> PropertyStack;
  // The part of the progress scale, in percent, that parsing covers: the parser reports position
  // x ParseShare / size. 0 reports nothing past 0; the viewer sets 75 while it loads.
  int ParseShare = 0;
  bool QuirksMode = false;
  THtmlViewBase* Viewer = nullptr;
  QWidget* PaintPanel = nullptr;
  bool Printing = false;
  int YOffset = 0;
  bool ControlsPlaced = false;
  int SelectionStart = 0, SelectionEnd = 0;
  TColor FontColor = clBlack, HotSpotColor = 0xFF0000, LinkVisitedColor = 0x800080, LinkActiveColor = 0x0000FF;
  TColor Background = clWhite;
  std::u16string FontName = u"Times New Roman", PreFontName = u"Courier New";
  double FontSize = 12;
  bool ShowImages = true;
  bool NoLinkStyling = false;  // the viewer shows links as plain text
  // The viewer's switches: on paper, background colours and background images print; frames and
  // rules turn black on a one-bit printer; on screen, a caret shows where nothing is selected.
  bool PrintBackgrounds = true, PrintBackgroundImages = false, PrintMonochromeBlack = true;
  bool ShowDummyCaret = false;
  // The print copy's printer draws in one bit.
  bool MonochromePrinter = false;
  std::function<void()> BackgroundChanged;
  std::u16string BackgroundImageName;
  TBackgroundPosition BackgroundPosition{};
  bool BackgroundImageDone = false;
  std::shared_ptr<TDocImage> BackgroundImage;
  std::vector<std::unique_ptr<TFormControlObj>> FormControls;
  // The page's forms (HtmlForms), made with the first; kept apart from the identifiers, which the
  // page names.
  std::unique_ptr<TDocumentForms, TDocumentFormsDeleter> Forms;
  std::vector<TPanelObj*> Panels;
  // Image names still awaited, each with the object that wants it.
  std::vector<std::pair<std::u16string, TIDObject*>> PendingImages;
  std::vector<TFontObj*> LinkFonts;
  // The page's image maps, by name (upper case, without "#").
  std::vector<std::unique_ptr<TMapItem>> MapList;
  TFontObj* HoverLink = nullptr;
  TImageObj* HoverImage = nullptr;
  bool LinksActive = false;
  std::unique_ptr<THtmlStyleList> StyleList;
  TIDObjectList IdentifierList;
  std::vector<TSectionBase*> SectionPositions;
  int SectionCount = 0;
  int LayoutCount = 0;
  // Set by the first pass of an HTML load: the page has more than 400 links.
  bool ManyLinks = false;
  bool PrintCopy = false;
  // Tab-index keys to what takes the tab order first (a form control, a link's tab control).
  std::map<std::u16string, QPointer<QWidget>> TabIndexList;
  // The next layout puts the page's windows into the tab order: those of TabIndexList first,
  // then the others in page order, all after the viewer.
  bool TabOrderPending = true;
  std::shared_ptr<TInlineList> InlineBoxes;
  float HorizontalScale = 1.0f, VerticalScale = 1.0f;
  // The HTML font sizes 1 to 7 in points (index 0 unused).
  std::array<double, 8> FontConvBase{}, PreFontConvBase{};

  // Per layout and per paint.
  int PageBottom = 0;
  // While printing: where the page being drawn begins (document y), and whether anything drawn
  // so far paints on it.
  int PageTop = 0;
  bool PageInked = false;
  // While printing: a line (or picture) whose box begins at document y top and whose ink covers
  // inkTop to inkBottom is about to be drawn. False when it is not to be drawn on this page: it
  // lies below the break, or its ink would cross the break, which then moves up to its top
  // (unless it begins the page: what is taller than a page is cut).
  bool PrintLine(int top, int inkTop, int inkBottom);
  // The page's break after the page was drawn: above every line drawn that the break cuts
  // through, where a later line moved the break up (a table cell beside a taller one).
  int PrintBreak() const;
  bool FirstPageItem = true;
  bool PageShortened = false;
  int TableNestLevel = 0;
  bool InLogic2 = false;
  bool FirstLineRequested = false;  // the viewer asks for the first line's y
  int FirstLineY = -1;
  TSectionBase* SplitTable = nullptr;
  // The animated pictures and their timer: started by layouts when there are any.
  // Each steps its picture (true when the frame changed); Owner is the object that animates.
  // Area, when given, is where the picture stands in the document, empty while no paint since
  // the last layout has drawn it: a picture that does not meet the view waits, and one that
  // steps repaints its own area. Without it (the page's background) a step repaints the panel.
  struct TAnimation {
    const void* Owner = nullptr;
    std::function<bool()> Step;
    std::function<TRect()> Area;
  };
  std::vector<TAnimation> AnimatedGifs;
  std::unique_ptr<QTimer> Timer;
  // While the selection is copied: where the sections put the text.
  SelTextCount* CB = nullptr;
  bool NoBreak = false;  // the builder's no-wrap state
  bool BeingDestroyed = false;
  // Set while a dump is drawn: every text output in document coordinates.
  std::function<void(int x, int y, int width, int height, const std::u16string& text)> TextRecorder;
  // The viewer's image cache (shared by its documents), when it has one.
  TStringBitmapList* ImageCache = nullptr;
  // Images from elsewhere (tests): asked instead of the host and the files.
  std::function<std::shared_ptr<TDocImage>(const std::u16string& name, bool& pending)> ImageLoader;

  void SetFonts(const std::u16string& name, const std::u16string& preName, TColor color, TColor hotSpot,
                TColor visited, TColor active, TColor background, bool linksActive, bool linkUnderline,
                double defaultSize, int charSet = 1, int marginHeight = 5, int marginWidth = 10);
  void SetBackground(TColor color);
  // control takes the tab order before the page's other windows, by tabIndex (above 0), then as
  // registered.
  void AddTabIndex(int tabIndex, QWidget* control);
  // A link's tab control whose run went with a discarded section waits here for the link's next
  // run, so that a link keeps its place however its text is split; the next park, the end of the
  // parse or Clear frees one that nobody took.
  void ParkTabControl(int linkID, std::unique_ptr<ThtTabControl> control);
  std::unique_ptr<ThtTabControl> TakeParkedTabControl(int linkID);
  void SetBackgroundImage(const std::u16string& name, const TBackgroundPosition& position);
  void Clear() override;
  // Lays the whole document out at width from y; returns its height.
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             int& scrollWidth, int& curs) override;
  int DoLayout(TCanvas& canvas, int y, int width, int availableHeight, int& scrollWidth);
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;
  void SetYOffset(int y);
  int CountSelection();
  // At most size - 1 characters and a terminating 0; the count copied.
  int CopySelectionTo(char16_t* buffer, int size);
  std::u16string SelectionText();
  TSectionBase* FindSectionAt(int y, int& top, int& index);
  int SourceToChar(int source, bool backwards);
  bool CharToPoint(int index, int& x, int& y, int& height);
  // Index (in the numbering of the document's characters) to the section that holds it.
  TSectionBase* FindSectionOfChar(int index);
  // The name under which an image is fetched, cached, awaited and asked of the host: a file name
  // expanded against the page (its base or its folder), a data: URL as it stands. Empty when the
  // name cannot be expanded (a bad %-escape): such an image fails.
  std::u16string ImageName(const std::u16string& source) const;
  // An image by its name from ImageName: trimmed, looked up as written; nullptr when it cannot be
  // had (pending tells whether it may still arrive).
  // Each image handed out is one use of it, of the document and of the image cache: the cache
  // keeps a picture while any document object uses it and ages it from then on.
  std::shared_ptr<TDocImage> GetImage(const std::u16string& name, bool& pending);
  // The same for an object that waits: a name awaited already is not asked for again, and
  // waiter joins PendingImages under name while the picture is awaited (a nullptr waiter is the
  // page's background).
  std::shared_ptr<TDocImage> GetImage(const std::u16string& name, TIDObject* waiter, bool& pending);
  // Gives back one use taken by GetImage. The rest go back when the document is cleared.
  void ReleaseImage(const std::u16string& name);
  // The page's background image, loaded once; nullptr while pending (the name then waits in
  // PendingImages with no object) or when there is none.
  std::shared_ptr<TDocImage> GetBackgroundImage();
  // The host supplies an image that was awaited under name (as the document asked for it): every
  // object waiting for it takes it, or the error image when data is no image. False when nothing
  // waited for that name.
  bool InsertImage(const std::u16string& name, const QByteArray& data);
  TMapItem* FindMap(const std::u16string& name) const;
  // The values of the page's forms; nullptr when it has none (HtmlForms.cpp).
  std::unique_ptr<TFormData> GetFormData();
  // Each of the page's forms sizes its controls for what canvas measures (HtmlForms.cpp).
  void SetFormSizes(TCanvas& canvas);
  // Puts saved values back into the controls, form by form and control by control; a form whose
  // controls no longer match what was saved keeps what it shows.
  void SetFormData(const TFormData& data);
  void ProcessInline(int sourcePos, TProperties& props, bool start);
  // The hit test under the mouse, moving the hover looks from the old link and image to the new.
  unsigned Hover(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url, TFormControlObj*& control,
                 std::u16string& title, bool buttonDown = false);
  void SetPressed(bool pressed);
  void ClearHover();
  void AnimationStep();
  // The viewer's progress hook for long layouts.
  void ReportProgress(int percent);

  int LayoutWidth() const { return layoutWidth_; }
  // Frames, rules and borders that have shades of grey on screen are black on this paper.
  bool MonochromeBlack() const { return Printing && MonochromePrinter && PrintMonochromeBlack; }

private:
  // Keeps a decoded image under name, also in the viewer's cache, as one use of it.
  std::shared_ptr<TDocImage> KeepImage(const std::u16string& name, std::unique_ptr<THtImage> loaded,
                                       std::unique_ptr<TBitmap> mask, TTransparency transparent);
  // Counts one more use of the image under name.
  std::shared_ptr<TDocImage> UseImage(const std::u16string& name, std::shared_ptr<TDocImage> image);
  // The images handed out, each with the uses taken of it (one a GetImage), which the image
  // cache counts as well; an image that failed stays, empty and unused, so that it is not asked
  // for again.
  struct TImageEntry {
    std::shared_ptr<TDocImage> Image;
    int Uses = 0;
  };
  std::map<std::u16string, TImageEntry> images_;
  int layoutWidth_ = 0;
  std::unique_ptr<ThtTabControl> parkedTab_;
  QPointer<QWidget> parkedAlive_;
  int parkedTabLink_ = 0;
  // The lines drawn on the page being printed: where each begins and where its ink ends.
  struct TPrintedLine {
    int Top, InkBottom;
  };
  std::vector<TPrintedLine> printedLines_;
};

// A page break: while printing, ends the page at its top.
class TPage : public TSectionBase {
public:
  using TSectionBase::TSectionBase;
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;
  int InkBottom() const override;
};

// A horizontal rule.
class THorzLine : public TSectionBase {
public:
  THorzLine(ThtDocument* owner, TCellBasic* cell, const TAttributeList* attributes, TProperties& props);
  THorzLine(ThtDocument* owner, TCellBasic* cell, const THorzLine& source);

  int VSize = 2;
  int Align = 2;  // 1 left, 2 center, 3 right
  TColor Color = clNone;
  bool NoShade = false;
  TSpecWidth Width;
  int LeftX = 0, RuleWidth = 0;

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;
};

}  // namespace htmlview
