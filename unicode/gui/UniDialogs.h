#pragma once
// The open-file dialog with wide names, over Qt's own (non-native) file dialog, so that it can be
// driven in tests and an OnCanClose handler can hold it open.
#include <QObject>
#include <functional>

#include "unicode/UniStringList.h"

class QFileDialog;
class QWidget;

// The dialog's options, one bit each, with the platform dialog's flag values. Qt's dialog has no
// read-only box and one style only: ofReadOnly stays as set and ofOldStyleDialog changes nothing.
// ofExtensionDifferent is an answer: Execute sets it when the chosen file's extension is not
// DefaultExt.
using TOpenOptions = unsigned;
inline constexpr TOpenOptions ofReadOnly = 0x1, ofAllowMultiSelect = 0x200, ofExtensionDifferent = 0x400,
                              ofFileMustExist = 0x1000, ofOldStyleDialog = 0x80000000;

class TUniOpenDialog : public QObject {
public:
  explicit TUniOpenDialog(QObject* owner = nullptr) : QObject(owner) {}

  // Without its ".": "txt". A name chosen without an extension gets it.
  WideString DefaultExt;
  // While the dialog is open: the file selected in it.
  WideString FileName() const;
  void SetFileName(const WideString& name) { fileName_ = name; }
  // Pairs "description|patterns|...", patterns separated by ";".
  WideString Filter;
  // 1 for the first pair of Filter.
  int FilterIndex = 1;
  const WideString& InitialDir() const { return initialDir_; }
  // Without a trailing "/", unless the directory is "/" itself.
  void SetInitialDir(const WideString& dir);
  WideString Title;
  TOpenOptions Options = 0;
  // The chosen files, full paths.
  TUniStringList Files;
  // Asked when the user confirms; clearing canClose keeps the dialog open.
  std::function<void(QObject* sender, bool& canClose)> OnCanClose;

  // The owner window is parent, else the application's active window.
  bool Execute(QWidget* parent = nullptr);

private:
  friend class OpenFileDialog;
  // Fills Files from what the dialog holds.
  void ReadFiles(const QFileDialog& dialog);

  WideString fileName_;
  WideString initialDir_;
  QFileDialog* open_ = nullptr;
};
