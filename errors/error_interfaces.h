#pragma once
// What the error texts need to know about the components they describe.
//
// A message names the table, the session or the database on whose behalf an
// engine call failed. The classes that know those facts (the table component,
// the engine session, the database connection) implement these small
// interfaces alongside their component base; the error code finds them with
// dynamic_cast from TComponent*. A component implementing none of them is
// described by its name and its owner's name only.

#include <cstdint>
#include <string>

namespace dac {

class TComponent;

// A table component: its TableName and DatabaseName properties.
class IPvTableDescription {
 public:
  virtual std::string DescTableName() const = 0;
  virtual std::string DescDatabaseName() const = 0;

 protected:
  ~IPvTableDescription() = default;
};

// An engine session: its SessionName and its engine session handle.
class IPvSessionDescription {
 public:
  virtual std::string DescSessionName() const = 0;
  // The engine session handle as it stands (0 when no engine session
  // exists). Reading it must not begin an engine session: it is read while
  // an error is being reported.
  virtual uint32_t DescSessionHandle() const = 0;

 protected:
  ~IPvSessionDescription() = default;
};

// A database connection: whether a session created it on demand, and the
// datasets attached to it.
class IPvDatabaseDescription {
 public:
  virtual bool DescIsTemporary() const = 0;
  // The first attached dataset, or null when none is attached.
  virtual TComponent* DescFirstDataSet() const = 0;

 protected:
  ~IPvDatabaseDescription() = default;
};

// The root of the application's component tree, searched for the table that
// uses a temporary database which has no dataset attached. The desktop layer
// sets it when the application starts and clears it (null) before the root is
// freed. Null means there is no tree to search.
void SetApplicationRoot(TComponent* root);
TComponent* ApplicationRoot();

}  // namespace dac
