#pragma once
// The wide hot-key and shortcut-text routines: captions mark a hot key with "&" ("&&" is a
// literal "&"). Menus, buttons and the hint window's text all use them, so they stand below all
// three.
#include "platform/gui/Menus.h"
#include "unicode/UniTypes.h"

class QKeySequence;
class QWidget;

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

// A control that answers the hot key of its caption.
class TUniHotkeyControl {
public:
  virtual ~TUniHotkeyControl() = default;
  // The character its caption marks (WideGetHotkey); empty when none.
  virtual WideString Hotkey() const = 0;
  // What the hot key does to it (it can take the focus).
  virtual void Accelerate() = 0;
};

// The control of window that answers key: the focused control when it does, else the first in
// the window's tab order, so that one hot key always reaches the same control. Controls that
// cannot take the focus answer nothing. Besides the wide controls, Qt's own buttons, labels with a
// buddy and group boxes with a marked title answer theirs. nullptr when none answers.
QWidget* WideFindHotkeyControl(QWidget& window, const WideString& key);
// Gives key to that control; false when none answers it.
bool WideDialogChar(QWidget& window, const WideString& key);
// The key of a hot key pressed (Alt and one key), empty for any other sequence.
WideString WideHotkeyOfSequence(const QKeySequence& sequence);
