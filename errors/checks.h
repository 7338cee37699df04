#pragma once
// Raise operations and status checks used throughout the component layer.
//
// The checks belong to the engine session: TPvSession::CheckStatus and its
// siblings forward to the free functions below with the session itself as
// first argument, and a database or dataset's one-argument CheckStatus calls
// its session's with itself as component. The session's name and engine
// handle are read through IPvSessionDescription (errors/error_interfaces.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "errors/pv_errors.h"
#include "platform/rtl/component.h"
#include "platform/rtl/format.h"

namespace dac {

// Raises EPvDatabaseError for Owner. A named Component puts its name before
// the message ("NAME: message").
[[noreturn]] void PvDatabaseError(TPersistent* Owner, const std::string& Message, TComponent* Component = nullptr);

namespace detail {
template <class T>
inline constexpr bool IsComponentArg =
    std::is_null_pointer_v<std::decay_t<T>> ||
    (std::is_pointer_v<std::decay_t<T>> &&
     std::is_base_of_v<TComponent, std::remove_cv_t<std::remove_pointer_t<std::decay_t<T>>>>);

template <class... A>
struct LastIsComponent : std::false_type {};
template <class... A>
  requires(sizeof...(A) > 0)
struct LastIsComponent<A...>
    : std::bool_constant<IsComponentArg<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>>> {};

inline TComponent* AsComponent(std::nullptr_t) { return nullptr; }
template <class T>
TComponent* AsComponent(T* component) {
  return const_cast<TComponent*>(static_cast<const TComponent*>(component));
}
}  // namespace detail

// Formats Fmt with Args, then raises as PvDatabaseError. When the last
// argument is a component pointer (or nullptr) it is the component, not a
// value to format:
//   PvDatabaseErrorFmt(this, "No index for fields '%s'", fields);
//   PvDatabaseErrorFmt(this, "Field '%s' not found", name, dataSet);
template <class... A>
[[noreturn]] void PvDatabaseErrorFmt(TPersistent* Owner, std::string_view Fmt, const A&... Args) {
  if constexpr (detail::LastIsComponent<A...>::value) {
    auto args = std::forward_as_tuple(Args...);
    std::string message = [&]<size_t... I>(std::index_sequence<I...>) {
      return Format(Fmt, std::get<I>(args)...);
    }(std::make_index_sequence<sizeof...(A) - 1>{});
    PvDatabaseError(Owner, message, detail::AsComponent(std::get<sizeof...(A) - 1>(args)));
  } else {
    PvDatabaseError(Owner, Format(Fmt, Args...), nullptr);
  }
}

// Raises ENoResultSet "Error creating cursor handle" with the dataset's
// context: an open step ended without a cursor handle.
[[noreturn]] void NoResultSetError(TComponent* DataSet);

// Status 0 returns. A named-database status raises EPvDbAdminEngineError
// (dbmeLocal); any other raises EPvDrmEngineError for Component with the
// session's engine handle. Warnings (positive statuses) raise too.
void CheckStatus(TComponent* Session, int32_t Status, TComponent* Component);

// Status 0 returns. A status of the named-database table raises
// EPvDbAdminEngineError (dbmeLocal) with the session as owner; any other
// status raises "DB names API error %d" only when RaiseUnknown is set.
void CheckDbNamesStatus(TComponent* Session, const std::string& AliasName, int32_t Status, bool RaiseUnknown);

// Status 0 returns; every other administration status raises
// EPvDbAdminEngineError (dbmeDTI) with the session as owner.
void CheckDtiStatus(TComponent* Session, const std::string& Name, int32_t Status);

// CheckDtiStatus, with the server, database and session named in the
// message of the exception it raises.
void CheckDtiStatusEx(TComponent* Session, const std::string& Name, int32_t Status, const std::string& ServerName,
                      const std::string& DatabaseName);

}  // namespace dac
