#include "composer/SmsForm.h"

#include "common/Text.h"
#include "composer/TemplateLink.h"
#include "gsm/PduCodec.h"
#include "seam/WindowFont.h"
#include "ui_SmsForm.h"

#include <QFont>
#include <QMessageBox>
#include <QPointer>
#include <QShowEvent>
#include <QTimer>

namespace {

constexpr int kQuietMs = 1000;
const char* const kCaption = "Orvex монитор";
constexpr const char* kTagProperty = "Tag";
constexpr const char* kCommandTypeProperty = "CommandType";

int TagOf(const QAction* action) {
  const QVariant tag = action->menu() != nullptr ? action->menu()->property(kTagProperty) : action->property(kTagProperty);
  return tag.toInt();
}

}  // namespace

TsmsForm::TsmsForm(TMonitorServices& monitor, QWidget* parent)
    : QWidget(parent, Qt::Window), Monitor(monitor), Ui(std::make_unique<Ui::TsmsForm>()) {
  Ui->setupUi(this);
  setFont(WindowFont());
  reChangeTimer = new QTimer(this);
  reChangeTimer->setObjectName(QStringLiteral("reChangeTimer"));
  reChangeTimer->setInterval(kQuietMs);
  reChangeTimer->setSingleShot(false);
  // The separator of the query submenu and the submenus' hints, which the form file cannot name.
  for (QAction* action : Ui->cmdGetSettings->actions())
    if (action->isSeparator()) action->setObjectName(QStringLiteral("N3"));
  Ui->N1->menuAction()->setToolTip(Ui->N1->toolTip());

  connect(Ui->cDevice, qOverload<int>(&QComboBox::activated), this, [this](int) { cDeviceSelect(); });
  connect(Ui->redText, &QTextEdit::textChanged, this, [this] { redTextChange(); });
  connect(reChangeTimer, &QTimer::timeout, this, [this] { reChangeTimerTimer(); });
  connect(Ui->btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
  connect(Ui->btnSmsTemplate, &QPushButton::clicked, this, [this] { btnSmsTemplateClick(); });
  for (QAction* action : findChildren<QAction*>()) {
    const QVariant type = action->property(kCommandTypeProperty);
    if (type.isValid()) connect(action, &QAction::triggered, this, [this, type] { TemplateCommandClick(type.toInt()); });
  }
  LoadPhoneBook();
}

TsmsForm::~TsmsForm() {
  // The place and the target are kept for the next opening.
  Monitor.Settings().SaveLayout(TWindowKind::Sms, FormatSmsLayout(y(), x(), Ui->cDevice->currentText()));
  PhoneBook.clear();
}

void TsmsForm::RestoreLayout(const std::string& layout) {
  const TSmsLayout parsed = ParseSmsLayout(layout);
  RememberedDevice = parsed.Target;
  if (parsed.Top != 0) move(x(), parsed.Top);
  if (parsed.Left != 0) move(parsed.Left, y());
}

void TsmsForm::FillDeviceList(const TFleet& fleet) {
  int selected = 0;
  TargetList = MakeTargetList(fleet, RememberedDevice, selected);
  QFont bold = Ui->cDevice->font();
  bold.setBold(true);
  for (size_t i = 0; i < TargetList.size(); ++i) {
    Ui->cDevice->addItem(TargetList[i].Text);
    if (TargetList[i].Kind == TTargetEntry::kGroup) Ui->cDevice->setItemData(static_cast<int>(i), bold, Qt::FontRole);
  }
  Ui->cDevice->setCurrentIndex(selected);
}

void TsmsForm::FreeDeviceItems() {
  Ui->cDevice->clear();
  TargetList.clear();
}

void TsmsForm::RefillDeviceList(const TFleet& fleet) {
  const TTargetEntry* before = Selected();
  const int kindBefore = before != nullptr ? before->Kind : -1;
  const QString textBefore = before != nullptr ? before->Text : QString();
  Ui->cDevice->setUpdatesEnabled(false);
  FreeDeviceItems();
  FillDeviceList(fleet);
  Ui->cDevice->setUpdatesEnabled(true);
  const TTargetEntry* after = Selected();
  if (after != nullptr && after->Kind == kindBefore && after->Text == textBefore) return;
  // Another target is selected now: what the window shows and would send follows it.
  if (FromTemplate) {
    SetFromTemplate(false);
    Ui->redText->clear();
  }
  cDeviceSelect();
}

const TTargetEntry* TsmsForm::Selected() const {
  const int index = Ui->cDevice->currentIndex();
  return index >= 0 && index < static_cast<int>(TargetList.size()) ? &TargetList[static_cast<size_t>(index)] : nullptr;
}

void TsmsForm::SetFromTemplate(bool fromTemplate) {
  FromTemplate = fromTemplate;
  // Composed commands are sent from the template's lists: the box only shows them.
  Ui->redText->setReadOnly(fromTemplate);
}

void TsmsForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (Shown || event->spontaneous()) return;
  Shown = true;
  cDeviceSelect();
  UpdateCountLabel();
}

