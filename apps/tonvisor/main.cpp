// Tonvisor: the KRVL7300 control panel. Start-up makes the one link to the chip, the
// operations on it and the main sheet, and runs until the sheet is closed.

#include <iostream>
#include <memory>

#include <QApplication>
#include <QCommandLineParser>

#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "panel/application_icon.h"
#include "panel/main_sheet.h"
#include "panel/message_box_messenger.h"
#include "panel/panel_context.h"
#include "screenshots.h"
#include "sim/chip_model.h"
#include "sim/simulated_bridge.h"
#include "tools/pages/file_chooser.h"

int main(int argc, char* argv[]) {
  using namespace tonvisor;

  QApplication app(argc, argv);
  // The program's title is its name: the caption of every page's message boxes.
  const QString title = QString::fromLatin1(kApplicationTitle.data(), static_cast<qsizetype>(kApplicationTitle.size()));
  QApplication::setApplicationName(title);
  QApplication::setApplicationVersion(QStringLiteral("1.0.1.8"));
  QApplication::setWindowIcon(ApplicationIcon());

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("KRVL7300 Control Software"));
  parser.addHelpOption();
  const QCommandLineOption simulate(
      QStringLiteral("simulate"),
      QStringLiteral("Talk to a simulated KRVL7300 behind a simulated USB bridge instead of a real bridge."));
  const QCommandLineOption initScript(
      QStringLiteral("init-script"),
      QStringLiteral("The script Chip Initialize runs (default: %1).").arg(QString::fromLatin1(kDefaultInitScriptPath)),
      QStringLiteral("path"));
  const QCommandLineOption screenshotDir(
      QStringLiteral("screenshot-dir"),
      QStringLiteral("Work every page a little, save a PNG of each into <dir> and quit (messages go to standard "
                     "error instead of message boxes)."),
      QStringLiteral("dir"));
  parser.addOption(simulate);
  parser.addOption(initScript);
  parser.addOption(screenshotDir);
  parser.process(app);
  const bool takingScreenshots = parser.isSet(screenshotDir);

  // Without --simulate there is no bridge to talk to yet: every USB access fails as it does
  // with nothing plugged in, and the Ethernet link works as usual.
  auto chip = std::make_unique<ChipModel>(ChipModel::Behaviour::Chip);
  std::unique_ptr<UsbBridge> bridge;
  if (parser.isSet(simulate)) {
    bridge = std::make_unique<SimulatedBridge>(*chip);
  } else {
    bridge = MakeAbsentBridge();
  }

  MessageBoxMessenger messageBoxes;
  StreamMessenger standardError(std::cerr);
  Messenger& messenger = takingScreenshots ? static_cast<Messenger&>(standardError) : messageBoxes;

  DeviceLink link(*bridge, messenger);
  CodecOperations codec(link);
  PanelState state;
  DialogFileChooser files;
  PanelContext context{link, codec, state, files};
  if (parser.isSet(initScript)) context.initScriptPath = parser.value(initScript);

  MainSheet sheet(context);
  messageBoxes.setMainWindow(&sheet);

  if (takingScreenshots) return TakeScreenshots(sheet, parser.value(screenshotDir)) ? 0 : 1;

  QObject::connect(&sheet, &QDialog::finished, &app, &QCoreApplication::quit);
  sheet.show();
  return app.exec();
}
