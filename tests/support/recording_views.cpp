#include "support/recording_views.h"

#include <fstream>
#include <stdexcept>

namespace postrider::testing {

void RecordingMessageView::LoadFromDocument() {
  ++loadCount;
  subject = document_.GetSubject();
  body = document_.GetBody();
  emailFieldIndex = document_.GetEmailFieldIndex();
}

void RecordingMessageView::UpdateDocument() {
  ++updateCount;
  if (subject != document_.GetSubject() || body != document_.GetBody() ||
      emailFieldIndex != document_.GetEmailFieldIndex()) {
    document_.SetSubject(subject);
    document_.SetBody(body);
    document_.SetEmailFieldIndex(emailFieldIndex);
    document_.SetModifiedFlag(true);
  }
}

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string WriteTestProject(const std::string& folder, const TestProject& project,
                             const std::string& name) {
  const std::string listName = name + (project.listSourceType == DBTypeComma ? ".csv" : ".list");
  WriteBytes(folder + "/" + listName, project.listText);
  WriteBytes(folder + "/" + name + "-letter.txt", project.letterText);
  if (!project.marks.empty()) WriteBytes(folder + "/" + name + ".prh", project.marks);
  const std::string projectPath = folder + "/" + name + ".prj";
  WriteBytes(projectPath, "[Settings]\nMessageFile=" + name + "-letter.txt\nDBFile=" + listName +
                              "\nDBFileType=" + std::to_string(project.listSourceType) +
                              "\nEmailFieldString=" + project.emailFieldName +
                              "\nEmailFieldIndex=" + std::to_string(project.emailFieldIndex) +
                              "\nHelperFile=" + name + ".prh\nLastIndexSent=" +
                              std::to_string(project.lastIndexSent) + "\n");
  return projectPath;
}

bool RecordedDocument::Open(const std::string& folder, const TestProject& project) {
  return document.OnOpenDocument(WriteTestProject(folder, project));
}

RecordedDocument::RecordedDocument() {
  document.SetPrompts(&prompts);
  document.SetMainFrame(&frame);
  document.AddView(&projectView);
  document.AddView(&messageView);
}

RecordedDocument::~RecordedDocument() {
  document.RemoveView(&projectView);
  document.RemoveView(&messageView);
}

}  // namespace postrider::testing
