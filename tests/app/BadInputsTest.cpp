// The program run on damaged, mislabelled and huge inputs. Each run must end by itself within a
// generous bound, without a crash, with either a clear error that names the file (exit status
// 1) or a sound conversion with its result line, and the input's bytes must be the same
// afterwards. Small inputs are committed in tests/app/badinputs/; the big and binary ones are
// made here.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmxLint.h"

namespace fs = std::filesystem;

namespace {

const std::string kExe = MIRELCON_EXE;
const std::string kBadInputs = MIRELCON_SOURCE_DIR "/tests/app/badinputs";
constexpr int kBoundSeconds = 60;

using BoundedRun = ProgramRun;

// Runs the program without a display and kills it when it has not ended within the bound.
// asNobody: the program runs as user and group 65534 through setpriv (the caller checks that
// this is possible), so that file permissions hold even when the tests run as root.
BoundedRun RunBounded(const std::vector<std::string>& args, bool asNobody = false) {
  RunOptions options;
  options.boundSeconds = kBoundSeconds;
  if (asNobody) options.prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
  return RunProgram(kExe, args, options);
}

// What a run on one input must give.
struct Expect {
  enum Kind { Converts, Fails, Says } kind;
  long units = -1;  // Converts: the count of the result line (the CSV import shows none)
  std::string text;  // Says: what standard error holds
  int status = 0;    // Says: the exit status
};
Expect Converts(long units = -1) { return {Expect::Converts, units, "", 0}; }
Expect Fails() { return {Expect::Fails, -1, "", 1}; }
Expect Says(const std::string& text, int status) { return {Expect::Says, -1, text, status}; }

std::string OutputOf(const std::string& input) {
  const fs::path p(input);
  const std::string ext = p.extension().string();
  const std::string out = ext == ".txt" ? ".tmx" : ext == ".tmx" ? ".txt" : ext == ".sdltm" ? ".tmx"
                        : ext == ".sdltb" ? ".csv" : ext == ".csv" ? ".txt" : ".tmx";
  return (p.parent_path() / p.stem()).string() + out;
}

// Runs the program on input (alone in its folder, so that no output meets another input) and
// checks the outcome; returns the run for further checks.
BoundedRun Check(const std::string& input, const Expect& expect, bool asNobody = false) {
  SCOPED_TRACE(input);
  const std::string before = TempDir::Read(input);
  struct stat st0 {};
  stat(input.c_str(), &st0);
  BoundedRun run = RunBounded({input}, asNobody);
  EXPECT_FALSE(run.hung) << "no end within " << kBoundSeconds << " s";
  EXPECT_LT(run.status, 128) << "killed by signal " << run.status - 128 << "\n" << run.err;
  EXPECT_EQ(TempDir::Read(input), before) << "the input was changed";
  struct stat st1 {};
  stat(input.c_str(), &st1);
  EXPECT_EQ(st0.st_mtim.tv_sec, st1.st_mtim.tv_sec);
  EXPECT_EQ(st0.st_mtim.tv_nsec, st1.st_mtim.tv_nsec);
  switch (expect.kind) {
    case Expect::Converts: {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.err, "");
      const std::string output = OutputOf(input);
      EXPECT_TRUE(fs::is_regular_file(output)) << output;
      if (fs::path(input).extension() == ".csv") {
        EXPECT_EQ(run.out, "");  // the CSV import reports no count
      } else {
        const char* what = fs::path(input).extension() == ".sdltb" ? " entries\n" : " TUs\n";
        EXPECT_EQ(run.out, output + ": " + std::to_string(expect.units) + what);
      }
      break;
    }
    case Expect::Fails:
      EXPECT_EQ(run.status, 1) << run.out << run.err;
      EXPECT_NE(run.err.find(input), std::string::npos) << "the error names no file: " << run.err;
      EXPECT_EQ(run.out, "");
      break;
    case Expect::Says:
      EXPECT_EQ(run.status, expect.status) << run.err;
      EXPECT_NE(run.err.find(expect.text), std::string::npos) << run.err;
      break;
  }
  return run;
}

