#pragma once
// The screen cursor. The layer shows its SQL-wait cursor while engine calls
// run; the application's toolkit decides how each cursor looks.

#include <cstdint>
#include <memory>

namespace dac {

using TCursor = int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crSQLWait = -17;

class IScreenCursor {
 public:
  virtual ~IScreenCursor() = default;
  virtual TCursor Cursor() const = 0;
  virtual void SetCursor(TCursor Value) = 0;
};

// The headless default keeps the value and shows nothing.
class THeadlessScreenCursor : public IScreenCursor {
 public:
  TCursor Cursor() const override { return FCursor; }
  void SetCursor(TCursor Value) override { FCursor = Value; }

 private:
  TCursor FCursor = crDefault;
};

// The screen as the layer sees it: Screen().Cursor(), Screen().SetCursor(v).
class TScreen {
 public:
  TCursor Cursor() const;
  void SetCursor(TCursor Value);
};

TScreen& Screen();

// Installs a cursor service process-wide and returns the one it replaces
// (null while the headless default was in use). Null goes back to the
// default.
std::unique_ptr<IScreenCursor> SetScreenCursorService(std::unique_ptr<IScreenCursor> Service);

}  // namespace dac
