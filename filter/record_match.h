#pragma once
// Whether the record a dataset presents matches key values under the rules
// of Locate and Lookup (the test of the active record before a search):
//
//   - a null key matches only a null field; a null field matches no other key;
//   - loPartialKey on a string or memo field: the field's text starts with
//     the key's text (an empty key matches nothing), compared under the
//     user's locale (filter/text_compare.h), ignoring case with
//     loCaseInsensitive;
//   - otherwise by the field's type: integers as 32-bit integers, Booleans,
//     floats and BCD within 5e-7, currency exactly, dates and times after
//     the key went to text and back (locale formats), and anything else as
//     text equal to the field's text without trailing blanks, case counting.

#include <string>

#include "platform/db/db_types.h"
#include "platform/rtl/variant.h"

namespace dac {

class TDataSet;
class TField;

// Two floats closer than this are the same key.
inline constexpr double kLocateFloatTolerance = 5e-7;

bool MatchFieldValue(TField* Field, const Variant& Value, TLocateOptions Options);
// KeyFields: names separated by ";" (an unknown name raises); KeyValues: a
// variant array with one value per field, or one value for one field. The
// first field that does not match ends the test.
bool MatchRecord(TDataSet* DataSet, const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options);

}  // namespace dac
