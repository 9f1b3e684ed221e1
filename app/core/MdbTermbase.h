#pragma once
// A termbase file (a Jet 4 database) read with mdbtools' libmdb. The file is opened for
// reading only and never changed.
#include <memory>
#include <vector>

#include "app/core/TermbaseSource.h"

struct TMdbFile;

class TMdbTermbase : public TTermbaseSource {
public:
  // Raises EWideFOpenError when the file cannot be opened, and ETermbaseError when it is not a
  // Jet 4 database or its catalog cannot be read; both messages name the file.
  explicit TMdbTermbase(const WideString& fileName);
  ~TMdbTermbase() override;

  std::vector<WideString> TableNames() override;
  // Text and memo fields are decoded from the stored bytes, whole and with every character
  // (libmdb's conversion is used only for the column types that have no text of their own).
  // Each table is read through a handle of its own, since a libmdb handle holds the one page
  // being read: that is what lets tables be open at the same time.
  std::unique_ptr<TTermbaseTable> OpenTable(size_t index) override;

private:
  std::shared_ptr<TMdbFile> File;
  std::vector<void*> Entries;  // the user tables' catalog entries, in catalog order
  std::vector<WideString> Names;
};
