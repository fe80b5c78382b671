#pragma once
// The settings window: the modem (a USB terminal by its description, or a serial port), the
// SIM PIN, whether the monitor opens the modem by itself and whether the PIN is checked.
//
// It edits the values the settings file held when the window was made, writes only what
// changed when the user confirms with "ОК", and offers to reopen a modem that is in use. It is
// not modal, exists once at most, and frees itself when closed. The rules it applies live in
// shell/ConfigChoice.h; this class maps them to its widgets.

#include "shell/ConfigChoice.h"
#include "seam/MonitorServices.h"

#include <QWidget>

#include <memory>
#include <vector>

namespace Ui {
class ConfigForm;
}

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStyleOptionViewItem;

class TConfigForm : public QWidget, public TMonitorWindow {
  Q_OBJECT

public:
  // How the window was closed: by "ОК", by "Отмена", or otherwise (the close box).
  enum class TModalResult { None, Ok, Cancel };

  // Takes its fields from the settings file (not from the monitor's mirror).
  explicit TConfigForm(TMonitorServices& monitor, QWidget* parent = nullptr);
  ~TConfigForm() override;

  // The values of the settings file when the window was made; confirming compares the
  // controls with them and takes the new port choice into PhonePort and PhoneDesc.
  TConfigFields Fields;
  TModalResult ModalResult = TModalResult::None;

  // A device came or went: the window's device lists follow.
  void RefreshWindow() override { RefreshDeviceLists(); }

  // How an item of the port list draws for its entry's status: ports that are not there grey
  // (unless selected) and italic only; ports that are there as the list draws them.
  static void cbComPortDrawItem(QStyleOptionViewItem& option, const std::string& status);

  // The entry behind each item of the port list, in item order.
  const std::vector<TComItem>& ComItems() const { return PortItems; }

public slots:
  // Refills both lists and selects the configured modem in them.
  void RefreshDeviceLists();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void FormShow();
  void FormCloseQuery();
  void rbUsbTerminalClick();
  void rbComPortClick();
  void btnOkClick();
  void btnCancelClick();
  void cbNotCheckPinClick();

  void FillComPortList();
  void FillTerminalList();
  void SelectTerminal();
  void SelectComPort();
  TConfigControls Controls() const;

  TMonitorServices& Monitor;
  std::unique_ptr<Ui::ConfigForm> Form;
  std::vector<TComItem> PortItems;
  int TerminalCount = 0;
};
