#pragma once
// A scriptable GSM modem: the peer the monitor's modem code talks to in tests and demos.
//
// The engine is a byte stream with a clock of its own. A front end feeds it the bytes the
// host wrote (`Feed`), moves its clock (`Advance`, `AdvanceTo`) and takes the bytes that are
// due to go to the host (`PendingBytes`, `Take`). Answers can be held back, cut into pieces
// with gaps between them and held as one burst; message notices and RING can be injected at
// any moment. Everything the host sent is recorded, and every SMS it sends is decoded.
//
// All public members are safe to call from several threads.

#include "tools/modemsim/SimMessageStore.h"
#include "tools/modemsim/SimPdu.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TSimCardState { Ready, Pin, Pin2, Puk, Puk2 };

struct TSimCard {
  TSimCardState State = TSimCardState::Ready;
  std::string Pin = "1234";
  std::string Pin2 = "4321";
  std::string Puk = "12345678";
  std::string Puk2 = "87654321";
};

class TModemSim {
public:
  static constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();

  TModemSim();

  // Byte stream.
  void Feed(std::string_view bytes);
  // Bytes due at the current clock and not yet taken.
  size_t PendingBytes() const;
  // Takes up to `max` of the due bytes, oldest first.
  std::string Take(size_t max = std::numeric_limits<size_t>::max());
  // The host purged its receive queue: the due bytes are gone; what is not due yet (held back
  // or held) still comes.
  void DropDue();

  // Clock in milliseconds since the engine was made; it never goes back.
  void Advance(uint64_t ms);
  void AdvanceTo(uint64_t ms);
  uint64_t Now() const;
  // Milliseconds until the engine has something more to send by itself (a held-back piece
  // of an answer, a repeated RING); nothing when it waits only for the host.
  std::optional<uint64_t> NextEventIn() const;

  // Behaviour. Answers are framed as a modem in verbose mode frames them.
  void SetEcho(bool on);
  bool Echo() const;
  void SetSimCard(const TSimCard& card);
  TSimCard SimCard() const;
  // The modem registers `delayMs` after the later of this call and the SIM becoming ready.
  // With an empty operator name AT+COPS? never names one, although AT+CREG? says registered.
  void SetRegistration(uint64_t delayMs, std::string operatorName);
  bool Registered() const;
  // The information line answered to AT+CNMI=? before OK.
  void SetCnmiTestAnswer(std::string line);
  // Replaces the answer to every command line that begins with `command` (compared in upper
  // case; a prefix ending in "=" does not catch the test form "=?"). `answer` holds the
  // lines to answer, separated by '\n'; an empty answer is silence. The longest prefix wins.
  void SetRule(std::string command, std::string answer);
  void ClearRule(std::string command);
  void ClearRules();
  // Silent: no echo and no answer to anything (injected notices still go out).
  void SetSilent(bool silent);
  // Every answer and notice is due `ms` after it was made.
  void SetAnswerDelay(uint64_t ms);
  // Answers and notices go in pieces of at most `pieceBytes`, `gapMs` apart; 0 turns it off.
  void SetSplit(size_t pieceBytes, uint64_t gapMs);
  // While held nothing is due; releasing lets everything queued go as one burst.
  void SetHold(bool hold);
  // The answer to a sent PDU (lines separated by '\n', empty for silence) in place of
  // "+CMGS: <reference>" and OK; nothing restores the normal answer.
  void SetSendAnswer(std::optional<std::string> answer);
  void SetStoreCapacity(std::string_view storage, int capacity);

  // Injection. Each answers what it made; an empty result means nothing was sent.
  std::vector<TSimPdu> InjectCmt(const TSimDeliver& message);
  // Stores the parts in `storage` and announces each with +CMTI; empty when the message does
  // not fit (nothing is stored then).
  std::vector<int> InjectCmti(const TSimDeliver& message, std::string_view storage = "SM");
  // Stores the parts without a notice.
  std::vector<int> StoreSms(const TSimDeliver& message, std::string_view storage = "SM");
  // Stores one PDU as it is (a part the network delivered twice, say); its index, or -1 when
  // the storage is full or unknown.
  int StorePdu(const TSimPdu& pdu, std::string_view storage = "SM");
  // RING now and `count - 1` more times `intervalMs` apart, until ATH. At most kMaxRings
  // rings, at least 1 ms apart.
  static constexpr int kMaxRings = 1000;
  void InjectRing(int count = 1, uint64_t intervalMs = 5000);
  void InjectRaw(std::string_view bytes);
  // After the answer to the next command line that begins with `command` (compared in upper
  // case; as for the rules, a prefix ending in "=" does not catch "=?"), `message` is delivered: inline with +CMT, or, when `stored`, stored in `storage`
  // and announced with +CMTI. Several wait in the order they were asked for.
  void DeliverAfter(std::string command, const TSimDeliver& message, bool stored, std::string storage = "SM");
  // A status report of the modem's own (a line such as "^RSSI:18") every `intervalMs`, the
  // first one `intervalMs` from now, whatever the host is doing; 0 stops them. `lines` holds
  // one report or several separated by '\n', sent in turn.
  void SetStatusReport(uint64_t intervalMs, std::string lines);
  // Inside: the next report in turn also goes between every two lines of each answer and
  // notice (after the +CMT header, inside a listing, before the send prompt), as modems that
  // do not hold their reports back while they answer send them.
  void SetReportsInside(bool inside);

