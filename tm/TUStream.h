#pragma once
// A stream of translation units: what the converters read units from and write units into.
#include <cstdint>

class TTU;

// Where a unit stream's Seek counts from. From the end the offset counts backwards, so that
// Seek(1, TSeekOrigin::FromEnd) is the position of the last unit or character.
enum class TSeekOrigin : uint8_t { FromBeginning = 0, FromCurrent = 1, FromEnd = 2 };

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
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // True when segment fields hold text-TM text, whose placeholders and escapes a TMX writer
  // expands; false when they hold TMX inline markup that is written as it stands.
  virtual bool SegmentsAreText() const = 0;
  // Asks for the segments as UTF-8 in TTU's SourceUtf8 and TargetUtf8 (SegmentsUtf8 set) rather
  // than in its fields, and allows the date, user and count of a unit as bytes (TTU's
  // SetFieldBytes); true when the stream does so from now on.
  virtual bool DeliverUtf8Segments(bool /*on*/) { return false; }
  // Whether Write takes a unit whose segments are in UTF-8 (TTU's SegmentsUtf8) as it stands,
  // writing the bytes without turning them into UTF-16 and back; another stream, or this one
  // when it says no, takes them only in the unit's fields.
  virtual bool TakesUtf8Segments() const { return false; }
  // Units read so far that the source delivered with something left out (a warning of its own).
  virtual int64_t WarnedUnits() const { return 0; }
};
