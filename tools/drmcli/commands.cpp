#include "tools/drmcli/commands.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <memory>
#include <sstream>

#include "engine/drm.h"
#include "tools/drmcli/csv.h"
#include "tools/drmcli/engine.h"
#include "tools/drmcli/location.h"
#include "tools/drmcli/sample.h"
#include "tools/drmcli/values.h"

namespace drmcli {
namespace {

constexpr uint32_t kNoSession = 0xFFFFFFFFu;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Opens the database of a location, making its folder first when asked.
std::unique_ptr<Database> OpenLocation(Session& s, const std::string& location, bool create) {
  if (create && LooksLikePath(location)) MakeLocationFolder(location);
  return std::make_unique<Database>(s, location);
}

void InsertRow(Table& t, const std::vector<ColumnInfo>& cols, const std::vector<const CsvField*>& values) {
  t.InitInsert();
  try {
    for (size_t i = 0; i < cols.size(); ++i) {
      const CsvField* f = values[i];
      if (!f) continue;  // column not in the file: the engine's initial value stays
      if (f->Text.empty() && !f->Quoted)
        t.SetNull(cols[i]);
      else
        t.SetValue(cols[i], TextToValue(cols[i], f->Text));
    }
    t.Post();
  } catch (...) {
    t.Cancel();
    throw;
  }
}

std::string FlagsText(uint32_t indexFlags) {
  std::string s;
  if (indexFlags & DRM_IDXFLAG_PRIMARY) s += " primary";
  if (indexFlags & DRM_IDXFLAG_UNIQUE) s += " unique";
  s += (indexFlags & DRM_IDXFLAG_CASE_SENSITIVE) ? " case-sensitive" : " case-insensitive";
  return s;
}

std::string SizeText(const ColumnInfo& c) {
  switch (c.Drm()) {
    case DRM_TYPE_DECIMAL:
      return std::to_string(c.Precision) + "," + std::to_string(c.Scale);
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING:
    case DRM_TYPE_BINARY:
    case DRM_TYPE_VARBINARY:
    case DRM_TYPE_LONGTEXT:
    case DRM_TYPE_LONGBINARY:
      return std::to_string(c.CbMax);
    default:
      return "";
  }
}

// Width of a column in a dump: wide enough for most values, capped.
size_t DisplayWidth(const ColumnInfo& c) {
  size_t w;
  switch (c.Drm()) {
    case DRM_TYPE_BOOLEAN: w = 5; break;
    case DRM_TYPE_INT8: w = 4; break;
    case DRM_TYPE_INT16: w = 6; break;
    case DRM_TYPE_INT32: w = 11; break;
    case DRM_TYPE_DATE: w = 10; break;
    case DRM_TYPE_TIME: w = 8; break;
    case DRM_TYPE_TIMESTAMP: w = 19; break;
    case DRM_TYPE_DECIMAL: w = std::max<size_t>(c.Precision, 8) + 2; break;
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE: w = 12; break;
    case DRM_TYPE_TEXT:
    case DRM_TYPE_ZSTRING: w = c.CbMax; break;
    default: w = 24;
  }
  return std::min<size_t>(std::max(w, c.Name.size()), 40);
}

bool Numeric(const ColumnInfo& c) {
  switch (c.Drm()) {
    case DRM_TYPE_INT8:
    case DRM_TYPE_INT16:
    case DRM_TYPE_INT32:
    case DRM_TYPE_CURRENCY:
    case DRM_TYPE_FLOAT:
    case DRM_TYPE_DOUBLE:
    case DRM_TYPE_DECIMAL:
      return true;
    default:
      return false;
  }
}

void ChooseIndex(Table& t, const std::string& index) {
  if (!index.empty()) {
    t.SetIndex(index);
    return;
  }
  auto indexes = t.Indexes();
  if (!indexes.empty()) t.SetIndex(indexes.front().Name);
}

}  // namespace

namespace {

// Creates a table of that name with the schema's columns and indexes; a
// table left half-made by a failure is dropped again.
void BuildTable(Database& db, const std::string& name, const TableSchema& schema) {
  Session& s = db.Owner();
  uint32_t handle = 0;
  s.Check(RareCreateTable(s.Handle(), db.Handle(), name.c_str(), &handle), "RareCreateTable");
  try {
    Table t(db, handle, name);
    for (const ColumnDef& c : schema.Columns) {
      DRM_ColumnStruct cs = ColumnStruct(c);
      uint32_t id = 0;
      s.Check(RareCreateColumn(s.Handle(), t.Handle(), c.Name.c_str(), &cs, &id), "RareCreateColumn");
    }
    for (const IndexDef& ix : schema.Indexes) {
      std::string spec = ix.KeySpec();
      s.Check(RareCreateIndex(s.Handle(), t.Handle(), ix.Name.c_str(), ix.Flags(), spec.data(),
                              static_cast<uint32_t>(spec.size()), 0),
              "RareCreateIndex");
    }
  } catch (...) {
    RareDeleteTable(s.Handle(), db.Handle(), name.c_str());
    throw;
  }
}

// A name no table of the database has, for building a replacement beside
// the table it is to replace.
std::string UnusedTableName(Database& db, const std::string& base) {
  for (int n = 1;; ++n) {
    std::string name = "~" + base.substr(0, 200) + "~new" + (n > 1 ? std::to_string(n) : "");
    if (!db.HasTable(name)) return name;
  }
}

// Whether the table exists, asked without throwing (for failure paths).
bool TableExists(Database& db, const std::string& name) {
  uint32_t t = 0;
  if (RareOpenTable(db.Owner().Handle(), db.Handle(), name.c_str(), 0, DRM_TBLOPEN_READONLY, &t) != 0) return false;
  RareCloseTable(db.Owner().Handle(), t);
  return true;
}

}  // namespace

void CreateTable(Database& db, const TableSchema& schema, bool replace) {
  if (!replace || !db.HasTable(schema.Table)) {
    BuildTable(db, schema.Table, schema);
    return;
  }
  // The replacement is built completely, under a name of its own, before
  // the old table is touched: a schema the engine refuses fails here and
  // leaves the old table and its records as they were.
  const std::string temp = UnusedTableName(db, schema.Table);
  BuildTable(db, temp, schema);
  // Then one transaction drops the old table and renames the new one, so
  // other sessions and a crash see either table, never none.
  Session& s = db.Owner();
  try {
    s.Transact(DRM_TRANS_START);
    db.DropTable(schema.Table);
    {
      Table t(db, temp);
      s.Check(RareRenameTable(t.Handle(), schema.Table.c_str()), "RareRenameTable");
    }
    s.Transact(DRM_TRANS_COMMIT);
  } catch (...) {
    RareSetTransact(s.Handle(), DRM_TRANS_ROLLBACK, "drmcli");
    // The engine replays data definition after a rollback, so whether the
    // old table survived is looked up, not assumed: the replacement goes
    // only while the old table is still there, never both.
    if (TableExists(db, schema.Table)) RareDeleteTable(s.Handle(), db.Handle(), temp.c_str());
    throw;
  }
}

void CmdCreateDb(const std::string& location, std::ostream& out) {
  Session s;
  auto db = OpenLocation(s, location, true);
  out << "Database ready at " << location;
  if (LooksLikePath(location)) out << " (folder " << LocalFolder(location) << ")";
  out << "\n";
}

void CmdCreateTable(const std::string& location, const std::string& schemaFile, bool replace,
                    std::ostream& out) {
  TableSchema schema = ParseSchema(ReadFile(schemaFile));
  Session s;
  Database db(s, location);
  CreateTable(db, schema, replace);
  out << "Created table " << schema.Table << " with " << schema.Columns.size() << " columns and "
      << schema.Indexes.size() << " indexes\n";
}

void CmdImportCsv(const std::string& location, const std::string& table, const std::string& file,
                  std::ostream& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file + ": " + std::strerror(errno));
  Session s;
  Database db(s, location);
  Table t(db, table);
  std::vector<ColumnInfo> cols = t.Columns();
  CsvReader reader(in);
  std::vector<CsvField> header;
  if (!reader.Next(header)) throw std::runtime_error(file + " is empty: a header line is needed");
  // Spreadsheets often start UTF-8 files with a byte-order mark.
  if (header[0].Text.rfind("\xEF\xBB\xBF", 0) == 0) header[0].Text.erase(0, 3);
  // Position in the record of each table column, or -1 when the file lacks it.
  std::vector<int> where(cols.size(), -1);
  for (size_t h = 0; h < header.size(); ++h) {
    auto exact = std::find_if(cols.begin(), cols.end(), [&](const ColumnInfo& c) { return c.Name == header[h].Text; });
    if (exact == cols.end())
      throw std::runtime_error(file + ": the header names column \"" + header[h].Text + "\", which " +
                               table + " does not have");
    size_t i = static_cast<size_t>(exact - cols.begin());
    if (where[i] >= 0) throw std::runtime_error(file + ": column \"" + header[h].Text + "\" appears twice in the header");
    where[i] = static_cast<int>(h);
  }
  uint64_t count = 0;
  s.Transact(DRM_TRANS_START);
  try {
    std::vector<CsvField> record;
    std::vector<const CsvField*> values(cols.size());
    while (reader.Next(record)) {
      if (record.size() == 1 && record[0].Text.empty() && !record[0].Quoted && header.size() > 1)
        continue;  // blank line
      size_t line = reader.RecordLine();
      if (record.size() != header.size())
        throw std::runtime_error(file + " line " + std::to_string(line) + ": " +
                                 std::to_string(record.size()) + " fields, the header has " +
                                 std::to_string(header.size()));
      for (size_t i = 0; i < cols.size(); ++i)
        values[i] = where[i] >= 0 ? &record[static_cast<size_t>(where[i])] : nullptr;
      try {
        InsertRow(t, cols, values);
      } catch (const DrmError& e) {
        throw DrmError(e.Status(), file + " line " + std::to_string(line) + ": " + e.Call(),
                       e.Meaning(), e.Extended());
      } catch (const ValueError& e) {
        throw ValueError(file + " line " + std::to_string(line) + ": " + e.what());
      }
      ++count;
    }
    s.Transact(DRM_TRANS_COMMIT);
  } catch (...) {
    RareSetTransact(s.Handle(), DRM_TRANS_ROLLBACK, "drmcli");
    throw;
  }
  out << "Imported " << count << " records into " << table << "\n";
}

