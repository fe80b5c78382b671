#include "platform/IniFile.h"

#include "common/Text.h"

#define SI_NO_CONVERSION  // values are code page 1251 bytes: no conversion on the way in or out
#include <SimpleIni.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string_view kUtf8Signature = "\xEF\xBB\xBF";

enum class TReadResult { Ok, Missing, Failed };

// Reads the file whole. Only a regular file of at most kMaxIniFileBytes is read: a named pipe
// would block the open until some writer comes, and a device (a link to /dev/zero) never ends.
// The type is looked at before the open, so that a device is never opened at all, and again on
// the open descriptor, for a file swapped in between; the open does not wait for a writer.
TReadResult ReadWholeFile(const std::string& fileName, std::string& text, std::string& why) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return TReadResult::Missing;
    why = std::strerror(errno);
    return TReadResult::Failed;
  }
  auto notRegular = [&why] {
    why = "it is not a regular file";
    return TReadResult::Failed;
  };
  if (!S_ISREG(info.st_mode)) return notRegular();
  int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return TReadResult::Missing;
    why = std::strerror(errno);
    return TReadResult::Failed;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return notRegular();
  }
  char buffer[16384];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      ::close(fd);
      return TReadResult::Failed;
    }
    if (n == 0) break;
    if (text.size() + static_cast<size_t>(n) > kMaxIniFileBytes) {
      ::close(fd);
      text.clear();
      why = "it is larger than " + std::to_string(kMaxIniFileBytes) + " bytes";
      return TReadResult::Failed;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return TReadResult::Ok;
}

bool IsIniBlank(char c) { return c == ' ' || c == '\t'; }

enum class TLineKind { Blank, Comment, Entry, Other };

// How the ini parser sees one line: a section header or a "key=value" line is an entry, a line
// that starts with ';' or '#' a comment; any other non-blank line is skipped by the parser.
TLineKind ClassifyLine(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsIniBlank(line[i])) ++i;
  if (i == line.size()) return TLineKind::Blank;
  if (line[i] == ';' || line[i] == '#') return TLineKind::Comment;
  if (line[i] == '[') return line.find(']', i) != std::string_view::npos ? TLineKind::Entry : TLineKind::Other;
  size_t equals = line.find('=', i);
  return equals == std::string_view::npos || equals == i ? TLineKind::Other : TLineKind::Entry;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

// Joins lines first..last-1 with "\n" line ends, leaving out blank lines at either end.
std::string JoinLines(const std::vector<std::string_view>& lines, size_t first, size_t last) {
  while (first < last && ClassifyLine(lines[first]) == TLineKind::Blank) ++first;
  while (last > first && ClassifyLine(lines[last - 1]) == TLineKind::Blank) --last;
  std::string text;
  for (size_t i = first; i < last; ++i) {
    text.append(lines[i]);
    text.push_back('\n');
  }
  return text;
}

std::string OneLine(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return value;
}

