#include "platform/rtl/exceptions.h"

namespace dac {

void Abort() { throw EAbort("Operation aborted"); }

}  // namespace dac
