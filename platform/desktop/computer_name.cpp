#include "platform/desktop/computer_name.h"

#include <unistd.h>

#include <cerrno>

#include "platform/desktop/os_error.h"
#include "platform/desktop/service_slot.h"

namespace dac {

namespace {

TServiceSlot<IComputerName, THostComputerName>& Slot() {
  static TServiceSlot<IComputerName, THostComputerName> slot;
  return slot;
}

}  // namespace

std::string FitComputerName(std::string_view HostName) {
  std::string_view name = HostName.substr(0, HostName.find('\0'));
  name = name.substr(0, name.find('.'));
  if (name.size() > MaxComputerNameLength) name = name.substr(0, MaxComputerNameLength);
  return std::string(name);
}

std::string THostComputerName::ComputerName() {
  // Host names are at most 255 bytes; one more keeps a NUL even when the
  // system fills the buffer without one.
  char buffer[257] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) RaiseLastOSError();
  return FitComputerName(buffer);
}

std::string ComputerName() { return Slot().Current().ComputerName(); }

std::unique_ptr<IComputerName> SetComputerNameService(std::unique_ptr<IComputerName> Service) {
  return Slot().Install(std::move(Service));
}

}  // namespace dac