void CmdExportCsv(const std::string& location, const std::string& table, const std::string& file,
                  const std::string& index, std::ostream& out) {
  Session s;
  Database db(s, location);
  Table t(db, table, DRM_TBLOPEN_READONLY);
  ChooseIndex(t, index);
  std::vector<ColumnInfo> cols = t.Columns();
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot create " + file + ": " + std::strerror(errno));
  std::vector<CsvField> record;
  for (const ColumnInfo& c : cols) record.push_back({c.Name, false});
  f << CsvRecord(record);
  uint64_t count = 0;
  std::string bytes;
  for (bool more = t.Move(DRM_MOVE_FIRST); more; more = t.Move(DRM_MOVE_NEXT)) {
    for (size_t i = 0; i < cols.size(); ++i) {
      if (t.Read(cols[i], bytes)) {
        record[i].Text = ValueToText(cols[i], bytes);
        record[i].Quoted = record[i].Text.empty();  // "" is an empty text, nothing is NULL
      } else {
        record[i] = CsvField();
      }
    }
    f << CsvRecord(record);
    ++count;
  }
  f.flush();
  if (!f) throw std::runtime_error("cannot write " + file);
  out << "Exported " << count << " records of " << table << " to " << file << "\n";
}

void CmdTables(const std::string& location, bool all, std::ostream& out) {
  Session s;
  Database db(s, location);
  for (const TableInfo& t : db.Tables()) {
    bool system = (t.Flags & DRM_TABLEFLAG_SYSTEM) != 0;
    if (system && !all) continue;
    out << t.Name << (system ? "  (system)" : "") << "\n";
  }
}

