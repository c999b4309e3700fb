#include "panel/routing_page.h"

#include "codec/codec_operations.h"

#include <algorithm>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tonvisor {

namespace {

// Sources of CHIP_SSS_CTRL_REG's selectors.
constexpr int kAdcSource = 0;
constexpr int kI2sInputSource = 1;
constexpr int kDapSource = 3;

constexpr int kAdcPath = 0;
constexpr int kPassThroughPath = 1;

constexpr Choice kInputs[] = {{"LINEIN", static_cast<int>(RouteInput::LineIn)},
                              {"MIC", static_cast<int>(RouteInput::Mic)},
                              {"I2S_DIN", static_cast<int>(RouteInput::I2sDin)}};
constexpr Choice kLineInPaths[] = {{"ADC", kAdcPath}, {"Pass through", kPassThroughPath}};
constexpr Choice kMicPaths[] = {{"ADC", kAdcPath}};
constexpr Choice kOutputs[] = {{"LINEOUT", static_cast<int>(RouteOutput::LineOut)},
                               {"HP", static_cast<int>(RouteOutput::Hp)},
                               {"I2S_DOUT", static_cast<int>(RouteOutput::I2sDout)}};

constexpr const char* kProgramRoute = "Program Route";
constexpr const char* kEditRoute = "Edit Route";

int CodeOf(const QComboBox* list) { return list->currentData().toInt(); }

void SelectCode(QComboBox* list, int code) { list->setCurrentIndex(list->findData(code)); }

std::string TextOf(const QComboBox* list) { return list->currentText().toStdString(); }

// The small arrow between neighbouring columns of the route selector, level with the lists: a
// character of the page's font, somewhat larger (the style's arrow image costs a millisecond of
// start-up to load).
QLabel* Arrow(const QWidget* beside) {
  auto* arrow = new QLabel(QStringLiteral("\u2192"));
  QFont font = arrow->font();
  font.setPointSizeF(font.pointSizeF() * 1.4);
  arrow->setFont(font);
  arrow->setAlignment(Qt::AlignCenter);
  arrow->setMinimumHeight(beside->sizeHint().height());
  return arrow;
}

}  // namespace

RoutingPage::RoutingPage(const PanelContext& context, QWidget* parent) : ChipPage(context, "RoutingPage", parent) {}

void RoutingPage::build() {
  m_input = list(kInputs);
  QLabel* inputCaption = caption("Select Input", m_input);
  m_lineInPath = list(kLineInPaths);
  m_micPath = list(kMicPaths);
  m_pathCaption = caption("Select Analog Input Path", m_lineInPath);
  m_lineInPath->setAccessibleName(tr("LINEIN Analog Input Path"));
  m_micPath->setAccessibleName(tr("MIC Analog Input Path"));
  // Both path selectors share one place; when neither shows, the place stays.
  for (QComboBox* path : {m_lineInPath, m_micPath}) {
    QSizePolicy policy = path->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    path->setSizePolicy(policy);
  }
  m_micPath->hide();
  m_micPath->setEnabled(false);

  m_dap = new QCheckBox(QString::fromLatin1(kDapPart.data(), static_cast<qsizetype>(kDapPart.size())));
  m_dap->setAccessibleName(m_dap->text());

  m_outputs = new QListWidget;
  m_outputs->setSelectionMode(QAbstractItemView::MultiSelection);  // each click toggles an output
  for (const Choice& output : kOutputs) {
    auto* item = new QListWidgetItem(tr(output.text), m_outputs);
    item->setData(Qt::UserRole, output.code);
  }
  m_outputs->item(static_cast<int>(RouteOutput::LineOut))->setSelected(true);
  m_outputs->item(static_cast<int>(RouteOutput::I2sDout))->setSelected(true);
  // Exactly as tall as its three outputs.
  m_outputs->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_outputs->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_outputs->setFixedSize(
      m_outputs->sizeHintForColumn(0) + 2 * m_outputs->frameWidth() + fontMetrics().horizontalAdvance(QStringLiteral("MM")),
      m_outputs->sizeHintForRow(0) * m_outputs->count() + 2 * m_outputs->frameWidth());
  QLabel* outputsCaption = caption("Select Outputs", m_outputs);

  m_program = button(kProgramRoute);
  m_cancel = button("Cancel Edit");
  m_cancel->hide();
  // Wide enough for both of its texts, so that it does not move when editing starts.
  m_program->setMinimumWidth(
      std::max(m_program->sizeHint().width(), QPushButton(tr(kEditRoute)).sizeHint().width()));

  QGroupBox* selector = group("ROUTE SELECTOR");
  auto* columns = new QGridLayout;
  columns->addWidget(inputCaption, 0, 0);
  columns->addWidget(m_input, 1, 0, Qt::AlignTop);
  columns->addWidget(Arrow(m_input), 1, 1, Qt::AlignTop);
  columns->addWidget(m_pathCaption, 0, 2);
  columns->addWidget(m_lineInPath, 1, 2, Qt::AlignTop);
  columns->addWidget(m_micPath, 1, 2, Qt::AlignTop);
  columns->addWidget(Arrow(m_input), 1, 3, Qt::AlignTop);
  columns->addWidget(m_dap, 1, 4, Qt::AlignTop);
  columns->addWidget(Arrow(m_input), 1, 5, Qt::AlignTop);
  columns->addWidget(outputsCaption, 0, 6);
  columns->addWidget(m_outputs, 1, 6);
  auto* selectorButtons = new QHBoxLayout;
  selectorButtons->addStretch();
  selectorButtons->addWidget(m_cancel);
  selectorButtons->addWidget(m_program);
  auto* selectorLayout = new QVBoxLayout(selector);
  auto* columnsRow = new QHBoxLayout;
  columnsRow->addLayout(columns);
  columnsRow->addStretch();
  selectorLayout->addLayout(columnsRow);
  selectorLayout->addLayout(selectorButtons);

  m_routes = new QListWidget;
  m_routes->setSelectionMode(QAbstractItemView::SingleSelection);
  m_routes->setAccessibleName(tr("Programmed Routes"));
  m_edit = button(kEditRoute);
  QGroupBox* programmed = group("Programmed Routes");
  auto* programmedLayout = new QVBoxLayout(programmed);
  programmedLayout->addWidget(m_routes);
  programmedLayout->addWidget(m_edit, 0, Qt::AlignLeft);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(selector);
  layout->addWidget(programmed, 1);

  connect(m_input, &QComboBox::activated, this, &RoutingPage::inputChosen);
  connect(m_lineInPath, &QComboBox::activated, this, &RoutingPage::lineInPathChosen);
  connect(m_program, &QPushButton::clicked, this, &RoutingPage::programRoute);
  connect(m_edit, &QPushButton::clicked, this, &RoutingPage::editRoute);
  connect(m_cancel, &QPushButton::clicked, this, &RoutingPage::cancelEdit);
}

