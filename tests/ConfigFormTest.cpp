// The settings window driven as a user would, against a small monitor: scripted serial ports,
// USB terminals from the stand-in D2XX library, and a real settings file read back byte for
// byte after each case. Message boxes are answered from the test.

#include "shell/ConfigForm.h"
#include "seam/WindowFont.h"

#include "common/Text.h"
#include "fakes/FakeFtd2xx.h"
#include "support/FakeMonitor.h"
#include "support/ModalBoxes.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

TTtyDevice Port(const std::string& name, const std::string& model) {
  return TTtyDevice{name, "/dev/" + name, model, "ftdi_sio", false};
}

// The machine of most cases: three serial ports, two of them with modems.
const std::vector<TTtyDevice> kPorts = {Port("ttyUSB10", ""), Port("ttyUSB3", "Siemens MC35"),
                                        Port("ttyUSB1", "Wavecom Fastrack")};

struct TIni {
  std::string PinCode = "1234";
  std::string PhonePort = "/dev/ttyUSB1";
  std::string PhoneDesc = "Orvex GSM Terminal";
  int AutoConnect = 0;
  int CheckPin = 1;

  // Laid out as the file's writer lays it out, so that a rewrite changes only the values.
  std::string Text() const {
    return "[COMMON]\nPinCode=" + PinCode + "\nPhonePort=" + PhonePort + "\nPhoneDesc=" + PhoneDesc +
           "\nAutoConnect=" + std::to_string(AutoConnect) + "\nCheckPin=" + std::to_string(CheckPin) +
           "\nWriteDebugLog=0\n\n\n[VISUAL]\nShowNotify=1\n";
  }
};

template <typename Change>
TIni With(Change change) {
  TIni ini;
  change(ini);
  return ini;
}

QWidget* Child(QWidget* window, const char* name) {
  QWidget* child = window->findChild<QWidget*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}
QComboBox* Combo(QWidget* window, const char* name) { return qobject_cast<QComboBox*>(Child(window, name)); }

// Clicks near the left edge: a radio button or check box answers only over its mark and text.
void Click(QWidget* window, const char* name) {
  QWidget* button = Child(window, name);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

void Choose(QWidget* window, const char* comboName, const std::string& text) {
  QComboBox* combo = Combo(window, comboName);
  const int index = combo->findText(QString::fromStdString(text));
  ASSERT_GE(index, 0) << text;
  combo->setCurrentIndex(index);
}

void TypePin(QWidget* window, const std::string& pin) {
  auto* edit = qobject_cast<QLineEdit*>(Child(window, "edPinCode"));
  edit->selectAll();
  QTest::keyClicks(edit, QString::fromStdString(pin));
  if (pin.empty()) QTest::keyClick(edit, Qt::Key_Delete);
}

// One program folder with its settings file, and the monitor of the window.
class TScene {
public:
  TScene() : Monitor(Folder.Path() + "/") {
    TestApplication();
    EXPECT_TRUE(Folder.IsCreated());
    Monitor.Devices = kPorts;
    Monitor.UsbTerminals = [this] { return ::ListUsbTerminals(Library, Monitor.Dir); };
  }
  // Terminals behind the stand-in library ('|'-separated descriptions).
  void Terminals(const char* descriptions) {
    std::filesystem::copy_file(std::string(ORVEX_BINARY_DIR) + "/fakes/" + kFtdiLibraryName,
                               Monitor.Dir + kFtdiLibraryName);
    ::setenv("FAKE_FTDI_DEVICES", descriptions, 1);
  }
  void WriteIni(const std::string& text) { WriteWholeFile(IniPath(), text); }
  std::string IniPath() const { return Monitor.Dir + "OrvexMonitor.ini"; }

  // The window as the tray opens it: made, then shown.
  QPointer<TConfigForm> Open() {
    QPointer<TConfigForm> window = new TConfigForm(Monitor);
    window->show();
    return window;
  }
  static void Gone(QPointer<TConfigForm>& window) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()) << "the window frees itself when closed";
  }

  TTempFolder Folder{"orvex-config"};
  std::unique_ptr<TFtdiLibrary> Library;
  TFakeMonitor Monitor;
};

}  // namespace

