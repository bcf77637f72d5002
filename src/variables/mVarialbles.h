// Site variables: the Brixel variables file of a site and the page placeholders
// "#VARIABLEn#", "#ISODATE#", "#ARPADATE#", "#SHORTDATE#" and "#LONGDATE#".
#pragma once

#include "compress/TextCtx.h"

#include <QDateTime>

#include <filesystem>
#include <string>

namespace mVarialbles {

struct Variables {
  std::string text = "*";       // the variables file as read, "*" for none
  bool isBrixelProject = false; // a usable file was found
};

// Looks in originalFolder/_variables/_variables.txt, then folder/_brixelsiteprefs/_notes/variables.txt.
Variables isBrixelVariables(const std::filesystem::path& originalFolder, const std::filesystem::path& folder);

// Fills the numbered variables (when vars.isBrixelProject) and the date stamps of `now`.
std::string DoUpdateVariables(std::string text, const Variables& vars, const QDateTime& now,
                              const trimora::TextCtx& ctx);

}  // namespace mVarialbles
