#pragma once
// The stand-in dispatcher as a child process of a test, driven through its control lines on
// standard input; its output lines are collected while the test's event loop runs.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

// Runs the event loop until the condition holds; false when it did not within the time.
bool SpinUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

class TStandinProcess {
public:
  // `program` is the stand-in's executable (the build puts it under tools/dispatcher/).
  explicit TStandinProcess(const QString& program, const QStringList& arguments = {});
  ~TStandinProcess();
  TStandinProcess(const TStandinProcess&) = delete;
  TStandinProcess& operator=(const TStandinProcess&) = delete;

  // True once the stand-in has said "ready".
  bool Ready() const { return ReadySeen; }
  // Sends a control line and gives the line that acknowledges it (ok, error, result,
  // undelivered), or "(no answer)".
  QString Ask(const QString& line, int timeoutMs = 40000);
  // The first output line, not taken yet, that starts with the prefix; waits for it.
  std::optional<QString> Next(const QString& prefix, int timeoutMs = 10000);
  std::optional<QString> Next(const QStringList& prefixes, int timeoutMs = 10000);
  // Output lines not taken yet that start with the prefix, after letting the loop run a while.
  int Pending(const QString& prefix, int settleMs = 200);
  // Ends the stand-in; its exit code, -1 when it had to be killed.
  int Quit();
  // Waits for the stand-in to end by itself and gives its exit code; one that does not end is
  // ended as by Quit().
  int ExitCode();

private:
  void Collect();

  QProcess Process;
  std::deque<QString> Lines;
  bool ReadySeen = false;
};
