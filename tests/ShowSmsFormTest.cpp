// The message window, driven through its widgets over a real log file: the rows of both
// views, the first sort and the header clicks, reloads, the layout string, closing (notice
// cleared, records read) and destroying (layout saved, nothing read), the export button.

#include "viewer/ShowSmsForm.h"

#include "common/Text.h"
#include "gsm/ParamReply.h"
#include "gsm/ReadSmsFromLog.h"
#include "gsm/SmsLog.h"
#include "support/FakeMonitor.h"
#include "support/LogFile.h"
#include "support/TempFolder.h"
#include "support/TestApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QTableView>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// The monitor as the window sees it, over a log in a folder of the test's own.
// The folder comes first, so that it is there when the monitor's log is made in it.
struct TShowSmsFolder {
  TTempFolder Folder{"orvex-showsms"};
};
class TLogMonitor : public TShowSmsFolder, public TFakeMonitor {
public:
  TLogMonitor() : TFakeMonitor(Folder.Path() + "/", TLogUse::InFolder) {}

  void Add(uint8_t direction, TDateTime time, const std::string& phone, const std::string& text, uint8_t read = 0,
           uint8_t accepted = 1) {
    TLogRecord record;
    record.Direction = direction;
    record.Read = read;
    record.Time = time;
    record.Phone = phone;
    record.Text = text;
    record.Accepted = accepted;
    ASSERT_TRUE(Log()->WriteSmsLogRecord(Log()->LogPath(), record));
  }
  // The read byte of every record in the file.
  std::string ReadFlags() const {
    std::string flags;
    for (const TLogRecord& record : ReadLogRecords(Log()->LogPath())) flags += char('0' + record.Read);
    return flags;
  }
};

TDateTime At(int day, int hour, int minute) { return EncodeDateTime(2024, 3, day, hour, minute, 0, 0); }

// What the dispatcher gets for command 5 over the monitor's log: the kind of each record of
// the block, and for kind 0 (a message that could not be read) its text.
struct TBlockRecord {
  int Kind;
  std::string Text;
  bool operator==(const TBlockRecord&) const = default;
};
std::vector<TBlockRecord> DispatcherBlock(TSmsLog& log) {
  TReadSmsFromLog packer([&log](TSmsInfoList& list, std::vector<int32_t>& indexes) { log.LoadUnreadSms(list, &indexes); });
  packer.Start();
  packer.WaitFor();
  EXPECT_TRUE(packer.Completed);
  const std::string block(reinterpret_cast<const char*>(packer.Payload.data()), static_cast<size_t>(packer.PayloadLength));
  std::vector<TBlockRecord> records;
  for (size_t at = 0; at + 3 <= block.size();) {
    const size_t size = static_cast<unsigned char>(block[at]) | static_cast<unsigned char>(block[at + 1]) << 8;
    if (size < 3 || at + size > block.size()) {
      ADD_FAILURE() << "bad record at " << at;
      break;
    }
    const int kind = static_cast<unsigned char>(block[at + 2]);
    records.push_back({kind, kind == kKindBad ? std::string(block.data() + at + 3) : std::string()});
    at += size;
  }
  return records;
}

const char kGet[] = "12345 141530.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324";
const char kAlarm[] = "12345@input 2:101500:101459.000,a,5545.1234,n,03737.5678,e,12.5,270.0,050324";
const char kPoint[] = "12345@point 2 in:101459.000,a,5545.1234,n,03737.5678,e,0.0,0.0,050324";
const char kControlPoint[] = "12345 controlpoint2=5545123,n,3737567,e;";
const char kParam[] = "54321 periodwr=60;";
// A stored time that names no date: such a record reads back as one whose time was not read.
const TDateTime kUnreadable = 1e300;

class ShowSmsFormTest : public ::testing::Test {
protected:
  TLogMonitor Monitor;
  std::unique_ptr<TShowSmsForm> Form;

  void SetUp() override {
    TestApplication();
    ASSERT_TRUE(Monitor.Folder.IsCreated());
  }
  void TearDown() override { Form.reset(); }

