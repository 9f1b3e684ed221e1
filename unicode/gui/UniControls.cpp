#include "unicode/gui/UniControls.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QMetaProperty>
#include <QVariant>
#include <QWidget>
#include <memory>

#include "platform/gui/Controls.h"
#include "platform/gui/Messages.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniHotkeys.h"

namespace {

// The writable text property of a widget, or nullptr.
const char* TextProperty(const QWidget* control) {
  for (const char* name : {"text", "plainText"}) {
    const int index = control->metaObject()->indexOfProperty(name);
    if (index >= 0 && control->metaObject()->property(index).isWritable()) return name;
  }
  return nullptr;
}

// Alt + the caption's hot key: the character after its last single "&". Qt's own setText takes
// the first "&" instead, so this runs after every text a button is given, however it came.
void SetAccelerator(QAbstractButton* button, const WideString& caption) {
  const WideString key = WideGetHotkey(caption);
  button->setShortcut(key.empty() ? QKeySequence()
                                  : QKeySequence(QStringLiteral("Alt+") + QString::fromStdU16String(key).toUpper()));
}

}  // namespace

WideString UniControl_GetText(const QWidget* control) {
  if (!control) return {};
  if (const auto* g = dynamic_cast<const TGraphicControl*>(control)) return g->GetText();
  if (const char* name = TextProperty(control)) return control->property(name).toString().toStdU16String();
  return control->windowTitle().toStdU16String();
}

void UniControl_SetText(QWidget* control, const WideString& text) {
  if (!control) return;
  const bool changed = UniControl_GetText(control) != text;
  if (changed) {
    const QString q = QString::fromStdU16String(text);
    if (auto* g = dynamic_cast<TGraphicControl*>(control))
      g->SetText(text);
    else if (const char* name = TextProperty(control))
      control->setProperty(name, q);
    else
      control->setWindowTitle(q);
  }
  // Also for an unchanged caption: Qt's setText may have put its own shortcut there since.
  if (auto* button = qobject_cast<QAbstractButton*>(control)) SetAccelerator(button, text);
  if (changed) platform::SendMessage(control, CM_TEXTCHANGED);
}

// ---- action links ----

WideString TUniControlActionLink::ClientCaption() const { return UniControl_GetText(client_); }
void TUniControlActionLink::SetClientCaption(const WideString& caption) { UniControl_SetText(client_, caption); }
WideString TUniControlActionLink::ClientHint() const { return UniControl_GetHint(client_); }
void TUniControlActionLink::SetClientHint(const WideString& hint) { UniControl_SetHint(client_, hint); }
void TUniControlActionLink::SetClientEnabled(bool value) {
  if (client_) client_->setEnabled(value);
}
void TUniControlActionLink::SetClientVisible(bool value) {
  if (client_ && !client_->isWindow()) client_->setVisible(value);
}

bool TUniControlActionLink::ClientChecked() const {
  const auto* button = qobject_cast<const QAbstractButton*>(client_.data());
  return button && button->isChecked();
}
void TUniControlActionLink::SetClientChecked(bool value) { UniControl_SetChecked(client_, value); }
bool TUniControlActionLink::ClientCheckable() const {
  const auto* button = qobject_cast<const QAbstractButton*>(client_.data());
  return button && button->isCheckable();
}
bool TUniControlActionLink::InWindow(const QWidget* window) const { return client_ && client_->window() == window; }

void UniControl_SetChecked(QWidget* control, bool value) {
  auto* button = qobject_cast<QAbstractButton*>(control);
  if (!button || !button->isCheckable() || button->isChecked() == value) return;
  // Qt keeps one of a group of radio buttons checked; the program may uncheck them all.
  const bool exclusive = button->autoExclusive();
  if (!value) button->setAutoExclusive(false);
  button->setChecked(value);
  button->setAutoExclusive(exclusive);
}

void UniControl_SetAction(QWidget* control, TUniAction* action) {
  if (!control) return;
  // The old link goes before the new one joins the action, as a control has one link at a time.
  UniControl_SetActionLink(control, nullptr);
  if (!action) return;
  UniControl_SetActionLink(control, std::make_unique<TUniControlActionLink>(action, control));
  UniControl_ActionChange(control, action, false);
}

void UniControl_ActionChange(QWidget* control, TUniAction* action, bool checkDefaults) {
  if (!control || !action) return;
  const WideString caption = UniControl_GetText(control);
  if (!checkDefaults || caption.empty() || caption == control->objectName().toStdU16String())
    UniControl_SetText(control, action->Caption());
  if (!checkDefaults || UniControl_GetHint(control).empty()) UniControl_SetHint(control, action->Hint());
  if (!checkDefaults || control->isEnabledTo(control->parentWidget())) control->setEnabled(action->Enabled());
  if (const auto* button = qobject_cast<QAbstractButton*>(control); button && (!checkDefaults || !button->isChecked()))
    UniControl_SetChecked(control, action->Checked());
  // A window is shown by its owner, never by an action.
  if (!control->isWindow() && (!checkDefaults || !control->isHidden())) control->setVisible(action->Visible());
}

void UniAction_Assign(TUniAction* action, const QWidget& source) {
  if (!action) return;
  action->SetCaption(UniControl_GetText(&source));
  action->SetHint(UniControl_GetHint(&source));
}
