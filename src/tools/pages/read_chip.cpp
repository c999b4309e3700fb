#include "tools/pages/read_chip.h"

#include <QCoreApplication>
#include <QCursor>

#include "codec/register_map.h"
#include "tools/pages/busy_cursor.h"
#include "tools/pages/script_progress.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {

std::optional<ReadAllResult> ReadChipWithProgress(DeviceLink& link, QWidget* owner, const QString& title) {
  auto tell = [&](const QString& text) { link.messenger().show(text.toStdString(), kApplicationTitle, OwnerOf(owner)); };
  // SPI cannot read: rather than refuse every register in turn, say so once.
  if (link.selectedLink() == LinkKind::Spi) {
    tell(QCoreApplication::translate("ReadChip",
                                     "%1: SPI can only write, so no register can be read. Choose I2C or Ethernet "
                                     "to read the chip.")
             .arg(title));
    return std::nullopt;
  }
  ReadAllResult result;
  std::string failures;
  {
    BusyCursor busy;
    WorkProgress progress(owner, title, RegisterMap.size(),
                          QCoreApplication::translate("ReadChip", "%1 of %2 registers read"),
                          WorkProgress::Cancel::Offered);
    result = ReadAllRegisters(link, [&progress](std::size_t done, std::size_t) { return progress.stepDone(done); });
    progress.close();
    failures = DescribeTally(result.tally, link.settings());
  }
  if (result.cancelled) return std::nullopt;
  if (!failures.empty()) tell(QStringLiteral("%1: %2").arg(title, QString::fromStdString(failures)));
  return result;
}

}  // namespace tonvisor