// A copy of a committed bad input alone in a folder of dir.
std::string Place(const TempDir& dir, const std::string& name) {
  const fs::path folder = dir.Path() / (name + ".d");
  fs::create_directories(folder);
  fs::copy_file(fs::path(kBadInputs) / name, folder / name);
  return (folder / name).string();
}

// A new input alone in a folder of dir.
std::string Make(const TempDir& dir, const std::string& name, const std::string& bytes) {
  const fs::path folder = dir.Path() / (name + ".d");
  fs::create_directories(folder);
  TempDir::Write((folder / name).string(), bytes);
  return (folder / name).string();
}

std::string Utf16Le(const std::u16string& s) {
  std::string b;
  for (char16_t c : s) {
    b.push_back(static_cast<char>(c & 0xFF));
    b.push_back(static_cast<char>(c >> 8));
  }
  return b;
}

const std::string kHeader8 =
    "%20261201~090000\t%User ID,T\t%TU=00000002\t%EN-GB\t%Quillmar TM v.5.53/00\t%DE-DE\t%---79532885\r\n";
const std::u16string kHeader16 =
    u"%20261201~090000\t%User ID,T\t%TU=00000002\t%EN-GB\t%Quillmar TM v.5.53/00\t%DE-DE\t%---79532885\r\n";

std::string Unit8(const std::string& source, const std::string& target) {
  return "20261201~090000\tANA\t1\ten-GB\t" + source + "\tde-DE\t" + target + "\r\n";
}
std::u16string Unit16(const std::u16string& source, const std::u16string& target) {
  return u"20261201~090000\tANA\t1\ten-GB\t" + source + u"\tde-DE\t" + target + u"\r\n";
}

const std::string kTmxStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tmx version=\"1.4\">\n"
    "<header srclang=\"en-GB\" creationdate=\"20261201T090000Z\" creationid=\"T\" segtype=\"sentence\" "
    "datatype=\"plaintext\" adminlang=\"en-GB\" o-tmf=\"x\" creationtool=\"x\" creationtoolversion=\"1\"/>\n<body>\n";
const std::string kTmxEnd = "</body>\n</tmx>\n";

std::string TmxUnit(const std::string& source, const std::string& target) {
  return "<tu><tuv xml:lang=\"en-GB\"><seg>" + source + "</seg></tuv><tuv xml:lang=\"de-DE\"><seg>" + target +
         "</seg></tuv></tu>\n";
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// SQLite through the library the program itself loads, to write test databases.
class TSqlite {
public:
  TSqlite() {
    lib_ = dlopen("libsqlite3.so.0", RTLD_NOW);
    if (!lib_) return;
    open_ = reinterpret_cast<int (*)(const char*, void**)>(dlsym(lib_, "sqlite3_open"));
    exec_ = reinterpret_cast<int (*)(void*, const char*, void*, void*, char**)>(dlsym(lib_, "sqlite3_exec"));
    close_ = reinterpret_cast<int (*)(void*)>(dlsym(lib_, "sqlite3_close"));
  }
  ~TSqlite() {
    if (lib_) dlclose(lib_);
  }
  bool Available() const { return open_ && exec_ && close_; }
  // Runs the statements on a new database file; false on any error.
  bool Make(const std::string& path, const std::string& sql) {
    void* db = nullptr;
    if (open_(path.c_str(), &db) != 0) return false;
    const bool ok = exec_(db, sql.c_str(), nullptr, nullptr, nullptr) == 0;
    close_(db);
    return ok;
  }

private:
  void* lib_ = nullptr;
  int (*open_)(const char*, void**) = nullptr;
  int (*exec_)(void*, const char*, void*, void*, char**) = nullptr;
  int (*close_)(void*) = nullptr;
};

std::string SegmentXml(const std::string& text, const std::string& culture) {
  return "<Segment><Elements><Text><Value>" + text + "</Value></Text></Elements><CultureName>" + culture +
         "</CultureName></Segment>";
}

// An SDLTM-like database: its translation units in pages of 1024 bytes.
std::string SdltmSql(int rows) {
  std::string sql =
      "PRAGMA page_size=1024;"
      "CREATE TABLE translation_units(id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, source_segment TEXT, "
      "target_segment TEXT, creation_date DATETIME NOT NULL, creation_user TEXT NOT NULL, usage_counter INT);"
      "BEGIN;";
  for (int i = 0; i < rows; ++i) {
    const std::string n = std::to_string(i);
    sql += "INSERT INTO translation_units(source_segment, target_segment, creation_date, creation_user, usage_counter) "
           "VALUES('" + SegmentXml("Source sentence number " + n + " with some words in it", "en-US") + "', '" +
           SegmentXml("Zielsatz Nummer " + n + " mit einigen Woertern darin", "de-DE") + "', '2026-12-01 09:00:00', 'ANA', 1);";
  }
  return sql + "COMMIT;";
}

bool CanDropPrivileges() { return geteuid() != 0 || access("/usr/bin/setpriv", X_OK) == 0; }

}  // namespace

