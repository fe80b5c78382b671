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

// The sort key of a row by a column: the column's value, the phone and the load index, each
// written so that comparing the keys byte by byte (memcmp) orders the rows as CompareRows
// describes: texts folded for the Latin letters and zero-filled to 16 bytes (no text of a row
// is longer), the time as a double whose bytes sort as its value, the load index big-endian.
struct TSortKey {
  std::array<unsigned char, 16> Value;
  std::array<unsigned char, 16> Phone;
  std::array<unsigned char, 4> LoadIndex;
};
static_assert(sizeof(TSortKey) == 36, "the key compares as one run of bytes");

unsigned char FoldedByte(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

void PutText(std::array<unsigned char, 16>& out, std::string_view text) {
  out.fill(0);
  for (size_t i = 0; i < text.size() && i < out.size(); ++i) out[i] = FoldedByte(static_cast<unsigned char>(text[i]));
}

void PutBigEndian(unsigned char* out, uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<unsigned char>(value & 0xFFu);
    value >>= 8;
  }
}

TSortKey MakeSortKey(const TSmsRow& row, int column) {
  TSortKey key;
  key.Value.fill(0);
  switch (column) {
    case 0: key.Value[0] = row.Image; break;
    case 1: {
      // IEEE doubles sort as unsigned integers once the sign bit is flipped for positive values
      // and every bit for negative ones. Row times are finite and never -0.
      uint64_t bits = 0;
      std::memcpy(&bits, &row.Time, sizeof bits);
      bits = (bits >> 63) != 0 ? ~bits : bits | (uint64_t(1) << 63);
      PutBigEndian(key.Value.data(), bits, 8);
      break;
    }
    case 2: PutText(key.Value, std::string_view(row.Phone.data(), strnlen(row.Phone.data(), row.Phone.size()))); break;
    case 3: PutText(key.Value, RowDeviceText(row)); break;
    case 4: PutText(key.Value, RowKindText(row)); break;
    default: break;
  }
  PutText(key.Phone, std::string_view(row.Phone.data(), strnlen(row.Phone.data(), row.Phone.size())));
  PutBigEndian(key.LoadIndex.data(), static_cast<uint32_t>(row.LoadIndex) ^ 0x80000000u, 4);
  return key;
}

int CompareKeys(const TSortKey& a, const TSortKey& b) { return std::memcmp(&a, &b, sizeof(TSortKey)); }

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
  const int result = CompareKeys(MakeSortKey(a, column), MakeSortKey(b, column));
  const int sign = (result > 0) - (result < 0);
  return ascending ? sign : -sign;
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

void TSmsListModel::SetRows(int count, TRowSource source) {
  beginResetModel();
  Count = count;
  Source = std::move(source);
  Order.clear();
  Order.shrink_to_fit();
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
  {
    // The keys hold all a comparison reads, side by side, so the sort never leaves them.
    std::vector<TSortKey> keys;
    keys.reserve(static_cast<size_t>(Count));
    for (int loadIndex = 0; loadIndex < Count; ++loadIndex) keys.push_back(MakeSortKey(Source(loadIndex), column));
    std::sort(keys.begin(), keys.end(), [ascending](const TSortKey& a, const TSortKey& b) {
      const int result = CompareKeys(a, b);
      return ascending ? result < 0 : result > 0;
    });
    Order.resize(static_cast<size_t>(Count));
    for (size_t i = 0; i < keys.size(); ++i) {
      const auto& b = keys[i].LoadIndex;
      const uint32_t biased = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
      Order[i] = static_cast<int32_t>(biased ^ 0x80000000u);
    }
  }
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
