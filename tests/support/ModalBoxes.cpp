#include "support/ModalBoxes.h"

#include <QAbstractButton>
#include <QApplication>

#include <algorithm>

TModalAnswerer::TModalAnswerer(QMessageBox::StandardButton answer, std::function<void(QWidget*)> other)
    : Answer(answer), Other(std::move(other)) {
  Poll.setInterval(10);
  QObject::connect(&Poll, &QTimer::timeout, [this] { AnswerOpenModal(); });
  Poll.start();
}

void TModalAnswerer::AnswerOpenModal() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || !modal->isVisible()) return;
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (!box) {
    // The widget is handed over from a call of its own, not from this timer's: a timer does
    // not fire again while its slot runs, and the boxes that the widget opens while `Other`
    // works it must still be answered.
    if (std::find(Handed.begin(), Handed.end(), modal) != Handed.end()) return;
    Handed.push_back(modal);
    QPointer<QWidget> widget = modal;
    QTimer::singleShot(0, &Poll, [this, widget, modal] {
      if (widget && widget->isVisible()) {
        if (Other)
          Other(widget);
        else
          widget->close();
      }
      Handed.erase(std::remove(Handed.begin(), Handed.end(), modal), Handed.end());
    });
    return;
  }
  // A box that is still up at the next poll (one answered while it was still being shown) is
  // answered again; it is recorded once.
  if (std::find(Recorded.begin(), Recorded.end(), box) == Recorded.end()) {
    Recorded.emplace_back(box);
    Seen.push_back({box->windowTitle(), box->text(), box->icon()});
  }
  if (Answer == QMessageBox::NoButton) {
    box->reject();
    return;
  }
  QAbstractButton* button = box->button(Answer);
  if (!button && !box->buttons().isEmpty()) button = box->buttons().front();
  if (button)
    button->click();
  else
    box->reject();
}

std::vector<TSeenBox> AnswerModals(const std::function<void()>& action, const std::function<void(QWidget*)>& other,
                                   QMessageBox::StandardButton answer) {
  TModalAnswerer answerer(answer, other);
  action();
  return std::move(answerer.Seen);
}
