#include "panel/initialization_page.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "codec/field_choices.h"
#include "link/connect.h"
#include "link/typed_text.h"
#include "panel/cache_follower.h"
#include "panel/chip_page.h"
#include "panel/ipv4_address_edit.h"
#include "panel/pll_divisor.h"
#include "tools/pages/read_chip.h"
#include "tools/pages/script_progress.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {

namespace {

constexpr const char* kI2c = "I2C";
constexpr const char* kSpi = "SPI";
constexpr const char* kEthernet = "Ethernet";
constexpr const char* kConnectionTypes[] = {kI2c, kSpi, kEthernet};

// The lists' items and codes are the clock fields' named values.
constexpr int kPllSource = 3;
constexpr int kRate44k1 = 1;
constexpr int kSlaveRole = 0;
constexpr int kMasterRole = 1;

// Bus-B pins that tell the board which side drives the I2S clocks.
constexpr int kI2sRolePin0 = 0;
constexpr int kI2sRolePin1 = 1;

const QString kSpiNote =
    QStringLiteral("This software allows use of SPI only for direct register write and to run scripts");

// The row of a fixed list whose text is the item chosen (lists offer only their own items).
template <typename Row, std::size_t N>
const Row& chosen(const Row (&rows)[N], const QComboBox* list) {
  const std::string text = list->currentText().toStdString();
  for (const Row& row : rows) {
    if (EqualsIgnoringCase(row.text, text)) return row;
  }
  return rows[0];
}

template <typename Row, std::size_t N>
void fill(QComboBox* list, const Row (&rows)[N]) {
  for (const Row& row : rows) list->addItem(QString::fromLatin1(row.text));
}

QLabel* stepLabel(const QString& text) {
  auto* label = new QLabel(text);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

InitializationPage::InitializationPage(const PanelContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("InitializationPage"));
  m_guard = new ConflictGuard(m_context.runner, this);

  QGroupBox* interfaceGroup = createInterfaceGroup();
  QGroupBox* clocksGroup = createClocksGroup();
  alignCaptions({interfaceGroup, clocksGroup});

  m_connect = new QPushButton(tr("Connect"));
  m_chipInitialize = new QPushButton(tr("Chip Initialize"));
  m_configClock = new QPushButton(tr("Config Clock"));
  for (QPushButton* button : {m_connect, m_chipInitialize, m_configClock}) {
    button->setAccessibleName(button->text());
    button->setAutoDefault(false);
    button->setMinimumWidth(button->sizeHint().width() + 24);
  }

  auto* grid = new QGridLayout(this);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(12);
  grid->addWidget(stepLabel(tr("1.")), 0, 0, Qt::AlignTop);
  grid->addWidget(interfaceGroup, 0, 1);
  grid->addWidget(m_connect, 0, 2, Qt::AlignVCenter | Qt::AlignLeft);
  m_usbDevice = new QLabel;
  // Read out as what it shows, the bridge's name; tools find it by its object name.
  m_usbDevice->setObjectName(QStringLiteral("USB device"));
  m_usbDevice->setAccessibleDescription(tr("USB device"));
  m_usbDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(m_usbDevice, 0, 3, Qt::AlignVCenter | Qt::AlignLeft);
  grid->addWidget(stepLabel(tr("2.")), 1, 0, Qt::AlignVCenter);
  grid->addWidget(m_chipInitialize, 1, 1, Qt::AlignLeft);
  grid->addWidget(stepLabel(tr("3.")), 2, 0, Qt::AlignTop);
  grid->addWidget(clocksGroup, 2, 1);
  grid->addWidget(m_configClock, 3, 1, Qt::AlignLeft);
  grid->setColumnStretch(1, 2);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(4, 1);

  connect(m_connectionType, &QComboBox::activated, this, &InitializationPage::connectionTypeChosen);
  connect(m_connect, &QPushButton::clicked, this, &InitializationPage::connectLink);
  connect(m_chipInitialize, &QPushButton::clicked, this, &InitializationPage::initializeChip);
  connect(m_configClock, &QPushButton::clicked, this, &InitializationPage::configureClocks);
  // Return in the link's boxes connects, as the button beside them does. Return in Ext MCLK
  // does nothing: programming the clocks mutes the DAC and writes the chip, which only the
  // Config Clock button should do.
  for (QLineEdit* box : {m_i2cAddress, static_cast<QLineEdit*>(m_ethernetAddress), m_port}) {
    connect(box, &QLineEdit::returnPressed, this, [this, box] {
      if (m_connect->isEnabled() && !box->isReadOnly()) connectLink();
    });
  }
  for (QPushButton* button : {m_connect, m_chipInitialize, m_configClock}) m_guard->guard(button);
  connectionTypeChosen();

  // The clock lists show what the chip holds, as far as it holds them (the Ext MCLK rate is
  // the board's, not the chip's).
  auto* follower = new CacheFollower(m_context.runner.cacheView(), this);
  const std::pair<const CodecField*, QComboBox*> lists[] = {{&field::ConfigureSysMclk, m_sysMclk},
                                                            {&field::ConfigureSampleRate, m_sampleRate},
                                                            {&field::ConfigureI2sMasterSlave, m_i2sClockRole}};
  for (const auto& [shown, list] : lists) {
    follower->follow(FieldPlace::Of(*shown), [shown, list](int code) {
      if (const char* text = ChoiceText(*shown, code)) list->setCurrentText(QString::fromLatin1(text));
    }, [list](bool unknown) { CacheFollower::markUnknown(list, unknown); });
  }
}

// The two groups' fields start at the same column, so the page reads as one form.
void InitializationPage::alignCaptions(std::initializer_list<QGroupBox*> groups) {
  QList<QLabel*> captions;
  for (QGroupBox* group : groups) {
    auto* form = qobject_cast<QFormLayout*>(group->layout());
    for (int row = 0; form && row < form->rowCount(); ++row) {
      QLayoutItem* item = form->itemAt(row, QFormLayout::LabelRole);
      if (auto* caption = item ? qobject_cast<QLabel*>(item->widget()) : nullptr) captions << caption;
    }
  }
  int width = 0;
  for (QLabel* caption : captions) width = std::max(width, caption->sizeHint().width());
  for (QLabel* caption : captions) caption->setMinimumWidth(width);
}

QGroupBox* InitializationPage::createInterfaceGroup() {
  m_connectionType = new QComboBox;
  for (const char* type : kConnectionTypes) m_connectionType->addItem(QString::fromLatin1(type));
  m_i2cAddress = new QLineEdit(QStringLiteral("A"));
  m_ethernetAddress = new Ipv4AddressEdit;
  m_port = new QLineEdit(QString::number(m_context.runner.linkState().settings.ethernetPort));
  m_spiNote = new QLabel(kSpiNote);
  m_spiNote->setWordWrap(true);

  m_interfaceForm = new QFormLayout;
  m_interfaceForm->addRow(tr("Connection Type"), m_connectionType);
  m_interfaceForm->addRow(tr("I2C Address"), m_i2cAddress);
  m_interfaceForm->addRow(tr("Ethernet Address"), m_ethernetAddress);
  m_interfaceForm->addRow(tr("Port"), m_port);
  m_interfaceForm->addRow(m_spiNote);
  m_connectionType->setAccessibleName(tr("Connection Type"));
  m_i2cAddress->setAccessibleName(tr("I2C Address"));
  m_ethernetAddress->setAccessibleName(tr("Ethernet Address"));
  m_port->setAccessibleName(tr("Port"));
  // A screen reader reads the note itself, as a sighted user does.
  m_spiNote->setObjectName(QStringLiteral("SpiNote"));
  m_spiNote->setAccessibleName(kSpiNote);

  auto* group = new QGroupBox(tr("Interface"));
  group->setLayout(m_interfaceForm);
  return group;
}

QGroupBox* InitializationPage::createClocksGroup() {
  m_sysMclk = new QComboBox;
  fill(m_sysMclk, choices::kSysMclk);
  m_sampleRate = new QComboBox;
  fill(m_sampleRate, choices::kSampleRate);
  m_sampleRate->setCurrentText(QStringLiteral("48 kHz"));
  m_extMclk = new QLineEdit(QStringLiteral("12.288"));
  m_i2sClockRole = new QComboBox;
  fill(m_i2sClockRole, choices::kI2sClockRole);
  m_i2sClockRole->setCurrentIndex(kMasterRole);

  auto* form = new QFormLayout;
  form->addRow(tr("SYS_MCLK"), m_sysMclk);
  form->addRow(tr("System Sample Rate"), m_sampleRate);
  form->addRow(tr("Ext MCLK Rate (MHz)"), m_extMclk);
  form->addRow(tr("I2S Clock - Master/Slave"), m_i2sClockRole);
  m_sysMclk->setAccessibleName(tr("SYS_MCLK"));
  m_sampleRate->setAccessibleName(tr("System Sample Rate"));
  m_extMclk->setAccessibleName(tr("Ext MCLK Rate (MHz)"));
  m_i2sClockRole->setAccessibleName(tr("I2S Clock - Master/Slave"));

  auto* group = new QGroupBox(tr("Clocks"));
  group->setLayout(form);
  return group;
}

void InitializationPage::tell(const QString& text) {
  m_context.runner.messenger().show(text.toStdString(), kApplicationTitle, OwnerOf(this));
  SelectFocusedBoxText(this);
}

void InitializationPage::connectionTypeChosen() {
  const std::string type = m_connectionType->currentText().toStdString();
  // Queued like any other link work: a choice made while a job runs applies after it. Another
  // link may reach another chip: what was known of the last one is forgotten.
  m_context.runner.submit(LinkRunner::quick(tr("Connection Type"),
                                            [type](LinkSide& side, JobReport&) {
                                              side.link.settings().connectionType = type;
                                              side.link.followLinkSettings();
                                            }),
                          this);
  m_guard->setEnabled(m_connect, true);

  const bool i2c = EqualsIgnoringCase(type, kI2c);
  const bool spi = EqualsIgnoringCase(type, kSpi);
  const bool ethernet = EqualsIgnoringCase(type, kEthernet);
  m_i2cAddress->setReadOnly(!i2c);
  // A read-only box keeps its text but takes the window's background, so it does not look
  // as if it could be typed into.
  QPalette palette;
  if (!i2c) palette.setColor(QPalette::Base, m_i2cAddress->palette().color(QPalette::Window));
  m_i2cAddress->setPalette(palette);
  m_interfaceForm->setRowVisible(m_ethernetAddress, ethernet);
  m_interfaceForm->setRowVisible(m_port, ethernet);
  m_interfaceForm->setRowVisible(m_spiNote, spi);
}

void InitializationPage::connectLink() {
  // Connect empties the log: entries not yet saved are asked about first.
  if (m_mayEmptyLog && !m_mayEmptyLog()) return;
  ConnectRequest request;
  request.i2cAddress = ReadLenientHex16(m_i2cAddress->text().toStdString());
  request.ethernetAddress = m_ethernetAddress->dottedText().toStdString();
  request.port = ReadPort(m_port->text().toStdString());
  LinkRunner::Job job;
  job.title = tr("Connect");
  job.exclusive = true;
  job.work = [request, owner = OwnerOf(this)](LinkSide& side, JobReport& report) {
    report.connected = Connect(side.link, request, owner);
    if (*report.connected) side.link.followLinkSettings();
  };
  m_context.runner.submit(std::move(job), this, [this](const JobReport& report) {
    const bool connected = report.connected.value_or(false);
    if (connected) m_guard->setEnabled(m_connect, false);
    if (!connected) SelectFocusedBoxText(this);  // Return in a refused address: retype it at once
    // Which bridge the I2C or SPI channel went to; blank when none is open.
    m_usbDevice->setText(QString::fromStdString(m_context.runner.linkState().bridgeName));
    // The pages show what the chip holds from the start. SPI cannot read: its pages keep their
    // positions.
    if (connected && !EqualsIgnoringCase(m_context.runner.linkState().settings.connectionType, kSpi)) {
      SubmitReadChip(m_context.runner, this, tr("Read Chip"));
    }
  });
}

void InitializationPage::initializeChip() {
  // Once per run, whether or not the script was there.
  m_guard->setEnabled(m_chipInitialize, false);
  // The script's messages have no owner window, as when the tool first brings a board up.
  RunScriptWithProgress(m_context.runner, m_context.initScriptPath, Owner::none(), this);
}

void InitializationPage::configureClocks() {
  const Choice& source = chosen(choices::kSysMclk, m_sysMclk);
  const Choice& rate = chosen(choices::kSampleRate, m_sampleRate);
  // "Slave" gives 0; anything else (the item "Master") 1.
  const bool slave = chosen(choices::kI2sClockRole, m_i2sClockRole).code == kSlaveRole;

  // The PLL divisor is worked out before anything is written: a clock that is no number
  // must not leave the DAC muted halfway through.
  std::optional<PllDivisor> pll;
  if (source.code == kPllSource) {
    const bool rateIs44k1 = rate.code == kRate44k1;
    const std::optional<float> clock = ReadLeadingFloat(m_extMclk->text().toStdString());
    if (!clock || !IsPositiveClock(*clock)) {
      tell(tr("The Ext MCLK Rate (MHz) must be a positive number, such as 12.288."));
      return;
    }
    pll = ComputePllDivisor(*clock, rateIs44k1);
    if (!pll) {
      // The divisor's integer part has five bits: a clock outside this range would program
      // a cut-off divisor.
      const PllClockRange range = PllAcceptedClockRange(rateIs44k1);
      tell(tr("With the PLL and a sample rate of %1, the Ext MCLK Rate (MHz) must be from %2 to %3.")
               .arg(QString::fromLatin1(rate.text), QString::number(range.lowestMhz, 'f', 4),
                    QString::number(range.highestMhz, 'f', 4)));
      return;
    }
  }

  // The AVC page words its rates at this sample rate from now on, once the chip has taken it.
  const double rateHz = choices::kSampleRateHz[rate.code];
  auto rateTaken = std::make_shared<bool>(false);
  LinkRunner::Job job;
  job.title = tr("Config Clock");
  job.exclusive = true;
  job.work = [sourceCode = source.code, rateCode = rate.code, slave, pll, keepDacMuted = m_context.state.dacMuted,
              rateTaken](LinkSide& side, JobReport&) {
    *rateTaken = programClocks(side, sourceCode, rateCode, slave, pll, keepDacMuted);
  };
  m_context.runner.submit(std::move(job), this, [this, rateHz, rateTaken](const JobReport& report) {
    if (*rateTaken) m_context.state.systemSampleRate = rateHz;
    if (!report.failures.empty()) tell(tr("Config Clock: %1").arg(QString::fromStdString(report.failures)));
  });
}

bool InitializationPage::programClocks(LinkSide& side, int sourceCode, int rateCode, bool slave,
                                       const std::optional<PllDivisor>& pll, bool keepDacMuted) {
  const int role = slave ? 0 : 1;
  CodecOperations& codec = side.codec;
  codec.WriteDacMute(1);
  if (pll) {
    codec.InitializePllPower(1);
    codec.ConfigureSysMclkDiv2(pll->halved ? 1 : 0);
    codec.ConfigurePllDivisor(pll->integerPart, pll->fractionalPart);
  }
  codec.ConfigureSysMclk(sourceCode);
  const bool rateTaken = codec.ConfigureSampleRate(rateCode).ok();
  if (EqualsIgnoringCase(side.link.settings().connectionType, kI2c)) {
    BusBPins& pins = side.link.busB();
    pins.BusBWritePin(kI2sRolePin0, slave ? 1 : 0);
    pins.BusBWritePin(kI2sRolePin1, slave ? 0 : 1);
  }
  codec.ConfigureI2sMasterSlave(role);
  codec.WriteDacMute(0);
  // The Outputs page's "Mute" is checked: the DAC stays muted, as its box says.
  if (keepDacMuted) codec.WriteDacMute(1);
  return rateTaken;
}

}  // namespace tonvisor
