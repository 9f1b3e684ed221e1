#include "unicode/gui/UniControls.h"

#include <QMetaProperty>
#include <QVariant>
#include <QWidget>

#include "platform/gui/Controls.h"
#include "platform/gui/Messages.h"
#include "unicode/UniSysUtils.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniForms.h"
#include "unicode/gui/UniMenus.h"

namespace {

// The dynamic property that holds a control's wide hint.
constexpr char hintProperty[] = "mirelconHint";

// The writable text property of a widget, or nullptr.
const char* TextProperty(const QWidget* control) {
  for (const char* name : {"text", "plainText"}) {
    const int index = control->metaObject()->indexOfProperty(name);
    if (index >= 0 && control->metaObject()->property(index).isWritable()) return name;
  }
  return nullptr;
}

}  // namespace

WideString UniControl_GetText(const QWidget* control) {
  if (!control) return {};
  if (const auto* g = dynamic_cast<const TGraphicControl*>(control)) return g->GetText();
  if (const char* name = TextProperty(control)) return control->property(name).toString().toStdU16String();
  return control->windowTitle().toStdU16String();
}

void UniControl_SetText(QWidget* control, const WideString& text) {
  if (!control || UniControl_GetText(control) == text) return;
  const QString q = QString::fromStdU16String(text);
  if (auto* g = dynamic_cast<TGraphicControl*>(control))
    g->SetText(text);
  else if (const char* name = TextProperty(control))
    control->setProperty(name, q);
  else
    control->setWindowTitle(q);
  platform::SendMessage(control, CM_TEXTCHANGED);
}

WideString UniControl_GetHint(const QWidget* control) {
  return control ? control->property(hintProperty).toString().toStdU16String() : WideString();
}

void UniControl_SetHint(QWidget* control, const WideString& hint) {
  if (!control) return;
  // Hints show through the application's companion.
  UniApplication();
  control->setProperty(hintProperty, QString::fromStdU16String(hint));
}

WideString WideGetHint(const QWidget* control) {
  for (; control; control = control->parentWidget()) {
    WideString hint = UniControl_GetHint(control);
    if (!hint.empty()) return hint;
  }
  return {};
}

WideString WideGetShortHint(const WideString& hint) {
  const size_t bar = hint.find(u'|');
  return bar == WideString::npos ? hint : hint.substr(0, bar);
}

WideString WideGetLongHint(const WideString& hint) {
  const size_t bar = hint.find(u'|');
  return bar == WideString::npos ? hint : hint.substr(bar + 1);
}

WideString UniControl_GetTooltip(const QWidget* control) {
  const WideString hint = WideGetShortHint(WideGetHint(control));
  const TUniAction* action = UniControl_GetAction(control);
  if (hint.empty() || !action || action->ShortCut() == 0) return hint;
  return WideFormat(u"%s (%s)", {hint, WideShortCutToText(action->ShortCut())});
}
