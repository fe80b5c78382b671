#pragma once
// How the end of a send is shown and told: a tray balloon (when notices are on) and the
// dispatcher's notice, sent whether or not the balloon shows.

#include <cstdint>
#include <string>

class TMonitorCore;

// The balloon text and the dispatcher notice's payload for a result of a send; `errorText` is
// the last modem error, used for kSendModemError.
std::string SendResultBalloonText(uint8_t result, const std::string& errorText);
std::string SendResultNoticePayload(uint8_t result, const std::string& errorText);

// Shows the balloon through `monitor`'s ShowNoticeBalloon when `showNotify` and tells the
// dispatcher through its NotifyDispatcher.
void ReportSendResult(TMonitorCore& monitor, bool showNotify, uint8_t result, const std::string& errorText);
