// Tightening of CSS punctuation in style sheets and in the first style block of a page, by
// fixed replace-all sweeps around ":" ";" "{" "}" (no CSS parsing: strings and url(...) are
// not spared). The inline style attributes are StripCode::OptimizeInlineStyle.
#pragma once

#include "compress/TextCtx.h"

#include <string>

namespace Css {

// Tightens the block from the first "<style" (when it stands after the fifth character) up
// to the first "</style", its own tag included: ": " ";" "; " and the line ending b after
// "{" and ";" and before "{". Without a "</style" after the "<style" the page stays as it is.
//   "<html><style>p { x: y; }</style>" -> "<html><style>p { x:y;}</style>"
std::string OptimizeFirstStyleBlock(std::string page, const trimora::TextCtx& ctx);

// Tightens a whole style sheet: blanks after ":" and around ";" "{" "}" (one each per sweep),
// b after "{" and ";" and before "{"; `trimLineBreaks` also removes every CR and LF.
//   "a { color : red ; }" -> "a{color :red;}"
std::string OptimizeStyleSheet(std::string text, const trimora::TextCtx& ctx, bool trimLineBreaks);

}  // namespace Css
