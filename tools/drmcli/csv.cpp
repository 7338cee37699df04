#include "tools/drmcli/csv.h"

namespace drmcli {

std::string CsvQuote(const std::string& text, bool forceQuotes) {
  bool needs = forceQuotes || text.find_first_of(",\"\r\n") != std::string::npos;
  if (!needs) return text;
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string CsvRecord(const std::vector<CsvField>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += CsvQuote(fields[i].Text, fields[i].Quoted);
  }
  line += "\r\n";
  return line;
}

bool CsvReader::Next(std::vector<CsvField>& record) {
  record.clear();
  int c = FIn.get();
  if (c == std::char_traits<char>::eof()) return false;
  FRecordLine = FLine;
  CsvField field;
  enum { FieldStart, Unquoted, Quoted, AfterQuote } state = FieldStart;
  auto fail = [&](const char* what) {
    throw CsvError("line " + std::to_string(FLine) + ": " + what);
  };
  for (;; c = FIn.get()) {
    if (c == std::char_traits<char>::eof()) {
      if (state == Quoted) fail("quoted field not closed at the end of the file");
      record.push_back(std::move(field));
      return true;
    }
    char ch = static_cast<char>(c);
    if (state == Quoted) {
      if (ch == '"') {
        if (FIn.peek() == '"') {
          FIn.get();
          field.Text += '"';
        } else {
          state = AfterQuote;
        }
      } else {
        if (ch == '\n') ++FLine;
        field.Text += ch;
      }
      continue;
    }
    if (ch == ',') {
      record.push_back(std::move(field));
      field = CsvField();
      state = FieldStart;
      continue;
    }
    if (ch == '\r' || ch == '\n') {
      if (ch == '\r' && FIn.peek() == '\n') FIn.get();
      ++FLine;
      record.push_back(std::move(field));
      return true;
    }
    if (state == AfterQuote) fail("text after the closing quote of a field");
    if (ch == '"') {
      if (state == Unquoted) fail("quote inside an unquoted field");
      state = Quoted;
      field.Quoted = true;
      continue;
    }
    state = Unquoted;
    field.Text += ch;
  }
}

}  // namespace drmcli
