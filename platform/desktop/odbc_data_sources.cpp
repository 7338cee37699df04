#include "platform/desktop/odbc_data_sources.h"

#include <odbcinst.h>

#include <algorithm>
#include <vector>

#include "platform/desktop/service_slot.h"

namespace dac {

namespace {

TServiceSlot<IOdbcDataSources, TUnixOdbcDataSources>& Slot() {
  static TServiceSlot<IOdbcDataSources, TUnixOdbcDataSources> slot;
  return slot;
}

}  // namespace

std::string TUnixOdbcDataSources::DataSourceValue(const std::string& DataSource, const std::string& Key) {
  // An empty section or key would make the library list section or key
  // names instead of reading one value.
  if (DataSource.empty() || Key.empty()) return {};
  // The library keeps values of at most 1000 characters and caches what it
  // answered, cut or not, so one read with room for its longest value is
  // the only read that can give a whole value.
  std::vector<char> buffer(4096);
  int n = SQLGetPrivateProfileString(DataSource.c_str(), Key.c_str(), "", buffer.data(),
                                     static_cast<int>(buffer.size()), "odbc.ini");
  if (n <= 0) return {};
  return std::string(buffer.data(), std::min(static_cast<size_t>(n), buffer.size() - 1));
}

std::string OdbcDataSourceValue(const std::string& DataSource, const std::string& Key) {
  return Slot().Current().DataSourceValue(DataSource, Key);
}

std::unique_ptr<IOdbcDataSources> SetOdbcDataSources(std::unique_ptr<IOdbcDataSources> Service) {
  return Slot().Install(std::move(Service));
}

}  // namespace dac
