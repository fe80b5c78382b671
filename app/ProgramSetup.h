#pragma once
// What the program sets on its application object before it makes a window: its name, and
// Qt's own texts (the standard buttons of message boxes, the file chooser, the edit menus of
// text fields) in Russian whatever the user's locale, as the rest of the program speaks.

class QApplication;

// The name comes alone, without a display name: the window system would append a display
// name to every window's title. Qt's Russian texts come from the translations Debian installs
// with Qt (qt6-translations-l10n); without them Qt's own texts stay English.
void SetUpApplication(QApplication& application);
