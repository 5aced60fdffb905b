#include "support/html5_outline.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "support/temp_dir.h"

namespace postrider::testing {

namespace {

std::string Unescaped(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      plain += text[i];
      continue;
    }
    const char next = text[++i];
    plain += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return plain;
}

}  // namespace

std::vector<std::string> HtmlOutline::Attribute(const std::string& tagDotName) const {
  std::vector<std::string> values;
  for (const auto& [name, value] : attributes) {
    if (name == tagDotName) values.push_back(value);
  }
  return values;
}

bool HtmlOutline::HasTag(const std::string& tag) const {
  return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

HtmlOutline ParseHtml5(const std::string& html) {
  TempDir dir;
  const std::string path = dir.Write("page.html", html);
  const std::string command = "/usr/bin/python3 " POSTRIDER_TEST_SUPPORT_DIR
                              "/html5_outline.py '" + path + "'";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    if (pclose(pipe) != 0) return {};
  }
  HtmlOutline outline;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t space = line.find(' ');
    const std::string kind = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (kind == "tag") {
      outline.tags.push_back(rest);
    } else if (kind == "attr") {
      const std::size_t split = rest.find(' ');
      outline.attributes.emplace_back(rest.substr(0, split),
                                      split == std::string::npos ? "" : Unescaped(rest.substr(split + 1)));
    } else if (kind == "text") {
      outline.text = Unescaped(rest);
    } else if (kind == "title") {
      outline.title = Unescaped(rest);
      outline.parsed = true;
    }
  }
  return outline;
}

}  // namespace postrider::testing
