#include "tools/pages/register_map_page.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "codec/field_choices.h"
#include "codec/register_map.h"
#include "link/typed_text.h"
#include "link/user_action.h"
#include "tools/pages/busy_cursor.h"
#include "tools/pages/file_chooser.h"
#include "tools/pages/read_chip.h"
#include "tools/pages/script_progress.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {

namespace {

constexpr const char* kSeparator = "   \n";
constexpr const char* kWriteComment = "# Write Register \n";
const QString kUnknown = QStringLiteral("unknown");

// Registers changed since the last Read All, and those that differ from a compared snapshot.
const QColor kChangedColour(255, 243, 176);
const QColor kDifferentColour(255, 205, 196);
// Registers a read found changed since this program wrote them.
const QColor kOutsideColour(214, 226, 255);

QString hexText(std::optional<std::uint16_t> value) {
  return value ? QString::fromStdString(FormatPrefixedHex4(*value)) : kUnknown;
}

// Two separate bits that always move together (the left and right DAC mutes, the PLL's two
// power switches): one setting, 0 or 1, never the number the two bits make side by side.
bool isPair(const RegisterField& field) { return field.field != nullptr && field.field->bits.copies != 0; }

QString bitsText(const RegisterField& field) {
  if (isPair(field)) return QStringLiteral("%1, %2").arg(field.highBit).arg(field.lowBit);
  return field.highBit == field.lowBit ? QString::number(field.lowBit)
                                       : QStringLiteral("%1:%2").arg(field.highBit).arg(field.lowBit);
}

int largestCode(const RegisterField& field) { return isPair(field) ? 1 : static_cast<int>(field.mask >> field.lowBit); }

// The field's code in a register value; nothing for a pair whose bits disagree (set by hand).
std::optional<int> codeIn(const RegisterField& field, std::uint16_t registerValue) {
  const auto bits = static_cast<std::uint16_t>(registerValue & field.mask);
  if (!isPair(field)) return static_cast<int>(field.valueIn(registerValue));
  if (bits == 0) return 0;
  if (bits == field.mask) return 1;
  return std::nullopt;
}

// A field's value as the view shows it: its code, "unknown" while the register is, "mixed" for
// a pair with one bit set.
QString codeText(const RegisterField& field, std::optional<std::uint16_t> registerValue) {
  if (!registerValue) return kUnknown;
  const std::optional<int> code = codeIn(field, *registerValue);
  return code ? QString::number(*code) : QStringLiteral("mixed");
}

QTableWidgetItem* fixedItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

}  // namespace

