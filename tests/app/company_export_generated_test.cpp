// The run on generated company tables: parents and subsidiaries in several
// agencies, subsidiaries of parents in other agencies or of no parent at
// all, names with commas, quotes, controls, blanks and non-ASCII letters,
// numbers with quotes. Both lists must equal, byte for byte, the lists
// written straight from the storage.
#include <random>

#include "app/company_export.h"
#include "company_fixture.h"
#include "support/test_seed.h"

using namespace apptest;

namespace {

class CompanyExportGenerated : public CompanyExportTest {
 protected:
  std::mt19937 random;

  size_t Pick(size_t n) { return static_cast<size_t>(random() % n); }

  std::string Name() {
    static const char* const pieces[] = {"Acme", " ", ",", "'", "\"", "\r\n", "\t", "Caf\xC3\xA9", "  ", "Inc.", "O'Neill",
                                         "Z\xC3\xBCrich", "&", "-", "North", "\x01", "LLC"};
    std::string s;
    for (size_t n = 1 + Pick(7); n > 0; --n) {
      const std::string piece = pieces[Pick(std::size(pieces))];
      if (s.size() + piece.size() > 50) break;
      s += piece;
    }
    return s;
  }

  std::vector<TCompany> Companies() {
    static const char* const agencies[] = {"01", "02", " 1", ""};
    std::vector<TCompany> rows;
    for (int i = 0; i < 70; ++i) {
      TCompany c;
      c.Number = std::to_string(100000 + i * 7);
      if (Pick(10) == 0) c.Number.insert(Pick(c.Number.size()), "'");
      c.Name = Name();
      c.Inactive = Pick(3) == 0;
      c.Agency = agencies[Pick(std::size(agencies))];
      rows.push_back(c);
    }
    // Parents named by number: often one of the table's, sometimes one that
    // is missing; a company may even name itself.
    for (TCompany& c : rows) {
      if (Pick(5) < 2) continue;
      c.Parent = Pick(8) == 0 ? "999999" : rows[Pick(rows.size())].Number;
    }
    std::shuffle(rows.begin(), rows.end(), random);
    return rows;
  }
};

TEST_F(CompanyExportGenerated, BothListsEqualTheStoragesForEveryAgency) {
  const uint32_t seed = testseed::Seed(1001);
  SCOPED_TRACE(testseed::Describe(seed));
  random.seed(seed);
  CreateCompanies(Companies());
  const std::pair<const char*, const char*> codes[] = {{"01", "01"}, {"02", "02"}, {"1", " 1"}, {"", ""}};
  for (const auto& [typed, stored] : codes) {
    SCOPED_TRACE(std::string("agency '") + typed + "'");
    auto form = Form(typed);
    form->Run();
    const auto [names, coded] = Expected(stored);
    EXPECT_EQ(ReadFile(NameList()), names);
    EXPECT_EQ(ReadFile(CodedList()), coded);
    EXPECT_GT(coded.size(), 20u) << "the agency has parents";
  }
}

}  // namespace
