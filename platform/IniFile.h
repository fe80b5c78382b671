#pragma once
// The program's ini files in the other OS's plain form: sections in brackets, one "key=value"
// per line, ';' or '#' starting a comment line. Section and key names compare without regard
// to ASCII letter case; values are the bytes as they stand (code page 1251, no conversion).
//
// A TIniFile reads its file once, when it is made. Writes change the copy in memory and reach
// the disk with UpdateFile, which replaces the file in one step: the new text goes to a
// temporary file in the same folder, is flushed to the disk and then renamed over the old
// file. A write that is cut short (full disk, crash, power loss) therefore leaves either the
// old file or the new one, never a truncated one. Comments and keys that the program does not
// know are written back as they were; a line that is neither is written back as a comment.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The largest settings file that is read; a larger one counts as unreadable.
inline constexpr size_t kMaxIniFileBytes = 1024 * 1024;

class TIniFile {
public:
  // Reads `fileName`. A missing file is an empty ini; a file that exists but cannot be read
  // leaves the object unreadable (see IsReadable). Anything but a regular file (a named pipe,
  // a device, a folder) and a file larger than kMaxIniFileBytes count as unreadable at once.
  explicit TIniFile(std::string fileName);
  ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return FileNameValue; }

  // False when the file exists but could not be read. Reads then give their fallbacks, and
  // UpdateFile refuses to replace a file whose content it does not know.
  bool IsReadable() const { return Readable; }
  // Why the file could not be read ("it is not a regular file", ...); empty when it was.
  const std::string& ReadError() const { return ReadErrorValue; }

  bool ValueExists(const std::string& section, const std::string& key) const;
  // The value with its surrounding blanks removed, or `fallback` when the key is absent.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  // Decimal, or hexadecimal after "$" or "0x"; `fallback` when absent or not a number.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
  // The section names in file order; keys above the first section are in the section "".
  std::vector<std::string> ReadSections() const;
  // The key names of a section in file order (empty when the section is absent).
  std::vector<std::string> ReadSection(const std::string& section) const;

  // A value holds one line: line breaks in it are stored as blanks, so that a value can never
  // add sections or keys to the file.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);

  // True when a write is waiting for UpdateFile.
  bool Modified() const { return ModifiedValue; }
  // Writes the file when something was written since it was read; true when the file on
  // disk now holds every write (also when there was nothing to write). On failure the old
  // file is left exactly as it was.
  bool UpdateFile();

private:
  struct TData;
  std::string FileNameValue;
  std::unique_ptr<TData> Data;
  std::string ReadErrorValue;
  bool Readable = true;
  bool ModifiedValue = false;
  bool WriteFailed = false;
};
