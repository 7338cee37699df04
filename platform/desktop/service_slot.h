#pragma once
// One process-wide desktop service: the installed implementation, or the
// headless default while none is installed.

#include <memory>
#include <utility>

namespace dac {

template <class I, class Default>
class TServiceSlot {
 public:
  I& Current() { return FInstalled ? *FInstalled : FDefault; }
  Default& Headless() { return FDefault; }
  // Returns the implementation it replaces (null for the default).
  std::unique_ptr<I> Install(std::unique_ptr<I> Service) {
    std::unique_ptr<I> previous = std::move(FInstalled);
    FInstalled = std::move(Service);
    return previous;
  }

 private:
  Default FDefault;
  std::unique_ptr<I> FInstalled;
};

}  // namespace dac
