#include "tools/drmcli/schema.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <set>

namespace drmcli {
namespace {

using nlohmann::json;

// Sizes sent at creation follow what the component layer sends for the same
// kinds of field, so that tables made here look like tables made there.
const TypeInfo kTypes[] = {
    {"string", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_TEXT), 0, true, false, 0, 0},
    {"zstring", DRM_COLTYP(RM_TYPE_ZSTRING, DRM_TYPE_ZSTRING), 0, true, false, 0, 0},
    {"int8", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT8), 1, false, false, 0, 0},
    {"uint8", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT8), 1, false, false, 0, 0},
    {"int16", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT16), 2, false, false, 0, 0},
    {"uint16", DRM_COLTYP(RM_TYPE_UNSIGNED, DRM_TYPE_INT16), 2, false, false, 0, 0},
    {"int32", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_INT32), 4, false, false, 0, 0},
    {"int64", DRM_COLTYP(RM_TYPE_INTEGER, DRM_TYPE_DECIMAL), 8, false, false, 19, 0},
    {"autoinc", DRM_COLTYP(RM_TYPE_AUTOINC, DRM_TYPE_INT32), 4, false, false, 0, 0},
    {"bool", DRM_COLTYP(RM_TYPE_LOGICAL, DRM_TYPE_BOOLEAN), 1, false, false, 0, 0},
    {"float", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_FLOAT), 4, false, false, 0, 0},
    {"double", DRM_COLTYP(RM_TYPE_FLOAT, DRM_TYPE_DOUBLE), 8, false, false, 0, 0},
    {"date", DRM_COLTYP(RM_TYPE_DATE, DRM_TYPE_DATE), 4, false, false, 0, 0},
    {"time", DRM_COLTYP(RM_TYPE_TIME, DRM_TYPE_TIME), 4, false, false, 0, 0},
    {"timestamp", DRM_COLTYP(RM_TYPE_TIMESTAMP, DRM_TYPE_TIMESTAMP), 8, false, false, 0, 0},
    {"decimal", DRM_COLTYP(RM_TYPE_NUMERIC, DRM_TYPE_DECIMAL), 0, false, true, 0, 0},
    {"currency", DRM_COLTYP(RM_TYPE_CURRENCY, DRM_TYPE_DECIMAL), 8, false, false, 19, 4},
    {"memo", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGTEXT), 0, false, false, 0, 0},
    {"note", DRM_COLTYP(RM_TYPE_NOTE, DRM_TYPE_LONGTEXT), 0, true, false, 0, 0},
    {"blob", DRM_COLTYP(RM_TYPE_BLOB, DRM_TYPE_LONGBINARY), 0, false, false, 0, 0},
    {"bytes", DRM_COLTYP(RM_TYPE_STRING, DRM_TYPE_BINARY), 0, true, false, 0, 0},
    {"varbytes", DRM_COLTYP(RM_TYPE_LVAR, DRM_TYPE_VARBINARY), 0, true, false, 0, 0},
};

