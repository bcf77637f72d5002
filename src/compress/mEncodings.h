// The table of encodings a page may declare and the detection of its declaration.
//
// A page names its encoding in an HTML "charset=" parameter or an XML "encoding=" attribute.
// The detection finds that value and looks it up in a fixed table of 21 entries; each entry
// lists the names under which one encoding may be declared, and the first entry that contains
// the value (ignoring case) wins. A page that declares nothing the table knows is UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mEncodings {

inline constexpr int kUtf8 = 0;
inline constexpr int kShiftJis = 18;
inline constexpr int kEucJp = 19;
inline constexpr int kMacChineseSimp = 20;
inline constexpr int kCount = 21;

// The 21 name entries ("ISO-8859-1,latin1", ...), index 0 is UTF-8.
const std::vector<std::string>& EncArrayStr();

// A name under which Qt's (ICU) decoders accept the encoding at `index`; "UTF-8" for an index
// outside the table.
const char* DecoderName(int index);

// Index of the encoding the text declares in "charset=" or "encoding="; 0 when none matches.
//   CheckForEncoding("<meta charset=windows-1251>") -> 11
//   CheckForEncoding("<?xml version=\"1.0\" encoding='ISO-8859-2'?>") -> 3
int CheckForEncoding(std::string_view text);

// The value part of the declaration, as the table lookup sees it (quotes removed, lower case);
// empty when there is no declaration. Exposed for the inspector and for tests.
std::string DeclaredCharsetValue(std::string_view text);

// Index of the first table entry that contains `value` (ignoring ASCII case); 0 when none.
int IndexOfCharsetValue(std::string_view value);

}  // namespace mEncodings
