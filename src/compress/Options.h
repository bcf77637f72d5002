// The option flags of a compression run with their start values.
#pragma once

namespace trimora {

struct Options {
  bool TrimTAB = true;             // "Remove TAB"
  bool TrimDoubleSpace = true;     // "Remove Double Space"
  bool TrimEmptyLines = true;      // "Remove Empty Lines"
  bool TrimAllComments = true;     // "Remove Comments"
  bool TrimLineBreaksHTML = false; // "Remove All Linebreaks in  HTML"
  bool TrimLineBreaksCSS = false;  // "Remove All Linebreaks in CSS"
  bool TrimBrixelComments = true;  // "Remove Brixel Comments" (read by no pass)
  bool operator==(const Options&) const = default;
};

}  // namespace trimora
