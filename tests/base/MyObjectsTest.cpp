#include "base/MyObjects.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <vector>

TEST(MyObjects, ProgressIsThePercentOfTheTotal) {
  TObjectControled job;
  job.SetPosition(50);  // no handler: no call
  std::vector<int> calls;
  job.SetProgressEvent([&](int p) { calls.push_back(p); });
  job.SetTotal(0);
  EXPECT_EQ(job.Total, 1);
  job.SetTotal(-5);
  EXPECT_EQ(job.Total, 1);
  job.SetTotal(200);
  job.SetPosition(199);
  EXPECT_EQ(calls.back(), 99);  // div truncates
  job.SetTotal(398);  // the same position is reported again against the new total
  EXPECT_EQ(calls.back(), 50);
  job.SetTotal(INT64_MAX);
  job.SetPosition(INT64_MAX);  // Position x 100 does not fit in 64 bits
  EXPECT_EQ(calls.back(), 100);
  job.SetTotal(40000000000LL);  // beyond 32 bits
  job.SetPosition(30000000000LL);
  EXPECT_EQ(calls.back(), 75);
  job.SetTotal(1);
  job.SetPosition(INT64_MAX);  // far past the total: held to the Integer range
  EXPECT_EQ(calls.back(), INT_MAX);
  job.SetPosition(-3);
  EXPECT_EQ(calls.back(), -300);
  EXPECT_EQ(calls.front(), 0);  // SetProgressEvent reports position 0
}

TEST(MyObjects, ThrowingHandlerDoesNotReachTheJob) {
  TObjectControled job;
  int calls = 0;
  job.SetProgressEvent([&](int) { throw std::runtime_error(std::to_string(++calls)); });
  EXPECT_NO_THROW(job.SetTotal(100));
  job.SetProgressEvent([&](int) { throw ++calls; });  // not even an exception class
  EXPECT_NO_THROW(job.SetPosition(20));
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(job.Position, 20);
}

namespace {

// A job that counts its own positions, as the converters do.
class CountingJob : public TObjectControled {
public:
  int positions = 0;
  void SetPosition(int64_t Value) override {
    ++positions;
    TObjectControled::SetPosition(Value);
  }
};

}  // namespace

TEST(MyObjects, SetProgressEventRearmsAndReportsThroughTheOverride) {
  CountingJob job;
  TObjectControled& base = job;
  base.SetTotal(10);
  base.SetPosition(7);
  base.Abort();
  EXPECT_TRUE(job.Aborted);
  std::vector<int> calls;
  base.SetProgressEvent([&](int p) { calls.push_back(p); });
  EXPECT_TRUE(!job.Aborted && job.Position == 0 && job.positions == 3);
  EXPECT_EQ(calls, std::vector<int>{0});
}
