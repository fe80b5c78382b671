// The template window, driven through its real controls: the mode entries, the offering and
// coupling of the selectors, the checks on OK, the ways out, the edits' character filters
// and the brackets.

#include "app/WindowFactory.h"
#include "composer/SelectorTable.h"
#include "composer/SmsTemplateForm.h"
#include "composer/TemplateModes.h"
#include "seam/MonitorServices.h"
#include "shell/Settings.h"
#include "support/FakeMonitor.h"
#include "support/ModalBoxes.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using TEntry = void (TSmsTemplateForm::*)();

// What a message box showed before the test answered it.
struct TShownMessage {
  bool Shown = false;
  QString Text;
  QString Title;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class SmsTemplateFormTest : public ::testing::Test {
protected:
  TTempFolder Folder{"orvex-template"};
  std::unique_ptr<TFakeMonitor> Monitor;
  std::unique_ptr<TSmsTemplateForm> Form;
  // The form's widgets by name, and the selectors of each box.
  const TSmsTemplateForm* Indexed = nullptr;
  std::map<std::string, QWidget*> Widgets;
  std::map<std::string, std::vector<const TSelectorRule*>> Boxes;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Folder.IsCreated());
    Monitor = std::make_unique<TFakeMonitor>(Folder.Path() + "/");
    Form = std::make_unique<TSmsTemplateForm>(*Monitor);
  }
  void TearDown() override { Form.reset(); }

  template <typename T = QWidget>
  T* Find(const char* name) {
    if (Indexed != Form.get()) {
      Widgets.clear();
      Boxes.clear();
      for (QWidget* widget : Form->findChildren<QWidget*>()) Widgets[widget->objectName().toStdString()] = widget;
      Indexed = Form.get();
    }
    auto it = Widgets.find(name);
    T* widget = it == Widgets.end() ? nullptr : qobject_cast<T*>(it->second);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QCheckBox* Check(const std::string& name) { return Find<QCheckBox>(name.c_str()); }
  QLineEdit* Edit(const std::string& name) { return Find<QLineEdit>(name.c_str()); }

  // A use of the window as the send window makes it: number, password, targets, mode, shown.
  void Open(std::set<uint8_t> series, TEntry entry, const char* number = "+79001234567",
            const char* password = "12345678") {
    Form->edNumber->setText(number);
    Form->edPassword->setText(password);
    for (uint8_t s : series) Form->AddDeviceVersion(s);
    (Form.get()->*entry)();
    Form->show();
  }

  void Click(const std::string& name) { QTest::mouseClick(Check(name), Qt::LeftButton); }
  // A value check box is clicked on its indicator (its caption may not reach its middle).
  void ClickValue(const std::string& name) {
    QCheckBox* box = Check(name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  }
  // Types each character as a key press with its text, Cyrillic ones included.
  static void Type(QWidget* widget, const QString& text) {
    for (QChar ch : text) {
      if (ch.unicode() < 0x80)
        QTest::keyClick(widget, static_cast<char>(ch.unicode()));
      else
        QTest::sendKeyEvent(QTest::Click, widget, static_cast<Qt::Key>(ch.toUpper().unicode()), QString(ch),
                            Qt::NoModifier);
    }
  }

  // Runs `action` while a message box may come up; the box is answered and what it showed is
  // returned.
  TShownMessage WithMessageAnswered(const std::function<void()>& action) {
    const std::vector<TSeenBox> boxes = AnswerModals(action, {}, QMessageBox::Ok);
    QCoreApplication::processEvents();
    EXPECT_LE(boxes.size(), 1u);
    TShownMessage shown;
    if (boxes.empty()) return shown;
    shown.Shown = true;
    shown.Text = boxes[0].Text;
    shown.Title = boxes[0].Caption;
    shown.Icon = boxes[0].Icon;
    return shown;
  }
  TShownMessage PressOk() {
    return WithMessageAnswered([this] { QTest::mouseClick(Find<QPushButton>("btnOK"), Qt::LeftButton); });
  }

  // The selectors of a box, by their rows in the table.
  const std::vector<const TSelectorRule*>& SelectorsIn(const char* boxName) {
    auto* box = Find<QGroupBox>(boxName);
    auto [it, added] = Boxes.try_emplace(boxName);
    if (added)
      for (const TSelectorRule& rule : SelectorRules())
        if (box->isAncestorOf(Check(rule.Name))) it->second.push_back(&rule);
    return it->second;
  }
  std::set<std::string> TickedIn(const char* boxName) {
    std::set<std::string> ticked;
    for (const TSelectorRule* rule : SelectorsIn(boxName))
      if (Check(rule->Name)->isChecked()) ticked.insert(rule->Name);
    return ticked;
  }
  // The label that captions a field of a row, named after it ("edWritePeriod" is captioned by
  // "lblWritePeriod"; a coordinate row by its degrees: "edCP1Latd" by "lblCP1Lat"); null for
  // the fields beside a captioned one and for fields with their caption on themselves.
  QLabel* CaptionOf(const std::string& field) {
    if (field.rfind("ed", 0) != 0 && field.rfind("cb", 0) != 0) return nullptr;
    std::string name = "lbl" + field.substr(2);
    if (name.ends_with("Latd") || name.ends_with("Lond")) name.pop_back();
    auto it = Widgets.find(name);
    return it == Widgets.end() ? nullptr : qobject_cast<QLabel*>(it->second);
  }
  // Every row control is enabled exactly while its selector is ticked (set modes), or never
  // (queries); a field's caption reads as enabled exactly while its field is.
  void ExpectRowsFollowTicks(const char* boxName, const std::string& context) {
    for (const TSelectorRule* rule : SelectorsIn(boxName)) {
      const bool ticked = Check(rule->Name)->isChecked() && !Form->QueryMode;
      for (const std::string& control : rule->Row) {
        EXPECT_EQ(Find(control.c_str())->isEnabled(), ticked) << context << ": " << control << " of " << rule->Name;
        if (QLabel* caption = CaptionOf(control)) {
          EXPECT_EQ(caption->buddy(), Find(control.c_str())) << caption->objectName().toStdString();
          EXPECT_EQ(caption->isEnabled(), ticked) << context << ": caption of " << control;
        }
      }
    }
  }
};

// The controls and their Tags are what the selector table and the builders name.
TEST_F(SmsTemplateFormTest, EverySelectorOfTheTableIsInTheWindowWithItsTag) {
  EXPECT_EQ(SelectorRules().size(), 75u);
  std::set<std::string> selectors;
  for (const TSelectorRule& rule : SelectorRules()) {
    selectors.insert(rule.Name);
    QCheckBox* selector = Check(rule.Name);
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(selector->property("Tag").toInt(), rule.Tag) << rule.Name;
    EXPECT_TRUE(selector->text().isEmpty()) << rule.Name;
    for (const std::string& control : rule.Row) EXPECT_NE(Form->findChild<QWidget*>(control.c_str()), nullptr) << control;
    for (const TCoupling& coupling : rule.Couplings)
      for (const std::string& follower : coupling.Followers) EXPECT_NE(FindSelectorRule(follower), nullptr) << follower;
  }
  EXPECT_EQ(selectors.size(), 75u);
  for (QCheckBox* box : Form->findChildren<QCheckBox*>()) {
    const std::string name = box->objectName().toStdString();
    if (selectors.count(name)) continue;
    EXPECT_EQ(name.rfind("cb", 0), 0u) << name;
    EXPECT_EQ(box->property("Tag").toInt(), 0) << name;
  }
}

TEST_F(SmsTemplateFormTest, ValueControlsHoldTheirItemsAndLengths) {
  struct Case {
    const char* Combo;
    std::vector<const char*> Items;
  };
  const Case combos[] = {
      {"cbMethodWrite", {"Адаптивная запись", "Запись по времени"}},
      {"cbIn3Level", {"Масса (-)", "Питание (+)"}},
      {"cbIn4Mode", {"A - обычный вход", "B - накопительный счетчик", "C - периодический счетчик"}},
      {"cbAInAdaptiveMode", {"Не реже периода опроса (рекомендуется)", "Не чаще периода опроса"}},
      {"cbCP1ns", {"N", "S"}},
      {"cbCP3ew", {"E", "W"}},
  };
  for (const Case& c : combos) {
    auto* combo = Find<QComboBox>(c.Combo);
    ASSERT_EQ(combo->count(), static_cast<int>(c.Items.size())) << c.Combo;
    for (int i = 0; i < combo->count(); ++i) EXPECT_EQ(combo->itemText(i), U(c.Items[i])) << c.Combo;
  }
  struct Length {
    const char* Edit;
    int Max;
  };
  const Length lengths[] = {{"edPassword", 8}, {"edCP1Latd", 2}, {"edCP2Lond", 3}, {"edCP3Latm", 2},
                            {"edCP1Lonm", 2},  {"edCP2Latmm", 5}, {"edCP3Lonmm", 5}};
  for (const Length& l : lengths) EXPECT_EQ(Edit(l.Edit)->maxLength(), l.Max) << l.Edit;
  struct Caption {
    const char* Control;
    const char* Text;
  };
  const Caption captions[] = {
      {"NumberBox", "Параметры запроса"},
      {"BaseSettingsBox", "Настройки устройства"},
      {"DigitalInBox", "Настройки цифровых входов"},
      {"AnalogInBox", "Настройки аналоговых входов"},
      {"ControlPiontBox", "Контрольные точки"},
      {"VoiceSettingsBox", "Настройки голосовой связи"},
      {"AddSettingsBox", "Дополнительные настройки"},
      {"SetOutBox", "Установить состояние выхода"},
      {"PulseOutBox", "Сгенерировать импульс на выходе"},
      {"USSDBox", "Выполнить USSD запрос"},
      {"In1Box", "Вход 1"},
      {"In4Box", "Вход 4"},
      {"GroupBox1", "Вход1"},
      {"GroupBox2", "Вход2"},
      {"GroupBox4", "Контрольная точка 1"},
      {"GroupBox3", "Контрольная точка 2"},
      {"GroupBox5", "Контрольная точка 3"},
      {"cbStaticNav", "Статическая обработка"},
      {"cbWideRecord", "Запись с вектором скорости"},
      {"cbIn2Gprs", "Отсылать по GPRS"},
      {"cbIn3Sms", "Отсылать по CMC"},
      {"cbAIn2AsDigit", "Записывать как цифровой (5)"},
      {"cbRingOut", "Индикация звонка на выходе"},
      {"cbOnlyIbutton", "Разрешить работу с iButton"},
      {"cbSetOut1", "Состояние выхода 1 (вкл-выкл)"},
      {"cbSetOut2", "Состояние выхода 2 (вкл-выкл)"},
      {"cbSetOut1Mem", "Запомнить состояние"},
      {"cbSetOut2Mem", "Запомнить состояние"},
      {"btnCP2FromGoogle", "Взять из Google Earth"},
  };
  for (const Caption& c : captions) {
    QWidget* control = Find(c.Control);
    ASSERT_NE(control, nullptr);
    if (auto* box = qobject_cast<QGroupBox*>(control))
      EXPECT_EQ(box->title(), U(c.Text)) << c.Control;
    else
      EXPECT_EQ(qobject_cast<QAbstractButton*>(control)->text(), U(c.Text)) << c.Control;
  }
  // The three buttons have one size (their menu opens at the right edge of the first one's
  // width), 18 high, as wide as their caption needs.
  EXPECT_EQ(Find("btnCP3FromGoogle")->height(), 18);
  for (const char* button : {"btnCP1FromGoogle", "btnCP2FromGoogle"})
    EXPECT_EQ(Find(button)->size(), Find("btnCP3FromGoogle")->size()) << button;
  // The nested boxes lie in their setting boxes.
  EXPECT_EQ(Find("In3Box")->parentWidget(), Find("DigitalInBox"));
  EXPECT_EQ(Find("GroupBox2")->parentWidget(), Find("AnalogInBox"));
  EXPECT_EQ(Find("GroupBox5")->parentWidget(), Find("ControlPiontBox"));
  EXPECT_EQ(Find("btnOK")->parentWidget(), Form.get());
  EXPECT_EQ(Find<QPushButton>("btnOK")->text(), U("ОК"));
  EXPECT_EQ(Find<QPushButton>("btnCancel")->text(), U("Отмена"));
}

TEST_F(SmsTemplateFormTest, EachModeEntryShowsItsBoxSizedAndCaptioned) {
  struct Case {
    TEntry Entry;
    int Type;
    bool Query;
    const char* Box;
    const char* Caption;
  };
  const Case cases[] = {
      {&TSmsTemplateForm::PrepareCmdGet, 1, false, "NumberBox", "Запросить координаты"},
      {&TSmsTemplateForm::PrepareCmdBasePrm, 2, false, "BaseSettingsBox", "Настройки устройства"},
      {&TSmsTemplateForm::PrepareCmdDigitInPrm, 3, false, "DigitalInBox", "Настройки цифровых входов"},
      {&TSmsTemplateForm::PrepareCmdAnalogInPrm, 4, false, "AnalogInBox", "Настройки аналоговых входов"},
      {&TSmsTemplateForm::PrepareCmdControlPointPrm, 5, false, "ControlPiontBox", "Контрольные точки"},
      {&TSmsTemplateForm::PrepareCmdVoicePrm, 6, false, "VoiceSettingsBox", "Настройки голосовой связи"},
      {&TSmsTemplateForm::PrepareCmdAdditionPrm, 7, false, "AddSettingsBox", "Дополнительные настройки"},
      {&TSmsTemplateForm::PrepareCmdGetSettingsChange, 8, false, "NumberBox", "Запросить изменение настроек"},
      {&TSmsTemplateForm::PrepareCmdExecuteUssd, 9, false, "USSDBox", "Выполнить USSD запрос"},
      {&TSmsTemplateForm::PrepareCmdSetOutput, 10, false, "SetOutBox", "Установить состояние выхода"},
      {&TSmsTemplateForm::PrepareCmdPulseOutput, 11, false, "PulseOutBox", "Сгенерировать импульс на выходе"},
      {&TSmsTemplateForm::PrepareCmdResetDevice, 12, false, "NumberBox", "Сбросить прибор"},
      {&TSmsTemplateForm::PrepareGetBasePrm, 13, true, "BaseSettingsBox", "Запросить настройки устройства"},
      {&TSmsTemplateForm::PrepareGetDigitInPrm, 14, true, "DigitalInBox", "Запросить настройки цифровых входов"},
      {&TSmsTemplateForm::PrepareGetAnalogInPrm, 15, true, "AnalogInBox", "Запросить настройки аналоговых входов"},
      {&TSmsTemplateForm::PrepareGetControlPointPrm, 16, true, "ControlPiontBox", "Запросить настройки контрольных точек"},
      {&TSmsTemplateForm::PrepareGetVoicePrm, 17, true, "VoiceSettingsBox", "Запросить настройки голосовой связи"},
      {&TSmsTemplateForm::PrepareGetAdditionPrm, 18, true, "AddSettingsBox", "Запросить дополнительные настройки"},
      {&TSmsTemplateForm::PrepareGetGconf1, 19, true, "NumberBox", "Запросить настройки прибора 1"},
      {&TSmsTemplateForm::PrepareGetGconf2, 20, true, "NumberBox", "Запросить настройки прибора 2"},
      {&TSmsTemplateForm::PrepareGetGconf3, 21, true, "NumberBox", "Запросить настройки аналоговых входов"},
      {&TSmsTemplateForm::PrepareGetGconf4, 22, true, "NumberBox", "Запросить настройки контрольных точек"},
  };
  auto* numberBox = Find<QGroupBox>("NumberBox");
  EXPECT_EQ(numberBox->pos(), QPoint(5, 5));
  EXPECT_EQ(numberBox->title(), U("Параметры запроса"));
  for (const Case& c : cases) {
    Open({5}, c.Entry);
    EXPECT_EQ(Form->CommandType, c.Type) << c.Caption;
    EXPECT_EQ(Form->QueryMode, c.Query) << c.Caption;
    EXPECT_EQ(Form->windowTitle(), U(c.Caption));
    auto* shown = Find<QGroupBox>(c.Box);
    EXPECT_EQ(Form->size(), QSize(shown->x() + shown->width() + 10, shown->y() + shown->height() + 80)) << c.Caption;
    EXPECT_TRUE(numberBox->isVisible());
    for (const char* name : kSettingBoxes) {
      auto* box = Find<QGroupBox>(name);
      EXPECT_EQ(box->pos(), QPoint(5, 115)) << name;
      EXPECT_EQ(box->isVisible(), std::string(name) == c.Box) << c.Caption << ": " << name;
    }
    // The buttons stay inside the window at its bottom right.
    auto* cancel = Find<QPushButton>("btnCancel");
    EXPECT_TRUE(Form->rect().contains(cancel->geometry())) << c.Caption;
    EXPECT_GT(cancel->y(), shown->y() + shown->height()) << c.Caption;
    EXPECT_LT(Find<QPushButton>("btnOK")->x(), cancel->x());
    Form->reject();
  }
}

TEST_F(SmsTemplateFormTest, SelectorsOfTheHighestTargetedSeriesAreOfferedAndNothingElse) {
  struct Case {
    std::set<uint8_t> Series;
    TEntry Entry;
    const char* Box;
  };
  const Case cases[] = {
      {{2}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox"},
      {{1, 5}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox"},
      {{3}, &TSmsTemplateForm::PrepareCmdDigitInPrm, "DigitalInBox"},
      {{4, 1}, &TSmsTemplateForm::PrepareCmdAnalogInPrm, "AnalogInBox"},
      {{5}, &TSmsTemplateForm::PrepareCmdControlPointPrm, "ControlPiontBox"},
      {{4}, &TSmsTemplateForm::PrepareGetVoicePrm, "VoiceSettingsBox"},
      {{1}, &TSmsTemplateForm::PrepareCmdSetOutput, "SetOutBox"},
      {{2, 3}, &TSmsTemplateForm::PrepareCmdPulseOutput, "PulseOutBox"},
  };
  for (const Case& c : cases) {
    Open(c.Series, c.Entry);
    const int highest = *c.Series.rbegin();
    std::set<std::string> selectors;
    for (const TSelectorRule* rule : SelectorsIn(c.Box)) {
      selectors.insert(rule->Name);
      EXPECT_EQ(Check(rule->Name)->isEnabled(), rule->Tag <= highest) << c.Box << " " << highest << ": " << rule->Name;
      EXPECT_FALSE(Check(rule->Name)->isChecked()) << rule->Name;
    }
    // Fields, labels, brackets and buttons wait for their selectors; group boxes stay enabled.
    for (QWidget* widget : Find(c.Box)->findChildren<QWidget*>()) {
      const std::string name = widget->objectName().toStdString();
      if (name.empty() || selectors.count(name) || name.rfind("qt_", 0) == 0) continue;
      if (qobject_cast<QGroupBox*>(widget))
        EXPECT_TRUE(widget->isEnabled()) << name;
      else
        EXPECT_FALSE(widget->isEnabledTo(Form.get())) << c.Box << ": " << name;
    }
    Form->reject();
  }
  // Series 2 alone: the base settings of series 1 and 2 only.
  Open({2}, &TSmsTemplateForm::PrepareCmdBasePrm);
  for (const char* offered : {"selWritePeriod", "selSendPeriod", "selMethodWrite", "selBaseServer", "selBasePort"})
    EXPECT_TRUE(Check(offered)->isEnabled()) << offered;
  for (const char* withheld : {"selAPN", "selStaticNav", "selWideRecord", "selDevAlias", "selReservServer"})
    EXPECT_FALSE(Check(withheld)->isEnabled()) << withheld;
}

// Series 4 has no low-battery phone command: a series-4 target is not offered it, a target
// with a series-5 device is.
TEST_F(SmsTemplateFormTest, LowBatteryPhoneIsOfferedToSeries5Only) {
  struct Case { std::set<uint8_t> Series; bool Offered; };
  const Case cases[] = {{{4}, false}, {{1, 2, 3, 4}, false}, {{5}, true}, {{4, 5}, true}};
  for (const Case& c : cases) {
    Open(c.Series, &TSmsTemplateForm::PrepareCmdAdditionPrm);
    EXPECT_EQ(Check("selAkkumTel")->isEnabled(), c.Offered) << *c.Series.rbegin();
    Form->reject();
  }
}

TEST_F(SmsTemplateFormTest, CouplingsPullTheSelectorsThatGoTogether) {
  struct Case {
    const char* Name;
    std::set<uint8_t> Series;
    TEntry Entry;
    const char* Box;
    std::vector<std::string> Clicks;
    std::set<std::string> Ticked;
  };
  const std::set<std::string> base = {"selWritePeriod", "selSendPeriod", "selMethodWrite", "selBaseServer",
                                      "selBasePort"};
  const Case cases[] = {
      {"send period alone", {2}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox", {"selSendPeriod"},
       {"selSendPeriod", "selWritePeriod"}},
      {"base server ticks all five", {2}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox",
       {"selBaseServer"}, base},
      {"send period unticked afterwards", {2}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox",
       {"selBaseServer", "selSendPeriod"}, {}},
      {"write period unticked leaves the method", {1}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox",
       {"selBaseServer", "selWritePeriod"}, {}},
      {"group of series 1 and 5", {1, 5}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox",
       {"selBasePort", "selDevAlias"}, {"selWritePeriod", "selSendPeriod", "selMethodWrite", "selBaseServer",
                                        "selBasePort", "selDevAlias"}},
      {"series 5 sets the periods alone", {5}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox",
       {"selSendPeriod", "selBaseServer"}, {"selSendPeriod", "selBaseServer"}},
      {"series 4 navigation pair", {4}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox", {"selWideRecord"},
       {"selWideRecord", "selStaticNav"}},
      {"series 5 navigation alone", {5}, &TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox", {"selStaticNav"},
       {"selStaticNav"}},
      {"series 5 input level", {5}, &TSmsTemplateForm::PrepareCmdDigitInPrm, "DigitalInBox", {"selIn1Level"},
       {"selIn1Level", "selIn1Mode", "selIn1Gprs", "selIn1Sms"}},
      {"series 5 input phone alone", {5}, &TSmsTemplateForm::PrepareCmdDigitInPrm, "DigitalInBox",
       {"selIn1TelNum"}, {"selIn1TelNum"}},
      {"series 4 input with its phone", {4}, &TSmsTemplateForm::PrepareCmdDigitInPrm, "DigitalInBox",
       {"selIn3Sms"}, {"selIn3Level", "selIn3Mode", "selIn3Gprs", "selIn3Sms", "selIn3TelNum"}},
      {"series 4 phone pulls its input", {4}, &TSmsTemplateForm::PrepareCmdDigitInPrm, "DigitalInBox",
       {"selIn2TelNum", "selIn4Alias"}, {"selIn2Level", "selIn2Mode", "selIn2Gprs", "selIn2Sms", "selIn2TelNum"}},
      {"series 4 analog period and mode", {4}, &TSmsTemplateForm::PrepareCmdAnalogInPrm, "AnalogInBox",
       {"selAInPeriod"}, {"selAInPeriod", "selAInAdaptiveMode"}},
      {"series 4 analog input triple", {4, 5}, &TSmsTemplateForm::PrepareCmdAnalogInPrm, "AnalogInBox",
       {"selAIn2AsDigit", "selAIn1DigitLevel"},
       {"selAIn2AsDigit", "selAIn2AveragePeriod", "selAIn2AdaptiveLevel", "selAIn1DigitLevel"}},
      {"series 2 analog period alone", {2}, &TSmsTemplateForm::PrepareCmdAnalogInPrm, "AnalogInBox",
       {"selAInPeriod"}, {"selAInPeriod"}},
      {"remembered output ticks its output", {4}, &TSmsTemplateForm::PrepareCmdSetOutput, "SetOutBox",
       {"selSetOut2Mem"}, {"selSetOut2Mem", "selSetOut2"}},
      {"unticked output unticks its memory", {4}, &TSmsTemplateForm::PrepareCmdSetOutput, "SetOutBox",
       {"selSetOut2Mem", "selSetOut2"}, {}},
      {"ticked output leaves its memory", {4}, &TSmsTemplateForm::PrepareCmdSetOutput, "SetOutBox",
       {"selSetOut1"}, {"selSetOut1"}},
      {"unticked memory leaves its output", {4}, &TSmsTemplateForm::PrepareCmdSetOutput, "SetOutBox",
       {"selSetOut1Mem", "selSetOut1Mem"}, {"selSetOut1"}},
      {"query ticks nothing else", {2}, &TSmsTemplateForm::PrepareGetBasePrm, "BaseSettingsBox",
       {"selBaseServer"}, {"selBaseServer"}},
      {"query input level alone", {4}, &TSmsTemplateForm::PrepareGetDigitInPrm, "DigitalInBox", {"selIn1Level"},
       {"selIn1Level"}},
  };
  for (const Case& c : cases) {
    Open(c.Series, c.Entry);
    for (const std::string& click : c.Clicks) Click(click);
    EXPECT_EQ(TickedIn(c.Box), c.Ticked) << c.Name;
    ExpectRowsFollowTicks(c.Box, c.Name);
    Form->reject();
  }
}

// Every selector of every box, for every set of targeted series, ticked and unticked: each
// click ends, leaves the clicked selector as clicked and the rows as their selectors say.
TEST_F(SmsTemplateFormTest, EveryClickOfEverySelectorEndsForEveryTargetSet) {
  const std::pair<TEntry, const char*> boxes[] = {
      {&TSmsTemplateForm::PrepareCmdBasePrm, "BaseSettingsBox"},
      {&TSmsTemplateForm::PrepareCmdDigitInPrm, "DigitalInBox"},
      {&TSmsTemplateForm::PrepareCmdAnalogInPrm, "AnalogInBox"},
      {&TSmsTemplateForm::PrepareCmdControlPointPrm, "ControlPiontBox"},
      {&TSmsTemplateForm::PrepareCmdVoicePrm, "VoiceSettingsBox"},
      {&TSmsTemplateForm::PrepareCmdAdditionPrm, "AddSettingsBox"},
      {&TSmsTemplateForm::PrepareCmdSetOutput, "SetOutBox"},
      {&TSmsTemplateForm::PrepareCmdPulseOutput, "PulseOutBox"},
  };
  int clicks = 0;
  for (int mask = 1; mask < 32; ++mask) {
    std::set<uint8_t> series;
    for (uint8_t s = 1; s <= 5; ++s)
      if (mask & (1 << (s - 1))) series.insert(s);
    for (const auto& [entry, box] : boxes) {
      Open(series, entry);
      for (const TSelectorRule* rule : SelectorsIn(box)) {
        QCheckBox* selector = Check(rule->Name);
        if (!selector->isEnabled()) continue;
        for (bool state : {!selector->isChecked(), selector->isChecked()}) {
          Click(rule->Name);
          ++clicks;
          const std::string context = std::string(box) + " mask " + std::to_string(mask) + " " + rule->Name;
          ASSERT_EQ(selector->isChecked(), state) << context;
          ExpectRowsFollowTicks(box, context);
        }
      }
      Form->reject();
      ASSERT_FALSE(HasFailure());
    }
  }
  EXPECT_GT(clicks, 2000);
}

// A field's caption is grey while the field is locked and turns black with it, for one
// vehicle and for a group alike; a query unlocks no field, so its captions stay grey.
TEST_F(SmsTemplateFormTest, CaptionsTurnBlackWithTheirFieldsForOneVehicleAndForAGroup) {
  struct Case {
    const char* What;
    std::set<uint8_t> Series;
    TEntry Entry;
    bool Unlocked;
  };
  const Case cases[] = {
      {"one series-5 vehicle", {5}, &TSmsTemplateForm::PrepareCmdBasePrm, true},
      {"a group of series 4 and 5", {4, 5}, &TSmsTemplateForm::PrepareCmdBasePrm, true},
      {"a group of series 1 and 5", {1, 5}, &TSmsTemplateForm::PrepareCmdBasePrm, true},
      {"a query for one series-5 vehicle", {5}, &TSmsTemplateForm::PrepareGetBasePrm, false},
  };
  const char* const captions[] = {"lblDevAlias", "lblAPN", "lblAPNUser", "lblAPNPassword"};
  for (const Case& c : cases) {
    Open(c.Series, c.Entry);
    for (const char* caption : captions) EXPECT_FALSE(Find(caption)->isEnabled()) << c.What << ": " << caption;
    Click("selDevAlias");
    Click("selAPN");
    for (const char* caption : captions) EXPECT_EQ(Find(caption)->isEnabled(), c.Unlocked) << c.What << ": " << caption;
    EXPECT_FALSE(Find("lblWritePeriod")->isEnabled()) << c.What;
    Click("selAPN");
    EXPECT_FALSE(Find("lblAPNUser")->isEnabled()) << c.What;
    Form->reject();
  }
}

TEST_F(SmsTemplateFormTest, TicksAreResetOnTheNextUseWhileTypedValuesStay) {
  Open({4}, &TSmsTemplateForm::PrepareCmdBasePrm);
  Click("selWritePeriod");
  QTest::keyClicks(Edit("edWritePeriod"), "60");
  Click("selStaticNav");
  ClickValue("cbStaticNav");
  ASSERT_TRUE(Check("cbStaticNav")->isChecked());
  Form->reject();

  Open({4}, &TSmsTemplateForm::PrepareCmdBasePrm);
  for (const char* selector : {"selWritePeriod", "selSendPeriod", "selStaticNav", "selWideRecord"})
    EXPECT_FALSE(Check(selector)->isChecked()) << selector;
  EXPECT_FALSE(Edit("edWritePeriod")->isEnabled());
  EXPECT_EQ(Edit("edWritePeriod")->text(), "60");
  // A value check box keeps its state while disabled.
  EXPECT_FALSE(Check("cbStaticNav")->isEnabled());
  EXPECT_TRUE(Check("cbStaticNav")->isChecked());
  Click("selWritePeriod");
  EXPECT_TRUE(Edit("edWritePeriod")->isEnabled());
  EXPECT_EQ(Edit("edWritePeriod")->text(), "60");
}

TEST_F(SmsTemplateFormTest, FailedOkShowsTheFirstFailureAndKeepsTheWindowWithItsValues) {
  Open({2}, &TSmsTemplateForm::PrepareCmdBasePrm, "");
  Click("selWritePeriod");
  QTest::keyClicks(Edit("edWritePeriod"), "0");
  const TShownMessage message = PressOk();
  EXPECT_TRUE(message.Shown);
  EXPECT_EQ(message.Text, U("Не указан номер телефона"));
  EXPECT_EQ(message.Title, U("Orvex Монитор"));
  EXPECT_EQ(message.Icon, QMessageBox::Critical);
  EXPECT_EQ(Form->ErrorText, U("Не указан номер телефона"));
  EXPECT_TRUE(Form->isVisible());
  EXPECT_TRUE(Form->HasDeviceVersion(2));

  QTest::keyClicks(Form->edNumber, "+79001234567");
  EXPECT_EQ(PressOk().Text, U("Не корректный период записи"));
  EXPECT_TRUE(Form->isVisible());
  EXPECT_EQ(Edit("edWritePeriod")->text(), "0");
  EXPECT_TRUE(Check("selWritePeriod")->isChecked());

  // The fields of unticked selectors are not looked at.
  Click("selWritePeriod");
  Form->CommandLists[2] = {"previous"};
  const TShownMessage passed = PressOk();
  EXPECT_FALSE(passed.Shown) << passed.Text.toStdString();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Form->result(), TSmsTemplateForm::kResultOk);
  EXPECT_TRUE(Form->TargetVersions.Empty());
  EXPECT_TRUE(Form->ErrorText.isEmpty());
}

TEST_F(SmsTemplateFormTest, CancelAfterAFailedOkClosesAndEmptiesTheTargets) {
  Open({1, 5}, &TSmsTemplateForm::PrepareCmdVoicePrm);
  Form->CommandLists[4] = {"kept line"};
  Click("selVoiceGain");
  EXPECT_EQ(PressOk().Text, U("Не корректно указано усиление микрофона"));
  ASSERT_TRUE(Form->isVisible());
  EXPECT_FALSE(Form->TargetVersions.Empty());
  const TShownMessage message =
      WithMessageAnswered([this] { QTest::mouseClick(Find<QPushButton>("btnCancel"), Qt::LeftButton); });
  EXPECT_FALSE(message.Shown);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Form->result(), TSmsTemplateForm::kResultCancel);
  EXPECT_TRUE(Form->TargetVersions.Empty());
  EXPECT_TRUE(Form->ErrorText.isEmpty());
  EXPECT_EQ(Form->CommandLists[4], (TCommandList{"kept line"}));
}

// A series target has no password until one is typed: every command fails on it, no query
// does (the queries check nothing, not even the number).
TEST_F(SmsTemplateFormTest, AnEmptyPasswordFailsEveryCommandAndNoQuery) {
  for (int type = 1; type <= 22; ++type) {
    Form->edNumber->setText("+79001234567");
    Form->edPassword->clear();
    Form->AddDeviceVersion(5);
    Form->PrepareCommand(type);
    Form->show();
    const TShownMessage message = PressOk();
    if (type <= 12) {
      EXPECT_EQ(message.Text, U("Не указан пароль")) << type;
      EXPECT_TRUE(Form->isVisible()) << type;
      Form->reject();
    } else {
      EXPECT_FALSE(message.Shown) << type;
      EXPECT_FALSE(Form->isVisible()) << type;
      EXPECT_EQ(Form->result(), TSmsTemplateForm::kResultOk) << type;
    }
    EXPECT_TRUE(Form->TargetVersions.Empty()) << type;
  }
  Form->edNumber->clear();
  Form->PrepareGetGconf2();
  Form->show();
  EXPECT_FALSE(PressOk().Shown);
  EXPECT_EQ(Form->result(), TSmsTemplateForm::kResultOk);
}

TEST_F(SmsTemplateFormTest, EscAndTheCloseBoxCancelWithoutChecking) {
  struct Case {
    const char* Name;
    std::function<void()> Leave;
  };
  const Case cases[] = {
      {"Esc in a filtered edit", [this] { QTest::keyClick(Form->edNumber, Qt::Key_Escape); }},
      {"Esc in a field", [this] { QTest::keyClick(Edit("edUSSD"), Qt::Key_Escape); }},
      {"Esc on the window", [this] { QTest::keyClick(Form.get(), Qt::Key_Escape); }},
      {"the close box", [this] { Form->close(); }},
      {"Отмена", [this] { QTest::mouseClick(Find<QPushButton>("btnCancel"), Qt::LeftButton); }},
  };
  for (const Case& c : cases) {
    Open({3}, &TSmsTemplateForm::PrepareCmdExecuteUssd, "");
    Edit("edUSSD")->setText("*100#");
    const TShownMessage message = WithMessageAnswered(c.Leave);
    EXPECT_FALSE(message.Shown) << c.Name;
    EXPECT_FALSE(Form->isVisible()) << c.Name;
    EXPECT_EQ(Form->result(), TSmsTemplateForm::kResultCancel) << c.Name;
    EXPECT_TRUE(Form->TargetVersions.Empty()) << c.Name;
    EXPECT_EQ(Edit("edUSSD")->text(), "*100#") << c.Name;
  }
}

TEST_F(SmsTemplateFormTest, ModalShowReturnsTheResult) {
  Open({1}, &TSmsTemplateForm::PrepareCmdGet);
  Form->hide();
  QTimer::singleShot(0, [this] { QTest::mouseClick(Find<QPushButton>("btnOK"), Qt::LeftButton); });
  EXPECT_EQ(Form->exec(), TSmsTemplateForm::kResultOk);
  Form->AddDeviceVersion(1);
  QTimer::singleShot(0, [this] { QTest::keyClick(Form.get(), Qt::Key_Escape); });
  EXPECT_EQ(Form->exec(), TSmsTemplateForm::kResultCancel);
}

TEST_F(SmsTemplateFormTest, TypedCharactersPassTheirEditsFilter) {
  struct Case {
    TEntry Entry;
    const char* Selector;  // "" for an edit without one
    const char* Edit;
    const char* Typed;     // UTF-8
    const char* Kept;
  };
  const Case cases[] = {
      {&TSmsTemplateForm::PrepareCmdGet, "", "edNumber", "+7 9a0Б1-", "+7901"},
      {&TSmsTemplateForm::PrepareCmdGet, "", "edPassword", "a[]^ Я-_{z9", "a[]^-_z9"},
      {&TSmsTemplateForm::PrepareCmdBasePrm, "selDevAlias", "edDevAlias", "car 7\"", "car7"},
      {&TSmsTemplateForm::PrepareCmdExecuteUssd, "", "edUSSD", "*10 0#x", "*100#"},
      {&TSmsTemplateForm::PrepareCmdBasePrm, "selSendPeriod", "edSendPeriod", "1a2.3-", "123"},
      {&TSmsTemplateForm::PrepareCmdBasePrm, "selBaseServer", "edBaseServer", "10.0.0.1:80", "10.0.0.180"},
      {&TSmsTemplateForm::PrepareCmdBasePrm, "selAPN", "edAPN", "internet.mts.ru 1", "internet.mts.ru"},
      {&TSmsTemplateForm::PrepareCmdBasePrm, "selAPN", "edAPNPassword", "gdata.1_x", "gdatax"},
      {&TSmsTemplateForm::PrepareCmdDigitInPrm, "selIn2TelNum", "edIn2TelNum", "8(900)", "8900"},
      {&TSmsTemplateForm::PrepareCmdControlPointPrm, "selCP2", "edCP2Lonmm", "12a34567", "12345"},
      {&TSmsTemplateForm::PrepareCmdAdditionPrm, "selAkkumTel", "edAkkumTel", "+7 900", "+7900"},
  };
  for (const Case& c : cases) {
    Open({5}, c.Entry);
    if (*c.Selector) Click(c.Selector);
    QLineEdit* edit = Edit(c.Edit);
    edit->clear();
    Type(edit, U(c.Typed));
    EXPECT_EQ(edit->text(), U(c.Kept)) << c.Edit;
    // Editing keys stay the edit's own.
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), U(c.Kept).chopped(1)) << c.Edit;
    Form->reject();
  }
}