// The committed inputs: empty files under every extension, text files cut short, counts that
// no integer holds, a file without the mark of its encoding, files that are not what their
// extension says.
TEST(BadInputs, CommittedFiles) {
  TempDir dir;
  Check(Place(dir, "empty.txt"), Converts(0));
  Check(Place(dir, "empty.tmx"), Converts(0));
  Check(Place(dir, "empty.csv"), Converts());
  Check(Place(dir, "empty.sdltb"), Fails());
  Check(Place(dir, "truncated.txt"), Converts(2));
  Check(Place(dir, "truncated.tmx"), Converts(2));
  Check(Place(dir, "truncated.csv"), Converts());
  Check(Place(dir, "huge-count.txt"), Converts(1));
  Check(Place(dir, "huge-count.tmx"), Converts(2));
  Check(Place(dir, "missing-bom-utf8.txt"), Converts(1));
  Check(Place(dir, "not-jet.sdltb"), Fails());
}

TEST(BadInputs, CommittedSdltmFiles) {
  TempDir dir;
  Check(Place(dir, "empty.sdltm"), Fails());
  Check(Place(dir, "not-a-database.sdltm"), Fails());
}

// Random bytes under every extension, and real files of the binary formats cut in half.
TEST(BadInputs, BinaryAndTruncatedFiles) {
  TempDir dir;
  const std::string noise = RandomBytes(64 * 1024, 9);
  Check(Make(dir, "binary.txt", noise), Converts(0));
  Check(Make(dir, "binary.tmx", noise), Converts(0));
  Check(Make(dir, "binary.csv", noise), Converts());
  Check(Make(dir, "binary.sdltm", noise), Fails());
  Check(Make(dir, "binary.sdltb", noise), Fails());
  Check(Make(dir, "binary.sdlxliff", noise), Says("Not yet implemented", 1));

  const std::string full = dir.File("full.sdltb");
  ASSERT_EQ(RunProgram(MAKE_TERMBASE, {"--entries", "200", full}).status, 0);
  const std::string termbase = TempDir::Read(full);
  Check(Make(dir, "truncated.sdltb", termbase.substr(0, termbase.size() / 2)), Fails());

  TSqlite sqlite;
  if (!sqlite.Available()) GTEST_SKIP() << "libsqlite3.so.0 is not installed: no SDLTM databases to cut";
  const std::string db = dir.File("full.sdltm");
  ASSERT_TRUE(sqlite.Make(db, SdltmSql(300)));
  const std::string bytes = TempDir::Read(db);
  Check(Make(dir, "truncated.sdltm", bytes.substr(0, bytes.size() / 2)), Fails());
}

