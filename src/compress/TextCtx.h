// What every pass needs to know about the text it works on besides its bytes.
#pragma once

#include <string>

namespace trimora {

struct TextCtx {
  std::string b = "\n";   // the file's line ending: "\n", "\r" or "\r\n"
  int encoding = 0;       // index into the encodings table (0 is UTF-8)
  bool sjis = false;      // Shift_JIS: ASCII matches may not start on a trail byte
};

}  // namespace trimora
