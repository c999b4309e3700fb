#include "panel/main_sheet.h"

#include <iterator>

#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTabWidget>
#include <QVBoxLayout>

#include "panel/about_dialog.h"
#include "panel/application_icon.h"
#include "panel/dap_page.h"
#include "panel/i2s_page.h"
#include "panel/initialization_page.h"
#include "tonvisor/version.h"
#include "panel/unsaved_log_question.h"
#include "panel/inputs_page.h"
#include "panel/outputs_page.h"
#include "panel/routing_page.h"
#include "tools/pages/direct_register_page.h"
#include "tools/pages/read_chip.h"
#include "tools/pages/register_write_monitor_page.h"

namespace tonvisor {

namespace {

using PageFactory = QWidget* (*)(const PanelContext&);

template <typename Page>
QWidget* Make(const PanelContext& context) {
  return new Page(context);
}

QWidget* MakeDirectRegisterPage(const PanelContext& context) {
  return new DirectRegisterPage(context.runner, context.files);
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
    {MainSheet::Tab::DigitalAudioProcessing, "Digital Audio Processing", Make<DigitalAudioProcessingPage>},
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

MainSheet::MainSheet(const PanelContext& context, QWidget* parent)
    : QDialog(parent), m_runner(context.runner), m_unsavedLog(context.unsavedLog) {
  setObjectName(QStringLiteral("MainSheet"));
  setWindowTitle(tr("KRVL7300 Control Software"));
  setWindowIcon(ApplicationIcon());
  // A dialog with a minimise box: it is the program's main window.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  m_tabs = new QTabWidget;
  m_tabs->setAccessibleName(tr("Pages"));

  m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  for (QAbstractButton* button : m_buttons->buttons()) {
    button->setAccessibleName(button->text());
    // Return must not end the program: OK and Cancel are not pressed by Return, not even
    // with the focus on them (Space presses a button that has the focus).
    static_cast<QPushButton*>(button)->setAutoDefault(false);
  }
  connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  m_versionButton = new QPushButton(tr("Ver %1").arg(QLatin1String(kVersion)));
  m_versionButton->setAccessibleName(m_versionButton->text());
  m_versionButton->setAutoDefault(false);
  connect(m_versionButton, &QPushButton::clicked, this, &MainSheet::showAbout);
  // The version button has the OK button's height and width, whatever the style and font
  // make of the OK button; OK and Cancel are made wide enough for the version's text.
  const int versionWidth = m_versionButton->sizeHint().width();
  for (QAbstractButton* button : m_buttons->buttons()) button->setMinimumWidth(versionWidth);
  QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
  m_versionButton->setFixedSize(ok->sizeHint().expandedTo(ok->minimumSize()));
  ok->installEventFilter(this);
  m_buttons->installEventFilter(this);

  // In the status line, always in sight whichever page is shown.
  m_readChipButton = new QPushButton(tr("Read Chip"));
  m_readChipButton->setAccessibleName(m_readChipButton->text());
  m_readChipButton->setAutoDefault(false);
  m_readChipButton->setToolTip(tr("Read every register of the chip; the pages show what it holds"));
  connect(m_readChipButton, &QPushButton::clicked, this, &MainSheet::readChip);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(m_versionButton);
  buttonRow->addStretch();
  buttonRow->addWidget(m_buttons);

  m_statusLine = new QStatusBar;
  m_statusLine->setSizeGripEnabled(false);
  m_statusLine->setAccessibleName(tr("Status"));
  m_linkLabel = new QLabel;
  m_linkLabel->setAccessibleName(tr("Link"));
  m_workLabel = new QLabel;
  m_workLabel->setAccessibleName(tr("Work"));
  m_statusLine->addWidget(m_linkLabel);
  m_statusLine->addWidget(m_workLabel, 1);
  // A reset or brown-out noticed by a read stays in sight (the whole text in its tooltip) until
  // the next reads find another.
  m_outsideLabel = new QLabel;
  m_outsideLabel->setObjectName(QStringLiteral("Changed outside"));
  m_outsideLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  QPalette warning = m_outsideLabel->palette();
  warning.setColor(QPalette::WindowText, Qt::darkRed);
  m_outsideLabel->setPalette(warning);
  m_statusLine->addWidget(m_outsideLabel, 2);
  connect(&m_runner, &LinkRunner::outsideChangesFound, this, [this](const QString& text) {
    m_outsideLabel->setText(text);
    m_outsideLabel->setToolTip(text);
  });
  m_statusLine->addPermanentWidget(m_readChipButton);
  connect(&m_runner, &LinkRunner::linkStateChanged, this,
          [this] { m_linkLabel->setText(DescribeLink(m_runner.linkState())); });
  connect(&m_runner, &LinkRunner::jobStarted, this, [this](std::uint64_t, const QString& title, std::size_t expected) {
    m_workTitle = title;
    showWork(0, expected);
  });
  connect(&m_runner, &LinkRunner::progress, this,
          [this](std::uint64_t, std::size_t done, std::size_t expected) { showWork(done, expected); });
  connect(&m_runner, &LinkRunner::busyChanged, this, [this](bool busy) {
    if (!busy) linkIdle();
  });
  m_linkLabel->setText(DescribeLink(m_runner.linkState()));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs, 1);
  layout->addLayout(buttonRow);
  layout->addWidget(m_statusLine);

  // Pages are made in tab order (the Initialization page first: it selects the I2C link).
  for (const TabPlace& place : kTabs) {
    if (place.make != nullptr) addPage(place.tab, place.make(context));
  }
  m_initializationPage = qobject_cast<InitializationPage*>(page(Tab::Initialization));
  m_directRegisterPage = qobject_cast<DirectRegisterPage*>(page(Tab::DirectRegisterAccess));
  if (m_initializationPage != nullptr && m_directRegisterPage != nullptr) {
    m_initializationPage->setLogEmptyingCheck([this] { return mayLoseLog(LogLoss::Connect); });
  }
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

bool MainSheet::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && watched == m_buttons->button(QDialogButtonBox::Ok)) {
    m_versionButton->setFixedSize(static_cast<QWidget*>(watched)->size());
  }
  if (event->type() == QEvent::Show && watched == m_buttons) {
    // Each time it is shown the button box makes OK the default button, drawn as the one
    // Return presses (and pressed by Return once it has the focus). Let it, then take that
    // back: nothing here is pressed by Return.
    static_cast<QObject*>(m_buttons)->event(event);
    for (QAbstractButton* button : m_buttons->buttons()) static_cast<QPushButton*>(button)->setDefault(false);
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

// A dialog ends on Escape and presses its default button on Return. This window is the
// program and holds the write log: neither key may end it, and Return typed into a box does
// what that box's page makes of it, or nothing.
void MainSheet::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

QString MainSheet::linkText() const { return m_linkLabel->text(); }

QString MainSheet::workText() const { return m_workLabel->text(); }

QString MainSheet::outsideChangesText() const { return m_outsideLabel->text(); }

void MainSheet::showWork(std::size_t done, std::size_t expected) {
  m_workLabel->setText(expected > 0 ? tr("%1: %2 of %3").arg(m_workTitle).arg(done).arg(expected)
                                    : tr("%1: %2").arg(m_workTitle).arg(done));
}

void MainSheet::linkIdle() {
  m_workLabel->clear();
  if (!m_endWhenIdle) return;
  // Not from inside the runner's hand-back: the sheet may end (and its pages go) here.
  const int result = *m_endWhenIdle;
  m_endWhenIdle.reset();
  QTimer::singleShot(0, this, [this, result] { done(result); });
}

// The Tab key goes from the tab strip into the page, and to the bottom row's buttons last. Qt's own
// round follows the order the widgets were made in, and a page makes its controls when it is
// first shown, long after the buttons: so the round is walked here, the buttons moved to its end.
bool MainSheet::focusNextPrevChild(bool next) {
  QWidget* ok = m_buttons->button(QDialogButtonBox::Ok);
  QWidget* cancel = m_buttons->button(QDialogButtonBox::Cancel);
  const QList<QWidget*> buttons{m_versionButton, m_readChipButton, ok, cancel};  // the bottom row
  QList<QWidget*> round;
  for (QWidget* widget = nextInFocusChain(); widget != this; widget = widget->nextInFocusChain()) {
    const bool takesTab = (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && widget->focusProxy() == nullptr;
    if (takesTab && widget->window() == this && widget->isVisibleTo(this) && widget->isEnabled() &&
        !buttons.contains(widget)) {
      round.append(widget);
    }
  }
  for (QWidget* button : buttons) {
    if (button->isVisibleTo(this) && button->isEnabled()) round.append(button);
  }
  QWidget* from = focusWidget();
  while (from != nullptr && !round.contains(from)) from = from->parentWidget() != this ? from->parentWidget() : nullptr;
  if (round.isEmpty() || from == nullptr) return QDialog::focusNextPrevChild(next);
  const qsizetype count = round.size();
  QWidget* to = round[(round.indexOf(from) + (next ? 1 : count - 1)) % count];
  to->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void MainSheet::done(int result) {
  if (!mayEnd(result)) return;
  QDialog::done(result);
}

bool MainSheet::mayEnd(int result) {
  if (m_asking) return false;  // already asking; the answer to that question decides
  if (m_endWhenIdle) return false;  // already ending once the link is idle
  if (m_runner.busy()) {
    m_asking = true;
    const BusyEndAnswer answer = m_unsavedLog.askWhileBusy(this, m_workLabel->text());
    m_asking = false;
    if (answer == BusyEndAnswer::Stay) return false;
    if (answer == BusyEndAnswer::Stop) m_runner.stopAll();
    // The log is read, and the unsaved-log question asked, only once nothing more can reach it.
    if (m_runner.busy()) {
      m_endWhenIdle = result;
      return false;
    }
  }
  return mayLoseLog(LogLoss::ProgramEnd);
}

bool MainSheet::mayLoseLog(LogLoss loss) {
  if (m_asking) return false;  // already asking; the answer to that question decides
  RegisterWriteMonitorPage* monitor = m_directRegisterPage->monitorPage();
  const std::size_t unsaved = monitor->unsavedEntries();
  if (unsaved == 0) return true;
  m_asking = true;
  bool end = false;
  switch (m_unsavedLog.ask(this, unsaved, loss)) {
    case UnsavedLogAnswer::Save:
      end = monitor->saveLog();  // a cancelled or failed save keeps the program open
      break;
    case UnsavedLogAnswer::Discard:
      end = true;
      break;
    case UnsavedLogAnswer::Stay:
      break;
  }
  m_asking = false;
  return end;
}

QWidget* MainSheet::page(Tab tab) const {
  const auto index = m_tabOrder.indexOf(tab);
  return index >= 0 ? m_tabs->widget(static_cast<int>(index)) : nullptr;
}

void MainSheet::readChip() { SubmitReadChip(m_runner, this, tr("Read Chip")); }

void MainSheet::showAbout() {
  AboutDialog about(this);
  about.exec();
}

}  // namespace tonvisor
