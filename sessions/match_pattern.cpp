#include "sessions/match_pattern.h"

#include <utility>

#include "platform/rtl/text.h"

namespace dac {

namespace {

// Positions are 1-based as in the algorithm's description; 0 means "none".
size_t Pos(const std::string& Sub, const std::string& S) {
  size_t p = S.find(Sub);
  return p == std::string::npos ? 0 : p + 1;
}

// S matched at the start of T, each "?" of S standing for any one character.
bool MatchAtStart(const std::string& S, const std::string& T) {
  if (T.size() < S.size()) return false;
  for (size_t i = 0; i < S.size(); ++i)
    if (S[i] != '?' && S[i] != T[i]) return false;
  return true;
}

// Position of the next "*" in P, or its length + 1.
size_t NextStar(const std::string& P) {
  size_t c = Pos("*", P);
  return c == 0 ? P.size() + 1 : c;
}

}  // namespace

bool MatchPattern(const std::string& Pattern, const std::string& Text) {
  if (Pattern.empty()) return true;
  if (Text.empty()) return Pattern == "*";

  // "?*" is the same as "*?"; "?" trailing a "*" adds nothing.
  std::string normalised = Pattern;
  for (size_t p = normalised.find("?*"); p != std::string::npos; p = normalised.find("?*"))
    std::swap(normalised[p], normalised[p + 1]);
  if (normalised.size() > 1) {
    size_t i = normalised.size();
    while (i > 0 && normalised[i - 1] == '?') --i;
    if (i < normalised.size() && i > 0 && normalised[i - 1] == '*') normalised.erase(i);
  }

  std::string P = UpperCase(normalised);
  std::string T = UpperCase(Text);
  bool firstSegment = true;
  size_t c = Pos("*", P);

  while (!P.empty() && !T.empty()) {
    size_t k = 0;
    if (c > 0)
      while (c + k < P.size() && P[c + k] == '?') ++k;

    const std::string S = c > 0 ? P.substr(0, c - 1) : std::string();
    P.erase(0, std::min(c, P.size()));

    if (firstSegment) {
      if (!MatchAtStart(S, T)) return false;
      T.erase(0, S.size());
    } else if (S.find('?') != std::string::npos) {
      const size_t q = S.find('?');
      const std::string A = S.substr(0, q);
      const size_t at = A.empty() ? 1 : Pos(A, T);
      if (at == 0) return false;
      // The occurrence, then the character the "?" stands for.
      const size_t consumed = at - 1 + A.size() + 1;
      if (consumed > T.size()) return false;
      T.erase(0, consumed);
      const std::string rest = S.substr(q + 1);
      if (!MatchAtStart(rest, T)) return false;
      T.erase(0, rest.size());
    } else {
      const size_t at = Pos(S, T);
      if (!S.empty()) {
        if (at == 0) return false;
        T.erase(0, at - 1 + S.size());
      }
    }

    firstSegment = false;
    c = NextStar(P);

    if (k > 0) {
      const size_t star = P.find('*', k);
      const std::string segment = P.substr(k, star == std::string::npos ? std::string::npos : star - k);
      P.erase(0, k);
      const std::string A = segment.substr(0, segment.find('?'));
      if (!A.empty()) {
        if (Pos(A, T) <= k) return false;
      } else if (T.size() < k) {
        return false;
      }
      c = NextStar(P);
    }
  }
  return P.empty() && (T.empty() || normalised.back() == '*');
}

}  // namespace dac
