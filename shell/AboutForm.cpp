#include "shell/AboutForm.h"

#include "ui_AboutForm.h"

#include "shell/OrvexMonitorForm.h"
#include "seam/WindowFont.h"

#include <QDesktopServices>
#include <QEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

// Addresses under a domain reserved for examples: the maker's own are not known here.
const char* const TAboutForm::kCopyRight = "Copyright © 2026 Orvex";
const char* const TAboutForm::kWebAddress = "www.orvex.example";
const char* const TAboutForm::kMailAddress = "info@orvex.example";

namespace {

const QColor kHoverColor(0x00, 0x00, 0xFF);

QFont PixelFont(const char* family, int pixels, QFont::StyleHint hint) {
  QFont font(family);
  font.setStyleHint(hint);  // the desktop's font of that kind where the family is absent
  font.setPixelSize(pixels);
  return font;
}

void SetTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

void SetUnderline(QLabel* label, bool underline) {
  QFont font = label->font();
  font.setUnderline(underline);
  label->setFont(font);
}

}  // namespace

std::string FormatVersionText(uint32_t major, uint32_t minor, uint32_t release) {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release);
}

QString MailLinkText(const QString& address, const std::string& versionText) {
  return QString::fromUtf8("mailto:%1?subject=\"Orvex - Монитор v%2\"")
      .arg(address, QString::fromStdString(versionText));
}

TAboutForm::TAboutForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog), Form(std::make_unique<Ui::AboutForm>()) {
  Form->setupUi(this);
  setFont(WindowFont());
  setFixedSize(size());  // as laid out in the form file
  setAttribute(Qt::WA_DeleteOnClose);

  Form->Panel1->setBackgroundRole(QPalette::Base);
  Form->ProductNameLabel->setFont(PixelFont("Impact", 29, QFont::SansSerif));
  for (QLabel* label : {Form->VersionNumberLabel, Form->VersionLabel}) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }

  VersionText = FormatVersionText(VersionMajor, VersionMinor, VersionRelease);
  Form->VersionLabel->setText(QString::fromUtf8("Версия %1").arg(QString::fromStdString(VersionText)));

  Form->CopyRightLabel->setText(QString::fromUtf8(kCopyRight));
  Form->QuenzolLabel->setText(QString::fromUtf8(kWebAddress));
  Form->EM1Label->setText(QString::fromUtf8(kMailAddress));
  for (QLabel* label : {Form->QuenzolLabel, Form->EM1Label}) {
    label->adjustSize();  // the pointer counts as on the link over its text only
    label->setCursor(Qt::PointingHandCursor);
    SetTextColour(label, palette().color(QPalette::Link));
    label->installEventFilter(this);
  }
  Form->Label2->adjustSize();
  Form->EM1Label->move(Form->Label2->geometry().right() + 4, Form->EM1Label->y());

  connect(Form->OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
  // The OK button is the default and the cancel button alike.
  for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, [this] { OKButtonClick(); });
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::showEvent(QShowEvent* event) {
  if (!Centred) {
    Centred = true;
    if (QScreen* desktop = screen()) move(desktop->availableGeometry().center() - rect().center());
  }
  QWidget::showEvent(event);
}

bool TAboutForm::eventFilter(QObject* watched, QEvent* event) {
  auto* label = qobject_cast<QLabel*>(watched);
  if (label && (label == Form->QuenzolLabel || label == Form->EM1Label)) {
    switch (event->type()) {
      case QEvent::Enter:
        QuenzolLabelMouseEnter(label);
        break;
      case QEvent::Leave:
        QuenzolLabelMouseLeave(label);
        break;
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
          if (label == Form->QuenzolLabel)
            QuenzolLabelClick();
          else
            EM1LabelClick();
          return true;
        }
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TAboutForm::QuenzolLabelMouseEnter(QLabel* label) {
  SetTextColour(label, kHoverColor);
  SetUnderline(label, true);
}

void TAboutForm::QuenzolLabelMouseLeave(QLabel* label) {
  SetTextColour(label, palette().color(QPalette::Link));
  SetUnderline(label, false);
}

void TAboutForm::QuenzolLabelClick() {
  // A caption written "www..." opens as a web address.
  QDesktopServices::openUrl(QUrl::fromUserInput(Form->QuenzolLabel->text()));
}

void TAboutForm::EM1LabelClick() {
  QDesktopServices::openUrl(QUrl(MailLinkText(Form->EM1Label->text(), VersionText)));
}

void TAboutForm::OKButtonClick() { close(); }
