#include "tagcheck/SyntaxCheck.h"

namespace SyntaxCheck {
Dictionary ParseDictionary(std::string_view) { return {}; }
Dictionaries LoadDictionaries(const std::filesystem::path&) { return {}; }
std::vector<Unbalanced> CheckUnbalancedHTMLTags(std::string_view, const Dictionary&) { return {}; }
std::vector<Unbalanced> CheckUnbalancedTagsHTML5(std::string_view, const Dictionary&) { return {}; }
std::string FindingMessage(const std::string& p, const Unbalanced&) { return p; }
}  // namespace SyntaxCheck
