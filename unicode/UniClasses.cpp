#include "unicode/UniClasses.h"

#include <algorithm>
#include <functional>

#include "unicode/UniSystem.h"

TUniFileStream::TUniFileStream(const WideString& fileName, uint16_t mode) : THandleStream(platform::InvalidFileHandle) {
  if (mode == fmCreate) {
    handle_ = WideFileCreate(fileName);
    if (handle_ == platform::InvalidFileHandle)
      throw EWideFCreateError(WideFormat(u"Cannot create file \"%s\". %s",
                                         {WideExpandFileName(fileName), WideSysErrorMessage(platform::LastErrorCode())}));
  } else {
    handle_ = WideFileOpen(fileName, mode);
    if (handle_ == platform::InvalidFileHandle)
      throw EWideFOpenError(WideFormat(u"Cannot open file \"%s\". %s",
                                       {WideExpandFileName(fileName), WideSysErrorMessage(platform::LastErrorCode())}));
  }
}

TUniFileStream::~TUniFileStream() {
  if (handle_ != platform::InvalidFileHandle) platform::CloseFile(handle_);
}

// ---------------------------------------------------------------------------------------------
TWideComponentHelperList::~TWideComponentHelperList() {
  // Each helper takes itself out of the list as it goes.
  while (!items_.empty()) delete items_.back();
}

size_t TWideComponentHelperList::IndexOf(const TComponent* component, bool& found) const {
  const auto it = std::lower_bound(items_.begin(), items_.end(), component,
                                   [](const TWideComponentHelper* helper, const TComponent* c) {
                                     return std::less<const TComponent*>()(helper->Component(), c);
                                   });
  found = it != items_.end() && (*it)->Component() == component;
  return static_cast<size_t>(it - items_.begin());
}

TWideComponentHelper::TWideComponentHelper() {
  throw EUniInternalError("TNT Internal Error: TWideComponentHelper.Create should never be encountered.");
}

TWideComponentHelper::TWideComponentHelper(TComponent* component, TWideComponentHelperList& list)
    : component_(component), list_(&list) {
  if (component_) component_->FreeNotification(this);
  bool found = false;
  const size_t index = list.IndexOf(component_, found);
  list.items_.insert(list.items_.begin() + static_cast<std::ptrdiff_t>(index), this);
}

TWideComponentHelper* TWideComponentHelper::CreateHelper(TComponent* component, TWideComponentHelperList& list) {
  return new TWideComponentHelper(component, list);
}

TWideComponentHelper::~TWideComponentHelper() {
  if (list_) {
    auto& items = list_->items_;
    items.erase(std::remove(items.begin(), items.end(), this), items.end());
  }
}

void TWideComponentHelper::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (component == component_ && operation == opRemove) {
    component_ = nullptr;
    delete this;
  }
}

TWideComponentHelper* FindWideComponentHelper(const TWideComponentHelperList& list, const TComponent* component) {
  bool found = false;
  const size_t index = list.IndexOf(component, found);
  if (!found) return nullptr;
  TWideComponentHelper* helper = list.items_[index];
  // The list is kept in order by the helpers themselves; a helper found for another component
  // means it was not.
  if (helper->Component() != component)
    throw EUniInternalError("TNT Internal Error: FindWideComponentHelperIndex failed.");
  return helper;
}
