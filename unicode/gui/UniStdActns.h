#pragma once
// The hint action: how a hint is published. The application runs one with its new hint whenever
// its hint changes (UniForms); whatever shows hints, a status line for instance, takes it by
// answering CM_ACTIONEXECUTE with 1 and reads its wide Hint.
#include "unicode/gui/UniActnList.h"

class TUniHintAction : public TUniAction {
public:
  explicit TUniHintAction(QObject* owner = nullptr) : TUniAction(owner) {}
  // OnExecute when there is one; else the application's windows are offered the action
  // (TUniApplication::ExecuteAction). True when something took it.
  bool Execute() override;
};
