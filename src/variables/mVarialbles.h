// Site variables: the Brixel variables file of a site and the page placeholders
// "#VARIABLEn#", "#ISODATE#", "#ARPADATE#", "#SHORTDATE#" and "#LONGDATE#".
//
// The variables file holds the values of the numbered variables separated by ";" (N - 1
// separators give N values, taken exactly as they stand). Placeholders are matched ignoring
// ASCII letter case.
#pragma once

#include <QDateTime>
#include <filesystem>
#include <string>
#include <string_view>

#include "compress/TextCtx.h"

namespace mVarialbles {

struct Variables {
  std::string text = "*";        // the variables file as read, "*" for none
  bool isBrixelProject = false;  // a usable file was found
};

// A variables text is usable when it is not empty and not exactly "*".
bool IsUsable(std::string_view variablesText);

// Looks in originalFolder/_variables/_variables.txt, then
// folder/_brixelsiteprefs/_notes/variables.txt. Either folder may be empty (absent). The text is
// the last file read, "*" when none was.
Variables isBrixelVariables(const std::filesystem::path& originalFolder,
                            const std::filesystem::path& folder);

// Fills the numbered variables (when vars.isBrixelProject) and the date stamps of `now`. A page
// that held a date placeholder loses its leading and trailing space, tab, CR and LF; any other
// page keeps them.
//   "#VARIABLE1# - #VARIABLE2##VARIABLE3#" with "Home;About us;" -> "Home - About us"
std::string DoUpdateVariables(std::string text, const Variables& vars, const QDateTime& now,
                              const trimora::TextCtx& ctx);

// Every "#VARIABLE" n "#" replaced by value n of `variablesText`, with the result of replacing
// for n = 1, 2, ... N in turn, each a left-to-right sweep over the whole text: a value holding
// the placeholder of a later variable has it replaced too, an earlier or its own stays.
std::string ReplaceVariables(std::string_view text, std::string_view variablesText);

// Each date placeholder replaced by its stamp (computed once per call).
std::string ReplaceISODATE(std::string text, const QDateTime& now);
std::string ReplaceARPADATE(std::string text, const QDateTime& now);
std::string ReplaceLONGDATE(std::string text, const QDateTime& now);
std::string ReplaceSHORTDATE(std::string text, const QDateTime& now);

}  // namespace mVarialbles
