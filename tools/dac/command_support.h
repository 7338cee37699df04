// What the dac commands share: the usage error (exit 2), the guard that
// turns a command's failure into a message and an exit status, opening the
// table a command names, and the key values of --keys/--values.
#pragma once

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/object.h"
#include "platform/rtl/variant.h"
#include "tools/dac/commands.h"

namespace dac {
class TPvTable;
}

namespace dactool {

// Options the tool cannot make sense of (exit 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Failures the application's handler has shown so far: the component layer
// hands it some failures and goes on (a filter that cannot be evaluated for
// a record lets the record through).
int32_t HandledFailures();

// Runs a command body, turning its failure into a message on Err and the
// exit status: 2 for a usage error, 1 for any other failure, and 1 as well
// when the layer showed failures while the command went on, since what it
// printed is then not what was asked for.
template <class Body>
int Guarded(std::ostream& Err, Body&& body) {
  const int32_t shownBefore = HandledFailures();
  try {
    const int status = body();
    const int32_t shown = HandledFailures() - shownBefore;
    if (status != kExitOk || shown == 0) return status;
    Err << "dac: " << shown << (shown == 1 ? " failure was" : " failures were")
        << " shown while the command ran; what it printed is not to be trusted\n";
    return kExitFailed;
  } catch (const UsageError& e) {
    Err << "dac: " << e.what() << '\n';
    return kExitUsage;
  } catch (const dac::Exception& e) {
    Err << e.Message() << '\n';
    return kExitFailed;
  } catch (const std::exception& e) {
    Err << e.what() << '\n';
    return kExitFailed;
  }
}

std::vector<std::string> Split(const std::string& Text, char Separator);

// The table the options name, opened (BeforeOpen runs first when given).
dac::TFreePtr<dac::TPvTable> OpenTable(const TableOptions& Options,
                                       const std::function<void(dac::TPvTable*)>& BeforeOpen = nullptr);

// The values of --values for the fields of --keys, as Locate takes them: one
// value for one field, a variant array for several. A count that differs
// from the fields' is a usage error.
dac::Variant KeyValues(const std::string& Keys, const std::string& Values);

// Applies the browse options --range, --find-key and --find-nearest (in
// that order); false when --find-key found no record. With none of them
// the table is on its first record.
bool PositionByKeys(dac::TPvTable* Table, const BrowseOptions& Options);

}  // namespace dactool
