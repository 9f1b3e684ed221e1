#include "app/core/SdlTMStream.h"

#include <algorithm>

#include "base/MyWideStr.h"
#include "unicode/UniSysUtils.h"

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
  // The first column of each name counts, its name compared without case (the names arrive
  // upper-cased). change_user is not read: the usage count comes from usage_counter alone.
  for (int i = Table->ColCount() - 1; i >= 0; --i) {
    const WideString& name = Table->Columns(i);
    if (SameTextAsciiW(name, u"source_segment"))
      SourceCol = i;
    else if (SameTextAsciiW(name, u"target_segment"))
      TargetCol = i;
    else if (SameTextAsciiW(name, u"creation_user"))
      UserCol = i;
    else if (SameTextAsciiW(name, u"creation_date"))
      DateCol = i;
    else if (SameTextAsciiW(name, u"usage_counter"))
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

int64_t TSdlTMStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::FromBeginning:
      MoveTo(offset);
      RowsRead = 0;
      break;
    case TSeekOrigin::FromCurrent:
      MoveTo(Table->Row() + offset);
      break;
    case TSeekOrigin::FromEnd:
      MoveTo(Table->RowCount() - offset);
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
