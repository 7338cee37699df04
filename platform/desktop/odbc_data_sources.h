#pragma once
// Values of ODBC data-source entries. A database whose data source names a
// translation library is opened with OEM conversion.

#include <memory>
#include <string>

namespace dac {

class IOdbcDataSources {
 public:
  virtual ~IOdbcDataSources() = default;
  // The value of Key in the entry of the data source DataSource; empty when
  // the data source or the value does not exist. Never raises for a missing
  // entry.
  virtual std::string DataSourceValue(const std::string& DataSource, const std::string& Key) = 0;
};

// The headless default: reads the data source's section of the odbc.ini
// files (the user's and the system's, as the ODBC installer library finds
// them: ODBCINI and ODBCSYSINI are honoured) through that library. Names of
// data sources and keys are compared without regard to case. The library
// settles the system folder on its first read and caches the values it read
// for some seconds, so a changed file is seen with a delay; it keeps values
// of up to 1000 characters.
class TUnixOdbcDataSources : public IOdbcDataSources {
 public:
  std::string DataSourceValue(const std::string& DataSource, const std::string& Key) override;
};

// The value from the installed service.
std::string OdbcDataSourceValue(const std::string& DataSource, const std::string& Key);

// Installs a service process-wide and returns the one it replaces (null
// while the headless default was in use). Null goes back to the default.
std::unique_ptr<IOdbcDataSources> SetOdbcDataSources(std::unique_ptr<IOdbcDataSources> Service);

}  // namespace dac
