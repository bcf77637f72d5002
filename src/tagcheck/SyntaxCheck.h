// Tag dictionaries and the unbalanced-tag check: element names whose start and end tags do
// not occur equally often in a page.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace SyntaxCheck {

struct Dictionary {
  std::vector<std::string> names;  // in file order; the last (empty remainder) is never checked
};

// Fields of a dictionary file separated by CR.
Dictionary ParseDictionary(std::string_view fileText);

struct Dictionaries {
  Dictionary html;   // "htmldictionary"
  Dictionary html5;  // "htm5ldictionary"
};
// Missing files give empty dictionaries.
Dictionaries LoadDictionaries(const std::filesystem::path& resourcesFolder);

struct Unbalanced {
  std::string name;
  int startTags = 0;
  int endTags = 0;
};

// One entry per unbalanced dictionary name, in dictionary order.
std::vector<Unbalanced> CheckUnbalancedHTMLTags(std::string_view page, const Dictionary& dict);
std::vector<Unbalanced> CheckUnbalancedTagsHTML5(std::string_view page, const Dictionary& dict);

// "∼/index.html <div> Tags  Start Tags: 3 End Tags: 2"
std::string FindingMessage(const std::string& relativePath, const Unbalanced& u);

}  // namespace SyntaxCheck