void TsmsForm::EnableMenuUpTo(QMenu* menu, int level) {
  for (QAction* action : menu->actions()) {
    action->setEnabled(TagOf(action) <= level);
    if (action->menu() != nullptr) EnableMenuUpTo(action->menu(), level);
  }
}

void TsmsForm::cDeviceSelect() {
  const TTargetState state = SelectTarget(TargetList, Ui->cDevice->currentIndex(), PhoneBook);
  if (Selected() != nullptr) {
    Ui->edNumber->setText(state.Number);
    Ui->edNumber->setEnabled(state.NumberEnabled);
    EnableMenuUpTo(Ui->pSmsTemplate, state.Level);
  } else {
    EnableMenuUpTo(Ui->pSmsTemplate, -1);
  }
  DeviceCount = state.DeviceCount;
  UpdateCountLabel();
}

void TsmsForm::redTextChange() { reChangeTimer->start(); }

void TsmsForm::reChangeTimerTimer() {
  reChangeTimer->stop();
  MessageCount = CountMessages();
  UpdateCountLabel();
}

int TsmsForm::CountMessages() const {
  return ::CountMessages(TargetList, Ui->cDevice->currentIndex(), FromTemplate, Ui->redText->toPlainText(),
                         TTemplateLink(Monitor.TemplateWindow()).CommandLists(), PhoneBook);
}

void TsmsForm::UpdateCountLabel() { Ui->lblMsgCount->setText(CountLabel(MessageCount, DeviceCount, FromTemplate)); }

void TsmsForm::LoadPhoneBook() { PhoneBook = Monitor.Settings().PhoneBook(); }

std::string TsmsForm::FindPhoneNumber(int32_t device) const { return ::FindPhoneNumber(PhoneBook, device); }

void TsmsForm::SavePhoneNumber() {
  const TTargetEntry* entry = Selected();
  if (entry == nullptr || entry->Kind != TTargetEntry::kVehicle) return;
  // The phone book of this window is not updated: the window closes.
  ::SavePhoneNumber(Monitor.Settings(), PhoneBook, *entry->Car, Ui->edNumber->text());
}

void TsmsForm::AppendSmsListLog() {
  // A journal that cannot be written is passed over: the template is applied all the same.
  ::AppendSmsListLog(Monitor.ExeDir(), TTemplateLink(Monitor.TemplateWindow()).CommandLists());
}

void TsmsForm::RefuseSend(const QString& text, QWidget* focus) {
  QMessageBox::critical(this, QString::fromUtf8(kCaption), text);
  if (focus != nullptr && focus->isEnabled()) focus->setFocus();
}

