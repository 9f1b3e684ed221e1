#include "unicode/gui/UniHotkeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QString>
#include <QWidget>

namespace {

bool IsFarEastLocale() {
  const QLocale::Language language = QLocale().language();
  return language == QLocale::Japanese || language == QLocale::Chinese || language == QLocale::Korean;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

int WideGetHotkeyPos(const WideString& s) {
  int pos = 0;
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    if (s[i] != u'&') continue;
    if (s[i + 1] != u'&') pos = static_cast<int>(i) + 2;
    ++i;  // past the "&&" or the marked character
  }
  return pos;
}

WideString WideGetHotkey(const WideString& s) {
  const int pos = WideGetHotkeyPos(s);
  if (pos == 0) return {};
  const size_t at = static_cast<size_t>(pos) - 1;
  return s.substr(at, IsHighSurrogate(s[at]) && at + 1 < s.size() ? 2 : 1);
}

WideString WideStripHotkey(const WideString& s) {
  const bool farEast = IsFarEastLocale();
  WideString out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'&') {
      out += s[i];
      continue;
    }
    if (i + 1 < s.size() && s[i + 1] == u'&') {
      out += u'&';
      ++i;
      continue;
    }
    if (farEast && !out.empty() && out.back() == u'(' && i + 2 < s.size() && s[i + 2] == u')') {
      out.pop_back();
      i += 2;
    }
    // a single "&" (also one at the end) marks and is not shown
  }
  return out;
}

bool WideSameCaption(const WideString& a, const WideString& b) {
  return QString::fromStdU16String(WideStripHotkey(a))
             .compare(QString::fromStdU16String(WideStripHotkey(b)), Qt::CaseInsensitive) == 0;
}

bool WideSameCaptionStr(const WideString& a, const WideString& b) { return WideStripHotkey(a) == WideStripHotkey(b); }

WideString WideShortCutToText(TShortCut shortCut) {
  const int key = shortCut & ~static_cast<int>(Qt::KeyboardModifierMask);
  if (key == 0) return {};
  WideString text;
  if (shortCut & Qt::SHIFT) text += u"Shift+";
  if (shortCut & Qt::CTRL) text += u"Ctrl+";
  if (shortCut & Qt::ALT) text += u"Alt+";
  return text + QKeySequence(key).toString(QKeySequence::NativeText).toStdU16String();
}

namespace {

bool CanFocus(const QWidget& w) { return w.isEnabled() && w.isVisible() && w.focusPolicy() != Qt::NoFocus; }

bool SameKey(const WideString& a, const WideString& b) { return !a.empty() && WideSameCaption(a, b); }

// Qt marks the character after the first single "&".
WideString QtHotkey(const QString& text) { return WideHotkeyOfSequence(QKeySequence::mnemonic(text)); }

// Whether w answers key, and (with act) what it does then, as Qt's own controls do for a hot
// key of their own.
bool Answers(QWidget& w, const WideString& key, bool act) {
  if (auto* control = dynamic_cast<TUniHotkeyControl*>(&w)) {
    if (!CanFocus(w) || !SameKey(control->Hotkey(), key)) return false;
    if (act) control->Accelerate();
    return true;
  }
  if (auto* label = qobject_cast<QLabel*>(&w)) {
    QWidget* buddy = label->buddy();
    if (!buddy || !label->isVisible() || !CanFocus(*buddy) || !SameKey(QtHotkey(label->text()), key)) return false;
    if (act) {
      buddy->setFocus(Qt::ShortcutFocusReason);
      if (auto* button = qobject_cast<QAbstractButton*>(buddy)) button->animateClick();
    }
    return true;
  }
  if (auto* box = qobject_cast<QGroupBox*>(&w)) {
    if (!box->isEnabled() || !box->isVisible() || !SameKey(QtHotkey(box->title()), key)) return false;
    if (act) {
      if (box->isCheckable()) {
        box->setChecked(!box->isChecked());
        box->setFocus(Qt::ShortcutFocusReason);
      } else {
        // Its first control that can take the focus.
        for (QWidget* c : box->findChildren<QWidget*>())
          if (CanFocus(*c)) {
            c->setFocus(Qt::ShortcutFocusReason);
            break;
          }
      }
    }
    return true;
  }
  if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
    if (!CanFocus(w) || !SameKey(WideHotkeyOfSequence(button->shortcut()), key)) return false;
    if (act) {
      button->setFocus(Qt::ShortcutFocusReason);
      button->animateClick();
    }
    return true;
  }
  return false;
}

}  // namespace

QWidget* WideFindHotkeyControl(QWidget& window, const WideString& key) {
  if (key.empty()) return nullptr;
  QWidget* focused = QApplication::focusWidget();
  if (focused && focused->window() == &window && Answers(*focused, key, false)) return focused;
  for (QWidget* w = window.nextInFocusChain(); w && w != &window; w = w->nextInFocusChain())
    if (w->window() == &window && Answers(*w, key, false)) return w;
  return nullptr;
}

bool WideDialogChar(QWidget& window, const WideString& key) {
  QWidget* control = WideFindHotkeyControl(window, key);
  return control && Answers(*control, key, true);
}

WideString WideHotkeyOfSequence(const QKeySequence& sequence) {
  if (sequence.count() != 1) return {};
  const QKeyCombination combination = sequence[0];
  if (combination.keyboardModifiers() != Qt::AltModifier) return {};
  return QKeySequence(combination.key()).toString(QKeySequence::PortableText).toStdU16String();
}