TEST_F(SmsTemplateFormTest, ComposedPastedAndDroppedTextLosesTheRefusedCharacters) {
  Open({5}, &TSmsTemplateForm::PrepareCmdBasePrm);
  Click("selDevAlias");
  QLineEdit* alias = Edit("edDevAlias");
  QLineEdit* number = Form->edNumber;
  number->clear();

  // An input method commits text without a key press.
  QInputMethodEvent commit;
  commit.setCommitString(U("Авто12"));
  QCoreApplication::sendEvent(alias, &commit);
  EXPECT_EQ(alias->text(), "12");
  QInputMethodEvent allowed;
  allowed.setCommitString("x");
  QCoreApplication::sendEvent(alias, &allowed);
  EXPECT_EQ(alias->text(), "12x");

  // Ctrl+V.
  QGuiApplication::clipboard()->setText(U("+7 (900) 123-45-67 Иван"));
  QTest::keyClick(number, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(number->text(), "+79001234567");
  // A selection is replaced, as by the edit's own paste.
  number->selectAll();
  QGuiApplication::clipboard()->setText("\"1\"");
  QTest::keyClick(number, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(number->text(), "1");

  // The context menu's paste.
  QGuiApplication::clipboard()->setText(U("ab cd\"ё"));
  alias->clear();
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), alias->mapToGlobal(QPoint(2, 2)));
  QCoreApplication::sendEvent(alias, &menuEvent);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  QAction* paste = nullptr;
  for (QAction* action : menu->actions())
    if (action->text().startsWith("&Paste")) paste = action;
  ASSERT_NE(paste, nullptr);
  paste->trigger();
  menu->close();
  EXPECT_EQ(alias->text(), "abcd");

  // A drop.
  number->clear();
  QMimeData dropped;
  dropped.setText(U("+7 900 Петров"));
  QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(number, &enter);
  QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(number, &drop);
  EXPECT_EQ(number->text(), "+7900");
  EXPECT_TRUE(drop.isAccepted());

  // Text the send window puts in stays as it is (a group shows its name).
  number->setText(U("Группа"));
  EXPECT_EQ(number->text(), U("Группа"));
}

