// Passes over markup: Brixel include comments, comments of the page body, page line breaks.
// Each takes the whole text of one file and gives back the new text; a text with nothing to
// change comes back as it went in.
#pragma once

#include "compress/TextCtx.h"

#include <string>

namespace Markup {

// Removes every comment that begins "<!-- End" (closing include markers, and any other such
// comment), then every one that begins "<!-- bxinclude", each through the first "-->" after
// it; any file kind. A marker with no "-->" after it ends its sweep.
//   "<!-- bxinclude a --><b>x</b><!-- End include -->" -> "<b>x</b>"
std::string RemoveBrixelComments(std::string text, const trimora::TextCtx& ctx);

// Removes the "<!-- ... -->" comments from the first "<body" on (when it stands after the
// fifth character), sparing comments closed by "//-->" and everything inside
// "<script" ... "</script" blocks. An unclosed comment, or a script with no "</script",
// ends the pass.
//   "<html><body><!-- a -->x<script><!-- b --></script>" -> "<html><body>x<script><!-- b --></script>"
std::string RemoveBodyComments(std::string text, const trimora::TextCtx& ctx);

// Removes every CR and LF from the first "<html" on (when it stands after the tenth
// character), except from each "<script" through its "</script" (to the end when there is
// none), so that a "//" comment cannot swallow the lines after it.
//   "<!DOCTYPE html>\n<html>\n<p>\n<script>//x\nf()</script>" ->
//   "<!DOCTYPE html>\n<html><p><script>//x\nf()</script>"
std::string RemoveLineBreaks(std::string text, const trimora::TextCtx& ctx);

}  // namespace Markup
