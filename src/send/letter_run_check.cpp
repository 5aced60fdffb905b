#include "send/letter_run_check.h"

#include <algorithm>

#include "platform/utf8_text.h"
#include "project/entry_number.h"
#include "project/postridr_doc.h"
#include "send/letter_composer.h"
#include "send/merge_fields.h"
#include "smtp/smtp_wording.h"

namespace postrider {

namespace {

// A list value shown in a report stays on its line.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return text;
}

// A name compared as a person reads it: no case, no blanks around it.
std::string Loose(std::string_view name) {
  const std::size_t first = name.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
  std::string loose(name);
  for (char& c : loose) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return loose;
}

// A name as the question shows it: on one line and not too long to read.
std::string ShownName(std::string name) {
  constexpr std::size_t kLongest = 60;
  if (name.size() > kLongest) {
    std::size_t cut = kLongest;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
    name += "...";
  }
  return PrintableText(OneLine(std::move(name)));
}

}  // namespace

std::vector<UnknownLetterField> FindUnknownLetterFields(CPostridrDoc& document) {
  document.UpdateFromMessageViews();
  // Read as the composers read them: letter and names in UTF-8.
  std::vector<std::string> names;
  for (const std::string& name : document.GetFieldNames()) names.push_back(AsUtf8(name));
  std::vector<std::string> texts = {AsUtf8(document.GetBody())};
  const LetterOptions& options = document.GetLetterOptions();
  if (UsesLetterOptions(options)) {
    if (options.mergeSubject) texts.push_back(AsUtf8(document.GetSubject()));
    texts.push_back(AsUtf8(options.unsubscribeMailto));
    texts.push_back(AsUtf8(options.unsubscribeUrl));
  }
  std::vector<UnknownLetterField> fields;
  for (const std::string& text : texts) {
    for (std::string& name : UnknownFieldNames(text, names)) {
      if (std::any_of(fields.begin(), fields.end(),
                      [&](const UnknownLetterField& field) { return field.name == name; })) {
        continue;
      }
      UnknownLetterField field{std::move(name), {}};
      const std::string loose = Loose(field.name);
      for (const std::string& listName : names) {
        if (!loose.empty() && Loose(listName) == loose) {
          field.listHas = listName;
          break;
        }
      }
      fields.push_back(std::move(field));
    }
  }
  return fields;
}

std::string UnknownLetterFieldsQuestion(const std::vector<UnknownLetterField>& fields,
                                        std::size_t shown) {
  const bool one = fields.size() == 1;
  std::string text = one ? "The letter names a field the mailing list does not have: "
                         : "The letter names fields the mailing list does not have: ";
  for (std::size_t i = 0; i < fields.size() && i < shown; ++i) {
    if (i > 0) text += ", ";
    text += "[[" + ShownName(fields[i].name) + "]]";
    if (!fields[i].listHas.empty()) text += " (the list has " + ShownName(fields[i].listHas) + ")";
  }
  if (fields.size() > shown) text += " and " + std::to_string(fields.size() - shown) + " more";
  return text + (one ? ". Each recipient would get it as written. Send anyway?"
                     : ". Each recipient would get them as written. Send anyway?");
}

std::vector<LetterRunProblem> CheckLetterRun(CPostridrDoc& document,
                                             const std::vector<int>& entries) {
  std::vector<LetterRunProblem> problems;
  if (!UsesLetterOptions(document.GetLetterOptions())) return problems;
  document.UpdateFromMessageViews();
  LetterComposer composer;
  if (Status status = composer.Take(document); !status) {
    problems.push_back({-1, "", status.message()});
    return problems;
  }
  ListRecord record;
  for (const int entry : entries) {
    if (!document.ReadListRecord(entry, record)) continue;
    const std::string recipient = AsUtf8(record.ValueAt(document.GetEmailFieldIndex()));
    if (Status status = composer.ForRecipient(record.values, recipient); !status) {
      problems.push_back({entry, recipient, status.message()});
    }
  }
  return problems;
}

std::string LetterRunProblemsText(const std::vector<LetterRunProblem>& problems,
                                  std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < problems.size() && i < shown; ++i) {
    const LetterRunProblem& problem = problems[i];
    if (problem.entry >= 0) {
      text += "Entry " + EntryNumberText(problem.entry);
      if (!problem.recipient.empty()) text += " (" + OneLine(problem.recipient) + ")";
      text += ": ";
    }
    text += problem.reason + "\n";
  }
  if (problems.size() > shown) {
    text += "... and " + std::to_string(problems.size() - shown) + " more.\n";
  }
  return text;
}

}  // namespace postrider
