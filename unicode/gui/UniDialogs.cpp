#include "unicode/gui/UniDialogs.h"

#include <QApplication>
#include <QFileDialog>

#include "platform/gui/Dialogs.h"

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
  if (!filters.isEmpty()) FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  return true;
}
