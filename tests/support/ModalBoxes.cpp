#include "support/ModalBoxes.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>

std::vector<TSeenBox> AnswerModals(const std::function<void()>& action, const std::function<void(QWidget*)>& other) {
  std::vector<TSeenBox> seen;
  std::vector<QPointer<QWidget>> recorded;
  QTimer poll;
  poll.setInterval(10);
  // A modal widget that is still up at the next poll (one answered while it was still being
  // shown) is answered again; a box is recorded once.
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (std::find(recorded.begin(), recorded.end(), box) == recorded.end()) {
        recorded.emplace_back(box);
        seen.push_back({box->windowTitle(), box->text(), box->icon()});
      }
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
