// The record engine's client interface: plain C linkage, every call returns
// a 32-bit status (0 success, negative error, positive warning) unless noted.
// Handles are 32-bit unsigned values, 0 meaning none. Strings are
// NUL-terminated 8-bit text. Records exchanged with the engine are packed;
// pointers inside them take 8 bytes on 64-bit targets.
#ifndef DAC_ENGINE_DRM_H
#define DAC_ENGINE_DRM_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define DRM_API __attribute__((visibility("default")))
#else
#define DRM_API
#endif

/* No call lets an exception out: every failure is a status. */
#ifdef __cplusplus
#define DRM_NOEXCEPT noexcept
#else
#define DRM_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Move codes (RareMove) ------------------------------------------- */
#define DRM_MOVE_FIRST 0x80000000u
#define DRM_MOVE_LAST 0xC0000000u
#define DRM_MOVE_NEXT 0x00000001u
#define DRM_MOVE_PREVIOUS 0xF0000000u

/* ---- Session options (RareSetSessionOption) ---------------------------- */
#define DRM_SESOPT_ISOLATION 2     /* value 2 read committed, 8 serialisable */
#define DRM_SESOPT_RESERVED6 6     /* value 0, accepted without effect */
#define DRM_ISOLATION_READ_COMMITTED 2
#define DRM_ISOLATION_SERIALIZABLE 8

/* ---- Transaction operations (RareSetTransact) --------------------------- */
#define DRM_TRANS_START 3
#define DRM_TRANS_COMMIT 4
#define DRM_TRANS_ROLLBACK 5

/* ---- Database open modes (RareOpenDatabase), combinable ----------------- */
#define DRM_DBOPEN_NORMAL 0
#define DRM_DBOPEN_EXCLUSIVE 2
#define DRM_DBOPEN_OEM 4

/* ---- Table open modes (RareOpenTable) ----------------------------------- */
#define DRM_TBLOPEN_NORMAL 0
#define DRM_TBLOPEN_EXCLUSIVE 3
#define DRM_TBLOPEN_READONLY 4
#define DRM_TBLOPEN_READONLY_EXCLUSIVE 7

/* ---- Table options (RareSetTableOption) --------------------------------- */
#define DRM_TBLOPT_OWNER 0   /* value: const char* owner name */
#define DRM_TBLOPT_SECURED 1 /* value: const uint8_t* flag */

/* ---- Update-cycle modes (RareInitUpdate) -------------------------------- */
#define DRM_INITUPD_NEW 0
#define DRM_INITUPD_CURRENT 2
#define DRM_INITUPD_RELEASE 4
#define DRM_INITUPD_KEEP 8
#define DRM_INITUPD_VIEW_PENDING 16
#define DRM_INITUPD_VIEW_STORED 32

/* ---- Filter modes (RareSetFilterOnColumns / RareRemoveFilterFromColumns) */
#define DRM_FILTER_SET_LOCATE 0
#define DRM_FILTER_SET_DATASET 1
#define DRM_FILTER_REMOVE_DATASET 0
#define DRM_FILTER_REMOVE_LOCATE 1

/* ---- Filter-key slots and flags (RareMakeFilterKey) --------------------- */
#define DRM_KEYSLOT_FILTER0 0
#define DRM_KEYSLOT_FILTER1 1
#define DRM_KEYSLOT_RANGE_START 2
#define DRM_KEYSLOT_RANGE_END 3
#define DRM_KEYSLOT_SEEK 4
#define DRM_KEYFLAG_FIRST 0x1u
#define DRM_KEYFLAG_PARTIAL 0x100u

/* ---- Compare codes of filter terms -------------------------------------- */
#define DRM_CMP_EQ 1
#define DRM_CMP_GT 2
#define DRM_CMP_LT 3
#define DRM_CMP_NE 4
#define DRM_CMP_GE 5
#define DRM_CMP_LE 6
#define DRM_CMP_NOCASE 0x80

