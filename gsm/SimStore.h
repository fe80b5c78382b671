#pragma once
// The modem's message store as the monitor talks to it: reading a stored message (AT+CPMS=,
// AT+CMGR), deleting one or every stored part of a message (AT+CMGD), and the sweep that lists
// the store of new messages (AT+CPMS?, AT+CMGL) when a link opens. It also keeps the stored
// messages announced while they could not be read (during a send), to be read after it.
//
// A stored message is named by a TStoredSms from where the modem names it to where it is read:
// what the store queues for the reader are typed notices, never texts to be parsed again.
// Every exchange here talks to the modem: the caller holds the port mutex.

#include "gsm/AtChannel.h"
#include "gsm/NoticeStream.h"
#include "gsm/PairQueue.h"
#include "gsm/TermReader.h"

#include <functional>
#include <string>
#include <vector>

class TSimStore {
 public:
  // `channel` and `waits` (StoreRead and ListRead are used) belong to the link and outlive the
  // store; the waits are read at each exchange.
  TSimStore(TAtChannel& channel, const TReaderWaits& waits) : Channel(channel), Waits(waits) {}

  // A new link: which storage the modem has selected is not known.
  void ForgetSelection() { SelectedStorage.clear(); }

  // What a read of a stored message found.
  enum class TReadOutcome {
    Nothing,   // no message: a refused name, no answer, an error answer or an empty slot
    Pdu,       // `text` is the message's PDU line
    Unparsed,  // `text` is the whole answer, whose head cannot be read
  };
  // Selects the slot's storage and reads the message in it.
  TReadOutcome Read(const TStoredSms& slot, std::string& text);
  // Deletes the message in a slot of the selected storage.
  void Delete(const std::string& index, TAnswerWait wait = TAnswerWait::EachRead);
  // Deletes the stored messages that the tags ("storage,index") name, selecting each storage
  // first unless it is selected already. A tag without a comma (a part that came inline) is
  // skipped.
  void DeleteParts(const std::vector<std::string>& tags, TAnswerWait wait = TAnswerWait::EachRead);
  // Lists the storage of new messages and queues a notice for every message in it, before the
  // notices already queued: a listed message with its PDU, one without to be read from its
  // slot. The reader then handles them as it handles the messages the modem announces.
  void QueueAllStored();

  // The stored messages announced while they could not be read, in the order they came.
  void QueueRead(const TStoredSms& slot) { Announced.Add(slot); }
  size_t QueuedReads() const { return Announced.Count(); }
  // Hands every queued message to the reader, as a notice of its own.
  void PassQueuedToReader();
  // Runs `read` for every queued message, in order, each leaving the queue after its read.
  void ReadQueued(const std::function<void(const TStoredSms&)>& read);

 private:
  // A storage name and a slot number come from the modem's answers and go back to it in the
  // store commands; a garbled or hostile answer could hold anything there. True when they can
  // go: a name of 1 to 8 ASCII letters or digits, a number of 1 to 5 digits. Otherwise the
  // trace says so and the command is not sent.
  bool StorageFits(const std::string& storage);
  bool SlotFits(const std::string& index);
  // Selects a storage with AT+CPMS=; true when the modem took it.
  bool Select(const std::string& storage, TAnswerWait wait = TAnswerWait::EachRead);
  // One command and its answer, read up to its final line, without the notices; true when
  // anything was read.
  bool Exchange(const std::string& command, std::string& answer, TAnswerWait wait = TAnswerWait::EachRead);

  TAtChannel& Channel;
  const TReaderWaits& Waits;
  // The storage that the last AT+CPMS= selected (lower case); empty when not known.
  std::string SelectedStorage;
  TGuardedQueue<TStoredSms> Announced;
};