// Wrong and missing byte-order marks, UTF-16 of odd length and with lone surrogates, invalid
// UTF-8: the text is read as well as it can be and the TMX written is valid.
TEST(BadInputs, BrokenEncodings) {
  TempDir dir;
  const std::u16string tm16 = kHeader16 + Unit16(u"One", u"Eins") + Unit16(u"Two", u"Zwei");
  // UTF-16LE text behind the big-endian mark, UTF-8 text behind the little-endian one, and
  // UTF-16LE without any mark (read as ANSI, its #0 bytes and all).
  Check(Make(dir, "le-text-be-mark.txt", "\xFE\xFF" + Utf16Le(tm16)), Converts(0));
  Check(Make(dir, "utf8-text-le-mark.txt", "\xFF\xFE" + kHeader8 + Unit8("One", "Eins")), Converts(0));
  Check(Make(dir, "utf16-no-mark.txt", Utf16Le(tm16)), Converts(0));
  Check(Make(dir, "utf16-no-mark.tmx", Utf16Le(u"<?xml version=\"1.0\"?><tmx><body></body></tmx>")), Converts(0));

  // An odd last byte: the units before it are read, and the run ends.
  Check(Make(dir, "odd-length.txt", "\xFF\xFE" + Utf16Le(tm16) + "x"), Converts(2));
  Check(Make(dir, "odd-length.tmx",
             "\xFF\xFE" + Utf16Le(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<tmx version=\"1.4\"><header srclang=\"en-GB\"/>"
                                  u"<body><tu><tuv xml:lang=\"en-GB\"><seg>One</seg></tuv><tuv xml:lang=\"de-DE\"><seg>"
                                  u"Eins</seg></tuv></tu></body></tmx>\n") + "x"),
        Converts(1));

  Check(Make(dir, "lone-surrogates.txt",
             "\xFF\xFE" + Utf16Le(kHeader16 + Unit16(u"a\xD800" u"b", u"\xDC00" u"c") + Unit16(u"d\xDBFF", u"\xDFFF\xD800"))),
        Converts(2));
  EXPECT_VALID_TMX(OutputOf(dir.File("lone-surrogates.txt.d/lone-surrogates.txt")));
}

TEST(BadInputs, InvalidUtf8) {
  TempDir dir;
  // Overlong forms, bytes that never start a character, continuation bytes alone, surrogates
  // encoded in UTF-8, and a sequence cut by the end of the file.
  const std::string bad = "a\xC0\x80" "b\xFF\xFE" "c\x80\x80" "d\xED\xA0\x80" "e\xF4\x90\x80\x80" "f";
  Check(Make(dir, "invalid.tmx", kTmxStart + TmxUnit(bad, bad) + TmxUnit("x", "y") + kTmxEnd + "\xE2\x82"),
        Converts(2));
  // A #0 byte costs nothing but itself: the units after it are there.
  Check(Make(dir, "nul-byte.tmx", kTmxStart + TmxUnit(std::string("x\0y", 3), "z") + TmxUnit("Two", "Zwei") + kTmxEnd),
        Converts(2));
  Check(Make(dir, "invalid.txt", "\xEF\xBB\xBF" + kHeader8 + Unit8(bad, bad) + Unit8("x", "y\xE2\x82")),
        Converts(2));
  EXPECT_VALID_TMX(OutputOf(dir.File("invalid.txt.d/invalid.txt")));
}

// A line of 10 MB, and elements nested 100,000 deep.
TEST(BadInputs, HugeLinesAndDeepNesting) {
  TempDir dir;
  const std::string big(10 * 1024 * 1024, 'a');
  Check(Make(dir, "long-line.txt", kHeader8 + Unit8(big, "kurz")), Converts(1));
  Check(Make(dir, "one-line.txt", big), Converts(0));
  Check(Make(dir, "long-line.tmx", kTmxStart + TmxUnit(big, "kurz") + kTmxEnd), Converts(1));

  std::string open, close;
  for (int i = 0; i < 100000; ++i) {
    open += "<hi>";
    close += "</hi>";
  }
  Check(Make(dir, "deep-elements.tmx", kTmxStart + open + close + TmxUnit("after", "danach") + kTmxEnd), Converts(1));
  Check(Make(dir, "deep-inline.tmx", kTmxStart + TmxUnit(open + "x" + close, "y") + kTmxEnd), Converts(1));
  Check(Make(dir, "deep-unclosed.tmx", kTmxStart + TmxUnit("a", "b") + open), Converts(1));
}

// A termbase whose tables declare counts far beyond what the file holds: a row count (the rows
// are read until the pages end) and a column count (no column list that long is there).
TEST(BadInputs, TermbaseWithHugeDeclaredCounts) {
  TempDir dir;
  const std::string full = dir.File("full.sdltb");
  ASSERT_EQ(RunProgram(MAKE_TERMBASE, {"--entries", "20", full}).status, 0);
  const std::string bytes = TempDir::Read(full);
  constexpr size_t kPage = 4096;
  // Every table definition page (type 2) but the system catalog's (page 2), one field patched.
  auto patched = [&](size_t offset, const std::string& value) {
    std::string b = bytes;
    for (size_t page = 3; (page + 1) * kPage <= b.size(); ++page)
      if (b[page * kPage] == 2) b.replace(page * kPage + offset, value.size(), value);
    return b;
  };
  Check(Make(dir, "huge-rows.sdltb", patched(16, "\xFF\xFF\xFF\x7F")), Converts(20));
  Check(Make(dir, "huge-columns.sdltb", patched(45, "\xFF\xFF")), Fails());
  EXPECT_FALSE(fs::exists(dir.Path() / "huge-columns.sdltb.d/huge-columns.csv"));
}

