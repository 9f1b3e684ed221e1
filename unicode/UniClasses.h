#pragma once
// The file stream opened or created by a UTF-16 file name; it owns its handle.
#include <cstdint>
#include <vector>

#include "platform/core/Components.h"
#include "platform/core/Streams.h"
#include "unicode/UniSysUtils.h"

class TUniFileStream : public THandleStream {
public:
  // mode fmCreate creates (or empties) the file; any other mode opens an existing one with the
  // mode's access and sharing. Failures raise EWideFCreateError / EWideFOpenError.
  TUniFileStream(const WideString& fileName, uint16_t mode);
  ~TUniFileStream() override;
  TUniFileStream(const TUniFileStream&) = delete;
  TUniFileStream& operator=(const TUniFileStream&) = delete;
};

class TWideComponentHelper;

// The helpers of components, sorted by component. It owns the helpers still in it; a helper
// leaves it when it is destroyed, which it is when its component goes.
class TWideComponentHelperList {
public:
  TWideComponentHelperList() = default;
  TWideComponentHelperList(const TWideComponentHelperList&) = delete;
  TWideComponentHelperList& operator=(const TWideComponentHelperList&) = delete;
  ~TWideComponentHelperList();

  int Count() const { return static_cast<int>(items_.size()); }
  TWideComponentHelper* operator[](int index) const { return items_[static_cast<size_t>(index)]; }

private:
  friend class TWideComponentHelper;
  friend TWideComponentHelper* FindWideComponentHelper(const TWideComponentHelperList& list,
                                                       const TComponent* component);
  // The position of the component's helper, or where it would go; found tells which.
  size_t IndexOf(const TComponent* component, bool& found) const;
  std::vector<TWideComponentHelper*> items_;
};

// State that the UTF-16 controls keep beside a component, for as long as the component lives.
class TWideComponentHelper : public TComponent {
public:
  // A helper belongs to a component: this constructor must never be used, and raises.
  TWideComponentHelper();
  // Makes the component's helper and puts it into list; it destroys itself with the component.
  static TWideComponentHelper* CreateHelper(TComponent* component, TWideComponentHelperList& list);
  ~TWideComponentHelper() override;

  TComponent* Component() const { return component_; }

protected:
  TWideComponentHelper(TComponent* component, TWideComponentHelperList& list);
  void Notification(TComponent* component, TOperation operation) override;

private:
  TComponent* component_ = nullptr;
  TWideComponentHelperList* list_ = nullptr;
};

// The component's helper in list, or nullptr.
TWideComponentHelper* FindWideComponentHelper(const TWideComponentHelperList& list, const TComponent* component);
