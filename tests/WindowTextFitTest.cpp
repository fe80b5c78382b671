// Every caption and item of every window is whole in the face the windows are drawn in, and
// no two controls shown together cover each other. Widths and heights come from the font's
// metrics and the style's own text rectangles of each control, found by object name, so a
// caption that runs past its control (cut, or painted into the control beside it) is named
// with the pixels it lacks.

#include "app/WindowFactory.h"
#include "common/SmsInfo.h"
#include "common/Text.h"
#include "composer/SmsForm.h"
#include "composer/SmsTemplateForm.h"
#include "seam/WindowFont.h"
#include "support/FakeMonitor.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"
#include "viewer/ShowSmsForm.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QScrollBar>
#include <QTableView>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A text and the room its control gives it, in pixels.
struct TRoom {
  QString Text;
  QSize Needed;
  QSize Available;
};

// The texts a control shows and the room for each. Labels, buttons, check boxes and radio
// buttons show their caption in the style's contents rectangle; a group box its title beside
// the frame's corner, with as much room on the right as the style leaves on the left; a combo
// box each item, in the field left of its arrow. A label that wraps counts as cut: its text is
// meant for one line.
std::vector<TRoom> Rooms(QWidget* widget) {
  const QFontMetrics metrics(widget->font());
  auto room = [&](const QString& text, const QRect& rect, const QFontMetrics& fm) {
    return TRoom{text, QSize(fm.horizontalAdvance(text), fm.height()), rect.size()};
  };
  QStyle* style = widget->style();
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    if (label->text().isEmpty()) return {};
    const int margin = label->margin();
    return {room(label->text(), label->contentsRect().adjusted(margin, margin, -margin, -margin), metrics)};
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    if (button->text().isEmpty()) return {};
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
    if (qobject_cast<QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
    return {room(button->text(), style->subElementRect(contents, &option, button), metrics)};
  }
  if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.textAlignment = box->alignment();
    const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const QRect space(label.left(), label.top(), box->width() - 2 * label.left(), label.height());
    return {room(box->title(), space, metrics)};
  }
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    // The style draws the current item one pixel in from each side of the field.
    const QRect field = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
                            .adjusted(1, 0, -1, 0);
    std::vector<TRoom> rooms;
    for (int i = 0; i < combo->count(); ++i) {
      const QVariant font = combo->itemData(i, Qt::FontRole);
      const QFontMetrics itemMetrics(font.isValid() ? font.value<QFont>() : combo->font());
      rooms.push_back(room(combo->itemText(i), field, itemMetrics));
    }
    return rooms;
  }
  return {};
}

bool Fits(const TRoom& room) {
  return room.Needed.width() <= room.Available.width() && room.Needed.height() <= room.Available.height();
}

// The named controls of a window that the user sees now.
std::vector<QWidget*> ShownControls(QWidget* window) {
  std::vector<QWidget*> controls;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    const QString name = widget->objectName();
    if (!name.isEmpty() && !name.startsWith("qt_") && widget->isVisibleTo(window)) controls.push_back(widget);
  }
  return controls;
}

// "name [text] needs WxH, has WxH" for every text that does not fit, one per line.
std::string Misfits(QWidget* window) {
  std::string found;
  for (QWidget* widget : ShownControls(window))
    for (const TRoom& room : Rooms(widget))
      if (!Fits(room))
        found += widget->objectName().toStdString() + " [" + room.Text.toStdString() + "] needs " +
                 std::to_string(room.Needed.width()) + "x" + std::to_string(room.Needed.height()) + ", has " +
                 std::to_string(room.Available.width()) + "x" + std::to_string(room.Available.height()) + "\n";
  return found;
}

// "a / b" for every two controls of one parent that are shown and cover each other.
std::string Overlaps(QWidget* window) {
  std::string found;
  const std::vector<QWidget*> controls = ShownControls(window);
  for (size_t i = 0; i < controls.size(); ++i)
    for (size_t j = i + 1; j < controls.size(); ++j)
      if (controls[i]->parentWidget() == controls[j]->parentWidget() &&
          controls[i]->geometry().intersects(controls[j]->geometry()))
        found += controls[i]->objectName().toStdString() + " / " + controls[j]->objectName().toStdString() + "\n";
  return found;
}

TFleet Fleet() {
  TFleet fleet;
  auto group = std::make_unique<TGroupEntry>();
  group->Name = Cp1251("Междугородние автобусы");
  group->Cars.push_back(MakeCarEntry(32500, QString::fromUtf8("Автобус 7 (резерв)"), "+79001110002", "77777777"));
  fleet.push_back(std::move(group));
  return fleet;
}

