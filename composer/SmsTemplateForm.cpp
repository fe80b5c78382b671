#include "composer/SmsTemplateForm.h"

#include "common/Text.h"
#include "composer/CommandBuilders.h"
#include "composer/EditFilter.h"
#include "composer/KeyFilters.h"
#include "composer/PlacemarkMenu.h"
#include "composer/SelectorTable.h"
#include "composer/TemplateChecks.h"
#include "composer/TemplateModes.h"
#include "seam/WindowFont.h"
#include "ui_SmsTemplateForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>

#include <cstdio>

namespace {

// The class is exactly the one named, not one derived from it.
template <typename T>
bool IsExactly(const QObject* object) {
  return object->metaObject() == &T::staticMetaObject;
}

int TagOf(const QObject* object) { return object->property("Tag").toInt(); }

// Keeps a caption label as enabled as the field it names (its buddy): grey while the field is
// locked, black once its selector unlocks it, whatever the targets.
class TCaptionOfField : public QObject {
public:
  explicit TCaptionOfField(QLabel& label) : QObject(&label), Label(label) {
    Label.buddy()->installEventFilter(this);
    Follow();
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange) Follow();
    return QObject::eventFilter(watched, event);
  }

private:
  void Follow() { Label.setEnabled(Label.buddy()->isEnabled()); }
  QLabel& Label;
};

}  // namespace

TSmsTemplateForm::TSmsTemplateForm(TMonitorServices& monitor, QWidget* parent)
    : QDialog(parent), Monitor(monitor), Ui(std::make_unique<Ui::SmsTemplateForm>()) {
  Ui->setupUi(this);
  setFont(WindowFont());
  edNumber = Ui->edNumber;
  edPassword = Ui->edPassword;
  for (QWidget* widget : findChildren<QWidget*>()) {
    const QString name = widget->objectName();
    if (!name.isEmpty() && !name.startsWith("qt_")) Named[name.toStdString()] = widget;
    if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy()) new TCaptionOfField(*label);
  }

  connect(Ui->btnOK, &QPushButton::clicked, this, [this] { done(kResultOk); });
  connect(Ui->btnCancel, &QPushButton::clicked, this, [this] { done(kResultCancel); });
  for (const TSelectorRule& rule : SelectorRules()) {
    // The state-change signal, not the click: a selector set to the state it has runs
    // nothing, so a coupling stops once every selector of its group agrees.
    if (QCheckBox* selector = Selector(rule.Name))
      connect(selector, &QCheckBox::toggled, this, [this, &rule](bool checked) { SelectorToggled(rule, checked); });
  }
  for (auto& [name, widget] : Named) {
    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (!edit) continue;
    if (std::optional<TKeyFilter> filter = KeyFilterOf(name))
      new TEditFilter(*edit, *filter, [this] { done(kResultCancel); });
  }
  FormCreate();
}

TSmsTemplateForm::~TSmsTemplateForm() { FormDestroy(); }

void TSmsTemplateForm::FormCreate() {
  for (const char* name : kSettingBoxes) {
    if (auto* box = findChild<QGroupBox*>(name)) {
      box->move(5, 115);
      box->hide();
    }
  }
  RestoreLayout(Monitor.Settings().Layout(TWindowKind::SmsTemplate));
  PlaceButtons();
  PlacemarkMenu = new TPlacemarkMenu(*this, Monitor);
  PlacemarkMenu->ConnectButtons();
}

void TSmsTemplateForm::FormDestroy() {
  Monitor.Settings().SaveLayout(TWindowKind::SmsTemplate, LayoutText());
  CommandLists.Clear();
}

void TSmsTemplateForm::RestoreLayout(const std::string& layout) {
  int top = 0;
  int left = 0;
  std::sscanf(layout.c_str(), "%d,%d", &top, &left);
  if (top != 0) move(x(), top);
  if (left != 0) move(left, y());
}

std::string TSmsTemplateForm::LayoutText() const {
  char text[32];
  std::snprintf(text, sizeof text, "%d,%d", y(), x());
  return text;
}

void TSmsTemplateForm::AddDeviceVersion(uint8_t series) { TargetVersions.AddDeviceVersion(series); }

namespace {

// The field is emptied and enabled, takes the text, and is locked when it only shows the
// target.
void SetRequestField(QLineEdit& field, const QString& text, bool editable) {
  field.clear();
  field.setEnabled(true);
  field.setText(text);
  field.setEnabled(editable);
}

}  // namespace

