#include "base/MyLists.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

struct TNum {
  explicit TNum(int v, int* freed = nullptr) : V(v), Freed(freed) {}
  ~TNum() {
    if (Freed) ++*Freed;
  }
  int V;
  int* Freed;
};

class TNumList : public TMyList<TNum> {
public:
  TNumList() : TMyList<TNum>(true) {}
  int Compare(const TNum* a, const TNum* b) const override { return a->V - b->V; }
};

// A sorted list holding 10, 20, 30, 40.
void Fill(TNumList& list) {
  for (int v : {10, 20, 30, 40}) list.Add(std::make_unique<TNum>(v));
}

}  // namespace

TEST(MyListsTest, SortedIndexOfEncodesInsertPosition) {
  TNumList list;
  TNum probe(5);
  EXPECT_EQ(list.IndexOf(&probe), -1);  // empty list: would go first
  Fill(list);
  for (int i = 0; i < 4; ++i) {
    TNum same((i + 1) * 10);  // another object with an equal key is found
    EXPECT_EQ(list.IndexOf(&same), i);
  }
  EXPECT_EQ(list.IndexOf(&probe), -1);
  probe.V = 25;
  EXPECT_EQ(list.IndexOf(&probe), -3);
  probe.V = 99;
  const int r = list.IndexOf(&probe);
  EXPECT_EQ(r, -5);
  // The encoded position keeps the order when used for Insert.
  list.Insert(-(r + 1), std::make_unique<TNum>(99));
  EXPECT_EQ(list.Last()->V, 99);
}

TEST(MyListsTest, UnsortedIndexOfIsIdentity) {
  TMyList<TNum> list;
  TNum* a = list.Add(std::make_unique<TNum>(1));
  TNum* b = list.Add(std::make_unique<TNum>(1));
  TNum outsider(1);
  EXPECT_EQ(list.IndexOf(a), 0);
  EXPECT_EQ(list.IndexOf(b), 1);
  EXPECT_EQ(list.IndexOf(&outsider), -1);
}

TEST(MyListsTest, Navigation) {
  TNumList list;
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Last(), nullptr);
  Fill(list);
  TNum* first = list.First();
  TNum* last = list.Last();
  EXPECT_EQ(first->V, 10);
  EXPECT_EQ(last->V, 40);
  EXPECT_EQ(list.Next(first)->V, 20);
  EXPECT_EQ(list.Prev(last)->V, 30);
  EXPECT_EQ(list.Next(last), nullptr);
  EXPECT_EQ(list.Prev(first), nullptr);
  TNum absent(15);
  EXPECT_EQ(list.Next(&absent), nullptr);
  EXPECT_EQ(list.Prev(&absent), nullptr);
}

TEST(MyListsTest, OwnershipRemoveFreeItemDelete) {
  int freed = 0;
  {
    TMyList<TNum> list;
    TNum* items[4];
    for (int i = 0; i < 4; ++i) items[i] = list.Add(std::make_unique<TNum>(i, &freed));

    std::unique_ptr<TNum> taken = list.Remove(items[1]);
    EXPECT_EQ(taken.get(), items[1]);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(freed, 0);
    EXPECT_EQ(list.Remove(items[1]), nullptr);  // no longer in the list

    list.FreeItem(0);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0), nullptr);

    list.Delete(0);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.First(), items[2]);
    EXPECT_THROW(list.Delete(2), std::out_of_range);
    EXPECT_THROW(list.Items(-1), std::out_of_range);
    EXPECT_THROW(list.Insert(3, std::make_unique<TNum>(9, &freed)), std::out_of_range);
    EXPECT_EQ(freed, 2);  // a rejected object is freed, not leaked
  }
  EXPECT_EQ(freed, 5);  // the two left in the list and the one removed
}