struct Alias {
  const char* Alias;
  const char* Name;
};
const Alias kAliases[] = {
    {"char", "string"},       {"byte", "uint8"},         {"smallint", "int16"},
    {"word", "uint16"},       {"int", "int32"},          {"integer", "int32"},
    {"bigint", "int64"},      {"largeint", "int64"},     {"boolean", "bool"},
    {"logical", "bool"},      {"datetime", "timestamp"}, {"numeric", "decimal"},
    {"bcd", "decimal"},       {"money", "currency"},     {"longtext", "memo"},
    {"longbinary", "blob"},   {"binary", "bytes"},       {"varbinary", "varbytes"},
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsLong(uint32_t colTyp) {
  uint32_t drm = DRM_COLTYP_DRM(colTyp);
  return drm == DRM_TYPE_LONGBINARY || drm == DRM_TYPE_LONGTEXT;
}

void CheckKeys(const json& obj, const std::string& where, std::initializer_list<const char*> keys) {
  for (auto it = obj.begin(); it != obj.end(); ++it) {
    bool known = std::any_of(keys.begin(), keys.end(),
                             [&](const char* k) { return it.key() == k; });
    if (!known) throw SchemaError(where + ": unknown key \"" + it.key() + "\"");
  }
}

std::string GetString(const json& obj, const char* key, const std::string& where) {
  auto it = obj.find(key);
  if (it == obj.end()) throw SchemaError(where + ": \"" + key + "\" is missing");
  if (!it->is_string()) throw SchemaError(where + ": \"" + key + "\" must be a text");
  std::string s = it->get<std::string>();
  if (s.empty()) throw SchemaError(where + ": \"" + key + "\" is empty");
  return s;
}

bool GetBool(const json& obj, const char* key, const std::string& where) {
  auto it = obj.find(key);
  if (it == obj.end()) return false;
  if (!it->is_boolean()) throw SchemaError(where + ": \"" + key + "\" must be true or false");
  return it->get<bool>();
}

std::optional<int64_t> GetInt(const json& obj, const char* key, const std::string& where) {
  auto it = obj.find(key);
  if (it == obj.end()) return std::nullopt;
  if (!it->is_number_integer()) throw SchemaError(where + ": \"" + key + "\" must be a whole number");
  return it->get<int64_t>();
}

ColumnDef ParseColumn(const json& c, size_t i) {
  std::string where = "column " + std::to_string(i + 1);
  if (!c.is_object()) throw SchemaError(where + ": must be an object");
  CheckKeys(c, where,
            {"name", "type", "size", "precision", "scale", "required", "default",
             "case-insensitive"});
  std::string name = GetString(c, "name", where);
  where += " (" + name + ")";
  std::string type = GetString(c, "type", where);
  auto size = GetInt(c, "size", where);
  auto precision = GetInt(c, "precision", where);
  auto scale = GetInt(c, "scale", where);
  if (size && (*size <= 0 || *size > 0x7FFFFFFF)) throw SchemaError(where + ": \"size\" must be positive");
  if (precision && (*precision <= 0 || *precision > 0xFFFF))
    throw SchemaError(where + ": \"precision\" must be positive");
  if (scale && (*scale < 0 || *scale > 0xFFFF)) throw SchemaError(where + ": \"scale\" must not be negative");
  ColumnDef col;
  try {
    col = MakeColumn(name, type, size ? static_cast<uint32_t>(*size) : 0,
                     precision ? static_cast<uint16_t>(*precision) : 0,
                     scale ? static_cast<uint16_t>(*scale) : 0);
  } catch (const SchemaError& e) {
    throw SchemaError(where + ": " + e.what());
  }
  col.Required = GetBool(c, "required", where);
  col.CaseInsensitive = GetBool(c, "case-insensitive", where);
  if (col.CaseInsensitive) {
    uint32_t drm = DRM_COLTYP_DRM(col.ColTyp);
    if (drm != DRM_TYPE_TEXT && drm != DRM_TYPE_ZSTRING && drm != DRM_TYPE_LONGTEXT)
      throw SchemaError(where + ": \"case-insensitive\" applies to text columns only");
  }
  auto def = c.find("default");
  if (def != c.end()) {
    if (def->is_string())
      col.Default = def->get<std::string>();
    else if (def->is_boolean())
      col.Default = def->get<bool>() ? "1" : "0";
    else if (def->is_number())
      col.Default = def->dump();
    else
      throw SchemaError(where + ": \"default\" must be a text, a number or true/false");
  }
  return col;
}

IndexDef ParseIndex(const json& x, size_t i) {
  std::string where = "index " + std::to_string(i + 1);
  if (!x.is_object()) throw SchemaError(where + ": must be an object");
  CheckKeys(x, where, {"name", "fields", "unique", "primary", "case-insensitive"});
  IndexDef ix;
  ix.Name = GetString(x, "name", where);
  where += " (" + ix.Name + ")";
  auto f = x.find("fields");
  if (f == x.end() || !f->is_array() || f->empty())
    throw SchemaError(where + ": \"fields\" must be a non-empty list of column names");
  for (const json& field : *f) {
    if (!field.is_string()) throw SchemaError(where + ": every field must be a column name");
    std::string s = field.get<std::string>();
    IndexSegmentDef seg;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
      seg.Descending = s[0] == '-';
      s.erase(0, 1);
    }
    if (s.empty()) throw SchemaError(where + ": empty field name");
    seg.Column = s;
    ix.Segments.push_back(seg);
  }
  ix.Unique = GetBool(x, "unique", where);
  ix.Primary = GetBool(x, "primary", where);
  ix.CaseInsensitive = GetBool(x, "case-insensitive", where);
  return ix;
}

}  // namespace

