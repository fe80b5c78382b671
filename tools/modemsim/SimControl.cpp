#include "tools/modemsim/SimControl.h"

#include "common/Text.h"

#include <cstdio>
#include <ctime>

namespace {

const char kHelp[] =
    "echo on|off\n"
    "sim ready|pin|pin2|puk|puk2\n"
    "pin CODE | pin2 CODE | puk CODE | puk2 CODE\n"
    "register DELAY_MS [OPERATOR]\n"
    "unregister\n"
    "cnmi-test LINE\n"
    "refuse COMMAND [ANSWER]\n"
    "answer COMMAND ANSWER\n"
    "silence COMMAND\n"
    "unrule COMMAND | rules-clear\n"
    "silent on|off\n"
    "delay MS\n"
    "split BYTES GAP_MS\n"
    "hold | release\n"
    "send-answer normal|silent|ANSWER\n"
    "capacity STORAGE COUNT\n"
    "time YYYY-MM-DD HH:MM:SS [ZONE_QUARTERS] | time now\n"
    "cmt [--parts N] [--reverse] [--ucs2] [--ref N] [--ref16] SENDER TEXT\n"
    "cmti [--storage ST] [--parts N] [--reverse] [--ucs2] [--ref N] [--ref16] SENDER TEXT\n"
    "store [--storage ST] [--parts N] [--reverse] [--ucs2] [--ref N] [--ref16] SENDER TEXT\n"
    "ring [COUNT [INTERVAL_MS]]\n"
    "raw TEXT\n"
    "after COMMAND cmt|cmti [OPTIONS] SENDER TEXT\n"
    "report INTERVAL_MS [LINE[\\nLINE]...]\n"
    "report-inside on|off\n"
    "list [STORAGE]\n"
    "sent | received | clear | state\n"
    "quit\n";

// Splits off the first blank-separated word.
std::string NextWord(std::string_view& args) {
  size_t start = args.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    args = {};
    return {};
  }
  args.remove_prefix(start);
  size_t end = args.find(' ');
  std::string word(args.substr(0, end));
  args = end == std::string_view::npos ? std::string_view() : args.substr(end + 1);
  return word;
}

bool ReadNumber(const std::string& text, long long& value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  value = std::stoll(text);
  return true;
}

std::string Error(std::string_view reason) { return "error: " + std::string(reason) + "\n"; }

TSimTimeStamp LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  TSimTimeStamp stamp;
  stamp.Year = local.tm_year + 1900;
  stamp.Month = local.tm_mon + 1;
  stamp.Day = local.tm_mday;
  stamp.Hour = local.tm_hour;
  stamp.Minute = local.tm_min;
  stamp.Second = local.tm_sec;
  stamp.ZoneQuarters = static_cast<int>(local.tm_gmtoff / 900);
  return stamp;
}

const char* CardStateName(TSimCardState state) {
  switch (state) {
    case TSimCardState::Ready: return "ready";
    case TSimCardState::Pin: return "pin";
    case TSimCardState::Pin2: return "pin2";
    case TSimCardState::Puk: return "puk";
    case TSimCardState::Puk2: return "puk2";
  }
  return "?";
}

}  // namespace

TSimControl::TSimControl(TModemSim& sim) : Sim(sim) {}

std::string TSimControl::Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    char next = text[++i];
    switch (next) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      case 'x': {
        auto hex = [](char h) {
          if (h >= '0' && h <= '9') return h - '0';
          if (h >= 'a' && h <= 'f') return h - 'a' + 10;
          if (h >= 'A' && h <= 'F') return h - 'A' + 10;
          return -1;
        };
        int high = i + 1 < text.size() ? hex(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? hex(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
          out += "\\x";
        } else {
          out += static_cast<char>(high * 16 + low);
          i += 2;
        }
        break;
      }
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

std::string TSimControl::Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char buffer[5];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out;
}

std::string TSimControl::Run(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::string_view args = line;
  std::string command = NextWord(args);
  if (command.empty() || command[0] == '#') return {};
  return Execute(command, args);
}