/* ---- Joints of filter terms (ExprWithNextTerm) -------------------------- */
#define DRM_JOIN_NONE 0
#define DRM_JOIN_AND 1
#define DRM_JOIN_OR 2

/* ---- DRM types: low byte of ColTyp -------------------------------------- */
#define DRM_TYPE_BOOLEAN 1
#define DRM_TYPE_INT8 2
#define DRM_TYPE_INT16 3
#define DRM_TYPE_INT32 4
#define DRM_TYPE_CURRENCY 5
#define DRM_TYPE_FLOAT 6
#define DRM_TYPE_DOUBLE 7
#define DRM_TYPE_TIMESTAMP 8
#define DRM_TYPE_BINARY 9
#define DRM_TYPE_TEXT 10
#define DRM_TYPE_LONGBINARY 11
#define DRM_TYPE_LONGTEXT 12
#define DRM_TYPE_DATE 101
#define DRM_TYPE_TIME 102
#define DRM_TYPE_DECIMAL 103
#define DRM_TYPE_ZSTRING 104
#define DRM_TYPE_VARBINARY 106

/* ---- Record-manager types: second byte of ColTyp ------------------------ */
#define RM_TYPE_STRING 0
#define RM_TYPE_INTEGER 1
#define RM_TYPE_FLOAT 2
#define RM_TYPE_DATE 3
#define RM_TYPE_TIME 4
#define RM_TYPE_LOGICAL 7
#define RM_TYPE_NUMERIC 8
#define RM_TYPE_LVAR 10
#define RM_TYPE_ZSTRING 11
#define RM_TYPE_NOTE 12
#define RM_TYPE_UNSIGNED 14
#define RM_TYPE_AUTOINC 15
#define RM_TYPE_CURRENCY 19
#define RM_TYPE_TIMESTAMP 20
#define RM_TYPE_BLOB 21

#define DRM_COLTYP(rm, drm) ((uint32_t)(((uint32_t)(rm) << 8) | (uint32_t)(drm)))
#define DRM_COLTYP_DRM(coltyp) ((uint32_t)(coltyp)&0xFFu)
#define DRM_COLTYP_RM(coltyp) (((uint32_t)(coltyp) >> 8) & 0xFFu)

/* ---- Column flags (grBit) ----------------------------------------------- */
#define DRM_COLFLAG_REQUIRED 0x04u
#define DRM_COLFLAG_READONLY 0x10u
#define DRM_COLFLAG_UPDATABLE 0x20u

/* ---- Index flags (grBitIndex) and segment flags (grBitColumn) ----------- */
#define DRM_IDXFLAG_UNIQUE 0x1u
#define DRM_IDXFLAG_PRIMARY 0x2u
#define DRM_IDXFLAG_CASE_SENSITIVE 0x10000u
#define DRM_SEGFLAG_DESCENDING 0x1u
#define DRM_SEGFLAG_CASE_SENSITIVE 0x10000u

/* ---- Table flags of the table catalog ----------------------------------- */
#define DRM_TABLEFLAG_SYSTEM 0x80000000u

