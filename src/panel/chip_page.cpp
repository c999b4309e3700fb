#include "panel/chip_page.h"

#include <algorithm>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "codec/codec_operations.h"
#include "panel/cache_follower.h"
#include "tools/pages/script_progress.h"
#include "tools/pages/widget_owner.h"

namespace tonvisor {

ChipPage::ChipPage(const PanelContext& context, const char* objectName, QWidget* parent)
    : QWidget(parent), m_context(context), m_follower(new CacheFollower(context.runner.cacheView(), this)) {
  setObjectName(QString::fromLatin1(objectName));
}

void ChipPage::setVisible(bool visible) {
  // Built before it becomes visible, so its controls are shown with it in the same frame.
  if (visible && !m_built) {
    m_built = true;
    build();
    m_follower->followNow();
  }
  QWidget::setVisible(visible);
}

void SelectFocusedBoxText(QWidget* page) {
  auto* box = qobject_cast<QLineEdit*>(page->window()->focusWidget());
  if (box != nullptr && page->isAncestorOf(box) && !box->isReadOnly()) box->selectAll();
}

void ChipPage::followCache() {
  if (m_built) m_follower->followNow();
}

void ChipPage::follow(const FieldPlace& place, std::function<void(int)> show, std::function<void(bool)> mark) {
  m_follower->follow(place, std::move(show), std::move(mark));
}

void ChipPage::markUnknown(QWidget* control, bool unknown) { CacheFollower::markUnknown(control, unknown); }

void ChipPage::markSliderUnknown(ValueSlider* slider, bool unknown) {
  CacheFollower::markUnknown(slider->valueLabel(), unknown);
  slider->setToolTip(unknown ? tr(CacheFollower::kUnknownTip) : QString());
  if (unknown) {
    slider->showText(QStringLiteral("?"));
  } else {
    slider->showValue();
  }
}

void ChipPage::showOnSlider(ValueSlider* slider, int position, const QString& text) {
  // Never under the user's hand: the chip follows the user there, not the other way round.
  if (slider->isSliderDown()) return;
  slider->setValue(position);
  slider->showText(text);
}

Owner ChipPage::owner() const { return OwnerOf(this); }

void ChipPage::tell(const QString& text) {
  runner().messenger().show(text.toStdString(), kApplicationTitle, owner());
  SelectFocusedBoxText(this);
}

void ChipPage::tell(const char* text) { tell(QString::fromUtf8(text)); }

void ChipPage::act(LinkRunner::Work work, const void* coalesce) {
  LinkRunner::Job job;
  job.title = tr("Writing to the chip");
  if (coalesce != nullptr) job.coalesceKey = QString::number(reinterpret_cast<quintptr>(coalesce));
  job.work = std::move(work);
  runner().submit(std::move(job), this, [this](const JobReport& report) {
    // A write that did not reach the chip and nothing said about it, neither by the page nor
    // by the link (an I2C slider or Enter write): say what failed, as the long actions do.
    if (report.messages.empty() && !report.failures.empty()) tell(QString::fromStdString(report.failures));
  });
}

void ChipPage::actLong(const QString& title, LinkRunner::Work work) {
  LinkRunner::Job job;
  job.title = title;
  job.work = std::move(work);
  runner().submit(std::move(job), this, [this, title](const JobReport& report) {
    if (!report.failures.empty()) tell(tr("%1: %2").arg(title, QString::fromStdString(report.failures)));
  });
}

void ChipPage::actWithProgress(const QString& title, std::size_t accesses, LinkRunner::Work work,
                               const char* failure) {
  LinkRunner::Job job;
  job.title = title;
  job.expected = accesses;
  job.exclusive = true;
  job.work = std::move(work);
  FollowJob(runner(), runner().nextId(), this, title, accesses, tr("%1 of %2 register accesses done"),
            WorkProgress::Cancel::NotOffered);
  runner().submit(std::move(job), this, [this, title, failure](const JobReport& report) {
    if (report.status != status::kOk && failure != nullptr) {
      tell(failure);
    } else if (!report.failures.empty()) {
      tell(tr("%1: %2").arg(title, QString::fromStdString(report.failures)));
    }
  });
}

ConflictGuard& ChipPage::conflictGuard() {
  if (m_guard == nullptr) m_guard = new ConflictGuard(runner(), this);
  return *m_guard;
}

void ChipPage::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && enterPressed()) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ChipPage::apply(const CodecField& field, int code, const char* failure, const void* coalesce) {
  act(
      [&field, code, failure, owner = owner()](LinkSide& side, JobReport&) {
        // Only a non-zero status has a message of the page's: over SPI and Ethernet the link
        // has already said what went wrong, and the status stays 0.
        if (side.codec.apply(field, code).status != status::kOk && failure != nullptr) side.tell(failure, owner);
      },
      coalesce);
}

