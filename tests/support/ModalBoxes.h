#pragma once
// Answers the modal message boxes and dialogs that a window opens while a test drives it, and
// records what the boxes said, so a modal box never blocks the test.

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

// A message box as the test saw it.
struct TSeenBox {
  QString Caption;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// While it lives, every message box that opens is recorded once and answered: with `answer`
// where the box has that button (else with its first button), or, with NoButton, closed as with
// its escape button. Every other modal widget (a file dialog, a window shown modally) is given
// to `other`, which must close it; without `other` it is closed. Boxes that come up while
// `other` works a widget are answered too.
class TModalAnswerer {
 public:
  explicit TModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::NoButton,
                          std::function<void(QWidget*)> other = {});
  std::vector<TSeenBox> Seen;

 private:
  void AnswerOpenModal();
  QMessageBox::StandardButton Answer;
  std::function<void(QWidget*)> Other;
  std::vector<QPointer<QWidget>> Recorded;
  // The modal widgets whose `Other` call has not ended yet (compared, never used).
  std::vector<QWidget*> Handed;
  QTimer Poll;
};

// Runs `action` under a TModalAnswerer and returns the boxes it recorded.
std::vector<TSeenBox> AnswerModals(const std::function<void()>& action,
                                   const std::function<void(QWidget*)>& other = {},
                                   QMessageBox::StandardButton answer = QMessageBox::NoButton);
