#include "sessions/session_list.h"

#include <algorithm>
#include <cstdlib>

#include "errors/messages.h"
#include "errors/trace.h"
#include "platform/desktop/application.h"
#include "platform/desktop/screen.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/format.h"
#include "platform/rtl/scope_guard.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "sessions/session.h"

namespace dac {

namespace {
std::unique_ptr<std::recursive_mutex> GSessionLock;
std::unique_ptr<TPvSessionList> GSessionList;
TPvSession* GDefaultSession = nullptr;
bool GExitHookInstalled = false;
bool GFinalizing = false;

void FinalizeAtExit() { FinalizeSessions(); }
}  // namespace

// ---------------------------------------------------------------------------

void TPvAbsSessionList::Finalize() {
  // Each session takes itself off the list while it is destroyed.
  while (!FSessions.empty()) {
    TPvAbsSession* s = FSessions.back();
    CleanupStep([s] { s->Free(); });
    if (!FSessions.empty() && FSessions.back() == s) FSessions.pop_back();
  }
  DoneLock();
}

TPvAbsSession* TPvAbsSessionList::FindSession(const std::string& SessionName) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsSessionList.FindSession");
  if (SessionName.empty()) return DefaultSession();
  for (TPvAbsSession* s : FSessions)
    if (AnsiSameText(s->SessionName(), SessionName)) return s;
  return nullptr;
}

TPvAbsSession* TPvAbsSessionList::GetSessionByName(const std::string& SessionName) {
  TTraceScope trace(Trace1590Open, kTrace1590Open, "TPvAbsSessionList.GetSessionByName");
  TPvAbsSession* s = FindSession(SessionName);
  if (s == nullptr) throw EDatabaseError(Format(SInvalidSessionName, SessionName));
  return s;
}

TPvAbsSession* TPvAbsSessionList::OpenSession(const std::string& SessionName) {
  TPvAbsSession* s = FindSession(SessionName);
  if (s == nullptr) {
    s = CreateSession();
    Finally discard([s] { s->Free(); });
    s->SetSessionName(SessionName);
    discard.Dismiss();
  }
  s->SetActive(true);
  return s;
}

void TPvAbsSessionList::GetSessionNames(TStrings* List) {
  TUpdateScope update(List);
  List->Clear();
  for (TPvAbsSession* s : FSessions) List->Add(s->SessionName());
}

void TPvAbsSessionList::AddSession(TPvAbsSession* Session) { FSessions.push_back(Session); }

void TPvAbsSessionList::RemoveSession(TPvAbsSession* Session) {
  auto it = std::find(FSessions.begin(), FSessions.end(), Session);
  if (it != FSessions.end()) FSessions.erase(it);
  if (FCurrentSession == Session) FCurrentSession = nullptr;
  if (Session == GDefaultSession) GDefaultSession = nullptr;
}

// ---------------------------------------------------------------------------

void TPvSessionList::InitLock() { GSessionLock = std::make_unique<std::recursive_mutex>(); }

void TPvSessionList::DoneLock() { GSessionLock.reset(); }

TPvAbsSession* TPvSessionList::DefaultSession() { return DefaultPvSession(); }

TPvAbsSession* TPvSessionList::CreateSession() { return Create<TPvSession>(nullptr); }

std::recursive_mutex& SessionLock() {
  if (!GSessionLock) GSessionLock = std::make_unique<std::recursive_mutex>();
  return *GSessionLock;
}

void InitializeSessions() {
  if (GSessionList || GFinalizing) return;
  if (!GExitHookInstalled) {
    // The services the sessions use at shutdown are made first, so that
    // they are destroyed after the sessions at exit.
    (void)Screen().Cursor();
    (void)Application();
    std::atexit(FinalizeAtExit);
    GExitHookInstalled = true;
  }
  GSessionList = std::make_unique<TPvSessionList>();
  GSessionList->Initialize();
  TPvSession* s = Create<TPvSession>(nullptr);
  GDefaultSession = s;
  s->SetSessionName("PvDefault");
}

void FinalizeSessions() {
  if (!GSessionList || GFinalizing) return;
  GFinalizing = true;
  GSessionList->Finalize();
  GDefaultSession = nullptr;
  GSessionList.reset();
  GFinalizing = false;
}

TPvSessionList* Sessions() {
  if (!GSessionList && !GFinalizing) InitializeSessions();
  return GSessionList.get();
}

TPvSession* DefaultPvSession() {
  if (!GSessionList && !GFinalizing) InitializeSessions();
  return GDefaultSession;
}

}  // namespace dac
