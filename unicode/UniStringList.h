#pragma once
// The UTF-16 string list: sorted or not, with case-sensitive or case-insensitive comparison,
// loading files by their byte-order mark and saving them as UTF-16LE.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Exception.h"
#include "platform/core/Streams.h"
#include "unicode/UniTypes.h"

class EStringListError : public Exception {
public:
  using Exception::Exception;
};

enum TDuplicates { dupIgnore = 0, dupAccept = 1, dupError = 2 };

// Encodings found by loading.
enum : uint8_t { leAnsi = 0, leUtf16LE = 1, leUtf16BE = 2, leUtf8 = 3 };

class TAnsiStringsForWideStringsAdapter;

// The class library's abstract list of byte strings, each with an object.
class TAnsiStrings {
public:
  TAnsiStrings() = default;
  TAnsiStrings(const TAnsiStrings&) = delete;
  TAnsiStrings& operator=(const TAnsiStrings&) = delete;
  virtual ~TAnsiStrings() = default;

  virtual int Count() const = 0;
  virtual AnsiString Get(int index) const = 0;
  AnsiString operator[](int index) const { return Get(index); }
  virtual void Put(int index, const AnsiString& s) = 0;
  virtual void* GetObject(int index) const = 0;
  virtual void PutObject(int index, void* object) = 0;
  int Add(const AnsiString& s) { return AddObject(s, nullptr); }
  virtual int AddObject(const AnsiString& s, void* object);
  void Insert(int index, const AnsiString& s) { InsertObject(index, s, nullptr); }
  virtual void InsertObject(int index, const AnsiString& s, void* object) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  // Clear, then every string of source with its object.
  void Assign(const TAnsiStrings& source);
  // Lines joined by CR LF (each line ended by one).
  AnsiString GetText() const;
};

// The UTF-16 string list's abstract base: the operations every list has, loading and saving, and
// the defaults that a list over something else (a control's items) builds on.
class TUniStrings {
public:
  TUniStrings();
  TUniStrings(const TUniStrings&) = delete;
  TUniStrings& operator=(const TUniStrings&) = delete;
  virtual ~TUniStrings();

  // The encoding found by the last LoadFromFile.
  uint8_t LastFileEncoding = leUtf16LE;

  // The list seen as byte strings in a code page; it belongs to the list.
  TAnsiStringsForWideStringsAdapter& AnsiStrings() const { return *ansiStrings_; }
  void SetAnsiStrings(const TAnsiStrings& value);

  virtual int Count() const = 0;
  virtual WideString Get(int index) const = 0;
  WideString operator[](int index) const { return Get(index); }
  // Replaces the string, keeping the item's object.
  virtual void Put(int index, const WideString& s);
  virtual void* GetObject(int index) const = 0;
  virtual void PutObject(int index, void* object) = 0;

  int Add(const WideString& s) { return AddObject(s, nullptr); }
  virtual int AddObject(const WideString& s, void* object);
  void Insert(int index, const WideString& s) { InsertObject(index, s, nullptr); }
  virtual void InsertObject(int index, const WideString& s, void* object) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  // Both through Get, Delete and Insert, each item's object going along.
  virtual void Exchange(int index1, int index2);
  virtual void Move(int curIndex, int newIndex);
  // The first equal string, compared without case; -1 when none.
  virtual int IndexOf(const WideString& s) const;
  void Assign(const TUniStrings& source);

  void BeginUpdate();
  void EndUpdate();

  // Lines joined by CR LF (each line ended by one); setting splits at CR LF, CR or LF.
  virtual WideString GetText() const;
  virtual void SetText(const WideString& text);

  void LoadFromFile(const WideString& fileName);
  void LoadFromStream(TStream& stream) { LoadFromStreamEx(stream, true); }
  virtual void LoadFromStreamEx(TStream& stream, bool detect);
  void SaveToFile(const WideString& fileName);
  void SaveToStream(TStream& stream) { SaveToStreamEx(stream, true); }
  virtual void SaveToStreamEx(TStream& stream, bool withBOM);

  // Reads a byte-order mark at the stream's position: leUtf16LE, leUtf16BE, leUtf8 (the mark
  // consumed) or leAnsi (nothing consumed).
  static uint8_t DetectEncoding(TStream& stream);

protected:
  // Called when the first BeginUpdate begins (true) and the last EndUpdate ends (false).
  virtual void SetUpdateState(bool) {}
  int UpdateCount() const { return updateCount_; }
  [[noreturn]] static void ListError(const std::string& message);
  void CheckIndex(int index, int limit) const;

private:
  int updateCount_ = 0;
  std::unique_ptr<TAnsiStringsForWideStringsAdapter> ansiStrings_;
};

// A UTF-16 list seen as a list of byte strings: strings read are converted to the code page,
// strings written are converted from it; everything else passes through to the list.
class TAnsiStringsForWideStringsAdapter : public TAnsiStrings {
public:
  explicit TAnsiStringsForWideStringsAdapter(TUniStrings& wideStrings, unsigned adapterCodePage = 0)
      : WideStrings(wideStrings), AdapterCodePage(adapterCodePage) {}

  TUniStrings& WideStrings;  // not owned
  unsigned AdapterCodePage;  // 0: the system's code page

  int Count() const override { return WideStrings.Count(); }
  AnsiString Get(int index) const override;
  void Put(int index, const AnsiString& s) override;
  void* GetObject(int index) const override { return WideStrings.GetObject(index); }
  void PutObject(int index, void* object) override { WideStrings.PutObject(index, object); }
  int AddObject(const AnsiString& s, void* object) override;
  void InsertObject(int index, const AnsiString& s, void* object) override;
  void Delete(int index) override { WideStrings.Delete(index); }
  void Clear() override { WideStrings.Clear(); }
  void BeginUpdate() override { WideStrings.BeginUpdate(); }
  void EndUpdate() override { WideStrings.EndUpdate(); }

private:
  unsigned CodePage() const;
};

class TUniStringList : public TUniStrings {
public:
  TUniStringList() = default;

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates = dupIgnore;
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);
  std::function<void()> OnChange;
  std::function<void()> OnChanging;

  int Count() const override { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  void SetCapacity(int value);
  WideString Get(int index) const override;
  void Put(int index, const WideString& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;

  int AddObject(const WideString& s, void* object) override;
  void InsertObject(int index, const WideString& s, void* object) override;
  void Delete(int index) override;
  void Exchange(int index1, int index2) override;
  void Clear() override;
  int IndexOf(const WideString& s) const override;
  int IndexOfName(const WideString& name) const;
  bool Find(const WideString& s, int& index) const;
  void Sort();
  void CustomSort(const std::function<int(const TUniStringList&, int, int)>& compare);
  virtual int CompareStrings(const WideString& a, const WideString& b) const;

  WideString GetText() const override;

  static constexpr char16_t NameValueSeparator = u'=';

protected:
  void SetUpdateState(bool updating) override;
  void Changed();
  void Changing();

private:
  struct Item {
    WideString text;
    void* object;
  };
  void Grow();
  void InsertItem(int index, const WideString& s, void* object);
  void QuickSort(int l, int r, const std::function<int(const TUniStringList&, int, int)>& compare);

  std::vector<Item> items_;
  int capacity_ = 0;
  bool sorted_ = false;
  bool caseSensitive_ = false;
};

// Ordinal comparison, and comparison without case (Unicode case folding).
int WideCompareStr(const WideString& a, const WideString& b);
int WideCompareText(const WideString& a, const WideString& b);
