#include "viewer/SmsListModel.h"

#include "common/Text.h"

#include <QPixmap>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

const char* const kCaptions[TSmsListModel::kColumnCount] = {"Направление", "Дата", "Номер телефона",
                                                            "Серийный номер", "Тип сообщения"};

void CopyPhone(TSmsRow& row, std::string_view phone) {
  std::memcpy(row.Phone.data(), phone.data(), std::min(phone.size(), row.Phone.size()));
}

void FillFromInfo(TSmsRow& row, const TSmsInfo& info) {
  CopyPhone(row, info.Phone);
  row.Kind = info.Kind;
  if (info.Kind == kKindBad) {
    row.Image = kImageUndated;
    row.Dated = false;
    return;
  }
  row.Image = kImageIncoming;
  row.DeviceNumber = info.DeviceNumber;
  // A reply's time comes from a time stamp of two-digit years and always names a date; one
  // that does not (a record made elsewhere) shows and sorts as having none.
  row.Dated = IsDateTimeInRange(info.Time);
  row.Time = row.Dated ? info.Time + 0.0 : 0;  // + 0.0: no negative zero, which sorts apart
}

unsigned char FoldedByte(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

// A text of at most 16 bytes, folded for the Latin letters and zero-filled, as two numbers that
// order as the texts do (the bytes big-endian): a shorter text sorts before a longer one that
// begins with it, as no text holds a zero byte.
void PutText(uint64_t (&out)[2], std::string_view text) {
  out[0] = out[1] = 0;
  for (size_t i = 0; i < text.size() && i < 16; ++i)
    out[i / 8] |= uint64_t(FoldedByte(static_cast<unsigned char>(text[i]))) << (8 * (7 - i % 8));
}

std::string_view PhoneText(const TSmsRow& row) {
  return std::string_view(row.Phone.data(), strnlen(row.Phone.data(), row.Phone.size()));
}

}  // namespace

// The sort key of a row by a column: the column's value, the phone and the load index, side
// by side, compared as numbers in that order, which orders the rows as CompareRows describes.
struct TSmsListModel::TSortKey {
  uint64_t Value[2];
  uint64_t Phone[2];
  uint32_t LoadIndex;

  TSortKey(const TSmsRow& row, int column) {
    Value[0] = Value[1] = 0;
    switch (column) {
      case 0: Value[0] = row.Image; break;
      case 1: {
        // A double's bits order as its value once the sign bit is flipped for a positive value
        // and every bit for a negative one. Row times are finite and never -0.
        uint64_t bits = 0;
        std::memcpy(&bits, &row.Time, sizeof bits);
        Value[0] = (bits >> 63) != 0 ? ~bits : bits | (uint64_t(1) << 63);
        break;
      }
      case 2: PutText(Value, PhoneText(row)); break;
      case 3: PutText(Value, RowDeviceText(row)); break;
      case 4: PutText(Value, RowKindText(row)); break;
      default: break;
    }
    PutText(Phone, PhoneText(row));
    LoadIndex = static_cast<uint32_t>(row.LoadIndex);
  }

  // Negative, 0 or positive as this key sorts before, with or after the other.
  int Compare(const TSortKey& other) const {
    const uint64_t mine[] = {Value[0], Value[1], Phone[0], Phone[1], LoadIndex};
    const uint64_t theirs[] = {other.Value[0], other.Value[1], other.Phone[0], other.Phone[1], other.LoadIndex};
    for (size_t i = 0; i < std::size(mine); ++i)
      if (mine[i] != theirs[i]) return mine[i] < theirs[i] ? -1 : 1;
    return 0;
  }
};

// The images live in a static library: naming the resource makes the linker keep it. (The
// macro declares a function and must stand outside any namespace.)
void LoadViewerImages() { Q_INIT_RESOURCE(ViewerImages); }

TSmsRow MakeRow(const TSmsInfo& info, int loadIndex) {
  TSmsRow row;
  row.LoadIndex = loadIndex;
  FillFromInfo(row, info);
  return row;
}

TSmsRow MakeRow(const TSmsHistory& history, int loadIndex) {
  const THistoryItem& item = history.Item(static_cast<size_t>(loadIndex));
  TSmsRow row;
  row.LoadIndex = loadIndex;
  std::memcpy(row.Phone.data(), item.Phone.data(), std::min(item.Phone.size(), row.Phone.size()));
  if (item.Direction == 0) {
    row.Kind = item.Kind;
    if (item.Kind == kKindBad) {
      row.Image = kImageUndated;
      row.Dated = false;
      return row;
    }
    row.DeviceNumber = item.DeviceNumber;
    row.Dated = IsDateTimeInRange(item.ReplyTime);
    row.Time = row.Dated ? item.ReplyTime + 0.0 : 0;
    return row;
  }
  // Every direction but 0 shows as sent. A stored time that names no date shows as none and
  // sorts as the oldest.
  row.Image = kImageOutgoing;
  row.Dated = IsDateTimeInRange(item.Time);
  row.Time = row.Dated ? item.Time + 0.0 : 0;
  return row;
}

