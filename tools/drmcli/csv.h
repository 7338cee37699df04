// Comma-separated text as RFC 4180 writes it: fields holding a comma, a
// quote, CR or LF are quoted and inner quotes doubled; records end in CR LF.
// The reader also accepts bare LF line ends and remembers, per field,
// whether it was quoted, so that an empty quoted field ("") can stand for an
// empty text and an empty unquoted field for NULL.
#pragma once

#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace drmcli {

struct CsvField {
  std::string Text;
  bool Quoted = false;
};

class CsvError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One field as it goes into a record; `forceQuotes` quotes it even when it
// needs no quoting (used for empty texts that are not NULL).
std::string CsvQuote(const std::string& text, bool forceQuotes = false);

// A whole record with its CR LF.
std::string CsvRecord(const std::vector<CsvField>& fields);

class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : FIn(in) {}
  // Reads the next record; false at the end of the input. Throws CsvError
  // for a quote inside an unquoted field, text after a closing quote, or a
  // quoted field left open at the end.
  bool Next(std::vector<CsvField>& record);
  // Line on which the record last read started (1-based).
  size_t RecordLine() const { return FRecordLine; }

 private:
  std::istream& FIn;
  size_t FLine = 1;
  size_t FRecordLine = 0;
};

}  // namespace drmcli
