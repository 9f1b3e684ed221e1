// What the termbase tests, which read the writer's files back through libmdb, do not show: how
// mdbtools see the files (versions, catalog, column types), the stored form of each text and
// memo, reproducible bytes, what the writer refuses, and make_termbase's own command line.
#include "tools/jet4/Jet4Writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

extern char** environ;

using jet4::ColumnType;
using jet4::Jet4Writer;
using jet4::Value;

namespace {

struct Output {
  int status = -1;
  std::string out, err;
};

// Runs a program found on PATH, without a shell, its output collected in files of `dir`.
Output Spawn(const TempDir& dir, std::vector<std::string> argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, dir.File("run.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, dir.File("run.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  Output o;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    o = {WIFEXITED(status) ? WEXITSTATUS(status) : -1, TempDir::Read(dir.File("run.out")), TempDir::Read(dir.File("run.err"))};
  }
  posix_spawn_file_actions_destroy(&actions);
  return o;
}

std::string U8(const std::u16string& s) { return platform::Utf16ToUtf8(s); }

std::string Export(const TempDir& dir, const std::string& file, const std::string& table) {
  return Spawn(dir, {"mdb-export", "-H", "-Q", "-d", "\t", "-0", "<NULL>", file, table}).out;
}

}  // namespace

// The values themselves the termbase tests read back through libmdb.
TEST(Jet4Writer, MdbToolsSeeTheCatalogAndTheColumnTypes) {
  TempDir dir;
  Jet4Writer db;
  const size_t concepts = db.AddTable(u"mtConcepts", {{u"conceptid", ColumnType::LongInteger},
                                                      {u"text", ColumnType::Memo},
                                                      {u"note", ColumnType::Text, 255},
                                                      {u"plain", ColumnType::Text, 20, false}});
  db.AddRow(concepts, {-2147483647 - 1, std::u16string(700, u'\u6F22'), u"caf\u00E9", Value()});
  db.AddTable(u"mtIndexes", {{u"id", ColumnType::LongInteger}, {u"name", ColumnType::Text, 50}});
  const std::string file = dir.File("t.sdltb");
  db.Save(file);
  const Output version = Spawn(dir, {"mdb-ver", file});
  if (version.status == -1) GTEST_SKIP() << "mdbtools are not on PATH: install the mdbtools package";
  EXPECT_EQ(version.out, "JET4\n");
  EXPECT_EQ(Spawn(dir, {"mdb-tables", "-1", file}).out, "mtConcepts\nmtIndexes\n");
  EXPECT_EQ(Spawn(dir, {"mdb-tables", "-1", "-S", file}).out, "MSysObjects\nmtConcepts\nmtIndexes\n");
  const Output schema = Spawn(dir, {"mdb-schema", file});
  EXPECT_EQ(schema.err, "");
  for (const char* column : {"[conceptid]\t\t\tLong Integer", "[text]\t\t\tMemo/Hyperlink", "[note]\t\t\tText (255)",
                             "[plain]\t\t\tText (20)", "[name]\t\t\tText (50)"})
    EXPECT_NE(schema.out.find(column), std::string::npos) << column << "\n" << schema.out;
  EXPECT_EQ(Export(dir, file, "mtConcepts"), "-2147483648\t" + U8(std::u16string(700, u'\u6F22')) + "\tcaf\xC3\xA9\t<NULL>\n");
}

// Compressed where allowed, no character has a zero low byte, there is no surrogate and the
// result is shorter; a text that starts with U+FEFF must be compressed or it reads as the marker.
TEST(Jet4Writer, StoredFormOfTexts) {
  using Bytes = std::vector<uint8_t>;
  const struct {
    std::u16string text;
    bool compress;
    Bytes stored;
  } cases[] = {
      {u"caf\u00E9", true, {0xFF, 0xFE, 'c', 'a', 'f', 0xE9}},
      {u"caf\u00E9", false, {'c', 0, 'a', 0, 'f', 0, 0xE9, 0}},
      {u"", true, {}},
      {u"\u0414\u043E\u043C", true, {0x14, 0x04, 0x3E, 0x04, 0x3C, 0x04}},  // compression would not be shorter
      {u"\u0100", true, {0x00, 0x01}},                                       // a zero low byte
      {u"\U00029E3D", true, {0x67, 0xD8, 0x3D, 0xDE}},                        // a surrogate pair
      {u"ab \u0414\u0414\u0414\u0414 cd", true, {0xFF, 0xFE, 'a', 'b', ' ', 0, 0x14, 0x04, 0x14, 0x04, 0x14, 0x04,
                                                 0x14, 0x04, 0, ' ', 'c', 'd'}},  // switching twice
      {u"\uFEFFmark", true, {0xFF, 0xFE, 0, 0xFF, 0xFE, 0, 'm', 'a', 'r', 'k'}},
  };
  for (const auto& c : cases) EXPECT_EQ(jet4::EncodeText(c.text, c.compress), c.stored) << U8(c.text);
  EXPECT_THROW(jet4::EncodeText(u"\uFEFF\u0100", true), std::invalid_argument);
  EXPECT_THROW(jet4::EncodeText(u"\uFEFFmark", false), std::invalid_argument);
}

