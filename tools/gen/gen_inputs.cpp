// Writes synthetic inputs of N translation units for the benchmarks:
//
//   gen_inputs tm|tmx|csv|sdltm N SEED PATH
//
//   tm     a text translation memory: UTF-8 with its mark, CR LF, a header line and N unit lines
//          (EN-US > RU-RU, the attribute x-Client in field 7 of every unit)
//   tmx    a TMX 1.4 document in UTF-8 with N units (en-US, ru-RU and, in about one unit in ten,
//          ja-JP), a prop on every unit
//   csv    two TAB-separated columns, UTF-8 with its mark, CR LF: a title line and N lines
//   sdltm  an SQLite translation memory whose table translation_units holds N rows
//
// The same N and SEED always give the same bytes; unit i depends only on SEED and i. About one
// unit in ten has a pair of paired tags, one in ten a standalone tag, one in ten the characters
// & < > and ", each format writing them its own way. Target text is Cyrillic, the third language
// Japanese (with one character outside the Basic Multilingual Plane). Output is written as it is
// made, so memory does not grow with N; the file appears under PATH only when complete.
#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// SplitMix64: small, fast and the same everywhere.
class Rng {
public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  bool OneIn(std::uint32_t n) { return Below(n) == 0; }

private:
  std::uint64_t state_;
};

const std::array<std::string_view, 48> kEnglish = {
    "the",     "printer",  "settings", "window",   "open",     "close",   "select",   "file",
    "before",  "after",    "press",    "button",   "to",       "save",    "your",     "changes",
    "network", "cable",    "is",       "not",      "connected", "check",  "the",      "power",
    "supply",  "and",      "restart",  "device",   "user",     "manual",  "contains", "important",
    "safety",  "notes",    "for",      "cleaning", "remove",   "cover",   "carefully", "warranty",
    "does",    "cover",    "damage",   "caused",   "by",       "misuse",  "of",       "parts"};

const std::array<std::string_view, 48> kRussian = {
    "настройки", "принтера", "окно",      "открыть",   "закрыть",   "выберите",  "файл",     "перед",
    "после",     "нажмите",  "кнопку",    "чтобы",     "сохранить", "ваши",      "изменения", "сетевой",
    "кабель",    "не",       "подключён", "проверьте", "питание",   "и",         "перезапустите", "устройство",
    "пользователь", "руководство", "содержит", "важные", "указания", "по",       "безопасности", "для",
    "очистки",   "снимите",  "крышку",    "осторожно", "гарантия",  "покрывает", "ущерб",    "вызванный",
    "неправильным", "использованием", "деталей", "схема", "сборки",   "ёмкость",   "щётка",    "объём"};

// Japanese runs on without blanks; U+29E3D lies outside the Basic Multilingual Plane.
const std::array<std::string_view, 24> kJapanese = {
    "プリンター", "の", "設定", "画面", "を", "開く", "閉じる", "ファイル",
    "保存",       "して", "ください", "ネットワーク", "ケーブル", "が", "接続", "されて",
    "いません",   "電源", "確認", "再起動", "取扱説明書", "安全", "\U00029E3D", "部品"};

const std::array<std::string_view, 8> kUsers = {"ANNA", "BORIS", "CHEN", "DIANA", "EMIL", "FARAH", "GUSTAV", "HANA"};
const std::array<std::string_view, 6> kClients = {"Acme", "Globex", "Initech", "Umbrella", "Hooli", "Vandelay"};

// A segment as pieces: text (with & < > " as plain characters) and tags.
enum class PieceKind { Text, TagStart, TagEnd, Standalone };
struct Piece {
  PieceKind kind;
  std::string text;
};
using Segment = std::vector<Piece>;

struct Unit {
  std::uint64_t number = 0;  // 1-based
  std::int64_t time = 0;     // seconds since 1970-01-01
  std::string_view user;
  std::string_view client;
  unsigned usage = 0;
  bool tags = false, standalone = false, specials = false, third = false;
  Segment source, target, extra;
  std::uint64_t guidHigh = 0, guidLow = 0;
  std::int64_t sourceHash = 0, targetHash = 0;
};

struct Layout {
  bool tags, standalone, specials;
  double tagAt, phAt, ampAt, angleAt;  // positions as fractions of the word count
};

void AddText(Segment& s, std::string_view text) {
  if (!s.empty() && s.back().kind == PieceKind::Text)
    s.back().text += text;
  else
    s.push_back({PieceKind::Text, std::string(text)});
}

