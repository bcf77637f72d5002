#include "compress/mEncodings.h"

#include <bit>
#include <cstring>

#include "compress/Blocks16.h"

#include "compress/TextOps.h"

namespace mEncodings {
namespace {

struct Entry {
  const char* names;    // as a declaration may name the encoding, extra names after commas
  const char* decoder;  // as Qt's ICU-backed decoders accept it
};

// The registry names are the IANA names that ICU reports for each encoding. Entry 11 keeps a
// blank before its comma and entry 19 has no registry name, only "euc-jp": declared values are
// matched as substrings of these texts, so changing them changes which pages they catch.
// ICU has no converter for Mac Chinese Simplified; its double-byte part is EUC-CN (GB 2312),
// which is what the decoder for entry 20 reads. The Mac single-byte extras (0x80, 0xA0,
// 0xFD-0xFF) decode differently, which matters only where the text is shown, never for the
// byte-level passes.
constexpr Entry kTable[kCount] = {
    {"UTF-8", "UTF-8"},
    {"ISO-8859-1,latin1", "ISO-8859-1"},
    {"macintosh,x-mac-roman,mac", "macintosh"},
    {"ISO-8859-2,latin2", "ISO-8859-2"},
    {"ISO-8859-4,latin4", "ISO-8859-4"},
    {"ISO-8859-14,hebrew", "ISO-8859-14"},
    {"ISO-8859-9,latin5", "ISO-8859-9"},
    {"ISO-8859-10", "ISO-8859-10"},
    {"ISO-8859-13", "ISO-8859-13"},
    {"windows-1252,cp1252", "windows-1252"},
    {"windows-1250", "windows-1250"},
    {"windows-1251 ,cp1251", "windows-1251"},
    {"windows-1253,cp1253", "windows-1253"},
    {"windows-1254", "windows-1254"},
    {"windows-1255,cp1255", "windows-1255"},
    {"windows-1257,cp1257", "windows-1257"},
    {"windows-1258,cp1258", "windows-1258"},
    {"US-ASCII", "US-ASCII"},
    {"Shift_JIS,x-sjis,x-shift-jis", "Shift_JIS"},
    {"euc-jp", "EUC-JP"},
    {"x-mac-chinesesimp", "GB2312"},
};

bool IsQuote(char c) { return c == '"' || c == '\''; }

// Bytes an unquoted charset value may hold; the value ends at the first other byte.
bool IsBareValueByte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == ':' || c == '+';
}

}  // namespace

const std::vector<std::string>& EncArrayStr() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const Entry& e : kTable) v.emplace_back(e.names);
    return v;
  }();
  return names;
}

const char* DecoderName(int index) {
  if (index < 0 || index >= kCount) return kTable[kUtf8].decoder;
  return kTable[index].decoder;
}

namespace {

// Where the value of the first "charset=" starts, or failing that of the first "encoding=";
// npos when the text has neither. Both end in "=", so one pass over the "=" bytes finds the
// first of each (by the position of its "=", which for a fixed word is the position of the
// word): this runs on every file, most of which declare nothing. Only an "=" after a "t" or a
// "g" (either case) can end one of the words; those are found sixteen bytes at a time.
size_t DeclarationValueStart(std::string_view text) {
  constexpr std::string_view kCharset = "charset";
  constexpr std::string_view kEncoding = "encoding";
  size_t encodingValue = txt::npos;
  const char* base = text.data();
  const size_t n = text.size();
  // Whether the "=" at `eq` ends "charset" (true) or a first "encoding" (noted).
  auto at = [&](size_t eq) {
    if (eq >= kCharset.size() && txt::MatchAt(text, eq - kCharset.size(), kCharset)) return true;
    if (encodingValue == txt::npos && eq >= kEncoding.size() &&
        txt::MatchAt(text, eq - kEncoding.size(), kEncoding))
      encodingValue = eq + 1;
    return false;
  };
  using namespace blocks16;
  const Block equals = Splat('='), t = Splat('t'), g = Splat('g'), fold = Splat(0x20);
  size_t i = 1;  // block i .. i + 15, each with the byte before it
  for (; i + 16 <= n; i += 16) {
    const Block before = Or(Load(base + i - 1), fold);
    const uint32_t bits = Bits(And(Eq(Load(base + i), equals), Or(Eq(before, t), Eq(before, g))));
    for (uint32_t b = bits; b != 0; b &= b - 1) {
      const size_t eq = i + static_cast<size_t>(std::countr_zero(b));
      if (at(eq)) return eq + 1;
    }
  }
  for (; i < n; ++i) {
    if (base[i] == '=' && at(i)) return i + 1;
  }
  return encodingValue;
}

}  // namespace

std::string DeclaredCharsetValue(std::string_view text) {
  if (text.size() < 6) return {};
  // "charset=" anywhere wins over any "encoding=": an XHTML page with an XML declaration and
  // a meta charset is read by its meta element.
  size_t start = DeclarationValueStart(text);
  if (start == txt::npos) return {};
  size_t end;
  if (start < text.size() && IsQuote(text[start])) {
    // A quoted value runs to the next quote of either kind; without one the declaration is
    // broken and names nothing.
    end = start + 1;
    while (end < text.size() && !IsQuote(text[end])) ++end;
    if (end == text.size()) return {};
    ++start;
  } else {
    // An unquoted value (<meta charset=windows-1251>) ends where the name characters end,
    // not at some quote further on in the markup.
    end = start;
    while (end < text.size() && IsBareValueByte(static_cast<unsigned char>(text[end]))) ++end;
  }
  std::string value(text.substr(start, end - start));
  for (char& ch : value) ch = static_cast<char>(txt::AsciiLower(static_cast<unsigned char>(ch)));
  return value;
}

int IndexOfCharsetValue(std::string_view value) {
  if (value.empty()) return kUtf8;
  for (int i = 0; i < kCount; ++i) {
    if (txt::Contains(kTable[i].names, value)) return i;
  }
  return kUtf8;
}

int CheckForEncoding(std::string_view text) {
  return IndexOfCharsetValue(DeclaredCharsetValue(text));
}

}  // namespace mEncodings
