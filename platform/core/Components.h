#pragma once
// The class library's component as far as free notification goes: a component may ask another
// to tell it when that one is destroyed, so that it never keeps a pointer to a dead object.
#include <vector>

enum TOperation { opInsert, opRemove };

class TComponent {
public:
  TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  // Every component linked by FreeNotification is told (opRemove), whichever side asked.
  virtual ~TComponent();

  // Links the two: each is told when the other is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

protected:
  // What a component does when a linked one goes (opRemove); it may destroy itself here.
  virtual void Notification(TComponent* /*component*/, TOperation /*operation*/) {}

private:
  static void Unlink(std::vector<TComponent*>& list, TComponent* component);
  std::vector<TComponent*> freeNotifies_;
};
