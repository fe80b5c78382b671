#pragma once
// Answers the modal message boxes and dialogs that a window opens while a test drives it, and
// records what the boxes said.

#include <QMessageBox>
#include <QString>

#include <functional>
#include <vector>

class QWidget;

struct TSeenBox {
  QString Caption;
  QString Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// Runs `action`; every message box that opens meanwhile is recorded and closed as with its
// escape button, and every other modal widget is given to `other` (which must close it).
std::vector<TSeenBox> AnswerModals(const std::function<void()>& action,
                                   const std::function<void(QWidget*)>& other = {});
