#include "tm/MyConvert.h"

#include <cstring>

#include "base/MyFileStream.h"
#include "base/MyUnicodes.h"
#include "base/MyWideStr.h"
#include "platform/core/Files.h"
#include "tm/TUStream.h"
#include "unicode/UniClasses.h"
#include "unicode/UniSysUtils.h"

// ---------------------------------------------------------------------------------------------
TConvert::TConvert() { WorkBuffer.reserve(4096); }

TConvert::~TConvert() = default;

void TConvert::SetFileError(const WideString& format, const WideString& fileName, int errorCode) {
  FErrorFileName = fileName;
  FErrorText = WideFormat(format, {WideExpandFileName(fileName), errorCode ? WideSysErrorMessage(errorCode) : u""});
  while (!FErrorText.empty() && FErrorText.back() == u' ') FErrorText.pop_back();
}

// ---------------------------------------------------------------------------------------------
TReader::TReader(const WideString& fileName) {
  Buffer.reserve(static_cast<size_t>(ChunkChars) + 16);
  SetUtf8Input(false);
  OpenFile(fileName);
}

TReader::~TReader() = default;

bool TReader::OpenFile(const WideString& fileName) {
  Input.reset();
  Buffer.clear();
  BufIndex = BufLen = 0;
  EndOfInput = false;
  if (fileName.empty()) {
    SetTotal(0);
    return false;
  }
  Input = TTextFileStream::Create(fileName, ccUnicode, false, fmOpenRead | fmShareDenyWrite);
  if (!Input) {
    SetFileError(u"Cannot open file \"%s\". %s", fileName, platform::LastErrorCode());
    SetTotal(0);
    return false;
  }
  SniffXmlEncoding();
  SetTotal(Input->GetSize());
  SetUtf8Input(Input->CodeChar() == ccUtf8);
  return true;
}

// Without a byte-order mark the stream takes the file for ANSI. An XML file tells its encoding
// by its first bytes, as XML reads them: "<" in UTF-16 (either byte order), else the encoding
// its declaration names. One that names none is UTF-8 for XML; it is taken so when all of it
// is well-formed UTF-8 beyond ASCII, and in the ANSI code page otherwise, as older tools wrote
// it. All this happens on the raw bytes, so that not even the first line is decoded wrongly.
void TReader::SniffXmlEncoding() {
  if (Input->CodeChar() != ccAnsi) return;
  unsigned char raw[1024];
  const int64_t n = Input->ReadAt(raw, sizeof raw, 0);
  Input->SetPosition(0);
  if (n <= 0) return;
  auto isLetter = [](unsigned char c) {
    const char lower = LowCaseChar(static_cast<char>(c));
    return lower >= 'a' && lower <= 'z';
  };
  if (n >= 4) {
    if (raw[0] == '<' && raw[1] == 0 && raw[3] == 0 && (raw[2] == '?' || isLetter(raw[2]))) {
      Input->SetUnmarkedCode(ccUnicode);
      return;
    }
    if (raw[0] == 0 && raw[1] == '<' && raw[2] == 0 && (raw[3] == '?' || isLetter(raw[3]))) {
      Input->SetUnmarkedCode(ccBigEndian);
      return;
    }
  }
  const std::string_view text(reinterpret_cast<const char*>(raw), static_cast<size_t>(n));
  auto undeclared = [&] {
    if (Input->LooksLikeUtf8()) Input->SetCodeChar(ccUtf8);
  };
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  if (text.substr(i, 5) != "<?xml") return undeclared();
  const size_t end = text.find("?>", i);
  if (end == std::string_view::npos) return undeclared();
  const std::string_view decl = text.substr(i + 5, end - i - 5);
  const size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return undeclared();
  size_t j = at + 8;
  auto blanks = [&] {
    while (j < decl.size() && (decl[j] == ' ' || decl[j] == '\t' || decl[j] == '\r' || decl[j] == '\n')) ++j;
  };
  blanks();
  if (j >= decl.size() || decl[j] != '=') return;
  ++j;
  blanks();
  if (j >= decl.size() || (decl[j] != '"' && decl[j] != '\'')) return;
  const char quote = decl[j++];
  const size_t close = decl.find(quote, j);
  if (close == std::string_view::npos) return;
  const std::string_view name = decl.substr(j, close - j);
  if (name.size() == 5 && LowCaseChar(name[0]) == 'u' && LowCaseChar(name[1]) == 't' && LowCaseChar(name[2]) == 'f' &&
      name[3] == '-' && name[4] == '8')
    Input->SetCodeChar(ccUtf8);
}

void TReader::SetUtf8Input(bool value) {
  if (value && Input) Input->SetCodeChar(ccUtf8);
}

int64_t TReader::InputPosition() {
  const int64_t position = Input ? Input->GetPosition() : 0;
  if (PumpClock.Due()) IdleProcessMessage();
  return position;
}

