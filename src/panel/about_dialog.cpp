#include "panel/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "panel/application_icon.h"

namespace tonvisor {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutDialog"));
  setWindowTitle(tr("About Tonvisor"));

  auto* icon = new QLabel;
  icon->setPixmap(ApplicationIcon().pixmap(48, 48));
  icon->setAccessibleName(tr("Tonvisor icon"));
  icon->setAlignment(Qt::AlignTop);

  // The About box has always said 1.0.1.6 while the program is 1.0.1.8; boards' procedures
  // quote both, so each stays as it is.
  auto* product = new QLabel(tr("KRVL7300 Control Software Version 1.0"));
  auto* version = new QLabel(tr("Version 1.0.1.6"));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setDefault(true);
  ok->setAccessibleName(ok->text());
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(6);
  texts->addWidget(product);
  texts->addWidget(version);
  texts->addStretch();

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(16);
  top->addLayout(texts, 1);
  top->addSpacing(24);
  top->addWidget(buttons, 0, Qt::AlignTop);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->addLayout(top);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tonvisor
