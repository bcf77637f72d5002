// trimora-cli macro ABBREV: prints the markup the macro editor would put on the clipboard,
// exactly as built (line breaks are single carriage returns; nothing is added at the end).
// The abbreviation is cleaned as the editor cleans it: every "<" deleted, white space trimmed.
#include "cli/Commands.h"

#include "macro/mMacro.h"

#include <cstdio>
#include <string>

namespace cli {

int Macro(const Args& args) {
  if (args.size() != 1) {
    std::fputs("usage: trimora-cli macro ABBREV\n", stderr);
    return 2;
  }
  std::string abbreviation;
  for (char c : args[0])
    if (c != '<') abbreviation += c;
  const std::string_view cleaned = mMacro::TrimWhite(abbreviation);
  if (cleaned.empty()) {
    std::fputs("trimora-cli: nothing to expand\n", stderr);
    return 1;
  }
  const mMacro::Expansion e = mMacro::Expand(cleaned);
  if (!e.copy) {
    std::fputs("trimora-cli: the expansion would be too large\n", stderr);
    return 1;
  }
  if (e.beep) std::fputs("trimora-cli: a repeat item gave no markup (no element name, or too many)\n", stderr);
  std::fwrite(e.markup.data(), 1, e.markup.size(), stdout);
  return 0;
}

}  // namespace cli
