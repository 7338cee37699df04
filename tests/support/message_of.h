// The message of the exception of type E that F raises, or "<no exception>".
#pragma once

#include <string>

namespace testsupport {

template <class E, class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "<no exception>";
}

}  // namespace testsupport
