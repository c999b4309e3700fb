#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QString>
#include <QWidget>

#include "link/device_link.h"
#include "link/register_cache.h"
#include "tools/snapshot.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace tonvisor {

class FileChooser;

// "Register Map": every named register of the chip at once. Read All reads them (Read Chip:
// values that did not arrive are unknown, never 0), and the view follows every access any
// page, script or tool makes afterwards; a register a read found changed since this program
// wrote it is marked "changed outside this program"; a register's fields show below it, named from the
// codec's field table with their values' names; a value or a field typed in is written (with
// a "# Write Register" comment, as Direct Register RW writes) and read back. Registers that
// changed since the last Read All are marked. Save Snapshot saves what Read All found as a
// script that restores it; Compare with Snapshot marks every register that differs from a
// saved one, field by field, and Write Differences writes only those.
class RegisterMapPage : public QWidget {
  Q_OBJECT

 public:
  enum RegisterColumn { kNameColumn, kAddressColumn, kValueColumn, kSnapshotColumn };
  enum FieldColumn { kFieldColumn, kBitsColumn, kFieldValueColumn, kMeaningColumn, kFieldSnapshotColumn };

  RegisterMapPage(DeviceLink& link, FileChooser& files, QWidget* parent = nullptr);

  QTableWidget* registerTable() const { return m_registers; }
  QTableWidget* fieldTable() const { return m_fields; }

 public slots:
  void readAll();
  void saveSnapshot();
  void compareWithSnapshot();
  void writeDifferences();

 private slots:
  void registerSelected();
  void registerEdited(QTableWidgetItem* item);
  void fieldEdited(QTableWidgetItem* item);

 private:
  // How far a reading of every register got.
  enum class Reading { NotMade, Partial, Complete };
  // Reads every register with the progress window. NotMade when the user cancelled or the link
  // cannot read (the view keeps what it showed); Partial when some reads did not arrive.
  Reading readEveryRegister(const QString& title);
  // The differences from the compared snapshot after a reading: none unless it was complete.
  void compareWith(Reading reading);
  void showValues();
  // Takes what the link's cache learned since the view was last shown.
  void followCache();
  void showFields();
  void showRow(int row);
  // Writes (or read-modify-writes, for a field) one register as one user action, reads it
  // back and shows what came back.
  void writeAndReadBack(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value);
  void chooseFieldValue(const RegisterField& field, int code);
  std::optional<std::uint16_t> shownValue(std::uint16_t address) const;
  std::uint16_t selectedAddress() const;
  const RegisterDifference* differenceOf(std::uint16_t address) const;
  void tell(const QString& text);

  DeviceLink& m_link;
  FileChooser& m_files;
  bool m_readAllDone = false;
  ChipSnapshot m_readAll;   // as the last Read All found the chip
  ChipSnapshot m_current;   // what the view shows: the last Read All and every read back since
  std::optional<ChipSnapshot> m_compared;
  QString m_comparedName;
  std::vector<RegisterDifference> m_differences;
  bool m_filling = false;  // the tables are being filled by code: nothing is written
  std::optional<std::uint16_t> m_fieldsAddress;  // the register whose fields are listed

  RegisterCache::Listening m_cacheListening;
  bool m_followPending = false;
  std::uint64_t m_fillsSeen = 0;

  QPushButton* m_readAllButton = nullptr;
  QPushButton* m_saveButton = nullptr;
  QPushButton* m_compareButton = nullptr;
  QPushButton* m_writeDifferencesButton = nullptr;
  QTableWidget* m_registers = nullptr;
  QLabel* m_fieldsCaption = nullptr;
  QTableWidget* m_fields = nullptr;
};

}  // namespace tonvisor
