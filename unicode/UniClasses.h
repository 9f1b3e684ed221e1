#pragma once
// The file stream opened or created by a UTF-16 file name; it owns its handle.
#include <cstdint>

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
