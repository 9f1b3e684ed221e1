#pragma once
// A forgiving scanner for XML-like markup (TMX files, SDLTM segment strings). It keeps the chain
// of open elements and reports start and end tags to its descendants, which decide what the
// elements mean. It is no validating parser: end tags close the current element whatever their
// names, comments and declarations other than the XML declaration are skipped, and malformed
// markup is absorbed rather than reported.
//
// It also carries the routines that turn segment text into text-TM field text: entity
// decoding, inline tags to placeholders ("&tA;", or the open form "&t=" + tag + ";"), and the
// escape "&'" + hexadecimal + ";" for characters that cannot stand in a field.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/MyTreeLetters.h"
#include "tm/MyConvert.h"

class TReaderHTML : public TReader {
public:
  // An empty name gives a reader without input: it then reads the characters put in Buffer,
  // or the bytes given to ParseBytes.
  explicit TReaderHTML(const WideString& fileName);
  ~TReaderHTML() override;

  // Scans the whole input; stops at its end or when the job is stopped. The scan works on the
  // input's bytes in UTF-8 (other encodings are converted once per block): markup is taken
  // apart where it stands, and only the text that an element gathers is decoded.
  void Parse() override;
  // Scans the UTF-8 text given, as Parse scans an input.
  void ParseBytes(std::string_view bytes);

  // Whether the input read so far held a #0 byte (text that may hold a #0 character).
  bool InputHadNul() const { return FSawNul; }

  // Tags of the shapes a TMX file is made of (a name, attributes in quotes, blanks between
  // them) are read at once rather than byte by byte through the states, with the same result;
  // off, every tag goes through the states (for tests that compare the two).
  bool ShortTags = true;

  // Appends UTF-8 bytes to out as UTF-16, as the reader's files are decoded: each ill-formed
  // sequence (its longest valid beginning) becomes one U+FFFD, and the three-byte forms of
  // surrogates are taken as such. With lineEnds, CR LF and a lone CR become one LF.
  static void AppendUtf8(std::string_view bytes, WideString& out, bool lineEnds = false);

  // A start tag is complete with its attributes. Every element is reported here, also one
  // that closes itself ("<name .../>"), which is then reported by TagClosed at once with an
  // empty end name.
  virtual void TagOpened(TTag* tag) = 0;
  // An end tag was read while tag is the current element; returns the element that becomes
  // current (normally tag->Close()).
  virtual TTag* TagClosed(TTag* tag, std::u16string_view endName) = 0;
  // Hands one unit to the output; false when the output did not take it.
  virtual bool EndUnit(bool isHeader) = 0;
  // Whether the attributes are also given as a list of names and values decoded (TTag's
  // Attributes); they are always there as the input spelt them (TTag's raw attributes).
  virtual bool DecodesAttributes() const { return true; }
  // Whether the elements' names are decoded into TTag's Name; a reader that says no tells its
  // elements apart by their Kind, which ElementKind gives from the name as the input spelt it
  // (UTF-8) when the element opens (-1: not given).
  virtual bool DecodesNames() const { return true; }
  virtual int ElementKind(std::string_view name) const;
  // Whether TagClosed is told the end tag's name.
  virtual bool UsesEndNames() const { return true; }
  // Whether the character content of this element is gathered. Text that no descendant reads
  // (the blanks between the elements of a large document) need not pile up anywhere.
  virtual bool CollectsText(const TTag& tag) const;
  // The element that receives the text read inside tag: tag itself when it collects text, or
  // none. An element whose text belongs to an element around it says so here.
  virtual TTag* TextTarget(TTag& tag);

  // Turns XML references into characters, in place: named entities of the table, "&#" decimal,
  // "&#x" and "&'" hexadecimal. The result is field text: an ampersand of the text stays one,
  // or becomes "&'26;" where what follows would make it a placeholder or an escape; a TAB is
  // "&'9;", LF "&'A;", CR "&'D;"; #0 disappears. References are decoded once: "&amp;lt;" is the
  // text "&lt;", never "<". Placeholders and open forms stay.
  void DecodeEntities(WideString& text);
  // Replaces the inline tags of segment text ("{" ... "}" groups, "<" ... ">" tags, the groups
  // that stand for inline elements) by placeholders, then escapes special characters. With
  // registerTags, tags new to TagPlaceholders get the next letter; without it, a tag that the
  // list does not know is written in the open form. A "{" or "<" without its end is text.
  // With keysOnly, only the groups that stand for inline elements (TagContents) are tags:
  // every "<" and "{" is text, and each element keeps its own place, also back to back.
  void TagsToPlaceholders(WideString& text, bool registerTags, bool keysOnly = false);
  // Segment text as read (inline elements as their groups) into field text: DecodeEntities,
  // then TagsToPlaceholders with keysOnly, every character kept; a blank at either edge is
  // escaped (EscapeEdgeBlanks). Text with nothing to decode, replace or escape stays as it is.
  void SegmentToField(WideString& text, bool registerTags);
  // The same for text in UTF-8 (as AppendUtf8Text gives it), which stays UTF-8: text with only
  // its edge blanks to escape is worked on where it stands, any other in UTF-16.
  void SegmentToField(std::string& text, bool registerTags);
  // Field text whose `tail` blanks at the end were cut off: they come back, the last one as
  // "&'20;", and a blank at the start is written so too.
  void EscapeEdgeBlanks(WideString& text, size_t tail);
  // Each character of the special set becomes "&'" + hexadecimal + ";"; the open forms are
  // copied as they stand, so that their ";" and the characters inside stay intact.
  void EscapeSpecialChars(WideString& text);
  // Appends "&'" + code in upper-case hexadecimal without leading zeros + ";".
  static void CharToHexRef(WideString& out, uint32_t code);

