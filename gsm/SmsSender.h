#pragma once
// The send side of the monitor: messages go out one at a time, each by a send thread of its
// own, head of the queue first. A pair is never retried: sent or not, it leaves the queue when
// its thread ends. All of it runs on the main thread.

#include "gsm/PairQueue.h"
#include "gsm/SmsSendThread.h"

#include <cstddef>
#include <string>

class TAtChannel;
class TModemError;

class TSmsSender {
 public:
  // The channel, the last modem error and the host belong to the monitor and outlive this
  // object; `host` also hears of the end of every send (ReadQueuedSms, RefreshShowSmsForm).
  TSmsSender(TAtChannel& channel, TModemError& lastError, TSendHost& host);
  // A send thread that still runs is stopped and waited for (see Stop).
  ~TSmsSender();
  TSmsSender(const TSmsSender&) = delete;
  TSmsSender& operator=(const TSmsSender&) = delete;

  // The most messages the queue holds, the one being sent included. At one message per 10 s
  // this is more than a day of sending, far beyond any group of the fleet; with each text
  // within one message it bounds the queue to a few megabytes whoever fills it.
  static constexpr size_t kMaxQueuedSms = 10000;

  // Hands one message to the queue and starts a send when none runs. Refuses, with a line in
  // the port trace and false, a number that is no destination, a text longer than one message
  // holds and a message beyond kMaxQueuedSms: none of them ever reaches the modem.
  bool Queue(const std::string& phone, const std::string& text);
  // How many more messages the queue takes now.
  size_t Room() const;
  // The modem close: asks the running send thread to stop and lets it go without waiting (it
  // then still ends, and its end starts the next send).
  void Terminate();
  // The end of the program: stops a send thread that still runs and waits for it, reporting
  // nothing more. The owner calls it while its host still works.
  void Stop();
  // True from Stop on: a send that ends now is reported to no one.
  bool ShutDown() const { return ShuttingDown; }

  // The send thread of the head pair; null when none runs, or when the modem close has let it
  // go.
  TSmsSendThread* ActiveSmsSendThread() const { return ActiveThread; }
  // The messages waiting, the one being sent first.
  TSendQueue SendQueue;
  TSendWaits Waits;

 private:
  // Why the message cannot be queued; null when it can.
  const char* Refusal(const std::string& phone, const std::string& text) const;
  // Starts the send thread for the head pair.
  void StartThread();
  // The end of a send thread: the host reads the stored messages announced meanwhile, the
  // sent pair goes and the next send starts.
  void ThreadEnded(TSmsSendThread& thread);

  TAtChannel& Channel;
  TModemError& LastError;
  TSendHost& Host;
  TSmsSendThread* ActiveThread = nullptr;
  // The send thread that has not ended yet, whether active or let go by the modem close: a
  // new send starts only after it, so that one send thread runs at a time.
  TSmsSendThread* RunningThread = nullptr;
  bool ShuttingDown = false;
};