void CmdDescribe(const std::string& location, const std::string& table, std::ostream& out) {
  Session s;
  Database db(s, location);
  Table t(db, table, DRM_TBLOPEN_READONLY);
  std::vector<ColumnInfo> cols = t.Columns();
  out << "Table " << table << ": " << t.RecordCount() << " records\n\nColumns:\n";
  size_t nameWidth = 4;
  for (const ColumnInfo& c : cols) nameWidth = std::max(nameWidth, c.Name.size());
  out << "  " << std::left << std::setw(4) << "id" << std::setw(static_cast<int>(nameWidth) + 2) << "name"
      << std::setw(16) << "type" << std::setw(8) << "size" << "flags\n";
  for (const ColumnInfo& c : cols) {
    std::string flags = (c.GrBit & DRM_COLFLAG_REQUIRED) ? "required" : "";
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", c.ColTyp);
    out << "  " << std::setw(4) << c.Id << std::setw(static_cast<int>(nameWidth) + 2) << c.Name
        << std::setw(16) << TypeName(c.ColTyp) << std::setw(8) << SizeText(c) << code
        << (flags.empty() ? "" : " " + flags) << "\n";
  }
  auto indexes = t.Indexes();
  out << "\nIndexes:\n";
  if (indexes.empty()) out << "  (none)\n";
  for (const IndexInfo& ix : indexes) {
    out << "  " << ix.Name << ":";
    for (size_t i = 0; i < ix.Segments.size(); ++i) {
      const IndexSegmentInfo& seg = ix.Segments[i];
      out << (i ? ", " : " ") << ((seg.Flags & DRM_SEGFLAG_DESCENDING) ? "-" : "+") << seg.Column;
    }
    out << "  [" << FlagsText(ix.Flags).substr(1) << "]\n";
  }
}

