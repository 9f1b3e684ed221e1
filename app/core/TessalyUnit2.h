#pragma once
// Translation-unit streams of the application: a text translation memory read and written
// unit by unit.
#include <cstdint>
#include <memory>
#include <string>

#include "base/MyFileStream.h"
#include "tm/MyTUs.h"
#include "tm/TUStream.h"

// A #0, which would end a line of a text TM for every reader of the file, becomes the escape
// "&'0;" of a character that a field cannot hold, in text from from on. True when text held one.
bool EscapeNuls(std::string& text, size_t from = 0);
bool EscapeNuls(WideString& text, size_t from = 0);

// Adds units to the count of the header of the text TM fileName, in place (as far as its eight
// digits go). False when the file is no text TM or could not be rewritten.
bool RaiseHeaderCount(const WideString& fileName, int64_t units);

class TQMStream : public TTUStream {
public:
  // codeChar is the encoding of a new file (ccNone means UTF-16LE); an existing file's mark decides.
  // mode: fmOpenRead | fmShareDenyWrite for an input, fmOpenReadWrite for an existing output,
  // fmCreate for a new one. Opened() tells whether the file could be opened or created.
  TQMStream(const WideString& fileName, TCodeChar codeChar, uint16_t mode);

  bool Opened() const { return TextStream != nullptr; }
  TTextFileStream* Text() { return TextStream.get(); }

  int64_t Read(TTU& tu) override;
  bool Write(TTU& tu) override;
  int64_t GetSize() override;
  int64_t GetPosition() override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  bool SegmentsAreText() const override { return true; }
  // A UTF-8 file takes UTF-8 segments; a unit that brings them to a file of another encoding
  // has them decoded.
  bool TakesUtf8Segments() const override { return TextStream && TextStream->CodeChar() == ccUtf8; }
  // A UTF-8 file gives its units' segments as they stand in the file.
  bool DeliverUtf8Segments(bool on) override;
  // The lines written with a warning: a lone surrogate, which the file got as U+FFFD ("?" in
  // ANSI), a #0, which it got as its escape "&'0;", or one that the unit brought (TTU's Warned).
  int RepairedLines() const { return Repaired; }
  // Units read with a warning: a date that is no date, left out.
  int64_t WarnedUnits() const override { return Warned; }

private:
  bool RewriteHeader(TTU& tu);

  std::unique_ptr<TTextFileStream> TextStream;
  std::string Bytes;  // the line in UTF-8, with its line end
  bool Utf8Segments = false;  // Read leaves the segments in UTF-8
  int Repaired = 0;
  int64_t Warned = 0;
};
