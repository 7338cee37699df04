// Thin RAII wrappers over the engine's C interface for drmcli: a failed call
// throws DrmError carrying the status, its meaning and the engine's
// extended text for it.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/drmcli/values.h"

namespace drmcli {

class DrmError : public std::runtime_error {
 public:
  DrmError(int32_t status, const std::string& call, const std::string& meaning,
           const std::string& extended);
  int32_t Status() const { return FStatus; }
  const std::string& Call() const { return FCall; }
  const std::string& Meaning() const { return FMeaning; }
  const std::string& Extended() const { return FExtended; }

 private:
  int32_t FStatus;
  std::string FCall, FMeaning, FExtended;
};

// The status text of an engine or named-database status ("" when unknown).
std::string StatusMeaning(int32_t status);

// Throws DrmError for a non-zero status. `session` is the session whose
// last failure the extended text describes (0xFFFFFFFF for none).
void Check(int32_t status, uint32_t session, const char* call);

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  uint32_t Handle() const { return FHandle; }
  void Check(int32_t status, const char* call) const { drmcli::Check(status, FHandle, call); }
  void Transact(int32_t operation);

 private:
  uint32_t FHandle = 0;
};

struct IndexSegmentInfo {
  std::string Column;
  uint32_t ColumnId = 0;
  uint32_t Flags = 0;  // 0x1 descending, 0x10000 case-sensitive
};

struct IndexInfo {
  std::string Name;
  uint32_t Flags = 0;  // 0x1 unique, 0x2 primary, 0x10000 case-sensitive
  std::vector<IndexSegmentInfo> Segments;
};

struct TableInfo {
  std::string Name;
  uint32_t Type = 0;
  uint32_t Flags = 0;
};

class Table;

class Database {
 public:
  // Opens the database at a location (a path, Windows-style paths and drive
  // letters included, or a named database) on this computer.
  Database(Session& session, const std::string& location, bool exclusive = false);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  uint32_t Handle() const { return FHandle; }
  Session& Owner() const { return FSession; }

  std::vector<TableInfo> Tables();
  bool HasTable(const std::string& name);
  // Drops the table when it exists.
  void DropTable(const std::string& name);

 private:
  Session& FSession;
  uint32_t FHandle = 0;
};

class Table {
 public:
  // Opens an existing table.
  Table(Database& db, const std::string& name, int32_t mode = 0);
  // Adopts a handle returned by RareCreateTable.
  Table(Database& db, uint32_t handle, std::string name);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  uint32_t Handle() const { return FHandle; }
  const std::string& Name() const { return FName; }

  std::vector<ColumnInfo> Columns();
  std::vector<IndexInfo> Indexes();
  void SetIndex(const std::string& name);
  // false at the end of the data.
  bool Move(uint32_t code);
  // The current record's value of a column as engine bytes; false for NULL.
  bool Read(const ColumnInfo& column, std::string& bytes);
  uint32_t RecordCount();

  void InitInsert();
  void SetValue(const ColumnInfo& column, const std::string& bytes);
  void SetNull(const ColumnInfo& column);
  void Post();
  void Cancel();

 private:
  Database& FDb;
  uint32_t FHandle = 0;
  std::string FName;
  void Check(int32_t status, const char* call) const { FDb.Owner().Check(status, call); }
};

// Walks a catalog result cursor: `row` is called with the cursor handle
// for every row; the cursor is closed afterwards.
void WalkCursor(Session& session, uint32_t cursor, const std::function<void(uint32_t)>& row);

// Reads a text or a 32-bit number of a catalog row.
std::string CatalogText(Session& session, uint32_t cursor, uint32_t columnId);
uint32_t CatalogNumber(Session& session, uint32_t cursor, uint32_t columnId);

}  // namespace drmcli