/* ---- Statuses ------------------------------------------------------------ */
#define DRM_OK 0
#define DRM_ERR_INTERNAL (-1000)           /* the engine failed unexpectedly; see the text */
#define DRM_WARN_NULL 1004                 /* column value is NULL */
#define DRM_WARN_TRUNCATED 1006            /* value longer than the buffer */
#define DRM_WARN_BLOB_TRUNCATED 5203       /* note value cut to cbMax */
#define DRM_ERR_NOT_SUPPORTED (-1001)
#define DRM_ERR_INVALID_NAME (-1002)
#define DRM_ERR_INVALID_PARAMETER (-1003)
#define DRM_ERR_INVALID_DATABASE (-1010)
#define DRM_ERR_OUT_OF_MEMORY (-1011)
#define DRM_ERR_DISK_IO (-1022)
#define DRM_ERR_INVALID_PATH (-1023)
#define DRM_ERR_RECORD_TOO_LONG (-1026)
#define DRM_ERR_NOT_A_DATABASE (-1028)
#define DRM_ERR_NOT_DB_FILE (-1206)
#define DRM_ERR_BUFFER_TOO_SMALL (-1038)
#define DRM_ERR_TOO_MANY_COLUMNS (-1040)
#define DRM_ERR_INVALID_BOOKMARK (-1045)
#define DRM_ERR_DATA_LENGTH (-1047)
#define DRM_ERR_INDEX_IN_USE (-1051)
#define DRM_ERR_LOCK_WRITE (-1102)
#define DRM_ERR_INVALID_SESSION (-1104)
#define DRM_ERR_INVALID_SESSION_OPTION (-1114)
#define DRM_ERR_NO_SUCH_DATABASE (-1203)
#define DRM_ERR_DATABASE_LOCKED (-1207)
#define DRM_ERR_TABLE_LOCKED (-1302)
#define DRM_ERR_TABLE_EXISTS (-1303)
#define DRM_ERR_TABLE_IN_USE (-1304)
#define DRM_ERR_NO_SUCH_TABLE (-1305)
#define DRM_ERR_DDL_NEEDS_EXCLUSIVE (-1309)
#define DRM_ERR_INVALID_TABLE (-1310)
#define DRM_ERR_PRIMARY_EXISTS (-1402)
#define DRM_ERR_INDEX_EXISTS (-1403)
#define DRM_ERR_NO_SUCH_INDEX (-1404)
#define DRM_ERR_NULL_NOT_VALID (-1504)
#define DRM_ERR_FIELD_LENGTH (-1506)
#define DRM_ERR_NO_SUCH_COLUMN (-1507)
#define DRM_ERR_COLUMN_EXISTS (-1508)
#define DRM_ERR_INVALID_COLUMN_TYPE (-1511)
#define DRM_ERR_CANNOT_INDEX_LONG (-1513)
#define DRM_ERR_INVALID_COLUMN_ID (-1517)
#define DRM_ERR_NO_CURRENT_RECORD (-1603)
#define DRM_ERR_DUPLICATE_KEY (-1605)
#define DRM_ERR_NO_PENDING_ROW (-1609)
#define DRM_ERR_DISK_FULL (-1808)
#define DRM_ERR_PERMISSION_DENIED (-1809)
#define DRM_ERR_INVALID_ACCOUNT (-1903)
#define DRM_ERR_INVALID_PASSWORD (-1905)
#define DRM_ERR_ACCESS_DENIED (-1907)
#define DRM_ERR_FILTER_NOT_SUPPORTED (-2001)
#define DRM_ERR_SAVEPOINT_IN_USE (-3054)
#define DRM_ERR_USER_NAME_MISSING (-4828)
#define DRM_ERR_ACCOUNT_NOT_ALLOWED (-4829)
#define DRM_ERR_TABLE_HAS_HANDLES (-4914)
#define DRM_ERR_RECORD_GONE (-4956)
#define DRM_ERR_NO_INSERT_POSSIBLE (-4991)
#define DRM_ERR_RECORD_LOCKED (-5202)
#define DRM_ERR_INVALID_DATE (-5208)
/* Named-database calls (SQL*DatabaseName2) */
#define DRM_DBN_NAME_UNKNOWN 2301
#define DRM_DBN_BUFFER_LENGTH 2302
#define DRM_DBN_NAME_EXISTS 2303
#define DRM_DBN_INVALID_NAME 2304
#define DRM_DBN_INVALID_PATH 2305
#define DRM_DBN_REGISTRY_IO 2306
#define DRM_DBN_REGISTRY_OPEN 2307
#define DRM_DBN_GENERAL 2343

/* Length of the text RareGetExtErrStr writes at most, NUL included. */
#define DRM_EXT_ERR_MAX 5120

/* ---- Packed records ------------------------------------------------------ */
#pragma pack(push, 1)

/* Kinds of filter terms (IsColumn). */
enum DRM_FilterIsColumn
#ifdef __cplusplus
    : uint8_t
