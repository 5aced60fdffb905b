#include "smtp/smtp_capabilities.h"

#include <algorithm>
#include <cctype>

namespace postrider {
namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The words of text, split at blanks.
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

void AddMechanisms(const std::vector<std::string_view>& words, std::size_t from,
                   SmtpCapabilities& capabilities) {
  for (std::size_t i = from; i < words.size(); ++i) {
    std::string mechanism = Upper(words[i]);
    if (!capabilities.OffersAuth(mechanism)) {
      capabilities.authMechanisms.push_back(mechanism);
      capabilities.authOffered.emplace_back(words[i]);
    }
  }
}

}  // namespace

bool SmtpCapabilities::OffersAuth(std::string_view mechanism) const {
  return std::find(authMechanisms.begin(), authMechanisms.end(), mechanism) !=
         authMechanisms.end();
}

SmtpCapabilities ParseEhloReply(std::string_view text) {
  SmtpCapabilities capabilities;
  capabilities.extended = true;
  std::size_t start = text.find('\n');  // the first line names the server
  while (start != std::string_view::npos) {
    ++start;
    const std::size_t end = text.find('\n', start);
    const std::string_view line =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end;
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) continue;
    capabilities.lines.emplace_back(line);
    const std::string keyword = Upper(words[0]);
    if (keyword == "STARTTLS") {
      capabilities.startTls = true;
    } else if (keyword == "PIPELINING") {
      capabilities.pipelining = true;
    } else if (keyword == "8BITMIME") {
      capabilities.eightBitMime = true;
    } else if (keyword == "SMTPUTF8") {
      capabilities.smtpUtf8 = true;
    } else if (keyword == "ENHANCEDSTATUSCODES") {
      capabilities.enhancedStatusCodes = true;
    } else if (keyword == "SIZE") {
      capabilities.size = true;
      if (words.size() > 1 && words[1].size() <= 19 &&
          std::all_of(words[1].begin(), words[1].end(),
                      [](char c) { return c >= '0' && c <= '9'; })) {
        capabilities.sizeLimit = std::stoull(std::string(words[1]));
      }
    } else if (keyword == "AUTH") {
      AddMechanisms(words, 1, capabilities);
    } else if (keyword.rfind("AUTH=", 0) == 0) {
      // The form some old servers still send: "AUTH=LOGIN PLAIN".
      std::vector<std::string_view> rest = words;
      rest[0].remove_prefix(5);
      AddMechanisms(rest, rest[0].empty() ? 1 : 0, capabilities);
    }
  }
  return capabilities;
}

}  // namespace postrider
