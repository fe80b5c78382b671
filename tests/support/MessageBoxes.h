#pragma once
// Message boxes of a window under test, answered from the test: every box that comes up while
// a TBoxAnswerer lives is noted and answered, so a modal box never blocks the test.

#include <QMessageBox>
#include <QTimer>

#include <string>
#include <vector>

// A message box as the test saw it.
struct TBox {
  QMessageBox::Icon Icon;
  std::string Caption;
  std::string Text;
};

class TBoxAnswerer {
 public:
  // Answers with `answer` where the box has that button, else with its first button.
  explicit TBoxAnswerer(QMessageBox::StandardButton answer);
  std::vector<TBox> Seen;

 private:
  void AnswerOpenBox();
  QMessageBox::StandardButton Answer;
  QTimer Timer;
};
