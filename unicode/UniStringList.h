#pragma once
// The UTF-16 string list: sorted or not, with case-sensitive or case-insensitive comparison,
// loading files by their byte-order mark and saving them as UTF-16LE.
#include <cstdint>
#include <functional>
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

class TUniStringList {
public:
  TUniStringList() = default;
  virtual ~TUniStringList() = default;

  // The encoding found by the last LoadFromFile.
  uint8_t LastFileEncoding = leUtf16LE;
  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates = dupIgnore;
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);
  std::function<void()> OnChange;
  std::function<void()> OnChanging;

  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  void SetCapacity(int value);
  const WideString& Get(int index) const;
  const WideString& operator[](int index) const { return Get(index); }
  void Put(int index, const WideString& s);
  void* GetObject(int index) const;
  void PutObject(int index, void* object);

  int Add(const WideString& s) { return AddObject(s, nullptr); }
  int AddObject(const WideString& s, void* object);
  void Insert(int index, const WideString& s) { InsertObject(index, s, nullptr); }
  void InsertObject(int index, const WideString& s, void* object);
  void Delete(int index);
  void Exchange(int index1, int index2);
  void Clear();
  int IndexOf(const WideString& s) const;
  int IndexOfName(const WideString& name) const;
  bool Find(const WideString& s, int& index) const;
  void Sort();
  void CustomSort(const std::function<int(const TUniStringList&, int, int)>& compare);
  virtual int CompareStrings(const WideString& a, const WideString& b) const;

  void BeginUpdate();
  void EndUpdate();

  // Lines joined by CR LF (each line ended by one); setting splits at CR LF, CR or LF.
  WideString GetText() const;
  void SetText(const WideString& text);

  void LoadFromFile(const WideString& fileName);
  void LoadFromStream(TStream& stream) { LoadFromStreamEx(stream, true); }
  virtual void LoadFromStreamEx(TStream& stream, bool detect);
  void SaveToFile(const WideString& fileName);
  void SaveToStream(TStream& stream) { SaveToStreamEx(stream, true); }
  virtual void SaveToStreamEx(TStream& stream, bool withBOM);

  // Reads a byte-order mark at the stream's position: leUtf16LE, leUtf16BE, leUtf8 (the mark
  // consumed) or leAnsi (nothing consumed).
  static uint8_t DetectEncoding(TStream& stream);

  static constexpr char16_t NameValueSeparator = u'=';

protected:
  void Changed();
  void Changing();

private:
  struct Item {
    WideString text;
    void* object;
  };
  void CheckIndex(int index, int limit) const;
  void Grow();
  void InsertItem(int index, const WideString& s, void* object);
  void QuickSort(int l, int r, const std::function<int(const TUniStringList&, int, int)>& compare);

  std::vector<Item> items_;
  int capacity_ = 0;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  int updateCount_ = 0;
};

// Ordinal comparison, and comparison without case (Unicode case folding).
int WideCompareStr(const WideString& a, const WideString& b);
int WideCompareText(const WideString& a, const WideString& b);