template <std::size_t M>
Segment MakeSegment(Rng& rng, const std::array<std::string_view, M>& words, unsigned count, std::string_view blank,
                    std::string_view stop, std::uint64_t number, const Layout& layout) {
  const auto at = [count](double f) { return static_cast<unsigned>(f * count); };
  const unsigned tagStart = at(layout.tagAt), tagEnd = tagStart + 1 < count ? tagStart + 1 : tagStart;
  const unsigned ph = at(layout.phAt), amp = at(layout.ampAt) == 0 ? 1 : at(layout.ampAt);
  const unsigned angle = at(layout.angleAt);
  Segment s;
  for (unsigned w = 0; w < count; ++w) {
    if (w > 0) AddText(s, layout.specials && w == amp ? std::string_view(" & ") : blank);
    if (layout.tags && w == tagStart) s.push_back({PieceKind::TagStart, {}});
    std::string word(words[rng.Below(M)]);
    if (w == 0 && !word.empty() && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 'a' + 'A');
    if (layout.specials && w == angle) {
      AddText(s, "<");
      AddText(s, word);
      AddText(s, ">");
    } else {
      AddText(s, word);
    }
    if (layout.tags && w == tagEnd) s.push_back({PieceKind::TagEnd, {}});
    if (layout.standalone && w == ph) s.push_back({PieceKind::Standalone, {}});
  }
  AddText(s, blank);
  const std::string_view quote = layout.specials ? "\"" : "";
  AddText(s, quote);
  AddText(s, std::to_string(number));
  AddText(s, quote);
  AddText(s, stop);
  return s;
}

Unit MakeUnit(std::uint64_t seed, std::uint64_t number) {
  Rng rng(seed ^ (number * 0xD1B54A32D192ED03ULL));
  rng.Next();
  Unit u;
  u.number = number;
  // 2026-01-05 08:00:00 UTC, then about a minute per unit.
  u.time = 1767600000 + static_cast<std::int64_t>(number) * 60 + rng.Below(60);
  u.user = kUsers[rng.Below(kUsers.size())];
  u.client = kClients[rng.Below(kClients.size())];
  u.usage = rng.Below(10);
  Layout layout{};
  layout.tags = rng.OneIn(10);
  layout.standalone = rng.OneIn(10);
  layout.specials = rng.OneIn(10);
  u.third = rng.OneIn(10);
  layout.tagAt = 0.1 + 0.6 * (rng.Below(1000) / 1000.0);
  layout.phAt = rng.Below(1000) / 1000.0;
  layout.ampAt = 0.2 + 0.6 * (rng.Below(1000) / 1000.0);
  layout.angleAt = rng.Below(1000) / 1000.0;
  u.tags = layout.tags;
  u.standalone = layout.standalone;
  u.specials = layout.specials;
  const unsigned words = 5 + rng.Below(12);
  u.source = MakeSegment(rng, kEnglish, words, " ", ".", number, layout);
  u.target = MakeSegment(rng, kRussian, words + rng.Below(3), " ", ".", number, layout);
  if (u.third) u.extra = MakeSegment(rng, kJapanese, words + 2, "", "。", number, layout);
  u.guidHigh = rng.Next();
  u.guidLow = rng.Next();
  u.sourceHash = static_cast<std::int64_t>(rng.Next());
  u.targetHash = static_cast<std::int64_t>(rng.Next());
  return u;
}

// Civil date and time of a count of seconds since 1970-01-01 (UTC).
struct DateTime {
  int year, month, day, hour, minute, second;
};

DateTime ToDateTime(std::int64_t t) {
  std::int64_t days = t / 86400;
  const std::int64_t rest = t % 86400;
  days += 719468;
  const std::int64_t era = days / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

// "20260105~080000" (text TM), "20260105T080000Z" (TMX), "2026-01-05 08:00:00" (SDLTM).
std::string FormatDate(std::int64_t t, const char* format) {
  const DateTime d = ToDateTime(t);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, d.year, d.month, d.day, d.hour, d.minute, d.second);
  return buffer;
}

// SDLTM strings leave the double quote as it is in element text; TMX files here escape it.
std::string XmlEscaped(std::string_view text, bool quote = true) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += quote ? "&quot;" : "\""; break;
      default: out += c;
    }
  }
  return out;
}

