// Arbitrary modem output cut into reads at arbitrary places: however the reads fall, the
// notice stream gives the same notices and the same answer text as one read of all the bytes,
// and after a flush once an unfinished +CMT's wait is over nothing is left pending.

#include "gsm/NoticeStream.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct TOutcome {
  std::string Rest;
  std::vector<std::string> Notices;
};

void Drain(TNoticeStream& stream, TOutcome& outcome) {
  TModemNotice notice;
  while (stream.Next(notice))
    outcome.Notices.push_back(std::to_string(static_cast<int>(notice.Kind)) + ":" + notice.Text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Longer input than an unfinished notice may grow is cut by the stream's limit at moments
  // that depend on the reads; the property holds below it.
  if (size < 1 || size > 4096) return 0;
  // The first bytes choose the read sizes; the rest is what the modem sent.
  const size_t cuts = data[0] % 8;
  if (size < 1 + cuts) return 0;
  std::vector<size_t> sizes(data + 1, data + 1 + cuts);
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1 + cuts), size - 1 - cuts);

  // The reads come at once; the flush comes after the wait of a +CMT header for its PDU line.
  auto now = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
  auto clock = [&now] { return now; };
  TNoticeStream whole(clock);
  TOutcome once;
  once.Rest = whole.Feed(bytes);
  now += TNoticeStream::kCmtPduWait;
  whole.Flush();
  Drain(whole, once);
  if (whole.HasPending()) __builtin_trap();

  now -= TNoticeStream::kCmtPduWait;
  TNoticeStream pieces(clock);
  TOutcome split;
  size_t at = 0;
  for (size_t piece : sizes) {
    const size_t take = std::min(piece, bytes.size() - at);
    split.Rest += pieces.Feed(bytes.substr(at, take));
    at += take;
  }
  split.Rest += pieces.Feed(bytes.substr(at));
  now += TNoticeStream::kCmtPduWait;
  pieces.Flush();
  Drain(pieces, split);
  if (pieces.HasPending()) __builtin_trap();

  if (split.Rest != once.Rest || split.Notices != once.Notices) __builtin_trap();
  return 0;
}
