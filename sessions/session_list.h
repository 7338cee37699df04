#pragma once
// The process-wide list of sessions and the default session "PvDefault".
//
// Both exist from the start of the component layer to its shutdown:
// Sessions() makes them on first use (InitializeSessions does it
// explicitly) and FinalizeSessions destroys the list, which destroys every
// session still in it; each closes its databases and ends its engine
// session. A process that never calls FinalizeSessions has it run at exit.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rtl/lists.h"

namespace dac {

class TPvAbsSession;
class TPvSession;
class TStrings;

class TPvAbsSessionList {
 public:
  TPvAbsSessionList() = default;
  TPvAbsSessionList(const TPvAbsSessionList&) = delete;
  TPvAbsSessionList& operator=(const TPvAbsSessionList&) = delete;
  virtual ~TPvAbsSessionList() = default;

  // Calls InitLock (a virtual call cannot be made from the constructor).
  void Initialize() { InitLock(); }
  // Destroys every session still listed, then DoneLock.
  void Finalize();

  TPvAbsSession* CurrentSession() const { return FCurrentSession; }
  void SetCurrentSession(TPvAbsSession* Value) { FCurrentSession = Value; }
  int32_t Count() const { return static_cast<int32_t>(FSessions.size()); }
  TPvAbsSession* Sessions(int32_t Index) const { return FSessions.at(static_cast<size_t>(Index)); }

  // The default session for an empty name; otherwise the first session whose
  // name equals Name ignoring case; null when none does.
  TPvAbsSession* FindSession(const std::string& SessionName);
  // FindSession; raises EDatabaseError "Invalid session name %s" when none.
  TPvAbsSession* GetSessionByName(const std::string& SessionName);
  // FindSession, else a new session of that name; made active.
  TPvAbsSession* OpenSession(const std::string& SessionName);
  void GetSessionNames(TStrings* List);
  void AddSession(TPvAbsSession* Session);
  void RemoveSession(TPvAbsSession* Session);

  // Automatic session numbers in use.
  TBits& SessionNumbers() { return FSessionNumbers; }

  // Virtual operations in slot order.
  virtual void InitLock() = 0;
  virtual void DoneLock() = 0;
  virtual TPvAbsSession* DefaultSession() = 0;
  virtual TPvAbsSession* CreateSession() = 0;

 private:
  std::vector<TPvAbsSession*> FSessions;
  TBits FSessionNumbers;
  TPvAbsSession* FCurrentSession = nullptr;
};

class TPvSessionList : public TPvAbsSessionList {
 public:
  void InitLock() override;
  void DoneLock() override;
  TPvAbsSession* DefaultSession() override;
  TPvAbsSession* CreateSession() override;
};

// The global session lock, taken by TPvSession::Lock. Valid between
// InitLock and DoneLock of the session list.
std::recursive_mutex& SessionLock();

// The global session list and default session (made on first use).
TPvSessionList* Sessions();
TPvSession* DefaultPvSession();
// Makes the list and the default session unless they exist.
void InitializeSessions();
// Destroys the list and every session in it. Sessions() afterwards starts
// the layer again.
void FinalizeSessions();

}  // namespace dac
