// Tightening of CSS punctuation in style sheets and in the first style block of a page.
#pragma once

#include "compress/TextCtx.h"

#include <string>

namespace Css {

// The first "<style" ... "</style" block of a page.
std::string OptimizeFirstStyleBlock(std::string page, const trimora::TextCtx& ctx);

// A whole style sheet; `trimLineBreaks` makes it a single line.
std::string OptimizeStyleSheet(std::string text, const trimora::TextCtx& ctx, bool trimLineBreaks);

}  // namespace Css
