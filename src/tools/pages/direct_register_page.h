#pragma once

#include <QWidget>

#include "runner/link_runner.h"

class QTabWidget;

namespace tonvisor {

class DirectRegisterRwPage;
class FileChooser;
class RegisterMapPage;
class RegisterWriteMonitorPage;

// "Direct Register Access": the register tools as a sheet of their own inside the page,
// "Direct Register RW" first, then "Register Write Monitor" and "Register Map". The sheet keeps its tab and
// every box's contents while the main sheet shows other pages.
class DirectRegisterPage : public QWidget {
  Q_OBJECT

 public:
  DirectRegisterPage(LinkRunner& runner, FileChooser& files, QWidget* parent = nullptr);

  QTabWidget* sheet() const { return m_sheet; }
  DirectRegisterRwPage* readWritePage() const { return m_readWritePage; }
  RegisterWriteMonitorPage* monitorPage() const { return m_monitorPage; }
  RegisterMapPage* mapPage() const { return m_mapPage; }

 private:
  QTabWidget* m_sheet = nullptr;
  DirectRegisterRwPage* m_readWritePage = nullptr;
  RegisterWriteMonitorPage* m_monitorPage = nullptr;
  RegisterMapPage* m_mapPage = nullptr;
};

}  // namespace tonvisor
