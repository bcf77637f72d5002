// Passes over markup: Brixel include comments, comments of the page body, page line breaks.
#pragma once

#include "compress/TextCtx.h"

#include <string>

namespace Markup {

// Every "<!-- End ... -->" and "<!-- bxinclude ... -->" comment, any file kind.
std::string RemoveBrixelComments(std::string text, const trimora::TextCtx& ctx);

// "<!-- ... -->" comments after "<body", sparing those closed by "//-->" and script blocks.
std::string RemoveBodyComments(std::string text, const trimora::TextCtx& ctx);

// Every line break after "<html", except inside script blocks.
std::string RemoveLineBreaks(std::string text, const trimora::TextCtx& ctx);

}  // namespace Markup
