#include "unicode/UniStringList.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"
#include "unicode/UniClasses.h"
#include "unicode/UniSystem.h"

int WideCompareStr(const WideString& a, const WideString& b) { return a.compare(b) < 0 ? -1 : a == b ? 0 : 1; }

int WideCompareText(const WideString& a, const WideString& b) {
  UErrorCode err = U_ZERO_ERROR;
  const int r = u_strCaseCompare(reinterpret_cast<const UChar*>(a.data()), static_cast<int32_t>(a.size()),
                                 reinterpret_cast<const UChar*>(b.data()), static_cast<int32_t>(b.size()),
                                 U_FOLD_CASE_DEFAULT, &err);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

namespace {

// What lists of either kind of string do alike: assigning clears, then adds every string with
// its object; the text is every line ended by CR LF.
template <class List>
void AssignItems(List& to, const List& from) {
  if (&from == &to) return;
  to.BeginUpdate();
  to.Clear();
  for (int i = 0; i < from.Count(); ++i) to.AddObject(from.Get(i), from.GetObject(i));
  to.EndUpdate();
}

template <class Text, class List>
Text JoinLines(const List& list) {
  Text text;
  for (int i = 0; i < list.Count(); ++i) {
    text += list.Get(i);
    text += typename Text::value_type('\r');
    text += typename Text::value_type('\n');
  }
  return text;
}

}  // namespace

int TAnsiStrings::AddObject(const AnsiString& s, void* object) {
  const int index = Count();
  InsertObject(index, s, object);
  return index;
}

void TAnsiStrings::Assign(const TAnsiStrings& source) { AssignItems(*this, source); }

AnsiString TAnsiStrings::GetText() const { return JoinLines<AnsiString>(*this); }

unsigned TAnsiStringsForWideStringsAdapter::CodePage() const {
  return AdapterCodePage != 0 ? AdapterCodePage : SystemCodePage();
}

AnsiString TAnsiStringsForWideStringsAdapter::Get(int index) const {
  return WideToAnsiCP(WideStrings.Get(index), CodePage());
}

void TAnsiStringsForWideStringsAdapter::Put(int index, const AnsiString& s) {
  WideStrings.Put(index, AnsiToWideCP(s, CodePage()));
}

int TAnsiStringsForWideStringsAdapter::AddObject(const AnsiString& s, void* object) {
  return WideStrings.AddObject(AnsiToWideCP(s, CodePage()), object);
}

void TAnsiStringsForWideStringsAdapter::InsertObject(int index, const AnsiString& s, void* object) {
  WideStrings.InsertObject(index, AnsiToWideCP(s, CodePage()), object);
}

TUniStrings::TUniStrings() : ansiStrings_(std::make_unique<TAnsiStringsForWideStringsAdapter>(*this)) {}

TUniStrings::~TUniStrings() = default;

void TUniStrings::SetAnsiStrings(const TAnsiStrings& value) { ansiStrings_->Assign(value); }

void TUniStrings::ListError(const std::string& message) { throw EStringListError(message); }

void TUniStrings::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit) ListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TUniStrings::BeginUpdate() {
  // The list is told before the count rises, so that it still reports the change to come.
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TUniStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

void TUniStrings::Put(int index, const WideString& s) {
  void* object = GetObject(index);
  BeginUpdate();
  Delete(index);
  InsertObject(index, s, object);
  EndUpdate();
}

int TUniStrings::AddObject(const WideString& s, void* object) {
  const int index = Count();
  InsertObject(index, s, object);
  return index;
}

void TUniStrings::Exchange(int index1, int index2) {
  if (index1 == index2) {
    CheckIndex(index1, Count());
    return;
  }
  if (index1 > index2) std::swap(index1, index2);
  const WideString s1 = Get(index1), s2 = Get(index2);
  void* o1 = GetObject(index1);
  void* o2 = GetObject(index2);
  BeginUpdate();
  Delete(index2);
  InsertObject(index2, s1, o1);
  Delete(index1);
  InsertObject(index1, s2, o2);
  EndUpdate();
}

void TUniStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  const WideString s = Get(curIndex);
  void* object = GetObject(curIndex);
  CheckIndex(newIndex, Count());
  BeginUpdate();
  Delete(curIndex);
  InsertObject(newIndex, s, object);
  EndUpdate();
}

