#pragma once
// The TMX 1.4 writer: a TMX document from a translation-unit stream, the units of a text
// translation memory or of an SDLTM database.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/MyFileStream.h"
#include "base/MyRawBuffer.h"
#include "tm/MyConvert.h"
#include "tm/MyTUs.h"

class TEncodeTMX : public TWriter {
public:
  explicit TEncodeTMX(TTUStream* source);
  ~TEncodeTMX() override;

  // Creates fileName (replacing it) and writes the whole document. encoding: ccNone and ccUnicode
  // UTF-16LE, ccAnsi, ccBigEndian (each with its byte-order mark where it has one), ccUtf8
  // without a mark. False when the file could not be created or did not take everything
  // written; ErrorText() names the file. A stopped conversion still ends the document properly,
  // and so does one that the source fails part-way: the exception is passed on, and the
  // document holds the UnitCount units written before it (nothing when none was).
  bool Convert(const WideString& fileName, TCodeChar encoding);
  void Execute() override;

  TTU CurrentTU;             // every unit is read into it
  TCodeChar EncodingCode = ccNone;  // as given to Convert
  // The source's segments are text-TM text (escaped, placeholders expanded) rather than TMX
  // markup written as it stands; it also selects the header's variant.
  bool IsTextSource;

  // The units written with a warning: a surrogate without its partner, which the document holds
  // as U+FFFD, or something their source left out.
  int64_t RepairedUnits = 0;

  // The five XML special characters of text escaped into WorkBuffer, which is returned.
  const WideString& EscapeAttr(std::u16string_view text);

private:
  void AddLine(std::u16string_view text);
  void AddAttrLine(std::u16string_view start, std::u16string_view value);
  void AppendEscaped(std::u16string_view text);
  // Markup (ASCII) onto the block in the output's form. For a UTF-8 output, the UTF-16 text
  // gathered in Block before it is encoded first, so that the block keeps its order.
  void Put(std::string_view ascii) {
    if (WritesUtf8 && Block.empty())
      Utf8Block.append(ascii);
    else
      PutAfterBlock(ascii);
  }
  void PutAfterBlock(std::string_view ascii);
  void WriteHeader(const TTU& header);
  void CloseAfterFailure();
  void WriteUnit(TTU& tu, const TTU& header);
  struct TTuvLine {
    WideString Lang;  // the unit's code the line was made for
    WideString Line;  // "<tuv xml:lang=...>" and its line end; empty: none yet
    std::string Utf8;  // the same line cleaned and encoded, for a UTF-8 output
  };
  void AddTuvLine(TTuvLine& tuv, const WideString& lang, const WideString& headerLang);
  void AddSegment(std::u16string_view text);
  // A segment in UTF-8: TMX markup of an SDLTM source (clean: nothing in it that XML cannot
  // hold), or text of a text source.
  void AddSegmentUtf8(std::string_view text, bool clean = false);
  // The UTF-16 lines gathered so far, cleaned for XML and, for a UTF-8 output, encoded onto
  // Utf8Block.
  void EncodeBlock();
  // Expands a segment of text-TM text onto out, Block (UTF-16) or Utf8Block (UTF-8, from a
  // segment in UTF-8). False when a UTF-8 segment holds what only the UTF-16 path settles
  // (ill-formed bytes, a surrogate's form, a control character, U+FFFE or U+FFFF).
  template <typename Char, typename Out>
  bool ExpandSegment(std::basic_string_view<Char> text, Out& out);
  template <typename Char, typename Out>
  size_t ExpandAmp(std::basic_string_view<Char> text, size_t p, Out& out, bool& ok);
  template <typename Char, typename Out>
  size_t DecodeCharRef(std::basic_string_view<Char> text, size_t p, size_t digits, bool hex, Out& out);
  template <typename Char, typename Out>
  bool ExpandPlaceholder(std::basic_string_view<Char> inner, bool openForm, Out& out);
  // Ends the unit's block: a UTF-16 file takes it at once, a UTF-8 one with the blocks after it.
  void FlushBlock();
  // Writes the UTF-8 blocks of whole units gathered so far.
  void WriteUtf8Units();
  static constexpr size_t kUtf8WriteSize = 64 * 1024;

  WideString FileName;
  WideString Block;       // the lines of the current unit (or of the header and first unit)
  TRawBuffer Utf8Block;   // the block as written to a UTF-8 file, after the units not yet written
  size_t Utf8Units = 0;   // the bytes of Utf8Block that hold whole units
  bool UnitRepaired = false;  // a surrogate without its partner replaced in the unit being written
  // A long segment of clean markup is not copied into Utf8Block: it is written from the unit's
  // own text, at its place (At in Utf8Block), when its unit is written, which is at once.
  struct TDeferred {
    size_t At;
    std::string_view Text;
  };
  TDeferred Deferred[2];
  size_t DeferredCount = 0;
  static constexpr size_t kDeferredSegment = kUtf8WriteSize;
  bool WritesUtf8 = false;  // the output is UTF-8, and Utf8Block gathers the block
  WideString Scratch;
  WideString DateBuf;
  size_t OpenFormFails = 0;  // from here on no "&t=" of the segment has its end
  TTuvLine SourceTuv;
  TTuvLine TargetTuv;
  size_t JoinsAt = 0;        // the output's size right after a placeholder that the next may join
};
