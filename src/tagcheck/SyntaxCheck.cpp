#include "tagcheck/SyntaxCheck.h"

#include "compress/TextOps.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace SyntaxCheck {
namespace {

// Elements without an end tag; the HTML5 check adds "embed".
constexpr std::string_view kSkipped[] = {"br",   "img",  "br />", "hr",    "hr />",
                                         "link", "meta", "input", "param", "base"};
constexpr std::string_view kSkippedHtml5Only = "embed";

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && txt::MatchAt(a, 0, b);
}

bool IsSkipped(std::string_view name, bool html5) {
  for (std::string_view s : kSkipped) {
    if (EqualsIgnoringCase(name, s)) return true;
  }
  return html5 && EqualsIgnoringCase(name, kSkippedHtml5Only);
}

bool IsStartDelimiter(char c) { return c == ' ' || c == '>' || c == '\r' || c == '\n'; }

// Longest name the one-pass scan looks up; longer names are counted the literal way.
constexpr size_t kMaxScanName = 64;

// A name the one-pass scan can count: the bytes after "<" up to the first delimiter, or after
// "</" up to the first ">", are the whole name. A name holding a delimiter, a line break (which
// never survives line-ending normalisation), "<" (whose matches could overlap) or NUL (the
// byte of the counting marker) is counted by replacing, as the marker procedure describes.
bool IsScanName(std::string_view name) {
  if (name.size() > kMaxScanName) return false;
  for (char c : name) {
    if (c == ' ' || c == '>' || c == '<' || c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

struct Counts {
  int64_t start = 0;
  int64_t end = 0;
};

// Open-addressing table from ASCII-lower-cased names to their counts.
class NameTable {
 public:
  explicit NameTable(size_t expected) {
    size_t cap = 16;
    while (cap < expected * 2) cap *= 2;
    slots_.assign(cap, -1);
    mask_ = cap - 1;
  }

  // Index of the key (inserted when new).
  int Insert(std::string_view lowered) {
    size_t h = Hash(lowered.data(), lowered.size()) & mask_;
    while (slots_[h] >= 0) {
      if (keys_[slots_[h]] == lowered) return slots_[h];
      h = (h + 1) & mask_;
    }
    slots_[h] = static_cast<int>(keys_.size());
    keys_.emplace_back(lowered);
    counts_.emplace_back();
    if (lowered.size() > maxLen_) maxLen_ = lowered.size();
    if (!lowered.empty() && lowered[0] == '/') slashFirst_ = true;
    return slots_[h];
  }

  Counts* Find(const char* lowered, size_t len) {
    size_t h = Hash(lowered, len) & mask_;
    while (slots_[h] >= 0) {
      const std::string& k = keys_[slots_[h]];
      if (k.size() == len && std::memcmp(k.data(), lowered, len) == 0) return &counts_[slots_[h]];
      h = (h + 1) & mask_;
    }
    return nullptr;
  }

  const Counts& At(int index) const { return counts_[index]; }
  size_t MaxLen() const { return maxLen_; }
  bool Empty() const { return keys_.empty(); }
  bool SlashFirst() const { return slashFirst_; }

 private:
  static size_t Hash(const char* s, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(s[i])) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }

  std::vector<int> slots_;
  size_t mask_ = 0;
  std::vector<std::string> keys_;
  std::vector<Counts> counts_;
  size_t maxLen_ = 0;
  bool slashFirst_ = false;
};

// Reads the lower-cased bytes of `page` from `from` into `buf` up to the first byte for which
// `stop` holds, at most `maxLen` of them. Returns the stop position, or npos when the text
// ends first or the run is longer than `maxLen`.
template <typename Stop>
size_t ReadName(std::string_view page, size_t from, size_t maxLen, char* buf, size_t& len,
                Stop stop) {
  len = 0;
  size_t q = from;
  const size_t n = page.size();
  while (q < n) {
    const char c = page[q];
    if (stop(c)) return q;
    if (len == maxLen) return txt::npos;
    buf[len++] = static_cast<char>(txt::AsciiLower(static_cast<unsigned char>(c)));
    ++q;
  }
  return txt::npos;
}

// Counts the start and end tags of every name in the table in one left-to-right pass.
//
// The counting is defined on the page with every CR LF, LF and CR made a single CR: start tags
// are the non-overlapping matches of "<" name " ", "<" name ">" and "<" name CR, end tags
// those of "</" name ">". For a scan name each match starts at a "<" and ends at the first
// delimiter after it, so every "<" holds at most one match of each kind and no two matches
// of a kind overlap: looking at each "<" once gives the same counts. Treating LF as a
// delimiter stands in for the normalisation (LF and CR LF become CR; a CR LF contributes only
// its CR to a match).
//
// Shift_JIS pages are scanned as bytes as well: "<" (0x3C) is never the second byte of a
// double-byte character, so the byte after it starts a character, and the ASCII name bytes
// that follow are single-byte characters. In UTF-8, EUC-JP and the other encodings of the
// table ASCII bytes are always characters of their own.
void CountTags(std::string_view page, NameTable& table) {
  const size_t maxLen = table.MaxLen();
  const bool slashFirst = table.SlashFirst();
  char buf[kMaxScanName];
  const char* base = page.data();
  const size_t n = page.size();
  size_t p = 0;
  while (p < n) {
    const void* hit = std::memchr(base + p, '<', n - p);
    if (!hit) break;
    p = static_cast<const char*>(hit) - base;
    const bool endTag = p + 1 < n && base[p + 1] == '/';
    size_t len;
    if (!endTag || slashFirst) {
      const size_t q = ReadName(page, p + 1, maxLen, buf, len, IsStartDelimiter);
      if (q != txt::npos) {
        if (Counts* c = table.Find(buf, len)) ++c->start;
      }
    }
    if (endTag) {
      const size_t q = ReadName(page, p + 2, maxLen, buf, len, [](char c) { return c == '>'; });
      if (q != txt::npos) {
        if (Counts* c = table.Find(buf, len)) ++c->end;
      }
    }
    ++p;
  }
}

// Line endings made single CRs, for the literal counting.
std::string NormalisedToCr(std::string_view page) {
  std::string out;
  out.reserve(page.size());
  for (size_t i = 0; i < page.size(); ++i) {
    const char c = page[i];
    if (c == '\r' && i + 1 < page.size() && page[i + 1] == '\n') {
      out.push_back('\r');
      ++i;
    } else if (c == '\n') {
      out.push_back('\r');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The literal counting for names the scan cannot take: replace each start form by a marker
// and count the replacements; count the end tags. Only the markers this procedure sets are
// counted, so a page that happens to hold "<", three NULs and ">" gains no start tags.
Counts CountLiterally(const std::string& normalised, std::string_view name) {
  Counts c;
  std::string scratch = normalised;
  const std::string marker("<\0\0\0>", 5);
  const std::string open = "<" + std::string(name);
  c.start += static_cast<int64_t>(txt::ReplaceAll(scratch, open + " ", marker));
  c.start += static_cast<int64_t>(txt::ReplaceAll(scratch, open + ">", marker));
  c.start += static_cast<int64_t>(txt::ReplaceAll(scratch, open + "\r", marker));
  const std::string close = "</" + std::string(name) + ">";
  for (size_t at = txt::Find(normalised, close); at != txt::npos;
       at = txt::Find(normalised, close, at + close.size())) {
    ++c.end;
  }
  return c;
}

int ToInt(int64_t v) { return v > INT32_MAX ? INT32_MAX : static_cast<int>(v); }

// Both variants count start tags ignoring letter case: a page written <DIV>...</div> is
// balanced whatever its doctype.
std::vector<Unbalanced> Check(std::string_view page, const Dictionary& dict, bool html5) {
  std::vector<Unbalanced> out;
  if (dict.names.size() < 2) return out;
  const size_t checked = dict.names.size() - 1;  // the last entry is the remainder after the final CR

  NameTable table(checked);
  std::vector<int> slot(checked, -1);  // table index of each checked scan name
  bool anyLiteral = false;
  std::string lowered;
  for (size_t i = 0; i < checked; ++i) {
    const std::string& name = dict.names[i];
    if (IsSkipped(name, html5)) continue;
    if (!IsScanName(name)) {
      anyLiteral = true;
      continue;
    }
    lowered.assign(name);
    for (char& ch : lowered) ch = static_cast<char>(txt::AsciiLower(static_cast<unsigned char>(ch)));
    slot[i] = table.Insert(lowered);
  }
  if (!table.Empty()) CountTags(page, table);

  std::string normalised;
  if (anyLiteral) normalised = NormalisedToCr(page);
  for (size_t i = 0; i < checked; ++i) {
    const std::string& name = dict.names[i];
    Counts c;
    if (slot[i] >= 0) {
      c = table.At(slot[i]);
    } else if (IsSkipped(name, html5)) {
      continue;
    } else {
      c = CountLiterally(normalised, name);
    }
    if (c.start != c.end) out.push_back({name, ToInt(c.start), ToInt(c.end)});
  }
  return out;
}

std::string ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

Dictionary ParseDictionary(std::string_view fileText) {
  Dictionary d;
  if (fileText.empty()) return d;
  size_t from = 0;
  while (true) {
    const size_t cr = fileText.find('\r', from);
    if (cr == std::string_view::npos) {
      d.names.emplace_back(fileText.substr(from));
      break;
    }
    d.names.emplace_back(fileText.substr(from, cr - from));
    from = cr + 1;
  }
  return d;
}

Dictionaries LoadDictionaries(const std::filesystem::path& resourcesFolder) {
  Dictionaries d;
  d.html = ParseDictionary(ReadWholeFile(resourcesFolder / "htmldictionary"));
  d.html5 = ParseDictionary(ReadWholeFile(resourcesFolder / "htm5ldictionary"));
  return d;
}

std::vector<Unbalanced> CheckUnbalancedHTMLTags(std::string_view page, const Dictionary& dict) {
  return Check(page, dict, false);
}

std::vector<Unbalanced> CheckUnbalancedTagsHTML5(std::string_view page, const Dictionary& dict) {
  return Check(page, dict, true);
}

bool IsCompleteDocument(std::string_view page) {
  return txt::Contains(page, "<html") && txt::Contains(page, "<body") &&
         txt::Contains(page, "</html");
}

bool IsHtml5Document(std::string_view page) { return txt::Contains(page, "<!DOCTYPE html>"); }

std::vector<Unbalanced> CheckPage(std::string_view page, const Dictionaries& dicts) {
  if (!IsCompleteDocument(page)) return {};
  return IsHtml5Document(page) ? CheckUnbalancedTagsHTML5(page, dicts.html5)
                               : CheckUnbalancedHTMLTags(page, dicts.html);
}

std::string FindingMessage(const std::string& relativePath, const Unbalanced& u) {
  return relativePath + " <" + u.name + "> Tags " + " Start Tags: " + std::to_string(u.startTags) +
         " End Tags: " + std::to_string(u.endTags);
}

}  // namespace SyntaxCheck
