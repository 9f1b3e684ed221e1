#pragma once
// What the parser, the viewer and the document objects share: the owning list, the attributes of
// a tag as parsed, link targets and length values.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "htmlview/markup/HtmlSymbols.h"

class TUniStringList;

namespace htmlview {

class TProperties;

// A list that owns its items: an item deleted or cleared is freed.
template <class T>
class TFreeList {
public:
  TFreeList() = default;
  TFreeList(const TFreeList&) = delete;
  TFreeList& operator=(const TFreeList&) = delete;
  virtual ~TFreeList() = default;

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  T* operator[](int index) const { return items_.at(static_cast<size_t>(index)).get(); }
  T* Items(int index) const { return (*this)[index]; }
  T* First() const { return items_.empty() ? nullptr : items_.front().get(); }
  T* Last() const { return items_.empty() ? nullptr : items_.back().get(); }

  // Takes the item over; returns it.
  T* Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return items_.back().get();
  }
  T* Insert(int index, std::unique_ptr<T> item) {
    return items_.insert(items_.begin() + index, std::move(item))->get();
  }
  void Delete(int index) { items_.erase(items_.begin() + index); }
  // Removes the item without freeing it.
  std::unique_ptr<T> Extract(int index) {
    std::unique_ptr<T> item = std::move(items_.at(static_cast<size_t>(index)));
    items_.erase(items_.begin() + index);
    return item;
  }
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i].get() == item) return static_cast<int>(i);
    return -1;
  }
  virtual void Clear() { items_.clear(); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

protected:
  std::vector<std::unique_ptr<T>> items_;
};

// One attribute of a tag as the tokenizer read it.
class TAttribute {
public:
  // value is the number read from the text (0 when it holds none); whichName the attribute's name
  // as written, name its text.
  TAttribute(Symb which, double value, std::u16string whichName, std::u16string name, int codePage);

  Symb Which;
  std::u16string WhichName;
  int Value;  // the number truncated, held to +-MaxLength (list numbers to the integer range)
  double DblValue;
  std::u16string Name;
  int CodePage;
};

// The attributes of one tag, with the properties of its style attribute once asked for.
class TAttributeList : public TFreeList<TAttribute> {
public:
  TAttributeList();
  ~TAttributeList() override;

  TAttribute* Add(Symb which, double value, const std::u16string& whichName, const std::u16string& name,
                  int codePage);
  using TFreeList<TAttribute>::Add;

  // The first attribute with that symbol, or nullptr.
  TAttribute* Find(Symb which) const;
  bool Find(Symb which, TAttribute*& attribute) const;
  // The ID attribute's text lower-cased; kept until Clear.
  std::u16string TheID();
  // The class attribute trimmed and lower-cased; several names sorted as style keys sort them
  // and joined by ".".
  std::u16string TheClass() const;
  std::u16string TheTitle() const;
  // The properties of the style attribute, parsed anew on every call into Prop; nullptr, with
  // Prop left alone, when the tag has no style attribute.
  TProperties* TheStyle();
  // One line "name=value" per attribute.
  std::unique_ptr<TUniStringList> CreateStringList() const;
  void Clear() override;

  std::unique_ptr<TProperties> Prop;

private:
  std::u16string saveID_;
};

// Where a link goes, and the characters it covers.
class TUrlTarget {
public:
  std::u16string URL;
  std::u16string Target;
  int ID = 0;
  std::u16string Attr;
  int Start = -1;
  int Last = -1;
  int TabIndex = 0;

  // Takes a new ID, unique in the run; Attr holds the attributes' lines.
  void Assign(const std::u16string& url, const std::u16string& target, const TAttributeList* attributes,
              int start);
  void Copy(const TUrlTarget& other);
  void Clear();
  // Sets Last here and on the targets of the link objects at the end of a list that belong to
  // this link: count objects, targetAt(i) giving the target of object i (nullptr for none).
  void SetLast(int count, const std::function<TUrlTarget*(int)>& targetAt, int last);
  void SetLast(const std::vector<TUrlTarget*>& targets, int last);
};

enum TWidthType { wtNone, wtAbsolute, wtPercent, wtRelative };

struct TSpecWidth {
  int Value = 0;
  TWidthType VType = wtNone;
  bool operator==(const TSpecWidth&) const = default;
};

// A length as written: "%" gives tenths of a percent (at most 1000), "*" a relative share, else
// pixels.
TSpecWidth ConvLength(int value, const std::u16string& text);

}  // namespace htmlview
