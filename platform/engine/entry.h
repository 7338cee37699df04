// The way into the engine from its C interface. Every exported function runs
// its body through one of these wrappers, which
//  - takes the engine lock for the whole call,
//  - looks up the handles the call names, failing with the usual status and
//    text when one is not open (so bodies start with live objects), and
//  - turns every exception into a status: std::bad_alloc into -1011 (out of
//    memory), anything else into -1000 (internal error), each with a text
//    that RareGetExtErrStr returns, charged to the call's session when one
//    was found.
// Nothing leaves the interface as an exception; the wrappers are noexcept.
#pragma once

#include <mutex>

#include "platform/engine/engine_state.h"

namespace drmengine {

// Records the exception being handled as the failure of `call`, charged to
// the session with handle `blame` (0: none), and returns its status.
int32_t FailFromException(Engine& e, uint32_t blame, const char* call) noexcept;
// The status of the exception being handled when the engine itself could
// not be reached (nothing is recorded).
int32_t StatusOfException() noexcept;

// Failures of the handle look-ups. `s` is the session the call named, or
// null when it named none.
int32_t NoSession(uint32_t hSession);
int32_t NoDatabase(Session* s, uint32_t hDatabase);
int32_t NoTable(Session* s, uint32_t hTable);

namespace detail {
// Runs body(engine, blame) under the lock; the body sets `blame` to the
// handle of the session that failures belong to.
template <typename Body>
int32_t Guarded(const char* call, Body&& body) noexcept {
  try {
    Engine& e = TheEngine();
    std::lock_guard<EngineLock> guard(e.lock);
    uint32_t blame = 0;
    try {
      return body(e, blame);
    } catch (...) {
      return FailFromException(e, blame, call);
    }
  } catch (...) {
    return StatusOfException();
  }
}
}  // namespace detail

// body(Engine&): calls that name no handle.
template <typename Body>
int32_t Entry(const char* call, Body&& body) noexcept {
  return detail::Guarded(call, [&](Engine& e, uint32_t&) -> int32_t { return body(e); });
}

// body(Engine&, Session*): calls on a session.
template <typename Body>
int32_t SessionEntry(const char* call, uint32_t hSession, Body&& body) noexcept {
  return detail::Guarded(call, [&](Engine& e, uint32_t& blame) -> int32_t {
    Session* s = e.FindSession(hSession);
    if (!s) return NoSession(hSession);
    blame = s->handle;
    return body(e, s);
  });
}

// body(Engine&, Session*, DbHandle*): a database handle of that session.
template <typename Body>
int32_t SessionDatabaseEntry(const char* call, uint32_t hSession, uint32_t hDatabase, Body&& body) noexcept {
  return SessionEntry(call, hSession, [&](Engine& e, Session* s) -> int32_t {
    DbHandle* d = e.FindDb(hDatabase);
    if (!d || d->session != s) return NoDatabase(s, hDatabase);
    return body(e, s, d);
  });
}

// body(Engine&, DbHandle*): a database handle of any session.
template <typename Body>
int32_t DatabaseEntry(const char* call, uint32_t hDatabase, Body&& body) noexcept {
  return detail::Guarded(call, [&](Engine& e, uint32_t& blame) -> int32_t {
    DbHandle* d = e.FindDb(hDatabase);
    if (!d) return NoDatabase(nullptr, hDatabase);
    blame = d->session->handle;
    return body(e, d);
  });
}

// body(Engine&, Cursor*): a table handle of that session.
template <typename Body>
int32_t SessionTableEntry(const char* call, uint32_t hSession, uint32_t hTable, Body&& body) noexcept {
  return SessionEntry(call, hSession, [&](Engine& e, Session* s) -> int32_t {
    Cursor* c = e.FindCursor(hTable);
    if (!c || c->session != s) return NoTable(s, hTable);
    return body(e, c);
  });
}

// body(Engine&, Cursor*): a table handle of any session.
template <typename Body>
int32_t TableEntry(const char* call, uint32_t hTable, Body&& body) noexcept {
  return detail::Guarded(call, [&](Engine& e, uint32_t& blame) -> int32_t {
    Cursor* c = e.FindCursor(hTable);
    if (!c) return NoTable(nullptr, hTable);
    blame = c->session->handle;
    return body(e, c);
  });
}

}  // namespace drmengine
