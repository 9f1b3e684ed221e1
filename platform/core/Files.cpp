#include "platform/core/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/core/Exception.h"
#include "platform/core/Utf8.h"

namespace platform {
namespace {

thread_local int t_lastError = 0;

bool Fail(int code) {
  t_lastError = code;
  return false;
}

// Why a file that is not a regular one is not opened.
int NotRegularCode(const struct stat& st) { return S_ISDIR(st.st_mode) ? EISDIR : EINVAL; }

bool StatName(const std::u16string& name, struct stat& st) {
  if (name.empty()) return Fail(ENOENT);
  if (::stat(NativeName(name).c_str(), &st) != 0) return Fail(errno);
  return true;
}

}  // namespace

std::string NativeName(std::u16string_view name) {
  std::string out(name.size() * 3, '\0');
  out.resize(static_cast<size_t>(EncodeUtf8(name, out.data(), LoneSurrogate::Unescape) - out.data()));
  return out;
}

std::u16string NameFromNative(std::string_view bytes) { return Utf8ToUtf16(bytes, IllFormedUtf8::EscapeBytes); }

int LastErrorCode() { return t_lastError; }
void SetLastErrorCode(int code) { t_lastError = code; }

void RaiseLastOSError() {
  const int code = LastErrorCode();
  if (code == 0) throw EOSError("A call to an OS function failed", 0);
  throw EOSError("System Error.  Code: " + std::to_string(code) + ".\n" + Utf16ToUtf8(SystemErrorText(code)), code);
}

std::u16string SystemErrorText(int code) {
  char buf[256];
  buf[0] = 0;
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buf, sizeof buf);
  std::string s = text ? text : "";
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  if (s.empty()) s = "Unspecified error (" + std::to_string(code) + ")";
  return Utf8ToUtf16(s + ".");
}

FileHandle OpenFile(const std::u16string& name, unsigned access, unsigned share, Disposition disposition) {
  if (name.empty()) {
    Fail(ENOENT);
    return InvalidFileHandle;
  }
  // Only a regular file is opened: a pipe or a device would block the open, or the first read,
  // for ever, or act on being opened. It is refused before the open, and again after it, for a
  // name that changed in between; the open itself never waits.
  struct stat st;
  const std::string native = NativeName(name);
  if (::stat(native.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    Fail(NotRegularCode(st));
    return InvalidFileHandle;
  }
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  if ((access & AccessRead) && (access & AccessWrite))
    flags |= O_RDWR;
  else if (access & AccessWrite)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  if (disposition == Disposition::CreateAlways) flags |= O_CREAT;  // truncated only once the lock is held
  int fd = ::open(native.c_str(), flags, 0666);
  if (fd < 0) {
    Fail(errno);
    return InvalidFileHandle;
  }
  int statResult = ::fstat(fd, &st);
  if (statResult != 0 || !S_ISREG(st.st_mode)) {
    int code = statResult != 0 ? errno : NotRegularCode(st);
    ::close(fd);
    Fail(code);
    return InvalidFileHandle;
  }
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    int code = errno;
    ::close(fd);
    Fail(code);
    return InvalidFileHandle;
  }
  int lock = 0;
  if (!(share & ShareWrite)) lock = ((share & ShareRead) && !(access & AccessWrite)) ? LOCK_SH : LOCK_EX;
  if (lock && ::flock(fd, lock | LOCK_NB) != 0) {
    int code = (errno == EWOULDBLOCK) ? EBUSY : errno;
    ::close(fd);
    Fail(code);
    return InvalidFileHandle;
  }
  if (disposition == Disposition::CreateAlways && ::ftruncate(fd, 0) != 0) {
    int code = errno;
    ::close(fd);
    Fail(code);
    return InvalidFileHandle;
  }
  return fd;
}

void CloseFile(FileHandle h) {
  if (h >= 0) ::close(h);
}

namespace {

// Repeats a transfer until count bytes moved, the end of the file, or an error; an error after
// some bytes moved reports those bytes.
template <typename Step>
int64_t TransferAll(int64_t count, bool stopAtZero, Step step) {
  if (count <= 0) return 0;
  int64_t done = 0;
  while (done < count) {
    ssize_t n = step(done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      return done ? done : -1;
    }
    if (n == 0 && stopAtZero) break;
    done += n;
  }
  return done;
}

}  // namespace

int64_t ReadFile(FileHandle h, void* buffer, int64_t count) {
  auto* p = static_cast<char*>(buffer);
  return TransferAll(count, true, [&](int64_t done) { return ::read(h, p + done, static_cast<size_t>(count - done)); });
}

int64_t WriteFile(FileHandle h, const void* buffer, int64_t count) {
  const auto* p = static_cast<const char*>(buffer);
  return TransferAll(count, true,
                     [&](int64_t done) { return ::write(h, p + done, static_cast<size_t>(count - done)); });
}

