#pragma once
// How the end of a send is shown and told: a tray balloon (when notices are on) and the
// dispatcher's notice, sent whether or not the balloon shows.

#include <cstdint>
#include <functional>
#include <string>

class TMonitorEvents;
enum class TSendRefusal;

// Shows a balloon whose click does nothing: title, text, time-out in ms, icon.
using TNoticeBalloon = std::function<void(const std::string&, const std::string&, uint32_t, uint32_t)>;

// The balloon text and the dispatcher notice's payload for a result of a send; `errorText` is
// the last modem error, used for kSendModemError.
std::string SendResultBalloonText(uint8_t result, const std::string& errorText);
std::string SendResultNoticePayload(uint8_t result, const std::string& errorText);

// The reason of a message the send queue refused, as the send window's error box names it and
// the dispatcher reads it; empty for TSendRefusal::None.
std::string SendRefusalReason(TSendRefusal refusal);

// Shows the balloon through `balloon` when `showNotify` and tells the dispatcher through
// `events`.
void ReportSendResult(TMonitorEvents& events, const TNoticeBalloon& balloon, bool showNotify, uint8_t result,
                      const std::string& errorText);
