#pragma once
// Raising the operating system's error as an EOSError.

namespace dac {

// Raises EOSError "System error, (OS Code %d):\n%s" with the error number
// and the system's text for it.
[[noreturn]] void RaiseOSError(int ErrorCode);
// The same with the current errno.
[[noreturn]] void RaiseLastOSError();

}  // namespace dac
