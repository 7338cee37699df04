#pragma once
// Table-name patterns: "*" stands for any run of characters, "?" for any
// one character, letters compare without regard to case. The match works
// without backtracking: after a "*" the first occurrence of the following
// literal is taken, so "*b" does not match "abab", and a pattern without
// "*" matches a text whose first occurrence of it ends at the text's end
// ("Company" matches "MyCompany").

#include <string>

namespace dac {

bool MatchPattern(const std::string& Pattern, const std::string& Text);

}  // namespace dac
