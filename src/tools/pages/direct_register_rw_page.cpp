#include "tools/pages/direct_register_rw_page.h"

#include <array>
#include <memory>
#include <optional>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "link/typed_text.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {

namespace {

constexpr const char* kSeparator = "   \n";
constexpr const char* kWriteComment = "# Write Register \n";
constexpr const char* kWriteFailed = " Error Write Registers";
constexpr const char* kReadFailed = " Error Read Registers";

// Grid columns of one side: row-count spin, "0x", address, "0x", value.
enum Column { kSpinColumn, kAddressPrefixColumn, kAddressColumn, kValuePrefixColumn, kValueColumn };

// A box without a hexadecimal digit stands for 0, as it always has.
std::uint16_t registerIn(const QLineEdit* box) { return ReadLenientHex16(box->text().toStdString()).value_or(0); }

QString shown(std::optional<std::uint16_t> value) {
  return value ? QString::fromStdString(FormatHex4(*value)) : QString();
}

}  // namespace

DirectRegisterRwPage::DirectRegisterRwPage(LinkRunner& runner, QWidget* parent) : QWidget(parent), m_runner(runner) {
  setObjectName(QStringLiteral("DirectRegisterRwPage"));

  QGroupBox* writeSide = createSide(tr("Register Write"), tr("Write"), m_writeRows, m_writeRowSpin, true);
  QGroupBox* readSide = createSide(tr("Register Read"), tr("Read"), m_readRows, m_readRowSpin, false);

  m_writeButton = new QPushButton(tr("Write"));
  m_writeSpiButton = new QPushButton(tr("WriteSPI"));
  m_clearWriteButton = new QPushButton(tr("Clear"));
  m_readButton = new QPushButton(tr("Read"));
  m_clearReadButton = new QPushButton(tr("Clear"));
  for (QPushButton* button : {m_writeButton, m_writeSpiButton, m_clearWriteButton, m_readButton, m_clearReadButton}) {
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
  }

  auto* writeButtons = new QHBoxLayout;
  writeButtons->addWidget(m_writeButton);
  writeButtons->addWidget(m_writeSpiButton);
  writeButtons->addWidget(m_clearWriteButton);
  writeButtons->addStretch();
  static_cast<QVBoxLayout*>(writeSide->layout())->addLayout(writeButtons);

  auto* readButtons = new QHBoxLayout;
  readButtons->addWidget(m_readButton);
  readButtons->addWidget(m_clearReadButton);
  readButtons->addStretch();
  static_cast<QVBoxLayout*>(readSide->layout())->addLayout(readButtons);

  auto* sides = new QHBoxLayout;
  sides->addWidget(writeSide);
  sides->addWidget(readSide);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(sides);
  layout->addStretch();

  // Both spins start at 1 with the counts still 0 (row 1 only); from the first move on the
  // count is the spin's position and the rows follow it.
  connect(m_writeRowSpin, &QSpinBox::valueChanged, this, &DirectRegisterRwPage::setWriteRowCount);
  connect(m_readRowSpin, &QSpinBox::valueChanged, this, &DirectRegisterRwPage::setReadRowCount);
  connect(m_writeButton, &QPushButton::clicked, this, &DirectRegisterRwPage::writeRegisters);
  connect(m_writeSpiButton, &QPushButton::clicked, this, &DirectRegisterRwPage::writeSpiRegister);
  connect(m_clearWriteButton, &QPushButton::clicked, this, &DirectRegisterRwPage::clearWriteRows);
  connect(m_readButton, &QPushButton::clicked, this, &DirectRegisterRwPage::readRegisters);
  connect(m_clearReadButton, &QPushButton::clicked, this, &DirectRegisterRwPage::clearReadRows);
  // Return in a read address box reads, as Read does. Return in a write row does nothing:
  // only the Write button writes to the chip.
  for (Row& row : m_readRows) {
    connect(row.address, &QLineEdit::returnPressed, this, &DirectRegisterRwPage::readRegisters);
  }
}

QGroupBox* DirectRegisterRwPage::createSide(const QString& title, const QString& rowNamePrefix, Rows& rows,
                                            QSpinBox*& rowCount, bool valuesEditable) {
  auto* side = new QGroupBox(title);
  side->setObjectName(title);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);

  auto* addressCaption = new QLabel(tr("Register Addr"));
  auto* valueCaption = new QLabel(tr("Register Value"));
  grid->addWidget(addressCaption, 0, kAddressPrefixColumn, 1, 2);
  grid->addWidget(valueCaption, 0, kValuePrefixColumn, 1, 2);

  rowCount = new QSpinBox;
  rowCount->setRange(1, kRows);
  rowCount->setValue(1);
  rowCount->setAccessibleName(tr("%1 Rows").arg(title));
  rowCount->setToolTip(tr("Number of rows in use"));
  grid->addWidget(rowCount, 1, kSpinColumn);

  // Room for "0x0000" and a little more; addresses and values are four hexadecimal digits.
  const int boxWidth = fontMetrics().horizontalAdvance(QStringLiteral("0x00000")) + 16;
  for (int r = 0; r < kRows; ++r) {
    Row& row = rows[static_cast<std::size_t>(r)];
    row.address = new QLineEdit;
    row.value = new QLineEdit;
    row.address->setAccessibleName(tr("%1 Register Addr %2").arg(rowNamePrefix).arg(r + 1));
    row.value->setAccessibleName(tr("%1 Register Value %2").arg(rowNamePrefix).arg(r + 1));
    row.value->setReadOnly(!valuesEditable);
    for (QLineEdit* box : {row.address, row.value}) {
      box->setMinimumWidth(boxWidth);
      box->setMaximumWidth(boxWidth * 2);
    }
    const int gridRow = r + 1;
    if (r == 0) {
      auto* addressPrefix = new QLabel(QStringLiteral("0x"));
      auto* valuePrefix = new QLabel(QStringLiteral("0x"));
      addressPrefix->setBuddy(row.address);
      valuePrefix->setBuddy(row.value);
      grid->addWidget(addressPrefix, gridRow, kAddressPrefixColumn, Qt::AlignRight);
      grid->addWidget(valuePrefix, gridRow, kValuePrefixColumn, Qt::AlignRight);
    }
    grid->addWidget(row.address, gridRow, kAddressColumn);
    grid->addWidget(row.value, gridRow, kValueColumn);
  }
  grid->setColumnStretch(kAddressColumn, 1);
  grid->setColumnStretch(kValueColumn, 1);
  enableRows(rows, 1);

  auto* layout = new QVBoxLayout(side);
  layout->addLayout(grid);
  layout->addStretch();
  return side;
}

