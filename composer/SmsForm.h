#pragma once
// The send window: the user picks a target (a protocol series, a group of the fleet or one
// vehicle), writes a free text or composes device commands in the template window, and the
// messages go to the monitor's send queue. The window frees itself on close and keeps its
// place and target in the layout string.

#include "composer/SendRules.h"
#include "seam/MonitorServices.h"

#include <QWidget>

#include <memory>
#include <string>

class QAction;
class QMenu;
class QTimer;
class TTemplateLink;

namespace Ui {
class TsmsForm;
}

class TsmsForm : public QWidget, public TSendWindow {
  Q_OBJECT

public:
  explicit TsmsForm(TMonitorServices& monitor, QWidget* parent = nullptr);
  ~TsmsForm() override;

  // TSendWindow: the layout before the first fill, the fleet on opening and on reloads.
  void RestoreLayout(const std::string& layout) override;
  void FillDeviceList(const TFleet& fleet) override;
  void RefillDeviceList(const TFleet& fleet) override;

  int MessageCount = 0;
  int DeviceCount = 0;
  std::string RememberedDevice;  // code page 1251
  TPhoneBook PhoneBook;
  bool FromTemplate = false;

  // The target list behind cDevice, entry for entry.
  const TTargetList& Targets() const { return TargetList; }
  QTimer* reChangeTimer = nullptr;

  void LoadPhoneBook();
  std::string FindPhoneNumber(int32_t device) const;
  void AppendSmsListLog();
  void PrepareTemplateForm(TTemplateLink& link);
  void FillTextFromTemplate(TTemplateLink& link);
  int CountMessages() const;
  void UpdateCountLabel();

  void cDeviceSelect();
  void redTextChange();
  void reChangeTimerTimer();
  void btnSendClick();
  void btnSmsTemplateClick();
  // The handler of every command of the menu: the template window in the mode of the type.
  void TemplateCommandClick(int commandType);

protected:
  void showEvent(QShowEvent* event) override;

private:
  void FreeDeviceItems();
  void SavePhoneNumber();
  void SetFromTemplate(bool fromTemplate);
  // An input error of the send: the box, and the focus to `focus` when it takes it.
  void RefuseSend(const QString& text, QWidget* focus);
  // Enables the menu's items, at any depth, whose Tag is at most the level.
  static void EnableMenuUpTo(QMenu* menu, int level);
  const TTargetEntry* Selected() const;

  TMonitorServices& Monitor;
  std::unique_ptr<Ui::TsmsForm> Ui;
  TTargetList TargetList;
  bool Shown = false;
};
