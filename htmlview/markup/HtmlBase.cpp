#include "htmlview/markup/HtmlBase.h"

#include <QChar>
#include <algorithm>
#include <climits>
#include <cmath>

#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleUn.h"
#include "htmlview/style/StyleValues.h"
#include "unicode/UniStringList.h"

namespace htmlview {

namespace {

int unitUrlID = 0;  // the last ID a link target took

// One character to one, so that positions in the text stay where they were.
std::u16string Lowered(std::u16string s) {
  for (char16_t& c : s) c = QChar::toLower(c);
  return s;
}

std::u16string Trimmed(const std::u16string& s) {
  size_t first = 0, last = s.size();
  while (first < last && s[first] < 33) ++first;
  while (last > first && s[last - 1] < 33) --last;
  return s.substr(first, last - first);
}

int Truncated(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

// Every attribute number but a list's is a length, a size, a space, a count or an index, which
// need no more than MaxLength: held to it, sums of them cannot overflow.
TAttribute::TAttribute(Symb which, double value, std::u16string whichName, std::u16string name, int codePage)
    : Which(which), WhichName(std::move(whichName)),
      Value(which == StartSy || which == ValueSy ? Truncated(value) : CapLength(value)),
      DblValue(value),
      Name(std::move(name)), CodePage(codePage) {}

TAttributeList::TAttributeList() = default;
TAttributeList::~TAttributeList() = default;

TAttribute* TAttributeList::Add(Symb which, double value, const std::u16string& whichName,
                                const std::u16string& name, int codePage) {
  return Add(std::make_unique<TAttribute>(which, value, whichName, name, codePage));
}

TAttribute* TAttributeList::Find(Symb which) const {
  for (const auto& a : items_)
    if (a->Which == which) return a.get();
  return nullptr;
}

bool TAttributeList::Find(Symb which, TAttribute*& attribute) const {
  attribute = Find(which);
  return attribute != nullptr;
}

std::u16string TAttributeList::TheID() {
  if (saveID_.empty())
    if (const TAttribute* a = Find(IdSy)) saveID_ = Lowered(a->Name);
  return saveID_;
}

std::u16string TAttributeList::TheClass() const {
  const TAttribute* a = Find(ClassSy);
  if (!a) return {};
  const std::u16string value = Lowered(Trimmed(a->Name));
  std::vector<std::u16string> names;
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && value[i] == u' ') ++i;
    const size_t start = i;
    while (i < value.size() && value[i] != u' ') ++i;
    if (i > start) names.push_back(value.substr(start, i - start));
  }
  if (names.size() < 2) return value;
  std::sort(names.begin(), names.end());
  std::u16string joined = names[0];
  for (size_t k = 1; k < names.size(); ++k) joined += u"." + names[k];
  return joined;
}

std::u16string TAttributeList::TheTitle() const {
  const TAttribute* a = Find(TitleSy);
  return a ? a->Name : std::u16string();
}

TProperties* TAttributeList::TheStyle() {
  const TAttribute* a = Find(StyleSy);
  if (!a) return nullptr;
  auto prop = std::make_unique<TProperties>();
  ParseStyleAttrString(a->Name, *prop);
  Prop = std::move(prop);
  return Prop.get();
}

std::unique_ptr<TUniStringList> TAttributeList::CreateStringList() const {
  auto list = std::make_unique<TUniStringList>();
  for (const auto& a : items_) list->Add(a->WhichName + u"=" + a->Name);
  return list;
}

void TAttributeList::Clear() {
  TFreeList<TAttribute>::Clear();
  saveID_.clear();
}

void TUrlTarget::Assign(const std::u16string& url, const std::u16string& target, const TAttributeList* attributes,
                        int start) {
  URL = url;
  Target = target;
  ID = ++unitUrlID;
  Start = start;
  Attr = attributes ? attributes->CreateStringList()->GetText() : std::u16string();
}

void TUrlTarget::Copy(const TUrlTarget& other) {
  URL = other.URL;
  Target = other.Target;
  ID = other.ID;
  Attr = other.Attr;
  Start = other.Start;
  Last = other.Last;
  TabIndex = other.TabIndex;
}

void TUrlTarget::Clear() {
  URL.clear();
  Target.clear();
  ID = 0;
  TabIndex = 0;
  Attr.clear();
  Start = -1;
  Last = -1;
}

void TUrlTarget::SetLast(int count, const std::function<TUrlTarget*(int)>& targetAt, int last) {
  Last = last;
  for (int i = count - 1; i >= 0; --i) {
    TUrlTarget* t = targetAt(i);
    if (!t || t->ID != ID) break;
    t->Last = last;
  }
}

void TUrlTarget::SetLast(const std::vector<TUrlTarget*>& targets, int last) {
  SetLast(static_cast<int>(targets.size()), [&](int i) { return targets[static_cast<size_t>(i)]; }, last);
}

TSpecWidth ConvLength(int value, const std::u16string& text) {
  if (text.find(u'%') != std::u16string::npos)
    return {std::max(std::min(value, 100), INT_MIN / 10) * 10, wtPercent};
  if (text.find(u'*') != std::u16string::npos) return {value, wtRelative};
  return {value, wtAbsolute};
}

}  // namespace htmlview
