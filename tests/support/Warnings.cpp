#include "support/Warnings.h"

#include <QString>
#include <QtGlobal>

#include <mutex>

namespace {

std::mutex Guard;
std::vector<std::string> Captured;
QtMessageHandler Previous = nullptr;

void Capture(QtMsgType, const QMessageLogContext&, const QString& message) {
  std::lock_guard lock(Guard);
  Captured.push_back(message.toStdString());
}

}  // namespace

TWarningCapture::TWarningCapture() {
  {
    std::lock_guard lock(Guard);
    Captured.clear();
  }
  Previous = qInstallMessageHandler(Capture);
}

TWarningCapture::~TWarningCapture() { qInstallMessageHandler(Previous); }

std::vector<std::string> TWarningCapture::Lines() const {
  std::lock_guard lock(Guard);
  return Captured;
}

int TWarningCapture::Count(std::initializer_list<std::string_view> texts) const {
  int count = 0;
  for (const std::string& line : Lines()) {
    bool all = true;
    for (std::string_view text : texts) all = all && line.find(text) != std::string::npos;
    if (all) ++count;
  }
  return count;
}
