#include "platform/rtl/object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"

namespace dac {

void TObject::Free() {
  // The object is deleted even when its BeforeDestruction raises; the
  // exception is passed on.
  Finally release([this] { delete this; });
  BeforeDestruction();
}

std::string TObject::ClassName() const {
  const char* raw = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled != nullptr) ? demangled : raw;
  std::free(demangled);
  // Drop namespaces and template arguments' qualification of the outer name.
  size_t angle = name.find('<');
  size_t colon = name.rfind("::", angle == std::string::npos ? std::string::npos : angle);
  if (colon != std::string::npos) name.erase(0, colon + 2);
  return name;
}

void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
  } else {
    AssignError(nullptr);
  }
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
  std::string source = Source != nullptr ? Source->ClassName() : std::string("nil");
  throw EConvertError(Format("Cannot assign a %s to a %s", source, ClassName()));
}

std::string TPersistent::GetNamePath() { return ClassName(); }

}  // namespace dac
