#include "panel/message_box_messenger.h"

#include <QMessageBox>

#include "tools/pages/widget_owner.h"

namespace tonvisor {

void MessageBoxMessenger::show(const Message& message) {
  QWidget* parent = nullptr;
  switch (message.owner.kind) {
    case Owner::Kind::None:
      break;
    case Owner::Kind::MainWindow:
      parent = m_mainWindow.data();
      break;
    case Owner::Kind::Window:
      parent = WidgetOf(message.owner);
      break;
  }
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(QString::fromStdString(message.caption));
  // The texts are the chip tool's own, leading blanks included; never read them as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(message.text));
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace tonvisor
