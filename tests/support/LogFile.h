#pragma once
// The SMS log's file as stored, read back record by record without the log's own parsing, so
// that a test sees exactly what was written.

#include "gsm/SmsLog.h"

#include <string>
#include <vector>

// The whole records of the log file at `path`, in file order; a torn tail is left out and a
// missing file has none.
std::vector<TLogRecord> ReadLogRecords(const std::string& path);
// The same for the log of the program folder `exeDir` (with its trailing separator).
std::vector<TLogRecord> ReadFolderLog(const std::string& exeDir);
// The texts of those records.
std::vector<std::string> ReadFolderLogTexts(const std::string& exeDir);

// Stored received messages that cannot be read back: a time field that names no date (any
// double), or a text whose reply grammar raises the conversion error (a date that does not
// exist, a number that a field cannot hold). Each reads back as a record of kind Bad.
struct TUnreadableRecord {
  const char* What;
  TDateTime Time;
  const char* Text;
};
const std::vector<TUnreadableRecord>& UnreadableRecords();