void CmdDump(const std::string& location, const std::string& table, const std::string& index,
             std::optional<uint64_t> limit, std::ostream& out) {
  Session s;
  Database db(s, location);
  Table t(db, table, DRM_TBLOPEN_READONLY);
  ChooseIndex(t, index);
  std::vector<ColumnInfo> cols = t.Columns();
  // A short dump is laid out to fit its values; a long one streams with
  // widths taken from the column types.
  const bool buffered = limit && *limit <= 10000;
  std::vector<size_t> width;
  for (const ColumnInfo& c : cols) width.push_back(buffered ? c.Name.size() : DisplayWidth(c));
  auto line = [&](const std::vector<std::string>& cells) {
    std::string l;
    for (size_t i = 0; i < cells.size(); ++i) {
      std::string cell = cells[i];
      size_t pad = cell.size() < width[i] ? width[i] - cell.size() : 0;
      if (Numeric(cols[i])) cell.insert(0, pad, ' ');
      else if (i + 1 < cells.size()) cell.append(pad, ' ');
      l += (i ? "  " : "") + cell;
    }
    while (!l.empty() && l.back() == ' ') l.pop_back();
    out << l << "\n";
  };
  std::vector<std::string> names;
  for (const ColumnInfo& c : cols) names.push_back(c.Name);
  std::vector<std::vector<std::string>> rows;
  auto head = [&] {
    line(names);
    std::vector<std::string> rule;
    for (size_t w : width) rule.emplace_back(w, '-');
    line(rule);
  };
  if (!buffered) head();
  uint64_t count = 0;
  std::string bytes;
  std::vector<std::string> cells(cols.size());
  for (bool more = !limit || *limit > 0 ? t.Move(DRM_MOVE_FIRST) : false; more;) {
    for (size_t i = 0; i < cols.size(); ++i)
      cells[i] = t.Read(cols[i], bytes) ? ValueToText(cols[i], bytes) : "(null)";
    if (buffered) {
      for (size_t i = 0; i < cells.size(); ++i) width[i] = std::max(width[i], cells[i].size());
      rows.push_back(cells);
    } else {
      line(cells);
    }
    if (limit && ++count >= *limit) break;
    if (!limit) ++count;
    more = t.Move(DRM_MOVE_NEXT);
  }
  if (buffered) {
    head();
    for (const auto& r : rows) line(r);
  }
  out << "(" << count << (count == 1 ? " record" : " records");
  uint32_t total = t.RecordCount();
  if (total != count) out << " of " << total;
  out << ")\n";
}

// ---- Named databases ----------------------------------------------------------

void CmdDbNamesList(std::ostream& out) {
  uint32_t need = 0;
  std::string buf(4096, '\0');
  int32_t st = RareListDatabaseNames(buf.data(), static_cast<uint32_t>(buf.size()), &need);
  if (st == DRM_ERR_BUFFER_TOO_SMALL) {
    buf.assign(need, '\0');
    st = RareListDatabaseNames(buf.data(), static_cast<uint32_t>(buf.size()), &need);
  }
  Check(st, kNoSession, "RareListDatabaseNames");
  // The names, each NUL-terminated, then one more NUL.
  for (size_t p = 0; p < buf.size() && buf[p]; ) {
    std::string name(buf.c_str() + p);
    p += name.size() + 1;
    out << name << "\n";
  }
}