const TypeInfo* FindType(const std::string& name) {
  std::string n = Lower(name);
  for (const Alias& a : kAliases)
    if (n == a.Alias) n = a.Name;
  for (const TypeInfo& t : kTypes)
    if (n == t.Name) return &t;
  return nullptr;
}

std::vector<std::string> TypeNames() {
  std::vector<std::string> names;
  for (const TypeInfo& t : kTypes) names.emplace_back(t.Name);
  return names;
}

std::string TypeName(uint32_t colTyp) {
  uint32_t drm = DRM_COLTYP_DRM(colTyp);
  uint32_t rm = DRM_COLTYP_RM(colTyp);
  // Exact code first, then by the DRM type alone (it fixes the value form).
  for (const TypeInfo& t : kTypes)
    if (t.ColTyp == colTyp) return t.Name;
  if (drm == DRM_TYPE_INT16 && rm == RM_TYPE_AUTOINC) return "autoinc16";
  for (const TypeInfo& t : kTypes)
    if (DRM_COLTYP_DRM(t.ColTyp) == drm) return std::string(t.Name) + "(rm " + std::to_string(rm) + ")";
  if (drm == DRM_TYPE_CURRENCY) return "currency64";
  char buf[32];
  snprintf(buf, sizeof buf, "0x%04X", colTyp);
  return buf;
}

ColumnDef MakeColumn(const std::string& name, const std::string& type, uint32_t size,
                     uint16_t precision, uint16_t scale) {
  const TypeInfo* t = FindType(type);
  if (!t) {
    std::string all;
    for (const TypeInfo& k : kTypes) all += std::string(all.empty() ? "" : ", ") + k.Name;
    throw SchemaError("unknown type \"" + type + "\" (known: " + all + ")");
  }
  ColumnDef col;
  col.Name = name;
  col.Type = t->Name;
  col.ColTyp = t->ColTyp;
  if (t->NeedsSize && size == 0) throw SchemaError("type " + col.Type + " needs a \"size\"");
  if (!t->NeedsSize && t->FixedCbMax != 0 && size != 0 && size != t->FixedCbMax)
    throw SchemaError("type " + col.Type + " has a fixed size of " + std::to_string(t->FixedCbMax));
  col.CbMax = t->FixedCbMax ? t->FixedCbMax : size;
  if (t->NeedsPrecision) {
    if (precision == 0) throw SchemaError("type " + col.Type + " needs a \"precision\"");
    if (precision > 18) throw SchemaError("\"precision\" must be at most 18");
    if (scale > precision) throw SchemaError("\"scale\" must not exceed \"precision\"");
    col.Precision = precision;
    col.Scale = scale;
    col.CbMax = precision;  // what the layer sends for a BCD column
  } else {
    if (precision != 0 || scale != 0) {
      if (t->Precision == 0)
        throw SchemaError("type " + col.Type + " takes no \"precision\" or \"scale\"");
      if (precision != t->Precision || scale != t->Scale)
        throw SchemaError("type " + col.Type + " has a fixed precision and scale");
    }
    col.Precision = t->Precision;
    col.Scale = t->Scale;
  }
  // An auto-increment column starts new rows at 0, which the engine
  // replaces by the next number when the row is written.
  if (DRM_COLTYP_RM(col.ColTyp) == RM_TYPE_AUTOINC) col.Default = "0";
  return col;
}