// A buffered output file that becomes PATH only when Commit succeeds.
class OutputFile {
public:
  explicit OutputFile(std::string path) : path_(std::move(path)), part_(path_ + ".part") {
    file_ = std::fopen(part_.c_str(), "wb");
    if (!file_) throw std::runtime_error("cannot create " + part_ + ": " + std::strerror(errno));
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~OutputFile() {
    if (file_) {
      std::fclose(file_);
      std::remove(part_.c_str());
    }
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Put(std::string_view s) {
    if (std::fwrite(s.data(), 1, s.size(), file_) != s.size()) throw std::runtime_error("cannot write " + part_);
  }
  void Commit() {
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok || std::rename(part_.c_str(), path_.c_str()) != 0) {
      std::remove(part_.c_str());
      throw std::runtime_error("cannot write " + path_);
    }
  }

private:
  std::string path_, part_;
  std::FILE* file_ = nullptr;
};

// Text TM segments: tags become placeholders, lettered in order of appearance.
std::string TmText(const Segment& s) {
  std::string out;
  char letter = 'A';
  for (const Piece& p : s) {
    if (p.kind == PieceKind::Text)
      out += p.text;
    else
      out += std::string("&t") + letter++ + ";";
  }
  return out;
}

void WriteTm(std::uint64_t n, std::uint64_t seed, const std::string& path) {
  OutputFile out(path);
  char count[16];
  std::snprintf(count, sizeof count, "%08llu", static_cast<unsigned long long>(n));
  Rng idRng(seed);
  std::string id;
  for (int i = 0; i < 10; ++i) id += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[idRng.Below(36)];
  out.Put("\xEF\xBB\xBF");
  out.Put("%" + FormatDate(1767600000, "%04d%02d%02d~%02d%02d%02d") + "\t%User ID,gen_inputs\t%TU=" + count +
          "\t%EN-US\t%Quillmar TM v.5.53/00\t%RU-RU\t%---79532885\tx-Client\t" + id + "\t%" + std::string(60, ' ') +
          ".\r\n");
  std::string line;
  for (std::uint64_t i = 1; i <= n; ++i) {
    const Unit u = MakeUnit(seed, i);
    line = FormatDate(u.time, "%04d%02d%02d~%02d%02d%02d");
    line += '\t';
    line += u.user;
    line += '\t';
    line += std::to_string(u.usage);
    line += "\tEN-US\t";
    line += TmText(u.source);
    line += "\tRU-RU\t";
    line += TmText(u.target);
    line += '\t';
    line += u.client;
    line += "\r\n";
    out.Put(line);
  }
  out.Commit();
}

std::string TmxSeg(const Segment& s) {
  std::string out = "<seg>";
  for (const Piece& p : s) {
    switch (p.kind) {
      case PieceKind::Text: out += XmlEscaped(p.text); break;
      case PieceKind::TagStart: out += "<bpt i=\"1\" x=\"1\" type=\"bold\">&lt;b&gt;</bpt>"; break;
      case PieceKind::TagEnd: out += "<ept i=\"1\">&lt;/b&gt;</ept>"; break;
      case PieceKind::Standalone: out += "<ph x=\"2\" type=\"lb\">&lt;br/&gt;</ph>"; break;
    }
  }
  return out + "</seg>";
}

void WriteTmx(std::uint64_t n, std::uint64_t seed, const std::string& path) {
  OutputFile out(path);
  out.Put(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<tmx version=\"1.4\">\n"
      "  <header creationtool=\"gen_inputs\" creationtoolversion=\"1\" segtype=\"sentence\" o-tmf=\"gen_inputs\""
      " adminlang=\"en-US\" srclang=\"en-US\" datatype=\"plaintext\" creationdate=\"" +
      FormatDate(1767600000, "%04d%02d%02dT%02d%02d%02dZ") +
      "\">\n"
      "  </header>\n"
      "  <body>\n");
  std::string tu;
  for (std::uint64_t i = 1; i <= n; ++i) {
    const Unit u = MakeUnit(seed, i);
    tu = "    <tu tuid=\"" + std::to_string(i) + "\" creationdate=\"" +
         FormatDate(u.time, "%04d%02d%02dT%02d%02d%02dZ") + "\" creationid=\"";
    tu += u.user;
    tu += "\" usagecount=\"" + std::to_string(u.usage) + "\">\n      <prop type=\"x-Client\">";
    tu += u.client;
    tu += "</prop>\n      <tuv xml:lang=\"en-US\">\n        " + TmxSeg(u.source) +
          "\n      </tuv>\n      <tuv xml:lang=\"ru-RU\">\n        " + TmxSeg(u.target) + "\n      </tuv>\n";
    if (u.third) tu += "      <tuv xml:lang=\"ja-JP\">\n        " + TmxSeg(u.extra) + "\n      </tuv>\n";
    tu += "    </tu>\n";
    out.Put(tu);
  }
  out.Put("  </body>\n</tmx>\n");
  out.Commit();
}

std::string CsvText(const Segment& s) {
  std::string out;
  for (const Piece& p : s) {
    switch (p.kind) {
      case PieceKind::Text: out += p.text; break;
      case PieceKind::TagStart: out += "<b>"; break;
      case PieceKind::TagEnd: out += "</b>"; break;
      case PieceKind::Standalone: out += "<br/>"; break;
    }
  }
  return out;
}

void WriteCsv(std::uint64_t n, std::uint64_t seed, const std::string& path) {
  OutputFile out(path);
  out.Put("\xEF\xBB\xBF" "English\tRussian\r\n");
  std::string line;
  for (std::uint64_t i = 1; i <= n; ++i) {
    const Unit u = MakeUnit(seed, i);
    line = CsvText(u.source) + "\t" + CsvText(u.target) + "\r\n";
    out.Put(line);
  }
  out.Commit();
}

// The segment string of an SDLTM: text runs and tags in an Elements list, then the culture.
std::string SdlSegment(const Segment& s, std::string_view culture, std::uint64_t number) {
  std::string out =
      "<Segment xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><Elements>";
  const std::string tagId = std::to_string(number % 1000 * 2 + 1), phId = std::to_string(number % 1000 * 2 + 2);
  for (const Piece& p : s) {
    switch (p.kind) {
      case PieceKind::Text: out += "<Text><Value>" + XmlEscaped(p.text, false) + "</Value></Text>"; break;
      case PieceKind::TagStart:
        out += "<Tag><Type>Start</Type><Anchor>1</Anchor><AlignmentAnchor>1</AlignmentAnchor><TagID>" + tagId +
               "</TagID></Tag>";
        break;
      case PieceKind::TagEnd:
        out += "<Tag><Type>End</Type><Anchor>1</Anchor><AlignmentAnchor>0</AlignmentAnchor><TagID>" + tagId +
               "</TagID></Tag>";
        break;
      case PieceKind::Standalone:
        out += "<Tag><Type>Standalone</Type><Anchor>2</Anchor><AlignmentAnchor>2</AlignmentAnchor><TagID>" + phId +
               "</TagID></Tag>";
        break;
    }
  }
  out += "</Elements><CultureName>";
  out += culture;
  return out + "</CultureName></Segment>";
}

class Database {
public:
  explicit Database(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      Fail("cannot create " + path);
  }
  ~Database() {
    for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
    sqlite3_close(db_);
  }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) Fail(sql);
    statements_.push_back(s);
    return s;
  }
  void Step(sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_DONE) Fail("insert");
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
  }

