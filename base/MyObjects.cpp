#include "base/MyObjects.h"

#include <climits>

void TObjectControled::Abort() { Aborted = true; }

void TObjectControled::SetPosition(int64_t Value) {
  Position = Value;
  ReportProgress();
}

void TObjectControled::ReportProgress() {
  if (!OnProgress) return;
  // Position x 100 cannot overflow in 128 bits; the quotient truncates toward zero like div,
  // and a position far beyond the total is held to the Integer range.
  __int128 percent = static_cast<__int128>(Position) * 100 / Total;
  if (percent > INT_MAX) percent = INT_MAX;
  if (percent < INT_MIN) percent = INT_MIN;
  try {
    OnProgress(static_cast<int>(percent));
  } catch (...) {
    // The handler's faults never reach the job.
  }
}

void TObjectControled::SetTotal(int64_t Value) {
  Total = Value <= 0 ? 1 : Value;
  SetPosition(Position);
}

void TObjectControled::SetProgressEvent(TProgressEvent Event) {
  OnProgress = std::move(Event);
  Aborted = false;
  SetPosition(0);
}
