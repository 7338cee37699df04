// drmcli: the record engine's command-line tool.
#include <CLI/CLI.hpp>

#include <iostream>

#include "tools/drmcli/commands.h"
#include "tools/drmcli/location.h"
#include "tools/drmcli/csv.h"
#include "tools/drmcli/engine.h"
#include "tools/drmcli/schema.h"
#include "tools/drmcli/values.h"

namespace {

// The export reads its companies here unless told otherwise.
const char* const kDefaultLocation = "S:\\ORVANE\\DATA\\SQLTABLE";

}  // namespace

int main(int argc, char** argv) {
  using namespace drmcli;
  CLI::App app{"drmcli - the record engine's command-line tool"};
  app.require_subcommand(1);

  std::string location, table, file, schemaFile, index, name, dictPath, dataPath;
  bool replace = false, all = false;
  std::optional<uint64_t> limit;
  DbNameFlags flags;
  uint32_t records = 500;
  uint64_t seed = 1;

  auto* createDb = app.add_subcommand("create-db", "create a database at a location (making its folder)");
  createDb->add_option("location", location, "path, Windows-style path or named database")->required();

  auto* createTable = app.add_subcommand("create-table", "create a table from a JSON schema");
  createTable->add_option("location", location)->required();
  createTable->add_option("schema", schemaFile, "JSON schema file")->required()->check(CLI::ExistingFile);
  createTable->add_flag("--replace", replace, "replace an existing table of that name (kept when the new one fails)");

  auto* importCsv = app.add_subcommand("import-csv", "append the records of a CSV file (header line of column names)");
  importCsv->add_option("location", location)->required();
  importCsv->add_option("table", table)->required();
  importCsv->add_option("file", file)->required()->check(CLI::ExistingFile);

  auto* exportCsv = app.add_subcommand("export-csv", "write a table to a CSV file in index order");
  exportCsv->add_option("location", location)->required();
  exportCsv->add_option("table", table)->required();
  exportCsv->add_option("file", file)->required();
  exportCsv->add_option("--index", index, "index giving the order (default: the first index)");

  auto* tables = app.add_subcommand("tables", "list the tables of a database");
  tables->add_option("location", location)->required();
  tables->add_flag("--all", all, "include system tables");

  auto* describe = app.add_subcommand("describe", "show a table's columns and indexes");
  describe->add_option("location", location)->required();
  describe->add_option("table", table)->required();

  auto* dump = app.add_subcommand("dump", "print records in index order");
  dump->add_option("location", location)->required();
  dump->add_option("table", table)->required();
  dump->add_option("--index", index, "index giving the order (default: the first index)");
  dump->add_option("--limit", limit, "print at most this many records");

  auto* dbnames = app.add_subcommand("dbnames", "manage named databases");
  dbnames->require_subcommand(1);
  auto* dbList = dbnames->add_subcommand("list", "list the named databases");
  auto* dbAdd = dbnames->add_subcommand("add", "define a named database");
  dbAdd->add_option("name", name)->required();
  dbAdd->add_option("--dict", dictPath, "dictionary path")->required();
  dbAdd->add_option("--data", dataPath, "data path (default: the dictionary path)");
  dbAdd->add_flag("--bound", flags.Bound);
  dbAdd->add_flag("--integrity", flags.Integrity);
  dbAdd->add_flag("--create-dict", flags.CreateDictionary, "create the dictionary");
  auto* dbShow = dbnames->add_subcommand("show", "show a named database");
  dbShow->add_option("name", name)->required();
  auto* dbDrop = dbnames->add_subcommand("drop", "remove a named database (its files stay)");
  dbDrop->add_option("name", name)->required();

  auto* localPath = app.add_subcommand("local-path", "print the local path a location or file path maps to");
  localPath->add_option("location", location, "path or Windows-style path")->required();

  auto* sample = app.add_subcommand("sample", "create sample tables");
  sample->require_subcommand(1);
  auto* company = sample->add_subcommand("company", "create the Company table of parents and subsidiaries");
  location = kDefaultLocation;
  company->add_option("--location", location, "database location")->capture_default_str();
  company->add_option("--records", records, "number of companies")->capture_default_str()->check(CLI::Range(1u, 100000000u));
  company->add_option("--seed", seed, "seed of the generator")->capture_default_str();

  CLI11_PARSE(app, argc, argv);

  try {
    std::ostream& out = std::cout;
    if (*createDb) CmdCreateDb(location, out);
    else if (*createTable) CmdCreateTable(location, schemaFile, replace, out);
    else if (*importCsv) CmdImportCsv(location, table, file, out);
    else if (*exportCsv) CmdExportCsv(location, table, file, index, out);
    else if (*tables) CmdTables(location, all, out);
    else if (*describe) CmdDescribe(location, table, out);
    else if (*dump) CmdDump(location, table, index, limit, out);
    else if (*dbList) CmdDbNamesList(out);
    else if (*dbAdd) CmdDbNamesAdd(name, dictPath, dataPath, flags, out);
    else if (*dbShow) CmdDbNamesShow(name, out);
    else if (*dbDrop) CmdDbNamesDrop(name, out);
    else if (*company) CmdSampleCompany(location, records, seed, out);
    else if (*localPath) out << LocalFolder(location) << "\n";
    return 0;
  } catch (const DrmError& e) {
    std::cerr << "drmcli: " << e.Call() << " failed: status " << e.Status();
    if (!e.Meaning().empty()) std::cerr << " (" << e.Meaning() << ")";
    std::cerr << "\n";
    if (!e.Extended().empty()) std::cerr << "drmcli: engine says: " << e.Extended() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "drmcli: " << e.what() << "\n";
    return 1;
  }
}
