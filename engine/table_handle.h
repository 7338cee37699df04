#pragma once
// An engine table handle that closes itself: for handles opened for one
// look-up (a catalog read on a closed table) or held until an open has
// fully succeeded. Release() hands the handle over without closing it.

#include <cstdint>
#include <utility>

#include "engine/drm.h"

namespace dac {

class TEngineTableHandle {
 public:
  TEngineTableHandle() = default;
  TEngineTableHandle(uint32_t Session, uint32_t Table) : FSession(Session), FTable(Table) {}
  ~TEngineTableHandle() { Close(); }
  TEngineTableHandle(const TEngineTableHandle&) = delete;
  TEngineTableHandle& operator=(const TEngineTableHandle&) = delete;
  TEngineTableHandle(TEngineTableHandle&& Other) noexcept
      : FSession(Other.FSession), FTable(std::exchange(Other.FTable, 0u)) {}

  uint32_t Get() const { return FTable; }
  uint32_t* Out() { return &FTable; }
  // Gives up ownership: the caller closes the handle from now on.
  uint32_t Release() { return std::exchange(FTable, 0u); }
  // Closing is clean-up: the engine's answer is of no use here.
  void Close() noexcept {
    if (FTable != 0) (void)RareCloseTable(FSession, std::exchange(FTable, 0u));
  }

 private:
  uint32_t FSession = 0;
  uint32_t FTable = 0;
};

}  // namespace dac
