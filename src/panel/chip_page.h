#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <span>

#include <QWidget>

#include "codec/codec_fields.h"
#include "codec/cached_field.h"
#include "codec/field_choices.h"
#include "panel/panel_context.h"
#include "panel/value_slider.h"
#include "panel/value_text.h"
#include "tools/pages/conflict_guard.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

namespace tonvisor {

class CacheFollower;

// After a message: the box on page that has the focus gets its text selected, so that what the
// user types next replaces the refused text ("9", refused, then "5" gives "5", not "95").
void SelectFocusedBoxText(QWidget* page);

// A drop-down list whose choice goes to a field operation with the item's code.
struct ChoiceRow {
  const char* caption;
  std::span<const Choice> items;
  const CodecField* field = nullptr;
  const char* failure = nullptr;  // shown when the operation's status is non-zero; none when null
  int initial = 0;                // the item shown at start
};

// A check box whose click goes to a field operation: onValue when checked, 0 when not.
struct CheckRow {
  const char* caption;
  const CodecField* field = nullptr;
  const char* failure = nullptr;
  int onValue = 1;
};

// A slider with its value label whose release goes to a field operation with the position.
struct SliderRow {
  const char* caption;  // shown left of the slider unless showCaption is false; always its name
  ValueText text;       // the label after a release
  const char* initialText;  // the label before the first release
  int initial = 0;          // the position at start
  const CodecField* field = nullptr;  // its width gives the range unless maximum is set
  int maximum = -1;
  bool showCaption = true;
};

// The base of the chip's pages. A page is built from rows that bind a control to a codec
// operation; only the user's own actions reach an operation (choosing an item, clicking a box,
// letting go of a slider), never a value set by code. A row's control follows what the chip
// holds: the link's cache of its field, after every access that changed it (see
// CacheFollower); controls of the page's own follow through follow(). Every control is named after its caption
// for assistive tools and tests. The page tells the user in message boxes it owns, captioned
// with the program's title.
//
// The page object lives from start-up, but its controls are made just before it is first
// shown, as a property sheet makes a page's controls when its tab is first chosen: the program
// starts as fast with ten pages as with one.
class ChipPage : public QWidget {
  Q_OBJECT

 public:
  ChipPage(const PanelContext& context, const char* objectName, QWidget* parent = nullptr);

  void setVisible(bool visible) override;
  bool isBuilt() const { return m_built; }
  // Sets every control of a built page from the link's cache now (it does so by itself, once,
  // after each action that changed the cache).
  void followCache();

 protected:
  // Makes the page's controls and layout, once.
  virtual void build() = 0;

  LinkRunner& runner() const { return m_context.runner; }
  PanelState& state() const { return m_context.state; }
  Owner owner() const;
  const PanelContext& context() const { return m_context; }

  void tell(const QString& text);
  void tell(const char* text);

  // The link work of one thing the user did, queued on the link: each message shown once when it
  // ends, the accesses counted; when an access did not reach the chip and nothing was said about
  // it, one closing message that says what failed. work captures values, never widgets (it runs
  // on the link's thread). A control that acts at every move passes what it writes (its field)
  // as coalesce: its write still queued is replaced by the newer one.
  void act(LinkRunner::Work work, const void* coalesce = nullptr);
  // The same for work that may take long (a headphone ramp over Ethernet: up to 130 accesses
  // of 20 ms each): at the end one message "<title>: <what failed>" when any access did not
  // reach the chip.
  void actLong(const QString& title, LinkRunner::Work work);
  // Long work with a progress window (an EQ preset, the audio processor's switch): as
  // actLong, and once the work has lasted half a second (over Ethernet) a window counts its
  // register accesses against about `accesses`, without a Cancel: the work is short enough to
  // wait for, and stopping it halfway would leave the chip half set. The work sets the
  // report's status to the operation's; a non-zero one shows failure, the page's own message
  // for it, in place of the closing message. Conflicting controls wait meanwhile.
  void actWithProgress(const QString& title, std::size_t accesses, LinkRunner::Work work,
                       const char* failure = nullptr);
  // A control of the page's own that shows a field: show sets it to a code (never writing),
  // mark marks it unknown (or clears the mark) when its register's value was lost.
  void follow(const FieldPlace& place, std::function<void(int code)> show, std::function<void(bool unknown)> mark = {});
  void follow(const CodecField& field, std::function<void(int code)> show, std::function<void(bool unknown)> mark = {}) {
    follow(FieldPlace::Of(field), std::move(show), std::move(mark));
  }
  // The kit's marks: a greyed control with the tooltip "not read from the chip"; a slider's
  // value text reads "?".
  static void markUnknown(QWidget* control, bool unknown);
  static void markSliderUnknown(ValueSlider* slider, bool unknown);
  // Shows a slider at position (unless the user holds it) with text, the chip's own value.
  static void showOnSlider(ValueSlider* slider, int position, const QString& text);

  // Calls field's operation with code as one action; a non-zero status shows failure, if any.
  void apply(const CodecField& field, int code, const char* failure, const void* coalesce = nullptr);
  // Keeps the page's controls that would conflict with long work (presets, the processor's
  // switch) disabled while such work waits or runs.
  ConflictGuard& conflictGuard();

  // Return or Enter typed anywhere on the page (in a box, or with a list, a slider or a button
  // holding the focus): the page's own use of it, if it has one. True when it used the key.
  // Either way the key never reaches the main sheet's OK.
  virtual bool enterPressed() { return false; }
  void keyPressEvent(QKeyEvent* event) override;

  // Rows. Without a handler a row calls its field's operation; with one, the handler decides
  // (and is called only for the user's own actions). A slider's label shows the released
  // position's value before anything else happens.
  QComboBox* addChoice(QFormLayout* form, const ChoiceRow& row, std::function<void(int code)> chosen = {});
  QCheckBox* addCheck(QLayout* layout, const CheckRow& row, std::function<void(bool checked)> clicked = {});
  ValueSlider* addSlider(QGridLayout* grid, const SliderRow& row, std::function<void(int position)> released = {});

  // Slider grids of several groups get the same caption and value columns, so that their
  // sliders start and end at the same place.
  static void alignSliderColumns(std::initializer_list<QGridLayout*> grids);

  // Controls named after their captions.
  static QComboBox* list(std::span<const Choice> items);  // each item's code as its data
  static QGroupBox* group(const char* title);
  static QPushButton* button(const char* caption);
  static QLabel* caption(const char* text, QWidget* control);
  // A one-line edit box named name (a box whose caption is a group's title or a label apart).
  static QLineEdit* edit(const QString& name, const QString& text);

 private:
  PanelContext m_context;
  CacheFollower* m_follower = nullptr;
  ConflictGuard* m_guard = nullptr;
  bool m_built = false;
};

}  // namespace tonvisor