TEST(ConfigForm, ConfirmingWritesOnlyWhatChangedAndAsksBeforeReopening) {
  enum TClose { Ok, Cancel, CloseBox };
  const TSeenBox kReopenBox{QStringLiteral("Orvex монитор"),
                            QStringLiteral("Внимание!\r\nМодем в данный момент используется.\r\nВы хотите "
                                           "отключить модем и подключить с новыми настройками?"),
                            QMessageBox::Warning};
  const TSeenBox kNoTerminalBox{QStringLiteral("Orvex монитор"),
                                QStringLiteral("Не обнаружено ни одного совместимого устройства!"),
                                QMessageBox::Critical};
  struct Case {
    const char* what;
    TIni before;
    const char* terminals;  // nullptr: no D2XX library at all
    bool modemOpen;
    bool reconnect;
    // What the window shows when it opens: the ticked radio, the two combo texts.
    bool shownOnTerminal;
    const char* shownPort;
    const char* shownTerminal;
    std::function<void(QWidget*)> edit;
    TClose close;
    QMessageBox::StandardButton answer;
    std::vector<TSeenBox> boxes;
    TIni after;        // the file, byte for byte
    bool rewritten;    // whether the file was replaced at all
    int reopens;
    bool reconnectAfter;
  };
  auto editEverything = [](QWidget* w) {
    Choose(w, "cbComPort", "/dev/ttyUSB3 (Siemens MC35)");
    TypePin(w, "0000");
    Click(w, "cbAutoConnect");
    Click(w, "cbNotCheckPin");
  };
  const TIni kBefore;
  const Case cases[] = {
      {"cancel after edits", kBefore, "", true, false, false, "/dev/ttyUSB1 (Wavecom Fastrack)", "", editEverything,
       Cancel, QMessageBox::Yes, {}, kBefore, false, 0, false},
      {"close box after edits", kBefore, "", true, true, false, "/dev/ttyUSB1 (Wavecom Fastrack)", "",
       editEverything, CloseBox, QMessageBox::Yes, {}, kBefore, false, 0, true},
      // The timer is left as it was although the window would stop it after a change.
      {"OK without a change", kBefore, "", true, true, false, "/dev/ttyUSB1 (Wavecom Fastrack)", "", nullptr, Ok,
       QMessageBox::Yes, {}, kBefore, false, 0, true},
      {"new PIN with the check off: not saved, still asked", With([](TIni& i) { i.CheckPin = 0; }), "", true, true,
       false, "/dev/ttyUSB1 (Wavecom Fastrack)", "",
       [](QWidget* w) {
         // The PIN can be typed only while the check is on.
         Click(w, "cbNotCheckPin");
         TypePin(w, "0000");
         Click(w, "cbNotCheckPin");
         EXPECT_FALSE(Child(w, "edPinCode")->isEnabled());
       },
       Ok, QMessageBox::Yes, {kReopenBox}, With([](TIni& i) { i.CheckPin = 0; }), false, 1, false},
      {"new PIN, reopen declined", kBefore, "", true, false, false, "/dev/ttyUSB1 (Wavecom Fastrack)", "",
       [](QWidget* w) { TypePin(w, "0000"); }, Ok, QMessageBox::No, {kReopenBox},
       With([](TIni& i) { i.PinCode = "0000"; }), true, 0, false},
      {"another port stores its device path", kBefore, "", false, false, false, "/dev/ttyUSB1 (Wavecom Fastrack)",
       "", [](QWidget* w) { Choose(w, "cbComPort", "/dev/ttyUSB3 (Siemens MC35)"); }, Ok, QMessageBox::Yes, {},
       With([](TIni& i) { i.PhonePort = "/dev/ttyUSB3"; }), true, 0, false},
      {"an empty selection stores an empty port", kBefore, "", false, false, false,
       "/dev/ttyUSB1 (Wavecom Fastrack)", "", [](QWidget* w) { Combo(w, "cbComPort")->setCurrentIndex(-1); }, Ok,
       QMessageBox::Yes, {}, With([](TIni& i) { i.PhonePort = ""; }), true, 0, false},
      {"ttyUSB10 beside ttyUSB1", With([](TIni& i) { i.PhonePort = "/dev/ttyUSB10"; }), "", false, false, false,
       "/dev/ttyUSB10 (Unknown)", "", nullptr, Ok, QMessageBox::Yes, {},
       With([](TIni& i) { i.PhonePort = "/dev/ttyUSB10"; }), false, 0, false},
      {"a bare port name is a port of its own", With([](TIni& i) { i.PhonePort = "ttyUSB1"; }), "", false, false,
       false, "ttyUSB1 (Unknown)", "", nullptr, Ok, QMessageBox::Yes, {},
       With([](TIni& i) { i.PhonePort = "ttyUSB1"; }), false, 0, false},
      {"Direct with a capital D opens on the terminal, and OK makes it direct",
       With([](TIni& i) { i.PhonePort = "Direct"; }), "Orvex GSM Terminal", false, false, true, "",
       "Orvex GSM Terminal", nullptr, Ok, QMessageBox::Yes, {}, With([](TIni& i) { i.PhonePort = "direct"; }), true,
       0, false},
      {"Direct with a capital D and no terminal goes back to the port",
       With([](TIni& i) { i.PhonePort = "Direct"; }), "", false, false, false, "Direct (Unknown)", "", nullptr, Ok,
       QMessageBox::Yes, {kNoTerminalBox}, With([](TIni& i) { i.PhonePort = "Direct"; }), false, 0, false},
      {"direct keeps its port and changes the description", With([](TIni& i) { i.PhonePort = "direct"; }),
       "Orvex GSM Terminal|Orvex GSM Terminal 2", true, false, true, "", "Orvex GSM Terminal",
       [](QWidget* w) { Choose(w, "cbUsbTerminal", "Orvex GSM Terminal 2"); }, Ok, QMessageBox::Yes, {kReopenBox},
       With([](TIni& i) {
         i.PhonePort = "direct";
         i.PhoneDesc = "Orvex GSM Terminal 2";
       }),
       true, 1, false},
      {"a description typed in is taken as it is", With([](TIni& i) { i.PhonePort = "direct"; }), nullptr, false,
       false, true, "", "Orvex GSM Terminal",
       [](QWidget* w) {
         Combo(w, "cbUsbTerminal")->setEditText("My terminal");
       },
       Ok, QMessageBox::Yes, {}, With([](TIni& i) {
         i.PhonePort = "direct";
         i.PhoneDesc = "My terminal";
       }),
       true, 0, false},
      {"the terminal instead of a port", kBefore, "Orvex GSM Terminal 2|Orvex GSM Terminal", true, false, false,
       "/dev/ttyUSB1 (Wavecom Fastrack)", "",
       [](QWidget* w) {
         Click(w, "rbUsbTerminal");
         EXPECT_EQ(Combo(w, "cbUsbTerminal")->currentText(), "Orvex GSM Terminal");
         Choose(w, "cbUsbTerminal", "Orvex GSM Terminal 2");
       },
       Ok, QMessageBox::No, {kReopenBox}, With([](TIni& i) {
         i.PhonePort = "direct";
         i.PhoneDesc = "Orvex GSM Terminal 2";
       }),
       true, 0, false},
      {"no terminal found: the box, and back to the port", kBefore, nullptr, false, false, false,
       "/dev/ttyUSB1 (Wavecom Fastrack)", "", [](QWidget* w) { Click(w, "rbUsbTerminal"); }, Ok, QMessageBox::Yes,
       {kNoTerminalBox}, kBefore, false, 0, false},
      {"automatic connection with the modem closed starts the timer", kBefore, "", false, false, false,
       "/dev/ttyUSB1 (Wavecom Fastrack)", "", [](QWidget* w) { Click(w, "cbAutoConnect"); }, Ok, QMessageBox::Yes,
       {}, With([](TIni& i) { i.AutoConnect = 1; }), true, 0, true},
      {"automatic connection with the modem open leaves the timer", kBefore, "", true, false, false,
       "/dev/ttyUSB1 (Wavecom Fastrack)", "", [](QWidget* w) { Click(w, "cbAutoConnect"); }, Ok, QMessageBox::Yes,
       {}, With([](TIni& i) { i.AutoConnect = 1; }), true, 0, false},
      {"automatic connection off stops the timer", With([](TIni& i) { i.AutoConnect = 1; }), "", false, true, false,
       "/dev/ttyUSB1 (Wavecom Fastrack)", "", [](QWidget* w) { Click(w, "cbAutoConnect"); }, Ok, QMessageBox::Yes,
       {}, kBefore, true, 0, false},
      {"PIN check off, with a new PIN at the same time", kBefore, "", false, true, false,
       "/dev/ttyUSB1 (Wavecom Fastrack)", "",
       [](QWidget* w) {
         TypePin(w, "0000");
         Click(w, "cbNotCheckPin");
       },
       Ok, QMessageBox::Yes, {}, With([](TIni& i) { i.CheckPin = 0; }), true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TScene scene;
    TFakeMonitor& monitor = scene.Monitor;
    if (c.terminals) scene.Terminals(c.terminals);
    scene.WriteIni(c.before.Text());
    const ino_t inode = FileInode(scene.IniPath());
    monitor.Open = c.modemOpen;
    monitor.Reconnect = c.reconnect;

    TModalAnswerer boxes(c.answer);
    QPointer<TConfigForm> window = scene.Open();
    auto* onTerminal = qobject_cast<QRadioButton*>(Child(window, "rbUsbTerminal"));
    EXPECT_EQ(onTerminal->isChecked(), c.shownOnTerminal);
    EXPECT_EQ(qobject_cast<QRadioButton*>(Child(window, "rbComPort"))->isChecked(), !c.shownOnTerminal);
    EXPECT_EQ(Combo(window, "cbComPort")->isEnabled(), !c.shownOnTerminal);
    EXPECT_EQ(Combo(window, "cbUsbTerminal")->isEnabled(), c.shownOnTerminal);
    EXPECT_EQ(Combo(window, "cbComPort")->currentText().toStdString(), c.shownPort);
    EXPECT_EQ(Combo(window, "cbUsbTerminal")->currentText().toStdString(), c.shownTerminal);
    EXPECT_EQ(qobject_cast<QLineEdit*>(Child(window, "edPinCode"))->text().toStdString(), c.before.PinCode);
    EXPECT_EQ(Child(window, "edPinCode")->isEnabled(), c.before.CheckPin != 0);
    if (c.edit) c.edit(window);

    if (c.close == Ok)
      Click(window, "btnOk");
    else if (c.close == Cancel)
      Click(window, "btnCancel");
    else
      window->close();
    TScene::Gone(window);

    ASSERT_EQ(boxes.Seen.size(), c.boxes.size());
    for (size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(boxes.Seen[i].Icon, c.boxes[i].Icon);
      EXPECT_EQ(boxes.Seen[i].Caption, c.boxes[i].Caption);
      EXPECT_EQ(boxes.Seen[i].Text, c.boxes[i].Text);
    }
    EXPECT_EQ(ReadWholeFile(scene.IniPath()), c.after.Text());
    EXPECT_EQ(FileInode(scene.IniPath()) != inode, c.rewritten);
    EXPECT_EQ(monitor.Reopens, c.reopens);
    EXPECT_EQ(monitor.Reconnect, c.reconnectAfter);
    // The two flags' savers set the mirror too.
    EXPECT_EQ(monitor.Mirror.AutoConnect, c.after.AutoConnect != 0);
    if (c.after.CheckPin != c.before.CheckPin) {
      EXPECT_EQ(monitor.Mirror.CheckPin, c.after.CheckPin != 0);
    }
  }
}

// A SIM PIN is 4 to 8 digits: the field keeps what is typed or pasted to digits, at most 8.
TEST(ConfigForm, PinFieldTakesDigitsOnly) {
  struct Case {
    const char* What;
    QString Typed;
    QString Pasted;
    QString Kept;
  };
  const Case cases[] = {
      {"digits", "1234", "", "1234"},
      {"letters and signs between digits", "12ab-+ 34", "", "1234"},
      {"Cyrillic letters", QString::fromUtf8("1в2Г3"), "", "123"},
      {"digits of another script", QString::fromUtf8("1٣٤"), "", "1"},
      {"more than eight digits", "1234567890", "", "12345678"},
      {"pasted digits", "", "87654321", "87654321"},
      {"pasted text with a letter", "12", "3a4", "12"},
  };
  TScene scene;
  scene.WriteIni(TIni().Text());
  for (const Case& c : cases) {
    QPointer<TConfigForm> window = scene.Open();
    auto* edit = qobject_cast<QLineEdit*>(Child(window, "edPinCode"));
    edit->clear();
    for (QChar ch : c.Typed) {
      if (ch.unicode() < 0x80)
        QTest::keyClick(edit, static_cast<char>(ch.unicode()));
      else
        QTest::sendKeyEvent(QTest::Click, edit, static_cast<Qt::Key>(ch.toUpper().unicode()), QString(ch),
                            Qt::NoModifier);
    }
    if (!c.Pasted.isEmpty()) {
      QApplication::clipboard()->setText(c.Pasted);
      edit->paste();
    }
    EXPECT_EQ(edit->text(), c.Kept) << c.What;
    window->close();
    TScene::Gone(window);
  }
  // A PIN the file holds is shown whole, whatever it is, and confirmed unchanged it is not
  // written.
  const TIni stored = With([](TIni& ini) { ini.PinCode = "12ab345678"; });
  scene.WriteIni(stored.Text());
  QPointer<TConfigForm> window = scene.Open();
  EXPECT_EQ(qobject_cast<QLineEdit*>(Child(window, "edPinCode"))->text(), "12ab345678");
  QTest::mouseClick(qobject_cast<QPushButton*>(Child(window, "btnOk")), Qt::LeftButton);
  TScene::Gone(window);
  EXPECT_EQ(ReadWholeFile(scene.IniPath()), stored.Text());
}

TEST(ConfigForm, FieldsComeFromTheFileNotFromTheMirror) {
  TScene scene;
  TFakeMonitor* Monitor = &scene.Monitor;
  // The mirror still holds what the file no longer has.
  Monitor->Mirror.PhonePort = "/dev/ttyUSB3";
  Monitor->Mirror.PinCode = "9999";
  Monitor->Mirror.CheckPin = false;
  scene.WriteIni("[COMMON]\nPhonePort=/dev/ttyUSB1\n");
  QPointer<TConfigForm> window = new TConfigForm(*Monitor);
  EXPECT_EQ(window->Fields.PhonePort, "/dev/ttyUSB1");
  EXPECT_EQ(window->Fields.PhoneDesc, "");
  EXPECT_EQ(window->Fields.PinCode, "");
  EXPECT_FALSE(window->Fields.AutoConnect);
  EXPECT_TRUE(window->Fields.CheckPin);
  EXPECT_TRUE(window->windowFlags() & Qt::Tool);
  EXPECT_EQ(window->windowTitle(), "Параметры");
  EXPECT_EQ(window->size(), QSize(287, 307));
  EXPECT_EQ(window->pos(), QPoint(850, 210));
  EXPECT_EQ(window->font().pixelSize(), 11);
  EXPECT_EQ(window->font().families().value(0), kWindowFontFamily);
  delete window;
}

TEST(ConfigForm, PortListShowsAbsentPortsAndFitsItsLongestItem) {
  TScene scene;
  TFakeMonitor* Monitor = &scene.Monitor;
  Monitor->Devices = {Port("ttyUSB1", "Wavecom Fastrack"), Port("ttyS0", "")};
  // A modem that udev names on a node without a driver: listed, not a serial port.
  Monitor->Devices.push_back(TTtyDevice{"rfcomm0", "/dev/rfcomm0", "Bluetooth modem with a long name", "", false});
  scene.WriteIni(TIni{}.Text());
  QPointer<TConfigForm> window = scene.Open();
  QComboBox* combo = Combo(window, "cbComPort");
  std::vector<std::string> items, statuses;
  for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
  for (const TComItem& item : window->ComItems()) statuses.push_back(item.Entry.Status);
  EXPECT_EQ(items, (std::vector<std::string>{"/dev/rfcomm0 (Bluetooth modem with a long name)",
                                             "/dev/ttyS0 (Unknown)", "/dev/ttyUSB1 (Wavecom Fastrack)"}));
  // Only a modem on a serial port is known to be there.
  EXPECT_EQ(statuses, (std::vector<std::string>{"Unknown", "Unknown", "ok"}));
  EXPECT_EQ(combo->maxVisibleItems(), 3);
  EXPECT_EQ(combo->view()->minimumWidth(), combo->fontMetrics().horizontalAdvance(combo->itemText(0)) + 5);

  // The list draws through its delegate: grey text for the absent ports, dark for the modem.
  auto darkest = [&](int row) {
    QImage image(300, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.initFrom(combo->view());
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    option.palette.setColor(QPalette::Text, Qt::black);
    combo->itemDelegate()->paint(&painter, option, combo->model()->index(row, 0));
    painter.end();
    int value = 255;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) value = std::min(value, qGray(image.pixel(x, y)));
    return value;
  };
  EXPECT_GE(darkest(0), 0x70);
  EXPECT_GE(darkest(1), 0x70);
  EXPECT_LT(darkest(2), 0x50);
  delete window;
}

TEST(ConfigForm, PortItemsOfAbsentPortsDrawGreyUnlessSelectedAndItalic) {
  struct Case {
    const char* status;
    bool selected;
    bool italic;
    bool grey;
  };
  const Case cases[] = {
      {"ok", false, false, false},      {"OK", false, false, false},     {"Unknown", false, true, true},
      {"unknown", true, true, false},   {"", false, true, true},         {"ok", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    QStyleOptionViewItem option;
    option.font.setBold(true);
    option.palette.setColor(QPalette::Text, Qt::black);
    option.state = c.selected ? QStyle::State_Selected : QStyle::State_None;
    TConfigForm::cbComPortDrawItem(option, c.status);
    EXPECT_EQ(option.font.italic(), c.italic);
    EXPECT_EQ(option.font.bold(), !c.italic);  // italic is the only style
    EXPECT_EQ(option.palette.color(QPalette::Text) == QColor(0x80, 0x80, 0x80), c.grey);
  }
}
