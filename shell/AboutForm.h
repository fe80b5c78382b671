#pragma once
// The About window: the product name, the program's version, the maker's copyright line, and
// two links, to the maker's web site and to its e-mail address, opened with the desktop's
// default programs. One instance at most; it frees itself when closed.

#include "seam/MonitorServices.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class AboutForm;
}

class QLabel;

// The version numbers as "major.minor.release".
std::string FormatVersionText(uint32_t major, uint32_t minor, uint32_t release);
// What the e-mail link opens: the address with the subject "Orvex - Монитор v<version>"
// between double quotes.
QString MailLinkText(const QString& address, const std::string& versionText);

class TAboutForm : public QWidget, public TMonitorWindow {
  Q_OBJECT

public:
  // The maker's copyright line, web address and e-mail address.
  static const char* const kCopyRight;
  static const char* const kWebAddress;
  static const char* const kMailAddress;

  explicit TAboutForm(QWidget* parent = nullptr);
  ~TAboutForm() override;

  // The program's version, from VersionMajor, VersionMinor and VersionRelease.
  std::string VersionText;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  // The pointer on a link label: pure blue and underlined; off it: the link colour again.
  void QuenzolLabelMouseEnter(QLabel* label);
  void QuenzolLabelMouseLeave(QLabel* label);
  void QuenzolLabelClick();
  void EM1LabelClick();
  void OKButtonClick();

  std::unique_ptr<Ui::AboutForm> Form;
  bool Centred = false;
};
