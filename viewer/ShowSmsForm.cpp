#include "viewer/ShowSmsForm.h"

#include "seam/WindowFont.h"
#include "viewer/PositionExport.h"
#include "viewer/PositionKml.h"
#include "ui_ShowSmsForm.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTextCursor>

#include <array>
#include <cctype>
#include <cstdio>

namespace {

constexpr int kColumnWidths[TSmsListModel::kColumnCount] = {110, 120, 130, 130, 120};

// Reads up to nine integers written as "%d,%d,...": reading stops at the first mismatch and
// the values not read stay 0.
std::array<int, 9> ParseLayout(const std::string& text) {
  std::array<int, 9> values{};
  size_t at = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      if (at >= text.size() || text[at] != ',') break;
      ++at;
    }
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    size_t start = at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    size_t digits = at;
    long long value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && at - digits < 10)
      value = value * 10 + (text[at++] - '0');
    if (at == digits) break;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    if (text[start] == '-') value = -value;
    values[i] = static_cast<int>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
  }
  return values;
}

}  // namespace

TShowSmsForm::TShowSmsForm(TMonitorServices& monitor, QWidget* parent)
    : QWidget(parent, Qt::Window), Monitor(monitor), ui(std::make_unique<Ui::TShowSmsForm>()) {
  LoadViewerImages();
  ui->setupUi(this);
  setFont(WindowFont());
  move(500, 263);

  Model = new TSmsListModel(this);
  ui->lvSmsList->setModel(Model);
  QHeaderView* header = ui->lvSmsList->horizontalHeader();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(1);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // A report list: one line per message, as high as its image or its text. Rows of one fixed
  // height let the list change (a new message, a sort) without measuring its rows.
  QHeaderView* rows = ui->lvSmsList->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setMinimumSectionSize(1);
  rows->setDefaultSectionSize(std::max(ui->lvSmsList->fontMetrics().height(), ui->lvSmsList->iconSize().height()) + 2);
  for (int i = 0; i < TSmsListModel::kColumnCount; ++i) header->resizeSection(i, kColumnWidths[i]);
  // The selected row stays marked while the list has no focus.
  QPalette palette = ui->lvSmsList->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  ui->lvSmsList->setPalette(palette);
  ui->btnGoogleExport->setIcon(QIcon(":/viewer/globe.png"));

  ui->lvSmsList->installEventFilter(this);
  connect(header, &QHeaderView::sectionClicked, this, &TShowSmsForm::lvSmsListColumnClick);
  connect(ui->lvSmsList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            // Every notification counts; on a change the last one is for the new row.
            for (const QItemSelectionRange& range : deselected) lvSmsListSelectItem(range.top());
            for (const QItemSelectionRange& range : selected) lvSmsListSelectItem(range.top());
          });
  connect(ui->btnClose, &QPushButton::clicked, this, &TShowSmsForm::btnCloseClick);
  connect(ui->btnGoogleExport, &QToolButton::clicked, this, &TShowSmsForm::btnGoogleExportClick);

  UtcOffsetHours = GetUtcOffsetHours();
  ShowTimer.setObjectName("ShowTimer");
  ShowTimer.setInterval(1);
  connect(&ShowTimer, &QTimer::timeout, this, &TShowSmsForm::ShowTimerTimer);
  ShowTimer.start();
}

TShowSmsForm::~TShowSmsForm() {
  Monitor.Settings().SaveLayout(TWindowKind::ShowSms, LayoutText());
  // The rows go before the records they point to; nothing is marked read here.
  Model->Clear();
  ReleaseRecords();
}

void TShowSmsForm::ShowUnreadMessages() {
  ViewMode = 1;
  setWindowTitle(QString::fromUtf8("Непрочитанные сообщения"));
  Monitor.LoadUnreadSms(UnreadRecords);
  FillRows();
}

void TShowSmsForm::ShowOperationHistory() {
  ViewMode = 2;
  setWindowTitle(QString::fromUtf8("История операций"));
  // Reads only what was appended to the log since the history was last loaded.
  Monitor.LoadSmsLog(History);
  ShownEntry.reset();
  ShownEntryIndex = -1;
  FillRows();
}