#endif
{ fisConst = 0,
  fisColumn = 1,
  fisPartialConst = 2,
  fisNull = 3 };

/* One filter term; arrays of these have a stride of 21 bytes on 64-bit. */
typedef struct DRM_FilterStruct {
  uint8_t IsColumn;         /* DRM_FilterIsColumn */
  uint32_t ColumnId;        /* tested column */
  uint8_t ExprWithNextTerm; /* 0 none, 1 AND, 2 OR (0x80 masked off) */
  uint8_t CompareCode;      /* 1..6, plus 0x80 case-insensitive */
  uint32_t CompColumnId;    /* second column for fisColumn, else 0 */
  void* pConst;             /* constant in the column's engine format */
  uint16_t ConstLen;        /* bytes of the constant */
} DRM_FilterStruct;
typedef DRM_FilterStruct* PDRM_FilterStructArray;

/* Record-manager information of a cursor (RareGetRmInfo). */
typedef struct TRmInfo {
  void* pKeyBuf;                /* engine-owned key image of the current record */
  uint8_t KeyLen;               /* its length, 0 when none */
  int8_t KeyNum;                /* current index number from 0, -1 for none */
  DRM_FilterStruct* CurFilter;  /* the dataset filter's terms */
  int32_t CurFilterLen;         /* their count */
} TRmInfo;

/* Column descriptor of RareCreateColumn. */
typedef struct DRM_ColumnStruct {
  uint32_t StructSize; /* sizeof(DRM_ColumnStruct) = 36 */
  uint32_t ColTyp;     /* RM << 8 | DRM */
  uint32_t cbMax;
  uint16_t Precision;
  uint16_t Scale;
  uint32_t grBit;          /* 0x4 required */
  const char* pDefault;    /* default text, or NULL for none */
  const char* pCollation;  /* "_CASE" for case-insensitive, or NULL */
} DRM_ColumnStruct;

#pragma pack(pop)

/* Chunk descriptor of RareRetrieveColumn: read from Offset on. */
typedef struct DRM_RetrieveStruct {
  uint32_t StructSize; /* 8 */
  uint32_t Offset;
} DRM_RetrieveStruct;

/* Catalog info structures are arrays of uint32_t: word 0 set by the caller
   to the structure size, word 1 the result cursor, the words at the offsets
   below the column ids of the result cursor's columns. */
#define DRM_TABLEINFO_SIZE 32
#define DRM_COLUMNINFO_SIZE 52
#define DRM_INDEXINFO_SIZE 36

/* Byte offsets of the result column ids in the info structures. */
#define DRM_TI_CURSOR 4
#define DRM_TI_NAME 8
#define DRM_TI_TYPE 12
#define DRM_TI_FLAGS 24
#define DRM_CI_CURSOR 4
#define DRM_CI_NAME 12
#define DRM_CI_COLUMNID 16
#define DRM_CI_COLTYP 20
#define DRM_CI_CBMAX 24
#define DRM_CI_GRBIT 28
#define DRM_CI_SCALE 32
#define DRM_CI_PRECISION 36
#define DRM_CI_BASETABLEID 40
#define DRM_CI_PROCCOLTYPE 44
#define DRM_CI_SEQUENCEID 48
#define DRM_II_CURSOR 4
#define DRM_II_INDEXNAME 12
#define DRM_II_GRBITINDEX 16
#define DRM_II_SEGMENT 20
#define DRM_II_COLUMNID 24
#define DRM_II_GRBITCOLUMN 28
#define DRM_II_COLUMNNAME 32

/* ---- Sessions and transactions ------------------------------------------ */
DRM_API int32_t RareBeginSession(uint32_t* hSession, const char* user, const char* password,
                                 const char* ext) DRM_NOEXCEPT;
DRM_API int32_t RareEndSession(uint32_t hSession) DRM_NOEXCEPT;
DRM_API int32_t RareSetSessionOption(uint32_t hSession, int32_t option, int32_t value) DRM_NOEXCEPT;
DRM_API int32_t RareSetTransact(uint32_t hSession, int32_t operation,
                                const char* savepoint) DRM_NOEXCEPT;