// SDLTM databases that lack their table or have a damaged page.
TEST(BadInputs, BrokenDatabases) {
  TSqlite sqlite;
  if (!sqlite.Available()) GTEST_SKIP() << "libsqlite3.so.0 is not installed: no SDLTM databases to write";
  TempDir dir;
  const std::string noUnits = Make(dir, "no-units.sdltm", "");
  fs::remove(noUnits);
  ASSERT_TRUE(sqlite.Make(noUnits, "CREATE TABLE translation_memories(id INTEGER PRIMARY KEY, name TEXT);"));
  Check(noUnits, Fails());

  // Every page of the table's second half overwritten: the read fails part-way and says so.
  const std::string good = dir.File("good.sdltm");
  ASSERT_TRUE(sqlite.Make(good, SdltmSql(300)));
  std::string bytes = TempDir::Read(good);
  ASSERT_GT(bytes.size(), 40u * 1024);
  for (size_t page = bytes.size() / 1024 / 2; page + 1 < bytes.size() / 1024; page += 3)
    for (size_t i = 0; i < 1024; ++i) bytes[page * 1024 + i] = static_cast<char>(0xA5 ^ i);
  Check(Make(dir, "corrupt-page.sdltm", bytes), Fails());
  // The header of the first page damaged: no database at all.
  std::string header = TempDir::Read(good);
  header.replace(16, 8, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
  Check(Make(dir, "corrupt-header.sdltm", header), Fails());
}

// A folder named like an input, an input that cannot be read, an output folder that cannot be
// written to.
TEST(BadInputs, FoldersAndPermissions) {
  TempDir dir;
  fs::create_directories(dir.Path() / "folder.txt");
  // A folder is taken as a folder whatever its name: this one holds nothing to convert.
  BoundedRun folder = RunBounded({dir.File("folder.txt")});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err, "No file to convert matches \"" + dir.File("folder.txt/") + "\".\n");
  // In a batch the folder is no input: the file beside it converts.
  TempDir::Write(dir.File("real.txt"), kHeader8 + Unit8("One", "Eins"));
  BoundedRun batch = RunBounded({dir.File("*.txt")});
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(batch.out, dir.File("real.tmx") + ": 1 TUs\n");
  EXPECT_TRUE(fs::is_directory(dir.Path() / "folder.txt"));

  if (!CanDropPrivileges())
    GTEST_SKIP() << "running as root without setpriv: file permissions cannot be put to the test";
  // The folders are open to the unprivileged user that runs the program.
  fs::permissions(dir.Path(), fs::perms::all);
  const std::string unreadable = Make(dir, "unreadable.txt", kHeader8 + Unit8("One", "Eins"));
  fs::permissions(fs::path(unreadable).parent_path(), fs::perms::all);
  fs::permissions(unreadable, fs::perms::none);
  Check(unreadable, Fails(), geteuid() == 0);
  EXPECT_FALSE(fs::exists(OutputOf(unreadable)));

  const std::string input = Make(dir, "in.txt", kHeader8 + Unit8("One", "Eins"));
  fs::permissions(fs::path(input).parent_path(), fs::perms::all);
  fs::permissions(input, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const fs::path locked = dir.Path() / "locked";
  fs::create_directories(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const std::string before = TempDir::Read(input);
  BoundedRun run = RunBounded({input, locked.string()}, geteuid() == 0);
  EXPECT_FALSE(run.hung);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("Cannot create file \"" + (locked / "in.tmx").string() + "\""), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(TempDir::Read(input), before);
  EXPECT_FALSE(fs::exists(locked / "in.tmx"));
  fs::permissions(locked, fs::perms::owner_all);
}
