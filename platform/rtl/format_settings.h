#pragma once
// Locale settings for number, currency and date/time text. The process keeps
// one default set (headless defaults below); conversions without an explicit
// set use it.

#include <array>
#include <cstdint>
#include <string>

namespace dac {

struct TFormatSettings {
  // Currency text: CurrencyFormat 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $";
  // NegCurrFormat 0 "($1)", 1 "-$1", ... as the classic locale codes.
  uint8_t CurrencyFormat = 0;
  uint8_t NegCurrFormat = 0;
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  uint8_t CurrencyDecimals = 2;
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string CurrencyString = "$";
  std::string ShortDateFormat = "m/d/yyyy";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string ShortTimeFormat = "hh:nn";
  std::string LongTimeFormat = "hh:nn:ss";
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
  // Index 0 is Sunday.
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
  // Two-digit years within this many years of the current one read as the
  // nearest century (50 as the platform default).
  uint16_t TwoDigitYearCenturyWindow = 50;
};

// The process default, used by every conversion that takes no settings.
// Single-threaded use, as the rest of the component layer.
TFormatSettings& DefaultFormatSettings();

}  // namespace dac