/* ---- Databases ------------------------------------------------------------ */
/* target = host, TAB, database name or path */
DRM_API int32_t RareOpenDatabase(uint32_t hSession, const char* target, uint32_t* hDatabase,
                                 int32_t mode, const char* user, const char* password) DRM_NOEXCEPT;
DRM_API int32_t RareCloseDatabase(uint32_t hSession, uint32_t hDatabase) DRM_NOEXCEPT;
DRM_API int32_t RareIsDatabaseSecured(uint32_t hDatabase, uint16_t* secured) DRM_NOEXCEPT;

/* ---- Named databases (flags: 10-byte record, byte 0 bound, 1 integrity,
        2 create dictionary) ---------------------------------------------- */
DRM_API int32_t SQLGetDatabaseInfo2(const char* name, uint8_t* flags, uint16_t* dictPathSize,
                                    char* dictPath, uint16_t* dataPathSize, char* dataPath,
                                    const char* user, const char* password) DRM_NOEXCEPT;
DRM_API int32_t SQLAddDatabaseName2(const char* name, const uint8_t* flags, uint16_t dictPathLen,
                                    const char* dictPath, uint16_t dataPathLen,
                                    const char* dataPath, int32_t reserved, const char* user,
                                    const char* password) DRM_NOEXCEPT;
DRM_API int32_t SQLModifyDatabaseInfo2(const char* oldName, const char* newName,
                                       uint16_t dictPathLen, const char* dictPath,
                                       uint16_t dataPathLen, const char* dataPath,
                                       const uint8_t* flags, const char* user,
                                       const char* password) DRM_NOEXCEPT;
DRM_API int32_t SQLDropDatabaseName2(const char* name, int32_t reserved, const char* user,
                                     const char* password) DRM_NOEXCEPT;

/* ---- Tables ----------------------------------------------------------------- */
DRM_API int32_t RareOpenTable(uint32_t hSession, uint32_t hDatabase, const char* tableName,
                              uint32_t reserved, int32_t mode, uint32_t* hTable) DRM_NOEXCEPT;
DRM_API int32_t RareCloseTable(uint32_t hSession, uint32_t hTable) DRM_NOEXCEPT;
DRM_API int32_t RareSetTableOption(uint32_t hTable, int32_t option, const void* value) DRM_NOEXCEPT;
DRM_API int32_t RareSetTableIndex(uint32_t hSession, uint32_t hTable,
                                  const char* indexName) DRM_NOEXCEPT;

/* ---- Positioning ------------------------------------------------------------ */
DRM_API int32_t RareMove(uint32_t hSession, uint32_t hTable, uint32_t moveCode) DRM_NOEXCEPT;
DRM_API int32_t RareGetBookmark(uint32_t hSession, uint32_t hTable, void* buffer,
                                uint32_t bufferSize, uint32_t* length) DRM_NOEXCEPT;
DRM_API int32_t RareGotoBookmark(uint32_t hSession, uint32_t hTable, const void* bookmark,
                                 uint32_t length) DRM_NOEXCEPT;
DRM_API int32_t RareGetRecordCount(uint32_t hTable, uint32_t* count) DRM_NOEXCEPT;
DRM_API int32_t RareFindPercentage(uint32_t hTable, uint32_t* percentage) DRM_NOEXCEPT;
DRM_API int32_t RareGetByPercentage(uint32_t hTable, uint32_t percentage) DRM_NOEXCEPT;
DRM_API int32_t RareRefreshCurRecord(uint32_t hTable) DRM_NOEXCEPT;

/* ---- Reading ---------------------------------------------------------------- */
DRM_API int32_t RareRetrieveColumn(uint32_t hSession, uint32_t hTable, uint32_t columnId,
                                   void* buffer, uint32_t bufferSize, uint32_t* length,
                                   const DRM_RetrieveStruct* chunk) DRM_NOEXCEPT;

