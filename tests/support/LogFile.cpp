#include "support/LogFile.h"

#include <fstream>
#include <iterator>

std::vector<TLogRecord> ReadLogRecords(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<TLogRecord> records;
  for (size_t at = 0; at + kLogRecordSize <= bytes.size(); at += kLogRecordSize)
    records.push_back(DecodeLogRecord(reinterpret_cast<const unsigned char*>(bytes.data()) + at));
  return records;
}

std::vector<TLogRecord> ReadFolderLog(const std::string& exeDir) {
  return ReadLogRecords(exeDir + "OrvexMonitor.log");
}

std::vector<std::string> ReadFolderLogTexts(const std::string& exeDir) {
  std::vector<std::string> texts;
  for (const TLogRecord& record : ReadFolderLog(exeDir)) texts.push_back(record.Text);
  return texts;
}
