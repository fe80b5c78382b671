#pragma once
// The reader thread: whenever no other exchange holds the port, it listens to what the modem
// sends on its own. Every turn it takes the port mutex, reads all that has arrived and acts on
// the notices in it: a message delivered in the notice (+CMT, the PDU on the next line), a
// message placed in the modem's store (+CMTI, storage and index) and an incoming call (RING,
// hung up). The messages themselves are decoded, logged and signalled by its host, the
// monitor core.
//
// A read may hold several notices, and a notice may arrive in pieces: every read goes through
// the channel's notice stream, which joins the pieces; the reader handles every complete notice
// in order, also those that other exchanges with the modem read. When a read brings nothing,
// an unfinished notice is handled as it stands.
//
// A reader started after a set-up first reads what the modem's store already holds: messages
// that arrived while the monitor was not listening.
//
// A turn that has many messages to read lets the port go after a while and goes on in the
// next turn, so that a send or a check of the modem is not kept waiting. The reader keeps up
// with the line: while the modem sends (notices, or status reports all the time) the next turn
// follows after a short pause only, long enough for a waiting exchange to take the port; the
// longer pause comes only when a turn found the line idle.

#include "gsm/NoticeStream.h"
#include "platform/Thread.h"

#include <cstdint>
#include <string>
#include <vector>

class TAtChannel;
class TNamedMutex;

// Every wait of the reader and of the stored-message operations, in ms. The program uses the
// defaults; tests shorten them.
struct TReaderWaits {
  uint32_t TurnPause = 200;    // sleep before a turn after one that found the line idle
  uint32_t BusyPause = 50;     // sleep before a turn after one that read something
  uint32_t PortMutex = 2000;   // wait for the port mutex in a turn
  uint32_t NoticeRead = 400;   // the read of a turn
  uint32_t TurnLength = 1000;  // notices are handled in one turn until it has lasted this long
  uint32_t HangUpRead = 2000;  // the answer to ATH after a RING
  uint32_t StoreRead = 1000;   // the answers to AT+CPMS, AT+CMGR and AT+CMGD
  uint32_t ListRead = 1000;    // each read of the listing of the store, read until its final answer
};

// Bytes of one read of a turn: more than the line brings between two turns, so that a turn
// takes all that has arrived.
constexpr uint32_t kNoticeReadSize = 16384;

// What the reader needs of the monitor (the monitor core implements it); the caller of the
// message operations holds the port mutex.
class TReaderHost {
 public:
  virtual ~TReaderHost() = default;
  // The first turn that got the port: parts of concatenated messages from before are
  // forgotten, and with `readStore` a stored-message notice is queued for every message in
  // the modem's store.
  virtual void BeginReading(bool readStore) = 0;
  // One +CMT notice (the text begins with "+cmt:").
  virtual void HandleCmt(const std::string& text) = 0;
  // One +CMTI notice, or a stored message queued to be read: the message in `slot` is read.
  virtual void HandleCmti(const TStoredSms& slot) = 0;
  // A message of the store's listing, queued with its PDU: logged and deleted.
  virtual void HandleListedSms(const TStoredSms& slot, const std::string& pdu) = 0;
  // Once the port is free: the unread notice of the messages handled meanwhile.
  virtual void DeliverUnreadSignal() = 0;
  // Every turn, under the port mutex: concatenated messages whose time is up are given up.
  virtual void GiveUpStaleSms() = 0;
};

class TTermReader : public TThread {
 public:
  // `channel` and `host` belong to the monitor and outlive the reader.
  TTermReader(TAtChannel& channel, TReaderHost& host, const TReaderWaits& waits);
  // Execute uses the core and this object, so a reader destroyed while it runs is stopped
  // first.
  ~TTermReader() override;

  // Read the modem's store on the first turn that gets the port.
  bool ReadStoreFirst = false;

  // Readers of this process whose loop runs: one at most.
  static int Running();

  // Handles the notices queued in the channel's notice stream; true when one of them was a +CMT
  // or +CMTI notice. An unfinished notice is handled as it stands once it has waited its time,
  // or at once when the line was `quiet`.
  bool HandleUnsolicited(bool quiet = false);

 protected:
  void Execute() override;

 private:
  // One turn under the port mutex; true when the line was not idle.
  bool Turn(TNamedMutex& portMutex, bool& firstTurn);
  // RING: hang up, and keep the answer's bytes so that a notice among them is not lost.
  void HangUp();

  TAtChannel& Channel;
  TReaderHost& Host;
  const TReaderWaits Waits;
};
