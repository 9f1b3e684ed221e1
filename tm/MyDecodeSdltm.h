#pragma once
// The segment decoder of SDLTM databases. A database stores each segment as an XML string: a
// Segment element with an Elements list of Text and Tag elements, then its CultureName. The
// decoder turns one such string into the text of one segment field of a unit, the tags written
// as TMX inline elements (bpt, ept, ph), and sets the unit's language code from the culture.
// The result is TMX markup that the TMX writer puts inside seg as it stands, so everything
// taken from the string is made well-formed XML here.
#include <cstdint>
#include <string>
#include <string_view>

#include "tm/MyReaderHTML.h"
#include "tm/MyTUs.h"

class TDecodeSdltmStr : public TReaderHTML {
public:
  // An empty name: the decoder reads no file, only the strings given to Decode.
  explicit TDecodeSdltmStr(const WideString& fileName = WideString());
  ~TDecodeSdltmStr() override;

  // Decodes one segment string into the source side of tu (language and text, fields 3 and 4)
  // or its target side (fields 5 and 6). A string without the end of its Segment element
  // leaves the text field as it was.
  void Decode(std::u16string_view text, TTU& tu, bool isSource);
  // The same for the string as the database holds it, in UTF-8; an ill-formed sequence (or the
  // form of a surrogate) stands for U+FFFD, as the database's text is read everywhere.
  void DecodeUtf8(std::string_view text, TTU& tu, bool isSource);

  // The text goes to the unit's SourceUtf8 or TargetUtf8 in UTF-8 instead of its fields. A
  // string decoded otherwise than by the plain path leaves the unit's SegmentsClean unset: its
  // text may hold what XML cannot hold.
  bool Utf8Segments = false;

  // After Decode or DecodeUtf8: whether the string was a segment, its end met, that named its
  // culture; a string that is not (plain text, a number, nothing) gives the unit neither its
  // text nor its language.
  bool SegmentDecoded() const { return SegmentEnded && HasCulture; }

  void Start() override {}
  void Finish() override {}
  void TagOpened(TTag* tag) override;
  TTag* TagClosed(TTag* tag, std::u16string_view endName) override;
  bool EndUnit(bool) override { return false; }  // the caller hands the units on
  bool CollectsText(const TTag& tag) const override;
  bool DecodesAttributes() const override { return false; }
  bool UsesEndNames() const override { return false; }
  bool DecodesNames() const override { return false; }
  int ElementKind(std::string_view name) const override;

  // Tag kinds.
  enum : uint8_t { tkNone = 0, tkStart = 1, tkEnd = 2, tkStandalone = 3, tkLockedContent = 4, tkTextPlaceholder = 5 };

  uint8_t LangField = tfSourceLang;  // the unit fields that receive the language and the text
  uint8_t TextField = tfSource;
  TTU* TargetTU = nullptr;  // the unit being filled; not owned
  // What the current Tag element said so far; each Tag starts afresh, so nothing of one tag
  // (its anchor, its text equivalent) ever reaches the next.
  uint8_t TagKind = tkNone;
  WideString AnchorAttr;      // i="anchor" and a blank, escaped; empty without an anchor
  WideString AlignmentAttr;   // x="alignment anchor" and a blank
  WideString TagIdAttr;       // type="tag id" and a blank
  WideString TextEquivalent;  // XML text
  // Forgets what the last Tag element said.
  void StartTag();

private:
  // The string as the database tools write nearly every one: a Segment (attributes aside) whose
  // Elements hold Text elements with a Value and Tag elements, then its CultureName, in one
  // line and nothing else. Decoded here without the scanner, to the same result; false
  // (nothing done) for any other string, or one whose text is no well-formed UTF-8.
  bool DecodePlain(std::string_view text);
  // Hands the segment's text to the unit, as its field or in UTF-8.
  void DeliverSegment();
  void SetLanguage(std::u16string_view culture);
  // Decodes UTF-8 as the files' reader takes it (surrogate forms kept).
  void DecodeBytes(std::string_view text, TTU& tu, bool isSource);
  // Writes the current Tag element into SegmentBuffer.
  void WriteTag();
  // attr="value" and a blank, the value's references decoded once and its XML specials escaped.
  void SetAttr(WideString& dest, std::u16string_view attr, std::u16string_view value);

  // A value whose text is a name (a tag type, a culture): references decoded, blanks and line
  // ends around it dropped. Valid until the next call.
  std::u16string_view PlainValue(std::u16string_view value);

  bool SegmentEnded = false;
  bool HasCulture = false;
  WideString Plain;  // scratch of SetAttr and PlainValue
  std::string Prepared;  // the string being decoded, its line ends in text made references
  std::string Checked;   // a string made UTF-8 (from UTF-16, or well-formed from ill-formed bytes)
  std::string SegmentUtf8;  // the segment's text being made by DecodePlain, in UTF-8 and clean
  std::string Encoded;      // a tag of it in UTF-8, before it is made clean
  WideString Piece;         // scratch of DecodePlain
  // The culture last decoded by DecodePlain on each side (source, target): its bytes and code.
  struct TCulture {
    bool Valid = false;
    std::string Bytes;
    WideString Code;
  };
  TCulture Cultures[2];
};

// Appends element text to out as well-formed XML: the references of XML stay as they stand,
// any other ampersand (one that starts no reference, a name XML does not know, a number that is
// no character of XML) becomes "&amp;", a "<" (from a CDATA section) "&lt;", and the ">" of a
// "]]>" that out would end with "&gt;".
void AppendXmlText(WideString& out, std::u16string_view text);