  // r0 GET +7902 at T1; r1 Unknown +7901 at T1; r2 sent +7903 at T2; r3 Bad +7900; r4 parameter
  // answer +7901 at T3 (T1 < T2 < T3).
  void WriteMixedHistory() {
    Monitor.Add(0, At(5, 10, 0), "+7902", kGet);
    Monitor.Add(0, At(5, 10, 0), "+7901", "hello");
    Monitor.Add(1, At(5, 11, 0), "+7903", "12345 get");
    Monitor.Add(0, kUnreadable, "+7900", "12345 reset");
    Monitor.Add(0, At(5, 12, 0), "+7901", kParam);
  }

  TShowSmsForm& Open(bool history) {
    Form = std::make_unique<TShowSmsForm>(Monitor);
    if (history)
      Form->ShowOperationHistory();
    else
      Form->ShowUnreadMessages();
    Form->show();
    return *Form;
  }
  // Lets the first-sort timer fire (it may take a while on a loaded machine).
  void Settle() { EXPECT_TRUE(QTest::qWaitFor([this] { return !Form->ShowTimer.isActive(); }, 5000)); }

  QTableView* List() { return Form->findChild<QTableView*>("lvSmsList"); }
  QTextEdit* Detail() { return Form->findChild<QTextEdit*>("reSmsDetail"); }
  QToolButton* Export() { return Form->findChild<QToolButton*>("btnGoogleExport"); }
  void ClickHeader(int column) {
    QHeaderView* header = List()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  }
  std::vector<int> Order() {
    std::vector<int> order;
    for (const TSmsRow& row : Form->ListModel().AllRows()) order.push_back(row.LoadIndex);
    return order;
  }
  QString Cell(int row, int column) { return Form->ListModel().index(row, column).data().toString(); }
  int Image(int row) { return Form->ListModel().index(row, 0).data(Qt::UserRole).toInt(); }
  void SelectRow(int row) {
    List()->setCurrentIndex(Form->ListModel().index(row, 0));
  }
  int SelectedLoadIndex() {
    const QModelIndex current = List()->currentIndex();
    return current.isValid() ? Form->ListModel().Row(current.row()).LoadIndex : -1;
  }
};

TEST_F(ShowSmsFormTest, HistoryRowsShowEachKindNewestFirstAndTheFirstIsSelected) {
  WriteMixedHistory();
  Open(true);
  EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("История операций"));
  EXPECT_EQ(Form->ViewMode, 2);
  struct Case {
    int Image;
    const char* Date;
    const char* Phone;
    const char* Device;
    const char* Kind;
  };
  const Case rows[] = {
      {0, "05.03.24 12:00:00", "+7901", "54321", "PERIODWR"}, {2, "Не определена", "+7900", "--", "Bad"},
      {1, "05.03.24 11:00:00", "+7903", "--", "Out sms"},     {0, "05.03.24 10:00:00", "+7901", "--", "Unknown"},
      {0, "05.03.24 10:00:00", "+7902", "12345", "GET"},
  };
  // Before the first sort: load order reversed.
  ASSERT_EQ(Form->ListModel().rowCount(), 5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Image(i), rows[i].Image);
    EXPECT_EQ(Cell(i, 0), QString());
    EXPECT_EQ(Cell(i, 1), QString::fromUtf8(rows[i].Date));
    EXPECT_EQ(Cell(i, 2), rows[i].Phone);
    EXPECT_EQ(Cell(i, 3), rows[i].Device);
    EXPECT_EQ(Cell(i, 4), rows[i].Kind);
  }
  EXPECT_EQ(SelectedLoadIndex(), 4);
  // The list takes the focus: the window's focus child is the list, whether or not the window
  // is active on this display.
  EXPECT_EQ(Form->focusWidget(), List());
  EXPECT_TRUE(Detail()->toPlainText().contains(QStringFromCp1251(ParamCaption(0))));
}