// A memo stays in the row while short (its 12-byte header flagged 0x80, the text right after
// it), goes to one long-value record (0x40) up to a page's row, and beyond to a chain (0x00).
// Memos of more than 1,024 characters are never compressed.
TEST(Jet4Writer, MemosTakeTheirPlaceByLength) {
  const struct {
    std::u16string text;
    uint32_t storedLength;
    uint8_t flags;
  } cases[] = {
      {u"short memo", 12, 0x80}, {std::u16string(300, u'\u6F22'), 600, 0x40},
      {std::u16string(1500, u'a'), 3000, 0x40}, {std::u16string(20000, u'\u0434'), 40000, 0x00}};
  for (const auto& c : cases) {
    Jet4Writer db;
    db.AddRow(db.AddTable(u"T", {{u"m", ColumnType::Memo}}), {c.text});
    const std::vector<uint8_t> image = db.Image();
    std::vector<uint8_t> header{static_cast<uint8_t>(c.storedLength), static_cast<uint8_t>(c.storedLength >> 8),
                                static_cast<uint8_t>(c.storedLength >> 16), c.flags};
    if (c.flags == 0x80) {
      header.resize(12, 0);
      const std::vector<uint8_t> stored = jet4::EncodeText(c.text, true);
      header.insert(header.end(), stored.begin(), stored.end());
    }
    EXPECT_NE(std::search(image.begin(), image.end(), header.begin(), header.end()), image.end()) << c.storedLength;
  }
}

TEST(Jet4Writer, SameTablesGiveTheSameBytesAndBadOnesAreRefused) {
  auto build = [] {
    Jet4Writer db;
    const size_t t = db.AddTable(u"T", {{u"n", ColumnType::LongInteger}, {u"s", ColumnType::Text, 5}});
    for (int i = 0; i < 300; ++i) db.AddRow(t, {i, i % 3 ? Value(u"x") : Value()});
    return db;
  };
  EXPECT_EQ(build().Image(), build().Image());

  Jet4Writer db = build();
  EXPECT_THROW(db.AddTable(u"t", {{u"x", ColumnType::LongInteger}}), std::invalid_argument);  // names ignore case
  EXPECT_THROW(db.AddTable(u"MSysObjects", {{u"x", ColumnType::LongInteger}}), std::invalid_argument);
  EXPECT_THROW(db.AddTable(u"U", {}), std::invalid_argument);
  EXPECT_THROW(db.AddTable(u"U", {{u"a", ColumnType::Text, 256}}), std::invalid_argument);
  EXPECT_THROW(db.AddTable(u"U", {{u"a", ColumnType::Memo}, {u"A", ColumnType::Memo}}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(0, {1}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(0, {u"1", u"x"}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(0, {1, 2}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(0, {1, u"123456"}), std::invalid_argument);
  EXPECT_THROW(db.AddRow(0, {1, u"\uFEFF\u0100"}), std::invalid_argument);  // neither form can hold it
  EXPECT_THROW(db.AddRow(7, {1, u"x"}), std::invalid_argument);
  EXPECT_NO_THROW(db.AddRow(0, {Value(), u"12345"}));
  TempDir dir;
  EXPECT_THROW(db.Save(dir.File("missing/x.sdltb")), std::runtime_error);
}

TEST(MakeTermbase, ReproducibleFileAndItsCommandLine) {
  TempDir dir;
  const std::string file = dir.File("sample.sdltb"), again = dir.File("again.sdltb");
  ASSERT_EQ(Spawn(dir, {MAKE_TERMBASE, "--entries", "50", "--languages", "German,English,Russian", file}).status, 0);
  ASSERT_EQ(Spawn(dir, {MAKE_TERMBASE, "--entries=50", "--languages=German,English,Russian", again}).status, 0);
  EXPECT_EQ(TempDir::Read(file), TempDir::Read(again));
  if (const Output tables = Spawn(dir, {"mdb-tables", "-1", file}); tables.status != -1) {  // with mdbtools
    EXPECT_EQ(tables.out, "mtConcepts\nI_German\nI_English\nI_Russian\nmtIndexes\n");
    // Titles in the order of the index tables' names compared without case.
    EXPECT_EQ(Export(dir, file, "mtIndexes"), "1\tEnglish\ten-US\n2\tGerman\tde-DE\n3\tRussian\tru-RU\n");
  }
  for (std::vector<std::string> args :
       {std::vector<std::string>{}, {"--entries", "many", file}, {"--entries", "-1", file}, {"--entries"},
        {"--languages", "English,english", file}, {"--languages", "Old English", file},
        {"--languages", "English,,German", file}, {"--colour", file}, {file, file}}) {
    args.insert(args.begin(), MAKE_TERMBASE);
    const Output o = Spawn(dir, args);
    EXPECT_EQ(o.status, 2) << args.size();
    EXPECT_NE(o.err.find("usage: make_termbase"), std::string::npos);
  }
  const Output o = Spawn(dir, {MAKE_TERMBASE, dir.File("missing/x.sdltb")});
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("missing/x.sdltb"), std::string::npos);
}
