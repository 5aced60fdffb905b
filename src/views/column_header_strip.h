#pragma once

#include <QWidget>

#include "views/project_view_geometry.h"

namespace postrider {

class CPostridrDoc;

// The band across the top of the project view: one raised light-grey cell per
// list field, named in bold and clipped to the cell. The names are read from
// the document whenever the band is painted.
class ColumnHeaderStrip : public QWidget {
  Q_OBJECT

 public:
  ColumnHeaderStrip(const CPostridrDoc& document, const ProjectViewMetrics& metrics,
                    QWidget* parent = nullptr);

  // The field names changed: repaint and tell assistive technology.
  void FieldsChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const CPostridrDoc& document_;
  ProjectViewMetrics metrics_;
};

}  // namespace postrider
