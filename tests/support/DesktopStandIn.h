#pragma once
// The desktop as the globe program's code meets it in a test: a folder of the test's own put
// first on PATH, where a stand-in xdg-mime answers the type and program queries, and the file
// URLs the code hands to the desktop caught instead of opened.

#include <QList>
#include <QObject>
#include <QUrl>

#include <string>

class TDesktopStandIn : public QObject {
  Q_OBJECT
public:
  // Made once the application exists; PATH and the URL handler are restored at the end.
  explicit TDesktopStandIn(std::string folder);
  ~TDesktopStandIn() override;

  // Writes the stand-in xdg-mime: "query filetype" runs the shell line `filetype`, "query
  // default" the line `fallback`; with `log`, every call's arguments are appended to it.
  void WriteXdgMime(const std::string& filetype, const std::string& fallback, const std::string& log = "") const;

  const std::string Folder;
  const std::string OldPath;  // PATH as it was
  QList<QUrl> Urls;           // the URLs handed to the desktop, in order

public slots:
  void Open(const QUrl& url) { Urls.push_back(url); }
};