  // Decodes the references of markup text (attribute values, property text, the content of
  // inline elements) into plain text, once: TAB, CR and LF become blanks, #0 disappears, and
  // an ampersand that starts no reference stays an ampersand.
  void DecodeXmlText(std::u16string_view text, WideString& out) const;

  // Tag text -> placeholder, for the unit being read.
  TAttrList TagPlaceholders;
  // Tag key -> the tag's content, for the unit being read. A content keeps the keys of the
  // elements inside it; ExpandedContent gives them back their contents.
  TAttrList TagContents;
  // The content of TagContents' index-th item with the keys of the elements inside it (at any
  // depth) replaced by their contents, so that an open form shows markup, not digests.
  const WideString& ExpandedContent(int index);

  // More elements than this open at once make the reader refuse the input (0: no limit): each
  // open element is kept, and a document that never closes its elements would otherwise take
  // memory without end.
  uint32_t MaxOpenElements = 0;
  // The letters of placeholders run from "A" up to the character before the surrogates; a
  // segment's tags past that many are written in the open form, which keeps the text TM's line
  // whole (a letter past them would be a surrogate, a control or a line end).
  static constexpr int kPlaceholderLetters = 0xD800 - u'A';
  // Entity name -> character; case-sensitive.
  TTreeLetters Entities{true};
  // The descendants' buffer for the text of one segment.
  WideString SegmentBuffer;

  // Where the open form "&t=" ... ";" starting at text[p] ends (the index of its ";", the first
  // one not preceded by "\"), or npos when it has none. failsFrom carries what earlier calls on
  // the same text learnt (start it at npos): once a search found no end, none from further on
  // will, so a text full of unended forms still costs one pass.
  static size_t OpenFormEnd(std::u16string_view text, size_t p, size_t& failsFrom);

private:
  // stCData: the content of a CDATA section; stDocType: a document type declaration, kept
  // whole for its entities.
  enum TState : uint8_t { stDecl = 1, stText, stName, stAttrName, stAttrValue, stQuoted, stEndTag, stCData, stDocType };

  // The general entities that the document type declares in its internal subset: name ->
  // replacement text (in UTF-8, its references as written).
  struct TNameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, std::string, TNameHash, std::equal_to<>> FDocEntities;
  // The text expanded so far by references to them, in bytes; capped with the depth of nesting.
  size_t FExpandedBytes = 0;
  size_t FExpandedCap = 0;
  // Takes the entity declarations of a document type declaration ("DOCTYPE" ... without "<!"
  // and ">").
  void ReadDocType(std::string_view decl);
  // Appends text with the references to the document's entities replaced by their text, to
  // the given depth; false (the job refused) when they nest too deeply or grow too long.
  bool ExpandEntities(std::string_view text, std::string& out, int depth);
  void RefuseEntities();

  // Decodes the reference at text[p] ("&"); returns where the text goes on. When the reference
  // names a character, code receives it; else code is left alone and p is returned.
  size_t DecodeReference(std::u16string_view text, size_t p, uint32_t& code, bool& named) const;
  // Appends code as field text (see DecodeEntities); an ampersand as a mark that
  // SettleTextAmpersands resolves.
  void AppendFieldChar(WideString& out, uint32_t code);
  void SettleTextAmpersands(WideString& text);
  // Whether the text TM's reader (the TMX writer) takes the "&" at text[p] for the start of a
  // placeholder or an escape.
  static bool ReadsAsCode(std::u16string_view text, size_t p);
  // True when the ampersand at text[p] (or, for a decoded one, the text from p on) is left as
  // it stands: it begins a four-character placeholder or an open form.
  static bool KeepsAmpersand(std::u16string_view text, size_t p);
  // The placeholder of a new tag whose usual letter is already taken in the segment.
  void RegisterTag(std::u16string_view tagText);
  bool SegmentToFieldUtf8(const std::string& text, std::string& out, bool registerTags, size_t stop);

  void Scan(const std::string_view* bytes);
  void OpenTag(TTag*& cur, std::string_view name);
  bool FDecodesNames = true;  // DecodesNames(), for the parse under way
  // Adds the attribute with the references to the document's own entities in its value
  // expanded.
  void AddAttribute(TTag* cur, std::string_view name, std::string_view value);
  std::string FAttrExpanded;
  struct TExpansion {
    const WideString* Text;
    size_t At;
  };
  std::vector<TExpansion> FExpansions;
  WideString FContent;
  // The attributes of a tag read at once, as offsets into the block.
  static constexpr size_t kShortAttrs = 16;
  TRawSpan FShortAttrs[kShortAttrs];

  // The parse's state kept from parse to parse: the chain of elements (their objects reused),
  // the input block, a name and a text or value as bytes, an end tag's name decoded.
  std::unique_ptr<TTag> FRoot;
  bool FSawNul = false;
  TRawBuffer FBlock;
  std::string FNameBytes;
  std::string FTextBytes;
  std::string FDeclBytes;  // a document type declaration being read
  std::string FExpanded;
  WideString NameBuf;
  // Scratch of the text routines.
  WideString FOut;
  WideString FWide;
  WideString FWide8;
  WideString FKey;
  std::string FOut8;
  std::vector<uint32_t> FMatch;
  std::vector<uint32_t> FBraces;
  std::vector<uint32_t> FAngles;
  // Letters of the placeholders already in the segment being registered, bit 0 for "A".
  uint32_t FUsedLetters = 0;
};
