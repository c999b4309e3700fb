#pragma once

#include "panel/chip_page.h"
#include "panel/route_text.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace tonvisor {

// "Routing": the user picks an input, its analog path, whether the signal passes through the
// audio processor, and one or more outputs; "Program Route" sets the chip's source selectors and
// lists the route as a line of text. "Edit Route" loads a listed route back into the selectors,
// and the next "Program Route" replaces the route selected at that moment. The list lives as
// long as the program and is never read back from the chip.
class RoutingPage : public ChipPage {
  Q_OBJECT

 public:
  explicit RoutingPage(const PanelContext& context, QWidget* parent = nullptr);

 protected:
  void build() override;

 private:
  void inputChosen();
  void lineInPathChosen();
  void programRoute();
  void editRoute();
  void cancelEdit();

  RouteInput input() const;
  bool passThrough() const;  // the line-in path selector shows "Pass through"
  int selectedRoute() const;  // -1 when no route is selected
  void setProgramText(const QString& text);
  void leaveEditing();
  // Shows one path selector (the other hidden) and points the path caption at it.
  void showPath(QComboBox* shown, QComboBox* hidden);
  void load(const RouteReading& route);

  bool m_editing = false;        // the next "Program Route" replaces the selected route
  bool m_useMicPath = false;     // the microphone path selector supplies the route's path
  bool m_useLineInPath = true;   // the line-in path selector supplies it

  QComboBox* m_input = nullptr;
  QLabel* m_pathCaption = nullptr;
  QComboBox* m_lineInPath = nullptr;
  QComboBox* m_micPath = nullptr;
  QCheckBox* m_dap = nullptr;
  QListWidget* m_outputs = nullptr;
  QPushButton* m_program = nullptr;
  QPushButton* m_cancel = nullptr;
  QListWidget* m_routes = nullptr;
  QPushButton* m_edit = nullptr;
};

}  // namespace tonvisor