void TSmsTemplateForm::SetNumber(const QString& number, bool editable) { SetRequestField(*edNumber, number, editable); }

QString TSmsTemplateForm::Number() const { return edNumber->text(); }

void TSmsTemplateForm::SetPassword(const QString& password, bool editable) {
  SetRequestField(*edPassword, password, editable);
}
bool TSmsTemplateForm::HasDeviceVersion(uint8_t series) const { return TargetVersions.HasDeviceVersion(series); }
bool TSmsTemplateForm::HasLegacyVersion() const { return TargetVersions.HasLegacyVersion(); }
void TSmsTemplateForm::ClearCommandLists() { CommandLists.Clear(); }

void TSmsTemplateForm::PrepareCmdGet() { PrepareCommand(1); }
void TSmsTemplateForm::PrepareCmdBasePrm() { PrepareCommand(2); }
void TSmsTemplateForm::PrepareCmdDigitInPrm() { PrepareCommand(3); }
void TSmsTemplateForm::PrepareCmdAnalogInPrm() { PrepareCommand(4); }
void TSmsTemplateForm::PrepareCmdControlPointPrm() { PrepareCommand(5); }
void TSmsTemplateForm::PrepareCmdVoicePrm() { PrepareCommand(6); }
void TSmsTemplateForm::PrepareCmdAdditionPrm() { PrepareCommand(7); }
void TSmsTemplateForm::PrepareCmdGetSettingsChange() { PrepareCommand(8); }
void TSmsTemplateForm::PrepareCmdExecuteUssd() { PrepareCommand(9); }
void TSmsTemplateForm::PrepareCmdSetOutput() { PrepareCommand(10); }
void TSmsTemplateForm::PrepareCmdPulseOutput() { PrepareCommand(11); }
void TSmsTemplateForm::PrepareCmdResetDevice() { PrepareCommand(12); }
void TSmsTemplateForm::PrepareGetBasePrm() { PrepareCommand(13); }
void TSmsTemplateForm::PrepareGetDigitInPrm() { PrepareCommand(14); }
void TSmsTemplateForm::PrepareGetAnalogInPrm() { PrepareCommand(15); }
void TSmsTemplateForm::PrepareGetControlPointPrm() { PrepareCommand(16); }
void TSmsTemplateForm::PrepareGetVoicePrm() { PrepareCommand(17); }
void TSmsTemplateForm::PrepareGetAdditionPrm() { PrepareCommand(18); }
void TSmsTemplateForm::PrepareGetGconf1() { PrepareCommand(19); }
void TSmsTemplateForm::PrepareGetGconf2() { PrepareCommand(20); }
void TSmsTemplateForm::PrepareGetGconf3() { PrepareCommand(21); }
void TSmsTemplateForm::PrepareGetGconf4() { PrepareCommand(22); }

void TSmsTemplateForm::PrepareCommand(int commandType) {
  const TTemplateMode* mode = FindTemplateMode(commandType);
  if (!mode) return;
  CommandType = static_cast<uint8_t>(commandType);
  QueryMode = mode->Query;
  HideSettingsGroups();
  auto* box = findChild<QGroupBox*>(mode->Box);
  ShowSettingsGroup(box);
  if (mode->ResetSelectors) {
    ResetGroupControls(box);
    EnableGroupSelectors(box);
  }
  setWindowTitle(QString::fromUtf8(mode->Caption));
}

void TSmsTemplateForm::HideSettingsGroups() {
  for (const char* name : kSettingBoxes)
    if (auto* box = findChild<QGroupBox*>(name)) box->hide();
}

void TSmsTemplateForm::ShowSettingsGroup(QGroupBox* box) {
  box->show();
  resize(box->x() + box->width() + 10, box->y() + box->height() + 80);
}

void TSmsTemplateForm::ResetGroupControls(QWidget* container) {
  for (QObject* child : container->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget) continue;
    if (IsExactly<QGroupBox>(widget)) {
      ResetGroupControls(widget);
      continue;
    }
    widget->setEnabled(false);
    if (IsExactly<QCheckBox>(widget) && TagOf(widget) != 0) {
      // Everything of the box is being disabled and unticked anyway: the couplings need not run.
      const QSignalBlocker blocker(widget);
      static_cast<QCheckBox*>(widget)->setChecked(false);
    }
  }
}

