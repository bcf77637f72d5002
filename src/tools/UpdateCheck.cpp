#include "tools/UpdateCheck.h"

#include <cstddef>
#include <tuple>

namespace updatecheck {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Reads one decimal number at `pos` and moves past it; false when no digit stands there or the
// number is too long to be a version number.
bool ReadNumber(std::string_view s, size_t& pos, int& out) {
  const size_t start = pos;
  long long value = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
    if (pos - start >= 9) return false;
    value = value * 10 + (s[pos] - '0');
    ++pos;
  }
  if (pos == start) return false;
  out = static_cast<int>(value);
  return true;
}

bool Expect(std::string_view s, size_t& pos, char c) {
  if (pos >= s.size() || s[pos] != c) return false;
  ++pos;
  return true;
}

}  // namespace

bool operator<(const Version& a, const Version& b) {
  return std::tie(a.major, a.minor, a.bug, a.stage, a.build) <
         std::tie(b.major, b.minor, b.bug, b.stage, b.build);
}

std::string VersionFileUrl() { return std::string(kProductServer) + kVersionFilePath; }
std::string DownloadPageUrl() { return std::string(kProductServer) + kDownloadPagePath; }

std::optional<Version> ParseVersion(std::string_view text) {
  const std::string_view s = Trim(text);
  Version v;
  size_t pos = 0;
  const bool ok = ReadNumber(s, pos, v.major) && Expect(s, pos, '.') &&
                  ReadNumber(s, pos, v.minor) && Expect(s, pos, '.') && ReadNumber(s, pos, v.bug) &&
                  Expect(s, pos, ' ') && Expect(s, pos, '(') && ReadNumber(s, pos, v.stage) &&
                  Expect(s, pos, '.') && ReadNumber(s, pos, v.build) && Expect(s, pos, ')') &&
                  pos == s.size();
  if (!ok) return std::nullopt;
  return v;
}

std::string FormatVersion(const Version& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.bug) +
         " (" + std::to_string(v.stage) + "." + std::to_string(v.build) + ")";
}

bool isNewer(std::string_view installed, std::string_view remote) {
  const auto have = ParseVersion(installed);
  const auto offered = ParseVersion(remote);
  return have && offered && *offered > *have;
}

Verdict Decide(std::string_view installed, std::string_view body) {
  std::string text;
  text.reserve(body.size());
  for (char c : body)
    if (c != '\0') text.push_back(c);
  if (text.empty() || text.front() != '#') return Verdict::NotAVersionFile;
  const std::string_view rest = std::string_view(text).substr(1);
  if (!ParseVersion(rest)) return Verdict::NotAVersionFile;
  return isNewer(installed, rest) ? Verdict::Newer : Verdict::NotNewer;
}

}  // namespace updatecheck