RouteInput RoutingPage::input() const { return static_cast<RouteInput>(CodeOf(m_input)); }

bool RoutingPage::passThrough() const { return CodeOf(m_lineInPath) == kPassThroughPath; }

int RoutingPage::selectedRoute() const {
  // A single-selection list can still lose its selection (Ctrl+click).
  const QList<QListWidgetItem*> selected = m_routes->selectedItems();
  return selected.isEmpty() ? -1 : m_routes->row(selected.first());
}

void RoutingPage::showPath(QComboBox* shown, QComboBox* hidden) {
  shown->show();
  shown->setEnabled(true);
  hidden->hide();
  m_pathCaption->setBuddy(shown);
}

void RoutingPage::inputChosen() {
  switch (input()) {
    case RouteInput::LineIn:
      showPath(m_lineInPath, m_micPath);
      m_micPath->setEnabled(false);
      break;
    case RouteInput::Mic:
      showPath(m_micPath, m_lineInPath);
      m_lineInPath->setEnabled(false);
      break;
    case RouteInput::I2sDin:
      // No path: both selectors greyed where they are. The processor box is left alone.
      m_lineInPath->setEnabled(false);
      m_micPath->setEnabled(false);
      break;
  }
  m_pathCaption->setEnabled(input() != RouteInput::I2sDin);
  m_useLineInPath = input() == RouteInput::LineIn;
  m_useMicPath = input() == RouteInput::Mic;
}

void RoutingPage::lineInPathChosen() {
  // The line-in passed straight through never reaches the processor; the box keeps its check
  // mark, which Program Route reads all the same.
  m_dap->setEnabled(!(passThrough() && input() == RouteInput::LineIn));
}

