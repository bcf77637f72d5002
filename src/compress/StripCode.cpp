#include "compress/StripCode.h"

namespace StripCode {
std::string JSBlockComments(std::string text, const trimora::TextCtx&, Lang) { return text; }
std::string InlineScripts(std::string page, const trimora::TextCtx&) { return page; }
}  // namespace StripCode
