// The TMX reader on documents made to hurt it: inline elements nested a hundred thousand deep,
// more codes in one segment than placeholders have letters, the document type's own entities in
// attribute values, a run of text longer than the entities may add, and elements that never
// close. Each must convert soundly or be refused with a message that names the file, in work and
// memory in proportion to the document.
#include <pthread.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/TessalyUnit2.h"
#include "platform/core/Utf8.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tm/MyDecodeTMX.h"

using namespace tmfiles;

namespace {

// The sanitizer's allocator keeps memory of its own beside every block: peak memory is then no
// measure of what the converter holds, and its bounds are checked in the plain build only.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

std::vector<TTU> ReadUnits(const std::string& path, TTU* header = nullptr) {
  std::vector<TTU> units;
  TQMStream s(platform::Utf8ToUtf16(path), ccNone, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  tu.IsHeader = true;
  for (; s.Read(tu) > 0; tu.IsHeader = false) {
    if (!tu.IsHeader)
      units.push_back(tu);
    else if (header)
      *header = tu;
  }
  return units;
}

std::string WithDocType(const std::string& doc, const std::string& entities) {
  const size_t at = doc.find("<tmx");
  return doc.substr(0, at) + "<!DOCTYPE tmx [" + entities + "]>\r\n" + doc.substr(at);
}

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

// Runs fn on a thread whose stack is 1 MB: what walks nested elements by recursion overflows it
// long before the depths used here.
void OnSmallStack(const std::function<void()>& fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 1 << 20);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&fn)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

class HostileTmx : public ::testing::Test {
protected:
  std::string Convert(const std::string& tmx) {
    TempDir::Write(dir.File("in.tmx"), tmx);
    return host.Convert(dir.File("in.tmx"), out);
  }
  TempDir dir;
  TRecordingHost host;
  const std::string out = dir.File("out.txt");
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// 100,000 levels of inline elements in one segment, on a 1 MB stack. The unit holds one code
// for the outermost element (or a placeholder per hi start and end); what the reader keeps of
// the elements' contents is as long as their texts together, not as the square of the depth.
struct Nesting {
  std::string name;
  std::string seg;     // after "x"
  size_t units;        // converted
  std::string source;  // of the nested unit, or its first characters and its length
  size_t sourceLength;
};

constexpr size_t kDepth = 100000;

std::vector<Nesting> Nestings() {
  return {
      {"codes", Repeat("<bpt i=\"1\">a", kDepth) + Repeat("</bpt>", kDepth), 2, "x&tA;", 5},
      // The end tags that follow close the innermost codes; the unit never closes.
      {"unclosedCodes", Repeat("<bpt i=\"1\">a", kDepth), 1, "", 0},
      {"subsInACode", "<ph>" + Repeat("<sub>a", kDepth) + Repeat("</sub>", kDepth) + "</ph>", 2, "x&tA;", 5},
      {"highlights", Repeat("<hi>a", kDepth) + Repeat("</hi>", kDepth), 2, "x&tA;a&tA;a", 1 + 9 * kDepth},
      {"codesAndSubs", Repeat("<ph>a<sub>b", kDepth / 2) + Repeat("</sub></ph>", kDepth / 2), 2, "x&tA;", 5},
  };
}

void PrintTo(const Nesting& n, std::ostream* os) { *os << n.name; }

class DeepNesting : public HostileTmx, public ::testing::WithParamInterface<Nesting> {};

TEST_P(DeepNesting, ConvertsOnASmallStackInProportionToTheDepth) {
  const Nesting& n = GetParam();
  TempDir::Write(dir.File("in.tmx"), Tmx(Tu("ok", "gut") + Tu("x" + n.seg, "y")));
  bool converted = false;
  size_t kept = 0;
  std::optional<double> grew;
  OnSmallStack([&] {
    grew = PeakGrowthMB([&] {
      TQMStream target(platform::Utf8ToUtf16(out), ccUtf8, fmCreate);
      TDecodeTMX reader(platform::Utf8ToUtf16(dir.File("in.tmx")));
      converted = reader.Convert(&target, platform::Utf8ToUtf16(out));
      // The contents of the last unit's elements are still there.
      for (int i = 0; i < reader.TagContents.Count(); ++i) kept += reader.TagContents.Items(i).Value.size();
    });
  });
  ASSERT_TRUE(converted);
  EXPECT_LE(kept, 64 * kDepth);
  if (grew && kMemoryMeasured) {
    EXPECT_LT(*grew, 4.0 * kDepth / 1024) << "MB";
  }
  const std::vector<TTU> units = ReadUnits(out);
  ASSERT_EQ(units.size(), n.units);
  EXPECT_EQ(U8(units[0].Field(tfSource)), "ok");
  if (n.units == 2) {
    const std::string source = U8(units[1].Field(tfSource));
    EXPECT_EQ(source.substr(0, n.source.size()), n.source);
    EXPECT_EQ(source.size(), n.sourceLength);
    EXPECT_EQ(U8(units[1].Field(tfTarget)), "y");
  }
}

INSTANTIATE_TEST_SUITE_P(HundredThousandLevels, DeepNesting, ::testing::ValuesIn(Nestings()),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// A segment with more distinct codes than placeholder letters: the codes past the letters are
// written in the open form, the line stays one line, and the unit reads back whole, the target's
// codes where the source's are.
TEST_F(HostileTmx, MoreCodesThanPlaceholderLettersKeepTheLineWhole) {
  constexpr int kCodes = 66000;
  std::string seg;
  for (int i = 0; i < kCodes; ++i) seg += "<ph>c" + std::to_string(i) + "</ph>";
  ASSERT_EQ(Convert(Tmx(Tu("ok", "gut") + Tu("s" + seg, "t" + seg) + Tu("last", "letzte"))), "");
  EXPECT_EQ(host.Result, "3 TUs");
  EXPECT_EQ(SplitLines(TempDir::Read(out)).size(), 4u);
  const std::vector<TTU> units = ReadUnits(out);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(U8(units[2].Field(tfSource)), "last");
  const WideString source = units[1].Field(tfSource), target = units[1].Field(tfTarget);
  EXPECT_EQ(target.substr(1), source.substr(1));
  for (const WideChar c : source) ASSERT_TRUE(c >= 0x20 && (c < 0xD800 || c > 0xDFFF)) << int(c);
  EXPECT_EQ(CountOf(U8(source), "&t="), static_cast<size_t>(kCodes - TReaderHTML::kPlaceholderLetters));
  const std::string last = "&t=c" + std::to_string(kCodes - 1) + ";";
  EXPECT_EQ(U8(source).substr(U8(source).size() - last.size()), last);
}

// ---------------------------------------------------------------------------------------------
// The document type's own entities stand for their text in attribute values as in text, at any
// depth, beside the references of XML; an attribute of the inline element keeps its text.
struct AttrEntity {
  std::string name;
  std::string tuAttrs;
  std::string date, user, pair;
  std::string source = "a&tA;";
};

void PrintTo(const AttrEntity& e, std::ostream* os) { *os << e.name; }

class EntitiesInAttributes : public HostileTmx, public ::testing::WithParamInterface<AttrEntity> {};

TEST_P(EntitiesInAttributes, StandForTheirText) {
  const AttrEntity& e = GetParam();
  const std::string entities =
      "<!ENTITY d \"20200102T030405Z\"><!ENTITY co \"Company\"><!ENTITY deep \"&co; &amp; &inner;\">"
      "<!ENTITY inner \"Sons\"><!ENTITY fr \"fr-FR\">";
  const std::string unit = "<tu" + e.tuAttrs + "><tuv xml:lang=\"en-GB\"><seg>a<ph x=\"&co;\"/></seg></tuv>" +
                           "<tuv xml:lang=\"&fr;\"><seg>b<ph x=\"Company\"/></seg></tuv></tu>";
  ASSERT_EQ(Convert(WithDocType(Tmx(unit), entities)), "");
  const std::vector<TTU> units = ReadUnits(out);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(U8(units[0].Field(tfDate)), e.date);
  EXPECT_EQ(U8(units[0].Field(tfUserId)), e.user);
  EXPECT_EQ(U8(units[0].LangPair.Source) + ">" + U8(units[0].LangPair.Target), e.pair);
  EXPECT_EQ(U8(units[0].Field(tfSource)), e.source);
  EXPECT_EQ(U8(units[0].Field(tfTarget)), "b&tA;");  // the same element content, the same code
}

INSTANTIATE_TEST_SUITE_P(
    DocumentType, EntitiesInAttributes,
    ::testing::Values(AttrEntity{"dateAndId", " creationdate=\"&d;\" creationid=\"&co;\"", "20200102~030405", "Company",
                                 "en-GB>fr-FR"},
                      AttrEntity{"nestedBesideXmlOnes", " creationdate=\"20250102T030405Z\" creationid='&deep;&#33;'", "20250102~030405", "Company & Sons!",
                                 "en-GB>fr-FR"},
                      AttrEntity{"unknownStaysText", " creationid=\"&nope;\" creationdate=\"20250102T030405Z\"", "20250102~030405", "&nope;",
                                 "en-GB>fr-FR"}),
    [](const auto& info) { return info.param.name; });

// An entity that grows without bound is refused in an attribute value as in text.
TEST_F(HostileTmx, EntitiesInAttributesHaveTheLimitsOfText) {
  std::string decl = "<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) decl += "<!ENTITY l" + std::to_string(i) + " \"" + Repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
  EXPECT_EQ(Convert(WithDocType(Tmx(Tu("a", "b", " creationid=\"&l9;\"")), decl)),
            "Cannot convert file \"" + dir.File("in.tmx") +
                "\". The entities that its document type declares nest too deeply or expand to too much text.");
  EXPECT_FALSE(std::filesystem::exists(out));
}

// ---------------------------------------------------------------------------------------------
// A run of text longer than what entities may add is valid: it converts whole, references and
// entities decoded, in memory a few times its size.
TEST_F(HostileTmx, ARunLongerThanEntitiesMayAddConverts) {
  constexpr size_t kRun = (size_t{1} << 24) + 4096;
  const std::string seg = "a&amp;b " + std::string(kRun, 'x') + " &co;";
  std::optional<double> grew = PeakGrowthMB([&] {
    EXPECT_EQ(Convert(WithDocType(Tmx(Tu(seg, "c")), "<!ENTITY co \"Company\">")), "");
  });
  const std::vector<TTU> units = ReadUnits(out);
  ASSERT_EQ(units.size(), 1u);
  const WideString source = units[0].Field(tfSource);
  EXPECT_EQ(source.size(), 4 + kRun + 8);
  EXPECT_EQ(U8(source.substr(0, 4)), "a&b ");
  EXPECT_EQ(U8(source.substr(source.size() - 8)), " Company");
  if (grew && kMemoryMeasured) {
    EXPECT_LT(*grew, 16.0 * kRun / (1 << 20)) << "MB";
  }
}

// ---------------------------------------------------------------------------------------------
// Elements that never close are kept open up to a limit; one more is refused for the file, in
// memory that stays in proportion to the limit, not to the document: plain elements after the
// units, and highlights in a segment.
struct Unclosed {
  std::string name;
  std::string around;  // opens `depth` elements, inside tmx and body
  size_t depth;
  std::string element;
};

void PrintTo(const Unclosed& u, std::ostream* os) { *os << u.name; }

class OpenElements : public HostileTmx, public ::testing::WithParamInterface<Unclosed> {};

TEST_P(OpenElements, AreBounded) {
  const Unclosed& u = GetParam();
  constexpr uint32_t kLimit = TDecodeTMX::kMaxOpenElements;
  const auto doc = [&](size_t open) { return Tmx(Tu("ok", "gut") + u.around + Repeat(u.element, open - 2 - u.depth)); };
  ASSERT_EQ(Convert(doc(kLimit)), "");
  EXPECT_EQ(host.Result, "1 TUs");

  std::filesystem::remove(out);
  std::string message;
  std::optional<double> grew = PeakGrowthMB([&] { message = Convert(doc(size_t{kLimit} * 8)); });
  EXPECT_EQ(message, "Cannot convert file \"" + dir.File("in.tmx") + "\". Its elements nest deeper than 131072 levels.");
  EXPECT_FALSE(std::filesystem::exists(out));
  if (grew && kMemoryMeasured) {
    EXPECT_LT(*grew, 2.0 * kLimit / 1024) << "MB";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limit, OpenElements,
    ::testing::Values(Unclosed{"plain", "", 0, "<a>"},
                      Unclosed{"highlights", "<tu><tuv xml:lang=\"en-GB\"><seg>", 3, "<hi>a"}),
    [](const auto& info) { return info.param.name; });
