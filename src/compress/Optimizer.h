// The per-file sequence: every pass a collected file goes through, in order, guarded by the
// option it belongs to.
#pragma once

#include "compress/Options.h"
#include "tagcheck/SyntaxCheck.h"
#include "variables/mVarialbles.h"

#include <QDateTime>

#include <string>
#include <vector>

namespace trimora {

enum class FileKind { Other, Html, Css, Script };

struct OptimizeEnv {
  Options opts;
  mVarialbles::Variables vars;                     // the site's variables file
  QDateTime now;                                   // the moment date stamps show
  const SyntaxCheck::Dictionaries* dicts = nullptr; // null: no tag check
};

struct Optimized {
  std::string text;                               // the bytes to write back
  std::vector<SyntaxCheck::Unbalanced> unbalanced; // tag-check findings of an HTML page
};

// Runs the per-file sequence over the raw bytes of one file of kind `kind`. `phpDisplayName`
// is true for an HTML-kind file whose display name ends like a PHP file (it then skips the
// page line breaks and the embedded style and script passes). A text of kind Other comes back
// unchanged. Thread-safe: `env` is only read.
Optimized OptimizeText(std::string raw, FileKind kind, bool phpDisplayName, const OptimizeEnv& env);

}  // namespace trimora