uint32_t IndexDef::Flags() const {
  uint32_t f = 0;
  if (Unique) f |= DRM_IDXFLAG_UNIQUE;
  if (Primary) f |= DRM_IDXFLAG_PRIMARY;
  if (!CaseInsensitive) f |= DRM_IDXFLAG_CASE_SENSITIVE;
  return f;
}

std::string IndexDef::KeySpec() const {
  std::string spec;
  for (const IndexSegmentDef& s : Segments) {
    spec += s.Descending ? '-' : '+';
    spec += s.Column;
    spec += '\0';
  }
  spec += '\0';
  return spec;
}

const ColumnDef* TableSchema::FindColumn(const std::string& name) const {
  for (const ColumnDef& c : Columns)
    if (c.Name == name) return &c;
  return nullptr;
}

void ValidateSchema(const TableSchema& schema) {
  if (schema.Table.empty()) throw SchemaError("the table name is empty");
  if (schema.Columns.empty()) throw SchemaError("table " + schema.Table + " has no columns");
  std::set<std::string> names;
  for (const ColumnDef& c : schema.Columns)
    if (!names.insert(c.Name).second) throw SchemaError("column " + c.Name + " is defined twice");
  std::set<std::string> indexNames;
  int primaries = 0;
  for (const IndexDef& ix : schema.Indexes) {
    if (!indexNames.insert(Lower(ix.Name)).second)
      throw SchemaError("index " + ix.Name + " is defined twice");
    if (ix.Primary && ++primaries > 1)
      throw SchemaError("index " + ix.Name + ": only one index may be primary");
    for (const IndexSegmentDef& s : ix.Segments) {
      const ColumnDef* c = schema.FindColumn(s.Column);
      if (!c) throw SchemaError("index " + ix.Name + ": no column named " + s.Column);
      if (IsLong(c->ColTyp))
        throw SchemaError("index " + ix.Name + ": column " + s.Column + " (" + c->Type +
                          ") cannot be indexed");
    }
  }
}

TableSchema ParseSchema(const std::string& jsonText) {
  json doc;
  try {
    doc = json::parse(jsonText);
  } catch (const json::parse_error& e) {
    throw SchemaError(std::string("not valid JSON: ") + e.what());
  }
  if (!doc.is_object()) throw SchemaError("the schema must be a JSON object");
  CheckKeys(doc, "schema", {"table", "columns", "indexes"});
  TableSchema schema;
  schema.Table = GetString(doc, "table", "schema");
  auto cols = doc.find("columns");
  if (cols == doc.end() || !cols->is_array() || cols->empty())
    throw SchemaError("schema: \"columns\" must be a non-empty list");
  for (size_t i = 0; i < cols->size(); ++i) schema.Columns.push_back(ParseColumn((*cols)[i], i));
  auto idx = doc.find("indexes");
  if (idx != doc.end()) {
    if (!idx->is_array()) throw SchemaError("schema: \"indexes\" must be a list");
    for (size_t i = 0; i < idx->size(); ++i) schema.Indexes.push_back(ParseIndex((*idx)[i], i));
  }
  ValidateSchema(schema);
  return schema;
}

DRM_ColumnStruct ColumnStruct(const ColumnDef& column) {
  static const char kCaseInsensitive[] = "_CASE";
  DRM_ColumnStruct s{};
  s.StructSize = sizeof(DRM_ColumnStruct);
  s.ColTyp = column.ColTyp;
  s.cbMax = column.CbMax;
  s.Precision = column.Precision;
  s.Scale = column.Scale;
  s.grBit = column.Required ? DRM_COLFLAG_REQUIRED : 0;
  s.pDefault = column.Default ? column.Default->c_str() : nullptr;
  s.pCollation = column.CaseInsensitive ? kCaseInsensitive : nullptr;
  return s;
}

}  // namespace drmcli