void TShowSmsForm::FillRows() {
  // Newest (last loaded) first.
  if (ViewMode == 1)
    Model->SetRows(static_cast<int>(UnreadRecords.size()),
                   [this](int loadIndex) { return MakeRow(*UnreadRecords[static_cast<size_t>(loadIndex)], loadIndex); });
  else
    Model->SetRows(static_cast<int>(History.Count()), [this](int loadIndex) { return MakeRow(History, loadIndex); });
  if (Model->rowCount() > 0) {
    const QModelIndex first = Model->index(0, 0);
    ui->lvSmsList->selectionModel()->setCurrentIndex(
        first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui->lvSmsList->setFocus();
  }
}

void TShowSmsForm::ReleaseRecords() {
  UnreadRecords.clear();
  History.Clear();
  ShownEntry.reset();
  ShownEntryIndex = -1;
}

void TShowSmsForm::ReloadUnreadMessages() {
  // Rows first: they point into the records.
  Model->Clear();
  ReleaseRecords();
  ShowUnreadMessages();
}

void TShowSmsForm::ReloadOperationHistory() {
  // The history keeps what it loaded: the load adds the records appended since (a log that
  // shrank or was replaced is read anew), and the rows come back in load order.
  Model->Clear();
  UnreadRecords.clear();
  ShowOperationHistory();
}

void TShowSmsForm::RefreshList() {
  if (ViewMode == 1)
    ReloadUnreadMessages();
  else if (ViewMode == 2)
    ReloadOperationHistory();
}

void TShowSmsForm::RestoreLayout(const std::string& layout) {
  const std::array<int, 9> values = ParseLayout(layout);
  const QRect frame = frameGeometry();
  const int top = values[0] != 0 ? values[0] : frame.top();
  const int left = values[1] != 0 ? values[1] : frame.left();
  move(left, top);
  // The stored size is the outer one, frame included. Until the window manager has framed the
  // window its frame is not known: the window takes the outer size as its own, which is right
  // where no frame comes, and gives the frame's part back once the frame is there.
  OuterSize = QSize(values[2], values[3]);
  resize(values[2] != 0 ? values[2] : width(), values[3] != 0 ? values[3] : height());
  FitOuterSize();
  QHeaderView* header = ui->lvSmsList->horizontalHeader();
  for (int i = 0; i < TSmsListModel::kColumnCount; ++i)
    if (values[size_t(4 + i)] != 0) header->resizeSection(i, values[size_t(4 + i)]);
}

void TShowSmsForm::FitOuterSize() {
  if (OuterSize.isNull()) return;
  const QSize frame = frameGeometry().size() - size();
  if (frame.isNull()) return;  // no frame (yet)
  const QSize outer = OuterSize;
  OuterSize = QSize(0, 0);
  resize(outer.width() != 0 ? outer.width() - frame.width() : width(),
         outer.height() != 0 ? outer.height() - frame.height() : height());
}

void TShowSmsForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FitOuterSize();
}

void TShowSmsForm::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // Framing moves the window's inside by the frame's top and left parts.
  FitOuterSize();
}

void TShowSmsForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitOuterSize();
}

std::string TShowSmsForm::LayoutText() const {
  const QRect frame = frameGeometry();
  const QHeaderView* header = ui->lvSmsList->horizontalHeader();
  char text[160];
  std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d,%d,%d,%d,%d", frame.top(), frame.left(), frame.width(),
                frame.height(), header->sectionSize(0), header->sectionSize(1), header->sectionSize(2),
                header->sectionSize(3), header->sectionSize(4));
  return text;
}

void TShowSmsForm::closeEvent(QCloseEvent* event) {
  // Closing ends the notice in both views and marks what was loaded read.
  Model->Clear();
  ReleaseRecords();
  Monitor.ClearUnreadNotice();
  event->accept();
}