int TUniStrings::IndexOf(const WideString& s) const {
  for (int i = 0; i < Count(); ++i)
    if (WideCompareText(Get(i), s) == 0) return i;
  return -1;
}

void TUniStrings::Assign(const TUniStrings& source) { AssignItems(*this, source); }

WideString TUniStrings::GetText() const { return JoinLines<WideString>(*this); }

void TUniStrings::SetText(const WideString& text) {
  BeginUpdate();
  Clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == WideString::npos) end = text.size();
    Add(text.substr(start, end - start));
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ++end;
    start = end + 1;
  }
  EndUpdate();
}

void TUniStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange();
}

void TUniStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging();
}

void TUniStringList::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}

void TUniStringList::SetCapacity(int value) {
  if (value < Count()) value = Count();
  capacity_ = value;
  items_.reserve(static_cast<size_t>(value));
}

void TUniStringList::Grow() {
  const int delta = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
  SetCapacity(capacity_ + delta);
}

WideString TUniStringList::Get(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].text;
}

void TUniStringList::Put(int index, const WideString& s) {
  if (sorted_) ListError("Operation not allowed on sorted list");
  CheckIndex(index, Count());
  Changing();
  items_[static_cast<size_t>(index)].text = s;
  Changed();
}

void* TUniStringList::GetObject(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<size_t>(index)].object;
}

void TUniStringList::PutObject(int index, void* object) {
  CheckIndex(index, Count());
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

void TUniStringList::InsertItem(int index, const WideString& s, void* object) {
  Changing();
  if (Count() == capacity_) Grow();
  items_.insert(items_.begin() + index, Item{s, object});
  Changed();
}

int TUniStringList::AddObject(const WideString& s, void* object) {
  int index = Count();
  if (sorted_ && Find(s, index)) {
    if (Duplicates == dupIgnore) return index;
    if (Duplicates == dupError) ListError("String list does not allow duplicates");
  }
  InsertItem(index, s, object);
  return index;
}

void TUniStringList::InsertObject(int index, const WideString& s, void* object) {
  if (sorted_) ListError("Operation not allowed on sorted list");
  CheckIndex(index, Count() + 1);
  InsertItem(index, s, object);
}

void TUniStringList::Delete(int index) {
  CheckIndex(index, Count());
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TUniStringList::Exchange(int index1, int index2) {
  CheckIndex(index1, Count());
  CheckIndex(index2, Count());
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TUniStringList::Clear() {
  if (items_.empty() && capacity_ == 0) return;
  Changing();
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
  Changed();
}

int TUniStringList::CompareStrings(const WideString& a, const WideString& b) const {
  return caseSensitive_ ? WideCompareStr(a, b) : WideCompareText(a, b);
}

bool TUniStringList::Find(const WideString& s, int& index) const {
  int l = 0, h = Count() - 1;
  bool found = false;
  while (l <= h) {
    const int i = (l + h) / 2;
    const int c = CompareStrings(items_[static_cast<size_t>(i)].text, s);
    if (c < 0) {
      l = i + 1;
    } else {
      h = i - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != dupAccept) l = i;
      }
    }
  }
  index = l;
  return found;
}

int TUniStringList::IndexOf(const WideString& s) const {
  if (sorted_) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(items_[static_cast<size_t>(i)].text, s) == 0) return i;
  return -1;
}

