#pragma once
// The base of every conversion job: a 64-bit total and position, a progress event that
// receives a percentage, a stop flag that the job's loops test, and the count of units produced.
#include <cstdint>
#include <functional>

// Receives the progress in percent.
using TProgressEvent = std::function<void(int)>;

class TObjectControled {
public:
  TObjectControled() = default;
  virtual ~TObjectControled() = default;
  TObjectControled(const TObjectControled&) = delete;
  TObjectControled& operator=(const TObjectControled&) = delete;

  // Sets the stop flag; the job sees it in its loop and stops.
  virtual void Abort();
  // Stores the position and reports Position x 100 div Total to OnProgress, whose
  // exceptions are swallowed.
  virtual void SetPosition(int64_t Value);
  // Total := Value, or 1 when Value <= 0; then the percentage is re-reported.
  void SetTotal(int64_t Value);
  // Stores the event, re-arms the stop flag and reports position 0.
  void SetProgressEvent(TProgressEvent Event);

  bool Aborted = false;
  int64_t Total = 1;  // never below 1
  int64_t Position = 0;
  TProgressEvent OnProgress;
  int UnitCount = 0;  // units produced, raised by the converters, read by the caller

protected:
  // Calls OnProgress, when assigned, with the percentage of Position in Total.
  void ReportProgress();
};
