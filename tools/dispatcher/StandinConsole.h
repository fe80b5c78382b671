#pragma once
// The stand-in dispatcher's control channel and its answer to the monitor's notices.
//
// Control lines come on standard input, one per line, and each is acknowledged by one line on
// standard output:
//   answer N             answer later notices with N                      -> ok
//   delay MS             block MS milliseconds before answering a notice  -> ok
//   command CODE [HEX]   send the command to the monitor's window         -> result CODE ANSWER
//                                                                           | undelivered CODE
//   callback CODE [HEX]  on the next notice, send this command to the
//                        monitor before answering (once)                  -> ok
//   event ID             send the automation event Invoke(ID)             -> ok
//   fleet FILE           replace the automation fleet by the file's       -> ok
//   fail OP N            the N-th call of the operation OP from now on
//                        answers the error org.orvex.Error.Failed (once)  -> ok
//   eventin OP N ID      the N-th call of OP from now on sends Invoke(ID)
//                        before it answers (once)                         -> ok
//   lie GROUPS CARS      answer these counts of groups and of vehicles in
//                        every group, whatever the fleet holds; what the
//                        fleet lacks is made up (AutomationServer.h)      -> ok
//   lie off              tell the fleet's own counts again                -> ok
//   storm ID COUNT MS    send Invoke(ID) COUNT times, one every MS ms;
//                        "storm done" follows the last one                -> ok
//   quit                 end the program                                  -> ok
// A line that is none of these gets "error <why>". HEX is the payload as pairs of hexadecimal
// digits, absent for an empty payload.
//
// Every notice is printed when it arrives, before it is answered:
//   notice CODE LENGTH [HEX]
// and a fired callback prints its "result" or "undelivered" line. End of input ends the
// control channel only; the program runs on until "quit" or a terminating signal.

#include "AutomationServer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QSocketNotifier;
class QTimer;

class TStandinConsole : public QObject {
  Q_OBJECT

public:
  static constexpr const char* kMonitorClass = "TOrvexMonitorForm";
  // A command to the monitor may wait for a modem check; it is given this long.
  static constexpr int kCommandTimeoutMs = 30000;

  TStandinConsole(TAutomationServer& server, uint32_t answer, int delayMs);

  // Starts reading standard input.
  void Start();
  // The answer to a notice of the monitor (the handler of the stand-in's window).
  uint32_t OnNotice(uint32_t code, const QByteArray& payload);

  // Writes one line to standard output at once.
  static void Say(const QString& line);

private:
  void OnInput();
  void Execute(const QString& line);
  void SendCommand(uint32_t code, const QByteArray& payload);
  void StartStorm(int dispId, uint32_t count, uint32_t intervalMs);

  struct TCommand {
    uint32_t Code = 0;
    QByteArray Payload;
  };

  TAutomationServer& Server;
  uint32_t Answer;
  int DelayMs;
  std::optional<TCommand> Callback;
  QSocketNotifier* Input = nullptr;
  QTimer* Storm = nullptr;
  QByteArray Pending;
};
