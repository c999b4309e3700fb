#include "tools/pages/direct_register_page.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "tools/pages/direct_register_rw_page.h"
#include "tools/pages/register_map_page.h"
#include "tools/pages/register_write_monitor_page.h"

namespace tonvisor {

DirectRegisterPage::DirectRegisterPage(LinkRunner& runner, FileChooser& files, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("DirectRegisterPage"));
  m_readWritePage = new DirectRegisterRwPage(runner, this);
  m_monitorPage = new RegisterWriteMonitorPage(runner, files, this);
  m_mapPage = new RegisterMapPage(runner, files, this);

  m_sheet = new QTabWidget;
  m_sheet->setAccessibleName(tr("Direct Register Tools"));
  m_sheet->addTab(m_readWritePage, tr("Direct Register RW"));
  m_sheet->addTab(m_monitorPage, tr("Register Write Monitor"));
  m_sheet->addTab(m_mapPage, tr("Register Map"));
  m_sheet->setCurrentIndex(0);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_sheet);
}

}  // namespace tonvisor
