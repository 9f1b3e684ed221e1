#include "platform/core/Components.h"

#include <algorithm>

TComponent::~TComponent() {
  // One at a time from the end: a component told here may destroy itself, and unlinks both ways
  // before it is told, so that the list never holds a dead entry.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    Unlink(other->freeNotifies_, this);
    other->Notification(this, opRemove);
  }
}

void TComponent::Unlink(std::vector<TComponent*>& list, TComponent* component) {
  list.erase(std::remove(list.begin(), list.end(), component), list.end());
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) {
    freeNotifies_.push_back(other);
    other->freeNotifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  Unlink(freeNotifies_, other);
  Unlink(other->freeNotifies_, this);
}
