#pragma once
// Types shared by sessions, databases and the datasets that use them.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/rtl/object.h"
#include "platform/rtl/tset.h"

namespace dac {

class TStrings;
class TPvAbsDatabase;

// Which alias store the alias operations address.
enum TConfigModes : uint8_t { cfmVirtual, cfmPersistent, cfmSession };
using TConfigMode = TSet<TConfigModes>;
inline constexpr TConfigMode AllConfigModes{cfmVirtual, cfmPersistent, cfmSession};

// Events a session sends to its notification handler. dbDeleteDriver is
// never sent.
enum TDatabaseEvent : uint8_t { dbOpen, dbClose, dbAdd, dbRemove, dbAddAlias, dbDeleteAlias, dbDeleteDriver };

// Param is the database (TPvAbsDatabase*) for dbOpen, dbClose, dbAdd and
// dbRemove, and the alias name (const std::string*) for the alias events.
using TDatabaseNotifyEvent = std::function<void(TDatabaseEvent DBEvent, const void* Param)>;
// Continue is false on entry; set it to true to retry the operation.
using TPasswordEvent = std::function<void(TObject* Sender, bool& Continue)>;
// Replaces the login dialog: fill "USER NAME" and "PASSWORD" of LoginParams.
using TDatabaseLoginEvent = std::function<void(TPvAbsDatabase* Database, TStrings* LoginParams)>;

enum TTransIsolation : uint8_t { tiReadCommitted };

// What a session needs of a dataset bound to it by name (the DRM dataset
// implements it): the session name read and written through its property,
// and written directly while the dataset is being inserted into its owner.
class IPvSessionBoundDataSet {
 public:
  virtual std::string BoundSessionName() const = 0;
  virtual void SetBoundSessionName(const std::string& Value) = 0;
  virtual void StoreBoundSessionName(const std::string& Value) = 0;

 protected:
  ~IPvSessionBoundDataSet() = default;
};

}  // namespace dac
