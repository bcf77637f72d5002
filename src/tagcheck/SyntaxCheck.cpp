#include "tagcheck/SyntaxCheck.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "app/mFile.h"
#include "compress/Blocks16.h"
#include "compress/TextOps.h"

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

// The hash of a lower-cased name: for names of up to 16 bytes, of its bytes read as two
// words with zeros after the name; FNV-1a for longer ones.
inline uint64_t HashWords(uint64_t w0, uint64_t w1, size_t len) {
  const uint64_t h = (w0 * 0x9E3779B97F4A7C15ull) ^ ((w1 + len) * 0xC2B2AE3D27D4EB4Full);
  return h ^ (h >> 32);
}

uint64_t HashName(const char* p, size_t len) {
  if (len <= 16) {
    char pad[16] = {};
    std::memcpy(pad, p, len);
    uint64_t w0, w1;
    std::memcpy(&w0, pad, 8);
    std::memcpy(&w1, pad + 8, 8);
    return HashWords(w0, w1, len);
  }
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < len; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 1099511628211ull;
  return h;
}

// Open-addressing table from ASCII-lower-cased names to their indexes, with the first bytes a
// start or an end tag must have to be worth reading. Built once per dictionary; the counts of
// one page are kept beside it.
class NameTable {
 public:
  explicit NameTable(size_t expected) {
    size_t cap = 16;
    while (cap < expected * 2) cap *= 2;
    slots_.assign(cap, -1);
    shortSlots_.assign(cap, Padded{0, 0, UINT32_MAX, -1});
    mask_ = cap - 1;
  }

  // Index of the key (inserted when new).
  int Insert(std::string_view lowered) {
    size_t at = Slot(HashName(lowered.data(), lowered.size()));
    while (slots_[at] >= 0) {
      if (keys_[slots_[at]] == lowered) return slots_[at];
      at = (at + 1) & mask_;
    }
    slots_[at] = static_cast<int>(keys_.size());
    keys_.emplace_back(lowered);
    Padded key{0, 0, UINT32_MAX, slots_[at]};
    if (lowered.size() <= 16) {
      char pad[16] = {};
      std::memcpy(pad, lowered.data(), lowered.size());
      std::memcpy(&key.w0, pad, 8);
      std::memcpy(&key.w1, pad + 8, 8);
      key.len = static_cast<uint32_t>(lowered.size());
    }
    shortSlots_[at] = key;
    if (lowered.size() > maxLen_) maxLen_ = lowered.size();
    if (lowered.empty()) {
      for (unsigned char c : {' ', '>', '\r', '\n'}) startFirst_[c] = true;
      endFirst_['>'] = true;
    } else {
      const unsigned char c = static_cast<unsigned char>(lowered[0]);
      startFirst_[c] = endFirst_[c] = true;
      if (c >= 'a' && c <= 'z') startFirst_[c - 32] = endFirst_[c - 32] = true;
    }
    return slots_[at];
  }

  // Index of the key; -1 when it is not in the table.
  int Find(uint64_t hash, const char* lowered, size_t len) const {
    size_t at = Slot(hash);
    while (slots_[at] >= 0) {
      const std::string& k = keys_[slots_[at]];
      if (k.size() == len && Same(k.data(), lowered, len)) return slots_[at];
      at = (at + 1) & mask_;
    }
    return -1;
  }

  // The same for a name of at most 16 bytes given as the two words of its bytes, zero-padded.
  int FindShort(uint64_t w0, uint64_t w1, size_t len) const {
    for (size_t at = Slot(HashWords(w0, w1, len));; at = (at + 1) & mask_) {
      const Padded& p = shortSlots_[at];
      if (p.index < 0) return -1;
      if (p.w0 == w0 && p.w1 == w1 && p.len == len) return p.index;
    }
  }

  size_t Size() const { return keys_.size(); }
  size_t MaxLen() const { return maxLen_; }
  bool Empty() const { return keys_.empty(); }
  // Whether a start tag read from `c` on can be a name of the table ("/" only for names
  // that begin with it, so end tags are not read twice).
  bool StartFirst(unsigned char c) const { return startFirst_[c]; }
  bool EndFirst(unsigned char c) const { return endFirst_[c]; }

 private:
  // Names are short: a plain loop beats a call to memcmp.
  static bool Same(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }

