#pragma once
// The three status-to-message tables: engine statuses, statuses of the
// engine client's named-database calls, and statuses of the administration
// library (or of its run-time binding).

#include <cstdint>
#include <span>

namespace dac {

struct TStatusText {
  int32_t Status;
  const char* Text;
};

// Whole tables, in the order they are kept (tests and tools walk them).
std::span<const TStatusText> DrmStatusTable();
std::span<const TStatusText> DbNamesStatusTable();
std::span<const TStatusText> DtiStatusTable();

// The engine status text; empty for a status that has none.
const char* DrmStatusText(int32_t status);
// The named-database status text, or nullptr for a status not in the table.
const char* DbNamesStatusText(int32_t status);
// The administration status text, or nullptr for a status not in the table.
const char* DtiStatusText(int32_t status);

}  // namespace dac