std::string TSimControl::Execute(const std::string& command, std::string_view args) {
  std::string_view rest = args;
  std::string word = NextWord(rest);
  long long number = 0;

  if (command == "help") return std::string(kHelp) + "ok\n";
  if (command == "quit") {
    Quit = true;
    return "ok\n";
  }
  if (command == "echo" || command == "silent" || command == "report-inside") {
    if (word != "on" && word != "off") return Error("expected on or off");
    if (command == "echo")
      Sim.SetEcho(word == "on");
    else if (command == "silent")
      Sim.SetSilent(word == "on");
    else
      Sim.SetReportsInside(word == "on");
    return "ok\n";
  }
  if (command == "sim") {
    static const std::pair<const char*, TSimCardState> kStates[] = {
        {"ready", TSimCardState::Ready}, {"pin", TSimCardState::Pin}, {"pin2", TSimCardState::Pin2},
        {"puk", TSimCardState::Puk},     {"puk2", TSimCardState::Puk2}};
    for (const auto& [name, state] : kStates)
      if (word == name) {
        TSimCard card = Sim.SimCard();
        card.State = state;
        Sim.SetSimCard(card);
        return "ok\n";
      }
    return Error("unknown SIM state");
  }
  if (command == "pin" || command == "pin2" || command == "puk" || command == "puk2") {
    if (word.empty()) return Error("code missing");
    TSimCard card = Sim.SimCard();
    (command == "pin" ? card.Pin : command == "pin2" ? card.Pin2 : command == "puk" ? card.Puk : card.Puk2) = word;
    Sim.SetSimCard(card);
    return "ok\n";
  }
  if (command == "register") {
    if (!ReadNumber(word, number)) return Error("delay in ms expected");
    Sim.SetRegistration(static_cast<uint64_t>(number), Cp1251(Unescape(rest)));
    return "ok\n";
  }
  if (command == "unregister") {
    Sim.SetRegistration(TModemSim::kNever, "");
    return "ok\n";
  }
  if (command == "cnmi-test") {
    Sim.SetCnmiTestAnswer(Cp1251(Unescape(args)));
    return "ok\n";
  }
  if (command == "refuse" || command == "answer" || command == "silence") {
    if (word.empty()) return Error("command missing");
    std::string answer = Cp1251(Unescape(rest));
    if (command == "refuse" && answer.empty()) answer = "ERROR";
    if (command == "answer" && answer.empty()) return Error("answer missing");
    if (command == "silence") answer.clear();
    Sim.SetRule(word, answer);
    return "ok\n";
  }
  if (command == "unrule") {
    Sim.ClearRule(word);
    return "ok\n";
  }
  if (command == "rules-clear") {
    Sim.ClearRules();
    return "ok\n";
  }
  if (command == "delay") {
    if (!ReadNumber(word, number)) return Error("delay in ms expected");
    Sim.SetAnswerDelay(static_cast<uint64_t>(number));
    return "ok\n";
  }
  if (command == "split") {
    long long gap = 0;
    if (!ReadNumber(word, number) || !ReadNumber(NextWord(rest), gap)) return Error("expected BYTES GAP_MS");
    Sim.SetSplit(static_cast<size_t>(number), static_cast<uint64_t>(gap));
    return "ok\n";
  }
  if (command == "hold" || command == "release") {
    Sim.SetHold(command == "hold");
    return "ok\n";
  }
  if (command == "send-answer") {
    if (word == "normal")
      Sim.SetSendAnswer(std::nullopt);
    else if (word == "silent")
      Sim.SetSendAnswer(std::string());
    else if (args.empty())
      return Error("answer missing");
    else
      Sim.SetSendAnswer(Cp1251(Unescape(args)));
    return "ok\n";
  }
  if (command == "capacity") {
    long long count = 0;
    if (word.empty() || !ReadNumber(NextWord(rest), count)) return Error("expected STORAGE COUNT");
    Sim.SetStoreCapacity(word, static_cast<int>(count));
    return "ok\n";
  }
  if (command == "time") {
    if (word == "now") {
      FixedTime.reset();
      return "ok\n";
    }
    TSimTimeStamp stamp;
    std::string clock = NextWord(rest), zone = NextWord(rest);
    if (std::sscanf(word.c_str(), "%d-%d-%d", &stamp.Year, &stamp.Month, &stamp.Day) != 3 ||
        std::sscanf(clock.c_str(), "%d:%d:%d", &stamp.Hour, &stamp.Minute, &stamp.Second) != 3)
      return Error("expected YYYY-MM-DD HH:MM:SS");
    if (!zone.empty()) stamp.ZoneQuarters = StrToIntDef(zone, stamp.ZoneQuarters);
    FixedTime = stamp;
    return "ok\n";
  }
  if (command == "cmt" || command == "cmti" || command == "store") return Inject(command, args);
  if (command == "ring") {
    long long count = 1, interval = 5000;
    if (!word.empty() && !ReadNumber(word, count)) return Error("count expected");
    std::string intervalText = NextWord(rest);
    if (!intervalText.empty() && !ReadNumber(intervalText, interval)) return Error("interval expected");
    Sim.InjectRing(static_cast<int>(count), static_cast<uint64_t>(interval));
    return "ok\n";
  }
  if (command == "after") {
    const std::string kind = NextWord(rest);
    if (word.empty() || (kind != "cmt" && kind != "cmti")) return Error("expected COMMAND cmt|cmti ...");
    return Inject(kind, rest, word);
  }
  if (command == "report") {
    if (!ReadNumber(word, number)) return Error("interval in ms expected");
    const std::string line = Cp1251(Unescape(rest));
    if (number > 0 && line.empty()) return Error("report line missing");
    Sim.SetStatusReport(static_cast<uint64_t>(number), line);
    return "ok\n";
  }
  if (command == "raw") {
    Sim.InjectRaw(Cp1251(Unescape(args)));
    return "ok\n";
  }
  if (command == "list") {
    std::string out;
    for (const auto& [index, message] : Sim.StoredMessages(word.empty() ? "SM" : word))
      out += std::to_string(index) + " " + std::to_string(message.Status) + " " +
             std::to_string(message.TpduLength) + " " + message.Pdu + "\n";
    return out + "ok\n";
  }
  if (command == "sent") {
    std::string out;
    for (const TSimSubmit& message : Sim.SentMessages())
      out += message.Recipient + " " + Escape(Utf8FromCp1251(message.Text)) + "\n";
    return out + "ok\n";
  }
  if (command == "received") {
    std::string out;
    for (const std::string& line : Sim.Commands()) out += Escape(Utf8FromCp1251(line)) + "\n";
    return out + "ok\n";
  }
  if (command == "clear") {
    Sim.ClearRecords();
    return "ok\n";
  }
  if (command == "state") {
    std::string cnmi = Sim.CnmiSetting();
    return std::string("echo ") + (Sim.Echo() ? "on" : "off") + "\nsim " + CardStateName(Sim.SimCard().State) +
           "\nregistered " + (Sim.Registered() ? "yes" : "no") + "\ncnmi " + (cnmi.empty() ? "-" : cnmi) +
           "\nprompt " + (Sim.InSendPrompt() ? "yes" : "no") + "\nok\n";
  }
  return Error("unknown command " + command);
}

