#pragma once
// Keeps an edit to the characters its filter allows, however they arrive: typed keys, input
// method commits, pasted text (Ctrl+V, Shift+Insert, the context menu, the middle button)
// and dropped text. A typed character that is refused is discarded as a whole; pasted,
// dropped and composed text loses only its refused characters. Esc in the edit cancels.

#include "composer/KeyFilters.h"

#include <QClipboard>
#include <QObject>

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
  bool ContextMenu(class QContextMenuEvent& event);

  QLineEdit& Edit;
  TKeyFilter KeyFilter;
  std::function<void()> Cancel;
  // Set while a filtered copy of an event is handed to the edit itself.
  bool Forwarding = false;
};
