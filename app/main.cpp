// The program's entry: one instance per user session, a hidden main form with its tray
// icon, the one template window, and the event loop. No command line is read; the result is
// 0 in every case, also when SIGTERM, SIGHUP or SIGINT ends the program.

#include "app/ProgramSetup.h"
#include "app/WindowFactory.h"
#include "platform/NamedMutex.h"
#include "platform/StopSignals.h"
#include "shell/ExeDir.h"
#include "shell/OrvexMonitorForm.h"
#include "shell/Startup.h"

#include <QApplication>

int main(int argc, char** argv) {

  std::unique_ptr<TNamedMutex> instance = TNamedMutex::Create("OrvexMonitorBaseMutex");
  if (!instance || instance->Wait(500) != TMutexWait::Obtained) return 0;  // another instance runs

  QApplication application(argc, argv);
  // The main form is never shown and other windows come and go: only the main form's close
  // ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  ReadVersion(ProgramVersion());
  SetUpApplication(application);

  // Ended from outside (the desktop session at logout, a terminal's Ctrl-C), the program takes
  // the tray menu's way out: the modem closed, the windows' layouts saved, the window gone from
  // the dispatcher's bus, and the result 0. A signal during the start waits for the event loop;
  // one while the form goes is kept, so that it cannot cut the saving short.
  TStopSignals stopSignals;
  {
    TOrvexMonitorForm form(FindExeDir());
    QObject::connect(&form, &TOrvexMonitorForm::Closed, &application, &QApplication::quit, Qt::QueuedConnection);
    form.SetWindowFactory(MakeProgramWindow);
    form.FormCreate();
    // The one template window of the run is made at start, as the program's other windows
    // expect it to exist.
    form.TemplateWindow();
    stopSignals.Listen([&form] { form.ProgramExitClick(); });
    QApplication::exec();
    stopSignals.Listen(nullptr);
  }
  instance->Release();
  return 0;
}
