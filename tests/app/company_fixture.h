// A private engine with a Company table made through drmcli from rows the
// test gives, the lists the export writes, and the lists written straight
// from the storage with SQLite to compare them with.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "support/plain_company_export.h"
#include "support/session_fixture.h"
#include "tools/drmcli/commands.h"
#include "tools/drmcli/engine.h"
#include "tools/drmcli/sample.h"
#include "tools/drmcli/values.h"

namespace apptest {

struct TCompany {
  std::string Number;
  std::string Name;
  bool Inactive = false;
  std::string Agency;
  std::string Parent;  // empty for a parent
};

inline std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CompanyExportTest : public sessiontest::SessionTest {
 protected:
  std::string db, out;

  void SetUp() override {
    SessionTest::SetUp();
    db = DbDir("db");
    out = DbDir("out");
  }

  void CreateCompanies(const std::vector<TCompany>& Rows) {
    drmcli::Session s;
    drmcli::Database d(s, db);
    drmcli::CreateTable(d, drmcli::CompanySchema(), true);
    drmcli::Table t(d, "Company");
    const std::vector<drmcli::ColumnInfo> columns = t.Columns();
    auto column = [&](const char* Name) {
      return *std::find_if(columns.begin(), columns.end(), [&](const drmcli::ColumnInfo& c) { return c.Name == Name; });
    };
    for (const TCompany& r : Rows) {
      t.InitInsert();
      const std::pair<const char*, std::string> values[] = {
          {"Number", r.Number},
          {"Name", r.Name},
          {"InactiveAcct", r.Inactive ? "true" : "false"},
          {"AgyCode", r.Agency},
          {"fHasParentCmp", r.Parent.empty() ? "false" : "true"},
          {"MyParentCmp", r.Parent}};
      for (const auto& [name, text] : values) t.SetValue(column(name), drmcli::TextToValue(column(name), text));
      t.Post();
    }
  }

  // The lists straight from the storage, for the code as the table stores it.
  std::pair<std::string, std::string> Expected(const std::string& StoredCode) {
    plainexport::TCompanyStorage storage(db + "/engine.rdb");
    plainexport::WriteCompanyLists(storage, StoredCode, root + "/expected_names.csv", root + "/expected_coded.csv");
    return {ReadFile(root + "/expected_names.csv"), ReadFile(root + "/expected_coded.csv")};
  }

  std::string NameList() const { return out + "/companies.csv"; }
  std::string CodedList() const { return out + "/cmplist.csv"; }

  // A form set up for this test's database and output folder.
  dac::TFreePtr<quillbox::TForm1> Form(const std::string& AgyCode) {
    auto form = dac::CreateUnowned<quillbox::TForm1>();
    form->DSN = db;
    form->Path = NameList();
    form->AgyCode = AgyCode;
    form->CodedList = CodedList();
    return form;
  }
};

}  // namespace apptest
