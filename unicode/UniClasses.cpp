#include "unicode/UniClasses.h"

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
