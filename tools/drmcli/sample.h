// The sample Company table: a deterministic set of parent companies and
// their subsidiaries across agencies "01" to "07", made from a seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/drmcli/schema.h"

namespace drmcli {

// A small, fast, well-mixed generator with a fixed sequence per seed on
// every platform (the standard library's engines and distributions do not
// promise that).
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : FState(seed) {}
  uint64_t Next();
  // Uniform in [0, n); n > 0.
  uint32_t Below(uint32_t n);
  // True with the given chance in percent.
  bool Percent(uint32_t chance) { return Below(100) < chance; }

 private:
  uint64_t FState;
};

struct CompanyRow {
  std::string Number;       // six digits, unique
  std::string Name;
  bool InactiveAcct = false;
  std::string AgyCode;      // "01".."07"
  bool fHasParentCmp = false;
  std::string MyParentCmp;  // the parent's Number, "" for a parent
  std::string Address;
  std::string City;
  std::string State;
  std::string Zip;
  std::string Phone;
  std::string Created;      // YYYY-MM-DD
  std::string CreditLimit;  // decimal text with two decimals

  bool operator==(const CompanyRow&) const = default;
};

// `count` rows: each parent is followed by its subsidiaries (none for about
// half the parents), all in the parent's agency.
std::vector<CompanyRow> GenerateCompanies(uint32_t count, uint64_t seed);

// The Company table: the columns the export reads and a few more, a unique
// index on Number, `index_1` (AgyCode, Number) and an index on the parent.
TableSchema CompanySchema();

// The row's values in the schema's column order, as text.
std::vector<std::string> CompanyValues(const CompanyRow& row);

}  // namespace drmcli
