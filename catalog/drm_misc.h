#pragma once
// Conversion between the engine's column values and the slots of a record
// buffer.
//
// A record buffer's data area holds one slot per column at the column's
// Offset (see TDRMColumnInfoCollection): a null-indicator byte (1 = value,
// 0 = NULL) followed by BufferMax - 1 bytes of value area, of which a field
// reads and writes the first RealDataSize bytes. The slot keeps a value in
// the form the dataset framework's fields use:
//
//   DRM type                      engine value              slot value
//   1  Boolean                    1 byte                    16-bit, zero-extended
//   2  one-byte integer           1 byte                    16-bit, sign-extended
//                                                           (zero-extended when
//                                                           the record-manager
//                                                           type is 14, unsigned)
//   3  two-byte integer           2 bytes (4 auto-inc)      the same, zero-filled
//                                                           to RealDataSize
//   4  four-byte integer          4 bytes                   the same
//   5  currency                   8 bytes                   the same
//   6  float                      4-byte IEEE               8-byte double
//   7  double                     8-byte IEEE               the same
//   8  timestamp                  6 words + 32-bit fraction double: milliseconds
//                                 (10^-7 s), 16 bytes       since day 1
//   9  fixed bytes                cbMax bytes               the same
//   10 fixed text                 cbMax bytes, blank-padded text, trailing blanks
//                                                           cut, NUL-terminated
//   11, 12 long binary / text     (read by blob streams)    nothing: indicator only
//   101 date                      year, month, day words    32-bit day number
//   102 time                      hour, minute, second      32-bit milliseconds
//                                                           since midnight
//   103 decimal                   TDrmNumeric (38 bytes)    34-byte TBcd
//   104 text                      NUL-terminated            the same
//   106 variable bytes            the bytes                 the same
//
// The day number counts 0001-01-01 as day 1; a timestamp's milliseconds
// are day number * 86,400,000 + milliseconds since midnight. Zero dates and
// zero timestamps, and parts that form no valid date or time, read as NULL.
// A decimal that does not fit a currency value reads as the "not
// convertible" TBcd marker (see platform/rtl/bcd.h).

#include <cstdint>

#include "engine/drm_values.h"
#include "platform/db/db_types.h"
#include "platform/rtl/bcd.h"
#include "platform/rtl/currency.h"

namespace dac {

class TPersistent;
class TDRMColumnInfo;
class TDRMColumnInfoCollection;

// The engine's decimal: 19 little-endian 16-bit words. Words[0] is 0,
// Words[1] the signed power of ten e, Words[2] the number n (0..4) of the
// integer's words in use, Words[3..6] the integer, lowest word first, as a
// two's-complement number of n words; Words[7..18] are 0. The value is
// integer * 10^e.
using TDrmNumeric = ::DRM_Numeric;

// Reads every column of the engine's current row of table T into Buffer.
// A NULL column (status 1004) only clears its indicator. Any other non-zero
// status stops the read and is returned; the columns after it are left as
// they were. Returns 0 after the last column.
int32_t DrmMiscGetRecord(uint32_t S, uint32_t T, TDRMColumnInfoCollection* Columns, TRecordBuffer Buffer);

// Converts the value of column c in its record-slot form (the bytes after
// the null indicator) into the engine's form at out, which holds at least
// max(BufferMax, sizeof(TDrmNumeric)) bytes. False for a decimal holding the
// "not convertible" marker; a decimal the engine cannot take raises "BCD
// overflow".
bool ColumnValueToEngine(const TDRMColumnInfo* c, const uint8_t* value, uint8_t* out);

// Hands every column of Buffer except the long (blob) ones to the engine's
// pending insert or update on T. Stops at the first column the engine
// refuses and returns its status; 0 when all were taken. A decimal slot
// still holding the "not convertible" marker is not sent, so the pending
// row keeps the value it has (on an update: the stored one). A decimal of
// more than 15 digits, or one the engine cannot scale, raises "BCD
// overflow" (EDatabaseError).
int32_t DrmMiscPutRecord(uint32_t S, uint32_t T, TDRMColumnInfoCollection* Columns, TRecordBuffer Buffer);

// The field read of a DRM dataset. FieldNo is the field's number (first
// column = 1); a number outside the catalog raises "Field index out of
// range" naming DataSet. While Verifying, Buffer holds only the bare value
// of the field: RealDataSize bytes are copied from its start and the value
// counts as present. Otherwise RealDataSize bytes are copied from the
// column's value area and IsNull reports its indicator. Dest may be null
// (only IsNull is wanted); a missing Buffer reads as NULL.
void GetColumnValue(TPersistent* DataSet, TDRMColumnInfoCollection* Columns, int32_t FieldNo, bool Verifying,
                    bool& IsNull, void* Dest, const uint8_t* Buffer);

// The field write of a DRM dataset: with Source, copies RealDataSize bytes
// from it into the column's value area and sets the indicator; without,
// clears the indicator (NULL). A FieldNo outside the catalog raises "Field
// index out of range" naming DataSet.
void PutColumnValue(TPersistent* DataSet, TDRMColumnInfoCollection* Columns, int32_t FieldNo, const void* Source,
                    TRecordBuffer Buffer);

// True when Buffer is missing or the indicator of the column at Index
// (0-based catalog position) is 0.
bool IsColumnNull(TDRMColumnInfoCollection* Columns, const uint8_t* Buffer, int32_t Index);

// True for long binary and long text columns (DRM types 11 and 12).
bool IsBlobColumn(const TDRMColumnInfo* Column);

// Engine decimal to currency. False when the decimal is malformed (word 0
// not 0, more than 4 integer words, a non-zero word after the integer) or
// its value does not fit a currency. n = 0 is zero.
bool NumericToCurrency(const TDrmNumeric& Numeric, Currency& Value);

// Currency to engine decimal, with as many decimals as the value needs
// (12.5 gives integer 125 and e = -1; 12 gives 12 and e = 0). False when the
// engine cannot scale the value.
bool CurrencyToNumeric(TDrmNumeric& Numeric, Currency Value);

// Currency to TBcd with as many decimals as the value needs (12.5 gives
// precision 3 and 1 place), digit for digit what the text form of the
// currency reads as, without going through text.
TBcd CurrencyToBcd(Currency Value);

}  // namespace dac