// The bracket's pen: black on the left edge while enabled, silver while disabled.
TEST_F(SmsTemplateFormTest, BracketsPaintBlackWhenEnabledAndSilverWhenDisabled) {
  Open({3}, &TSmsTemplateForm::PrepareCmdBasePrm);
  QWidget* bracket = Find("pbAPN");
  auto pixel = [bracket](int x, int y) {
    const QImage image = bracket->grab().toImage();
    return image.pixel(x < 0 ? image.width() + x : x, y < 0 ? image.height() + y : y);
  };
  const int middle = bracket->height() / 2;
  const QRgb black = 0xFF000000;
  const QRgb silver = 0xFFC0C0C0;
  EXPECT_EQ(pixel(0, middle), silver);
  Click("selAPN");
  ASSERT_TRUE(bracket->isEnabled());
  EXPECT_EQ(pixel(0, middle), black);
  EXPECT_EQ(pixel(0, 0), black);
  EXPECT_EQ(pixel(-1, 0), black);
  EXPECT_EQ(pixel(-1, -1), black);
  // Open on the right.
  EXPECT_NE(pixel(-1, middle), black);
  EXPECT_NE(pixel(bracket->width() / 2, middle), black);
  Click("selAPN");
  EXPECT_EQ(pixel(0, middle), silver);
  EXPECT_EQ(pixel(-1, -1), silver);
}

