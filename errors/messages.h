#pragma once
// The component layer's fixed message texts, in one place. Placeholders are
// filled with dac::Format ("%s" a text, "%d" a decimal integer). Texts are
// copied character for character into exception messages; do not reword them.

namespace dac {

// Joining and component descriptions.
inline constexpr const char* SErrorSeparator = ". ";
inline constexpr const char* SComponentIs = "Component is %s";
inline constexpr const char* SOwnedBy = "owned by %s";
inline constexpr const char* SOwnerJoin = ", ";
inline constexpr const char* SCannotNameComponent = "Cannot name the component";
inline constexpr const char* STableNameIs = "Table name is %s";
inline constexpr const char* SSessionNameIs = "Session name is %s";
inline constexpr const char* SServerNameIs = "Server name is %s";
inline constexpr const char* SDatabaseNameIs = "Database name is %s";
// Begins with the full stop and ends with a blank: it follows the status text
// directly.
inline constexpr const char* SAliasNameIs = ". Alias name: ";
// A component name placed before a raised message.
inline constexpr const char* SComponentMessage = "%s: %s";

// Fallback texts for statuses without a text of their own.
inline constexpr const char* SPvSqlError = "P.SQL error %d";
inline constexpr const char* SDbNamesApiError = "DB names API error %d";
inline constexpr const char* SDtiError = "DTI error %d";

// Error entries of an engine exception.
inline constexpr const char* SListIndexError = "List index (%d) out of bounds";

// Dataset and database messages.
inline constexpr const char* SErrorCreatingCursorHandle = "Error creating cursor handle";
inline constexpr const char* SDatabaseClosed = "Cannot perform this operation on a closed database";

// Diagnostic trace.
inline constexpr const char* STraceClose = "</diag>";
// Exactly 46 characters: "<!--", twenty " -" pairs and two blanks. The
// separator number and " -->" follow.
inline constexpr const char* STraceSeparator = "<!-- - - - - - - - - - - - - - - - - - - - -  ";
inline constexpr const char* STraceSeparatorEnd = " -->";
inline constexpr const char* STimingNotSupported = "<timing supported=\"false\"/>";
inline constexpr const char* STraceFileNotOpen = "Trace file is not open";
inline constexpr const char* STraceWriteFailed = "Cannot write to the trace file";
inline constexpr const char* STraceOpenFailed = "Cannot open the trace file %s";

// Sessions and the session list.
inline constexpr const char* SInvalidSessionName = "Invalid session name %s";
inline constexpr const char* SSessionNameMissing = "Session name missing";
inline constexpr const char* SAutoSessionActive = "Cannot modify SessionName while AutoSessionName is enabled";
inline constexpr const char* SSessionActive = "Cannot perform this operation on an active session";
inline constexpr const char* SDuplicateSessionName = "Duplicate session name '%s'";
inline constexpr const char* SAutoSessionExclusive =
    "Cannot enable AutoSessionName property with more than one session on a form or data-module";
inline constexpr const char* SAutoSessionExists =
    "Cannot add a session to the form or data-module while session '%s' has AutoSessionName enabled";
inline constexpr const char* SInvalidParamsCount = "Invalid parameters count";
inline constexpr const char* SCannotLocateAlias = "Cannot locate the alias";
// Raised by operations whose machinery (engine-store aliases, remote
// administration, cached updates) is not built yet.
inline constexpr const char* SNotSupportedYet = "%s is not supported yet";
inline constexpr const char* SCapabilityNotSupported = "Capability not supported";

// Database connection and transactions.
inline constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database";
inline constexpr const char* SDatabaseNameMissing = "Database name missing";
inline constexpr const char* SNoDirectoryAssignment = "Assignment to 'Directory' property is not supported";
inline constexpr const char* SDuplicateDatabaseName = "Duplicate database name '%s'";
inline constexpr const char* SDatabaseHandleSet = "Database handle owned by a different session";
inline constexpr const char* SNestedTransactions = "Nested transactions not supported";
inline constexpr const char* SNotInTransaction = "Currently not in transaction";
inline constexpr const char* SUpdateWrongDB = "Cannot update, %s is not owned by %s";
inline constexpr const char* SLoginError = "Cannot connect to database '%s'";

// Catalog collections.
inline constexpr const char* SCollectionNotFilled = "Collection not filled";
inline constexpr const char* SIndexNumberNotFound = "Index with number %d not found";

// Column value conversion.
inline constexpr const char* SFieldIndexOutOfRange = "Field index out of range";
inline constexpr const char* SBcdOverflow = "BCD overflow";

// Index definitions.
inline constexpr const char* SNoIndexForFields = "No index for fields '%s'";

// Keys, ranges and master-detail links.
inline constexpr const char* SNoIndexActive = "No index currently active";
inline constexpr const char* SCannotAccessIndexField = "Cannot access index field '%s'";
inline constexpr const char* SIncompatibleTables = "Source and destination tables are incompatible";

// Dataset core and the engine cursor.
inline constexpr const char* SNotInCachedUpdateMode = "Not in cached update mode";
inline constexpr const char* SCachedUpdatesNotSupported = "Cached updates not supported";
// A record buffer's offsets are 16-bit: a wider layout cannot be addressed.
inline constexpr const char* SRecordTooLarge = "Record size too large";
inline constexpr const char* SMissingTableName = "Missing TableName property";
inline constexpr const char* SInvalidPrecision = "Invalid precision";
inline constexpr const char* SCannotCreateHandle = "Can not create a handle";

// Filter expressions: the words of the Boolean constants.
inline constexpr const char* STextTrue = "True";
inline constexpr const char* STextFalse = "False";

// Filter expressions: reading and parsing the text.
inline constexpr const char* SExprInvalidChar = "Invalid expression character: '%s'";
inline constexpr const char* SExprStringTerminated = "Unterminated string constant";
inline constexpr const char* SExprNameTerminated = "Unterminated field name";
inline constexpr const char* SExprBadKeyword = "Invalid use of keyword";
inline constexpr const char* SExprLParenExpected = "'(' expected but %s found";
inline constexpr const char* SExprRParenExpected = "')' expected but %s found";
inline constexpr const char* SExprRParenOrCommaExpected = "')' or ',' expected but %s found";
inline constexpr const char* SExprExpected = "Expression expected but %s found";
inline constexpr const char* SExprEmptyInList = "IN predicate list may not be empty";
inline constexpr const char* SExprNoArith = "Arithmetic expressions not supported";
inline constexpr const char* SExprTypeMis = "Type mismatch in expression";
inline constexpr const char* SExprNoAggOnCalcs = "Operation cannot mix aggregate value with record-varying value";
inline constexpr const char* SExprTermination = "Expression incorrectly terminated";
inline constexpr const char* SExprNotAgg = "Expression is not an aggregate expression";
inline constexpr const char* SExprNoAggFilter = "Aggregate expressions not allowed";
inline constexpr const char* SExprIncorrect = "Incorrectly formed expression";
// Shown in place of a token at the end of the text.
inline constexpr const char* SExprNothing = "nothing";
// Brackets, IN lists and argument lists nest at most kMaxExprNesting deep
// (filter/can_expr.h): deeper texts would exhaust the stack.
inline constexpr const char* SExprTooDeep = "Expression nested too deeply: more than %d levels of brackets, lists or arguments";

// Filter expressions: the expression tree and its encoded buffer.
inline constexpr const char* SExprBadField = "Field '%s' cannot be used in a expression";
inline constexpr const char* SExprBadConst = "Constant is not correct for type %s";
inline constexpr const char* SExprBadNullTest = "NULL only allowed with '=' and '<>'";
inline constexpr const char* SExprNoFunctions = "Function expressions not allowed";
// Offsets and sizes in the buffer are 16-bit.
inline constexpr const char* SExprTooLarge = "Expression too large: its encoded form must stay below %d bytes";

// Filter expressions: the evaluator.
inline constexpr const char* SExprBadOperand = "Bad operand type";
inline constexpr const char* SExprUnknownNodeType = "Unknown node type: %d";
inline constexpr const char* SExprUnknownOperation = "Unknown node operation type: %d";
inline constexpr const char* SExprBadDataType = "Bad data type";
inline constexpr const char* SExprBadRetStruct = "Bad TRetStruct type";
inline constexpr const char* SExprBadVariantType = "Bad variant type";
// A dataset that cannot present a record buffer to its fields.
inline constexpr const char* SExprNoRecordHost = "Dataset cannot present a record buffer to a filter";

// Record editing.
inline constexpr const char* SFieldNotIndexed = "Field '%s' is not indexed and cannot be modified";
// Values a column cannot hold are refused, never cut.
inline constexpr const char* STextTooLong = "Value of %d characters does not fit field '%s' of %d characters";
inline constexpr const char* SDateOutOfRange = "Date of field '%s' is outside 0001-01-01 to 9999-12-31";

}  // namespace dac
