// dac: the component layer's command-line tool. Every table it shows is
// reached through a session, a database and a TPvTable, exactly as an
// application reaches it. Exit status: 0 done, 1 failed (the message on
// standard error), 2 bad usage, 3 not found.
#include <CLI/CLI.hpp>

#include <iostream>

#include "sessions/session_list.h"
#include "tools/dac/commands.h"

namespace {

void AddTableOptions(CLI::App* command, dactool::TableOptions& options) {
  command->add_option("location", options.Location, "path, Windows-style path or named database")->required();
  command->add_option("table", options.Table, "table name")->required();
  command->add_option("--index", options.Index, "index giving the order");
  command->add_option("--fields", options.Fields, "comma-separated fields to print (default: all)");
}

// The record a command changes or finds: --keys and --values.
template <class O>
void AddKeyOptions(CLI::App* command, O& options) {
  command->add_option("--keys", options.Keys, "key fields, separated by ';'")->required();
  command->add_option("--values", options.Values, "their values, separated by ';'")->required();
}

// The fields a command assigns: FIELD=VALUE arguments and --null.
template <class O>
void AddAssignmentOptions(CLI::App* command, O& options) {
  command->add_option("assignments", options.Assignments, "FIELD=VALUE, the value as the field's text");
  command->add_option("--null", options.Nulls, "a field to set to NULL (repeatable)");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace dactool;
  CLI::App app{"dac - tables, filters and keys through the data-access component layer"};
  app.require_subcommand(1);

  BrowseOptions browse;
  auto* browseCommand = app.add_subcommand("browse", "print the records a table shows, as CSV with a header line");
  AddTableOptions(browseCommand, browse);
  browseCommand->add_option("--filter", browse.Filter, "filter expression");
  browseCommand->add_option("--filter-options", browse.FilterOptions, "comma-separated: ci, nopartial");
  browseCommand->add_option("--limit", browse.Limit, "print at most this many records");
  browseCommand->add_flag("--explain", browse.Explain,
                          "print first which terms and filter keys went to the engine and what the client evaluates");
  browseCommand->add_flag("--client-side", browse.ClientSide, "evaluate the filter on the client only (for comparison)");
  browseCommand->add_option("--find-key", browse.FindKey, "start at the record whose index fields hold V1;V2");
  browseCommand->add_option("--find-nearest", browse.FindNearest, "start at the first record at or after V1;V2");
  browseCommand->add_option("--range", browse.Range, "only the records from START;... to END;... on the index");

  MasterDetailOptions masterDetail;
  auto* masterDetailCommand = app.add_subcommand(
      "master-detail", "print each master record followed by its detail records, as CSV marked master/detail");
  masterDetailCommand->add_option("location", masterDetail.Location, "path, Windows-style path or named database")
      ->required();
  masterDetailCommand->add_option("master", masterDetail.Master, "master table")->required();
  masterDetailCommand->add_option("detail", masterDetail.Detail, "detail table")->required();
  masterDetailCommand->add_option("--master-fields", masterDetail.MasterFields, "master fields, separated by ';'")
      ->required();
  masterDetailCommand->add_option("--detail-index", masterDetail.DetailIndex, "detail index they match")->required();
  masterDetailCommand->add_option("--master-index", masterDetail.MasterIndex, "index giving the master's order");

  LocateOptions locate;
  auto* locateCommand = app.add_subcommand("locate", "print the first record whose key fields hold the values");
  AddTableOptions(locateCommand, locate);
  AddKeyOptions(locateCommand, locate);
  locateCommand->add_flag("--case-insensitive", locate.CaseInsensitive, "compare texts ignoring case");
  locateCommand->add_flag("--partial", locate.Partial, "a text value matches the start of the field");
  locateCommand->add_flag("--client-side", locate.ClientSide, "search on the client only (for comparison)");

  InsertOptions insert;
  auto* insertCommand =
      app.add_subcommand("insert", "append one record and print it as stored, as CSV with a header line");
  AddTableOptions(insertCommand, insert);
  AddAssignmentOptions(insertCommand, insert);

  UpdateOptions update;
  auto* updateCommand = app.add_subcommand("update", "locate a record, change fields, post, and print it as stored");
  AddTableOptions(updateCommand, update);
  AddKeyOptions(updateCommand, update);
  AddAssignmentOptions(updateCommand, update);

  DeleteOptions remove;
  auto* deleteCommand = app.add_subcommand("delete", "locate a record, delete it, and print what it held");
  AddTableOptions(deleteCommand, remove);
  AddKeyOptions(deleteCommand, remove);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? kExitOk : kExitUsage;
  }

  dac::InitializeSessions();
  int status = kExitFailed;
  if (browseCommand->parsed())
    status = Browse(browse, std::cout, std::cerr);
  else if (masterDetailCommand->parsed())
    status = MasterDetail(masterDetail, std::cout, std::cerr);
  else if (locateCommand->parsed())
    status = Locate(locate, std::cout, std::cerr);
  else if (insertCommand->parsed())
    status = Insert(insert, std::cout, std::cerr);
  else if (updateCommand->parsed())
    status = Update(update, std::cout, std::cerr);
  else if (deleteCommand->parsed())
    status = Delete(remove, std::cout, std::cerr);
  dac::FinalizeSessions();
  return status;
}
