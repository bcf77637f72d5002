#include "variables/mVarialbles.h"

#include <cstring>
#include <set>
#include <system_error>
#include <vector>

#include "app/mFile.h"
#include "compress/TextOps.h"
#include "variables/mDate.h"

namespace mVarialbles {
namespace {

namespace fs = std::filesystem;

bool IsFolder(const fs::path& p) {
  std::error_code ec;
  return !p.empty() && fs::is_directory(p, ec);
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

// The values of a variables text: cut at every ";".   "Home;About us;" -> {"Home", "About us", ""}
std::vector<std::string_view> SplitValues(std::string_view text) {
  std::vector<std::string_view> values;
  size_t from = 0;
  while (true) {
    const size_t semi = text.find(';', from);
    if (semi == std::string_view::npos) {
      values.push_back(text.substr(from));
      return values;
    }
    values.push_back(text.substr(from, semi - from));
    from = semi + 1;
  }
}

constexpr std::string_view kPrefix = "#VARIABLE";

// One "#VARIABLE" digits "#" in a text, at [start, end). `number` is the variable it names,
// or 0 when no variable of the file has that exact decimal form (a leading zero, a number
// beyond the last value).
struct Token {
  size_t start;
  size_t end;
  size_t number;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Every placeholder of the text, by increasing start; overlapping ones (sharing a "#")
// included. A value's number counts only up to `count`.
std::vector<Token> ScanTokens(std::string_view text, size_t count) {
  std::vector<Token> tokens;
  for (size_t at = txt::Find(text, kPrefix); at != txt::npos;
       at = txt::Find(text, kPrefix, at + 1)) {
    size_t q = at + kPrefix.size();
    const size_t digits = q;
    size_t number = 0;
    bool inRange = true;
    while (q < text.size() && IsDigit(text[q])) {
      if (inRange) {
        number = number * 10 + static_cast<size_t>(text[q] - '0');
        if (number > count) inRange = false;
      }
      ++q;
    }
    if (q == digits || q >= text.size() || text[q] != '#') continue;
    if (!inRange || text[digits] == '0') number = 0;
    tokens.push_back({at, q + 1, number});
  }
  return tokens;
}

// Whether a neighbouring byte could belong to a placeholder that a replacement completes:
// "#" or a letter or digit of "VARIABLE" and the number.
bool CouldJoin(char c) {
  return c == '#' || IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether every byte of a value could stand inside a placeholder, between its two "#":
// a letter of "VARIABLE" or a digit. An empty value passes.
bool CouldSitInPlaceholder(std::string_view v) {
  for (char c : v) {
    const char l = static_cast<char>(txt::AsciiLower(static_cast<unsigned char>(c)));
    if (!IsDigit(l) && std::string_view("variable").find(l) == std::string_view::npos) return false;
  }
  return true;
}

// Whether replacing each placeholder of `tokens` by its value in one left-to-right pass gives
// what the sweeps for n = 1 .. N give. The sweeps differ only where one replacement changes
// what a later sweep sees:
//  - a value holding "#" may bring in a placeholder (or complete one with the text around it);
//  - two placeholders sharing a "#" ("#VARIABLE2#VARIABLE1#") lose that "#" to the first sweep;
//  - a value without "#" can only complete a placeholder whose two "#" stand outside it, with
//    the value inside ("#VARI" "#VARIABLE1#" "2#" with value 1 "ABLE" gives "#VARIABLE2#").
//    Take the leftmost replaced placeholder inside such a new one: the bytes right before and
//    right after it belong to the new placeholder ("#", letters, digits, or the "#" of the
//    next replaced one), and its value is made of letters of "VARIABLE" and digits.
// Where none of these can happen every later placeholder stays exactly where the one pass
// finds it.
bool OnePassIsExact(std::string_view text, const std::vector<Token>& tokens,
                    const std::vector<std::string_view>& values) {
  for (std::string_view v : values) {
    if (v.find('#') != std::string_view::npos) return false;
  }
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (i + 1 < tokens.size() && tokens[i + 1].start < t.end) return false;
    if (t.number == 0) continue;
    const bool joinsLeft = t.start > 0 && CouldJoin(text[t.start - 1]);
    const bool joinsRight = t.end < text.size() && CouldJoin(text[t.end]);
    if (joinsLeft && joinsRight && CouldSitInPlaceholder(values[t.number - 1])) return false;
  }
  return true;
}

std::string ReplaceInOnePass(std::string_view text, const std::vector<Token>& tokens,
                             const std::vector<std::string_view>& values) {
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  for (const Token& t : tokens) {
    if (t.number == 0) continue;
    out.append(text, done, t.start - done);
    out.append(values[t.number - 1]);
    done = t.end;
  }
  out.append(text, done, std::string_view::npos);
  return out;
}

// The sweeps themselves, but only for the numbers that can be in the text at their turn. A
// sweep for a placeholder the text does not hold changes nothing, and the text changes only
// in a sweep that replaced something; after such a sweep every placeholder of a later number
// is collected again. So every sweep that would change the text is made, in increasing order.
std::string ReplaceBySweeps(std::string_view text, const std::vector<Token>& tokens,
                            const std::vector<std::string_view>& values) {
  std::string out(text);
  std::set<size_t> pending;
  for (const Token& t : tokens) {
    if (t.number != 0) pending.insert(t.number);
  }
  while (!pending.empty()) {
    const size_t n = *pending.begin();
    pending.erase(pending.begin());
    const std::string pattern = std::string(kPrefix) + std::to_string(n) + "#";
    if (txt::ReplaceAll(out, pattern, values[n - 1]) == 0) continue;
    for (const Token& t : ScanTokens(out, values.size())) {
      if (t.number > n) pending.insert(t.number);
    }
  }
  return out;
}

// Whether the text holds any of the four date placeholders: each "#" is looked at once.
bool HoldsDatePlaceholder(std::string_view text) {
  const char* base = text.data();
  for (size_t from = 0; from < text.size();) {
    const void* hit = std::memchr(base + from, '#', text.size() - from);
    if (!hit) return false;
    const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - base);
    for (std::string_view p : {"#ISODATE#", "#ARPADATE#", "#LONGDATE#", "#SHORTDATE#"})
      if (txt::MatchAt(text, at, p)) return true;
    from = at + 1;
  }
  return false;
}

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string ReplaceStamp(std::string text, std::string_view placeholder, const QDateTime& now,
                         std::string (*stamp)(const QDateTime&)) {
  if (!txt::Contains(text, placeholder)) return text;
  txt::ReplaceAll(text, placeholder, stamp(now));
  return text;
}

}  // namespace

bool IsUsable(std::string_view variablesText) {
  return !variablesText.empty() && variablesText != "*";
}

Variables isBrixelVariables(const fs::path& originalFolder, const fs::path& folder) {
  Variables v;
  if (IsFolder(originalFolder) && IsFolder(originalFolder / "_variables")) {
    const fs::path file = originalFolder / "_variables" / "_variables.txt";
    if (Exists(file)) {
      v.text = mFile::ReadRawTextFile(file);
      if (IsUsable(v.text)) {
        v.isBrixelProject = true;
        return v;
      }
    }
  }
  if (IsFolder(folder) && IsFolder(folder / "_brixelsiteprefs") &&
      IsFolder(folder / "_brixelsiteprefs" / "_notes")) {
    const fs::path file = folder / "_brixelsiteprefs" / "_notes" / "variables.txt";
    if (Exists(file)) {
      v.text = mFile::ReadRawTextFile(file);
      v.isBrixelProject = IsUsable(v.text);
    }
  }
  return v;
}

std::string ReplaceVariables(std::string_view text, std::string_view variablesText) {
  const std::vector<std::string_view> values = SplitValues(variablesText);
  const std::vector<Token> tokens = ScanTokens(text, values.size());
  bool any = false;
  for (const Token& t : tokens) any = any || t.number != 0;
  if (!any) return std::string(text);
  if (OnePassIsExact(text, tokens, values)) return ReplaceInOnePass(text, tokens, values);
  return ReplaceBySweeps(text, tokens, values);
}

std::string ReplaceISODATE(std::string text, const QDateTime& now) {
  return ReplaceStamp(std::move(text), "#ISODATE#", now, mDate::GetISODateStr);
}

std::string ReplaceARPADATE(std::string text, const QDateTime& now) {
  return ReplaceStamp(std::move(text), "#ARPADATE#", now, mDate::GetARPADateTimeStr);
}

std::string ReplaceLONGDATE(std::string text, const QDateTime& now) {
  return ReplaceStamp(std::move(text), "#LONGDATE#", now, mDate::GetLongDateStr);
}

std::string ReplaceSHORTDATE(std::string text, const QDateTime& now) {
  return ReplaceStamp(std::move(text), "#SHORTDATE#", now, mDate::GetShortDateStr);
}

// Placeholders start with "#" (0x23), which is never the second byte of a Shift_JIS
// character, so they are matched as bytes in every encoding and `ctx` is not needed.
std::string DoUpdateVariables(std::string text, const Variables& vars, const QDateTime& now,
                              const trimora::TextCtx& /*ctx*/) {
  if (vars.isBrixelProject && txt::Contains(text, kPrefix)) {
    // A failure inside the replacement (out of memory on a huge page) keeps the page as it
    // was; it never empties or cuts it.
    try {
      text = ReplaceVariables(text, vars.text);
    } catch (const std::exception&) {
    }
  }
  if (!HoldsDatePlaceholder(text)) return text;
  text = ReplaceISODATE(std::move(text), now);
  text = ReplaceARPADATE(std::move(text), now);
  text = ReplaceLONGDATE(std::move(text), now);
  text = ReplaceSHORTDATE(std::move(text), now);
  size_t first = 0;
  while (first < text.size() && IsTrimmed(text[first])) ++first;
  size_t last = text.size();
  while (last > first && IsTrimmed(text[last - 1])) --last;
  text.erase(last);
  text.erase(0, first);
  return text;
}

}  // namespace mVarialbles
