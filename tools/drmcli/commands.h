// The work behind each drmcli subcommand. Every function writes its report
// to `out` and throws on failure (DrmError for engine statuses, SchemaError,
// ValueError, CsvError or std::runtime_error otherwise).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "tools/drmcli/schema.h"

namespace drmcli {

class Database;

void CmdCreateDb(const std::string& location, std::ostream& out);
void CmdCreateTable(const std::string& location, const std::string& schemaFile, bool replace,
                    std::ostream& out);
void CmdImportCsv(const std::string& location, const std::string& table, const std::string& file,
                  std::ostream& out);
void CmdExportCsv(const std::string& location, const std::string& table, const std::string& file,
                  const std::string& index, std::ostream& out);
void CmdTables(const std::string& location, bool all, std::ostream& out);
void CmdDescribe(const std::string& location, const std::string& table, std::ostream& out);
// `index` empty: the table's first index (physical order when it has none).
void CmdDump(const std::string& location, const std::string& table, const std::string& index,
             std::optional<uint64_t> limit, std::ostream& out);

struct DbNameFlags {
  bool Bound = false;
  bool Integrity = false;
  bool CreateDictionary = false;
};
void CmdDbNamesList(std::ostream& out);
void CmdDbNamesAdd(const std::string& name, const std::string& dictPath,
                   const std::string& dataPath, const DbNameFlags& flags, std::ostream& out);
void CmdDbNamesShow(const std::string& name, std::ostream& out);
void CmdDbNamesDrop(const std::string& name, std::ostream& out);

void CmdSampleCompany(const std::string& location, uint32_t records, uint64_t seed,
                      std::ostream& out);

// Creates a table from a schema in an open database. With `replace`, an
// existing table of that name is replaced: the new table is built first
// under another name and swapped in by one transaction, so a failure
// leaves the old table and its records untouched. A table left half-made
// by a failure is dropped again.
void CreateTable(Database& db, const TableSchema& schema, bool replace);

}  // namespace drmcli
