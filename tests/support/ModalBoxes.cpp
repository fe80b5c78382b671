#include "support/ModalBoxes.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

std::vector<TSeenBox> AnswerModals(const std::function<void()>& action, const std::function<void(QWidget*)>& other) {
  std::vector<TSeenBox> seen;
  QPointer<QWidget> handled;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == handled) return;
    handled = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen.push_back({box->windowTitle(), box->text(), box->icon()});
      box->reject();
    } else if (other) {
      other(modal);
    } else {
      modal->close();
    }
  });
  poll.start();
  action();
  poll.stop();
  return seen;
}
