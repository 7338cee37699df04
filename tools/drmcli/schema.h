// Table schemas as drmcli reads them from JSON, and the engine's column
// type codes behind the type names a schema may use.
//
//   { "table": "Company",
//     "columns": [ { "name": "Number", "type": "string", "size": 10,
//                    "required": true },
//                  { "name": "Rate", "type": "decimal", "precision": 9,
//                    "scale": 2, "default": "0" },
//                  { "name": "Name", "type": "zstring", "size": 40,
//                    "case-insensitive": true } ],
//     "indexes": [ { "name": "byNumber", "fields": ["Number"],
//                    "unique": true, "primary": true },
//                  { "name": "byName", "fields": ["Name", "-Number"],
//                    "case-insensitive": true } ] }
//
// A field name prefixed with '-' is a descending segment ('+' ascending,
// the default). Indexes are case-sensitive unless "case-insensitive" says
// otherwise. Unknown keys are errors, so that a misspelt "requried" cannot
// silently create an optional column.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/drm.h"

namespace drmcli {

class SchemaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One type name of the schema language.
struct TypeInfo {
  const char* Name;
  uint32_t ColTyp;       // record-manager type << 8 | DRM type
  uint32_t FixedCbMax;   // size sent at creation; 0: taken from "size"
  bool NeedsSize;        // "size" is mandatory
  bool NeedsPrecision;   // "precision" is mandatory
  uint16_t Precision;    // fixed precision and scale where the type has them
  uint16_t Scale;
};

// The type of a name (without regard to case), or nullptr.
const TypeInfo* FindType(const std::string& name);
// A readable type name for a column type code as the catalog reports it.
std::string TypeName(uint32_t colTyp);
// Every type name, for help texts.
std::vector<std::string> TypeNames();

struct ColumnDef {
  std::string Name;
  std::string Type;  // schema type name
  uint32_t ColTyp = 0;
  uint32_t CbMax = 0;
  uint16_t Precision = 0;
  uint16_t Scale = 0;
  bool Required = false;
  bool CaseInsensitive = false;
  std::optional<std::string> Default;
};

struct IndexSegmentDef {
  std::string Column;
  bool Descending = false;
};

struct IndexDef {
  std::string Name;
  std::vector<IndexSegmentDef> Segments;
  bool Unique = false;
  bool Primary = false;
  bool CaseInsensitive = false;

  uint32_t Flags() const;
  // The engine's key description: "+A\0-B\0\0".
  std::string KeySpec() const;
};

struct TableSchema {
  std::string Table;
  std::vector<ColumnDef> Columns;
  std::vector<IndexDef> Indexes;

  const ColumnDef* FindColumn(const std::string& name) const;
};

// Parses and checks a schema; SchemaError names what is wrong and where.
TableSchema ParseSchema(const std::string& jsonText);

// Builds a column definition from a type name and its size, checking them
// the way ParseSchema does (used by the sample table as well).
ColumnDef MakeColumn(const std::string& name, const std::string& type, uint32_t size = 0,
                     uint16_t precision = 0, uint16_t scale = 0);

// Checks the cross references of a schema built in code or parsed: unique
// column and index names, known index fields, one primary index, no long
// columns in an index.
void ValidateSchema(const TableSchema& schema);

// The engine's column descriptor; `collation` and `defaultText` must outlive it.
DRM_ColumnStruct ColumnStruct(const ColumnDef& column);

}  // namespace drmcli