class WindowTextFitTest : public ::testing::Test {
protected:
  TTempFolder Folder{"orvex-fit"};
  std::unique_ptr<TFakeMonitor> Monitor;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Folder.IsCreated());
    Monitor = std::make_unique<TFakeMonitor>(Folder.Path() + "/");
    Monitor->FleetList = Fleet();
    // The layouts are measured in the face the program draws them in on a desktop, not in a
    // face the font configuration would put in its place.
    ASSERT_EQ(QFontInfo(WindowFont()).family(), kWindowFontFamily) << "the face is not installed";
  }

  std::unique_ptr<QWidget> Open(TWindowKind kind) {
    std::unique_ptr<QWidget> window(MakeProgramWindow(kind, *Monitor));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    return window;
  }
};

// Each window as the user sees it first, and the template window in each of its modes.
struct TView {
  std::string What;
  TWindowKind Kind;
  std::function<void(QWidget&, TFakeMonitor&)> Prepare;
};

std::vector<TView> Views() {
  std::vector<TView> views = {
      {"settings window", TWindowKind::Config, {}},
      {"About window", TWindowKind::About, {}},
      {"message window", TWindowKind::ShowSms,
       [](QWidget& window, TFakeMonitor&) { static_cast<TShowSmsForm&>(window).ShowOperationHistory(); }},
      {"send window", TWindowKind::Sms,
       [](QWidget& window, TFakeMonitor& monitor) { static_cast<TsmsForm&>(window).FillDeviceList(monitor.FleetList); }},
  };
  for (int type = 1; type <= 22; ++type)
    views.push_back({"template window, command type " + std::to_string(type), TWindowKind::SmsTemplate,
                     [type](QWidget& window, TFakeMonitor&) {
                       auto& form = static_cast<TSmsTemplateForm&>(window);
                       form.AddDeviceVersion(5);
                       form.PrepareCommand(type);
                     }});
  return views;
}

TEST_F(WindowTextFitTest, EveryCaptionAndItemIsWholeAndNoControlCoversAnother) {
  for (const TView& view : Views()) {
    std::unique_ptr<QWidget> window = Open(view.Kind);
    if (view.Prepare) view.Prepare(*window, *Monitor);
    window->show();
    QApplication::processEvents();
    const std::string misfits = Misfits(window.get());
    EXPECT_TRUE(misfits.empty()) << view.What << ", texts that do not fit:\n" << misfits;
    const std::string overlaps = Overlaps(window.get());
    EXPECT_TRUE(overlaps.empty()) << view.What << ", controls that cover each other:\n" << overlaps;
  }
}

// Each column of the message list holds its caption with the sort arrow beside it, whichever
// column is sorted, and the longest text the column shows.
TEST_F(WindowTextFitTest, MessageListColumnsHoldCaptionArrowAndTexts) {
  std::unique_ptr<QWidget> window = Open(TWindowKind::ShowSms);
  auto& form = static_cast<TShowSmsForm&>(*window);
  form.ShowOperationHistory();
  window->show();
  QApplication::processEvents();
  auto* list = window->findChild<QTableView*>("lvSmsList");
  ASSERT_NE(list, nullptr);
  QHeaderView* header = list->horizontalHeader();

  std::vector<std::string> kinds(SmsKindNames.begin(), SmsKindNames.end());
  kinds.insert(kinds.end(), SmsParamKindNames.begin(), SmsParamKindNames.end());
  kinds.push_back("Out sms");
  const std::vector<std::string> texts[TSmsListModel::kColumnCount] = {
      {},
      {"00.00.00 00:00:00", Cp1251("Не определена")},
      {"+790012345678901", "MegaFon Inf"},  // fifteen digits; eleven characters of a name
      {"4294967295", "--"},
      kinds,
  };
  const QFontMetrics metrics(list->font());
  const int textMargins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
  for (int column = 0; column < TSmsListModel::kColumnCount; ++column) {
    form.lvSmsListColumnClick(column);
    EXPECT_LE(header->sectionSizeHint(column), header->sectionSize(column))
        << "caption and arrow of column " << column;
    for (const std::string& text : texts[column])
      EXPECT_LE(metrics.horizontalAdvance(QStringFromCp1251(text)) + textMargins, header->sectionSize(column))
          << text << " in column " << column;
  }
  // All columns at once, beside the scroll bar, without a horizontal one.
  EXPECT_LE(header->length(), list->viewport()->width() - list->verticalScrollBar()->sizeHint().width());
}

}  // namespace
