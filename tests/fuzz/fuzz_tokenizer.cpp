// The tag and entity tokenizer: any text scanned as markup (start and end tags reported to a
// reader that keeps nothing and one that closes nothing, so the chain of open elements can grow
// as deep as the input makes it), and the text routines on the input and on every text and
// attribute value the scan gathered.
//
// Input: each byte is one character, except 0xFF, which takes the next two bytes as one UTF-16
// unit.
//
// Properties: the scan ends (or refuses entities that nest without end), and reads the same
// with and without its shortcut for the usual tags; the reported tags are the current chain's
// ends; the texts the scan gathers hold no CR (a line end is one LF in text, a blank in markup);
// field text made of any text holds no TAB, CR or LF (they would break the line of the text TM)
// and no mark of a text ampersand, and a segment's field no blank at either edge; plain text from
// decoded references holds no CR or LF; an open form's end is a ";" after its start.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tm/MyReaderHTML.h"

namespace {

class TScanner : public TReaderHTML {
public:
  // closeTags false: end tags leave every element open, so the chain only grows.
  explicit TScanner(bool closeTags) : TReaderHTML(WideString()), CloseTags(closeTags) {}

  void Scan(const WideString& text) {
    Buffer = text;
    BufIndex = 0;
    BufLen = static_cast<int64_t>(text.size());
    EndOfInput = false;
    Parse();
  }

  void TagOpened(TTag* tag) override {
    FUZZ_CHECK(tag && !tag->Child);  // the innermost element
    ++Opened;
    Keep(tag);
  }
  TTag* TagClosed(TTag* tag, std::u16string_view endName) override {
    FUZZ_CHECK(tag && !tag->Child);
    ++Closed;
    Keep(tag);
    if (Texts.size() <= 64) Texts.emplace_back(endName);
    return CloseTags ? tag->Close() : tag;
  }
  bool EndUnit(bool) override { return true; }
  void Start() override {}
  void Finish() override {}

  // A sample of what the scan gathered, for the text routines.
  void Keep(const TTag* tag) {
    if (Texts.size() > 64) return;
    Texts.push_back(tag->Name);
    if (tag->Text()) Texts.emplace_back(tag->Text());
    for (int i = 0; i < tag->Attributes.Count() && i < 4; ++i) Texts.push_back(tag->Attributes.Items(i).Value);
  }

  bool CloseTags;
  size_t Opened = 0;
  size_t Closed = 0;
  std::vector<WideString> Texts;
};

WideString TextOf(const uint8_t* data, size_t size) {
  WideString s;
  s.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      s += static_cast<char16_t>(data[i + 1] | data[i + 2] << 8);
      i += 2;
    } else {
      s += static_cast<char16_t>(data[i]);
    }
  }
  return s;
}

// scanned: text that the scan gathered, where CR LF and CR became LF.
void TextRoutines(TScanner& r, const WideString& text, bool scanned) {
  if (scanned) FUZZ_CHECK(text.find(u'\r') == WideString::npos);
  WideString s = text;
  r.DecodeEntities(s);
  FUZZ_CHECK(s.find(u'\xFFFF') == WideString::npos);
  WideString t = s;
  r.TagsToPlaceholders(t, true);
  FUZZ_CHECK(t.find_first_of(u"\t\r\n") == WideString::npos);
  WideString k = s;
  r.TagsToPlaceholders(k, false, true);
  FUZZ_CHECK(k.find_first_of(u"\t\r\n") == WideString::npos);
  WideString u = text;
  r.TagsToPlaceholders(u, false);
  FUZZ_CHECK(u.find_first_of(u"\t\r\n") == WideString::npos);
  // A segment's field keeps its blanks, but none stands bare at either edge.
  WideString f = text;
  r.SegmentToField(f, true);
  FUZZ_CHECK(f.find_first_of(u"\t\r\n") == WideString::npos);
  FUZZ_CHECK(f.empty() || (f.front() != u' ' && f.back() != u' '));
  WideString e = text;
  r.EscapeSpecialChars(e);
  WideString x;
  r.DecodeXmlText(text, x);
  if (scanned) FUZZ_CHECK(x.find_first_of(u"\r\n") == WideString::npos);
  size_t fails = std::u16string_view::npos;
  for (size_t p = text.find(u"&t="); p != WideString::npos; p = text.find(u"&t=", p + 1)) {
    const size_t end = TReaderHTML::OpenFormEnd(text, p, fails);
    FUZZ_CHECK(end == std::u16string_view::npos || (end > p && end < text.size() && text[end] == u';'));
  }
  WideString ref;
  TReaderHTML::CharToHexRef(ref, text.empty() ? 0 : text[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const WideString text = TextOf(data, size);
  {
    TScanner r(true);
    r.Scan(text);
    // Entities of the document type that refer to one another without end, or grow past their
    // bound, make the reader refuse the text: the scan stops there.
    FUZZ_CHECK(r.EndOfInput || r.Refused());
    FUZZ_CHECK(r.Opened + r.Closed <= text.size() + 1);
    TextRoutines(r, text, false);
    for (const WideString& t : r.Texts) TextRoutines(r, t, true);
    // Every tag read through the states alone gives the same elements, names, values and texts.
    TScanner states(true);
    states.ShortTags = false;
    states.Scan(text);
    FUZZ_CHECK(states.Opened == r.Opened && states.Closed == r.Closed && states.Texts == r.Texts);
    // The same reader scans again from a clean state.
    r.Scan(text);
  }
  {
    TScanner r(false);
    r.Scan(text);
    FUZZ_CHECK(r.EndOfInput || r.Refused());
  }
  return 0;
}