  // State and records.
  std::map<int, TSimStoredSms> StoredMessages(std::string_view storage) const;
  // Every line the host ended with CR, as sent, and the PDU text of each AT+CMGS dialogue.
  std::vector<std::string> Commands() const;
  std::string ReceivedBytes() const;
  // The SMS accepted from the host, decoded.
  std::vector<TSimSubmit> SentMessages() const;
  void ClearRecords();
  // The value last set with AT+CNMI=, empty before.
  std::string CnmiSetting() const;
  bool InSendPrompt() const;
  bool Ringing() const;

private:
  struct TChunk {
    uint64_t DueAt = 0;
    std::string Bytes;
  };

  // An answer or notice (`answer`) is delayed, split and given reports inside as set; a
  // `report` (or raw bytes) only delayed and split.
  void Queue(std::string bytes, bool answer, bool report = false);
  void RunClock(uint64_t to);
  bool RegisteredNow() const;
  void TakeCommandByte(char c);
  void TakePduByte(char c);
  void RunLine(const std::string& line);
  std::string AnswerTo(const std::string& line);
  std::string SimLockedError() const;
  std::string Cpin(const std::string& rest);
  std::string Cnmi(const std::string& rest);
  std::string Cpms(const std::string& rest);
  std::string Cmgr(const std::string& rest);
  std::string Cmgd(const std::string& rest);
  std::string Cmgl(const std::string& rest);
  std::string Cmgs(const std::string& rest);
  std::string FinishSend();
  std::vector<int> StoreParts(const TSimDeliver& message, std::string_view storage);
  std::vector<TSimPdu> QueueCmt(const TSimDeliver& message);
  std::vector<int> QueueCmti(const TSimDeliver& message, std::string_view storage);
  void DeliverDue(const std::string& line);

  struct TDelivery {
    std::string Command;
    TSimDeliver Message;
    bool Stored = false;
    std::string Storage;
  };

  mutable std::mutex Lock;
  uint64_t SimTime = 0;

  std::deque<TChunk> Output;
  uint64_t LastDueAt = 0;
  bool Hold = false;
  uint64_t AnswerDelay = 0;
  size_t SplitBytes = 0;
  uint64_t SplitGap = 0;

  bool EchoOn = true;
  bool Silent = false;
  TSimCard Card;
  uint64_t ReadySince = 0;
  uint64_t RegistrationFrom = 0;
  uint64_t RegistrationDelay = 0;
  std::string Operator = "SimNet";
  std::string CnmiTest = "+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)";
  std::string CnmiValue;
  std::string Charset = "IRA";
  std::map<std::string, std::string> Rules;
  std::optional<std::string> SendAnswer;

  TSimMessageStore Store;
  std::string ReadStorage = "SM";
  std::string WriteStorage = "SM";
  std::string ReceiveStorage = "SM";

  std::string Line;
  bool InPrompt = false;
  int AnnouncedLength = 0;
  std::string PduText;
  uint8_t NextReference = 0;

  int RingsLeft = 0;
  uint64_t RingInterval = 0;
  uint64_t NextRingAt = 0;

  std::vector<TDelivery> Deliveries;
  // The next status report line in turn, framed.
  std::string NextReport();
  // `bytes` with a report after every line break but the last.
  std::string WithReportsInside(const std::string& bytes);

  uint64_t ReportInterval = 0;
  uint64_t NextReportAt = 0;
  std::vector<std::string> ReportLines;
  size_t NextReportLine = 0;
  bool ReportsInside = false;

  std::string Received;
  std::vector<std::string> ReceivedCommands;
  std::vector<TSimSubmit> Sent;
};
