#pragma once

#include <array>
#include <cstdint>

#include <QWidget>

#include "runner/link_runner.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tonvisor {

// "Direct Register RW": writes up to six registers and reads up to six, by hexadecimal
// address, through whatever link is selected; WriteSPI writes row 1 straight over SPI.
class DirectRegisterRwPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRows = 6;

  explicit DirectRegisterRwPage(LinkRunner& runner, QWidget* parent = nullptr);

  // Rows in use on each side: the spin position once it has moved, 0 before (row 1 only).
  int writeRowCount() const { return m_writeRowCount; }
  int readRowCount() const { return m_readRowCount; }

 private slots:
  void writeRegisters();
  void writeSpiRegister();
  void clearWriteRows();
  void readRegisters();
  void clearReadRows();
  void setWriteRowCount(int rows);
  void setReadRowCount(int rows);

 private:
  struct Row {
    QLineEdit* address = nullptr;
    QLineEdit* value = nullptr;
  };
  using Rows = std::array<Row, kRows>;

  QGroupBox* createSide(const QString& title, const QString& rowNamePrefix, Rows& rows, QSpinBox*& rowCount,
                        bool valuesEditable);
  void tell(const char* text);
  static void enableRows(Rows& rows, int rowsInUse);
  // 0, 1 or anything outside 2..6 means row 1 only.
  static int rowsInUse(int count);

  LinkRunner& m_runner;
  Rows m_writeRows;
  Rows m_readRows;
  QSpinBox* m_writeRowSpin = nullptr;
  QSpinBox* m_readRowSpin = nullptr;
  QPushButton* m_writeButton = nullptr;
  QPushButton* m_writeSpiButton = nullptr;
  QPushButton* m_clearWriteButton = nullptr;
  QPushButton* m_readButton = nullptr;
  QPushButton* m_clearReadButton = nullptr;
  int m_writeRowCount = 0;
  int m_readRowCount = 0;
};

}  // namespace tonvisor
