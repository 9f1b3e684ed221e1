// The TMX writer fed with arbitrary units: lines of a text TM (any text, any field count, headers
// anywhere or nowhere) from a stream in memory, written in every encoding, with the segments
// taken as text-TM text or as markup of an SDLTM source.
//
// Input: the first byte chooses the source kind (bit 0: markup) and the encoding (the rest, mod 5);
// then lines separated by LF, each byte one character except 0xFF, which takes the next two bytes
// as one UTF-16 unit.
//
// Properties: the conversion succeeds and counts every unit delivered after the header; a text
// source gives well-formed XML in every encoding that declares itself (with libxml2 when the build
// has it), whatever the units hold.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/LineStream.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/fuzz/FuzzXml.h"
#include "tm/MyEncodeTMX.h"
#include "tm/MyTUs.h"
#include "tm/TUStream.h"

namespace {

// What the writer counts: every line that is no header (a first line that is no header is the
// first unit, and the header is made from it).
size_t ExpectedUnits(const std::vector<WideString>& lines) {
  size_t n = 0;
  for (const WideString& line : lines)
    if (!TTU(line).IsHeader) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool markup = data[0] & 1;
  const TCodeChar encoding = static_cast<TCodeChar>((data[0] >> 1) % 5);
  std::vector<WideString> lines = fuzz::Lines(data + 1, size - 1);
  const size_t expected = ExpectedUnits(lines);

  TLineStream source(std::move(lines), !markup);
  const std::string path = fuzz::Path("out.tmx");
  {
    TEncodeTMX writer(&source);
    FUZZ_CHECK(writer.Convert(fuzz::WPath("out.tmx"), encoding));
    FUZZ_CHECK(static_cast<size_t>(writer.UnitCount) == expected);
    FUZZ_CHECK(!source.Overrun);  // a writer that keeps rewinding would never end
  }
#ifdef MIRELCON_FUZZ_LIBXML2
  if (!markup && encoding != ccAnsi) FUZZ_CHECK(fuzz::WellFormedXml(fuzz::ReadFile(path), "out.tmx", nullptr));
#endif
  return 0;
}
