#pragma once
// Text of the controls, and their action links. Qt widgets hold UTF-16 text and take every typed
// character themselves, so what is left of the control framework is reading and writing a
// control's text with the set-if-different guard. The hints of the controls go with the
// application's companion that shows them (UniForms).
#include <QPointer>
#include <cstdint>

#include "unicode/UniTypes.h"
#include "unicode/gui/UniActnList.h"

class QWidget;

// Sent to a control (as a TMessageEvent) once for each real change of its text.
inline constexpr uint32_t CM_TEXTCHANGED = 0xB000 + 18;

// The caption or text of a control: a graphic control's text, a widget's "text" or "plainText"
// property, else its window title.
WideString UniControl_GetText(const QWidget* control);
// Sets it when it differs, and then sends the control CM_TEXTCHANGED. A button's accelerator
// becomes Alt + the text's hot key (WideGetHotkey), whichever way its caption arrives.
void UniControl_SetText(QWidget* control, const WideString& text);

// The link of a control: its text, hint, enabled and visible states.
class TUniControlActionLink : public TUniActionLink {
public:
  TUniControlActionLink(TUniAction* action, QWidget* client) : TUniActionLink(action), client_(client) {}

protected:
  WideString ClientCaption() const override;
  void SetClientCaption(const WideString& caption) override;
  WideString ClientHint() const override;
  void SetClientHint(const WideString& hint) override;
  void SetClientEnabled(bool value) override;
  void SetClientVisible(bool value) override;
  bool ClientChecked() const override;
  void SetClientChecked(bool value) override;
  bool ClientCheckable() const override;
  bool InWindow(const QWidget* window) const override;

private:
  QPointer<QWidget> client_;
};

// Links control to action (nullptr: unlinks it) and takes the action's values.
void UniControl_SetAction(QWidget* control, TUniAction* action);
// Sets a check box's or radio button's checked state as the program does, clicking nothing; a
// radio button may be unchecked so too.
void UniControl_SetChecked(QWidget* control, bool value);

// Takes the action's caption, hint, enabled, visible and checked states into control; with
// checkDefaults only into values the control has not set (a caption equal to the control's name
// counts as not set).
void UniControl_ActionChange(QWidget* control, TUniAction* action, bool checkDefaults);
// Takes a control's wide text (as the caption) and hint into action.
void UniAction_Assign(TUniAction* action, const QWidget& source);