QString RowDateText(const TSmsRow& row) {
  if (!row.Dated) return QString::fromUtf8("Не определена");
  return QStringFromCp1251(FormatDateTime("dd.mm.yy hh:nn:ss", row.Time));
}

std::string RowPhone(const TSmsRow& row) { return std::string(row.Phone.data(), strnlen(row.Phone.data(), row.Phone.size())); }

std::string RowDeviceText(const TSmsRow& row) {
  if (row.Image != kImageIncoming || row.Kind == kKindUnknown) return "--";
  return std::to_string(row.DeviceNumber);
}

std::string RowKindText(const TSmsRow& row) {
  if (row.Image == kImageUndated) return "Bad";
  if (row.Image == kImageOutgoing) return "Out sms";
  return KindName(row.Kind);
}

int CompareRows(const TSmsRow& a, const TSmsRow& b, int column, bool ascending) {
  const int result = TSmsListModel::TSortKey(a, column).Compare(TSmsListModel::TSortKey(b, column));
  return ascending ? result : -result;
}

TSmsListModel::TSmsListModel(QObject* parent) : QAbstractTableModel(parent) {
  LoadViewerImages();
  RowImages = {QIcon(":/viewer/incoming.png"), QIcon(":/viewer/outgoing.png"), QIcon(":/viewer/undated.png")};
  ArrowImages = {QIcon(":/viewer/arrow-down.png"), QIcon(":/viewer/arrow-up.png")};
}

int TSmsListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count; }

int TSmsListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant TSmsListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role != Qt::DisplayRole && !((role == Qt::DecorationRole || role == Qt::UserRole) && index.column() == 0))
    return {};
  const TSmsRow row = Row(index.row());
  if (role == Qt::DecorationRole) return RowImages[row.Image];
  if (role == Qt::UserRole) return row.Image;
  switch (index.column()) {
    case 1: return RowDateText(row);
    case 2: return QStringFromCp1251(RowPhone(row));
    case 3: return QString::fromStdString(RowDeviceText(row));
    case 4: return QStringFromCp1251(RowKindText(row));
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

TSmsListModel::~TSmsListModel() = default;

void TSmsListModel::SetRows(int count, TRowSource source) {
  beginResetModel();
  Count = count;
  Source = std::move(source);
  // Its room stays for the next sort.
  Order.clear();
  endResetModel();
}

void TSmsListModel::Clear() { SetRows(0, {}); }

int TSmsListModel::LoadIndex(int row) const { return Order.empty() ? Count - 1 - row : Order[static_cast<size_t>(row)]; }

std::vector<TSmsRow> TSmsListModel::AllRows() const {
  std::vector<TSmsRow> rows;
  rows.reserve(static_cast<size_t>(Count));
  for (int row = 0; row < Count; ++row) rows.push_back(Row(row));
  return rows;
}

void TSmsListModel::SortRows(int column, bool ascending) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<int32_t> loadIndexOf;  // of the rows that persistent indexes point to
  loadIndexOf.reserve(static_cast<size_t>(before.size()));
  for (const QModelIndex& index : before) loadIndexOf.push_back(LoadIndex(index.row()));
  // The keys hold all a comparison reads, side by side, so the sort never leaves them. Their
  // room stays for the next sort: a list that grows by a few rows between sorts reuses it.
  if (SortKeys.capacity() < static_cast<size_t>(Count)) {
    SortKeys.clear();
    SortKeys.shrink_to_fit();
    SortKeys.reserve(static_cast<size_t>(Count) + static_cast<size_t>(Count) / 8);
  }
  SortKeys.clear();
  for (int loadIndex = 0; loadIndex < Count; ++loadIndex) SortKeys.emplace_back(Source(loadIndex), column);
  std::sort(SortKeys.begin(), SortKeys.end(), [ascending](const TSortKey& a, const TSortKey& b) {
    const int result = a.Compare(b);
    return ascending ? result < 0 : result > 0;
  });
  Order.resize(static_cast<size_t>(Count));
  for (size_t i = 0; i < SortKeys.size(); ++i) Order[i] = static_cast<int32_t>(SortKeys[i].LoadIndex);
  if (!before.isEmpty()) {
    std::vector<int32_t> rowOf(static_cast<size_t>(Count));
    for (size_t i = 0; i < Order.size(); ++i) rowOf[static_cast<size_t>(Order[i])] = static_cast<int32_t>(i);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
      after.push_back(this->index(rowOf[static_cast<size_t>(loadIndexOf[static_cast<size_t>(i)])], before[i].column()));
    changePersistentIndexList(before, after);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TSmsListModel::SetArrow(int column, int image) {
  Arrow = column;
  ArrowIndex = image;
  emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}