private:
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> statements_;
};

void BindText(sqlite3_stmt* s, int column, const std::string& text) {
  sqlite3_bind_text(s, column, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Guid(std::uint8_t (&bytes)[16], std::uint64_t high, std::uint64_t low) {
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<std::uint8_t>(high >> (8 * i));
    bytes[8 + i] = static_cast<std::uint8_t>(low >> (8 * i));
  }
}

void WriteSdltm(std::uint64_t n, std::uint64_t seed, const std::string& path) {
  const std::string part = path + ".part";
  std::remove(part.c_str());
  {
    Database db(part);
    db.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA page_size=4096;");
    db.Exec(
        "CREATE TABLE translation_memories(\n"
        "\tid INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL,\n"
        "\tguid BLOB NOT NULL,\n"
        "\tname TEXT NOT NULL UNIQUE,\n"
        "\tsource_language TEXT NOT NULL,\n"
        "\ttarget_language TEXT NOT NULL,\n"
        "\tcopyright TEXT,\n"
        "\tdescription TEXT,\n"
        "\tsettings INT NOT NULL,\n"
        "\tcreation_user TEXT NOT NULL,\n"
        "\tcreation_date DATETIME NOT NULL,\n"
        "\texpiration_date DATETIME,\n"
        "\tfuzzy_indexes INT NOT NULL,\n"
        "\tlast_recompute_date DATETIME,\n"
        "\tlast_recompute_size INT,\n"
        "\tflags INT NOT NULL DEFAULT 0,\n"
        "\ttucount INT NOT NULL DEFAULT 0\n"
        ");\n"
        "CREATE TABLE translation_units(\n"
        "\tid INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL,\n"
        "\tguid BLOB NOT NULL,\n"
        "\ttranslation_memory_id INT NOT NULL CONSTRAINT FK_tu_tm REFERENCES translation_memories(id) ON DELETE "
        "CASCADE,\n"
        "\tsource_hash INTEGER NOT NULL,\n"
        "\tsource_segment TEXT,\n"
        "\ttarget_hash INTEGER NOT NULL,\n"
        "\ttarget_segment TEXT,\n"
        "\tcreation_date DATETIME NOT NULL,\n"
        "\tcreation_user TEXT NOT NULL,\n"
        "\tchange_date DATETIME NOT NULL,\n"
        "\tchange_user TEXT NOT NULL,\n"
        "\tlast_used_date DATETIME NOT NULL,\n"
        "\tlast_used_user TEXT NOT NULL,\n"
        "\tusage_counter INT NOT NULL,\n"
        "\tflags INT\n"
        ");\n"
        "CREATE INDEX idx_tus_hashes ON translation_units(translation_memory_id, source_hash, target_hash);\n");
    db.Exec("BEGIN");
    {
      sqlite3_stmt* tm = db.Prepare(
          "INSERT INTO translation_memories(id, guid, name, source_language, target_language, settings, "
          "creation_user, creation_date, fuzzy_indexes, tucount) VALUES (1, ?1, 'gen_inputs', 'en-US', 'ru-RU', 63, "
          "'GEN\\gen_inputs', ?2, 15, ?3)");
      Rng rng(seed);
      std::uint8_t guid[16];
      Guid(guid, rng.Next(), rng.Next());
      sqlite3_bind_blob(tm, 1, guid, sizeof guid, SQLITE_TRANSIENT);
      BindText(tm, 2, FormatDate(1767600000, "%04d-%02d-%02d %02d:%02d:%02d"));
      sqlite3_bind_int64(tm, 3, static_cast<sqlite3_int64>(n));
      db.Step(tm);
    }
    sqlite3_stmt* insert = db.Prepare(
        "INSERT INTO translation_units(id, guid, translation_memory_id, source_hash, source_segment, target_hash, "
        "target_segment, creation_date, creation_user, change_date, change_user, last_used_date, last_used_user, "
        "usage_counter, flags) VALUES (?1, ?2, 1, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?8, ?10, ?8, ?11, 131073)");
    for (std::uint64_t i = 1; i <= n; ++i) {
      const Unit u = MakeUnit(seed, i);
      std::uint8_t guid[16];
      Guid(guid, u.guidHigh, u.guidLow);
      const std::string user = "GEN\\" + std::string(u.user);
      sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(i));
      sqlite3_bind_blob(insert, 2, guid, sizeof guid, SQLITE_TRANSIENT);
      sqlite3_bind_int64(insert, 3, u.sourceHash);
      BindText(insert, 4, SdlSegment(u.source, "en-US", i));
      sqlite3_bind_int64(insert, 5, u.targetHash);
      BindText(insert, 6, SdlSegment(u.target, "ru-RU", i));
      BindText(insert, 7, FormatDate(u.time, "%04d-%02d-%02d %02d:%02d:%02d"));
      BindText(insert, 8, user);
      BindText(insert, 9, FormatDate(u.time + 3600, "%04d-%02d-%02d %02d:%02d:%02d"));
      BindText(insert, 10, FormatDate(u.time + 86400, "%04d-%02d-%02d %02d:%02d:%02d"));
      sqlite3_bind_int64(insert, 11, u.usage);
      db.Step(insert);
    }
    db.Exec("COMMIT");
  }
  if (std::rename(part.c_str(), path.c_str()) != 0) {
    std::remove(part.c_str());
    throw std::runtime_error("cannot write " + path);
  }
}

int Usage(const char* message) {
  std::fprintf(stderr, "gen_inputs: %s\nusage: gen_inputs tm|tmx|csv|sdltm N SEED PATH\n", message);
  return 2;
}

bool ParseNumber(const char* text, std::uint64_t max, std::uint64_t& value) {
  if (!*text) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || text[0] == '-' || v > max) return false;
  value = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Usage("four arguments expected");
  const std::string mode = argv[1];
  std::uint64_t n = 0, seed = 0;
  // A text TM header counts its units in eight digits.
  if (!ParseNumber(argv[2], 99999999, n)) return Usage("N is a number from 0 to 99999999");
  if (!ParseNumber(argv[3], UINT64_MAX, seed)) return Usage("SEED is a non-negative number");
  const std::string path = argv[4];
  try {
    if (mode == "tm")
      WriteTm(n, seed, path);
    else if (mode == "tmx")
      WriteTmx(n, seed, path);
    else if (mode == "csv")
      WriteCsv(n, seed, path);
    else if (mode == "sdltm")
      WriteSdltm(n, seed, path);
    else
      return Usage(("unknown mode " + mode).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_inputs: %s\n", e.what());
    return 1;
  }
  return 0;
}
