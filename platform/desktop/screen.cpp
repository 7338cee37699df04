#include "platform/desktop/screen.h"

#include "platform/desktop/service_slot.h"

namespace dac {

namespace {

TServiceSlot<IScreenCursor, THeadlessScreenCursor>& Slot() {
  static TServiceSlot<IScreenCursor, THeadlessScreenCursor> slot;
  return slot;
}

}  // namespace

TCursor TScreen::Cursor() const { return Slot().Current().Cursor(); }

void TScreen::SetCursor(TCursor Value) { Slot().Current().SetCursor(Value); }

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

std::unique_ptr<IScreenCursor> SetScreenCursorService(std::unique_ptr<IScreenCursor> Service) {
  return Slot().Install(std::move(Service));
}

}  // namespace dac
