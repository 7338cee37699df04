#pragma once
// The texts of the company-list run: the agency code as the table stores
// it, the two filters, and a company name made fit for one CSV field.

#include <string>

namespace quillbox {

// The typed code without surrounding blanks; a one-character code gets the
// leading blank the table stores with it ("1" is " 1").
std::string StoredAgencyCode(const std::string& Typed);

// A filter constant: the text between single quotes, each quote inside it
// doubled, so that a quote in a code or number cannot end the constant.
std::string QuoteConstant(const std::string& Text);

// "AgyCode = '<code>' and fHasParentCmp = 0"
std::string ParentFilter(const std::string& Code);
// "AgyCode = '<code>' and MyParentCmp = '<number>'"
std::string SubsidiaryFilter(const std::string& Code, const std::string& ParentNumber);
// The same text in Out (its room kept: the run builds one per parent).
void SetSubsidiaryFilter(std::string& Out, const std::string& Code, const std::string& ParentNumber);

// A name for one CSV field: blanks and control characters at either end
// removed, each control character inside (a line break, a tab) and each
// comma replaced by one space. Inner spacing stays as it was.
std::string CleanName(const std::string& Name);
// The clean name appended to Out.
void AppendCleanName(std::string& Out, const std::string& Name);

}  // namespace quillbox
