#include "panel/main_sheet.h"

#include <iterator>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "panel/about_dialog.h"
#include "panel/application_icon.h"
#include "panel/i2s_page.h"
#include "panel/initialization_page.h"
#include "panel/inputs_page.h"
#include "panel/outputs_page.h"
#include "panel/routing_page.h"
#include "tools/pages/direct_register_page.h"

namespace tonvisor {

namespace {

using PageFactory = QWidget* (*)(const PanelContext&);

template <typename Page>
QWidget* Make(const PanelContext& context) {
  return new Page(context);
}

QWidget* MakeDirectRegisterPage(const PanelContext& context) {
  return new DirectRegisterPage(context.link, context.files);
}

struct TabPlace {
  MainSheet::Tab tab;
  const char* text;
  PageFactory make;  // nullptr while the page is still to come
};

// The pages: tab order, tab texts, and how each page is made.
constexpr TabPlace kTabs[] = {
    {MainSheet::Tab::Initialization, "Initialization", Make<InitializationPage>},
    {MainSheet::Tab::Routing, "Routing", Make<RoutingPage>},
    {MainSheet::Tab::I2s, "I2S", Make<I2sPage>},
    {MainSheet::Tab::Inputs, "Inputs", Make<InputsPage>},
    {MainSheet::Tab::Outputs, "Outputs", Make<OutputsPage>},
    {MainSheet::Tab::DigitalAudioProcessing, "Digital Audio Processing", nullptr},
    {MainSheet::Tab::DirectRegisterAccess, "Direct Register Access", MakeDirectRegisterPage},
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

  m_versionButton = new QPushButton(tr("Ver 1.0.1.8"));
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

  // Pages are made in tab order (the Initialization page first: it selects the I2C link).
  for (const TabPlace& place : kTabs) {
    if (place.make != nullptr) addPage(place.tab, place.make(context));
  }
  m_initializationPage = qobject_cast<InitializationPage*>(page(Tab::Initialization));
  m_directRegisterPage = qobject_cast<DirectRegisterPage*>(page(Tab::DirectRegisterAccess));
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

QWidget* MainSheet::page(Tab tab) const {
  const auto index = m_tabOrder.indexOf(tab);
  return index >= 0 ? m_tabs->widget(static_cast<int>(index)) : nullptr;
}

void MainSheet::showAbout() {
  AboutDialog about(this);
  about.exec();
}

}  // namespace tonvisor
