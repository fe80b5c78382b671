#include "composer/EditFilter.h"

#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QList>
#include <QStringView>

#include <algorithm>

TEditFilter::TEditFilter(QLineEdit& edit, TKeyFilter filter, std::function<void()> cancel)
    : QObject(&edit), Edit(edit), KeyFilter(filter), Cancel(std::move(cancel)), LastText(edit.text()) {
  edit.installEventFilter(this);
  connect(&edit, &QLineEdit::textChanged, this, [this](const QString& text) { LastText = text; });
  connect(&edit, &QLineEdit::textEdited, this, &TEditFilter::TextEdited);
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

void TEditFilter::TextEdited(const QString& text) {
  // The user's change is one replaced stretch: what lies between the unchanged start and the
  // unchanged end of the text.
  const qsizetype shorter = std::min(text.size(), LastText.size());
  qsizetype head = 0;
  while (head < shorter && text[head] == LastText[head]) ++head;
  qsizetype tail = 0;
  while (tail < shorter - head && text[text.size() - 1 - tail] == LastText[LastText.size() - 1 - tail]) ++tail;
  const QString inserted = text.mid(head, text.size() - head - tail);
  const QString kept = FilterText(KeyFilter, inserted);
  if (kept == inserted) return;
  Edit.setText(text.left(head) + kept + text.right(tail));
  Edit.setCursorPosition(static_cast<int>(head + kept.size()));
}
