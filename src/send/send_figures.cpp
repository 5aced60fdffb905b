#include "send/send_figures.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "project/entry_number.h"

namespace postrider {

namespace {

using Figure = std::pair<const char*, int>;

// The figures of entries that were not sent, the too-large one only when a
// message was, since few servers limit the size.
std::vector<Figure> NotSentFigures(const SendRunResult& result) {
  std::vector<Figure> figures{{"Refused by the server", result.refused}};
  if (result.tooLarge > 0) figures.emplace_back("Too large for the server", result.tooLarge);
  figures.emplace_back("Bad address", result.badAddress);
  if (result.attachmentFailed > 0) {
    figures.emplace_back("Not sent, a file could not go", result.attachmentFailed);
  }
  return figures;
}

// "refused by the server: 1, bad address: 2": the figures in the middle of a sentence.
std::string Inline(const std::vector<Figure>& figures) {
  std::string text;
  for (const auto& [label, count] : figures) {
    if (!text.empty()) text += ", ";
    std::string lower = label;
    lower[0] = static_cast<char>(lower[0] - 'A' + 'a');
    text += lower + ": " + std::to_string(count);
  }
  return text;
}

std::string StoppedHeadline(const SendRunResult& result) {
  const std::string how = result.paused ? "Send paused" : "Send stopped by an error";
  return how + (result.connected ? " before the end of the list." : " before the first message.");
}

}  // namespace

std::string SendFiguresText(const SendRunResult& result) {
  std::string text = "Accepted by the server: " + std::to_string(result.accepted);
  for (const auto& [label, count] : NotSentFigures(result)) {
    text += "\n" + std::string(label) + ": " + std::to_string(count);
  }
  text += "\nNot reached: " + std::to_string(result.notReached);
  if (result.alreadySent > 0) {
    text += "\nMarked sent before, not sent again: " + std::to_string(result.alreadySent);
  }
  return text;
}

std::string SendClosingText(const SendRunResult& result, const std::string& leftOut,
                            std::size_t faultLines) {
  std::string text;
  if (result.reachedEnd) {
    text = "Send Complete! Total Messages Sent: " + std::to_string(result.accepted);
    std::vector<Figure> notSent;
    for (const Figure& figure : NotSentFigures(result)) {
      if (figure.second > 0) notSent.push_back(figure);
    }
    // "9 of 12 (bad address: 3)": the total never counts a message not sent.
    if (!notSent.empty()) {
      text += " of " + std::to_string(result.processed) + " (" + Inline(notSent) + ")";
    }
  } else {
    std::vector<Figure> figures = NotSentFigures(result);
    figures.emplace_back("Not reached", result.notReached);
    text = StoppedHeadline(result) + " Accepted by the server: " +
           std::to_string(result.accepted) + ", " + Inline(figures) + ".";
  }
  // Each entry left unsent for its files, with the reason, so none goes unnoticed.
  if (!result.attachmentFaults.empty()) {
    text += "\nNot sent, a file could not go:";
    const std::size_t listed = std::min(faultLines, result.attachmentFaults.size());
    for (std::size_t i = 0; i < listed; ++i) text += "\n" + result.attachmentFaults[i];
    if (const std::size_t more = result.attachmentFaults.size() - listed; more > 0) {
      text += "\nand " + std::to_string(more) + (more == 1 ? " more entry" : " more entries");
    }
  }
  if (!leftOut.empty()) text += "\n" + leftOut;
  return text;
}

std::string AttachmentProblemLine(const AttachmentProblem& problem) {
  // The core has made every list value printable.
  std::string line = problem.ForEveryEntry()
                         ? std::string("every entry")
                         : "entry " + EntryNumberText(problem.entry) + " <" + problem.recipient +
                               ">";
  if (!problem.path.empty()) line += ": " + problem.path;
  return line + ": " + problem.reason;
}

std::string UnselectedForFilesText(const std::vector<AttachmentProblem>& problems,
                                   const std::string& indent, std::size_t lines) {
  if (problems.empty()) return {};
  // An entry with two files that cannot go is named twice and counted once.
  std::set<int> entries;
  for (const AttachmentProblem& problem : problems) entries.insert(problem.entry);
  std::string text = "Unselected before the run, their files could not go (" +
                     std::to_string(entries.size()) +
                     (entries.size() == 1 ? " entry):" : " entries):");
  const std::size_t listed = std::min(lines, problems.size());
  for (std::size_t i = 0; i < listed; ++i) {
    text += "\n" + indent + AttachmentProblemLine(problems[i]);
  }
  if (const std::size_t more = problems.size() - listed; more > 0) {
    text += "\n" + indent + "and " + std::to_string(more) +
            (more == 1 ? " more file" : " more files");
  }
  return text;
}

std::string SendQuestion(int messages, const std::string& server) {
  return "Send " + std::to_string(messages) + (messages == 1 ? " message" : " messages") +
         " through " + server + "?";
}

}  // namespace postrider
