// Tag dictionaries and the unbalanced-tag check: element names whose start and end tags do
// not occur equally often in a page.
//
// The check counts, it does not parse. A start tag is "<" + name followed directly by a space,
// ">" or a line break; an end tag is exactly "</" + name + ">". Both are matched ignoring
// ASCII letter case, and tags inside comments, scripts and attribute values count like any
// other. Names of elements without end tags ("br", "img", "meta", ...) are passed over.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace SyntaxCheck {

struct Dictionary {
  std::vector<std::string> names;  // in file order; the last (empty remainder) is never checked
};

// Fields of a dictionary file separated by CR, taken unchanged (a LF is part of a name).
//   "div\rp\r" -> {"div", "p", ""}; "" -> {}
Dictionary ParseDictionary(std::string_view fileText);

struct Dictionaries {
  Dictionary html;   // "htmldictionary"
  Dictionary html5;  // "htm5ldictionary"
};
// Reads resourcesFolder/htmldictionary and resourcesFolder/htm5ldictionary.
// Missing files give empty dictionaries.
Dictionaries LoadDictionaries(const std::filesystem::path& resourcesFolder);

struct Unbalanced {
  std::string name;
  int startTags = 0;
  int endTags = 0;
};

// One entry per unbalanced dictionary name, in dictionary order.
//   "<DIV><div></div>" with {"div", ""} -> {{"div", 2, 1}}
std::vector<Unbalanced> CheckUnbalancedHTMLTags(std::string_view page, const Dictionary& dict);
std::vector<Unbalanced> CheckUnbalancedTagsHTML5(std::string_view page, const Dictionary& dict);

// Whether the page is a complete document that the check looks at: it contains "<html",
// "<body" and "</html" (ignoring case).
bool IsCompleteDocument(std::string_view page);
// Whether the page declares "<!DOCTYPE html>" (ignoring case) and is checked as HTML5.
bool IsHtml5Document(std::string_view page);

// The whole check of one page as the run makes it: nothing for a page that is not a complete
// document, otherwise the HTML5 or the HTML check by its doctype.
std::vector<Unbalanced> CheckPage(std::string_view page, const Dictionaries& dicts);

// "∼/index.html <div> Tags  Start Tags: 3 End Tags: 2"
std::string FindingMessage(const std::string& relativePath, const Unbalanced& u);

}  // namespace SyntaxCheck
