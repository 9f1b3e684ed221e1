#pragma once
// The wide hot-key and shortcut-text routines: captions mark a hot key with "&" ("&&" is a
// literal "&"). Menus, buttons and the hint window's text all use them, so they stand below all
// three.
#include "platform/gui/Menus.h"
#include "unicode/UniTypes.h"

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