QComboBox* ChipPage::addChoice(QFormLayout* form, const ChoiceRow& row, std::function<void(int code)> chosen) {
  QComboBox* choices = list(row.items);
  choices->setCurrentIndex(row.initial);
  form->addRow(caption(row.caption, choices), choices);
  if (row.field != nullptr) {
    follow(*row.field, [this, choices](int code) {
      const int index = choices->findData(code);
      choices->setCurrentIndex(index);
      // A code the list does not offer shows no item, and says which.
      choices->setToolTip(index < 0 ? tr("The chip holds code %1, which this list does not offer.").arg(code) : QString());
    }, [choices](bool unknown) { markUnknown(choices, unknown); });
  }
  if (!chosen) chosen = [this, row](int code) { apply(*row.field, code, row.failure); };
  // activated comes only from the user: setCurrentIndex by code chooses nothing.
  connect(choices, &QComboBox::activated, this,
          [choices, chosen](int index) { chosen(choices->itemData(index).toInt()); });
  return choices;
}

QCheckBox* ChipPage::addCheck(QLayout* layout, const CheckRow& row, std::function<void(bool checked)> clicked) {
  auto* box = new QCheckBox(tr(row.caption));
  box->setAccessibleName(box->text());
  layout->addWidget(box);
  if (row.field != nullptr) {
    follow(*row.field, [box](int code) { box->setChecked(code != 0); }, [box](bool unknown) { markUnknown(box, unknown); });
  }
  if (!clicked) clicked = [this, row](bool checked) { apply(*row.field, checked ? row.onValue : 0, row.failure); };
  // clicked comes from the user (mouse, space bar), never from setChecked.
  connect(box, &QCheckBox::clicked, this, clicked);
  return box;
}

ValueSlider* ChipPage::addSlider(QGridLayout* grid, const SliderRow& row, std::function<void(int position)> released) {
  const int maximum = row.maximum >= 0 ? row.maximum : row.field->largestCode();
  auto* slider = new ValueSlider(row.text, maximum);
  slider->setValue(row.initial);
  slider->showText(tr(row.initialText));
  slider->setAccessibleName(tr(row.caption));
  // The label's accessible name is what it shows (no name of its own); tools find it by this.
  slider->valueLabel()->setObjectName(tr("%1 value").arg(slider->accessibleName()));
  slider->valueLabel()->setAccessibleDescription(tr("%1 value").arg(slider->accessibleName()));

  const int gridRow = grid->rowCount();
  // Without a caption the column still takes its place (and spacing), so sliders line up.
  grid->addWidget(row.showCaption ? caption(row.caption, slider) : new QWidget, gridRow, 0);
  grid->addWidget(slider, gridRow, 1);
  grid->addWidget(slider->valueLabel(), gridRow, 2);

  if (row.field != nullptr) {
    follow(*row.field, [slider, maximum](int code) {
      // The nearest position; the text is the chip's own value, also beyond the slider's end.
      std::string text = slider->text().of(code);
      showOnSlider(slider, std::min(code, maximum),
                   QString::fromStdString(text.empty() ? slider->text().of(std::min(code, maximum)) : text));
    }, [slider](bool unknown) { markSliderUnknown(slider, unknown); });
  }
  if (!released) released = [this, row, slider](int position) { apply(*row.field, position, nullptr, row.field); };
  connect(slider, &ValueSlider::released, this, [slider, released](int position) {
    slider->showValue();
    released(position);
  });
  return slider;
}

void ChipPage::alignSliderColumns(std::initializer_list<QGridLayout*> grids) {
  for (int column : {0, 2}) {
    int width = 0;
    for (QGridLayout* grid : grids) {
      for (int row = 0; row < grid->rowCount(); ++row) {
        const QLayoutItem* item = grid->itemAtPosition(row, column);
        if (item != nullptr && item->widget() != nullptr) width = std::max(width, item->widget()->minimumSizeHint().width());
      }
    }
    for (QGridLayout* grid : grids) grid->setColumnMinimumWidth(column, width);
  }
}

QComboBox* ChipPage::list(std::span<const Choice> items) {
  auto* list = new QComboBox;
  for (const Choice& item : items) list->addItem(tr(item.text), item.code);
  return list;
}

QGroupBox* ChipPage::group(const char* title) {
  auto* box = new QGroupBox(tr(title));
  box->setAccessibleName(box->title());
  return box;
}

QPushButton* ChipPage::button(const char* text) {
  auto* button = new QPushButton(tr(text));
  button->setAccessibleName(button->text());
  // The main sheet's Return key belongs to the sheet, not to whichever page button has focus.
  button->setAutoDefault(false);
  return button;
}

QLineEdit* ChipPage::edit(const QString& name, const QString& text) {
  auto* box = new QLineEdit(text);
  box->setAccessibleName(name);
  return box;
}

QLabel* ChipPage::caption(const char* text, QWidget* control) {
  auto* label = new QLabel(tr(text));
  label->setBuddy(control);
  control->setAccessibleName(label->text());
  return label;
}

}  // namespace tonvisor
