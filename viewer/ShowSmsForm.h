#pragma once
// The message window: the unread device replies (view 1) or the whole history of sent and
// received messages (view 2) as a list, the selected message's detail under it, and the
// button that shows a position on the globe. It owns the records it loaded; closing it clears
// the unread notice and marks them read, destroying it (at program end) only saves its layout.

#include "common/SmsInfo.h"
#include "gsm/SmsHistory.h"
#include "gsm/SmsLog.h"
#include "seam/MonitorServices.h"
#include "viewer/SmsDetail.h"
#include "viewer/SmsListModel.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class TShowSmsForm;
}

class TShowSmsForm : public QWidget, public TMessageWindow {
  Q_OBJECT

public:
  explicit TShowSmsForm(TMonitorServices& monitor, QWidget* parent = nullptr);
  ~TShowSmsForm() override;

  // TMessageWindow
  void ShowUnreadMessages() override;
  void ShowOperationHistory() override;
  void RestoreLayout(const std::string& layout) override;
  void RefreshWindow() override { RefreshList(); }

  void RefreshList();
  void ReloadUnreadMessages();
  void ReloadOperationHistory();

  // 0 until a list is first filled, 1 unread view, 2 history view.
  uint16_t ViewMode = 0;
  // Local time minus UTC in whole hours, added to the device times of the detail.
  int32_t UtcOffsetHours = 0;
  int32_t SortColumn = 0;
  bool SortFlag = false;
  // Fires once after the window is shown: the first sort, newest first.
  QTimer ShowTimer;

  // The selected row's records, for the position export: the received record (null for a
  // sent entry or when nothing is selected), and the history entry (null in the unread view).
  const TSmsInfo* SelectedRecord() const;
  const TLogEntry* SelectedEntry() const;
  // The row model behind lvSmsList.
  const TSmsListModel& ListModel() const { return *Model; }
  // The layout string of the window as it stands.
  std::string LayoutText() const;
  // The order of two rows of the list under the current sort: negative puts row1 first.
  int lvSmsListCompare(int row1, int row2) const;

public slots:
  void btnCloseClick();
  void btnGoogleExportClick();
  void ShowTimerTimer();
  void lvSmsListColumnClick(int column);
  void lvSmsListSelectItem(int row);

protected:
  void closeEvent(QCloseEvent* event) override;
  // Home and End move the list to its first and last row, as in a report list.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void FillRows();
  void ReleaseRecords();
  void ShowUnreadDetail(int row);
  void ShowHistoryDetail(int row);
  void ShowMessageDetail(const TSmsInfo& record);
  void WriteDetail(const TSmsDetail& detail);
  int SelectedRow() const;
  // The history entry at a load index, made from the history once and kept while it is the
  // one shown.
  const TLogEntry& HistoryEntry(int loadIndex) const;
  // Takes the frame's part off a restored outer size once the frame is known.
  void FitOuterSize();

  TMonitorServices& Monitor;
  std::unique_ptr<Ui::TShowSmsForm> ui;
  TSmsListModel* Model = nullptr;
  // The records of the current view, owned here; the rows are made from them.
  TSmsInfoList UnreadRecords;
  TSmsHistory History;
  mutable std::unique_ptr<TLogEntry> ShownEntry;
  mutable int ShownEntryIndex = -1;
  // The outer size of a restored layout (0 keeps the current value) while the window's frame
  // is not known yet; 0 x 0 once it is applied.
  QSize OuterSize{0, 0};
};