RegisterMapPage::RegisterMapPage(DeviceLink& link, FileChooser& files, QWidget* parent)
    : QWidget(parent),
      m_link(link),
      m_files(files),
      m_cacheListening(link.cache(), [this] {
        // Once, after the access (or the whole action) that changed it.
        if (m_followPending) return;
        m_followPending = true;
        QMetaObject::invokeMethod(this, &RegisterMapPage::followCache, Qt::QueuedConnection);
      }) {
  setObjectName(QStringLiteral("RegisterMapPage"));
  m_readAll = UnknownChip();
  m_current = m_readAll;

  m_readAllButton = new QPushButton(tr("Read All"));
  m_saveButton = new QPushButton(tr("Save Snapshot"));
  m_compareButton = new QPushButton(tr("Compare with Snapshot"));
  m_writeDifferencesButton = new QPushButton(tr("Write Differences"));
  m_writeDifferencesButton->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {m_readAllButton, m_saveButton, m_compareButton, m_writeDifferencesButton}) {
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch();

  m_registers = new QTableWidget(static_cast<int>(m_current.registers.size()), 4);
  m_registers->setAccessibleName(tr("Registers"));
  m_registers->setHorizontalHeaderLabels({tr("Register"), tr("Address"), tr("Value"), tr("Snapshot")});
  m_registers->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_registers->setSelectionMode(QAbstractItemView::SingleSelection);
  m_registers->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  m_registers->verticalHeader()->hide();
  // One line of text a row: 53 registers, as many of them in view as the window allows.
  const int rowHeight = fontMetrics().height() + 8;
  m_registers->verticalHeader()->setDefaultSectionSize(rowHeight);
  m_registers->horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
  m_registers->setColumnHidden(kSnapshotColumn, true);
  m_fieldsCaption = new QLabel;
  m_fields = new QTableWidget(0, 5);
  m_fields->setAccessibleName(tr("Fields"));
  m_fields->setHorizontalHeaderLabels({tr("Field"), tr("Bits"), tr("Value"), tr("Meaning"), tr("Snapshot")});
  m_fields->verticalHeader()->hide();
  m_fields->verticalHeader()->setDefaultSectionSize(rowHeight + 4);  // room for a list
  m_fields->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  m_fields->horizontalHeader()->setSectionResizeMode(kFieldColumn, QHeaderView::Stretch);
  m_fields->setColumnHidden(kFieldSnapshotColumn, true);

  auto* below = new QWidget;
  auto* belowLayout = new QVBoxLayout(below);
  belowLayout->setContentsMargins(0, 0, 0, 0);
  belowLayout->addWidget(m_fieldsCaption);
  belowLayout->addWidget(m_fields);
  auto* splitter = new QSplitter(Qt::Vertical);
  splitter->addWidget(m_registers);
  splitter->addWidget(below);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(splitter, 1);

  m_filling = true;
  for (int row = 0; row < m_registers->rowCount(); ++row) {
    const RegisterReading& reading = m_current.registers[static_cast<std::size_t>(row)];
    m_registers->setItem(row, kNameColumn, fixedItem(QString::fromLatin1(reading.name.data(),
                                                                        static_cast<qsizetype>(reading.name.size()))));
    m_registers->setItem(row, kAddressColumn, fixedItem(QString::fromStdString(FormatPrefixedHex4(reading.address))));
    m_registers->setItem(row, kValueColumn, new QTableWidgetItem);
    m_registers->setItem(row, kSnapshotColumn, fixedItem(QString()));
  }
  m_filling = false;
  showValues();
  m_registers->resizeColumnsToContents();

  connect(m_readAllButton, &QPushButton::clicked, this, &RegisterMapPage::readAll);
  connect(m_saveButton, &QPushButton::clicked, this, &RegisterMapPage::saveSnapshot);
  connect(m_compareButton, &QPushButton::clicked, this, &RegisterMapPage::compareWithSnapshot);
  connect(m_writeDifferencesButton, &QPushButton::clicked, this, &RegisterMapPage::writeDifferences);
  connect(m_registers, &QTableWidget::itemSelectionChanged, this, &RegisterMapPage::registerSelected);
  connect(m_registers, &QTableWidget::itemChanged, this, &RegisterMapPage::registerEdited);
  connect(m_fields, &QTableWidget::itemChanged, this, &RegisterMapPage::fieldEdited);
  m_registers->selectRow(0);
}

void RegisterMapPage::tell(const QString& text) {
  m_link.messenger().show(text.toStdString(), kApplicationTitle, OwnerOf(this));
}

RegisterMapPage::Reading RegisterMapPage::readEveryRegister(const QString& title) {
  const std::optional<ReadAllResult> result = ReadChipWithProgress(m_link, this, title);
  if (!result) return Reading::NotMade;
  m_readAll = result->snapshot;
  m_current = result->snapshot;
  m_readAllDone = true;
  m_fillsSeen = m_link.cache().fills();
  return result->tally.allWentThrough() ? Reading::Complete : Reading::Partial;
}

