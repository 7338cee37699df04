// The company lists written straight from the engine's storage with SQLite:
// the reference the export's tests compare with byte for byte, and the
// hand-written program its benchmark races. It shares no code with the
// export: it finds the Company table and its columns in the storage's own
// catalog, selects with one prepared, parameter-bound statement per parent
// and writes the two files itself.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace plainexport {

struct TCompanyRow {
  std::string Number;
  std::string Name;
  bool Inactive = false;
};

class TStatement {
 public:
  TStatement(sqlite3* Db, const std::string& Sql) {
    if (sqlite3_prepare_v2(Db, Sql.c_str(), -1, &FStmt, nullptr) != SQLITE_OK)
      throw std::runtime_error("prepare: " + std::string(sqlite3_errmsg(Db)) + " in " + Sql);
  }
  ~TStatement() { sqlite3_finalize(FStmt); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  sqlite3_stmt* get() const { return FStmt; }
  void Bind(int At, const std::string& Text) {
    sqlite3_bind_text(FStmt, At, Text.data(), static_cast<int>(Text.size()), SQLITE_TRANSIENT);
  }
  void Reset() { sqlite3_reset(FStmt); }
  bool Step() {
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) throw std::runtime_error("step failed");
    return false;
  }
  std::string Text(int Column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, Column));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(FStmt, Column))) : std::string();
  }
  TCompanyRow Row() const { return {Text(0), Text(1), sqlite3_column_int(FStmt, 2) != 0}; }

 private:
  sqlite3_stmt* FStmt = nullptr;
};

class TCompanyStorage {
 public:
  explicit TCompanyStorage(const std::string& StorageFile) {
    if (sqlite3_open_v2(StorageFile.c_str(), &FDb, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
      throw std::runtime_error("cannot open " + StorageFile);
    TStatement table(FDb, "SELECT id FROM drm_tables WHERE name = 'Company'");
    if (!table.Step()) throw std::runtime_error("no Company table in " + StorageFile);
    FTable = "t" + table.Text(0);
    const std::string number = Column(table.Text(0), "Number"), name = Column(table.Text(0), "Name"),
                      inactive = Column(table.Text(0), "InactiveAcct"), agency = Column(table.Text(0), "AgyCode"),
                      hasParent = Column(table.Text(0), "fHasParentCmp"), parent = Column(table.Text(0), "MyParentCmp");
    const std::string fields = "SELECT " + number + ", " + name + ", " + inactive + " FROM " + FTable;
    FParentsSql = fields + " WHERE " + agency + " = ?1 AND " + hasParent + " = 0 ORDER BY " + agency + ", " + number;
    FSubsidiariesSql = fields + " WHERE " + agency + " = ?1 AND " + parent + " = ?2 ORDER BY " + number;
  }
  ~TCompanyStorage() { sqlite3_close(FDb); }
  TCompanyStorage(const TCompanyStorage&) = delete;
  TCompanyStorage& operator=(const TCompanyStorage&) = delete;

  sqlite3* Db() const { return FDb; }
  const std::string& ParentsSql() const { return FParentsSql; }
  const std::string& SubsidiariesSql() const { return FSubsidiariesSql; }

 private:
  std::string Column(const std::string& TableId, const char* Name) {
    TStatement c(FDb, "SELECT col_id FROM drm_columns WHERE table_id = " + TableId + " AND name = '" + Name + "'");
    if (!c.Step()) throw std::runtime_error(std::string("no column ") + Name);
    return "c" + c.Text(0);
  }

  sqlite3* FDb = nullptr;
  std::string FTable, FParentsSql, FSubsidiariesSql;
};

// A name fit for one CSV field: blanks and control characters off both
// ends, every comma and every other control character a space.
inline std::string CsvName(const std::string& Name) {
  size_t first = 0, last = Name.size();
  while (first < last && static_cast<unsigned char>(Name[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(Name[last - 1]) <= 32) --last;
  std::string out = Name.substr(first, last - first);
  for (char& ch : out)
    if (ch == ',' || static_cast<unsigned char>(ch) < 32 || ch == 127) ch = ' ';
  return out;
}

struct TCounts {
  long Parents = 0;
  long Subsidiaries = 0;
};

// Writes both lists for the agency code as stored (" 1", not "1"),
// flushing the coded list where the export does.
inline TCounts WriteCompanyLists(TCompanyStorage& Storage, const std::string& StoredCode,
                                 const std::string& NameList, const std::string& CodedList) {
  FILE* names = std::fopen(NameList.c_str(), "wb");
  FILE* coded = std::fopen(CodedList.c_str(), "wb");
  if (!names || !coded) throw std::runtime_error("cannot create the lists");
  std::fputs("Code,Name, SubCode, SubName, Status\r\n", coded);
  TStatement parents(Storage.Db(), Storage.ParentsSql());
  TStatement subsidiaries(Storage.Db(), Storage.SubsidiariesSql());
  parents.Bind(1, StoredCode);
  TCounts counts;
  while (parents.Step()) {
    const TCompanyRow p = parents.Row();
    const std::string name = CsvName(p.Name);
    std::fprintf(names, "%s,\r\n", name.c_str());
    std::fprintf(coded, "%s,%s,", p.Number.c_str(), name.c_str());
    std::fflush(coded);
    std::fputs(p.Inactive ? ", ,Inactive," : ", ,Active,", coded);
    std::fflush(coded);
    std::fputs("\r\n", coded);
    ++counts.Parents;
    subsidiaries.Reset();
    subsidiaries.Bind(1, StoredCode);
    subsidiaries.Bind(2, p.Number);
    while (subsidiaries.Step()) {
      const TCompanyRow s = subsidiaries.Row();
      const std::string subName = CsvName(s.Name);
      std::fprintf(names, ",%s\r\n", subName.c_str());
      std::fprintf(coded, "%s,%s,%s,%s", p.Number.c_str(), name.c_str(), s.Number.c_str(), subName.c_str());
      std::fflush(coded);
      std::fputs(s.Inactive ? ",Inactive," : ",Active,", coded);
      std::fflush(coded);
      std::fputs("\r\n", coded);
      ++counts.Subsidiaries;
    }
  }
  std::fclose(names);
  std::fclose(coded);
  return counts;
}

}  // namespace plainexport
