#pragma once

#include <string>
#include <utility>
#include <vector>

namespace postrider::testing {

// An HTML document as an HTML5 parser (Python's html5lib) reads it.
struct HtmlOutline {
  bool parsed = false;
  std::vector<std::string> tags;  // every element, in document order
  std::vector<std::pair<std::string, std::string>> attributes;  // "tag.name", value
  std::string text;   // the body's text
  std::string title;

  // Every value of that attribute ("a.href"), in document order.
  std::vector<std::string> Attribute(const std::string& tagDotName) const;
  bool HasTag(const std::string& tag) const;
};

HtmlOutline ParseHtml5(const std::string& html);

}  // namespace postrider::testing
