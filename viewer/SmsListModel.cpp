#include "viewer/SmsListModel.h"

#include "common/Text.h"

#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

const char* const kCaptions[TSmsListModel::kColumnCount] = {"Направление", "Дата", "Номер телефона",
                                                            "Серийный номер", "Тип сообщения"};
const std::string kNoPhone;

// A time read from a damaged log may be no number at all; it sorts and shows as 0.
TDateTime SaneTime(TDateTime time) { return std::isfinite(time) ? time : 0; }

void FillFromInfo(TSmsRow& row, const TSmsInfo& info) {
  row.Info = &info;
  row.Phone = &info.Phone;
  if (info.Kind == kKindBad) {
    row.Image = kImageUndated;
    row.Time = 0;
    row.Device = "--";
    row.Kind = "Bad";
    return;
  }
  row.Image = kImageIncoming;
  row.Time = SaneTime(info.Time);
  row.Device = info.Kind == kKindUnknown ? std::string("--") : std::to_string(info.DeviceNumber);
  row.Kind = KindName(info.Kind);
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int FoldedByte(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

int CompareTexts(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int d = FoldedByte(static_cast<unsigned char>(a[i])) - FoldedByte(static_cast<unsigned char>(b[i]));
    if (d != 0) return d < 0 ? -1 : 1;
  }
  return Sign(a.size(), b.size());
}

const std::string& PhoneOf(const TSmsRow& row) { return row.Phone ? *row.Phone : kNoPhone; }

}  // namespace

// The images live in a static library: naming the resource makes the linker keep it. (The
// macro declares a function and must stand outside any namespace.)
void LoadViewerImages() { Q_INIT_RESOURCE(ViewerImages); }

TSmsRow MakeRow(const TSmsInfo& info, int loadIndex) {
  TSmsRow row;
  row.LoadIndex = loadIndex;
  FillFromInfo(row, info);
  return row;
}

TSmsRow MakeRow(const TLogEntry& entry, int loadIndex) {
  TSmsRow row;
  row.LoadIndex = loadIndex;
  row.Entry = &entry;
  if (entry.Direction == 0 && entry.Reply) {
    FillFromInfo(row, *entry.Reply);
    return row;
  }
  row.Phone = &entry.Phone;
  row.Device = "--";
  if (entry.Direction == 0) {
    // A received entry without its reply has nothing read from it: shown as undated.
    row.Image = kImageUndated;
    row.Kind = "Bad";
    return row;
  }
  row.Image = kImageOutgoing;
  row.Time = SaneTime(entry.Time);
  row.Kind = "Out sms";
  return row;
}

QString RowDateText(const TSmsRow& row) {
  if (row.Image == kImageUndated) return QString::fromUtf8("Не определена");
  return QStringFromCp1251(FormatDateTime("dd.mm.yy hh:nn:ss", row.Time));
}

int CompareRows(const TSmsRow& a, const TSmsRow& b, int column, bool ascending) {
  int result = 0;
  switch (column) {
    case 0: result = Sign(a.Image, b.Image); break;
    case 1: result = Sign(a.Time, b.Time); break;
    case 2: result = CompareTexts(PhoneOf(a), PhoneOf(b)); break;
    case 3: result = CompareTexts(a.Device, b.Device); break;
    case 4: result = CompareTexts(a.Kind, b.Kind); break;
    default: break;
  }
  if (result == 0) result = CompareTexts(PhoneOf(a), PhoneOf(b));
  if (result == 0) result = Sign(a.LoadIndex, b.LoadIndex);
  return ascending ? result : -result;
}

TSmsListModel::TSmsListModel(QObject* parent) : QAbstractTableModel(parent) {
  LoadViewerImages();
  RowImages = {QIcon(":/viewer/incoming.png"), QIcon(":/viewer/outgoing.png"), QIcon(":/viewer/undated.png")};
  ArrowImages = {QIcon(":/viewer/arrow-down.png"), QIcon(":/viewer/arrow-up.png")};
}

int TSmsListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(Rows.size());
}

int TSmsListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant TSmsListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TSmsRow& row = Row(index.row());
  if (role == Qt::DecorationRole && index.column() == 0) return RowImages[static_cast<size_t>(row.Image)];
  if (role == Qt::UserRole && index.column() == 0) return row.Image;
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case 1: return RowDateText(row);
    case 2: return QStringFromCp1251(PhoneOf(row));
    case 3: return QString::fromStdString(row.Device);
    case 4: return QStringFromCp1251(row.Kind);
    default: return {};
  }
}

QVariant TSmsListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString::fromUtf8(kCaptions[section]);
  if (role == Qt::DecorationRole && section == Arrow && ArrowIndex >= 0)
    return ArrowImages[static_cast<size_t>(ArrowIndex)];
  if (role == Qt::UserRole && section == Arrow) return ArrowIndex;
  return {};
}

void TSmsListModel::SetRows(std::vector<TSmsRow> rows) {
  beginResetModel();
  Rows = std::move(rows);
  endResetModel();
}

void TSmsListModel::Clear() { SetRows({}); }

void TSmsListModel::SortRows(int column, bool ascending) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> order(Rows.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](int a, int b) { return CompareRows(Rows[size_t(a)], Rows[size_t(b)], column, ascending) < 0; });
  std::vector<TSmsRow> sorted;
  sorted.reserve(Rows.size());
  std::vector<int> newRowOf(Rows.size());
  for (size_t i = 0; i < order.size(); ++i) {
    sorted.push_back(std::move(Rows[size_t(order[i])]));
    newRowOf[size_t(order[i])] = static_cast<int>(i);
  }
  Rows = std::move(sorted);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before)
    after.push_back(this->index(newRowOf[size_t(index.row())], index.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TSmsListModel::SetArrow(int column, int image) {
  Arrow = column;
  ArrowIndex = image;
  emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}
