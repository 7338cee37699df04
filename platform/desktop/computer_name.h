#pragma once
// The name of this computer, as the layer uses it for the host part of a
// database target and to decide whether a server name means this computer.

#include <memory>
#include <string>
#include <string_view>

namespace dac {

// The computer name fits a 16-character buffer: at most 15 characters and
// the terminating NUL.
inline constexpr size_t MaxComputerNameLength = 15;

class IComputerName {
 public:
  virtual ~IComputerName() = default;
  // The name, at most MaxComputerNameLength characters. A failing system
  // call raises EOSError.
  virtual std::string ComputerName() = 0;
};

// The headless default: the host name of the system (gethostname), made to
// fit the buffer with FitComputerName. The case is kept as the system gives
// it.
class THostComputerName : public IComputerName {
 public:
  std::string ComputerName() override;
};

// What a host name becomes as a computer name: the text up to the first NUL,
// without a domain part (a computer name is a single label, never a dotted
// name), cut to MaxComputerNameLength characters.
std::string FitComputerName(std::string_view HostName);

// The computer name from the installed service.
std::string ComputerName();

// Installs a service process-wide and returns the one it replaces (null
// while the headless default was in use). Null goes back to the default.
std::unique_ptr<IComputerName> SetComputerNameService(std::unique_ptr<IComputerName> Service);

}  // namespace dac
