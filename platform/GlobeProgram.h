#pragma once
// The globe program: whatever program the desktop opens KML files with. The position file is
// handed to it as a file to open; there is no other link to it (it cannot be asked whether
// it is ready, where to look or which window is its own).
//
// Whether a program is there is asked of the desktop's own database with "xdg-mime": the
// type xdg-open gives the file, then the program set for that type. Handing the file over
// without that question would always seem to work, since xdg-open starts and gives a file
// that no program takes to a web browser.

#include <QString>

class QWidget;

class TGlobeProgram {
public:
  // Both questions together are given this long; a desktop that has not answered by then
  // counts as having no program.
  static constexpr int kQueryTimeoutMs = 2000;

  // The desktop entry ("something.desktop") that opens the file at `path`, or an empty text
  // when there is none, xdg-mime cannot be started or does not answer in time.
  static QString HandlerFor(const QString& path, int timeoutMs = kQueryTimeoutMs);

  // Hands the file to its program; false when there is none or it could not be started.
  static bool OpenFile(const QString& path);

  // The error box "Программное обеспечение Google Earth не установлено".
  static void ShowNotInstalled(QWidget* parent);

  // OpenFile, and the error box when it fails.
  static bool OpenFileOrSay(const QString& path, QWidget* parent);
};
