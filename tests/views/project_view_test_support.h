#pragma once

// Shared by the project view's tests: a real document opened on a real
// project in a temporary folder, with a frame and prompts that remember what
// they were told.

#include <QAbstractItemView>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include "project/document_views.h"
#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "views/project_view.h"

namespace postrider::testing {

class CountingFrame : public IMainFrame {
 public:
  void AttachDocument(CPostridrDoc*) override {}
  void SetCurrentProjectPath(const std::string&) override {}
  void ShowSelectedCount(long count) override { counts.push_back(count); }
  void SetStatusText(const std::string&) override {}
  void ShowHelpContents() override {}
  std::vector<long> counts;
};

// Message boxes are answered at once, or handed to `onMessage`.
class TestPrompts : public IUserPrompts {
 public:
  void ShowMessage(const std::string& text, MessageIcon) override {
    messages.push_back(text);
    if (onMessage) onMessage(text);
  }
  bool AskYesNo(const std::string&) override { return false; }
  SaveChoice AskSaveChanges(const std::string&) override { return SaveChoice::No; }
  std::optional<std::string> ChooseSavePath(const std::string&) override { return std::nullopt; }
  std::vector<std::string> messages;
  std::function<void(const std::string&)> onMessage;
};

// The files of one project; `marks` are the entry state file's first bytes
// (selection bit 128, status in the low bits), the rest are zero.
inline QString WriteProject(const DesktopTestEnvironment& env, const QString& name,
                            const QByteArray& list, const QByteArray& marks = {},
                            bool withLetter = true) {
  env.Write(name + QStringLiteral(".txt"), list);
  if (withLetter) {
    env.Write(name + QStringLiteral("-letter.txt"), "To: \nFrom:  \nSubject: Hi\nHello\n");
  }
  QByteArray block = marks;
  block.append(QByteArray(32000 - block.size(), '\0'));
  env.Write(name + QStringLiteral(".prh"), block);
  const QByteArray project = "[Settings]\nMessageFile=" + name.toUtf8() +
                             "-letter.txt\nDBFile=" + name.toUtf8() +
                             ".txt\nDBFileType=0\nEmailFieldString=Email\nEmailFieldIndex=1\n"
                             "HelperFile=" +
                             name.toUtf8() + ".prh\nLastIndexSent=0\n";
  return env.Write(name + QStringLiteral(".prj"), project);
}

// A tab list of `entries` rows: Name, Email, City.
inline QByteArray NumberedList(int entries) {
  QByteArray list = "Name\tEmail\tCity\n";
  for (int i = 0; i < entries; ++i) {
    const QByteArray n = QByteArray::number(i);
    list += "Person " + n + "\tp" + n + "@example.com\tTown " + n + "\n";
  }
  return list;
}

inline bool Open(CPostridrDoc& document, const QString& projectPath) {
  return document.OnOpenDocument(QFile::encodeName(projectPath).toStdString());
}

// The view grabbed as it is on screen, at one image pixel per view pixel.
inline QImage Grab(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline bool IsColor(const QImage& image, int x, int y, const QColor& color) {
  return image.pixelColor(x, y).rgb() == color.rgb();
}

// Whether any pixel in the rectangle is exactly `color`.
inline bool HasColor(const QImage& image, const QRect& area, const QColor& color) {
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (IsColor(image, x, y, color)) return true;
    }
  }
  return false;
}

// Pixels that differ from the list's background and grid lines: text or icons.
inline int InkPixels(const QImage& image, const QRect& area, const QColor& background,
                     const QColor& grid) {
  int ink = 0;
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      if (pixel != background.rgb() && pixel != grid.rgb()) ++ink;
    }
  }
  return ink;
}

// Pixels darker than the fainter text of unselected entries on a light
// background: the text of selected ones.
inline int DarkPixels(const QImage& image, const QRect& area) {
  int dark = 0;
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 60) ++dark;
    }
  }
  return dark;
}

// Row `row`'s rectangle in view coordinates.
inline QRect RowRect(const CProjectView& view, int row) {
  const QAbstractItemView* list = view.entryList();
  const QAbstractItemModel* model = list->model();
  const QRect first = list->visualRect(model->index(row, 0));
  const QRect last = list->visualRect(model->index(row, model->columnCount() - 1));
  return first.united(last).translated(list->viewport()->mapTo(&view, QPoint(0, 0)));
}

// Cell (`row`, `column`)'s rectangle in view coordinates.
inline QRect CellRect(const CProjectView& view, int row, int column) {
  const QAbstractItemView* list = view.entryList();
  return list->visualRect(list->model()->index(row, column))
      .translated(list->viewport()->mapTo(&view, QPoint(0, 0)));
}

}  // namespace postrider::testing