TEST_F(SmsTemplateFormTest, LayoutIsRestoredOnCreationAndSavedOnDestruction) {
  struct Case {
    const char* Stored;
    QPoint Expected;  // (Left, Top)
  };
  // A zero or missing field keeps the window's own place (0 here).
  const Case cases[] = {
      {"300,400", {400, 300}},
      {"0,250", {250, 0}},
      {"120", {0, 120}},
      {"-20,30", {30, -20}},
      {"junk", {0, 0}},
  };
  for (const Case& c : cases) {
    Form.reset();
    Monitor->Mirror.SmsTemplateFormLayout = c.Stored;
    Form = std::make_unique<TSmsTemplateForm>(*Monitor);
    EXPECT_EQ(Form->pos(), c.Expected) << c.Stored;
  }
  Form->move(33, 44);
  Form.reset();
  EXPECT_EQ(Monitor->Mirror.SmsTemplateFormLayout, "44,33");
  EXPECT_NE(ReadWholeFile(SettingsFileName(Monitor->Dir)).find("SmsTemplateForm=44,33"), std::string::npos);
}

TEST_F(SmsTemplateFormTest, TheProgramsFactoryMakesTheTemplateWindow) {
  std::unique_ptr<QWidget> window(MakeProgramWindow(TWindowKind::SmsTemplate, *Monitor));
  auto* form = qobject_cast<TSmsTemplateForm*>(window.get());
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->objectName(), "SmsTemplateForm");
  EXPECT_FALSE(form->isVisible());
  // The send window reaches it only through the template-window interface; a window without it
  // would leave every template command of the send window doing nothing.
  EXPECT_EQ(dynamic_cast<TTemplateWindow*>(window.get()), form);
}

