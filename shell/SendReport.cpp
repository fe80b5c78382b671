#include "shell/SendReport.h"

#include "common/Text.h"
#include "gsm/SmsSendThread.h"
#include "gsm/SmsSender.h"
#include "platform/TrayIcon.h"
#include "shell/DispatcherNotices.h"
#include "shell/TrayTexts.h"

namespace {

constexpr uint32_t kSentBalloonTime = 5000;
constexpr uint32_t kErrorBalloonTime = 15000;

const char* const kSentText = "Сообщение отправлено";
const char* const kErrorPrefix = "Ошибка при отправке СМС:\r\n";

// The reason of a failed send as the user and the dispatcher read it; "" for the modem's own
// error, whose text comes from the modem.
std::string FailureReason(uint8_t result) {
  switch (result) {
    case kSendPortBusy: return Cp1251("Модем занят");
    case kSendIoError: return Cp1251("Ошибка ввода вывода");
    case kSendNoAnswer: return Cp1251("Модем не отвечает");
    case kSendBadAnswer: return Cp1251("Неверный ответ модема");
    default: return std::string();
  }
}

}  // namespace

std::string SendResultBalloonText(uint8_t result, const std::string& errorText) {
  if (result == kSendDone) return Cp1251(kSentText);
  return Cp1251(kErrorPrefix) + (result == kSendModemError ? errorText : FailureReason(result));
}

std::string SendResultNoticePayload(uint8_t result, const std::string& errorText) {
  if (result == kSendDone) return std::string();
  // The modem's error text goes as it is; the monitor's own reasons carry their zero byte.
  if (result == kSendModemError) return errorText;
  return FailureReason(result) + '\0';
}

std::string SendRefusalReason(TSendRefusal refusal) {
  switch (refusal) {
    case TSendRefusal::NoDestination: return Cp1251("Неверный номер");
    case TSendRefusal::TextTooLong: return Cp1251("Слишком длинный текст сообщения");
    case TSendRefusal::QueueFull: return Cp1251("Очередь отправки переполнена");
    case TSendRefusal::None: break;
  }
  return std::string();
}

void ReportSendResult(TMonitorEvents& events, const TNoticeBalloon& balloon, bool showNotify, uint8_t result,
                      const std::string& errorText) {
  const bool sent = result == kSendDone;
  if (showNotify && balloon)
    balloon(BalloonTitle(), SendResultBalloonText(result, errorText), sent ? kSentBalloonTime : kErrorBalloonTime,
            sent ? TTrayIcon::kBalloonInfo : TTrayIcon::kBalloonError);
  if (sent)
    NotifySmsSent(events);
  else
    events.NotifyDispatcher(kNoticeError, SendResultNoticePayload(result, errorText));
}
