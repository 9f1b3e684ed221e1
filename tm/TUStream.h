#pragma once
// A stream of translation units: what the converters read units from and write units into.
#include <cstdint>

class TTU;

class TTUStream {
public:
  virtual ~TTUStream() = default;

  // Fills tu with the next header or unit. When tu.IsHeader is set on entry, reading starts
  // over at the top, where the header stands. Returns the position after the delivered line,
  // 0 when there is none.
  virtual int64_t Read(TTU& tu) = 0;
  // Writes tu; a header replaces the first line in place. False when the file did not take it.
  virtual bool Write(TTU& tu) = 0;
  virtual int64_t GetSize() = 0;
  virtual int64_t GetPosition() = 0;
  // origin 0: from the start, 1: from the current position, 2: back from the end.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  // True when segment fields hold text-TM text, whose placeholders and escapes a TMX writer
  // expands; false when they hold TMX inline markup that is written as it stands.
  virtual bool SegmentsAreText() const = 0;
};