std::string TSimControl::Inject(const std::string& command, std::string_view args, const std::string& after) {
  TSimDeliver message;
  message.Time = FixedTime ? *FixedTime : LocalNow();
  std::string storage = "SM";
  bool referenceGiven = false;
  std::string word;
  long long number = 0;
  for (;;) {
    std::string_view before = args;
    word = NextWord(args);
    if (word.rfind("--", 0) != 0) {
      args = before;
      break;
    }
    if (word == "--reverse") {
      message.Reverse = true;
    } else if (word == "--ucs2") {
      message.Ucs2 = true;
    } else if (word == "--ref16") {
      message.WideReference = true;
    } else if (word == "--parts") {
      if (!ReadNumber(NextWord(args), number) || number > 255) return Error("--parts needs a number up to 255");
      message.Parts = static_cast<int>(number);
    } else if (word == "--ref") {
      if (!ReadNumber(NextWord(args), number) || number > 65535) return Error("--ref needs a number up to 65535");
      message.Reference = static_cast<uint16_t>(number);
      referenceGiven = true;
    } else if (word == "--storage") {
      storage = NextWord(args);
    } else {
      return Error("unknown option " + word);
    }
  }
  message.Sender = Cp1251(NextWord(args));
  if (message.Sender.empty()) return Error("sender missing");
  message.Text = Cp1251(Unescape(args));
  if (!referenceGiven) message.Reference = NextReference++;
  if (!message.WideReference) message.Reference &= 0xFF;

  if (!after.empty()) {
    Sim.DeliverAfter(after, message, command == "cmti", storage);
    return "ok\n";
  }
  if (command == "cmt") {
    std::vector<TSimPdu> pdus = Sim.InjectCmt(message);
    if (pdus.empty()) return Error("text does not fit");
    std::string out;
    for (const TSimPdu& pdu : pdus) out += pdu.Hex + "\n";
    return out + "ok\n";
  }
  std::vector<int> indices = command == "cmti" ? Sim.InjectCmti(message, storage) : Sim.StoreSms(message, storage);
  if (indices.empty()) return Error("not stored (storage unknown or full, or text does not fit)");
  std::string out;
  for (int index : indices) out += std::to_string(index) + "\n";
  return out + "ok\n";
}
