#pragma once
// The detail of one message as labelled lines in Russian: what kind of reply it is and every
// value of its payload under its own label. Only the values are highlighted; the message
// window writes the lines into its detail pane.

#include "common/DateTime.h"
#include "common/SmsInfo.h"
#include "gsm/SmsLog.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

// One line of the pane: a fixed label followed by a value. A labelled line has both, a whole
// line only a value, a plain line only a label. The value, and only the value, is highlighted;
// a value may be a block of several lines.
struct TDetailLine {
  QString Label;
  QString Value;
  bool operator==(const TDetailLine&) const = default;
};

struct TSmsDetail {
  std::vector<TDetailLine> Lines;
  // The message carries a position that can be shown on the globe.
  bool Export = false;
};

// The lines of a received record (unread view, or a received entry of the history). Device
// times are shown as local times: `utcOffsetHours` is added to them.
TSmsDetail MessageDetail(const TSmsInfo& record, int utcOffsetHours);
// The lines of a sent history entry.
TSmsDetail OutgoingDetail(const TLogEntry& entry);

// The device's marked Cyrillic (a 0x04 before each letter) turned into code page 1251; when
// any mark occurred, the doubled word gaps the device sends become single ones.
std::string DecodeDeviceText(std::string_view text);

// Local time minus UTC in whole hours (minutes ignored), ±24 where the two dates differ.
int GetUtcOffsetHours(TDateTime local, TDateTime utc);
// The offset of this machine now.
int GetUtcOffsetHours();

// A stored coordinate pair (ddmm.mmmm times 100000) as text: degrees, `separator`, minutes,
// then the hemisphere letter, for latitude and longitude.
QString CoordinateText(int32_t latitude, int32_t longitude, const QString& separator);

// The pane's whole text with the highlighted ranges (character positions in that text); lines
// are joined with a single "\n", and the "\r\n" inside values counts as one "\n".
struct TDetailSpan {
  int Start = 0;
  int Length = 0;
  bool operator==(const TDetailSpan&) const = default;
};
QString DetailText(const std::vector<TDetailLine>& lines, std::vector<TDetailSpan>* spans);
