#include "support/MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>

TBoxAnswerer::TBoxAnswerer(QMessageBox::StandardButton answer) : Answer(answer) {
  Timer.setInterval(10);
  QObject::connect(&Timer, &QTimer::timeout, [this] { AnswerOpenBox(); });
  Timer.start();
}

void TBoxAnswerer::AnswerOpenBox() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box) return;
  Seen.push_back(TBox{box->icon(), box->windowTitle().toStdString(), box->text().toStdString()});
  QAbstractButton* button = box->button(Answer);
  if (!button && !box->buttons().isEmpty()) button = box->buttons().front();
  if (button) button->click();
}
