#include "platform/rtl/format_settings.h"

namespace dac {

TFormatSettings& DefaultFormatSettings() {
  static TFormatSettings settings;
  return settings;
}

}  // namespace dac
