#include "base/MyObjects.h"

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <vector>

namespace {

struct Recorder {
  std::vector<int> calls;
  TProgressEvent Event() {
    return [this](int p) { calls.push_back(p); };
  }
};

}  // namespace

TEST(MyObjects, CreatedState) {
  TObjectControled job;
  EXPECT_FALSE(job.Aborted);
  EXPECT_EQ(job.Total, 1);
  EXPECT_EQ(job.Position, 0);
  EXPECT_FALSE(job.OnProgress);
  EXPECT_EQ(job.UnitCount, 0);
}

TEST(MyObjects, PercentOfTotal) {
  TObjectControled job;
  Recorder r;
  job.SetProgressEvent(r.Event());
  job.SetTotal(200);
  job.SetPosition(50);
  ASSERT_FALSE(r.calls.empty());
  EXPECT_EQ(r.calls.back(), 25);
  job.SetPosition(199);
  EXPECT_EQ(r.calls.back(), 99);  // div truncates
  job.SetPosition(200);
  EXPECT_EQ(r.calls.back(), 100);
  EXPECT_EQ(job.Position, 200);
}

TEST(MyObjects, SetTotalNeverBelowOneAndReReports) {
  TObjectControled job;
  Recorder r;
  job.SetProgressEvent(r.Event());
  job.SetTotal(0);
  EXPECT_EQ(job.Total, 1);
  job.SetTotal(-5);
  EXPECT_EQ(job.Total, 1);
  job.SetTotal(10);
  job.SetPosition(5);
  r.calls.clear();
  job.SetTotal(20);  // the same position is reported again against the new total
  EXPECT_EQ(r.calls, std::vector<int>{25});
}

TEST(MyObjects, ThrowingHandlerDoesNotReachTheJob) {
  TObjectControled job;
  int calls = 0;
  job.SetProgressEvent([&](int) {
    ++calls;
    throw std::runtime_error("handler fault");
  });
  EXPECT_NO_THROW(job.SetTotal(100));
  EXPECT_NO_THROW(job.SetPosition(10));
  job.SetProgressEvent([&](int) {
    ++calls;
    throw 42;  // not even an exception class
  });
  EXPECT_NO_THROW(job.SetPosition(20));
  EXPECT_EQ(calls, 5);  // each SetProgressEvent reports 0 too
  EXPECT_EQ(job.Position, 20);
}

TEST(MyObjects, SetProgressEventAfterAbortRearmsAndReportsZero) {
  TObjectControled job;
  job.SetTotal(10);
  job.SetPosition(7);
  job.Abort();
  EXPECT_TRUE(job.Aborted);
  Recorder r;
  job.SetProgressEvent(r.Event());
  EXPECT_FALSE(job.Aborted);
  EXPECT_EQ(job.Position, 0);
  EXPECT_EQ(r.calls, std::vector<int>{0});
}

TEST(MyObjects, NoHandlerNoCall) {
  TObjectControled job;
  job.SetTotal(100);
  job.SetPosition(50);
  EXPECT_EQ(job.Position, 50);
}

TEST(MyObjects, LargeTotals) {
  TObjectControled job;
  Recorder r;
  job.SetProgressEvent(r.Event());
  job.SetTotal(INT64_MAX);
  job.SetPosition(INT64_MAX / 2);
  EXPECT_EQ(r.calls.back(), 49);
  job.SetPosition(INT64_MAX);  // Position x 100 does not fit in 64 bits
  EXPECT_EQ(r.calls.back(), 100);
  job.SetTotal(40000000000LL);  // beyond 32 bits
  job.SetPosition(30000000000LL);
  EXPECT_EQ(r.calls.back(), 75);
  job.SetTotal(1);
  job.SetPosition(INT64_MAX);  // far past the total: held to the Integer range
  EXPECT_EQ(r.calls.back(), INT_MAX);
  job.SetPosition(-3);
  EXPECT_EQ(r.calls.back(), -300);
}

namespace {

// A job that counts its own positions, as the converters do.
class CountingJob : public TObjectControled {
public:
  int positions = 0;
  bool abortSeen = false;
  void SetPosition(int64_t Value) override {
    ++positions;
    TObjectControled::SetPosition(Value);
  }
  void Abort() override {
    abortSeen = true;
    TObjectControled::Abort();
  }
};

}  // namespace

TEST(MyObjects, VirtualOperations) {
  CountingJob job;
  TObjectControled& base = job;
  base.SetTotal(10);           // re-reports through the override
  base.SetProgressEvent(nullptr);
  base.SetPosition(3);
  EXPECT_EQ(job.positions, 3);
  base.Abort();
  EXPECT_TRUE(job.abortSeen);
  EXPECT_TRUE(job.Aborted);
}

TEST(MyObjects, StopFlagEndsAJobLoop) {
  TObjectControled job;
  job.SetTotal(1000);
  int done = 0;
  job.SetProgressEvent([&](int percent) {
    if (percent >= 10) job.Abort();  // a Stop click arriving through the progress display
  });
  for (int i = 0; i < 1000 && !job.Aborted; ++i) {
    ++job.UnitCount;
    job.SetPosition(i + 1);
    ++done;
  }
  EXPECT_EQ(done, 100);
  EXPECT_EQ(job.UnitCount, 100);
}
