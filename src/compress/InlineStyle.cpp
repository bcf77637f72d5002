#include "compress/StripCode.h"

namespace StripCode {
std::string OptimizeInlineStyle(std::string page, const trimora::TextCtx&) { return page; }
}  // namespace StripCode
