// Comment removal for scripts and style sheets, inline script blocks and inline style
// attributes of pages.
#pragma once

#include "compress/TextCtx.h"

#include <string>

namespace StripCode {

enum class Lang { Script, Css };

// Removes the block comments and the comment lines ("//" at the start of a line other than the
// first) of a script, a style sheet or one inline script block, with every trailing comment of
// the same text, and collapses the empty lines this leaves. Strings, template literals and
// regular expressions are never looked into; from anything unterminated on, the text stays.
//   "a = '/*';\n// x\nb(); // x\n" -> "a = '/*';\nb(); \n"
std::string JSBlockComments(std::string text, const trimora::TextCtx& ctx, Lang lang = Lang::Script);

// The inline script blocks of a page (at most ten visited); blocks loading src="..." stay. Only
// the script after each opening tag is stripped.
//   "<html><script>/* c */f();</script>" -> "<html><script>f();</script>"
std::string InlineScripts(std::string page, const trimora::TextCtx& ctx);

// Tightens every double-quoted style="..." attribute of a page.
std::string OptimizeInlineStyle(std::string page, const trimora::TextCtx& ctx);

}  // namespace StripCode
