// The application as the program sets it up: Qt's own dialogs and buttons speak Russian
// whatever the user's locale, as the program's own texts do.

#include "app/ProgramSetup.h"

#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace {

// A caption without its mnemonic marks.
QString Plain(QString text) { return text.remove(u'&'); }

TEST(ProgramSetup, QtsOwnDialogsAndButtonsSpeakRussianWhateverTheLocale) {
  QApplication& application = TestApplication();
  // A user whose desktop speaks English.
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  SetUpApplication(application);

  // The reopen question of the settings window.
  QMessageBox question(QMessageBox::Warning, "Orvex монитор", "?", QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(Plain(question.button(QMessageBox::Yes)->text()).toStdString(), "Да");
  EXPECT_EQ(Plain(question.button(QMessageBox::No)->text()).toStdString(), "Нет");

  // The places-file chooser of the template window.
  QFileDialog chooser(nullptr, QString::fromUtf8("Файл меток Google Earth"), QDir::homePath(), "*.kml");
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  auto* buttons = chooser.findChild<QDialogButtonBox*>("buttonBox");
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(Plain(buttons->button(QDialogButtonBox::Open)->text()).toStdString(), "Открыть");
  EXPECT_EQ(Plain(buttons->button(QDialogButtonBox::Cancel)->text()).toStdString(), "Отмена");
  struct Caption {
    const char* Label;
    const char* Text;
  };
  const Caption captions[] = {
      {"lookInLabel", "Перейти к:"}, {"fileNameLabel", "Имя файла:"}, {"fileTypeLabel", "Типы файлов:"}};
  for (const Caption& c : captions) {
    auto* label = chooser.findChild<QLabel*>(c.Label);
    ASSERT_NE(label, nullptr) << c.Label;
    EXPECT_EQ(Plain(label->text()).toStdString(), c.Text) << c.Label;
  }

  // The edit menu of a text field.
  QLineEdit field;
  std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
  QStringList items;
  for (QAction* action : menu->actions())
    if (!action->isSeparator()) items << Plain(action->text().section(u'\t', 0, 0));
  EXPECT_EQ(items.join(u'|').toStdString(),
            "Отменить действие|Повторить действие|Вырезать|Копировать|Вставить|Удалить|Выделить всё");
  QLocale::setDefault(QLocale::system());
}

}  // namespace
