// The TMX reader: a whole conversion from the bytes of a file to a text translation memory,
// into a new output or appended to an existing one, with or without property types asked for.
//
// Input: the first byte chooses the output (bit 0: an existing translation memory of two units)
// and the property types (bit 1); the rest is the TMX file.
//
// Properties: a conversion that succeeds leaves a text TM whose lines after the header are the
// units it held before plus the units counted; one that fails says so, naming a file; the
// input file is never changed.
#include <cstdint>
#include <string>

#include "app/core/Dispatch.h"
#include "app/core/TessalyUnit2.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tm/MyDecodeTMX.h"

namespace {

const char kExisting[] =
    "\xEF\xBB\xBF%20260105~143000\t%User ID,AB\t%TU=00000002\t%EN-US\t%Quillmar TM v.5.53/00\t%FR-FR\t%---79532885"
    "\t\t0123456789\t%" "                                                            .\r\n"
    "20260106~093000\tANA\t1\ten-US\tOne\tfr-FR\tUn\r\n"
    "20260106~093000\tANA\t1\ten-US\tTwo\tfr-FR\tDeux\r\n";

// Lines after the first, the header.
int64_t UnitLines(const std::string& path) {
  TQMStream s(WideString(path.begin(), path.end()), ccNone, fmOpenRead | fmShareDenyWrite);
  FUZZ_CHECK(s.Opened());
  TTextFileStream& t = *s.Text();
  WideString line;
  int64_t lines = 0;
  t.Rewind();
  while (!t.Eof()) {
    t.ReadLine(line);
    ++lines;
  }
  return lines > 0 ? lines - 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool append = data[0] & 1;
  const bool props = data[0] & 2;
  ++data, --size;
  const std::string in = fuzz::Path("in.tmx");
  const std::string out = fuzz::Path("out.txt");
  fuzz::WriteFile(in, data, size);
  std::remove(out.c_str());
  if (append) fuzz::WriteFile(out, reinterpret_cast<const uint8_t*>(kExisting), sizeof kExisting - 1);
  const int64_t before = append ? 2 : 0;

  int64_t units;
  bool ok;
  {
    TQMStream output(fuzz::WPath("out.txt"), append ? ccNone : OutputEncoding, append ? fmOpenReadWrite | fmShareDenyWrite : fmCreate);
    FUZZ_CHECK(output.Opened());
    TDecodeTMX reader(fuzz::WPath("in.tmx"));
    if (props) reader.SetPropTypes(std::vector<WideString>{u"x-Client", u"x-Project", u"Attr3"});
    ok = reader.Convert(&output, fuzz::WPath("out.txt"));
    if (!ok) {
      const WideString& error = reader.ErrorText();
      FUZZ_CHECK(error.find(fuzz::WPath("out.txt")) != WideString::npos || error.find(fuzz::WPath("in.tmx")) != WideString::npos);
    }
    units = reader.UnitCount;
  }
  if (ok && (units > 0 || append)) FUZZ_CHECK(UnitLines(out) == before + units);
  const std::string after = fuzz::ReadFile(in);
  FUZZ_CHECK(after.size() == size && std::char_traits<char>::compare(after.data(), reinterpret_cast<const char*>(data), size) == 0);
  return 0;
}
