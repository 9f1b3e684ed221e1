#include "app/core/SdlTMStream.h"

#include <algorithm>

#include "base/MyWideStr.h"
#include "unicode/UniSysUtils.h"

namespace {

// Column names arrive upper-cased; compared without case all the same.
bool SameColumn(const WideString& column, std::u16string_view name) {
  if (column.size() != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    WideChar c = column[i];
    if (c >= u'a' && c <= u'z') c = static_cast<WideChar>(c - 32);
    WideChar n = name[i];
    if (n >= u'a' && n <= u'z') n = static_cast<WideChar>(n - 32);
    if (c != n) return false;
  }
  return true;
}

}  // namespace

TSdlTMStream::TSdlTMStream(const WideString& fileName) {
  Database = std::make_unique<TSQLiteDatabase>(fileName);
  try {
    Table = Database->GetTable("SELECT * FROM translation_units");
  } catch (const ESQLiteException& e) {
    // The library's message names the statement, not the file.
    throw ESQLiteException(
        WideFormat(u"Cannot read the SDLTM database \"%s\".\r%s", {WideExpandFileName(fileName), e.WideMessage()}));
  }
  Table->MoveFirst();
  Decoder = std::make_unique<TDecodeSdltmStr>();
  // The first column of each name counts. change_user is not read: the usage count comes from
  // usage_counter alone.
  for (int i = Table->ColCount() - 1; i >= 0; --i) {
    const WideString& name = Table->Columns(i);
    if (SameColumn(name, u"source_segment"))
      SourceCol = i;
    else if (SameColumn(name, u"target_segment"))
      TargetCol = i;
    else if (SameColumn(name, u"creation_user"))
      UserCol = i;
    else if (SameColumn(name, u"creation_date"))
      DateCol = i;
    else if (SameColumn(name, u"usage_counter"))
      CountCol = i;
  }
}

TSdlTMStream::~TSdlTMStream() {
  Decoder.reset();
  Table.reset();
  Database.reset();
}

int64_t TSdlTMStream::GetSize() { return Table->RowCount(); }

int64_t TSdlTMStream::GetPosition() { return Table->Row(); }

void TSdlTMStream::MoveTo(int64_t row) {
  row = std::clamp<int64_t>(row, 0, Table->RowCount());
  while (Table->Row() < row) Table->Next();
  while (Table->Row() > row) Table->Previous();
}

int64_t TSdlTMStream::Seek(int64_t offset, int origin) {
  switch (origin) {
    case 0:
      MoveTo(offset);
      RowsRead = 0;
      break;
    case 1:
      MoveTo(Table->Row() + offset);
      break;
    case 2:
      MoveTo(Table->RowCount() - offset);
      break;
    default:
      break;
  }
  return Table->Row();
}

bool TSdlTMStream::Write(TTU&) { return false; }

void TSdlTMStream::SdlDateToTmDate(WideString& date) {
  size_t out = 0;
  for (const WideChar c : date) {
    if (c == u'-' || c == u':') continue;
    date[out++] = c == u' ' ? u'~' : c;
  }
  date.resize(out);
}

int64_t TSdlTMStream::Read(TTU& tu) {
  if (tu.IsHeader) {
    MoveTo(0);
    RowsRead = 0;
  }
  if (Table->Eof()) return 0;
  const bool header = RowsRead == 0 && Table->Row() == 0;
  tu.Clear();
  tu.SetIsHeader(header);
  if (SourceCol >= 0) Decoder->Decode(Table->FieldAsString(SourceCol), tu, true);
  if (TargetCol >= 0) Decoder->Decode(Table->FieldAsString(TargetCol), tu, false);
  if (UserCol >= 0) tu.SetField(tfUserId, Table->FieldAsString(UserCol));
  if (DateCol >= 0) {
    WideString date = Table->FieldAsString(DateCol);
    SdlDateToTmDate(date);
    tu.SetField(tfDate, date);
  }
  if (CountCol >= 0) tu.SetCount(WStrToInt(Table->FieldAsString(CountCol).c_str()));
  ++RowsRead;
  // The header's row is delivered once more, as the first unit.
  if (header) return 1;
  Table->Next();
  return Table->Row();
}