void CmdDbNamesAdd(const std::string& name, const std::string& dictPath,
                   const std::string& dataPath, const DbNameFlags& flags, std::ostream& out) {
  uint8_t rec[10] = {};
  rec[0] = flags.Bound ? 1 : 0;
  rec[1] = flags.Integrity ? 1 : 0;
  rec[2] = flags.CreateDictionary ? 1 : 0;
  const std::string& data = dataPath.empty() ? dictPath : dataPath;
  if (dictPath.size() >= 0xFFFF || data.size() >= 0xFFFF) throw std::runtime_error("path too long");
  Check(SQLAddDatabaseName2(name.c_str(), rec, static_cast<uint16_t>(dictPath.size() + 1), dictPath.c_str(),
                            static_cast<uint16_t>(data.size() + 1), data.c_str(), 0, "", ""),
        kNoSession, "SQLAddDatabaseName2");
  out << "Added named database " << name << "\n";
}

void CmdDbNamesShow(const std::string& name, std::ostream& out) {
  uint8_t flags[10] = {};
  char dict[513] = {}, data[513] = {};
  uint16_t dictSize = sizeof dict, dataSize = sizeof data;
  Check(SQLGetDatabaseInfo2(name.c_str(), flags, &dictSize, dict, &dataSize, data, "", ""), kNoSession,
        "SQLGetDatabaseInfo2");
  out << "name:        " << name << "\n"
      << "dictionary:  " << std::string(dict, strnlen(dict, sizeof dict)) << "\n"
      << "data:        " << std::string(data, strnlen(data, sizeof data)) << "\n"
      << "bound:       " << (flags[0] ? "yes" : "no") << "\n"
      << "integrity:   " << (flags[1] ? "yes" : "no") << "\n";
}

void CmdDbNamesDrop(const std::string& name, std::ostream& out) {
  Check(SQLDropDatabaseName2(name.c_str(), 0, "", ""), kNoSession, "SQLDropDatabaseName2");
  out << "Dropped named database " << name << "\n";
}

// ---- Sample -----------------------------------------------------------------------

void CmdSampleCompany(const std::string& location, uint32_t records, uint64_t seed, std::ostream& out) {
  TableSchema schema = CompanySchema();
  std::vector<CompanyRow> rows = GenerateCompanies(records, seed);
  Session s;
  auto db = OpenLocation(s, location, true);
  CreateTable(*db, schema, true);
  Table t(*db, schema.Table);
  std::vector<ColumnInfo> cols = t.Columns();
  // Catalog columns by the schema's order (the catalog lists them in
  // creation order, but look them up by name to be safe).
  std::vector<ColumnInfo> ordered;
  for (const ColumnDef& c : schema.Columns) {
    auto it = std::find_if(cols.begin(), cols.end(), [&](const ColumnInfo& k) { return k.Name == c.Name; });
    if (it == cols.end()) throw std::runtime_error("column " + c.Name + " missing after creation");
    ordered.push_back(*it);
  }
  s.Transact(DRM_TRANS_START);
  try {
    std::vector<CsvField> fields(ordered.size());
    std::vector<const CsvField*> values(ordered.size());
    for (const CompanyRow& r : rows) {
      std::vector<std::string> texts = CompanyValues(r);
      for (size_t i = 0; i < ordered.size(); ++i) {
        fields[i] = CsvField{texts[i], true};  // empty texts stay texts, not NULL
        values[i] = &fields[i];
      }
      InsertRow(t, ordered, values);
    }
    s.Transact(DRM_TRANS_COMMIT);
  } catch (...) {
    RareSetTransact(s.Handle(), DRM_TRANS_ROLLBACK, "drmcli");
    throw;
  }
  const auto parents = static_cast<size_t>(
      std::count_if(rows.begin(), rows.end(), [](const CompanyRow& r) { return !r.fHasParentCmp; }));
  out << "Created table Company with " << rows.size() << " records (" << parents << " parents, "
      << rows.size() - parents << " subsidiaries; seed " << seed << ") at " << location;
  if (LooksLikePath(location)) out << " (folder " << LocalFolder(location) << ")";
  out << "\n";
}

}  // namespace drmcli
