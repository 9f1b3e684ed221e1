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

}  // namespace

TEST(MyListsTest, SortedIndexOfEncodesInsertPositionAndNavigates) {
  TNumList list;
  TNum probe(5);
  EXPECT_EQ(list.IndexOf(&probe), -1);  // empty list: would go first
  EXPECT_EQ(list.First(), nullptr);
  for (int v : {10, 20, 30, 40}) list.Add(std::make_unique<TNum>(v));
  for (int i = 0; i < 4; ++i) {
    TNum same((i + 1) * 10);  // another object with an equal key is found
    EXPECT_EQ(list.IndexOf(&same), i);
  }
  EXPECT_EQ(list.IndexOf(&probe), -1);
  probe.V = 25;
  EXPECT_EQ(list.IndexOf(&probe), -3);
  probe.V = 99;
  EXPECT_EQ(list.IndexOf(&probe), -5);
  list.Insert(4, std::make_unique<TNum>(99));
  EXPECT_EQ(list.Last()->V, 99);
  EXPECT_EQ(list.Next(list.First())->V, 20);
  EXPECT_EQ(list.Prev(list.Last())->V, 40);
  EXPECT_EQ(list.Next(list.Last()), nullptr);
  TNum absent(15);
  EXPECT_EQ(list.Prev(&absent), nullptr);
}

TEST(MyListsTest, UnsortedIdentityAndOwnership) {
  int freed = 0;
  {
    TMyList<TNum> list;
    TNum* items[4];
    for (int i = 0; i < 4; ++i) items[i] = list.Add(std::make_unique<TNum>(1, &freed));
    TNum outsider(1);
    EXPECT_TRUE(list.IndexOf(items[1]) == 1 && list.IndexOf(&outsider) == -1);  // unsorted: by identity
    std::unique_ptr<TNum> taken = list.Remove(items[1]);
    EXPECT_TRUE(taken.get() == items[1] && list.Remove(items[1]) == nullptr);  // then no longer in the list
    list.FreeItem(0);
    EXPECT_TRUE(freed == 1 && list.Items(0) == nullptr);
    list.Delete(0);
    EXPECT_EQ(list.First(), items[2]);
    EXPECT_THROW(list.Delete(2), std::out_of_range);
    EXPECT_THROW(list.Items(-1), std::out_of_range);
    EXPECT_THROW(list.Insert(3, std::make_unique<TNum>(9, &freed)), std::out_of_range);
    EXPECT_EQ(freed, 2);  // a rejected object is freed, not leaked
  }
  EXPECT_EQ(freed, 5);  // the two left in the list and the one removed
}