TEST_F(ShowSmsFormTest, FirstSortIsNewestFirstWithTheArrowOnTheDate) {
  WriteMixedHistory();
  Open(true);
  EXPECT_EQ(Form->ListModel().ArrowColumn(), -1);
  Settle();
  EXPECT_EQ(Form->SortColumn, 1);
  EXPECT_FALSE(Form->SortFlag);
  EXPECT_EQ(Form->ListModel().ArrowColumn(), 1);
  EXPECT_EQ(Form->ListModel().ArrowImage(), 0);
  EXPECT_FALSE(Form->ListModel().headerData(1, Qt::Horizontal, Qt::DecorationRole).isNull());
  EXPECT_TRUE(Form->ListModel().headerData(0, Qt::Horizontal, Qt::DecorationRole).isNull());
  // The undated row is the oldest; equal times by phone.
  EXPECT_EQ(Order(), (std::vector<int>{4, 2, 0, 1, 3}));
  EXPECT_EQ(SelectedLoadIndex(), 4);
}

TEST_F(ShowSmsFormTest, EveryColumnSortsBothWaysWithTiesByPhoneThenLoadOrder) {
  WriteMixedHistory();
  Open(true);
  Settle();
  struct Case {
    int Column;
    bool Flag;
    int Arrow;
    std::vector<int> Order;
  };
  const Case cases[] = {
      {1, true, 1, {3, 1, 0, 2, 4}},   // second click on the date: oldest first
      {0, false, 0, {3, 2, 0, 4, 1}},  // image order descending, +7901 twice: later load first
      {0, true, 1, {1, 4, 0, 2, 3}},
      {2, false, 0, {2, 0, 4, 1, 3}},
      {2, true, 1, {3, 1, 4, 0, 2}},
      {3, false, 0, {4, 0, 2, 1, 3}},  // device numbers as text, "--" below digits
      {3, true, 1, {3, 1, 2, 0, 4}},
      {4, false, 0, {1, 4, 2, 0, 3}},
      {4, true, 1, {3, 0, 2, 4, 1}},
      {1, false, 0, {4, 2, 0, 1, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Column);
    SCOPED_TRACE(c.Flag);
    const int selected = SelectedLoadIndex();
    ClickHeader(c.Column);
    EXPECT_EQ(Form->SortColumn, c.Column);
    EXPECT_EQ(Form->SortFlag, c.Flag);
    EXPECT_EQ(Form->ListModel().ArrowColumn(), c.Column);
    EXPECT_EQ(Form->ListModel().ArrowImage(), c.Arrow);
    EXPECT_EQ(Order(), c.Order);
    // The selection stays on its record.
    EXPECT_EQ(SelectedLoadIndex(), selected);
  }
}

TEST_F(ShowSmsFormTest, ComparisonIsAStrictOrderOverEqualTimesAndBadRows) {
  // Equal times, equal phones, Bad rows in both views.
  for (int i = 0; i < 6; ++i)
    Monitor.Add(0, i % 2 ? kUnreadable : At(5, 10, 0), i % 2 ? "+7900" : i < 3 ? "+7901" : "+7902", "hello");
  for (bool history : {false, true}) {
    SCOPED_TRACE(history);
    Open(history);
    const int rows = Form->ListModel().rowCount();
    ASSERT_EQ(rows, 6);
    for (int column = 0; column < TSmsListModel::kColumnCount; ++column)
      for (bool flag : {false, true}) {
        Form->SortColumn = column;
        Form->SortFlag = flag;
        for (int a = 0; a < rows; ++a) {
          EXPECT_GE(Form->lvSmsListCompare(a, a), 0) << column;  // irreflexive
          EXPECT_LE(Form->lvSmsListCompare(a, a), 0) << column;
          for (int b = 0; b < rows; ++b) {
            const int ab = Form->lvSmsListCompare(a, b), ba = Form->lvSmsListCompare(b, a);
            EXPECT_EQ(ab < 0, ba > 0) << column << " " << a << " " << b;  // antisymmetric
            if (a != b) {
              EXPECT_NE(ab, 0) << column << " " << a << " " << b;
            }
          }
        }
      }
    Form.reset();
  }
}

TEST_F(ShowSmsFormTest, ThousandsOfEqualAndUndatedRowsSortIntoAStrictOrder) {
  // Few distinct values: long runs of equal times, phones and kinds, every third row Bad.
  TSmsInfoList records;
  for (int i = 0; i < 3000; ++i) {
    auto info = std::make_unique<TSmsInfo>();
    info->Kind = i % 3 == 0 ? kKindBad : i % 3 == 1 ? kKindGet : kKindUnknown;
    info->Time = i % 3 == 0 ? 0 : 45000 + i % 4;
    info->Phone = "+790" + std::to_string(i % 5);
    info->DeviceNumber = 10000 + i % 7;
    records.push_back(std::move(info));
  }
  TSmsListModel model;
  for (int column = 0; column < TSmsListModel::kColumnCount; ++column)
    for (bool ascending : {false, true}) {
      model.SetRows(static_cast<int>(records.size()),
                    [&records](int i) { return MakeRow(*records[static_cast<size_t>(i)], i); });
      model.SortRows(column, ascending);
      const std::vector<TSmsRow> sorted = model.AllRows();
      ASSERT_EQ(sorted.size(), records.size());
      std::vector<bool> seen(records.size());
      for (size_t i = 0; i < sorted.size(); ++i) {
        seen[size_t(sorted[i].LoadIndex)] = true;
        if (i > 0) {
          ASSERT_LT(CompareRows(sorted[i - 1], sorted[i], column, ascending), 0) << column << " " << i;
        }
      }
      EXPECT_EQ(std::count(seen.begin(), seen.end(), true), static_cast<long>(records.size()));
      if (column == 1 && !ascending) {
        EXPECT_EQ(sorted.back().Image, kImageUndated);  // Bad rows are the oldest
      }
    }
}

TEST_F(ShowSmsFormTest, TextColumnsFoldOnlyLatinLetters) {
  struct Case {
    std::string A, B;
    int Sign;  // of the ascending comparison
  };
  const Case cases[] = {
      {"abc", "ABC", 0}, {"abd", "ABC", 1}, {"Abc", "abd", -1}, {"_", "a", 1},  // "a" reads as "A", below '_' 
      {Cp1251("б"), Cp1251("Б"), 1},                                           // Cyrillic by code
      {"10", "9", -1},                                                          // as text
      {"ab", "abc", -1},
  };
  for (const Case& c : cases) {
    TSmsInfo a, b;
    a.Kind = b.Kind = kKindUnknown;
    a.Phone = c.A;
    b.Phone = c.B;
    TSmsRow ra = MakeRow(a, 0), rb = MakeRow(b, 0);
    const int result = CompareRows(ra, rb, 2, true);
    EXPECT_EQ((result > 0) - (result < 0), c.Sign) << c.A << " " << c.B;
  }
}

TEST_F(ShowSmsFormTest, LayoutKeepsDesignValuesForZeroOrMissingNumbers) {
  // The outer size of the designed window on this platform.
  Open(true);
  const QSize design = Form->frameGeometry().size();
  Form.reset();
  struct Case {
    const char* Layout;
    int Top, Left, Width, Height;  // 0: the design value
    const char* Columns;
  };
  const Case cases[] = {
      {"", 263, 500, 0, 0, "110,120,130,130,120"},
      {"0,0,0,0,0,0,0,0,0", 263, 500, 0, 0, "110,120,130,130,120"},
      {"10,20,400,380", 10, 20, 400, 380, "110,120,130,130,120"},
      {"0,30,600,500,70,0,140,0,80", 263, 30, 600, 500, "70,120,140,130,80"},
      {"40,x,600", 40, 500, 0, 0, "110,120,130,130,120"},
      {"100,200,800,400,10,20,30,40,50,60", 100, 200, 800, 400, "10,20,30,40,50"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Layout);
    Form = std::make_unique<TShowSmsForm>(Monitor);
    Form->ShowOperationHistory();
    Form->RestoreLayout(c.Layout);
    Form->show();
    const std::string shown = QString::asprintf("%d,%d,%d,%d,%s", c.Top, c.Left, c.Width ? c.Width : design.width(),
                                                c.Height ? c.Height : design.height(), c.Columns)
                                  .toStdString();
    EXPECT_EQ(Form->LayoutText(), shown);
    Form.reset();
    // Saved when the window goes.
    EXPECT_EQ(Monitor.Mirror.ShowSmsFormLayout, shown);
  }
  // Below the minimum size the window keeps its minimum.
  Form = std::make_unique<TShowSmsForm>(Monitor);
  Form->RestoreLayout("100,200,100,100");
  Form->show();
  EXPECT_EQ(Form->size(), QSize(350, 350));
}

TEST_F(ShowSmsFormTest, ReloadKeepsTheViewAndBringsRowsBackInLoadOrder) {
  WriteMixedHistory();
  Open(true);
  Settle();
  ClickHeader(2);
  Monitor.Add(0, At(4, 9, 0), "+7909", kGet);
  Form->RefreshList();
  EXPECT_EQ(Form->ViewMode, 2);
  EXPECT_EQ(Order(), (std::vector<int>{5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(SelectedLoadIndex(), 5);
  // The unread view reloads as the unread view.
  Form.reset();
  Open(false);
  EXPECT_EQ(Form->ListModel().rowCount(), 5);
  Monitor.Add(0, At(6, 9, 0), "+7908", "hello");
  Form->RefreshWindow();
  EXPECT_EQ(Form->ViewMode, 1);
  EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("Непрочитанные сообщения"));
  EXPECT_EQ(Form->ListModel().rowCount(), 6);
  EXPECT_EQ(Cell(0, 2), "+7908");
}

TEST_F(ShowSmsFormTest, UnreadableRecordsShowAsBadRowsAndHideNothingAfterThem) {
  // The damaged record at the start, in the middle and at the end of the log.
  for (const TUnreadableRecord& bad : UnreadableRecords()) {
    SCOPED_TRACE(bad.What);
    TLogMonitor monitor;
    // The window goes before the monitor it uses, however the case ends.
    struct TCloseForm {
      std::unique_ptr<TShowSmsForm>& Form;
      ~TCloseForm() { Form.reset(); }
    } closeForm{Form};
    monitor.Add(0, bad.Time, "+7900", bad.Text);
    monitor.Add(0, At(5, 10, 0), "+7901", kParam);
    monitor.Add(0, bad.Time, "+7900", bad.Text);
    monitor.Add(1, At(5, 11, 0), "+7903", "12345 get", 1);
    monitor.Add(0, At(5, 12, 0), "+7902", "hello");
    monitor.Add(0, bad.Time, "+7900", bad.Text);

    // The dispatcher gets every unread received message, the unreadable ones with their text.
    const TBlockRecord unreadable{kKindBad, bad.Text};
    EXPECT_EQ(DispatcherBlock(*monitor.Log()),
              (std::vector<TBlockRecord>{unreadable, {128, ""}, unreadable, {kKindUnknown, ""}, unreadable}));

    for (bool history : {true, false}) {
      SCOPED_TRACE(history);
      Form = std::make_unique<TShowSmsForm>(monitor);
      if (history)
        Form->ShowOperationHistory();
      else
        Form->ShowUnreadMessages();
      const std::vector<std::string> kinds =
          history ? std::vector<std::string>{"Bad", "Unknown", "Out sms", "Bad", "PERIODWR", "Bad"}
                  : std::vector<std::string>{"Bad", "Unknown", "Bad", "PERIODWR", "Bad"};
      ASSERT_EQ(Form->ListModel().rowCount(), static_cast<int>(kinds.size()));
      for (int row = 0; row < Form->ListModel().rowCount(); ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Cell(row, 4).toStdString(), kinds[static_cast<size_t>(row)]);
        if (kinds[static_cast<size_t>(row)] != "Bad") continue;
        EXPECT_EQ(Image(row), kImageUndated);
        EXPECT_EQ(Cell(row, 1), QString::fromUtf8("Не определена"));
        EXPECT_EQ(Cell(row, 2), "+7900");
        EXPECT_EQ(Cell(row, 3), "--");
        // The detail shows the text as it was received.
        SelectRow(row);
        EXPECT_TRUE(Detail()->toPlainText().endsWith(QString::fromLatin1(bad.Text))) << Detail()->toPlainText().toStdString();
      }
      EXPECT_EQ(monitor.Log()->LastLogIndex, 5);
      Form.reset();
    }
  }
}

// A log of 87 records, 32 of them sent, whose record 50 is a position report dated the 31st
// of month 13: every record shows, and closing the window marks every one of them read.
TEST_F(ShowSmsFormTest, AnImpossibleDateInTheMiddleOfALongLogHidesNothing) {
  const int kRecords = 87;
  const int kBad = 50;
  const char kBadText[] = "22001 103015.000,a,,,,,,,311324";
  auto sent = [](int i) { return (i + 1) * 32 / kRecords != i * 32 / kRecords; };
  int unreadReceived = 0;
  for (int i = 0; i < kRecords; ++i) {
    const uint8_t read = sent(i) || i < 40 ? 1 : 0;
    if (!sent(i) && !read) ++unreadReceived;
    Monitor.Add(sent(i) ? 1 : 0, At(5, 10, 0) + i / 1440.0, "+79001234567",
                i == kBad ? kBadText : sent(i) ? "12345 get" : kParam, read);
  }
  ASSERT_EQ(unreadReceived, 29);

  // The dispatcher's block: every unread received record, the bad one in its place.
  const std::vector<TBlockRecord> block = DispatcherBlock(*Monitor.Log());
  ASSERT_EQ(block.size(), static_cast<size_t>(unreadReceived));
  EXPECT_EQ(std::count(block.begin(), block.end(), TBlockRecord{kKindBad, kBadText}), 1);

  Open(true);
  Settle();
  ASSERT_EQ(Form->ListModel().rowCount(), kRecords);
  int sentRows = 0;
  for (int row = 0; row < kRecords; ++row) sentRows += Cell(row, 4) == "Out sms";
  EXPECT_EQ(sentRows, 32);
  const std::vector<int> order = Order();
  const int badRow = static_cast<int>(std::find(order.begin(), order.end(), kBad) - order.begin());
  ASSERT_LT(badRow, kRecords);
  EXPECT_EQ(Cell(badRow, 4), "Bad");
  EXPECT_EQ(Form->ListModel().Row(0).LoadIndex, kRecords - 1);  // newest first

  // A message stored after the load stays unread; every record before it is read.
  Monitor.Add(0, At(6, 10, 0), "+79001234567", kParam);
  Form->close();
  EXPECT_EQ(Monitor.NoticesCleared, 1);
  EXPECT_EQ(Monitor.ReadFlags(), std::string(kRecords, '1') + "0");
  EXPECT_EQ(DispatcherBlock(*Monitor.Log()).size(), 1u);
}

TEST_F(ShowSmsFormTest, ClosingClearsTheNoticeAndMarksTheLoadedRecordsRead) {
  for (bool history : {false, true}) {
    SCOPED_TRACE(history);
    TLogMonitor monitor;
    monitor.Add(0, At(5, 10, 0), "+7901", kGet);
    monitor.Add(1, At(5, 10, 1), "+7901", "12345 get");
    monitor.Add(0, At(5, 10, 2), "+7901", "hello");
    auto* form = new TShowSmsForm(monitor);
    QPointer<TShowSmsForm> guard(form);
    form->setAttribute(Qt::WA_DeleteOnClose);
    if (history)
      form->ShowOperationHistory();
    else
      form->ShowUnreadMessages();
    form->show();
    // A message stored after the load stays unread.
    monitor.Add(0, At(5, 10, 3), "+7901", "late");
    QTest::mouseClick(form->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(monitor.NoticesCleared, 1);
    EXPECT_EQ(monitor.ReadFlags(), "1110");
    TSmsInfoList unread;
    monitor.LoadUnreadSms(unread);
    ASSERT_EQ(unread.size(), 1u);
    EXPECT_EQ(unread[0]->Text, "late");
    EXPECT_FALSE(monitor.Mirror.ShowSmsFormLayout.empty());
  }
}

TEST_F(ShowSmsFormTest, DestroyingSavesTheLayoutAndMarksNothingRead) {
  WriteMixedHistory();
  Open(false);
  List()->horizontalHeader()->resizeSection(2, 90);
  const QRect frame = Form->frameGeometry();
  const std::string layout = QString::asprintf("%d,%d,%d,%d,110,120,90,130,120", frame.top(), frame.left(),
                                               frame.width(), frame.height()).toStdString();
  Form.reset();
  EXPECT_EQ(Monitor.NoticesCleared, 0);
  EXPECT_EQ(Monitor.ReadFlags(), "00000");
  EXPECT_EQ(Monitor.Mirror.ShowSmsFormLayout, layout);
  // The outer size read back gives the same window.
  Form = std::make_unique<TShowSmsForm>(Monitor);
  Form->ShowUnreadMessages();
  Form->RestoreLayout(layout);
  Form->show();
  EXPECT_EQ(Form->size(), QSize(635, 460));
  EXPECT_EQ(List()->horizontalHeader()->sectionSize(2), 90);
}

TEST_F(ShowSmsFormTest, EmptyLogShowsNoRowsAndAClickOnlyMovesTheArrow) {
  for (bool history : {false, true}) {
    Open(history);
    Settle();
    EXPECT_EQ(Form->ListModel().rowCount(), 0);
    EXPECT_EQ(Form->ListModel().ArrowColumn(), 1);
    ClickHeader(3);
    EXPECT_EQ(Form->SortColumn, 3);
    EXPECT_EQ(Form->ListModel().ArrowColumn(), 3);
    EXPECT_EQ(Form->ListModel().ArrowImage(), 0);
    EXPECT_TRUE(Detail()->toPlainText().isEmpty());
    EXPECT_FALSE(Export()->isEnabled());
    EXPECT_EQ(Form->SelectedRecord(), nullptr);
    EXPECT_EQ(Form->SelectedEntry(), nullptr);
    Form.reset();
  }
}

TEST_F(ShowSmsFormTest, ExportIsEnabledOnlyForPositions) {
  struct Case {
    uint8_t Direction;
    const char* Text;
    uint8_t Kind;
    bool Export;
  };
  const Case cases[] = {
      {0, kGet, kKindGet, true},     {0, kAlarm, kKindAlarm, true}, {0, kPoint, kKindIOPoint, true},
      {0, kControlPoint, 141, true}, {0, kParam, 128, false},       {0, "hello", kKindUnknown, false},
      {1, kGet, 0, false},
  };
  for (const Case& c : cases) Monitor.Add(c.Direction, At(5, 10, 0), "+7901", c.Text);
  Open(true);
  const int rows = Form->ListModel().rowCount();
  ASSERT_EQ(rows, static_cast<int>(std::size(cases)));
  // Alternate between a position and the others, so every selection counts.
  for (int round = 0; round < 2; ++round)
    for (int row = 0; row < rows; ++row) {
      const Case& c = cases[Form->ListModel().Row(row).LoadIndex];
      SCOPED_TRACE(c.Text);
      SelectRow(row);
      EXPECT_EQ(Export()->isEnabled(), c.Export);
      if (c.Direction == 0) {
        ASSERT_NE(Form->SelectedRecord(), nullptr);
        EXPECT_EQ(Form->SelectedRecord()->Kind, c.Kind);
      } else {
        EXPECT_EQ(Form->SelectedRecord(), nullptr);
        EXPECT_TRUE(Detail()->toPlainText().startsWith(QString::fromUtf8("Тип: исходящее сообщение")));
      }
      ASSERT_NE(Form->SelectedEntry(), nullptr);
      EXPECT_EQ(Form->SelectedEntry()->Text, c.Text);
    }
}

TEST_F(ShowSmsFormTest, DetailHighlightsOnlyTheValues) {
  Monitor.Add(0, At(5, 10, 0), "+7901", kParam);
  Open(false);
  const QString text = Detail()->toPlainText();
  const QString value = QString::fromUtf8("Значение: ");
  const int at = text.indexOf(value);
  ASSERT_GE(at, 0);
  QTextCursor cursor(Detail()->document());
  auto formatAt = [&](int position) {
    cursor.setPosition(position + 1);
    return cursor.charFormat();
  };
  const QColor highlight = Detail()->palette().color(QPalette::Active, QPalette::Highlight);
  EXPECT_EQ(formatAt(at).fontWeight(), QFont::Normal);
  EXPECT_NE(formatAt(at).foreground().color(), highlight);
  EXPECT_EQ(formatAt(at + value.size()).fontWeight(), QFont::Bold);
  EXPECT_EQ(formatAt(at + value.size()).foreground().color(), highlight);
  EXPECT_EQ(text.mid(at + value.size()), "60");
}

TEST_F(ShowSmsFormTest, UndatedRowShowsImage2AndIsKept) {
  Monitor.Add(0, kUnreadable, "+7900", kGet);
  Open(false);
  ASSERT_EQ(Form->ListModel().rowCount(), 1);
  EXPECT_EQ(Image(0), kImageUndated);
  EXPECT_EQ(Cell(0, 1), QString::fromUtf8("Не определена"));
  EXPECT_EQ(Cell(0, 3), "--");
  EXPECT_EQ(Cell(0, 4), "Bad");
  EXPECT_TRUE(Detail()->toPlainText().startsWith(QString::fromUtf8("Тип: Входящее сообщение.")));
}

TEST_F(ShowSmsFormTest, HomeAndEndGoToTheFirstAndLastRow) {
  WriteMixedHistory();
  Open(true);
  List()->setFocus();
  QTest::keyClick(List(), Qt::Key_End);
  EXPECT_EQ(SelectedLoadIndex(), 0);  // newest first: the oldest record is the last row
  EXPECT_EQ(Form->SelectedEntry()->Text, kGet);
  QTest::keyClick(List(), Qt::Key_Home);
  EXPECT_EQ(SelectedLoadIndex(), 4);
  QTest::keyClick(List(), Qt::Key_Down);
  EXPECT_EQ(SelectedLoadIndex(), 3);
}

TEST_F(ShowSmsFormTest, EntryOfAnUnknownDirectionShowsAsSent) {
  Monitor.Add(7, At(5, 10, 0), "+7901", "12345 get", 0, 0);
  Open(true);
  ASSERT_EQ(Form->ListModel().rowCount(), 1);
  EXPECT_EQ(Image(0), kImageOutgoing);
  EXPECT_EQ(Cell(0, 4), "Out sms");
  EXPECT_EQ(Detail()->toPlainText(),
            QString::fromUtf8("Тип: исходящее сообщение\nТекст сообщения:\n12345 get\nСообщение не принято к доставке"));
  EXPECT_EQ(Form->SelectedRecord(), nullptr);
  EXPECT_FALSE(Export()->isEnabled());
}

TEST_F(ShowSmsFormTest, WindowHasItsDesignedControls) {
  Open(true);
  EXPECT_EQ(Form->objectName(), "ShowSmsForm");
  EXPECT_EQ(Form->minimumSize(), QSize(350, 350));
  EXPECT_EQ(Form->size(), QSize(635, 460));
  EXPECT_EQ(Form->font().pixelSize(), 11);
  EXPECT_EQ(List()->geometry(), QRect(4, 6, 629, 179));
  EXPECT_EQ(Detail()->geometry(), QRect(4, 191, 629, 229));
  EXPECT_EQ(Export()->geometry(), QRect(4, 426, 28, 28));
  auto* close = Form->findChild<QPushButton*>("btnClose");
  EXPECT_EQ(close->geometry(), QRect(558, 429, 75, 25));
  EXPECT_EQ(close->text(), QString::fromUtf8("Закрыть"));
  EXPECT_EQ(close->toolTip(), QString::fromUtf8("Закрыть"));
  EXPECT_EQ(Export()->toolTip(), QString::fromUtf8("Посмотреть положение в Google Earth"));
  const char* captions[] = {"Направление", "Дата", "Номер телефона", "Серийный номер", "Тип сообщения"};
  const int widths[] = {110, 120, 130, 130, 120};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Form->ListModel().headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8(captions[i]));
    EXPECT_EQ(List()->horizontalHeader()->sectionSize(i), widths[i]);
  }
  // Resizing grows the list; the detail pane keeps its height.
  Form->resize(700, 600);
  EXPECT_EQ(Detail()->height(), 229);
  EXPECT_EQ(List()->height(), 179 + 140);
  EXPECT_TRUE(Form->isWindow());
}

}  // namespace