TEST_F(SmsTemplateFormTest, SnapshotHoldsEveryNamedControl) {
  Open({5}, &TSmsTemplateForm::PrepareCmdControlPointPrm);
  Click("selCP1");
  Edit("edCP1Latd")->setText("55");
  Find<QComboBox>("cbCP1ns")->setCurrentIndex(1);
  QTest::mouseClick(Check("selCP1Flags"), Qt::LeftButton);
  ClickValue("cbCP1GPRSOut");
  const TFormSnapshot snapshot = Form->Snapshot();
  EXPECT_EQ(snapshot["edCP1Latd"].Text, "55");
  EXPECT_TRUE(snapshot["edCP1Latd"].Enabled);
  EXPECT_FALSE(snapshot["edCP2Latd"].Enabled);
  EXPECT_EQ(snapshot["cbCP1ns"].ItemIndex, 1);
  EXPECT_EQ(snapshot["cbCP1ns"].Text, "S");
  EXPECT_TRUE(snapshot["selCP1"].Checked);
  EXPECT_TRUE(snapshot["cbCP1GPRSOut"].Checked);
  EXPECT_FALSE(snapshot["cbCP1GPRSIn"].Checked);
  EXPECT_TRUE(snapshot["btnCP1FromGoogle"].Enabled);
  EXPECT_FALSE(snapshot["btnCP2FromGoogle"].Enabled);
  EXPECT_EQ(snapshot["edNumber"].Text, "+79001234567");
  // Hidden boxes are there too, with their own states.
  EXPECT_TRUE(snapshot.Has("edUSSD"));
  EXPECT_TRUE(snapshot.Has("cbMethodWrite"));
  for (const TSelectorRule& rule : SelectorRules()) {
    EXPECT_TRUE(snapshot.Has(rule.Name)) << rule.Name;
    for (const std::string& control : rule.Row) EXPECT_TRUE(snapshot.Has(control)) << control;
  }
}

}  // namespace