int DirectRegisterRwPage::rowsInUse(int count) { return count >= 2 && count <= kRows ? count : 1; }

void DirectRegisterRwPage::enableRows(Rows& rows, int rowsInUse) {
  for (int r = 1; r < kRows; ++r) {
    const bool enabled = r < rowsInUse;
    rows[static_cast<std::size_t>(r)].address->setEnabled(enabled);
    rows[static_cast<std::size_t>(r)].value->setEnabled(enabled);
  }
}

void DirectRegisterRwPage::setWriteRowCount(int rows) {
  enableRows(m_writeRows, rowsInUse(rows));
  m_writeRowCount = rows;
}

void DirectRegisterRwPage::setReadRowCount(int rows) {
  enableRows(m_readRows, rowsInUse(rows));
  m_readRowCount = rows;
}

void DirectRegisterRwPage::tell(const char* text) { m_runner.messenger().show(text, kApplicationTitle, OwnerOf(this)); }

void DirectRegisterRwPage::writeRegisters() {
  std::array<std::uint16_t, kRows> addresses{};
  std::array<std::uint16_t, kRows> values{};
  for (std::size_t r = 0; r < kRows; ++r) {
    addresses[r] = registerIn(m_writeRows[r].address);
    values[r] = registerIn(m_writeRows[r].value);
  }

  // The page's message follows the statuses; failures with status 0 (Ethernet) the link has
  // already told.
  const auto rows = static_cast<std::size_t>(rowsInUse(m_writeRowCount));
  const auto work = [addresses, values, rows](LinkSide& side, JobReport& report) {
    WriteLog& log = side.link.writeLog();
    log.appendComment(kSeparator);
    log.appendComment(kWriteComment);
    // Every row is attempted even after a failure; one message speaks for the batch, whichever
    // row failed. Over Ethernet the link has told the user itself and the status stays 0.
    for (std::size_t r = 0; r < rows; ++r) {
      if (side.link.WriteRegister(addresses[r], values[r]) != status::kOk) report.status = status::kI2cWriteFailed;
    }
  };
  m_runner.submit(LinkRunner::quick(tr("Write"), work), this, [this](const JobReport& report) {
    if (report.status != status::kOk) tell(kWriteFailed);
  });
}

void DirectRegisterRwPage::writeSpiRegister() {
  const std::uint16_t address = registerIn(m_writeRows[0].address);
  const std::uint16_t value = registerIn(m_writeRows[0].value);
  // One action: the chip select's bus-B pins report a failure once, not at each pin access.
  // The page's own message follows the status, as it always has.
  const auto work = [address, value](LinkSide& side, JobReport& report) {
    report.status = side.link.WriteOverSpi(address, value).status;
  };
  m_runner.submit(LinkRunner::quick(tr("WriteSPI"), work), this, [this](const JobReport& report) {
    if (report.status != status::kOk) tell(kWriteFailed);
  });
}

void DirectRegisterRwPage::clearWriteRows() {
  m_writeRows[0].address->setText(QStringLiteral(" "));
  m_writeRows[0].value->setText(QStringLiteral(" "));
  for (std::size_t r = 1; r < kRows; ++r) {
    m_writeRows[r].address->clear();
    m_writeRows[r].value->clear();
  }
}

void DirectRegisterRwPage::readRegisters() {
  std::array<std::uint16_t, kRows> addresses{};
  for (std::size_t r = 0; r < kRows; ++r) addresses[r] = registerIn(m_readRows[r].address);

  // A row whose read brought no value (SPI cannot read, a failed read) is left empty rather
  // than showing a number the chip never sent.
  auto values = std::make_shared<std::array<std::optional<std::uint16_t>, kRows>>();
  const auto rows = static_cast<std::size_t>(rowsInUse(m_readRowCount));
  const auto work = [addresses, values, rows](LinkSide& side, JobReport& report) {
    for (std::size_t r = 0; r < rows; ++r) {
      const AccessResult read = side.link.Read(addresses[r]);
      (*values)[r] = read.value;
      if (read.status != status::kOk) report.status = read.status;
    }
  };
  m_runner.submit(LinkRunner::quick(tr("Read"), work), this, [this, values, rows](const JobReport& report) {
    for (std::size_t r = 1; r < rows; ++r) m_readRows[r].value->setText(shown((*values)[r]));
    if (report.status != status::kOk) tell(kReadFailed);
    m_readRows[0].value->setText(shown((*values)[0]));
  });
}

void DirectRegisterRwPage::clearReadRows() {
  for (Row& row : m_readRows) {
    row.address->clear();
    row.value->clear();
  }
}

}  // namespace tonvisor
