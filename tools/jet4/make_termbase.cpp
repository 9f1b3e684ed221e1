// Writes a sample termbase for the termbase export's tests:
//
//   make_termbase [--entries N] [--languages L1,L2,...] PATH
//
// The same options always give the same bytes. Defaults: 20 entries, English,German,Russian,Japanese.
//
// Tables, in catalog order: "mtConcepts", one index table "I_<language>" per language in the
// order given, "mtIndexes".
//   I_<language>  termid (Long Integer, 1, 2, ... per table), term (Memo), termex (Text 255: "main"
//                 for an entry's first term, NULL for the second), conceptid (Long Integer: the entry)
//   mtIndexes     id (Long Integer), name (Text 50: the language), locale (Text 10); one record per
//                 language, ordered as the index tables' names compared without case, so that
//                 record i + 1 titles the i-th index table of the sorted table list
//   mtConcepts    conceptid (Long Integer), text (Memo: an XML-like record of the entry's terms;
//                 entry 1's also holds a description of at least 20,000 characters)
// Terms of entry k = 1..N in the language at position j (0-based) of the list, with word(i) the
// language's word list [i % 8]:
//   - none when j > 0 and (k + j) % 5 == 0 (the first language always has one, so entries run 1..N);
//   - the first term: word(k - 1) + " " + k; when k % 10 == 3 it goes on with " " + word(k - 1)
//     until it has at least 300 UTF-16 units;
//   - when k % 4 == 0, a second term: word(k) + " " + k.
// Index table records follow ascending entry numbers. Japanese words include U+29E3D (outside the
// Basic Multilingual Plane); languages without a word list of their own use the English one.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "tools/jet4/Jet4Writer.h"

namespace {

struct Language {
  std::string_view name;
  std::u16string_view locale;
  std::array<std::u16string_view, 8> words;
};

const Language kLanguages[] = {
    {"English", u"en-US", {u"car", u"house", u"tree", u"water", u"book", u"window", u"street", u"light"}},
    {"German", u"de-DE", {u"Auto", u"Haus", u"Baum", u"Wasser", u"Buch", u"Fenster", u"Straße", u"Lücke"}},
    {"French", u"fr-FR", {u"voiture", u"maison", u"arbre", u"eau", u"livre", u"fenêtre", u"rue", u"lumière"}},
    {"Polish", u"pl-PL", {u"samochód", u"dom", u"drzewo", u"woda", u"książka", u"okno", u"ulica", u"światło"}},
    {"Russian", u"ru-RU", {u"машина", u"дом", u"дерево", u"вода", u"книга", u"окно", u"улица", u"свет"}},
    {"Greek", u"el-GR", {u"αυτοκίνητο", u"σπίτι", u"δέντρο", u"νερό", u"βιβλίο", u"παράθυρο", u"δρόμος", u"φως"}},
    {"Japanese", u"ja-JP", {u"自動車", u"家", u"木", u"水", u"本", u"窓", u"\U00029E3D", u"光"}},
    {"Chinese", u"zh-CN", {u"汽车", u"房子", u"树", u"水", u"书", u"窗户", u"一条街", u"光"}},
    {"Arabic", u"ar-SA", {u"سيارة", u"بيت", u"شجرة", u"ماء", u"كتاب", u"نافذة", u"شارع", u"ضوء"}},
    {"Hebrew", u"he-IL", {u"מכונית", u"בית", u"עץ", u"מים", u"ספר", u"חלון", u"רחוב", u"אור"}},
};

int Usage(const char* message) {
  std::fprintf(stderr, "make_termbase: %s\nusage: make_termbase [--entries N] [--languages L1,L2,...] PATH\n",
               message);
  return 2;
}

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

const Language& Find(const std::string& name) {
  for (const Language& l : kLanguages)
    if (Lower(std::string(l.name)) == Lower(name)) return l;
  return kLanguages[0];
}

std::vector<std::u16string> Terms(const Language& language, int k, std::size_t position) {
  if (position > 0 && (k + position) % 5 == 0) return {};
  const auto word = [&](int i) { return std::u16string(language.words[static_cast<std::size_t>(i) % 8]); };
  const std::u16string number = Ascii(std::to_string(k));
  std::vector<std::u16string> terms{word(k - 1) + u" " + number};
  if (k % 10 == 3)
    while (terms[0].size() < 300) terms[0] += u" " + word(k - 1);
  if (k % 4 == 0) terms.push_back(word(k) + u" " + number);
  return terms;
}

}  // namespace

