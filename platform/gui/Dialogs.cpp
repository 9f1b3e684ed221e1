#include "platform/gui/Dialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>
#include <utility>

#include "platform/core/ShowMessage.h"

namespace platform {

namespace {
TMessageBoxHook& Hook() {
  static TMessageBoxHook hook;
  return hook;
}
}  // namespace

void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text) {
  if (Hook()) {
    Hook()(parent, caption, text);
    return;
  }
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(QMessageBox::NoIcon, caption, shown, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void ShowMessagesInBoxes() {
  SetShowMessageProc([](const std::u16string& text) {
    ShowMessageBox(nullptr, QGuiApplication::applicationDisplayName(), QString::fromStdU16String(text));
  });
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
  return std::exchange(Hook(), std::move(hook));
}

QString FileDialogFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
    patterns = patterns.simplified();
    // Qt takes the patterns from the last parentheses of an entry.
    const QString tail = QLatin1Char('(') + patterns + QLatin1Char(')');
    if (!description.endsWith(tail)) description += (description.isEmpty() ? QString() : QStringLiteral(" ")) + tail;
    entries << description;
  }
  return entries.join(QLatin1String(";;"));
}

QString OpenFileDialog(QWidget* parent, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), FileDialogFilter(filter));
}

}  // namespace platform
