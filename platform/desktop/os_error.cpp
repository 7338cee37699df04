#include "platform/desktop/os_error.h"

#include <cerrno>
#include <cstring>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"

namespace dac {

void RaiseOSError(int ErrorCode) {
  throw EOSError(Format("System error, (OS Code %d):\n%s", ErrorCode, std::string(std::strerror(ErrorCode))));
}

void RaiseLastOSError() { RaiseOSError(errno); }

}  // namespace dac
