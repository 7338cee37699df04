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

  LocateOptions locate;
  auto* locateCommand = app.add_subcommand("locate", "print the first record whose key fields hold the values");
  AddTableOptions(locateCommand, locate);
  locateCommand->add_option("--keys", locate.Keys, "key fields, separated by ';'")->required();
  locateCommand->add_option("--values", locate.Values, "their values, separated by ';'")->required();
  locateCommand->add_flag("--case-insensitive", locate.CaseInsensitive, "compare texts ignoring case");
  locateCommand->add_flag("--partial", locate.Partial, "a text value matches the start of the field");

  InsertOptions insert;
  auto* insertCommand =
      app.add_subcommand("insert", "append one record and print it as stored, as CSV with a header line");
  AddTableOptions(insertCommand, insert);
  insertCommand->add_option("assignments", insert.Assignments, "FIELD=VALUE, the value as the field's text");
  insertCommand->add_option("--null", insert.Nulls, "a field to set to NULL (repeatable)");

  UpdateOptions update;
  auto* updateCommand = app.add_subcommand("update", "locate a record, change fields, post, and print it as stored");
  AddTableOptions(updateCommand, update);
  updateCommand->add_option("--keys", update.Keys, "key fields, separated by ';'")->required();
  updateCommand->add_option("--values", update.Values, "their values, separated by ';'")->required();
  updateCommand->add_option("assignments", update.Assignments, "FIELD=VALUE, the value as the field's text");
  updateCommand->add_option("--null", update.Nulls, "a field to set to NULL (repeatable)");

  DeleteOptions remove;
  auto* deleteCommand = app.add_subcommand("delete", "locate a record, delete it, and print what it held");
  AddTableOptions(deleteCommand, remove);
  deleteCommand->add_option("--keys", remove.Keys, "key fields, separated by ';'")->required();
  deleteCommand->add_option("--values", remove.Values, "their values, separated by ';'")->required();

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
