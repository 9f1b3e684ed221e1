#include "unicode/gui/UniDialogs.h"

#include <QApplication>
#include <QFileDialog>

#include "platform/gui/Dialogs.h"

namespace {

// The extension of path's file name without its "."; empty when it has none.
WideString ExtensionOf(const WideString& path) {
  const size_t slash = path.rfind(u'/');
  const size_t dot = path.rfind(u'.');
  if (dot == WideString::npos || (slash != WideString::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

// Extensions name kinds of file, which do not change with case: "TXT" is "txt".
bool ExtensionDiffers(const WideString& path, WideString defaultExt) {
  if (!defaultExt.empty() && defaultExt.front() == u'.') defaultExt.erase(0, 1);
  return !defaultExt.empty() && WideCompareText(ExtensionOf(path), defaultExt) != 0;
}

}  // namespace

class OpenFileDialog final : public QFileDialog {
public:
  OpenFileDialog(QWidget* parent, TUniOpenDialog& owner) : QFileDialog(parent), owner_(owner) {}

  void accept() override {
    if (owner_.OnCanClose) {
      bool canClose = true;
      owner_.ReadFiles(*this);
      owner_.OnCanClose(&owner_, canClose);
      owner_.Files.Clear();
      if (!canClose) return;
    }
    QFileDialog::accept();
  }

private:
  TUniOpenDialog& owner_;
};

WideString TUniOpenDialog::FileName() const {
  if (open_) {
    const QStringList selected = open_->selectedFiles();
    return selected.isEmpty() ? WideString() : selected.first().toStdU16String();
  }
  return fileName_;
}

void TUniOpenDialog::SetInitialDir(const WideString& dir) {
  initialDir_ = dir;
  if (initialDir_.size() > 1 && initialDir_.back() == u'/') initialDir_.pop_back();
}

void TUniOpenDialog::ReadFiles(const QFileDialog& dialog) {
  Files.Clear();
  for (const QString& name : dialog.selectedFiles()) Files.Add(name.toStdU16String());
}

bool TUniOpenDialog::Execute(QWidget* parent) {
  Files.Clear();
  OpenFileDialog dialog(parent ? parent : QApplication::activeWindow(), *this);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode((Options & ofAllowMultiSelect) ? QFileDialog::ExistingFiles
                     : (Options & ofFileMustExist)  ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
  if (!Title.empty()) dialog.setWindowTitle(QString::fromStdU16String(Title));
  const QStringList filters =
      platform::FileDialogFilter(QString::fromStdU16String(Filter)).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (FilterIndex >= 1 && FilterIndex <= filters.size()) dialog.selectNameFilter(filters[FilterIndex - 1]);
  }
  if (!initialDir_.empty()) dialog.setDirectory(QString::fromStdU16String(initialDir_));
  if (!fileName_.empty()) dialog.selectFile(QString::fromStdU16String(fileName_));
  dialog.setDefaultSuffix(QString::fromStdU16String(DefaultExt));

  open_ = &dialog;
  const int result = dialog.exec();
  open_ = nullptr;
  if (result != QDialog::Accepted) return false;
  ReadFiles(dialog);
  if (Files.Count() > 0) fileName_ = Files.Get(0);
  Options = ExtensionDiffers(fileName_, DefaultExt) ? Options | ofExtensionDifferent : Options & ~ofExtensionDifferent;
  if (!filters.isEmpty()) FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  return true;
}
