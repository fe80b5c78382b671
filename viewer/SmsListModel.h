#pragma once
// The rows of the message window's list: one per loaded record, with the direction image, the
// date, the phone, the device number and the kind name. The rows borrow the records of the
// window; a header click reorders them once (no re-sort after a reload).

#include "common/DateTime.h"
#include "common/SmsInfo.h"
#include "gsm/SmsLog.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <string>
#include <vector>

// Makes the window's images (rows, header arrows, export glyph) available as resources.
void LoadViewerImages();

// Row images.
constexpr int kImageIncoming = 0;
constexpr int kImageOutgoing = 1;
constexpr int kImageUndated = 2;

struct TSmsRow {
  int Image = kImageIncoming;
  // The time the date column shows and sorts by; 0 for a record whose date was not read.
  TDateTime Time = 0;
  const std::string* Phone = nullptr;  // the record's, code page 1251
  std::string Device;                  // "--" or the device number
  std::string Kind;                    // the kind name, "Bad" or "Out sms"
  // Position in the window's record list (log order).
  int LoadIndex = 0;
  const TSmsInfo* Info = nullptr;    // the received record, null for a sent entry
  const TLogEntry* Entry = nullptr;  // the history entry, null in the unread view
};

// The row of an unread record, and of a history entry.
TSmsRow MakeRow(const TSmsInfo& info, int loadIndex);
TSmsRow MakeRow(const TLogEntry& entry, int loadIndex);
// The date text of a row: "dd.mm.yy hh:nn:ss", or "Не определена" for an undated row.
QString RowDateText(const TSmsRow& row);

// Compares two rows by a column: negative puts `a` first. Ascending when `ascending`, else
// descending; equal values fall back to the phone texts, then to the load order, in the same
// direction, so the order is strict and total. Texts compare by byte with the Latin letters
// folded to one case.
int CompareRows(const TSmsRow& a, const TSmsRow& b, int column, bool ascending);

class TSmsListModel : public QAbstractTableModel {
  Q_OBJECT

public:
  static constexpr int kColumnCount = 5;

  explicit TSmsListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Replaces all rows at once; Clear() empties the list.
  void SetRows(std::vector<TSmsRow> rows);
  void Clear();
  const TSmsRow& Row(int row) const { return Rows[static_cast<size_t>(row)]; }
  const std::vector<TSmsRow>& AllRows() const { return Rows; }

  // Reorders the rows by a column; the selection and current row follow their rows.
  void SortRows(int column, bool ascending);
  // The header arrow: the image (0 or 1) on one column, -1 for none.
  void SetArrow(int column, int image);
  int ArrowColumn() const { return Arrow; }
  int ArrowImage() const { return ArrowIndex; }

private:
  std::vector<TSmsRow> Rows;
  std::array<QIcon, 3> RowImages;
  std::array<QIcon, 2> ArrowImages;
  int Arrow = -1;
  int ArrowIndex = -1;
};
