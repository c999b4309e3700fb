#pragma once

#include <QDialog>
#include <QList>
#include <optional>

#include "panel/panel_context.h"
#include "panel/unsaved_log_question.h"

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace tonvisor {

class DirectRegisterPage;
class InitializationPage;

// The main window: "KRVL7300 Control Software", one tab per chip block or tool, the version
// button and Read Chip at the left of the OK and Cancel row. OK, Cancel and the close button end the
// program, after asking whether to save a write log that holds unsaved entries; Return and
// Escape never do.
class MainSheet : public QDialog {
  Q_OBJECT

 public:
  // The pages in their tab order. A page added later takes its place in this order whatever
  // pages exist around it.
  enum class Tab { Initialization, Routing, I2s, Inputs, Outputs, DigitalAudioProcessing, DirectRegisterAccess };

  explicit MainSheet(const PanelContext& context, QWidget* parent = nullptr);

  // Puts page at its tab's place, titled with the tab's text.
  void addPage(Tab tab, QWidget* page);
  static QString tabText(Tab tab);
  // The page at tab's place, or nullptr when there is none.
  QWidget* page(Tab tab) const;

  QTabWidget* tabs() const { return m_tabs; }
  QPushButton* versionButton() const { return m_versionButton; }
  QPushButton* readChipButton() const { return m_readChipButton; }
  QDialogButtonBox* buttons() const { return m_buttons; }
  InitializationPage* initializationPage() const { return m_initializationPage; }
  // The line at the bottom: the link in use, and what a running job is doing. Other parts of
  // the window add permanent widgets of their own with addPermanentWidget().
  QStatusBar* statusLine() const { return m_statusLine; }
  QString linkText() const;
  QString workText() const;
  // What the last reads found changed outside this program; empty when nothing was.
  QString outsideChangesText() const;
  LinkRunner& runner() const { return m_runner; }
  DirectRegisterPage* directRegisterPage() const { return m_directRegisterPage; }

 public slots:
  void showAbout();
  // Reads every register into the link's cache; the pages follow.
  void readChip();
  // Ends the sheet, unless the write log holds unsaved entries and the user chooses to stay
  // (or to save, and the save does not happen). While link work runs, first asks whether to
  // wait for it or stop it; the sheet then ends once the link is idle.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool mayEnd(int result);
  // Asks about a write log holding unsaved entries before it is lost (the program ending,
  // Connect emptying it): true when it may go (saved, or discarded), false to keep it.
  bool mayLoseLog(LogLoss loss);
  void showWork(std::size_t done, std::size_t expected);
  void linkIdle();

  LinkRunner& m_runner;
  UnsavedLogQuestion& m_unsavedLog;
  std::optional<int> m_endWhenIdle;  // the user chose to end: the result, once the link is idle
  QStatusBar* m_statusLine = nullptr;
  QLabel* m_linkLabel = nullptr;
  QLabel* m_workLabel = nullptr;
  QLabel* m_outsideLabel = nullptr;
  QString m_workTitle;
  bool m_asking = false;
  QTabWidget* m_tabs = nullptr;
  QList<Tab> m_tabOrder;  // the Tab of each tab shown, in tab order
  QDialogButtonBox* m_buttons = nullptr;
  QPushButton* m_versionButton = nullptr;
  QPushButton* m_readChipButton = nullptr;
  InitializationPage* m_initializationPage = nullptr;
  DirectRegisterPage* m_directRegisterPage = nullptr;
};

}  // namespace tonvisor
