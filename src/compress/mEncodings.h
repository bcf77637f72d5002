// The table of encodings a page may declare and the detection of its declaration.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mEncodings {

inline constexpr int kShiftJis = 18;
inline constexpr int kEucJp = 19;

// The 21 name entries ("ISO-8859-1,latin1", ...), index 0 is UTF-8.
const std::vector<std::string>& EncArrayStr();

// The name under which Qt's (ICU) decoders know the encoding at `index`.
const char* DecoderName(int index);

// Index of the encoding the text declares in "charset=" or "encoding="; 0 when none matches.
int CheckForEncoding(std::string_view text);

}  // namespace mEncodings
