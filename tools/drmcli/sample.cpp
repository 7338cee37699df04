#include "tools/drmcli/sample.h"

#include <cstdio>

namespace drmcli {
namespace {

const char* const kFirst[] = {
    "Acme",     "Bluewater", "Cedar",    "Summit",   "Harbor",    "Granite",  "Prairie",
    "Northgate", "Redwood",  "Silverline", "Keystone", "Lakeshore", "Pioneer", "Riverside",
    "Ironwood", "Maple",     "Beacon",   "Coastal",  "Evergreen", "Frontier", "Highland",
    "Liberty",  "Meridian",  "Oakridge", "Pinnacle", "Sterling",  "Tri-County", "Valley",
    "Westfield", "Whitman",  "O'Neill",  "Baxter",   "Dalton",    "Ferris",   "Hollis"};
const char* const kTrade[] = {
    "Insurance", "Logistics",  "Construction", "Dental Group", "Auto Body", "Realty",
    "Farms",     "Electric",   "Plumbing",     "Foods",        "Printing",  "Medical Partners",
    "Trucking",  "Landscaping", "Hardware",    "Roofing",      "Bakery",    "Marine",
    "Holdings",  "Properties", "Consulting",   "Machine Works"};
const char* const kSuffix[] = {"Inc.", "LLC", "Co.", "Corp.", "Ltd.", "& Sons", "Group", ""};
const char* const kBranch[] = {"North", "South", "East", "West", "Central", "Downtown",
                               "Eastside", "Westside", "Harbor Branch", "Airport"};
const char* const kStreet[] = {"Main St",   "Oak Ave",     "Elm St",      "Industrial Pkwy",
                               "Market St", "2nd Ave",     "Commerce Dr", "Lake Rd",
                               "Mill Rd",   "Church St",   "Park Blvd",   "Route 9",
                               "Union Ave", "Harbor Way",  "Depot St",    "County Rd 12"};
struct Place {
  const char* City;
  const char* State;
  const char* Zip;  // first three digits
  const char* Area;
};
const Place kPlaces[] = {
    {"Springfield", "IL", "627", "217"}, {"Dayton", "OH", "454", "937"},
    {"Fort Wayne", "IN", "468", "260"},  {"Peoria", "IL", "616", "309"},
    {"Erie", "PA", "165", "814"},        {"Lansing", "MI", "489", "517"},
    {"Madison", "WI", "537", "608"},     {"Duluth", "MN", "558", "218"},
    {"Cedar Rapids", "IA", "524", "319"}, {"Toledo", "OH", "436", "419"},
    {"Rockford", "IL", "611", "815"},    {"Green Bay", "WI", "543", "920"},
    {"Kalamazoo", "MI", "490", "269"},   {"Akron", "OH", "443", "330"}};
// Agencies differ in size: "01" is the largest, "07" the smallest.
const uint32_t kAgencyWeights[] = {26, 20, 16, 13, 11, 8, 6};

template <typename T, size_t N>
const T& Pick(SplitMix64& r, const T (&items)[N]) {
  return items[r.Below(static_cast<uint32_t>(N))];
}

std::string Digits(uint32_t v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*u", width, v);
  return buf;
}

std::string AgencyCode(SplitMix64& r) {
  uint32_t total = 0;
  for (uint32_t w : kAgencyWeights) total += w;
  uint32_t x = r.Below(total);
  for (uint32_t i = 0; i < 7; ++i) {
    if (x < kAgencyWeights[i]) return Digits(i + 1, 2);
    x -= kAgencyWeights[i];
  }
  return "07";
}

// Subsidiaries per parent: about half have none, a few have many.
uint32_t SubsidiaryCount(SplitMix64& r) {
  uint32_t x = r.Below(100);
  if (x < 50) return 0;
  if (x < 70) return 1;
  if (x < 82) return 2;
  if (x < 90) return 3;
  if (x < 96) return 4 + r.Below(3);
  return 7 + r.Below(6);
}

std::string CompanyName(SplitMix64& r, std::string& core) {
  core = std::string(Pick(r, kFirst)) + " " + Pick(r, kTrade);
  std::string suffix = Pick(r, kSuffix);
  if (suffix.empty()) return core;
  // Real data writes "Acme Foods, Inc." as often as "Acme Foods Inc.".
  bool comma = (suffix == "Inc." || suffix == "LLC" || suffix == "Ltd.") && r.Percent(40);
  return core + (comma ? ", " : " ") + suffix;
}

void FillContact(SplitMix64& r, CompanyRow& row) {
  const Place& p = Pick(r, kPlaces);
  row.Address = std::to_string(100 + r.Below(9800)) + " " + Pick(r, kStreet);
  if (r.Percent(12)) row.Address += ", Suite " + std::to_string(100 + r.Below(400));
  row.City = p.City;
  row.State = p.State;
  row.Zip = std::string(p.Zip) + Digits(r.Below(100), 2);
  row.Phone = std::string("(") + p.Area + ") 555-" + Digits(r.Below(10000), 4);
  uint32_t year = 1985 + r.Below(40);
  uint32_t month = 1 + r.Below(12);
  uint32_t day = 1 + r.Below(28);
  row.Created = Digits(year, 4) + "-" + Digits(month, 2) + "-" + Digits(day, 2);
  uint32_t limit = r.Percent(15) ? 0 : (5 + r.Below(496)) * 100;
  row.CreditLimit = std::to_string(limit) + (limit && r.Percent(20) ? ".50" : ".00");
}

}  // namespace

uint64_t SplitMix64::Next() {
  uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t SplitMix64::Below(uint32_t n) {
  // Multiply-shift: unbiased enough for sample data and free of modulo bias
  // patterns in the low bits.
  return static_cast<uint32_t>(((Next() >> 32) * static_cast<uint64_t>(n)) >> 32);
}

std::vector<CompanyRow> GenerateCompanies(uint32_t count, uint64_t seed) {
  SplitMix64 r(seed);
  std::vector<CompanyRow> rows;
  rows.reserve(count);
  uint32_t number = 100000;
  auto nextNumber = [&] {
    number += 1 + r.Below(3);  // gaps, as deleted accounts leave them
    return Digits(number, 6);
  };
  while (rows.size() < count) {
    CompanyRow parent;
    parent.Number = nextNumber();
    std::string core;
    parent.Name = CompanyName(r, core);
    parent.AgyCode = AgencyCode(r);
    parent.InactiveAcct = r.Percent(8);
    FillContact(r, parent);
    rows.push_back(parent);
    uint32_t subs = SubsidiaryCount(r);
    for (uint32_t k = 0; k < subs && rows.size() < count; ++k) {
      CompanyRow sub;
      sub.Number = nextNumber();
      sub.Name = core + " " + Pick(r, kBranch);
      if (r.Percent(30)) sub.Name += r.Percent(50) ? ", LLC" : " Inc.";
      sub.AgyCode = parent.AgyCode;
      sub.fHasParentCmp = true;
      sub.MyParentCmp = parent.Number;
      // A closed parent's branches are closed too; open parents lose a few.
      sub.InactiveAcct = parent.InactiveAcct || r.Percent(10);
      FillContact(r, sub);
      rows.push_back(sub);
    }
  }
  return rows;
}

TableSchema CompanySchema() {
  TableSchema s;
  s.Table = "Company";
  auto add = [&](const char* name, const char* type, uint32_t size = 0, uint16_t precision = 0,
                 uint16_t scale = 0) -> ColumnDef& {
    s.Columns.push_back(MakeColumn(name, type, size, precision, scale));
    return s.Columns.back();
  };
  add("Number", "string", 10).Required = true;
  add("Name", "string", 50).Required = true;
  add("InactiveAcct", "bool").Default = "0";
  add("AgyCode", "string", 2).Required = true;
  add("fHasParentCmp", "bool").Default = "0";
  add("MyParentCmp", "string", 10);
  add("Address", "string", 60);
  add("City", "string", 30);
  add("State", "string", 2);
  add("Zip", "string", 10);
  add("Phone", "string", 20);
  add("Created", "date");
  add("CreditLimit", "decimal", 0, 11, 2);
  IndexDef number{"index_0", {{"Number", false}}, true, false, false};
  IndexDef agency{"index_1", {{"AgyCode", false}, {"Number", false}}, false, false, false};
  IndexDef parent{"index_2", {{"MyParentCmp", false}, {"Number", false}}, false, false, false};
  s.Indexes = {number, agency, parent};
  ValidateSchema(s);
  return s;
}

std::vector<std::string> CompanyValues(const CompanyRow& r) {
  return {r.Number,  r.Name,  r.InactiveAcct ? "true" : "false",
          r.AgyCode, r.fHasParentCmp ? "true" : "false",
          r.MyParentCmp, r.Address, r.City, r.State, r.Zip, r.Phone, r.Created, r.CreditLimit};
}

}  // namespace drmcli
