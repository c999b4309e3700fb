#pragma once

#include <QDialog>

namespace tonvisor {

// "About Tonvisor": the icon, the product line and the version line, and OK.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace tonvisor