int TUniStringList::IndexOfName(const WideString& name) const {
  const WideString prefix = name + NameValueSeparator;
  auto startsWith = [&](const WideString& text) {
    return text.size() >= prefix.size() && CompareStrings(text.substr(0, prefix.size()), prefix) == 0;
  };
  if (sorted_) {
    int index;
    Find(prefix, index);
    return index < Count() && startsWith(items_[static_cast<size_t>(index)].text) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (startsWith(items_[static_cast<size_t>(i)].text)) return i;
  return -1;
}

void TUniStringList::QuickSort(int l, int r, const std::function<int(const TUniStringList&, int, int)>& compare) {
  while (l < r) {
    int i = l, j = r, p = (l + r) / 2;
    while (i <= j) {
      while (compare(*this, i, p) < 0) ++i;
      while (compare(*this, j, p) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i;
        --j;
      }
    }
    // Recurse into the smaller part so that the stack stays shallow on any input.
    if (j - l < r - i) {
      QuickSort(l, j, compare);
      l = i;
    } else {
      QuickSort(i, r, compare);
      r = j;
    }
  }
}

void TUniStringList::CustomSort(const std::function<int(const TUniStringList&, int, int)>& compare) {
  if (sorted_ || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1, compare);
  Changed();
}

void TUniStringList::Sort() {
  CustomSort([](const TUniStringList& list, int a, int b) {
    return list.CompareStrings(list.items_[static_cast<size_t>(a)].text, list.items_[static_cast<size_t>(b)].text);
  });
}

void TUniStringList::SetSorted(bool value) {
  if (value == sorted_) return;
  if (value) Sort();
  sorted_ = value;
}

void TUniStringList::SetCaseSensitive(bool value) {
  if (value == caseSensitive_) return;
  caseSensitive_ = value;
  if (sorted_) {
    sorted_ = false;
    SetSorted(true);
  }
}

WideString TUniStringList::GetText() const {
  WideString text;
  for (const Item& item : items_) {
    text += item.text;
    text += u"\r\n";
  }
  return text;
}

uint8_t TUniStrings::DetectEncoding(TStream& stream) {
  const int64_t start = stream.GetPosition();
  const int64_t remaining = stream.GetSize() - start;
  unsigned char head[3] = {0, 0, 0};
  if (remaining >= 2 && stream.Read(head, 2) == 2) {
    if (head[0] == 0xFF && head[1] == 0xFE) return leUtf16LE;
    if (head[0] == 0xFE && head[1] == 0xFF) return leUtf16BE;
  }
  stream.SetPosition(start);
  if (remaining >= 3 && stream.Read(head, 3) == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
    return leUtf8;
  stream.SetPosition(start);
  return leAnsi;
}

void TUniStrings::LoadFromStreamEx(TStream& stream, bool detect) {
  BeginUpdate();
  const uint8_t kind = detect ? DetectEncoding(stream) : static_cast<uint8_t>(leUtf16LE);
  const int64_t n = std::max<int64_t>(0, stream.GetSize() - stream.GetPosition());
  std::string bytes(static_cast<size_t>(n), '\0');
  bytes.resize(static_cast<size_t>(stream.Read(bytes.data(), n)));
  WideString text;
  if (kind == leUtf16LE || kind == leUtf16BE) {
    text.resize(bytes.size() / 2);
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    if (kind == leUtf16BE)
      for (char16_t& c : text) c = static_cast<char16_t>((c >> 8) | (c << 8));
  } else if (kind == leUtf8) {
    text = UTF8ToWide(bytes);
  } else {
    text = AnsiToWideCP(bytes, SystemCodePage());
  }
  SetText(text);
  EndUpdate();
}

void TUniStrings::LoadFromFile(const WideString& fileName) {
  TUniFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LastFileEncoding = DetectEncoding(stream);
  stream.SetPosition(0);
  LoadFromStream(stream);
}

void TUniStrings::SaveToStreamEx(TStream& stream, bool withBOM) {
  if (withBOM) stream.Write("\xFF\xFE", 2);
  const WideString text = GetText();
  std::string bytes(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TUniStrings::SaveToFile(const WideString& fileName) {
  TUniFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}
