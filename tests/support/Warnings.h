#pragma once
// The program's warning output (qWarning) as a test sees it.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Collects the messages of qWarning (and the other levels) from its making to its end, instead
// of printing them. One at a time.
class TWarningCapture {
 public:
  TWarningCapture();
  ~TWarningCapture();
  TWarningCapture(const TWarningCapture&) = delete;
  TWarningCapture& operator=(const TWarningCapture&) = delete;

  std::vector<std::string> Lines() const;
  // The number of messages that hold every one of the texts.
  int Count(std::initializer_list<std::string_view> texts) const;
};
