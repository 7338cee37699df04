#pragma once
// Number, Boolean and date/time text conversions, locale-aware case mapping
// and small string helpers. Functions without a TFormatSettings argument use
// DefaultFormatSettings().

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/datetime.h"
#include "platform/rtl/format_settings.h"

namespace dac {

// ---- integers ----
// Optional blanks and sign, decimal digits, or hexadecimal with a leading
// "$" or "0x". Anything else, or a value outside the type, raises
// EConvertError ("\"%s\" is an invalid integer").
int32_t StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);
bool TryStrToInt(std::string_view text, int32_t& result);
bool TryStrToInt64(std::string_view text, int64_t& result);
int32_t StrToIntDef(std::string_view text, int32_t def);
int64_t StrToInt64Def(std::string_view text, int64_t def);
// Upper-case hexadecimal, zero-padded to at least digits.
std::string IntToHex(uint64_t value, int digits);

// ---- floating point ----
// General format with 15 significant digits and no trailing zeros: "0.1",
// "12.5", "1E20", "-1.5E-7". Exponent form when the exponent is below -4 or
// at least 15. NaN gives "Nan", infinities "+Inf" and "-Inf".
std::string FloatToStr(double value);
std::string FloatToStr(double value, const TFormatSettings& fs);
// Optional blanks and sign, digits with the locale's decimal separator,
// optional exponent. Bad text raises EConvertError
// ("\"%s\" is an invalid float").
double StrToFloat(std::string_view text);
double StrToFloat(std::string_view text, const TFormatSettings& fs);
bool TryStrToFloat(std::string_view text, double& result);
bool TryStrToFloat(std::string_view text, double& result, const TFormatSettings& fs);
double StrToFloatDef(std::string_view text, double def);

// Picture formatting: "0" digit or zero, "#" digit or nothing, "." decimal
// separator, "," thousands grouping (anywhere in the integer part), "E+"/"E-"
// /"e+"/"e-" exponent, quoted text ('x' or "x") copied, and up to three
// sections "positive;negative;zero". Rounding is half away from zero, on
// the shortest decimal text of the value (so 1.005 with "0.00" gives 1.01).
// Literal text before the first placeholder precedes the number; any other
// literal text follows it. A value that rounds to zero shows no minus sign.
// An empty format, NaN and infinities give FloatToStr.
std::string FormatFloat(std::string_view format, double value);
std::string FormatFloat(std::string_view format, double value, const TFormatSettings& fs);

// ---- Booleans ----
// useBoolStrs: "True"/"False"; otherwise "-1"/"0".
std::string BoolToStr(bool value, bool useBoolStrs = false);
// "True"/"False" in any case, or a number (non-zero true).
bool TryStrToBool(std::string_view text, bool& result);
// Raises EConvertError ("\"%s\" is not a valid boolean.").
bool StrToBool(std::string_view text);
bool StrToBoolDef(std::string_view text, bool def);

// ---- dates and times ----
// FormatDateTime understands: c (short date, then long time unless the
// time is zero), d dd ddd dddd ddddd (short date) dddddd (long date), m mm
// mmm mmmm (month; after h/hh it means minutes), yy yyyy, h hh, n nn, s ss,
// z zzz, t (short time), tt (long time), am/pm, a/p, ampm, / (date
// separator), : (time separator), 'text' and "text".
std::string FormatDateTime(std::string_view format, TDateTime dt);
std::string FormatDateTime(std::string_view format, TDateTime dt, const TFormatSettings& fs);
// Short date and long time; the time is left out at midnight.
std::string DateTimeToStr(TDateTime dt);
std::string DateTimeToStr(TDateTime dt, const TFormatSettings& fs);
std::string DateToStr(TDateTime dt);
std::string DateToStr(TDateTime dt, const TFormatSettings& fs);
std::string TimeToStr(TDateTime dt);
std::string TimeToStr(TDateTime dt, const TFormatSettings& fs);

// Parsing follows the order of day, month and year in ShortDateFormat; a
// missing year is the current one and a two-digit year is placed by
// TwoDigitYearCenturyWindow. Times are h[:n[:s[.z]]] with an optional
// AM/PM. Bad text raises EConvertError.
TDateTime StrToDate(std::string_view text);
TDateTime StrToDate(std::string_view text, const TFormatSettings& fs);
TDateTime StrToTime(std::string_view text);
TDateTime StrToTime(std::string_view text, const TFormatSettings& fs);
TDateTime StrToDateTime(std::string_view text);
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& fs);
bool TryStrToDate(std::string_view text, TDateTime& result);
bool TryStrToDate(std::string_view text, TDateTime& result, const TFormatSettings& fs);
bool TryStrToTime(std::string_view text, TDateTime& result);
bool TryStrToTime(std::string_view text, TDateTime& result, const TFormatSettings& fs);
bool TryStrToDateTime(std::string_view text, TDateTime& result);
bool TryStrToDateTime(std::string_view text, TDateTime& result, const TFormatSettings& fs);

// ---- locale-aware text (UTF-8) ----
// Case mapping of decoded code points (towupper/towlower with the C.UTF-8
// rules, at least Latin-1); invalid UTF-8 bytes pass unchanged.
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
// Code-point order after case folding: negative, 0 or positive.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Case-sensitive code-point order: negative, 0 or positive.
int AnsiCompareStr(std::string_view a, std::string_view b);
bool AnsiSameStr(std::string_view a, std::string_view b);

// ---- small string helpers ----
// Returns the name starting at the 1-based position pos up to the next ';'
// (trimmed) and moves pos past that ';'. At the end pos is beyond the text.
std::string ExtractFieldName(std::string_view fields, int& pos);
// Wraps in single quotes, doubling the quotes inside.
std::string QuotedStr(std::string_view s);
// Removes surrounding quote characters and undoubles inner ones; text not
// starting with quote is returned unchanged.
std::string AnsiDequotedStr(std::string_view s, char quote);

}  // namespace dac
