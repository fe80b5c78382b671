#pragma once
// A pseudo-terminal for tests that play the far side of a serial line: the code under test
// opens SlavePath() as its port, the test reads and writes the master side.

#include <string>

class TPseudoTerminal {
 public:
  TPseudoTerminal();
  TPseudoTerminal(const TPseudoTerminal&) = delete;
  TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;
  ~TPseudoTerminal();

  bool IsOpen() const { return Master >= 0; }
  const std::string& SlavePath() const { return Slave; }
  int MasterFd() const { return Master; }

  // Writes all bytes to the line.
  bool Send(const std::string& bytes);
  // Collects what the line delivers until nothing more arrives for `quietMs` or `totalMs`
  // have passed.
  std::string Receive(int quietMs = 50, int totalMs = 2000);
  // Waits up to `totalMs` until the collected bytes contain `marker`; returns all collected.
  std::string ReceiveUntil(const std::string& marker, int totalMs = 2000);
  // Closes the master side: the slave device disappears.
  void Close();

 private:
  int Master = -1;
  std::string Slave;
};
