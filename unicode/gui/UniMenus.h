#pragma once
// Menu items with wide captions and hints, and the hot-key and shortcut-text routines. Qt draws
// UTF-16 menus itself and follows the same "&" and "&&" rules, so an item writes its caption (and
// its shortcut's text after a TAB) into its QAction and leaves the drawing to Qt.
#include "platform/gui/Menus.h"
#include "unicode/UniTypes.h"

class TUniAction;
class TUniMenuActionLink;

// 1-based position of the character after the last single "&" that has a character after it;
// 0 when there is none.
int WideGetHotkeyPos(const WideString& s);
// That character (a surrogate pair stays whole), or empty.
WideString WideGetHotkey(const WideString& s);
// s without its hot-key marks: "&&" becomes "&", a single "&" goes; in a Far East locale
// (Japanese, Chinese or Korean, by QLocale's default) a group "(&X)" goes whole.
WideString WideStripHotkey(const WideString& s);
// Equal after WideStripHotkey, ignoring case / exactly.
bool WideSameCaption(const WideString& a, const WideString& b);
bool WideSameCaptionStr(const WideString& a, const WideString& b);
// "Shift+", "Ctrl+" and "Alt+", in that order, before the key's name; empty for no shortcut.
WideString WideShortCutToText(TShortCut shortCut);

class TUniMenuItem : public TMenuItem {
public:
  explicit TUniMenuItem(QObject* owner = nullptr);
  ~TUniMenuItem() override;

  // The item takes the action's caption, hint, state and shortcut, follows their changes while
  // they are linked, and runs the action when clicked (unless it has an OnClick of its own).
  TUniAction* Action() const;
  void SetAction(TUniAction* action);
  // Takes the action's values; with checkDefaults only into values the item has not set.
  virtual void ActionChange(TUniAction* action, bool checkDefaults);

  void Click() override;

protected:
  std::u16string MenuString() const override;

private:
  std::unique_ptr<TUniMenuActionLink> link_;
};
