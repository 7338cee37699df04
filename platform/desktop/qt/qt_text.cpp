#include "platform/desktop/qt/qt_text.h"

#include <QApplication>
#include <QFont>

namespace dac {

QFont DialogFont() {
  QFont font = QApplication::font();
  font.setPixelSize(11);
  return font;
}

}  // namespace dac
