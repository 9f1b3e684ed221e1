#include "unicode/gui/UniHotkeys.h"

#include <QKeySequence>
#include <QLocale>
#include <QString>

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