int64_t ReadFileAt(FileHandle h, void* buffer, int64_t count, int64_t offset) {
  auto* p = static_cast<char*>(buffer);
  return TransferAll(count, true, [&](int64_t done) {
    return ::pread(h, p + done, static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
  });
}

int64_t WriteFileAt(FileHandle h, const void* buffer, int64_t count, int64_t offset) {
  const auto* p = static_cast<const char*>(buffer);
  return TransferAll(count, true, [&](int64_t done) {
    return ::pwrite(h, p + done, static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
  });
}

int64_t SeekFile(FileHandle h, int64_t offset, int origin) {
  int whence = origin == SeekCurrent ? SEEK_CUR : origin == SeekEnd ? SEEK_END : SEEK_SET;
  off_t r = ::lseek(h, static_cast<off_t>(offset), whence);
  if (r < 0) {
    Fail(errno);
    return -1;
  }
  return r;
}

int64_t FileSizeOf(FileHandle h) {
  struct stat st;
  if (::fstat(h, &st) != 0) {
    Fail(errno);
    return -1;
  }
  return st.st_size;
}

bool SetFileSizeOf(FileHandle h, int64_t size) {
  if (size < 0) return Fail(EINVAL);
  if (::ftruncate(h, static_cast<off_t>(size)) != 0) return Fail(errno);
  return true;
}

bool PathExists(const std::u16string& name) {
  struct stat st;
  return StatName(name, st);
}

bool IsDirectory(const std::u16string& name) {
  struct stat st;
  return StatName(name, st) && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::u16string& name) {
  struct stat st;
  return StatName(name, st) && S_ISREG(st.st_mode);
}

bool CreateFolders(const std::u16string& name) {
  if (name.empty()) return Fail(ENOENT);
  const std::string path = NativeName(name);
  // Each prefix ending before a "/" is a folder to make, the whole name the last one.
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return Fail(errno);
    if (end == std::string::npos) break;
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return Fail(errno);
  return S_ISDIR(st.st_mode) ? true : Fail(ENOTDIR);
}

bool ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  if (folder.empty()) return Fail(ENOENT);
  std::string dir = NativeName(folder);
  if (dir.back() != '/') dir += '/';
  DIR* d = ::opendir(dir.c_str());
  if (!d) return Fail(errno);
  int code = 0;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(d);
    if (!e) {
      code = errno;
      break;
    }
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (::lstat((dir + name).c_str(), &st) != 0) {
      code = errno;
      break;
    }
    FolderEntry entry;
    entry.Name = NameFromNative(name);
    if (S_ISDIR(st.st_mode)) {
      entry.Type = FolderEntry::Folder;
    } else if (S_ISLNK(st.st_mode)) {
      // A link that leads nowhere stays a file: opening it says what is wrong.
      struct stat target;
      if (::stat((dir + name).c_str(), &target) == 0 && S_ISDIR(target.st_mode)) entry.Type = FolderEntry::LinkToFolder;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  if (code != 0) {
    entries.clear();
    return Fail(code);
  }
  return true;
}

bool IdentityOf(const std::u16string& name, FileIdentity& id) {
  struct stat st;
  if (!StatName(name, st)) return false;
  id.Device = static_cast<uint64_t>(st.st_dev);
  id.Inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  FileIdentity ia, ib;
  return IdentityOf(a, ia) && IdentityOf(b, ib) && ia == ib;
}

bool StateOf(const std::u16string& name, FileState& state) {
  struct stat st;
  if (!StatName(name, st)) return false;
  state.Id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  state.Size = st.st_size;
  state.ChangedNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return true;
}

bool ReplaceFile(const std::u16string& from, const std::u16string& to) {
  const std::string source = NativeName(from), target = NativeName(to);
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) ::chmod(source.c_str(), st.st_mode & 07777);
  if (::rename(source.c_str(), target.c_str()) != 0) return Fail(errno);
  return true;
}

bool DeleteFile(const std::u16string& name) {
  if (::unlink(NativeName(name).c_str()) != 0) return Fail(errno);
  return true;
}

std::u16string FullPathName(const std::u16string& name) {
  std::u16string path = name;
  if (path.empty() || path[0] != u'/') {
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
      if (errno != ERANGE) return name;
      buf.resize(buf.size() * 2);
    }
    std::u16string cwd = NameFromNative(buf.data());
    path = cwd + (cwd.empty() || cwd.back() != u'/' ? u"/" : u"") + path;
  }
  std::vector<std::u16string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find(u'/', i);
    if (j == std::u16string::npos) j = path.size();
    std::u16string part = path.substr(i, j - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  std::u16string out;
  for (const auto& p : parts) out += u"/" + p;
  if (out.empty()) out.assign(1, u'/');
  if (path.size() > 1 && path.back() == u'/' && out != u"/") out += u'/';
  return out;
}

}  // namespace platform
