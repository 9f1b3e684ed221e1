#pragma once
// An owning list of objects with an optional sorted mode: IndexOf then searches by halving
// through Compare, which descendants override to order their items by content.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

// Searches Count places in order: CompareAt(i) compares the item at i with the one sought
// (negative: the item comes first). The index of an equal item, else -(insert position + 1),
// so that any negative result means absent.
template <class CompareAt>
int SortedIndex(int Count, CompareAt compareAt) {
  int lo = 0;
  int hi = Count - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = compareAt(mid);
    if (c == 0) return mid;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -(lo + 1);
}

template <class T>
class TMyList {
public:
  explicit TMyList(bool Sorted = false) : FSorted(Sorted) {}
  virtual ~TMyList() = default;
  TMyList(const TMyList&) = delete;
  TMyList& operator=(const TMyList&) = delete;

  bool Sorted() const { return FSorted; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // The object at Index (nullptr after FreeItem). Out of range throws std::out_of_range.
  T* Items(int Index) const { return FItems[CheckIndex(Index)].get(); }

  // Appends; returns the object, which the list now owns. A sorted list does not reorder:
  // callers that keep the order insert at the position IndexOf encodes.
  T* Add(std::unique_ptr<T> Item) {
    FItems.push_back(std::move(Item));
    return FItems.back().get();
  }
  // Index may equal Count (append).
  T* Insert(int Index, std::unique_ptr<T> Item) {
    if (Index < 0 || Index > Count()) throw std::out_of_range("TMyList index out of range");
    return FItems.insert(FItems.begin() + Index, std::move(Item))->get();
  }
  // Removes the slot and frees its object.
  void Delete(int Index) { FItems.erase(FItems.begin() + CheckIndex(Index)); }
  // Frees every object.
  void Clear() { FItems.clear(); }

  // Unsorted: the first index whose item compares equal to Item, else -1. Sorted: the index
  // of an equal item, else -(insert position + 1); any negative result means absent.
  int IndexOf(const T* Item) const {
    if (!FSorted) {
      for (int i = 0; i < Count(); ++i)
        if (Compare(FItems[i].get(), Item) == 0) return i;
      return -1;
    }
    return SortedIndex(Count(), [&](int i) { return Compare(FItems[i].get(), Item); });
  }

  // Takes Item's slot out of the list and hands the object to the caller, unfreed;
  // an empty pointer when Item is not in the list.
  std::unique_ptr<T> Remove(const T* Item) {
    const int i = IndexOf(Item);
    if (i < 0) return nullptr;
    std::unique_ptr<T> item = std::move(FItems[i]);
    FItems.erase(FItems.begin() + i);
    return item;
  }

  // Frees the object at Index; the slot stays and holds nullptr, which the default Compare
  // orders first but an overriding Compare need not expect.
  void FreeItem(int Index) { FItems[CheckIndex(Index)].reset(); }

  // Identity by default: items compare by address.
  virtual int Compare(const T* Item1, const T* Item2) const {
    if (Item1 == Item2) return 0;
    return std::less<const T*>()(Item1, Item2) ? -1 : 1;
  }

  T* First() const { return FItems.empty() ? nullptr : FItems.front().get(); }
  T* Last() const { return FItems.empty() ? nullptr : FItems.back().get(); }
  // nullptr when Item is not in the list or has no neighbour on that side.
  T* Next(const T* Item) const {
    const int i = IndexOf(Item);
    return i >= 0 && i + 1 < Count() ? FItems[i + 1].get() : nullptr;
  }
  T* Prev(const T* Item) const {
    const int i = IndexOf(Item);
    return i > 0 ? FItems[i - 1].get() : nullptr;
  }

protected:
  std::vector<std::unique_ptr<T>> FItems;

private:
  size_t CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count()) throw std::out_of_range("TMyList index out of range");
    return static_cast<size_t>(Index);
  }

  bool FSorted;
};