  size_t Slot(uint64_t h) const { return static_cast<size_t>(h ^ (h >> 29)) & mask_; }

  std::vector<int> slots_;
  size_t mask_ = 0;
  // The slots again with the keys in them, for the short look-up: one load per probe.
  struct Padded {
    uint64_t w0, w1;  // the key's bytes, zero-padded to 16
    uint32_t len;     // UINT32_MAX for a key longer than 16 bytes
    int32_t index;    // -1: a free slot
  };

  std::vector<std::string> keys_;
  std::vector<Padded> shortSlots_;
  size_t maxLen_ = 0;
  bool startFirst_[256] = {};
  bool endFirst_[256] = {};
};

// Reads the lower-cased bytes of `page` from `from` up to the first byte for which `stop`
// holds, at most `maxLen` of them, and looks them up. -1 when the text ends first, the run
// is longer than `maxLen` or the name is not in the table. `stops` gives the same bytes as
// bits of a block: the name's end is found sixteen bytes at a time.
template <typename Stop, typename Stops>
inline __attribute__((always_inline)) int LookUpName(std::string_view page, size_t from, const NameTable& table, size_t maxLen, Stop stop,
               Stops stops) {
  char buf[kMaxScanName];
  const size_t n = page.size();
  size_t len = 0;
  if (from + 16 <= n) {
    const blocks16::Block b = blocks16::Load(page.data() + from);
    const uint32_t ends = stops(b);
    if (ends != 0) {
      len = static_cast<size_t>(std::countr_zero(ends));
      if (len > maxLen) return -1;
      const blocks16::Block key = blocks16::FirstBytes(blocks16::LowerAscii(b), len);
      return table.FindShort(blocks16::Low64(key), blocks16::High64(key), len);
    }
    if (maxLen < 16) return -1;
  }
  for (size_t q = from; q < n; ++q) {
    const char c = page[q];
    if (stop(c)) return table.Find(HashName(buf, len), buf, len);
    if (len == maxLen) return -1;
    buf[len++] = static_cast<char>(txt::AsciiLower(static_cast<unsigned char>(c)));
  }
  return -1;
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
void CountTags(std::string_view page, const NameTable& table, std::vector<Counts>& counts) {
  const size_t maxLen = table.MaxLen();
  const char* base = page.data();
  const size_t n = page.size();
  using namespace blocks16;
  const Block space = Splat(' '), gt = Splat('>'), cr = Splat('\r'), lf = Splat('\n');
  const auto startEnds = [&](Block b) {
    return Bits(Or(Or(Eq(b, space), Eq(b, gt)), Or(Eq(b, cr), Eq(b, lf))));
  };
  const auto endEnds = [&](Block b) { return Bits(Eq(b, gt)); };
  auto tagAt = [&](size_t p) {
    const unsigned char next = static_cast<unsigned char>(base[p + 1]);
    if (table.StartFirst(next)) {
      const int k = LookUpName(page, p + 1, table, maxLen, IsStartDelimiter, startEnds);
      if (k >= 0) ++counts[k].start;
    }
    if (next == '/' && p + 2 < n && table.EndFirst(static_cast<unsigned char>(base[p + 2]))) {
      const int k = LookUpName(page, p + 2, table, maxLen, [](char ch) { return ch == '>'; }, endEnds);
      if (k >= 0) ++counts[k].end;
    }
  };
  // Each "<" with a byte after it, found sixteen bytes at a time.
  size_t p = 0;
  if (maxLen < 16 && !table.StartFirst('/')) {
    // Names shorter than a block, none beginning with "/": a "<" starts either an end tag
    // ("</") or a start tag, never both, and a name that counts ends inside the block after
    // it. Each
    // tag is then read the same way whatever kind it is, without a branch on the kind or on
    // the outcome: a name that cannot count goes to the spare entry after the real ones.
    const size_t spare = table.Size();
    for (; p + 34 <= n; p += 16) {
      for (uint32_t bits = blocks16::EqBits(base + p, '<'); bits != 0; bits &= bits - 1) {
        const size_t at = p + static_cast<size_t>(std::countr_zero(bits));
        const Block after = Load(base + at + 1);
        const Block next = Load(base + at + 2);
        const bool isEnd = base[at + 1] == '/';
        const Block name = isEnd ? next : after;
        const uint32_t ends = isEnd ? endEnds(next) : startEnds(after);
        const bool first = isEnd ? table.EndFirst(static_cast<unsigned char>(base[at + 2]))
                                 : table.StartFirst(static_cast<unsigned char>(base[at + 1]));
        const size_t len = static_cast<size_t>(std::countr_zero(ends | 0x10000u));
        const Block key = FirstBytes(LowerAscii(name), len < 16 ? len : 0);
        int k = table.FindShort(Low64(key), High64(key), len);
        if (!first || len > maxLen || k < 0) k = static_cast<int>(spare);
        ++(isEnd ? counts[k].end : counts[k].start);
      }
    }
  }
  for (; p + 17 <= n; p += 16) {
    for (uint32_t bits = blocks16::EqBits(base + p, '<'); bits != 0; bits &= bits - 1)
      tagAt(p + static_cast<size_t>(std::countr_zero(bits)));
  }
  for (; p + 1 < n; ++p) {
    if (base[p] == '<') tagAt(p);
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

// The table of one dictionary for one variant, with what the count needs besides it.
struct Prepared {
  std::vector<std::string> names;  // the dictionary it was built from
  bool html5 = false;
  NameTable table{0};
  std::vector<int> slot;           // table index of each checked scan name, -1 for the others
  bool anyLiteral = false;
};

Prepared Prepare(const Dictionary& dict, bool html5) {
  Prepared pr;
  pr.names = dict.names;
  pr.html5 = html5;
  const size_t checked = dict.names.size() - 1;  // the last entry is the remainder after the final CR
  pr.table = NameTable(checked);
  pr.slot.assign(checked, -1);
  std::string lowered;
  for (size_t i = 0; i < checked; ++i) {
    const std::string& name = dict.names[i];
    if (IsSkipped(name, html5)) continue;
    if (!IsScanName(name)) {
      pr.anyLiteral = true;
      continue;
    }
    lowered.assign(name);
    for (char& ch : lowered)
      ch = static_cast<char>(txt::AsciiLower(static_cast<unsigned char>(ch)));
    pr.slot[i] = pr.table.Insert(lowered);
  }
  return pr;
}

// The prepared table for `dict`: a run checks every page against the same dictionary, so each
// thread keeps the last tables it built (one per variant) and builds anew only for another
// dictionary.
const Prepared& PreparedFor(const Dictionary& dict, bool html5) {
  thread_local Prepared cache[2];
  Prepared& c = cache[html5 ? 1 : 0];
  if (c.names.empty() || c.names != dict.names) c = Prepare(dict, html5);
  return c;
}

// Both variants count start tags ignoring letter case: a page written <DIV>...</div> is
// balanced whatever its doctype.
std::vector<Unbalanced> Check(std::string_view page, const Dictionary& dict, bool html5) {
  std::vector<Unbalanced> out;
  if (dict.names.size() < 2) return out;
  const Prepared& pr = PreparedFor(dict, html5);
  std::vector<Counts> counts(pr.table.Size() + 1);  // and a spare for names that do not count
  if (pr.table.Size() > 0) CountTags(page, pr.table, counts);

  std::string normalised;
  if (pr.anyLiteral) normalised = NormalisedToCr(page);
  for (size_t i = 0; i < pr.slot.size(); ++i) {
    const std::string& name = dict.names[i];
    Counts c;
    if (pr.slot[i] >= 0) {
      c = counts[pr.slot[i]];
    } else if (IsSkipped(name, html5)) {
      continue;
    } else {
      c = CountLiterally(normalised, name);
    }
    if (c.start != c.end) out.push_back({name, ToInt(c.start), ToInt(c.end)});
  }
  return out;
}

// Whether `pat` (starting with "<") occurs in `text`, ignoring ASCII case, looking from the
// end: a closing tag like "</html" stands near the end of a page.
bool ContainsFromEnd(std::string_view text, std::string_view pat) {
  if (text.size() < pat.size()) return false;
  for (size_t i = text.size() - pat.size() + 1; i-- > 0;) {
    if (text[i] == pat[0] && txt::MatchAt(text, i, pat)) return true;
  }
  return false;
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
  d.html = ParseDictionary(mFile::ReadFileBytes(resourcesFolder / "htmldictionary").value_or(""));
  d.html5 = ParseDictionary(mFile::ReadFileBytes(resourcesFolder / "htm5ldictionary").value_or(""));
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
         ContainsFromEnd(page, "</html");
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
