#pragma once
// An encoded filter buffer (filter/can_expr.h) written back as filter text,
// for showing what a filter became (a transformer's remainder, say). The
// text reads like the filter language; it is meant for people, not for
// parsing again.

#include <cstdint>
#include <string>

namespace dac {

// "" for a null buffer.
std::string FilterDataText(const uint8_t* ParseData);

}  // namespace dac
