#include "shell/ConfigForm.h"

#include "ui_ConfigForm.h"

#include "common/Text.h"
#include "shell/Settings.h"
#include "seam/WindowFont.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QMessageBox>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QStyledItemDelegate>

namespace {

const char* const kCaption = "Orvex монитор";
const char* const kNoTerminalText = "Не обнаружено ни одного совместимого устройства!";
const char* const kReopenText =
    "Внимание!\r\nМодем в данный момент используется.\r\nВы хотите отключить модем и подключить с новыми "
    "настройками?";

constexpr int kMaxPinDigits = 8;

// The status of a port item's entry, kept in the item for its drawing.
constexpr int kStatusRole = Qt::UserRole;
const QColor kAbsentColor(0x80, 0x80, 0x80);

// Draws the port items as their entries' status says.
class TComPortDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    TConfigForm::cbComPortDrawItem(*option, Cp1251FromQString(index.data(kStatusRole).toString()));
  }
};

}  // namespace

TConfigForm::TConfigForm(TMonitorServices& monitor, QWidget* parent)
    : QWidget(parent, Qt::Tool), Monitor(monitor), Form(std::make_unique<Ui::ConfigForm>()) {
  Form->setupUi(this);
  setFont(WindowFont());
  setFixedSize(size());  // as laid out in the form file
  move(850, 210);
  setAttribute(Qt::WA_DeleteOnClose);
  Form->cbComPort->setItemDelegate(new TComPortDelegate(Form->cbComPort));
  // A SIM PIN is 4 to 8 digits: typed and pasted text keeps to digits, at most 8. A stored
  // PIN is shown as the file holds it, so that confirming without an edit changes nothing.
  Form->edPinCode->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kMaxPinDigits)), Form->edPinCode));

  const TLinkSettings link = Monitor.Settings().ReadLinkSettings();
  Fields.PhonePort = link.PhonePort;
  Fields.PhoneDesc = link.PhoneDesc;
  Fields.PinCode = link.PinCode;
  Fields.AutoConnect = link.AutoConnect;
  Fields.CheckPin = link.CheckPin;

  // Ticking a radio button or the PIN box, by the user or by the window, runs its handler.
  connect(Form->rbUsbTerminal, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rbUsbTerminalClick();
  });
  connect(Form->rbComPort, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rbComPortClick();
  });
  connect(Form->cbNotCheckPin, &QCheckBox::toggled, this, [this] { cbNotCheckPinClick(); });
  connect(Form->btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
  connect(Form->btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

TConfigForm::~TConfigForm() = default;

void TConfigForm::cbComPortDrawItem(QStyleOptionViewItem& option, const std::string& status) {
  if (!IsAbsentPort(status)) return;
  option.font.setItalic(true);
  option.font.setBold(false);
  option.font.setUnderline(false);
  option.font.setStrikeOut(false);
  if (!(option.state & QStyle::State_Selected)) {
    option.palette.setColor(QPalette::Text, kAbsentColor);
    option.palette.setColor(QPalette::WindowText, kAbsentColor);
  }
}

void TConfigForm::showEvent(QShowEvent* event) {
  // Once when the window opens, not when the window system shows it again.
  if (!event->spontaneous()) FormShow();
  QWidget::showEvent(event);
}

void TConfigForm::closeEvent(QCloseEvent* event) {
  FormCloseQuery();
  event->accept();
}

void TConfigForm::FormShow() {
  RefreshDeviceLists();
  Form->edPinCode->setText(QStringFromCp1251(Fields.PinCode));
  Form->cbAutoConnect->setChecked(Fields.AutoConnect);
  Form->cbNotCheckPin->setChecked(!Fields.CheckPin);
}

void TConfigForm::RefreshDeviceLists() {
  Form->cbComPort->hidePopup();
  FillComPortList();
  FillTerminalList();
  if (OpensOnTerminal(Fields.PhonePort)) {
    Form->rbUsbTerminal->setChecked(true);
    // Its handler may have found no terminal and gone back to the serial port: the window then
    // stays on that choice rather than disabling both lists.
    if (Form->rbUsbTerminal->isChecked()) {
      Form->cbComPort->setEnabled(false);
      SelectTerminal();
    }
  } else {
    Form->rbComPort->setChecked(true);
    Form->cbUsbTerminal->setEnabled(false);
    SelectComPort();
  }
}

void TConfigForm::FillComPortList() {
  QComboBox* combo = Form->cbComPort;
  combo->clear();
  PortItems = ComPortItems(TPortList(Monitor.PortSources()).GetComPortList(Fields.PhonePort), Fields.PhonePort);
  std::vector<std::string> texts;
  for (const TComItem& item : PortItems) {
    combo->addItem(QStringFromCp1251(item.Text), QStringFromCp1251(item.Entry.Status));
    texts.push_back(item.Text);
  }
  combo->setCurrentIndex(-1);
  const int longest = LongestItem(texts);
  if (longest >= 0)
    combo->view()->setMinimumWidth(combo->fontMetrics().horizontalAdvance(combo->itemText(longest)) + 5);
  combo->setMaxVisibleItems(combo->count());
}

void TConfigForm::FillTerminalList() {
  QComboBox* combo = Form->cbUsbTerminal;
  combo->clear();
  const std::vector<std::string> items = TerminalItems(Monitor.ListUsbTerminals());
  for (const std::string& item : items) combo->addItem(QStringFromCp1251(item));
  combo->setCurrentIndex(-1);
  combo->setEditText(QString());
  TerminalCount = static_cast<int>(items.size());
  combo->setMaxVisibleItems(combo->count());
}

void TConfigForm::SelectTerminal() {
  std::vector<std::string> items;
  for (int index = 0; index < Form->cbUsbTerminal->count(); ++index)
    items.push_back(Cp1251FromQString(Form->cbUsbTerminal->itemText(index)));
  const int found = TerminalSelection(items, Fields.PhoneDesc);
  if (found >= 0) {
    Form->cbUsbTerminal->setCurrentIndex(found);
  } else {
    Form->cbUsbTerminal->setCurrentIndex(-1);
    Form->cbUsbTerminal->setEditText(QStringFromCp1251(Fields.PhoneDesc));
  }
}

void TConfigForm::SelectComPort() {
  const int found = ComPortSelection(PortItems, Fields.PhonePort);
  if (found >= 0)
    Form->cbComPort->setCurrentIndex(found);
  else if (Fields.PhonePort != kTerminalPort)
    Form->cbComPort->setCurrentText(QStringFromCp1251(Fields.PhonePort));
}

void TConfigForm::rbUsbTerminalClick() {
  Form->cbComPort->setEnabled(false);
  Form->cbUsbTerminal->setEnabled(true);
  FillTerminalList();
  if (Fields.PhonePort != kTerminalPort && TerminalCount == 0) {
    QMessageBox::critical(this, QString::fromUtf8(kCaption), QString::fromUtf8(kNoTerminalText));
    Form->rbComPort->setChecked(true);
    return;
  }
  SelectTerminal();
}

void TConfigForm::rbComPortClick() {
  Form->cbUsbTerminal->setEnabled(false);
  Form->cbComPort->setEnabled(true);
  FillComPortList();
  SelectComPort();
}

void TConfigForm::cbNotCheckPinClick() { Form->edPinCode->setEnabled(!Form->cbNotCheckPin->isChecked()); }

void TConfigForm::btnOkClick() {
  ModalResult = TModalResult::Ok;
  close();
}

void TConfigForm::btnCancelClick() {
  ModalResult = TModalResult::Cancel;
  close();
}

TConfigControls TConfigForm::Controls() const {
  TConfigControls controls;
  controls.UsbTerminal = Form->rbUsbTerminal->isChecked();
  controls.UsbTerminalText = Cp1251FromQString(Form->cbUsbTerminal->currentText());
  controls.ComPortText = Cp1251FromQString(Form->cbComPort->currentText());
  controls.PinCodeText = Cp1251FromQString(Form->edPinCode->text());
  controls.AutoConnect = Form->cbAutoConnect->isChecked();
  controls.NotCheckPin = Form->cbNotCheckPin->isChecked();
  return controls;
}

void TConfigForm::FormCloseQuery() {
  // Closing is always allowed; only "ОК" changes anything.
  if (ModalResult != TModalResult::Ok) return;
  const TConfigControls controls = Controls();
  const TConfigChanges changes = ApplyConfigControls(Fields, controls);
  if (!changes.Any()) return;

  TWindowSettings& settings = Monitor.Settings();
  if (changes.PortChanged) settings.SavePortSettings(Fields.PhonePort, Fields.PhoneDesc);
  if (changes.SavesPin(controls)) settings.SavePinCode(controls.PinCodeText);
  if (changes.AutoConnectChanged) settings.SaveAutoConnect(controls.AutoConnect);
  if (changes.CheckPinChanged) settings.SaveCheckPin(!controls.NotCheckPin);

  if (changes.AffectsLink() && Monitor.IsModemOpen()) {
    const auto answer = QMessageBox::warning(this, QString::fromUtf8(kCaption), QString::fromUtf8(kReopenText),
                                             QMessageBox::Yes | QMessageBox::No);
    // The reopen reloads the settings just written.
    if (answer == QMessageBox::Yes) Monitor.ReopenModem();
  }
  const bool running = Monitor.ReconnectEnabled();
  const bool reconnect = ReconnectAfterChange(controls.AutoConnect, Monitor.IsModemOpen(), running);
  // A running timer is left running, not restarted.
  if (reconnect != running) Monitor.SetReconnectEnabled(reconnect);
}