void RegisterMapPage::followCache() {
  m_followPending = false;
  for (RegisterReading& reading : m_current.registers) {
    const CachedRegister* cached = m_link.cache().find(reading.address);
    if (cached == nullptr || cached->described->traits.isVolatile) continue;
    // A register the cache forgot (a new Connect) keeps what was last shown; one whose value
    // was lost by a failed access is unknown again.
    if (cached->value || cached->lost) reading.value = cached->value;
  }
  // A Read Chip made elsewhere (the button, a Connect) is the new starting point.
  if (m_link.cache().fills() != m_fillsSeen) {
    m_fillsSeen = m_link.cache().fills();
    m_readAll = m_current;
    m_readAllDone = true;
  }
  // The differences from a compared snapshot stay as the last complete reading found them.
  showValues();
}

void RegisterMapPage::readAll() {
  const Reading reading = readEveryRegister(tr("Read All"));
  if (reading == Reading::NotMade) return;
  compareWith(reading);
  showValues();
}

void RegisterMapPage::compareWith(Reading reading) {
  // A register that could not be read is no difference to write back, and a reading that was
  // not made says nothing about the chip now.
  m_differences.clear();
  if (m_compared && reading == Reading::Complete) m_differences = CompareSnapshots(m_current, *m_compared);
}

std::optional<std::uint16_t> RegisterMapPage::shownValue(std::uint16_t address) const {
  const RegisterReading* reading = m_current.find(address);
  return reading ? reading->value : std::nullopt;
}

const RegisterDifference* RegisterMapPage::differenceOf(std::uint16_t address) const {
  for (const RegisterDifference& difference : m_differences) {
    if (difference.address == address) return &difference;
  }
  return nullptr;
}

void RegisterMapPage::showRow(int row) {
  const RegisterReading& reading = m_current.registers[static_cast<std::size_t>(row)];
  const RegisterReading& before = m_readAll.registers[static_cast<std::size_t>(row)];
  QTableWidgetItem* value = m_registers->item(row, kValueColumn);
  value->setText(hexText(reading.value));
  QFont font = value->font();
  font.setItalic(!reading.value);
  value->setFont(font);
  const bool changed = m_readAllDone && reading.value != before.value;
  const RegisterDifference* difference = differenceOf(reading.address);
  const CachedRegister* cached = m_link.cache().find(reading.address);
  const bool outside = cached != nullptr && cached->changedOutside;
  QString tip;
  if (outside) {
    tip = tr("changed outside this program (written %1)")
              .arg(QString::fromStdString(FormatPrefixedHex4(cached->writtenBefore)));
  } else if (changed) {
    tip = tr("Changed since the last Read All (was %1)").arg(hexText(before.value));
  }
  value->setToolTip(tip);
  const QBrush background = difference ? QBrush(kDifferentColour)
                            : outside  ? QBrush(kOutsideColour)
                            : changed  ? QBrush(kChangedColour)
                                       : QBrush();
  for (int column = 0; column < m_registers->columnCount(); ++column) {
    m_registers->item(row, column)->setBackground(background);
  }
  const RegisterReading* saved = m_compared ? m_compared->find(reading.address) : nullptr;
  m_registers->item(row, kSnapshotColumn)->setText(saved ? hexText(saved->value) : QString());
}

void RegisterMapPage::showValues() {
  m_filling = true;
  for (int row = 0; row < m_registers->rowCount(); ++row) showRow(row);
  m_registers->setColumnHidden(kSnapshotColumn, !m_compared);
  m_registers->setHorizontalHeaderItem(
      kSnapshotColumn, new QTableWidgetItem(m_compared ? tr("Snapshot %1").arg(m_comparedName) : tr("Snapshot")));
  m_writeDifferencesButton->setEnabled(!m_differences.empty());
  m_filling = false;
  showFields();
}

std::uint16_t RegisterMapPage::selectedAddress() const {
  const int row = m_registers->currentRow();
  if (row < 0) return m_current.registers.front().address;
  return m_current.registers[static_cast<std::size_t>(row)].address;
}

void RegisterMapPage::registerSelected() { showFields(); }

