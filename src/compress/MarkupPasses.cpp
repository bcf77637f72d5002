#include "compress/MarkupPasses.h"

namespace Markup {
std::string RemoveBrixelComments(std::string text, const trimora::TextCtx&) { return text; }
std::string RemoveBodyComments(std::string text, const trimora::TextCtx&) { return text; }
std::string RemoveLineBreaks(std::string text, const trimora::TextCtx&) { return text; }
}  // namespace Markup