/* ---- Update cycle ----------------------------------------------------------- */
DRM_API int32_t RareInitUpdate(uint32_t hSession, uint32_t hTable, int32_t mode) DRM_NOEXCEPT;
DRM_API int32_t RareSetColumn(uint32_t hSession, uint32_t hTable, uint32_t columnId,
                              const void* data, uint32_t length, int32_t chunk, int32_t setNull,
                              uint32_t offset) DRM_NOEXCEPT;
DRM_API int32_t RareUpdateRecord(uint32_t hSession, uint32_t hTable) DRM_NOEXCEPT;
DRM_API int32_t RareCancelUpdate(uint32_t hSession, uint32_t hTable) DRM_NOEXCEPT;
DRM_API int32_t RareDeleteRecord(uint32_t hSession, uint32_t hTable) DRM_NOEXCEPT;
DRM_API int32_t RareGetBlobSize(uint32_t hTable, uint32_t columnId, int32_t* size) DRM_NOEXCEPT;
DRM_API int32_t RareTruncateBlob(uint32_t hTable, uint32_t columnId, uint32_t length) DRM_NOEXCEPT;

/* Multiplies the signed 64-bit integer held in four 16-bit words (lowest
   first) by 10^power in place. Returns non-zero on success, 0 on overflow. */
DRM_API int32_t RareIntPower10(uint16_t* w0, uint16_t* w1, uint16_t* w2, uint16_t* w3,
                               int32_t power) DRM_NOEXCEPT;

/* ---- Filters, keys, ranges -------------------------------------------------- */
DRM_API int32_t RareMakeFilterKey(uint32_t hTable, uint32_t columnId, int32_t slot,
                                  const void* value, uint16_t length, uint32_t flags) DRM_NOEXCEPT;
DRM_API int32_t RareCancelFilterKey(uint32_t hTable, int32_t slot) DRM_NOEXCEPT;
DRM_API int32_t RareSetRange(uint32_t hTable, const DRM_FilterStruct* startTerms,
                             uint16_t startCount, const DRM_FilterStruct* endTerms,
                             uint16_t endCount) DRM_NOEXCEPT;
DRM_API int32_t RareCancelRange(uint32_t hTable) DRM_NOEXCEPT;
DRM_API int32_t RareSetFilterOnColumns(uint32_t hTable, const DRM_FilterStruct* terms,
                                       uint16_t count, int32_t* tag, int32_t mode) DRM_NOEXCEPT;
DRM_API int32_t RareRemoveFilterFromColumns(uint32_t hTable, int32_t tag,
                                            int32_t mode) DRM_NOEXCEPT;

/* ---- Catalog ------------------------------------------------------------------ */
DRM_API int32_t RareGetDatabaseTableInfo(uint32_t hSession, uint32_t hDatabase, uint32_t* info,
                                         uint32_t infoSize) DRM_NOEXCEPT;
DRM_API int32_t RareGetDatabaseProcedureInfo(uint32_t hSession, uint32_t hDatabase,
                                             uint32_t* info, uint32_t infoSize) DRM_NOEXCEPT;
DRM_API int32_t RareGetTableColumnInfo(uint32_t hSession, uint32_t hTable, uint32_t* info,
                                       uint32_t infoSize) DRM_NOEXCEPT;
DRM_API int32_t RareGetTableIndexInfo(uint32_t hSession, uint32_t hTable, const char* indexName,
                                      uint32_t* info, uint32_t infoSize) DRM_NOEXCEPT;

/* ---- Data definition ---------------------------------------------------------- */
DRM_API int32_t RareCreateTable(uint32_t hSession, uint32_t hDatabase, const char* tableName,
                                uint32_t* hTable) DRM_NOEXCEPT;
DRM_API int32_t RareCreateColumn(uint32_t hSession, uint32_t hTable, const char* columnName,
                                 const DRM_ColumnStruct* column, uint32_t* columnId) DRM_NOEXCEPT;
