#include "common/SmsInfo.h"

const std::array<const char*, 26> SmsKindNames = {
    "Bad",  "Unknown", "GET", "SET",   "CHG",  "USSD",  "SOUT", "PULSE",  "SANI",
    "SCOUNT", "GANI",  "ALARM", "CGET", "SIN", "SAIN", "PCL",  "SMODE", "TELUP",
    "APN",  "MOUT",  "RESET", "GCONF1", "GCONF2", "GCONF4", "BATTERY", "IOPOINT",
};

const std::array<const char*, kParamKindCount> SmsParamKindNames = {
    "PERIODWR",   "PERIODCOUNT12", "PERIODCOUNT34", "PERIODANALOG", "PERIODSEND", "IP",
    "PORT",       "ALIAS",         "APNFULL",       "TELSMS",       "INALIAS",    "INPFLAGS",
    "CONTROLFLAGS", "CONTROLPOINT", "RADIUS",       "CPALIAS",      "CPTELNUM",   "MODEWR",
    "MODE1",      "MODEWIDE",      "TELUP",         "RINGOUT",      "PULSE",      "SOUT",
    "MOUT",       "ONLYBUTTON",    "TELAKN",        "RESIP",        "RESPORT",    "MICAMP",
    "DYNAMP",     "MODEAD",        "ALEVEL",        "PERIODUSR",    "MODEANALOG", "POROG",
    "ALARM",      "BATTERY",       "IOPOINT",
};

std::string KindName(uint8_t kind) {
  if (kind <= kLastReplyKind) return SmsKindNames[kind];
  if (kind >= kFirstParamKind && kind <= kLastParamKind) return SmsParamKindNames[kind - kFirstParamKind];
  return std::string();
}

uint8_t GetReplyChannel(int32_t deviceNumber, const std::string& gprsMatch) {
  if ((static_cast<uint32_t>(deviceNumber) & 0xFFFFu) < 10806u) return 0;
  return gprsMatch.empty() ? 2 : 1;
}