void RoutingPage::programRoute() {
  // The route as the page shows it, read before the link work that programs it.
  const RouteInput routeInput = input();
  const bool lineInPassedThrough = routeInput == RouteInput::LineIn && passThrough();
  const bool dap = m_dap->isChecked();
  std::vector<std::string> parts{TextOf(m_input)};
  if (m_useMicPath) {
    parts.push_back(TextOf(m_micPath));
  } else if (m_useLineInPath) {
    parts.push_back(TextOf(m_lineInPath));
  }
  if (dap) parts.emplace_back(kDapPart);
  std::vector<std::string> outputs;
  std::vector<RouteOutput> routed;
  for (int row = 0; row < m_outputs->count(); ++row) {
    const QListWidgetItem* output = m_outputs->item(row);
    if (!output->isSelected()) continue;
    outputs.push_back(output->text().toStdString());
    routed.push_back(static_cast<RouteOutput>(output->data(Qt::UserRole).toInt()));
  }

  const auto work = [routeInput, lineInPassedThrough, dap, routed, owner = owner()](LinkSide& side, JobReport&) {
    side.link.writeLog().appendComment("   \n");
    side.link.writeLog().appendComment("# Configure Routing Route\n");
    CodecOperations& codec = side.codec;
    int source = kAdcSource;
    if (routeInput == RouteInput::I2sDin) {
      source = kI2sInputSource;
    } else {
      codec.ConfigureAdcInput(routeInput == RouteInput::LineIn ? 1 : 0);
    }
    if (dap) {
      codec.ConfigureDapSelect(source);
      source = kDapSource;
    }
    for (const RouteOutput output : routed) {
      switch (output) {
        case RouteOutput::LineOut:
          if (codec.ConfigureDacOut(source).status != status::kOk) side.tell(" Write DAC OUT Failed", owner);
          break;
        case RouteOutput::Hp:
          // Passed through, the line-in goes straight to the headphones and the DAC's source
          // stays as it is; a later I2S_DOUT still gets the route's own source, as its text says.
          if (lineInPassedThrough) {
            codec.SelectHpInput(1);
          } else {
            codec.SelectHpInput(0);
            if (codec.ConfigureDacOut(source).status != status::kOk) side.tell(" Write DAC OUT Failed", owner);
          }
          break;
        case RouteOutput::I2sDout:
          if (codec.ConfigureI2sDout(source).status != status::kOk) side.tell(" Write I2S DOUT Failed", owner);
          break;
      }
    }
  };
  runner().submit(LinkRunner::quick(tr(kProgramRoute), work), this, [this, parts, outputs](const JobReport&) {
    // What went out stays written; only the listing needs an output.
    if (outputs.empty()) {
      tell("Invalid Route");
      return;
    }
    int index = m_routes->count();
    if (m_editing) {
      // The route selected now is replaced. With none selected there is nothing to replace:
      // the route is added, as in adding mode.
      const int selected = selectedRoute();
      if (selected >= 0) {
        delete m_routes->takeItem(selected);
        index = selected;
      }
      leaveEditing();
    }
    m_routes->insertItem(index, QString::fromStdString(RouteText(parts, outputs)));
    m_routes->setCurrentRow(index);
  });
}

void RoutingPage::setProgramText(const QString& text) {
  m_program->setText(text);
  m_program->setAccessibleName(text);
}

void RoutingPage::leaveEditing() {
  m_editing = false;
  setProgramText(tr(kProgramRoute));
  m_edit->setEnabled(true);
  m_cancel->hide();
}

void RoutingPage::editRoute() {
  m_editing = true;
  setProgramText(tr(kEditRoute));
  m_edit->setEnabled(false);
  m_cancel->show();
  const int selected = selectedRoute();
  if (selected < 0) {
    tell("There is no route to edit");
    // The buttons keep their editing look until Cancel Edit or the next edit programmed.
    m_editing = false;
    return;
  }
  // Loading writes nothing: the chip changes when the edited route is programmed.
  load(ReadRoute(m_routes->item(selected)->text().toStdString()));
}

void RoutingPage::load(const RouteReading& route) {
  if (route.input) {
    SelectCode(m_input, static_cast<int>(*route.input));
    switch (*route.input) {
      case RouteInput::LineIn:
        showPath(m_lineInPath, m_micPath);
        break;
      case RouteInput::Mic:
        showPath(m_micPath, m_lineInPath);
        m_lineInPath->setEnabled(false);
        SelectCode(m_micPath, kAdcPath);
        break;
      case RouteInput::I2sDin:
        m_lineInPath->setEnabled(false);
        m_micPath->setEnabled(false);
        m_lineInPath->hide();
        m_micPath->hide();
        break;
    }
    m_pathCaption->setEnabled(*route.input != RouteInput::I2sDin);
    m_useLineInPath = *route.input == RouteInput::LineIn;
    m_useMicPath = *route.input == RouteInput::Mic;
  }
  m_dap->setChecked(route.dap);  // enabled or not as it was

  using Path = RouteReading::Path;
  if (route.path == Path::LineInAdc || route.path == Path::LineInPassThrough) {
    m_lineInPath->setEnabled(true);
    SelectCode(m_lineInPath, route.path == Path::LineInAdc ? kAdcPath : kPassThroughPath);
    m_micPath->setEnabled(false);
    m_useLineInPath = true;
    m_useMicPath = false;
  } else if (route.path == Path::MicAdc) {
    m_micPath->setEnabled(true);
    SelectCode(m_micPath, kAdcPath);
    m_lineInPath->setEnabled(false);
    m_useMicPath = true;
    m_useLineInPath = false;
  }

  m_outputs->clearSelection();
  m_outputs->item(static_cast<int>(RouteOutput::LineOut))->setSelected(route.lineOut);
  m_outputs->item(static_cast<int>(RouteOutput::Hp))->setSelected(route.hp);
  m_outputs->item(static_cast<int>(RouteOutput::I2sDout))->setSelected(route.i2sDout);
}

void RoutingPage::cancelEdit() {
  // The selectors keep what was loaded.
  leaveEditing();
}

}  // namespace tonvisor