std::string FolderOf(const std::string& fileName) {
  size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

std::string BaseNameOf(const std::string& fileName) {
  size_t slash = fileName.rfind('/');
  return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Opens a new, uniquely named hidden file beside `target`. The mode 0666 lets the umask decide
// the rights of a file that did not exist before.
int CreateTemporaryBeside(const std::string& target, std::string& tempName) {
  static std::atomic<unsigned> counter{0};
  const std::string stem = FolderOf(target) + "/." + BaseNameOf(target) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned long long salt =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<unsigned long long>(::getpid()) << 20) ^ counter.fetch_add(1);
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%06llx", salt & 0xFFFFFFull);
    tempName = stem + suffix;
    int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Replaces the file with `text` in one step. A symbolic link is kept: the file it points to is
// the one replaced.
bool ReplaceFile(const std::string& fileName, std::string_view text) {
  std::string target = fileName;
  struct stat info {};
  if (::lstat(fileName.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(fileName.c_str(), resolved) != nullptr) target = resolved;
  }
  const bool existed = ::stat(target.c_str(), &info) == 0;

  std::string tempName;
  int fd = CreateTemporaryBeside(target, tempName);
  if (fd < 0) return false;
  if (existed) ::fchmod(fd, info.st_mode & 07777);  // best effort: the content matters more
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tempName.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tempName.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace

struct TIniFile::TData {
  CSimpleIniA Ini{false, false, false};
  bool Signature = false;  // the file began with the UTF-8 signature, which is written back
  std::string Head;        // a file without any entry: its whole text, kept before the entries
  std::string Tail;        // comments after the last entry, which the parser would not keep
};

TIniFile::TIniFile(std::string fileName) : FileNameValue(std::move(fileName)), Data(std::make_unique<TData>()) {
  Data->Ini.SetSpaces(false);  // "key=value", as the other OS writes it
  std::string text;
  switch (ReadWholeFile(FileNameValue, text, ReadErrorValue)) {
    case TReadResult::Missing: return;
    case TReadResult::Failed: Readable = false; return;
    case TReadResult::Ok: break;
  }
  if (std::string_view(text).starts_with(kUtf8Signature)) {
    Data->Signature = true;
    text.erase(0, kUtf8Signature.size());
  }
  // The parser stops at a NUL byte; a damaged file keeps what follows one.
  std::replace(text.begin(), text.end(), '\0', ' ');

  // The text goes to the parser line by line in a form that it reads the same way every
  // time: no blank lines at the top and comment lines without indentation (both would hide a
  // leading comment from it, and it drops them anyway), and the lines it cannot use turned
  // into comments. A "[" line without its "]" must not reach the parser as it stands: it
  // would take the following lines into the section name.
  std::string normalised;
  normalised.reserve(text.size() + 16);
  bool started = false;  // blank lines above the first one carry nothing
  for (std::string_view line : SplitLines(text)) {
    const TLineKind kind = ClassifyLine(line);
    if (!started && kind == TLineKind::Blank) continue;
    started = true;
    switch (kind) {
      case TLineKind::Other: normalised += ';'; break;
      case TLineKind::Comment: line.remove_prefix(line.find_first_not_of(" \t")); break;
      default: break;
    }
    normalised.append(line);
    normalised += '\n';
  }
  // The parser would take those bytes at the top for a signature even when they begin a key.
  if (std::string_view(normalised).starts_with(kUtf8Signature)) normalised.insert(0, "\n");
  text = std::move(normalised);
  const std::vector<std::string_view> lines = SplitLines(text);
  size_t afterLastEntry = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (ClassifyLine(lines[i]) == TLineKind::Entry) afterLastEntry = i + 1;

  if (afterLastEntry == 0) {
    Data->Head = JoinLines(lines, 0, lines.size());
    return;
  }
  if (Data->Ini.LoadData(text.data(), text.size()) < 0) {
    Data->Ini.Reset();
    Readable = false;
    ReadErrorValue = "it could not be parsed";
    return;
  }
  Data->Tail = JoinLines(lines, afterLastEntry, lines.size());
}

TIniFile::~TIniFile() = default;

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Data->Ini.GetValue(section.c_str(), key.c_str(), nullptr) != nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
  const char* value = Data->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
  return value != nullptr ? std::string(value) : fallback;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const {
  const char* value = Data->Ini.GetValue(section.c_str(), key.c_str(), nullptr);
  return value != nullptr ? StrToIntDef(value, fallback) : fallback;
}

std::vector<std::string> TIniFile::ReadSections() const {
  CSimpleIniA::TNamesDepend sections;
  Data->Ini.GetAllSections(sections);
  sections.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> names;
  for (const CSimpleIniA::Entry& section : sections) names.emplace_back(section.pItem);
  return names;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  CSimpleIniA::TNamesDepend keys;
  Data->Ini.GetAllKeys(section.c_str(), keys);
  keys.sort(CSimpleIniA::Entry::LoadOrder());
  std::vector<std::string> names;
  for (const CSimpleIniA::Entry& key : keys) names.emplace_back(key.pItem);
  return names;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  const std::string line = OneLine(value);
  if (Data->Ini.SetValue(section.c_str(), key.c_str(), line.c_str()) < 0) WriteFailed = true;
  ModifiedValue = true;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

bool TIniFile::UpdateFile() {
  if (!Readable || WriteFailed) return false;
  if (!ModifiedValue) return true;
  std::string entries;
  if (Data->Ini.Save(entries, false) < 0) return false;
  std::string text;
  text += Data->Head;
  // Two blank lines after the head: the form in which the parser keeps it as the file's
  // leading comment, so that the next write gives the same text.
  if (!Data->Head.empty() && !entries.empty()) text += "\n\n";
  text += entries;
  if (!Data->Tail.empty()) {
    if (!text.empty()) text += '\n';
    text += Data->Tail;
  }
  if (Data->Signature) {
    text.insert(0, kUtf8Signature);
  } else if (std::string_view(text).starts_with(kUtf8Signature)) {
    text.insert(0, "\n");  // a key whose name begins with those bytes is no signature
  }
  if (!ReplaceFile(FileNameValue, text)) return false;
  ModifiedValue = false;
  return true;
}
