#include "tools/pages/read_chip.h"

#include <memory>

#include <QCoreApplication>
#include <QPointer>

#include "codec/register_map.h"
#include "tools/pages/script_progress.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {

void SubmitReadChip(LinkRunner& runner, QWidget* owner, const QString& title,
                    std::function<void(const ReadChipOutcome&)> then) {
  struct Shared {
    ReadChipOutcome outcome;
    bool overSpi = false;
  };
  auto shared = std::make_shared<Shared>();
  LinkRunner::Job job;
  job.title = title;
  job.expected = RegisterMap.size();
  job.countsSteps = true;
  job.cancellable = true;
  job.exclusive = true;
  job.work = [shared](LinkSide& side, JobReport&) {
    // SPI cannot read: rather than refuse every register in turn, say so once.
    shared->overSpi = side.link.selectedLink() == LinkKind::Spi;
    if (shared->overSpi) return;
    shared->outcome.linkDescription = LinkDescription(side.link);
    ReadAllResult result = ReadAllRegisters(side.link, [&side](std::size_t done, std::size_t) {
      side.stepDone(done);
      return !side.cancelled;
    });
    if (!result.cancelled) shared->outcome.result = std::move(result);
  };
  FollowJob(runner, runner.nextId(), owner, title, RegisterMap.size(),
            QCoreApplication::translate("ReadChip", "%1 of %2 registers read"), WorkProgress::Cancel::Offered);
  runner.submit(std::move(job), owner,
                [&runner, owner, title, shared, then = std::move(then)](const JobReport& report) {
                  auto tell = [&](const QString& text) {
                    runner.messenger().show(text.toStdString(), kApplicationTitle, OwnerOf(owner));
                  };
                  if (shared->overSpi) {
                    tell(QCoreApplication::translate("ReadChip",
                                                     "%1: SPI can only write, so no register can be read. Choose "
                                                     "I2C or Ethernet to read the chip.")
                             .arg(title));
                  } else if (shared->outcome.result && !report.failures.empty()) {
                    tell(QStringLiteral("%1: %2").arg(title, QString::fromStdString(report.failures)));
                  }
                  if (then) then(shared->outcome);
                });
}

}  // namespace tonvisor
