#include "composer/EditFilter.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QList>
#include <QStringView>

TEditFilter::TEditFilter(QLineEdit& edit, TKeyFilter filter, std::function<void()> cancel)
    : QObject(&edit), Edit(edit), KeyFilter(filter), Cancel(std::move(cancel)) {
  edit.installEventFilter(this);
}

void TEditFilter::PasteFiltered(QClipboard::Mode mode) {
  if (Edit.isReadOnly()) return;
  const QString text = FilterText(KeyFilter, QGuiApplication::clipboard()->text(mode));
  // insert() replaces the selection, as the edit's own paste does.
  Edit.insert(text);
}

bool TEditFilter::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &Edit || Forwarding) return false;
  switch (event->type()) {
    case QEvent::KeyPress: return KeyPress(static_cast<QKeyEvent&>(*event));
    case QEvent::InputMethod: return InputMethod(static_cast<QInputMethodEvent&>(*event));
    case QEvent::Drop: return Drop(static_cast<QDropEvent&>(*event));
    case QEvent::ContextMenu: return ContextMenu(static_cast<QContextMenuEvent&>(*event));
    case QEvent::MouseButtonRelease: {
      auto& mouse = static_cast<QMouseEvent&>(*event);
      if (mouse.button() != Qt::MiddleButton || !QGuiApplication::clipboard()->supportsSelection()) return false;
      if (Edit.rect().contains(mouse.position().toPoint())) PasteFiltered(QClipboard::Selection);
      return true;
    }
    default: return false;
  }
}

bool TEditFilter::KeyPress(QKeyEvent& event) {
  if (event.key() == Qt::Key_Escape) {
    if (Cancel) Cancel();
    return true;
  }
  if (event.matches(QKeySequence::Paste)) {
    PasteFiltered();
    return true;
  }
  // Only characters the edit would insert are filtered; editing and navigation keys (and
  // the control characters of Ctrl+C, Backspace and the like) stay the edit's own.
  bool refused = false;
  for (char32_t ch : QStringView(event.text()).toUcs4())
    if (ch >= U' ' && ch != 0x7F && !IsKeyAllowed(KeyFilter, ch)) refused = true;
  return refused;
}

bool TEditFilter::InputMethod(QInputMethodEvent& event) {
  const QString commit = event.commitString();
  const QString kept = FilterText(KeyFilter, commit);
  if (kept == commit) return false;
  QInputMethodEvent filtered(event.preeditString(), event.attributes());
  filtered.setCommitString(kept, event.replacementStart(), event.replacementLength());
  Forwarding = true;
  QCoreApplication::sendEvent(&Edit, &filtered);
  Forwarding = false;
  return true;
}

bool TEditFilter::Drop(QDropEvent& event) {
  const QMimeData* data = event.mimeData();
  if (!data || !data->hasText()) return false;
  const QString text = data->text();
  const QString kept = FilterText(KeyFilter, text);
  if (kept == text) return false;
  QMimeData filteredData;
  filteredData.setText(kept);
  QDropEvent filtered(event.position(), event.possibleActions(), &filteredData, event.buttons(), event.modifiers());
  filtered.setDropAction(event.proposedAction());
  Forwarding = true;
  QCoreApplication::sendEvent(&Edit, &filtered);
  Forwarding = false;
  event.setDropAction(filtered.dropAction());
  event.setAccepted(filtered.isAccepted());
  return true;
}

bool TEditFilter::ContextMenu(QContextMenuEvent& event) {
  QMenu* menu = Edit.createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  if (auto* paste = menu->findChild<QAction*>("edit-paste")) {
    QObject::disconnect(paste, &QAction::triggered, nullptr, nullptr);
    connect(paste, &QAction::triggered, this, [this] { PasteFiltered(); });
  }
  menu->popup(event.globalPos());
  return true;
}
