// Tonvisor: the KRVL7300 control panel. Start-up makes the one link to the chip, the
// operations on it and the main sheet, and runs until the sheet is closed.

#include <iostream>
#include <memory>

#include <QApplication>
#include <QCommandLineParser>

#include "backends/chip_connection.h"
#include "backends/usb_backends.h"
#include "codec/codec_operations.h"
#include "link/device_link.h"
#include "panel/application_icon.h"
#include "panel/main_sheet.h"
#include "panel/message_box_messenger.h"
#include "link/typed_text.h"
#include "panel/panel_context.h"
#include "panel/unsaved_log_question.h"
#include "screenshots.h"
#include "tonvisor/version.h"
#include "tools/pages/file_chooser.h"

int main(int argc, char* argv[]) {
  using namespace tonvisor;

  QApplication app(argc, argv);
  // The program's title is its name: the caption of every page's message boxes.
  const QString title = QString::fromLatin1(kApplicationTitle.data(), static_cast<qsizetype>(kApplicationTitle.size()));
  QApplication::setApplicationName(title);
  QApplication::setApplicationVersion(QLatin1String(kVersion));
  QApplication::setWindowIcon(ApplicationIcon());

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("KRVL7300 Control Software"));
  parser.addHelpOption();
  const QCommandLineOption simulate(
      QStringLiteral("simulate"),
      QStringLiteral("Talk to a simulated KRVL7300 behind a simulated USB bridge instead of a real bridge."));
  const QCommandLineOption device(
      QStringLiteral("device"),
      QStringLiteral("The USB bridge to use: its serial, or its index as tonvisor-cli devices lists them "
                     "(default: the first)."),
      QStringLiteral("serial|index"));
  const QCommandLineOption i2cClock(QStringLiteral("i2c-clock"),
                                    QStringLiteral("The I2C clock in kHz: 100 (default) or 400."),
                                    QStringLiteral("kHz"));
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
  parser.addOption(device);
  parser.addOption(i2cClock);
  parser.addOption(initScript);
  parser.addOption(screenshotDir);
  parser.process(app);
  const bool takingScreenshots = parser.isSet(screenshotDir);

  std::uint32_t i2cClockHz = kI2cStandardClockHz;
  if (parser.isSet(i2cClock)) {
    const NumberReading<int> kilohertz = ReadDecimalInt(parser.value(i2cClock).toStdString());
    if (!kilohertz.value || !IsI2cClockKhz(*kilohertz.value)) {
      std::cerr << "Tonvisor: --i2c-clock must be 100 or 400 (kHz)\n";
      return 2;
    }
    i2cClockHz = static_cast<std::uint32_t>(*kilohertz.value) * 1000;
  }
  if (parser.isSet(device) && parser.isSet(simulate)) {
    std::cerr << "Tonvisor: --device names a USB bridge; --simulate uses none\n";
    return 2;
  }

  // The USB bridge from the table the command-line tool uses too: the simulated one, an
  // FT2232H through libftdi1, or none where USB cannot be used.
  BackendRequest request;
  request.simulate = parser.isSet(simulate);
  if (parser.isSet(device)) request.device = parser.value(device).toStdString();
  const UsbBackend backend = ChooseUsbBackend(request);
  if (backend.name == "none") std::cerr << "Tonvisor: USB cannot be used here: " << backend.note << '\n';

  MessageBoxMessenger messageBoxes;
  StreamMessenger standardError(std::cerr);
  Messenger& messenger = takingScreenshots ? static_cast<Messenger&>(standardError) : messageBoxes;

  DeviceLink link(*backend.bridge, messenger);
  link.settings().i2cClockHz = i2cClockHz;
  CodecOperations codec(link);
  PanelState state;
  DialogFileChooser files;
  MessageBoxUnsavedLogQuestion unsavedLog;
  PanelContext context{link, codec, state, files, unsavedLog};
  if (parser.isSet(initScript)) context.initScriptPath = parser.value(initScript);

  MainSheet sheet(context);
  messageBoxes.setMainWindow(&sheet);

  if (takingScreenshots) return TakeScreenshots(sheet, parser.value(screenshotDir)) ? 0 : 1;

  QObject::connect(&sheet, &QDialog::finished, &app, &QCoreApplication::quit);
  sheet.show();
  return app.exec();
}
