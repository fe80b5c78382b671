#pragma once
// The rows of the message window's list: one per loaded record, with the direction image, the
// date, the phone, the device number and the kind name. The rows are made from the window's
// records when they are shown or sorted, so the list holds no more than the order of its rows:
// the load order, newest first, until a header click reorders them once (no re-sort after a
// reload).

#include "common/DateTime.h"
#include "common/SmsInfo.h"
#include "gsm/SmsHistory.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Makes the window's images (rows, header arrows, export glyph) available as resources.
void LoadViewerImages();

// Row images.
constexpr int kImageIncoming = 0;
constexpr int kImageOutgoing = 1;
constexpr int kImageUndated = 2;

struct TSmsRow {
  // The time the date column shows and sorts by; 0 for a row without a date.
  TDateTime Time = 0;
  // Position in the window's record list (log order).
  int LoadIndex = 0;
  int32_t DeviceNumber = 0;
  uint8_t Image = kImageIncoming;
  uint8_t Kind = kKindBad;  // the received record's kind
  // False when the date cannot be shown: a received record whose time was not read, or a
  // sent one whose stored time names no date.
  bool Dated = true;
  // The phone up to its zero byte, zero-filled: a log record holds at most 16 bytes of it.
  std::array<char, 16> Phone{};
};

// The row of an unread record, and of a history record.
TSmsRow MakeRow(const TSmsInfo& info, int loadIndex);
TSmsRow MakeRow(const TSmsHistory& history, int loadIndex);
// The texts of a row's columns: "dd.mm.yy hh:nn:ss" or "Не определена"; the phone; "--" or
// the device number; the kind name, "Bad" or "Out sms".
QString RowDateText(const TSmsRow& row);
std::string RowPhone(const TSmsRow& row);
std::string RowDeviceText(const TSmsRow& row);
std::string RowKindText(const TSmsRow& row);

// Compares two rows by a column: negative puts `a` first. Ascending when `ascending`, else
// descending; equal values fall back to the phone texts, then to the load order, in the same
// direction, so the order is strict and total. Texts compare by byte with the Latin letters
// folded to one case.
int CompareRows(const TSmsRow& a, const TSmsRow& b, int column, bool ascending);

class TSmsListModel : public QAbstractTableModel {
  Q_OBJECT

public:
  static constexpr int kColumnCount = 5;
  // The row of the record at a load index.
  using TRowSource = std::function<TSmsRow(int loadIndex)>;

  explicit TSmsListModel(QObject* parent = nullptr);
  ~TSmsListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Shows `count` records at once, newest (highest load index) first; Clear() empties the
  // list. The source must answer for every load index below `count` while the rows show.
  void SetRows(int count, TRowSource source);
  void Clear();
  // The load index of a row, and the row itself.
  int LoadIndex(int row) const;
  TSmsRow Row(int row) const { return Source(LoadIndex(row)); }
  // Every row in the order shown.
  std::vector<TSmsRow> AllRows() const;

  // Reorders the rows by a column; the selection and current row follow their rows.
  void SortRows(int column, bool ascending);
  // The header arrow: the image (0 or 1) on one column, -1 for none.
  void SetArrow(int column, int image);
  int ArrowColumn() const { return Arrow; }
  int ArrowImage() const { return ArrowIndex; }

  struct TSortKey;

private:
  int Count = 0;
  TRowSource Source;
  // The load index of each row after a sort; empty while the rows are in load order.
  std::vector<int32_t> Order;
  std::vector<TSortKey> SortKeys;
  std::array<QIcon, 3> RowImages;
  std::array<QIcon, 2> ArrowImages;
  int Arrow = -1;
  int ArrowIndex = -1;
};