/* keySpec: "+Name\0-Other\0\0", zero bytes up to keySpecLen */
DRM_API int32_t RareCreateIndex(uint32_t hSession, uint32_t hTable, const char* indexName,
                                uint32_t flags, const char* keySpec, uint32_t keySpecLen,
                                uint32_t reserved) DRM_NOEXCEPT;
DRM_API int32_t RareDeleteIndex(uint32_t hSession, uint32_t hTable,
                                const char* indexName) DRM_NOEXCEPT;
DRM_API int32_t RareDeleteTable(uint32_t hSession, uint32_t hDatabase,
                                const char* tableName) DRM_NOEXCEPT;
DRM_API int32_t RareRenameTable(uint32_t hTable, const char* newName) DRM_NOEXCEPT;
DRM_API int32_t RareSetOwnerOnTable(uint32_t hTable, const char* owner,
                                    int32_t accessMode) DRM_NOEXCEPT;

/* ---- Direct record-manager access ------------------------------------------- */
/* Operations of RareRmCall */
/* data receives the record image (the catalog's columns one after another,
   each a null-indicator byte and its engine value); key/keyLen: for
   DRM_RM_GET_EQUAL the value of the first segment of index keyNum. */
#define DRM_RM_FIRST 1
#define DRM_RM_NEXT 2
#define DRM_RM_PREVIOUS 3
#define DRM_RM_LAST 4
#define DRM_RM_GET_EQUAL 5
#define DRM_RM_RECORD_COUNT 6
DRM_API int32_t RareRmCall(uint32_t hTable, int16_t operation, void* data, uint16_t* dataLen,
                           void* key, uint8_t keyLen, int8_t keyNum) DRM_NOEXCEPT;
DRM_API int32_t RareGetRmInfo(uint32_t hTable, TRmInfo* info) DRM_NOEXCEPT;

/* ---- Engine extensions ------------------------------------------------------ */
/* Adds or replaces (password not NULL) or removes (password NULL) an account
   of a database; a database with at least one account is secured. */
DRM_API int32_t DrmEngineSetUser(uint32_t hSession, uint32_t hDatabase, const char* user,
                                 const char* password) DRM_NOEXCEPT;
/* The local folder or file a location names, as RareOpenDatabase maps it
   (drive letters through the drive map, a rooted path written with
   backslashes and no drive letter on the default drive, C unless configured,
   backslashes as separators, ".." that stays inside a drive's folder,
   components matched without case, a path written with slashes only taken
   as it is), whether it exists or not. Applications map their own file paths
   with it too, so that a Windows-style path means the same to them as to the
   engine. The text and
   a NUL go to `buffer`, `length` receives the text's length. A location
   the engine refuses answers as RareOpenDatabase would (-1203 another
   host's share, -1023 an unknown share); -1038 when the buffer is short.
   Failures are recorded under session 0xFFFFFFFF. */
DRM_API int32_t DrmEngineLocalPath(const char* location, char* buffer, uint32_t bufferSize,
                                   uint32_t* length) DRM_NOEXCEPT;
/* 1 when a location is a path (it holds a separator or a drive prefix), 0
   when RareOpenDatabase takes it for the name of a named database;
   -1003 for NULL. */
DRM_API int32_t DrmEngineLocationIsPath(const char* location) DRM_NOEXCEPT;
/* Lists the named databases: each name NUL-terminated, then one more NUL.
   `length` receives the bytes needed; -1038 when they do not fit. */
DRM_API int32_t RareListDatabaseNames(char* buffer, uint32_t bufferSize,
                                      uint32_t* length) DRM_NOEXCEPT;

/* ---- Diagnostics -------------------------------------------------------------- */
/* hSession 0xFFFFFFFF: no session. Always writes a NUL-terminated text. */
DRM_API int32_t RareGetExtErrStr(uint32_t hSession, int32_t status, char* buffer,
                                 uint32_t bufferSize, uint32_t* length) DRM_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* DAC_ENGINE_DRM_H */