void RegisterMapPage::showFields() {
  const std::uint16_t address = selectedAddress();
  const std::vector<RegisterField> fields = RegisterFields(address);
  m_filling = true;
  // The rows are made again only for another register: a list whose choice is being written
  // must not be destroyed under its own signal.
  if (!m_fieldsAddress || *m_fieldsAddress != address) {
    m_fieldsAddress = address;
    m_fields->clearContents();
    m_fields->setRowCount(static_cast<int>(fields.size()));
    const std::optional<std::string_view> name = FindRegisterName(address);
    m_fieldsCaption->setText(tr("Fields of %1").arg(QString::fromStdString(std::string(name.value_or("")))));
    for (int row = 0; row < static_cast<int>(fields.size()); ++row) {
      const RegisterField& field = fields[static_cast<std::size_t>(row)];
      m_fields->setItem(row, kFieldColumn, fixedItem(QString::fromStdString(field.name)));
      m_fields->setItem(row, kBitsColumn, fixedItem(bitsText(field)));
      m_fields->setItem(row, kFieldValueColumn, new QTableWidgetItem);
      m_fields->setItem(row, kMeaningColumn, fixedItem(QString()));
      m_fields->setItem(row, kFieldSnapshotColumn, fixedItem(QString()));
      const std::span<const Choice> named = ChoicesOf(*field.field);
      if (named.empty()) continue;
      // A field with named values is chosen from them; a code without a name shows blank.
      auto* list = new QComboBox;
      list->setAccessibleName(tr("%1 choice").arg(QString::fromStdString(field.name)));
      for (const Choice& choice : named) list->addItem(QString::fromLatin1(choice.text), choice.code);
      m_fields->setCellWidget(row, kMeaningColumn, list);
      connect(list, &QComboBox::activated, this,
              [this, field, list](int index) { chooseFieldValue(field, list->itemData(index).toInt()); });
    }
  }

  const std::optional<std::uint16_t> value = shownValue(address);
  const RegisterReading* saved = m_compared ? m_compared->find(address) : nullptr;
  const RegisterDifference* difference = differenceOf(address);
  for (int row = 0; row < static_cast<int>(fields.size()); ++row) {
    const RegisterField& field = fields[static_cast<std::size_t>(row)];
    const std::optional<int> code = value ? codeIn(field, *value) : std::nullopt;
    m_fields->item(row, kFieldValueColumn)->setText(codeText(field, value));
    if (auto* list = qobject_cast<QComboBox*>(m_fields->cellWidget(row, kMeaningColumn))) {
      list->setCurrentIndex(code ? list->findData(*code) : -1);
    }
    m_fields->item(row, kFieldSnapshotColumn)->setText(saved ? codeText(field, saved->value) : QString());
    bool differs = false;
    for (const FieldDifference& changed : difference ? difference->fields : std::vector<FieldDifference>{}) {
      differs |= changed.lowBit == field.lowBit && changed.highBit == field.highBit;
    }
    for (int column = 0; column < m_fields->columnCount(); ++column) {
      if (QTableWidgetItem* item = m_fields->item(row, column)) {
        item->setBackground(differs ? QBrush(kDifferentColour) : QBrush());
      }
    }
  }
  m_fields->setColumnHidden(kFieldSnapshotColumn, !m_compared);
  m_fields->resizeColumnsToContents();
  m_filling = false;
}

void RegisterMapPage::writeAndReadBack(std::uint16_t address, std::uint16_t keepMask, std::uint16_t value) {
  std::string failures;
  {
    BusyCursor busy;
    UserAction action(m_link);
    WriteLog& log = m_link.writeLog();
    log.appendComment(kSeparator);
    log.appendComment(kWriteComment);
    if (keepMask == 0) {
      m_link.Write(address, value);
    } else {
      m_link.Modify(address, keepMask, value);
    }
    // The view shows what the chip holds, never what was meant to go there.
    if (RegisterReading* reading = const_cast<RegisterReading*>(m_current.find(address))) {
      reading->value = m_link.Read(address).value;
    }
    failures = action.failureSummary();
  }
  if (m_compared) m_differences = CompareSnapshots(m_current, *m_compared);
  showValues();
  if (!failures.empty()) tell(tr("Write Register: %1").arg(QString::fromStdString(failures)));
}