void TSmsTemplateForm::EnableGroupSelectors(QWidget* box) {
  for (uint8_t series = 1; series <= 5; ++series)
    if (HasDeviceVersion(series)) EnableSelectorsUpTo(box, series);
}

void TSmsTemplateForm::EnableSelectorsUpTo(QWidget* container, int series) {
  for (QObject* child : container->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget) continue;
    if (IsExactly<QGroupBox>(widget)) {
      EnableSelectorsUpTo(widget, series);
      continue;
    }
    const int tag = TagOf(widget);
    if (IsExactly<QCheckBox>(widget) && tag != 0 && tag <= series) widget->setEnabled(true);
  }
}

QCheckBox* TSmsTemplateForm::Selector(const std::string& name) const {
  auto it = Named.find(name);
  return it == Named.end() ? nullptr : qobject_cast<QCheckBox*>(it->second);
}

void TSmsTemplateForm::SelectorToggled(const TSelectorRule& rule, bool checked) {
  // A query asks for the ticked settings: no field is entered and nothing is pulled along.
  if (QueryMode) return;
  for (const std::string& name : rule.Row) {
    auto it = Named.find(name);
    if (it != Named.end()) it->second->setEnabled(checked);
  }
  for (const TCoupling& coupling : rule.Couplings) {
    const QCheckBox* guard = coupling.WhileTicked.empty() ? nullptr : Selector(coupling.WhileTicked);
    if (!CouplingApplies(coupling, TargetVersions, checked, guard && guard->isChecked())) continue;
    for (const std::string& follower : coupling.Followers)
      if (QCheckBox* selector = Selector(follower)) selector->setChecked(checked);
  }
}

TFormSnapshot TSmsTemplateForm::Snapshot() const {
  TFormSnapshot snapshot;
  for (const auto& [name, widget] : Named) {
    TControlState& state = snapshot.Set(name);
    state.Enabled = widget->isEnabledTo(this);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      state.Text = edit->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
      state.Text = combo->currentText();
      state.ItemIndex = combo->currentIndex();
    } else if (auto* check = qobject_cast<QCheckBox*>(widget)) {
      state.Checked = check->isChecked();
    }
  }
  return snapshot;
}

bool TSmsTemplateForm::CheckIp(const QString& text) { return ::CheckIp(Cp1251FromQString(text)); }

void TSmsTemplateForm::ApplyWriteBack(const std::map<std::string, QString>& texts) {
  for (const auto& [name, text] : texts) {
    auto it = Named.find(name);
    if (it == Named.end()) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(it->second)) edit->setText(text);
  }
}

bool TSmsTemplateForm::FormCloseQuery(int modalResult) {
  bool canClose = true;
  ErrorText.clear();
  if (modalResult == kResultOk) {
    canClose = false;
    const TFormSnapshot snapshot = Snapshot();
    ErrorText = ValidateCommand(CommandType, snapshot);
    if (ErrorText.isEmpty()) {
      TBuildContext context{snapshot, TargetVersions, CommandLists, {}};
      canClose = ComposeCommand(CommandType, context);
      ApplyWriteBack(context.WriteBack);
    }
  }
  if (!ErrorText.isEmpty()) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8("Orvex Монитор"), ErrorText, QMessageBox::Ok, this);
    box.exec();
  }
  if (canClose) TargetVersions.Clear();
  return canClose;
}

void TSmsTemplateForm::done(int result) {
  if (!FormCloseQuery(result)) return;
  QDialog::done(result);
}

void TSmsTemplateForm::reject() { done(kResultCancel); }

void TSmsTemplateForm::keyPressEvent(QKeyEvent* event) {
  // Esc cancels; the character itself goes nowhere.
  if (event->key() == Qt::Key_Escape) {
    done(kResultCancel);
    return;
  }
  QDialog::keyPressEvent(event);
}

void TSmsTemplateForm::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  PlaceButtons();
}

void TSmsTemplateForm::PlaceButtons() {
  // "ОК" and "Отмена" stay at the bottom right of the client area.
  const int top = height() - Ui->btnCancel->height() - 8;
  Ui->btnCancel->move(width() - Ui->btnCancel->width() - 8, top);
  Ui->btnOK->move(Ui->btnCancel->x() - Ui->btnOK->width() - 8, top);
}
