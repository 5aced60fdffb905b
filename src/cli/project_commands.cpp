#include <iostream>
#include <optional>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "cli/text_escape.h"
#include "platform/utf8_text.h"
#include "project/list_query.h"
#include "project/postridr_doc.h"
#include "project/project_paths.h"

namespace postrider::cli {

namespace {

std::string JoinEscaped(const std::vector<std::string>& values) {
  std::string line;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line += '\t';
    line += EscapeValue(values[i]);
  }
  return line;
}

std::optional<int> FieldIndex(const CPostridrDoc& document, const std::string& name) {
  const auto& names = document.GetFieldNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  // A Latin-1 list's name typed as the terminal shows it, in UTF-8.
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (AsUtf8(names[i]) == AsUtf8(name)) return static_cast<int>(i);
  }
  return std::nullopt;
}

int SaveAndReportCount(CliDocument& cli, const std::string& path) {
  if (!cli.document.OnSaveDocument(path)) return kExitFailed;
  std::cout << cli.document.GetSelectedCount() << " Selected\n";
  return kExitOk;
}

// One query condition as given on the command line.
struct Condition {
  int field = -1;
  int op = -1;
  std::string value;
};

}  // namespace

int RunInfo(const Arguments& args) {
  if (args.size() != 1) return UsageError("info takes one PROJECT");
  if (args[0].empty()) return UsageError("PROJECT is an empty path");
  CliDocument cli;
  if (!cli.Open(args[0])) return kExitFailed;
  const CPostridrDoc& doc = cli.document;
  std::cout << "fields: " << JoinEscaped(doc.GetFieldNames()) << '\n'
            << "entries: " << doc.GetEntryCount() << '\n'
            << "selected: " << doc.GetSelectedCount() << '\n'
            << "email-field: " << doc.GetEmailFieldIndex() << ' '
            << EscapeValue(doc.GetEmailFieldName()) << '\n'
            << "last-index-sent: " << doc.GetLastIndexSent() << '\n';
  // Beyond the limits: nobody in the file is left out unsaid.
  if (const std::int64_t records = doc.GetRecordsLeftOut(); records > 0) {
    std::cout << "records-left-out: " << records << '\n';
  }
  if (const int fields = doc.GetFieldsLeftOut(); fields > 0) {
    std::cout << "fields-left-out: " << fields << '\n';
  }
  return kExitOk;
}

int RunEntries(const Arguments& args) {
  if (args.size() != 1) return UsageError("entries takes one PROJECT");
  if (args[0].empty()) return UsageError("PROJECT is an empty path");
  CliDocument cli;
  if (!cli.Open(args[0])) return kExitFailed;
  CPostridrDoc& doc = cli.document;
  ListRecord record;
  std::string line;
  for (int i = 0; i < doc.GetEntryCount(); ++i) {
    record.values.clear();
    doc.ReadListRecord(i, record);
    line = std::to_string(i) + '\t' + (record.selection != 0 ? '1' : '0') + '\t' +
           std::to_string(record.sendStatus);
    for (int field = 0; field < doc.GetFieldCount(); ++field) {
      line += '\t';
      line += EscapeValue(record.ValueAt(field));
    }
    line += '\n';
    std::cout << line;
  }
  std::cout.flush();
  return std::cout ? kExitOk : kExitFailed;
}

int RunSelect(const Arguments& args) {
  if (args.size() < 2) return UsageError("select needs PROJECT and all, none or query");
  if (args[0].empty()) return UsageError("PROJECT is an empty path");
  const std::string& how = args[1];
  if ((how == "all" || how == "none") && args.size() != 2) {
    return UsageError("select " + how + " takes nothing more");
  }
  if (how == "all" || how == "none") {
    CliDocument cli;
    if (!cli.OpenToChange(args[0])) return kExitFailed;
    if (how == "all") {
      cli.document.SelectAll();
    } else {
      cli.document.UnselectAll();
    }
    return SaveAndReportCount(cli, args[0]);
  }
  if (how != "query") return UsageError("select takes all, none or query, not " + how);
  if (args.size() != 5 && args.size() != 9) return UsageError("a query is FIELD OP VALUE [and|or FIELD OP VALUE]");

  int join = QueryJoinNone;
  if (args.size() == 9) {
    if (args[5] == "and") {
      join = QueryJoinAnd;
    } else if (args[5] == "or") {
      join = QueryJoinOr;
    } else {
      return UsageError("conditions are joined by and or or, not " + args[5]);
    }
  }
  std::vector<Condition> conditions;
  for (std::size_t at = 2; at + 2 < args.size(); at += 4) {
    const std::optional<int> op = QueryOperatorFromText(args[at + 1]);
    if (!op) return UsageError("unknown operator: " + args[at + 1]);
    conditions.push_back({-1, *op, args[at + 2]});
  }

  CliDocument cli;
  if (!cli.OpenToChange(args[0])) return kExitFailed;
  for (std::size_t i = 0; i < conditions.size(); ++i) {
    const std::string& name = args[2 + 4 * i];
    const std::optional<int> field = FieldIndex(cli.document, name);
    if (!field) {
      std::cerr << "postrider-cli: the mailing list has no field named " << name << '\n';
      return kExitFailed;
    }
    conditions[i].field = *field;
  }
  const Condition second = conditions.size() > 1 ? conditions[1] : Condition{};
  cli.document.SelectOnQuery(conditions[0].field, conditions[0].op, conditions[0].value, join,
                             second.field, second.op, second.value);
  return SaveAndReportCount(cli, args[0]);
}

}  // namespace postrider::cli
