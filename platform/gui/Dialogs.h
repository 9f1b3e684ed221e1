#pragma once
// The plain message box and the open-file dialog of the class library.
#include <QString>
#include <functional>

class QWidget;

namespace platform {

// Shows text (plain, lines split at CR or LF) in a modal box with an OK button.
void ShowMessageBox(QWidget* parent, const QString& caption, const QString& text);

// Receives every message box instead of the modal box, so that tests never block in one.
using TMessageBoxHook = std::function<void(QWidget* parent, const QString& caption, const QString& text)>;
// Installs hook (an empty one brings the modal box back); returns the hook it replaces.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

// From now on the core's platform::ShowMessage shows its text in the plain message box,
// captioned with the application's display name.
void ShowMessagesInBoxes();

// A dialog filter of pairs "description|patterns|..." (patterns separated by ";") in Qt's
// syntax "description (patterns);;...". A description that already ends with its patterns in
// parentheses is kept as it stands.
QString FileDialogFilter(const QString& filter);

// The open-file dialog with filter (dialog syntax above): the chosen file, or an empty string
// when the dialog was cancelled.
QString OpenFileDialog(QWidget* parent, const QString& filter);

}  // namespace platform