void TsmsForm::btnSendClick() {
  if (Ui->redText->toPlainText().isEmpty()) {
    RefuseSend(QStringLiteral("Пустой текст сообщения"), Ui->redText);
    return;
  }
  // A typed number is digits after an optional "+"; a group's field shows the group, and its
  // vehicles' phones are checked with the messages below.
  const TTargetEntry* entry = Selected();
  const bool group = entry != nullptr && entry->Kind == TTargetEntry::kGroup;
  if (Ui->edNumber->text().isEmpty() || (!group && !IsSmsDestination(Cp1251FromQString(Ui->edNumber->text())))) {
    RefuseSend(QStringLiteral("Неверный номер"), Ui->edNumber);
    return;
  }
  const std::vector<TSmsPair> pairs =
      PlanSend(TargetList, Ui->cDevice->currentIndex(), FromTemplate, TTemplateLink(Monitor.TemplateWindow()).CommandLists(),
               Ui->edNumber->text(), Ui->redText->toPlainText(), PhoneBook);
  // The queue would refuse these messages one by one; the send goes whole or not at all.
  switch (CheckSendPlan(pairs, Monitor.SendQueueRoom())) {
    case TSendCheck::BadNumber:
      RefuseSend(QStringLiteral("Неверный номер"), Ui->edNumber);
      return;
    case TSendCheck::TextTooLong:
      RefuseSend(QStringLiteral("Слишком длинный текст сообщения"), Ui->redText);
      return;
    case TSendCheck::QueueFull:
      RefuseSend(QStringLiteral("Очередь отправки переполнена"), nullptr);
      return;
    case TSendCheck::Ok:
      break;
  }
  for (const TSmsPair& pair : pairs) Monitor.QueueSmsSend(pair.Phone, pair.Text);
  SavePhoneNumber();
  close();
}

void TsmsForm::btnSmsTemplateClick() {
  Ui->pSmsTemplate->popup(Ui->btnSmsTemplate->mapToGlobal(Ui->btnSmsTemplate->rect().topRight()));
}

void TsmsForm::PrepareTemplateForm(TTemplateLink& link) {
  const TTargetEntry* entry = Selected();
  if (entry != nullptr && entry->Kind == TTargetEntry::kGroup) {
    for (const auto& car : entry->Group->Cars) link.AddDeviceVersion(DeviceSeries(static_cast<uint32_t>(car->Device)));
    // Both fields show the group: the composed lines then carry the password placeholder.
    const QString name = QStringFromCp1251(entry->Group->Name);
    link.SetNumber(name, false);
    link.SetPassword(name, false);
    return;
  }
  link.SetNumber(Ui->edNumber->text(), true);
  link.SetPassword(entry != nullptr && entry->Kind == TTargetEntry::kVehicle ? QStringFromCp1251(StoredPassword(*entry->Car))
                                                                             : QString(),
                   true);
  if (entry != nullptr) link.AddDeviceVersion(static_cast<uint8_t>(entry->Series()));
}

void TsmsForm::TemplateCommandClick(int commandType) {
  TTemplateLink link(Monitor.TemplateWindow());
  if (!link.IsThere()) return;
  PrepareTemplateForm(link);
  link.Prepare(commandType);
  SetFromTemplate(false);
  const TTargetEntry* entry = Selected();
  const int kindBefore = entry != nullptr ? entry->Kind : -1;
  const QString textBefore = entry != nullptr ? entry->Text : QString();
  QPointer<TsmsForm> self(this);
  const int result = link.Exec();
  // The modal loop serves the fleet's reloads and the monitor's end: the window may be gone,
  // or show another target than the one the commands were composed for.
  if (!self || result != 1) return;
  entry = Selected();
  if (entry == nullptr || entry->Kind != kindBefore || entry->Text != textBefore) return;
  AppendSmsListLog();
  SetFromTemplate(true);
  FillTextFromTemplate(link);
}

void TsmsForm::FillTextFromTemplate(TTemplateLink& link) {
  Ui->redText->clear();
  const TTargetEntry* entry = Selected();
  if (entry == nullptr) return;
  // A number edited in the template window comes back to this one.
  if (entry->Kind != TTargetEntry::kGroup && link.IsThere() && link.Number() != Ui->edNumber->text())
    Ui->edNumber->setText(link.Number());
  QStringList lines;
  for (const std::string& line : TemplateTextLines(TargetList, Ui->cDevice->currentIndex(), link.CommandLists()))
    lines << QStringFromCp1251(line);
  if (!lines.isEmpty()) Ui->redText->setPlainText(lines.join(u'\n'));
}
