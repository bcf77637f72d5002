#include "compress/mEncodings.h"

namespace mEncodings {
const std::vector<std::string>& EncArrayStr() { static std::vector<std::string> t{"UTF-8"}; return t; }
const char* DecoderName(int) { return "UTF-8"; }
int CheckForEncoding(std::string_view) { return 0; }
}  // namespace mEncodings
