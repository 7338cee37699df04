#include "platform/desktop/odbc_data_sources.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace dac {
namespace {

namespace fs = std::filesystem;

// Points the ODBC installer library at a system odbc.ini and a user one in
// a temporary folder. The library keeps the system folder it found first for
// the rest of the process and caches values it read for a while, so the
// folder is set once for the whole suite and every test uses data-source
// names of its own.
class OdbcIniFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/dac-odbc-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    Dir() = pattern;
    Save("ODBCSYSINI", OldSys());
    Save("ODBCINI", OldUser());
    ::setenv("ODBCSYSINI", Dir().c_str(), 1);
    ::setenv("ODBCINI", (Dir() / "user.ini").c_str(), 1);
    Write("odbc.ini",
          "[SysOem]\nDriver=Engine\nTranslationDLL=/opt/engine/lib/libtrans.so\n\n"
          "[Plain]\nDriver=Engine\nTranslationDLL=\n\n"
          "[Company DB]\nTranslationDLL=" + LongValue() + "\n");
    Write("user.ini", "[UserOem]\nDriver = Engine\nTranslationDLL = /home/u/libmine.so\n");
  }
  static void TearDownTestSuite() {
    Restore("ODBCSYSINI", OldSys());
    Restore("ODBCINI", OldUser());
    fs::remove_all(Dir());
  }
  static std::string LongValue() { return "/very/long/" + std::string(900, 'x') + "/libtrans.so"; }
  static fs::path& Dir() {
    static fs::path dir;
    return dir;
  }
  static std::optional<std::string>& OldSys() {
    static std::optional<std::string> v;
    return v;
  }
  static std::optional<std::string>& OldUser() {
    static std::optional<std::string> v;
    return v;
  }
  static void Write(const std::string& file, const std::string& text) {
    std::ofstream out(Dir() / file);
    out << text;
  }
  static void Save(const char* name, std::optional<std::string>& slot) {
    const char* v = ::getenv(name);
    if (v != nullptr) slot = v;
  }
  static void Restore(const char* name, const std::optional<std::string>& slot) {
    if (slot)
      ::setenv(name, slot->c_str(), 1);
    else
      ::unsetenv(name);
  }
};

TEST_F(OdbcIniFiles, ReadsSystemAndUserDataSources) {
  TUnixOdbcDataSources sources;
  EXPECT_EQ(sources.DataSourceValue("SysOem", "TranslationDLL"), "/opt/engine/lib/libtrans.so");
  EXPECT_EQ(sources.DataSourceValue("UserOem", "TranslationDLL"), "/home/u/libmine.so");
  // An empty value, a missing value and a missing data source all read as
  // empty without failing.
  EXPECT_EQ(sources.DataSourceValue("Plain", "TranslationDLL"), "");
  EXPECT_EQ(sources.DataSourceValue("Plain", "Nothing"), "");
  EXPECT_EQ(sources.DataSourceValue("Missing", "TranslationDLL"), "");
  EXPECT_EQ(sources.DataSourceValue("", "TranslationDLL"), "");
  EXPECT_EQ(sources.DataSourceValue("SysOem", ""), "");
  // The free function goes through the installed (here: default) service.
  EXPECT_EQ(OdbcDataSourceValue("SysOem", "Driver"), "Engine");
}

TEST_F(OdbcIniFiles, NamesIgnoreCaseAndLongValuesAreWhole) {
  TUnixOdbcDataSources sources;
  EXPECT_EQ(sources.DataSourceValue("company db", "translationdll"), LongValue());
  EXPECT_EQ(sources.DataSourceValue("USEROEM", "TRANSLATIONDLL"), "/home/u/libmine.so");
}

}  // namespace
}  // namespace dac