void RegisterMapPage::registerEdited(QTableWidgetItem* item) {
  if (m_filling || item->column() != kValueColumn) return;
  const auto& reading = m_current.registers[static_cast<std::size_t>(item->row())];
  const std::optional<std::uint16_t> value = ReadStrictHex16(item->text().trimmed().toStdString());
  if (!value) {
    tell(tr("The value of %1 must be a hexadecimal number from 0 to FFFF, such as 0x0123.")
             .arg(QString::fromLatin1(reading.name.data(), static_cast<qsizetype>(reading.name.size()))));
    showValues();
    return;
  }
  writeAndReadBack(reading.address, 0x0000, *value);
}

void RegisterMapPage::fieldEdited(QTableWidgetItem* item) {
  if (m_filling || item->column() != kFieldValueColumn) return;
  const std::vector<RegisterField> fields = RegisterFields(selectedAddress());
  const auto row = static_cast<std::size_t>(item->row());
  if (row >= fields.size()) return;
  const RegisterField& field = fields[row];
  const int largest = largestCode(field);
  const NumberReading<int> code = ReadDecimalInt(item->text().trimmed().toStdString());
  if (!code.value || *code.value < 0 || *code.value > largest) {
    tell(tr("The value of %1 must be a whole number from 0 to %2.")
             .arg(QString::fromStdString(field.name))
             .arg(largest));
    showFields();
    return;
  }
  chooseFieldValue(field, *code.value);
}

void RegisterMapPage::chooseFieldValue(const RegisterField& field, int code) {
  // A pair takes both its bits: 1 sets them, 0 clears them.
  const auto shifted = isPair(field) ? (code != 0 ? field.mask : 0u) : static_cast<unsigned>(code) << field.lowBit;
  const auto value = static_cast<std::uint16_t>(shifted & field.mask);
  // A field that is the whole register is written; any other is read, merged and written.
  const auto keepMask = static_cast<std::uint16_t>(~field.mask);
  writeAndReadBack(field.field->address, keepMask, value);
}

void RegisterMapPage::saveSnapshot() {
  if (!m_readAllDone) {
    tell(tr("Press Read All first: a snapshot saves what Read All found."));
    return;
  }
  const std::optional<QString> path = m_files.chooseSaveFile(this);
  if (!path) return;
  if (!WriteSnapshotFile(LocalPath(*path), m_readAll, LocalTimeText(), LinkDescription(m_link))) {
    tell(tr("The snapshot could not be written to %1.").arg(*path));
  }
}

void RegisterMapPage::compareWithSnapshot() {
  const std::optional<QString> path = m_files.chooseOpenFile(this);
  if (!path) return;
  std::string error;
  std::optional<ChipSnapshot> saved = ReadSnapshotFile(LocalPath(*path), error);
  if (!saved) {
    tell(tr("The snapshot could not be read: %1").arg(QString::fromStdString(error)));
    return;
  }
  // Against the chip as it is now, every register of it: a register that could not be read
  // would count as a difference, and Write Differences would write it blind. Without a whole
  // reading there is no comparison (the reason has been told).
  m_compared.reset();
  m_differences.clear();
  if (readEveryRegister(tr("Compare with Snapshot")) == Reading::Complete) {
    m_compared = std::move(saved);
    m_comparedName = QFileInfo(*path).fileName();
    compareWith(Reading::Complete);
  }
  showValues();
}

void RegisterMapPage::writeDifferences() {
  if (m_differences.empty()) return;
  std::string failures;
  {
    BusyCursor busy;
    UserAction action(m_link);
    WriteDifferences(m_link, m_differences, m_comparedName.toStdString());
    failures = action.failureSummary();
  }
  if (!failures.empty()) tell(tr("Write Differences: %1").arg(QString::fromStdString(failures)));
  compareWith(readEveryRegister(tr("Write Differences")));
  showValues();
}

}  // namespace tonvisor
