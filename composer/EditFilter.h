#pragma once
// Keeps an edit to the characters its filter allows, however they arrive: typed keys, input
// method commits, pasted text (Ctrl+V, Shift+Insert, the middle button, the context menu)
// and dropped text. A typed character that is refused is discarded as a whole; pasted,
// dropped and composed text loses only its refused characters. Whatever else the user
// changes is looked at once it is in the edit and loses its refused characters then. Text
// set by the program (a group's name) stays as it is. Esc in the edit cancels.

#include "composer/KeyFilters.h"

#include <QClipboard>
#include <QObject>
#include <QString>

#include <functional>

class QLineEdit;

class TEditFilter : public QObject {
  Q_OBJECT

public:
  TEditFilter(QLineEdit& edit, TKeyFilter filter, std::function<void()> cancel);

  TKeyFilter Filter() const { return KeyFilter; }
  // Inserts the clipboard's text as the edit's own paste would, without refused characters.
  void PasteFiltered(QClipboard::Mode mode = QClipboard::Clipboard);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool KeyPress(class QKeyEvent& event);
  bool InputMethod(class QInputMethodEvent& event);
  bool Drop(class QDropEvent& event);
  void TextEdited(const QString& text);

  QLineEdit& Edit;
  TKeyFilter KeyFilter;
  std::function<void()> Cancel;
  // Set while a filtered copy of an event is handed to the edit itself.
  bool Forwarding = false;
  // The text before the user's latest change.
  QString LastText;
};
