// The subcommands of dac, the component layer's command-line tool. Each
// takes its options and the output streams and returns the exit status:
// 0 done, 1 failed (the exception's message on the error stream), 3 not
// found. Tables are reached only through sessions, databases and TPvTable.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace dactool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotFound = 3;

// What every table command names.
struct TableOptions {
  std::string Location;  // a path, a Windows-style path or a named database
  std::string Table;
  std::string Index;     // empty: the table's default order
  std::string Fields;    // comma-separated; empty: every field
};

struct BrowseOptions : TableOptions {
  std::string Filter;
  bool Filtered = false;
  std::string FilterOptions;  // comma-separated: ci, nopartial
  std::optional<uint64_t> Limit;
  bool Explain = false;     // print what the filter became before the records
  bool ClientSide = false;  // evaluate the filter on the client only
  // Keyed positioning on the chosen index, values separated by ";": the
  // walk starts at the record found (none found: exit 3) or the nearest.
  std::optional<std::string> FindKey;
  std::optional<std::string> FindNearest;
  // "START;...:END;...": only the records between the two keys.
  std::optional<std::string> Range;
};

struct MasterDetailOptions {
  std::string Location;
  std::string Master;
  std::string Detail;
  std::string MasterIndex;   // the master's order; empty: its default
  std::string MasterFields;  // "F1;F2" of the master
  std::string DetailIndex;   // the detail index whose leading fields they match
};

struct LocateOptions : TableOptions {
  std::string Keys;    // "F1;F2"
  std::string Values;  // "v1;v2"
  bool CaseInsensitive = false;
  bool Partial = false;
  bool ClientSide = false;  // search on the client only
};

struct InsertOptions : TableOptions {
  std::vector<std::string> Assignments;  // "FIELD=VALUE", the value as the field's text
  std::vector<std::string> Nulls;        // fields set to NULL
};

struct UpdateOptions : TableOptions {
  std::string Keys;    // "F1;F2": the record to change
  std::string Values;  // "v1;v2"
  std::vector<std::string> Assignments;
  std::vector<std::string> Nulls;
};

struct DeleteOptions : TableOptions {
  std::string Keys;
  std::string Values;
};

int Browse(const BrowseOptions& Options, std::ostream& Out, std::ostream& Err);
int Locate(const LocateOptions& Options, std::ostream& Out, std::ostream& Err);
// Walks the master table and, through a data source and the detail's
// master link, each master record's details: the lines "master,<fields>"
// and "detail,<fields>" as headers, then each master record ("master,...")
// followed by its details ("detail,...").
int MasterDetail(const MasterDetailOptions& Options, std::ostream& Out, std::ostream& Err);
// Appends one record and prints it as the engine stored it (header line,
// then the record). Fields not named keep their initial values.
int Insert(const InsertOptions& Options, std::ostream& Out, std::ostream& Err);
// Locates the record (exit 3 when there is none), edits the named fields,
// posts and prints the record as stored.
int Update(const UpdateOptions& Options, std::ostream& Out, std::ostream& Err);
// Locates the record (exit 3 when there is none), deletes it and prints what
// it held.
int Delete(const DeleteOptions& Options, std::ostream& Out, std::ostream& Err);

}  // namespace dactool
