#pragma once
// The template window for ready-made device commands. It lives from start to end of the
// program and takes its layout from the main form's settings when it is created.

#include <QWidget>

#include <string>

class TMonitorServices;

class TSmsTemplateForm : public QWidget {
  Q_OBJECT

public:
  explicit TSmsTemplateForm(TMonitorServices& monitor, QWidget* parent = nullptr);

  // The layout string the window was created with.
  const std::string& Layout() const { return LayoutText; }

private:
  std::string LayoutText;
};
