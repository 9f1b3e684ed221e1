#pragma once
// Text and hints of the controls. Qt widgets hold UTF-16 text and take every typed character
// themselves, so what is left of the control framework is reading and writing a control's text
// with the set-if-different guard, and the hints: a control's hint is "short|long", the short part
// shown as its tooltip, the long part becoming UniApplication's hint while the pointer is over it.
#include <cstdint>

#include "unicode/UniTypes.h"

class QObject;
class QWidget;

// Sent to a control (as a TMessageEvent) once for each real change of its text.
inline constexpr uint32_t CM_TEXTCHANGED = 0xB000 + 18;

// The caption or text of a control: a graphic control's text, a widget's "text" or "plainText"
// property, else its window title.
WideString UniControl_GetText(const QWidget* control);
// Sets it when it differs, and then sends the control CM_TEXTCHANGED.
void UniControl_SetText(QWidget* control, const WideString& text);

WideString UniControl_GetHint(const QWidget* control);
void UniControl_SetHint(QWidget* control, const WideString& hint);

// The first non-empty hint of control and its parents; empty when none has one.
WideString WideGetHint(const QWidget* control);
// The text before / after the first "|"; the whole text when there is none.
WideString WideGetShortHint(const WideString& hint);
WideString WideGetLongHint(const WideString& hint);

// The tooltip of control: the short part of its hint, followed by " (" shortcut ")" when the
// control's action has a shortcut.
WideString UniControl_GetTooltip(const QWidget* control);