bool TShowSmsForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->lvSmsList && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool home = key->key() == Qt::Key_Home, end = key->key() == Qt::Key_End;
    if ((home || end) && key->modifiers() == Qt::NoModifier) {
      // A table view would move within the row; the list moves between rows.
      if (Model->rowCount() > 0) {
        const QModelIndex current = ui->lvSmsList->currentIndex();
        const QModelIndex target = Model->index(home ? 0 : Model->rowCount() - 1, current.isValid() ? current.column() : 0);
        ui->lvSmsList->selectionModel()->setCurrentIndex(target,
                                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        ui->lvSmsList->scrollTo(target);
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TShowSmsForm::btnCloseClick() { close(); }

void TShowSmsForm::btnGoogleExportClick() {
  // The unread view's rows hold the record itself, the history's rows an entry whose reply
  // it is; a sent entry or no selection carries no position.
  const TSmsInfo* record = SelectedRecord();
  if (!record || !CarriesPosition(record->Kind)) return;
  ExportPositionToGlobe(this, Monitor.ExeDir(), *record, UtcOffsetHours);
}

void TShowSmsForm::ShowTimerTimer() {
  ShowTimer.stop();
  lvSmsListColumnClick(1);
}

void TShowSmsForm::lvSmsListColumnClick(int column) {
  if (column == SortColumn) {
    SortFlag = !SortFlag;
  } else {
    SortColumn = column;
    SortFlag = false;
  }
  Model->SetArrow(column, SortFlag ? 1 : 0);
  if (Model->rowCount() == 0) return;
  Model->SortRows(SortColumn, SortFlag);
  const QModelIndex current = ui->lvSmsList->currentIndex();
  if (current.isValid()) ui->lvSmsList->scrollTo(current);
}

int TShowSmsForm::lvSmsListCompare(int row1, int row2) const {
  return CompareRows(Model->Row(row1), Model->Row(row2), SortColumn, SortFlag);
}

void TShowSmsForm::lvSmsListSelectItem(int row) {
  ui->btnGoogleExport->setEnabled(false);
  if (Model->rowCount() == 0 || row < 0 || row >= Model->rowCount()) return;
  if (ViewMode == 1)
    ShowUnreadDetail(row);
  else if (ViewMode == 2)
    ShowHistoryDetail(row);
}

void TShowSmsForm::ShowUnreadDetail(int row) {
  ShowMessageDetail(*UnreadRecords[static_cast<size_t>(Model->LoadIndex(row))]);
}

void TShowSmsForm::ShowHistoryDetail(int row) {
  const TLogEntry& entry = HistoryEntry(Model->LoadIndex(row));
  // Every entry that is not a received one shows as sent, as its row does.
  if (entry.Direction != 0)
    WriteDetail(OutgoingDetail(entry));
  else
    ShowMessageDetail(*entry.Reply);
}

const TLogEntry& TShowSmsForm::HistoryEntry(int loadIndex) const {
  if (!ShownEntry || ShownEntryIndex != loadIndex) {
    ShownEntry = History.Entry(static_cast<size_t>(loadIndex));
    ShownEntryIndex = loadIndex;
  }
  return *ShownEntry;
}

void TShowSmsForm::ShowMessageDetail(const TSmsInfo& record) {
  const TSmsDetail detail = MessageDetail(record, UtcOffsetHours);
  WriteDetail(detail);
  if (detail.Export) ui->btnGoogleExport->setEnabled(true);
}

void TShowSmsForm::WriteDetail(const TSmsDetail& detail) {
  // All lines in one update of the pane.
  QTextEdit* pane = ui->reSmsDetail;
  pane->setUpdatesEnabled(false);
  pane->clear();
  QTextCharFormat plain = pane->currentCharFormat();
  plain.setFontWeight(QFont::Normal);
  plain.clearForeground();
  QTextCharFormat value = plain;
  value.setForeground(pane->palette().color(QPalette::Active, QPalette::Highlight));
  value.setFontWeight(QFont::Bold);
  QTextCursor cursor(pane->document());
  cursor.beginEditBlock();
  for (size_t i = 0; i < detail.Lines.size(); ++i) {
    QString label = detail.Lines[i].Label, text = detail.Lines[i].Value;
    label.replace("\r\n", "\n");
    text.replace("\r\n", "\n");
    if (i > 0) cursor.insertText("\n", plain);
    cursor.insertText(label, plain);
    if (!text.isEmpty()) cursor.insertText(text, value);
  }
  cursor.endEditBlock();
  pane->moveCursor(QTextCursor::Start);
  pane->setUpdatesEnabled(true);
}

int TShowSmsForm::SelectedRow() const {
  const QModelIndexList rows = ui->lvSmsList->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

const TSmsInfo* TShowSmsForm::SelectedRecord() const {
  const int row = SelectedRow();
  if (row < 0 || row >= Model->rowCount()) return nullptr;
  const int loadIndex = Model->LoadIndex(row);
  if (ViewMode == 1) return UnreadRecords[static_cast<size_t>(loadIndex)].get();
  const TLogEntry& entry = HistoryEntry(loadIndex);
  return entry.Direction == 0 ? entry.Reply.get() : nullptr;
}

const TLogEntry* TShowSmsForm::SelectedEntry() const {
  const int row = SelectedRow();
  if (ViewMode != 2 || row < 0 || row >= Model->rowCount()) return nullptr;
  return &HistoryEntry(Model->LoadIndex(row));
}
