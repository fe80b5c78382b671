#pragma once
// The template window: one kind of device command at a time, for the protocol series of the
// current target. The send window fills the request box and the target series, calls one
// mode entry and shows the window modally; on OK the values are checked, the command lines
// are composed into one list per series and the window closes with result 1.
//
// One instance lives from start to end of the program; its position comes from the settings
// when it is created and goes back to them when it is destroyed.

#include "composer/FormSnapshot.h"
#include "composer/TemplateState.h"
#include "seam/MonitorServices.h"
#include "seam/TemplateWindow.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class TPlacemarkMenu;
struct TSelectorRule;

namespace Ui {
class SmsTemplateForm;
}

class TSmsTemplateForm : public QDialog, public TTemplateWindow {
  Q_OBJECT

public:
  // The modal results: OK, and every other way out (Отмена, Esc, the close box).
  static constexpr int kResultOk = 1;
  static constexpr int kResultCancel = 2;

  explicit TSmsTemplateForm(TMonitorServices& monitor, QWidget* parent = nullptr);
  ~TSmsTemplateForm() override;

  // The target series (1 to 5). Emptied whenever the window closes.
  void AddDeviceVersion(uint8_t series) override;
  bool HasDeviceVersion(uint8_t series) const;
  bool HasLegacyVersion() const;
  // Clears the lines of the five lists.
  void ClearCommandLists();

  // The mode entries: each sets the command type and the query flag, shows its box alone and
  // sizes the window to it, resets and re-offers the box's selectors where the command has
  // any, and sets the caption.
  void PrepareCmdGet();                  // 1
  void PrepareCmdBasePrm();              // 2
  void PrepareCmdDigitInPrm();           // 3
  void PrepareCmdAnalogInPrm();          // 4
  void PrepareCmdControlPointPrm();      // 5
  void PrepareCmdVoicePrm();             // 6
  void PrepareCmdAdditionPrm();          // 7
  void PrepareCmdGetSettingsChange();    // 8
  void PrepareCmdExecuteUssd();          // 9
  void PrepareCmdSetOutput();            // 10
  void PrepareCmdPulseOutput();          // 11
  void PrepareCmdResetDevice();          // 12
  void PrepareGetBasePrm();              // 13
  void PrepareGetDigitInPrm();           // 14
  void PrepareGetAnalogInPrm();          // 15
  void PrepareGetControlPointPrm();      // 16
  void PrepareGetVoicePrm();             // 17
  void PrepareGetAdditionPrm();          // 18
  void PrepareGetGconf1();               // 19
  void PrepareGetGconf2();               // 20
  void PrepareGetGconf3();               // 21
  void PrepareGetGconf4();               // 22
  // The entry of a command type 1 to 22 (others are ignored).
  void PrepareCommand(int commandType) override;

  // What the send window sets and reads through the template-window interface.
  void SetNumber(const QString& number, bool editable) override;
  void SetPassword(const QString& password, bool editable) override;
  QString Number() const override;
  int ExecModal() override { return exec(); }
  const TCommandLists& ComposedLists() const override { return CommandLists; }

  // "Top,Left": a non-zero Top is applied, then a non-zero Left.
  void RestoreLayout(const std::string& layout) override;
  // "Top,Left" of the window now.
  std::string LayoutText() const;

  // Every named control of the window with its text, item index, tick and enabled state.
  TFormSnapshot Snapshot() const;

  // Selectors: disables every control inside the container (group boxes are descended into
  // and left as they are) and unticks its selectors; offers the selectors of the targeted
  // series; the recursive step of the offering.
  void ResetGroupControls(QWidget* container);
  void EnableGroupSelectors(QWidget* box);
  void EnableSelectorsUpTo(QWidget* container, int series);

  // Whether a text is a dotted IPv4 address (nothing in the window calls it).
  static bool CheckIp(const QString& text);

  // The one close path: the result decides whether the values are checked and the commands
  // composed; false keeps the window open.
  bool FormCloseQuery(int modalResult);
  void done(int result) override;
  void reject() override;

  TTargetVersions TargetVersions;
  uint8_t CommandType = 0;
  bool QueryMode = false;
  // The first failing check of the last OK.
  QString ErrorText;
  // Slot n: the command lines of series n (1 to 5), kept after the close for the send window.
  TCommandLists CommandLists;

  // The request box's edits, which the send window fills before each use.
  QLineEdit* edNumber = nullptr;
  QLineEdit* edPassword = nullptr;
  // The control points taken from the globe program's places (btnCP1FromGoogle ..), with
  // the menu pGetFromGG; a child of the window.
  TPlacemarkMenu* PlacemarkMenu = nullptr;

protected:
  // Esc anywhere in the window cancels it.
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void FormCreate();
  void FormDestroy();
  void HideSettingsGroups();
  void ShowSettingsGroup(QGroupBox* box);
  void SelectorToggled(const TSelectorRule& rule, bool checked);
  void ApplyWriteBack(const std::map<std::string, QString>& texts);
  QCheckBox* Selector(const std::string& name) const;
  void PlaceButtons();

  TMonitorServices& Monitor;
  std::unique_ptr<Ui::SmsTemplateForm> Ui;
  // Every named control of the window by its component name.
  std::map<std::string, QWidget*, std::less<>> Named;
};
