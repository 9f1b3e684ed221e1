#pragma once
// The font runs of a text section: each run starts at a character and holds its font, and a run
// inside a link also holds the link, its visited and hover looks and a small focusable control
// that gives the link its place in the tab order.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "htmlview/markup/HtmlBase.h"
#include "htmlview/style/StyleFonts.h"
#include "platform/gui/Graphics.h"

namespace htmlview {

class ThtDocument;
class TSection;

// Sub- and superscript.
enum TSScript : uint8_t { ssNone, ssSub, ssSuper };

// A 1 x 1 focusable widget off the panel's left edge: Tab reaches the link through it.
class ThtTabControl : public QWidget {
public:
  explicit ThtTabControl(QWidget* parent);
  std::function<void()> OnEnter, OnExit;
  // Qt key code and shift state (TShiftState bits).
  std::function<void(int key, unsigned shift)> OnKeyDown;

protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

class TFontObj {
public:
  TFontObj(TSection* section, const TMyFont& font, int pos);
  // A copy for another section: the other's font in its plain link state, its link target.
  TFontObj(TSection* section, const TFontObj& other);
  ~TFontObj();
  TFontObj(const TFontObj&) = delete;
  TFontObj& operator=(const TFontObj&) = delete;

  int Pos;
  TSection* Section;
  TMyFont TheFont;
  std::unique_ptr<TUrlTarget> UrlTarget;
  // In the document's LinkFonts: leaving it searches only for runs that are there.
  bool InLinkFonts = false;
  std::unique_ptr<TFontInfoArray> FIArray;
  bool Visited = false, Hover = false, Active = false;
  TSScript SScript = ssNone;
  std::unique_ptr<ThtTabControl> TabControl;
  int YValue = 0;
  std::u16string Title;
  // Metrics of TheFont.
  int tmHeight = 0, tmMaxCharWidth = 0, FontHeight = 0, Descent = 0, Overhang = 0;

  void ConvertFont(const ThtFontInfo& info);
  void ReplaceFont(const TMyFont& font);
  void SetVisited(bool value);
  void SetHover(bool value);
  // This run and the runs of the same link beside it in the document's link list.
  void SetAllHovers(std::vector<TFontObj*>& list, bool value);
  std::u16string GetURL() const;
  int GetHeight(int& descent) const;
  // Gives the link its place in the tab order, unless it has one already (here or on an earlier
  // run of the same link).
  void CreateTabControl(int tabIndex);
  // The run from takes this run's place: its tab control, where the link is the same, stays the
  // link's, at the same place in the tab order.
  void TakeTabControl(TFontObj& from);
  // Takes the link's tab control that the document holds for it, if any.
  void AdoptParkedTabControl();
  // Width of text (count characters) as this font draws it.
  int TextWidth(const char16_t* text, int count) const;
  // How many of count characters fit in width; extent gets their width.
  int FitChars(const char16_t* text, int count, int width, int& extent) const;
  // The link state index: 0 plain, 1 visited, 2 hovered, 3 both.
  int StateIndex() const { return (Visited ? 1 : 0) + (Hover ? 2 : 0); }
  bool IsLink() const { return UrlTarget && !UrlTarget->URL.empty(); }
  // The link's target ID (0 when the run is not in a link).
  int LinkID() const { return UrlTarget ? UrlTarget->ID : 0; }

private:
  void BindTabControl();
  // Clears when the tab control goes with the paint panel before this run.
  QPointer<ThtTabControl> tabAlive_;
  void UpdateMetrics();
  void ApplyState();
};

class TFontList : public TFreeList<TFontObj> {
public:
  // The run in force at pos (the last one starting at or before it); overhang of its font.
  TFontObj* GetFontAt(int pos, int& overhang) const;
  // Characters from pos to the next run's start (leng when no run starts before pos + leng).
  int GetFontCountAt(int pos, int leng) const;
  TFontObj* GetFontObjAt(int pos, int& index) const;
  // A character at pos was removed: later runs move back; a run that then starts where the one
  // before it starts replaces it.
  void Decrement(int pos, ThtDocument* document);
};

// The font of a TMyFont as the canvas draws it: the point size whose pixel size is the font's.
TFont CanvasFont(const TMyFont& font, TColor color);

}  // namespace htmlview