int main(int argc, char** argv) {
  long entries = 20;
  std::string languageList = "English,German,Russian,Japanese";
  std::string path;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    const auto option = [&](const std::string& name) {
      if (arg == name) {
        if (i + 1 >= argc) return false;
        value = argv[++i];
        return true;
      }
      if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
      }
      return false;
    };
    if (option("--entries")) {
      char* end = nullptr;
      entries = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || entries < 0 || entries > 1000000)
        return Usage("--entries takes a number from 0 to 1000000");
    } else if (option("--languages")) {
      languageList = value;
    } else if (arg.rfind("--", 0) == 0 || !path.empty()) {
      return Usage(("unexpected argument " + arg).c_str());
    } else {
      path = arg;
    }
  }
  if (path.empty()) return Usage("no output path");

  std::vector<std::string> languages;
  for (std::size_t at = 0;;) {
    const std::size_t comma = languageList.find(',', at);
    languages.push_back(languageList.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  for (std::size_t i = 0; i < languages.size(); ++i) {
    const std::string& l = languages[i];
    if (l.empty() || l.size() > 50 || !std::all_of(l.begin(), l.end(), [](char c) {
          return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        }))
      return Usage("a language is a name of 1 to 50 ASCII letters");
    for (std::size_t j = 0; j < i; ++j)
      if (Lower(languages[j]) == Lower(l)) return Usage(("language given twice: " + l).c_str());
  }

  try {
    jet4::Jet4Writer db;
    const std::size_t concepts = db.AddTable(
        u"mtConcepts", {{u"conceptid", jet4::ColumnType::LongInteger}, {u"text", jet4::ColumnType::Memo}});
    std::vector<std::size_t> indexTables;
    for (const std::string& l : languages)
      indexTables.push_back(db.AddTable(u"I_" + Ascii(l), {{u"termid", jet4::ColumnType::LongInteger},
                                                           {u"term", jet4::ColumnType::Memo},
                                                           {u"termex", jet4::ColumnType::Text, 255},
                                                           {u"conceptid", jet4::ColumnType::LongInteger}}));
    const std::size_t indexes = db.AddTable(u"mtIndexes", {{u"id", jet4::ColumnType::LongInteger},
                                                           {u"name", jet4::ColumnType::Text, 50},
                                                           {u"locale", jet4::ColumnType::Text, 10}});

    std::u16string description;
    while (description.size() < 20000)
      for (const std::string& l : languages)
        for (std::u16string_view w : Find(l).words) description += std::u16string(w) + u" ";

    std::vector<std::int32_t> nextTermId(languages.size(), 1);
    for (int k = 1; k <= entries; ++k) {
      std::u16string text = u"<cG><c>" + Ascii(std::to_string(k)) + u"</c>";
      for (std::size_t j = 0; j < languages.size(); ++j) {
        const std::vector<std::u16string> terms = Terms(Find(languages[j]), k, j);
        if (terms.empty()) continue;
        text += u"<lG><l>" + Ascii(languages[j]) + u"</l>";
        for (std::size_t t = 0; t < terms.size(); ++t) {
          db.AddRow(indexTables[j], {nextTermId[j]++, terms[t], t == 0 ? jet4::Value(u"main") : jet4::Value(), k});
          text += u"<t>" + terms[t] + u"</t>";
        }
        text += u"</lG>";
      }
      if (k == 1) text += u"<d>" + description + u"</d>";
      db.AddRow(concepts, {k, text + u"</cG>"});
    }

    std::vector<std::string> sorted = languages;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    std::int32_t id = 1;
    for (const std::string& l : sorted) {
      const Language& known = Find(l);
      db.AddRow(indexes, {id++, Ascii(l), Lower(std::string(known.name)) == Lower(l) ? std::u16string(known.locale)
                                                                                    : std::u16string()});
    }
    db.Save(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_termbase: %s\n", e.what());
    return 1;
  }
  return 0;
}
