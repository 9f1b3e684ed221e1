#pragma once
// Units parsed from lines held in memory; like the text-TM stream it starts over at the top when
// asked for a header. A reader that keeps reading past a bound (one that keeps rewinding would
// never end) gets no more units and Overrun is set.
#include <vector>

#include "tm/MyTUs.h"
#include "tm/TUStream.h"

class TLineStream : public TTUStream {
public:
  TLineStream(std::vector<WideString> lines, bool text, size_t maxReads = 0)
      : Lines(std::move(lines)), Text(text), MaxReads(maxReads ? maxReads : 4 * Lines.size() + 10) {}
  int64_t Read(TTU& tu) override {
    if (++Reads > MaxReads) {
      Overrun = true;
      return 0;
    }
    if (tu.IsHeader) Pos = 0;
    if (Pos >= static_cast<int64_t>(Lines.size())) return 0;
    tu.Parse(Lines[static_cast<size_t>(Pos++)]);
    return Pos;
  }
  bool Write(TTU&) override { return false; }
  int64_t GetSize() override { return static_cast<int64_t>(Lines.size()); }
  int64_t GetPosition() override { return Pos; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    Pos = origin == TSeekOrigin::FromBeginning ? offset
          : origin == TSeekOrigin::FromCurrent ? Pos + offset
                                               : GetSize() - offset;
    if (Pos < 0) Pos = 0;
    return Pos;
  }
  bool SegmentsAreText() const override { return Text; }

  std::vector<WideString> Lines;
  bool Text;
  size_t MaxReads;
  int64_t Pos = 0;
  size_t Reads = 0;
  bool Overrun = false;
};
