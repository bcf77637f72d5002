#include "macro/mMacro.h"

#include "app/Platform.h"
#include "app/mFile.h"
#include "compress/TextOps.h"

#include <limits>

namespace mMacro {
namespace {

constexpr char kCR = '\r';
constexpr size_t npos = std::string_view::npos;

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// br and hr, any letter case.
bool IsVoid(std::string_view name) {
  return name.size() == 2 && (txt::MatchAt(name, 0, "br") || txt::MatchAt(name, 0, "hr"));
}

std::string Quoted(std::string_view value) {
  std::string q;
  q.reserve(value.size() + 2);
  q += '"';
  q += value;
  q += '"';
  return q;
}

// The markup under construction, with the size limit every append respects.
struct Builder {
  std::string out;
  bool beep = false;

  bool Fits(size_t more) const { return more <= kMaxMarkupBytes && out.size() <= kMaxMarkupBytes - more; }
};

// Start tag of an item without "*": "#" wins over "." whatever their order, and the value keeps
// any further "." or "#".   "div#a.b" -> <div id="a.b">, "div.a#b" -> <div.a id="b">
void AppendStartTag(Builder& b, std::string_view rawItem) {
  const std::string_view item = TrimWhite(rawItem);
  size_t split = npos;
  std::string attr;
  if (const size_t dot = item.find('.'); dot != npos) {
    split = dot;
    attr = " class=" + Quoted(item.substr(dot + 1));
  }
  if (const size_t hash = item.find('#'); hash != npos) {
    split = hash;
    attr = " id=" + Quoted(item.substr(hash + 1));
  }
  const std::string_view name = item.substr(0, split);
  std::string tag = "<";
  tag += name;
  tag += attr;
  tag += IsVoid(name) ? " />" : ">";
  tag += kCR;
  if (b.Fits(tag.size())) b.out += tag;
}

// The end tag closes the start tag written for the same item, so it splits by the same rule.
void AppendEndTag(Builder& b, std::string_view rawItem) {
  const std::string_view item = TrimWhite(rawItem);
  size_t split = item.find('#');
  if (split == npos) split = item.find('.');
  const std::string_view name = item.substr(0, split);
  if (IsVoid(name)) return;
  std::string tag = "</";
  tag += name;
  tag += '>';
  if (split != npos) {
    tag += "<!-- End ";
    tag += item.substr(split + 1);
    tag += " -->";
  }
  tag += kCR;
  if (b.Fits(tag.size())) b.out += tag;
}

// The run of siblings of an item with "*". Here "." wins over "#". Only the text before the
// first "*" names the element and its class or id; a "." or "#" after the "*" ("li*2.x") is
// part of the count text, which then simply ends at it.
void AppendMultiTag(Builder& b, std::string_view rawItem, std::string_view link) {
  const std::string_view item = TrimWhite(rawItem);
  const size_t star = item.find('*');
  if (star == npos) return;
  if (star == 0) {
    b.beep = true;
    return;
  }
  const std::string_view head = item.substr(0, star);
  size_t split = npos;
  std::string attr;
  if (const size_t dot = head.find('.'); dot != npos) {
    split = dot;
    attr = " class=" + Quoted(head.substr(dot + 1));
  } else if (const size_t hash = head.find('#'); hash != npos) {
    split = hash;
    attr = " id=" + Quoted(head.substr(hash + 1));
  }
  const std::string_view name = head.substr(0, split);
  const int64_t count = ReadCount(item.substr(star + 1));
  if (count < 1) return;

  std::string one = "<";
  one += name;
  one += attr;
  if (IsVoid(name)) {
    one += " />";
  } else {
    one += '>';
    one += link;
    one += "</";
    one += name;
    one += '>';
  }
  one += kCR;
  if (static_cast<uint64_t>(count) > kMaxMarkupBytes / one.size() || !b.Fits(one.size() * count)) {
    b.beep = true;
    return;
  }
  b.out.reserve(b.out.size() + one.size() * count);
  for (int64_t i = 0; i < count; ++i) b.out += one;
}

// One link of the link form: the class runs from after the first "." to the first "*" after it.
std::string GetLink(std::string_view abbreviation) {
  std::string link = "<a";
  if (const size_t dot = abbreviation.find('.'); dot != npos) {
    const size_t end = abbreviation.find('*', dot + 1);
    link += " class=" + Quoted(abbreviation.substr(dot + 1, end == npos ? npos : end - dot - 1));
  }
  link += " href=\"#\">^</a>";
  return link;
}

Expansion LinkForm(std::string_view abbreviation) {
  Expansion e;
  const std::string link = GetLink(abbreviation);
  e.markup = link;
  const size_t star = abbreviation.find('*');
  if (star == npos) return e;  // a single link keeps its text placeholder
  const int64_t count = ReadCount(abbreviation.substr(star + 1));
  if (count >= 2) {
    const size_t each = link.size() + 1;
    if (static_cast<uint64_t>(count - 1) > (kMaxMarkupBytes - link.size()) / each) {
      e.markup.clear();
      e.copy = false;
      e.beep = true;
      return e;
    }
    e.markup.reserve(link.size() + each * (count - 1));
    for (int64_t i = 2; i <= count; ++i) {
      e.markup += kCR;
      e.markup += link;
    }
  }
  txt::ReplaceAll(e.markup, "^", "");
  return e;
}

}  // namespace

std::string_view TrimWhite(std::string_view text) {
  size_t a = 0, z = text.size();
  while (a < z && IsWhite(text[a])) ++a;
  while (z > a && IsWhite(text[z - 1])) --z;
  return text.substr(a, z - a);
}

int64_t ReadCount(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  // A fraction after the digits is cut off: truncation toward zero.
  return negative ? -value : value;
}

Expansion Expand(std::string_view abbreviation) {
  if (!abbreviation.empty() && abbreviation.front() == '%') abbreviation.remove_prefix(1);
  if (abbreviation.empty()) return {};
  if (abbreviation.front() == '!') return LinkForm(abbreviation);

  // Items, empty ones kept: "ul," is {"ul", ""}.
  std::vector<std::string> items;
  for (size_t from = 0;;) {
    const size_t comma = abbreviation.find(',', from);
    items.emplace_back(abbreviation.substr(from, comma == npos ? npos : comma - from));
    if (comma == npos) break;
    from = comma + 1;
  }

  Builder b;
  for (std::string& item : items) {
    std::string link;
    const size_t bang = item.find('!');
    const size_t star = item.find('*');
    // "!" or "!.class" before the "*" asks for a link in every element. It is cut out of the
    // item, so the end-tag pass below sees the shortened item too. A "!" after the "*" is no
    // link request and stays part of the count text.
    if (bang != npos && star != npos && bang < star) {
      const std::string request = item.substr(bang, star - bang);
      txt::ReplaceAll(item, request, "");
      std::string cls;
      for (char c : request)
        if (c != '!' && c != '.') cls += c;
      link = "<a ";
      if (!cls.empty()) link += "class=" + Quoted(cls) + " ";
      link += "href=\"#\"></a>";
    }
    if (item.find('*') == npos)
      AppendStartTag(b, item);
    else
      AppendMultiTag(b, item, link);
  }
  for (auto it = items.rbegin(); it != items.rend(); ++it)
    if (it->find('*') == npos) AppendEndTag(b, *it);

  Expansion e;
  e.markup = std::move(b.out);
  e.beep = b.beep;
  return e;
}

std::string Run(std::string_view abbreviation) { return Expand(abbreviation).markup; }

std::optional<std::string> AbbreviationBeforeCaret(std::string_view text) {
  // Every byte looked at is ASCII, and no byte of a UTF-8 multi-byte character is, so walking
  // the bytes finds the same start as walking the characters.
  size_t start = text.size();
  while (start > 0) {
    const char c = text[start - 1];
    if (c == '>') return std::nullopt;
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t') break;
    --start;
  }
  std::string abbreviation;
  for (char c : text.substr(start))
    if (c != '<') abbreviation += c;
  const std::string_view trimmed = TrimWhite(abbreviation);
  if (trimmed.empty()) return std::nullopt;
  return std::string(trimmed);
}

std::vector<std::string> SplitShortCuts(std::string_view fileText) {
  std::string text(fileText);
  txt::RemoveLineBreakBytes(text);
  std::vector<std::string> pieces;
  for (size_t from = 0;;) {
    const size_t semi = text.find(';', from);
    pieces.push_back(text.substr(from, semi == npos ? npos : semi - from));
    if (semi == npos) break;
    from = semi + 1;
  }
  return pieces;
}

std::vector<MenuEntry> ShortCutMenu(const std::vector<std::string>& pieces) {
  std::vector<MenuEntry> menu;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    if (pieces[i] == "-")
      menu.push_back({true, {}});
    else
      menu.push_back({false, pieces[i]});
  }
  return menu;
}

std::filesystem::path ShortCutsFile(const platform::Platform& platform) {
  return platform.DocumentsFolder() / kShortCutsFolderName / kShortCutsFileName;
}

bool ShortCuts::Update(const platform::Platform& platform) {
  std::error_code ec;
  const std::filesystem::path documents = platform.DocumentsFolder();
  if (documents.empty() || !std::filesystem::is_directory(documents, ec)) return false;
  if (!std::filesystem::is_directory(documents / kShortCutsFolderName, ec)) return false;
  // A file that cannot be read keeps the list as it was, rather than becoming an entry "*".
  const std::optional<std::string> text = mFile::ReadFileBytes(ShortCutsFile(platform));
  if (!text) return false;
  pieces_ = SplitShortCuts(*text);
  return true;
}

}  // namespace mMacro