WideChar TReader::NextChar() {
  if (BufIndex >= BufLen) {
    if (!Input) EndOfInput = true;
    if (EndOfInput) return u'\t';
    // ReadChars returns 0 only at the end of the file, also when the file ends inside a
    // multi-byte character, so one call either fills the buffer or ends the input.
    Buffer.clear();
    BufLen = Input->ReadChars(Buffer, ChunkChars);
    BufIndex = 0;
    if (BufLen <= 0) {
      BufLen = 0;
      EndOfInput = true;
      return u'\t';
    }
  }
  return Buffer[static_cast<size_t>(BufIndex++)];
}

// ---------------------------------------------------------------------------------------------
TWriter::TWriter(TTUStream* source) : Source(source) {
  if (Source) {
    Source->Seek(0, TSeekOrigin::FromBeginning);
    SetTotal(Source->GetSize());
  }
}

TWriter::~TWriter() = default;

// ---------------------------------------------------------------------------------------------
int TAttrList::Append(std::u16string_view name, std::u16string_view value) {
  const int index = Count();
  FItems.push_back(std::make_unique<TAttribut>(name, value));
  if (FItems.size() > IndexFrom) {
    if (FIndex.empty())
      for (int i = 0; i < Count(); ++i) FIndex.emplace(FItems[static_cast<size_t>(i)]->Name, i);
    else
      FIndex.emplace(FItems.back()->Name, index);  // keeps the first of equal names
  }
  return index;
}

void TAttrList::Add(std::u16string_view name, std::u16string_view value) { Append(name, value); }

int TAttrList::AddUnique(std::u16string_view name, std::u16string_view value) {
  const int i = IndexOfName(name);
  if (i >= 0) return i + 1;
  return Append(name, value);
}

int TAttrList::AddTag(std::u16string_view tagText) {
  const int i = IndexOfName(tagText);
  if (i >= 0) return i + 1;
  WideChar placeholder[5] = {u'&', u't', u'A', u';', 0};
  if (tagText.size() >= 3 && tagText[0] == u'<' && tagText[1] == u'#')
    placeholder[1] = tagText[2];
  else if (!tagText.empty() && tagText[0] == u'{' && tagText.find(u"\\field") != std::u16string_view::npos)
    placeholder[1] = u'f';
  // Past the 26th tag the letters leave "A".."Z" ("[" comes next), which no placeholder
  // reader accepts: such tags do not survive a write and a read back.
  placeholder[2] = static_cast<WideChar>(u'A' + Count());
  return Append(tagText, std::u16string_view(placeholder, 4));
}

void TAttrList::Clear() {
  FIndex.clear();
  FItems.clear();
}

int TAttrList::IndexOfName(std::u16string_view name) const {
  if (!FIndex.empty()) {
    const auto it = FIndex.find(name);
    return it == FIndex.end() ? -1 : it->second;
  }
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->Name == name) return static_cast<int>(i);
  return -1;
}

const TAttribut* TAttrList::FindName(std::u16string_view name) const {
  const int length = static_cast<int>(name.size());
  for (const auto& item : FItems)
    if (item->Name.size() == name.size() && (length == 0 || CompareFoldedLW(item->Name.c_str(), name.data(), length) == 0))
      return item.get();
  return nullptr;
}

PCWideChar TAttrList::ValueOf(std::u16string_view name) const {
  const TAttribut* item = FindName(name);
  return item ? item->Value.c_str() : nullptr;
}

PCWideChar TAttrList::PlaceholderOf(std::u16string_view tagText) const {
  const int i = IndexOfName(tagText);
  return i < 0 ? nullptr : FItems[static_cast<size_t>(i)]->Value.c_str();
}

// ---------------------------------------------------------------------------------------------
TTag::TTag(TTag* parent, std::u16string_view name) : Name(name), Parent(parent) {}

// A malformed document can leave a very deep chain open: it is freed from the top down in a
// loop, never by recursion.
TTag::~TTag() {
  std::unique_ptr<TTag> next = std::move(Child);
  while (next) {
    std::unique_ptr<TTag> below = std::move(next->Child);
    next.reset();
    next = std::move(below);
  }
}

void TTag::AddText(PCWideChar text) {
  if (text) AddText(std::u16string_view(text));
}

void TTag::AddText(std::u16string_view text) {
  if (!FHasText) {
    FText.assign(text);
    FHasText = true;
    return;
  }
  const size_t blanks = FText.find_first_not_of(u' ');
  FText.erase(0, blanks == WideString::npos ? FText.size() : blanks);
  FText.append(text);
}

void TTag::AddAttribute(std::u16string_view name, std::u16string_view value) {
  size_t i = 0;
  while (i < name.size() && name[i] == u' ') ++i;
  Attributes.Add(name.substr(i), value);
}

TTag* TTag::OpenChild(std::u16string_view name) {
  Child = std::make_unique<TTag>(this, name);
  return Child.get();
}

TTag* TTag::Close() {
  TTag* parent = Parent;
  if (!parent) return this;
  parent->Child.reset();  // this object is gone from here on
  return parent;
}
