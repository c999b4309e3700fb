#include "panel/main_sheet.h"

#include <iterator>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "panel/about_dialog.h"
#include "panel/application_icon.h"
#include "panel/initialization_page.h"
#include "tonvisor/version.h"
#include "tools/pages/direct_register_page.h"

namespace tonvisor {

namespace {

struct TabPlace {
  MainSheet::Tab tab;
  const char* text;
};

// Tab order and tab texts.
constexpr TabPlace kTabs[] = {
    {MainSheet::Tab::Initialization, "Initialization"},
    {MainSheet::Tab::Routing, "Routing"},
    {MainSheet::Tab::I2s, "I2S"},
    {MainSheet::Tab::Inputs, "Inputs"},
    {MainSheet::Tab::Outputs, "Outputs"},
    {MainSheet::Tab::DigitalAudioProcessing, "Digital Audio Processing"},
    {MainSheet::Tab::DirectRegisterAccess, "Direct Register Access"},
};

constexpr QSize kDefaultSize(640, 500);

int placeOf(MainSheet::Tab tab) {
  for (int i = 0; i < static_cast<int>(std::size(kTabs)); ++i) {
    if (kTabs[i].tab == tab) return i;
  }
  return static_cast<int>(std::size(kTabs));
}

}  // namespace

MainSheet::MainSheet(const PanelContext& context, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("MainSheet"));
  setWindowTitle(tr("KRVL7300 Control Software"));
  setWindowIcon(ApplicationIcon());
  // A dialog with a minimise box: it is the program's main window.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  m_tabs = new QTabWidget;
  m_tabs->setAccessibleName(tr("Pages"));

  m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  for (QAbstractButton* button : m_buttons->buttons()) button->setAccessibleName(button->text());
  connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  m_versionButton = new QPushButton(tr("Ver %1").arg(QLatin1String(kVersion)));
  m_versionButton->setAccessibleName(m_versionButton->text());
  m_versionButton->setAutoDefault(false);
  connect(m_versionButton, &QPushButton::clicked, this, &MainSheet::showAbout);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(m_versionButton);
  buttonRow->addStretch();
  buttonRow->addWidget(m_buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs, 1);
  layout->addLayout(buttonRow);

  // Pages are made in the chip tool's order (the Initialization page first: it selects the
  // I2C link), each put at its own tab.
  m_initializationPage = new InitializationPage(context);
  m_directRegisterPage = new DirectRegisterPage(context.link, context.files);
  addPage(Tab::Initialization, m_initializationPage);
  addPage(Tab::DirectRegisterAccess, m_directRegisterPage);
  m_tabs->setCurrentIndex(0);
  // Room for every page in its largest state (the Ethernet fields shown), so the window
  // does not jump as the user moves between links and pages.
  resize(sizeHint().expandedTo(kDefaultSize));
}

QString MainSheet::tabText(Tab tab) {
  const int place = placeOf(tab);
  return place < static_cast<int>(std::size(kTabs)) ? tr(kTabs[place].text) : QString();
}

void MainSheet::addPage(Tab tab, QWidget* page) {
  int index = 0;
  while (index < m_tabOrder.size() && placeOf(m_tabOrder[index]) < placeOf(tab)) ++index;
  m_tabOrder.insert(index, tab);
  m_tabs->insertTab(index, page, tabText(tab));
}

void MainSheet::showAbout() {
  AboutDialog about(this);
  about.exec();
}

}  // namespace tonvisor
