#pragma once
// Files by UTF-16 name over POSIX. Names are UTF-16 in the program and UTF-8 bytes for the kernel.
// A name the kernel gives that is not UTF-8 keeps its bytes: each byte that is not UTF-8 is held
// as a lone surrogate U+DC80..U+DCFF (NameFromNative), which goes back to that byte on its way
// to the kernel (NativeName). Such a name is shown with U+FFFD in their place (ShownText).
// Calls return InvalidFileHandle / -1 / false on failure and leave the reason in LastErrorCode().
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using FileHandle = int;
inline constexpr FileHandle InvalidFileHandle = -1;

// Access and sharing as the Windows file calls take them.
enum : unsigned { AccessRead = 1, AccessWrite = 2 };
enum : unsigned { ShareNone = 0, ShareRead = 1, ShareWrite = 2 };

enum class Disposition {
  CreateAlways,  // create or truncate
  OpenExisting,  // fail when missing
};

enum : int { SeekBegin = 0, SeekCurrent = 1, SeekEnd = 2 };

// Opens or creates a regular file. Sharing is enforced between cooperating openers with
// advisory locks: a handle that denies others writing holds a shared lock when it only
// reads, and an exclusive lock otherwise; a handle that shares writing holds none.
// A directory never opens as a file.
FileHandle OpenFile(const std::u16string& name, unsigned access, unsigned share, Disposition disposition);
void CloseFile(FileHandle h);
int64_t ReadFile(FileHandle h, void* buffer, int64_t count);
int64_t WriteFile(FileHandle h, const void* buffer, int64_t count);
// Transfers at an explicit offset, leaving the handle's own position alone.
int64_t ReadFileAt(FileHandle h, void* buffer, int64_t count, int64_t offset);
int64_t WriteFileAt(FileHandle h, const void* buffer, int64_t count, int64_t offset);
int64_t SeekFile(FileHandle h, int64_t offset, int origin);  // the new position, or -1
int64_t FileSizeOf(FileHandle h);                             // -1 on failure
bool SetFileSizeOf(FileHandle h, int64_t size);

bool PathExists(const std::u16string& name);
bool IsDirectory(const std::u16string& name);
bool IsRegularFile(const std::u16string& name);

// Creates a folder and every missing folder above it, as mkdir -p does. True when the folder
// exists afterwards.
bool CreateFolders(const std::u16string& name);

// One entry of a folder. A symbolic link is taken as what it names; one that names a folder is
// told apart, so that a walk can leave it alone.
struct FolderEntry {
  enum Kind { File, Folder, LinkToFolder };
  std::u16string Name;
  Kind Type = File;
};
// The entries of a folder, "." and ".." left out, in the order the file system gives them.
// False when the folder cannot be read, or an entry of it cannot be examined.
bool ListFolder(const std::u16string& folder, std::vector<FolderEntry>& entries);

// What a name leads to on disk, links followed: equal identities are the same file.
struct FileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool operator==(const FileIdentity&) const = default;
  bool operator<(const FileIdentity& o) const { return Device != o.Device ? Device < o.Device : Inode < o.Inode; }
};
bool IdentityOf(const std::u16string& name, FileIdentity& id);
// True when both names lead to one file; false when either cannot be examined.
bool SameFile(const std::u16string& a, const std::u16string& b);
// A file as it stands: what it is and when it last changed (its status change, in ns, which
// any write, truncation or replacement moves). Equal states: the file was left alone between.
struct FileState {
  FileIdentity Id;
  int64_t Size = 0;
  int64_t ChangedNs = 0;
  bool operator==(const FileState&) const = default;
};
bool StateOf(const std::u16string& name, FileState& state);

// Puts the file from in the place of the file to, in one step: whoever opens to finds the old
// file or the new one, never a mixture. The new file takes the permissions of the one it
// replaces. On failure to stays as it was.
bool ReplaceFile(const std::u16string& from, const std::u16string& to);
bool DeleteFile(const std::u16string& name);

// The absolute form of a name: relative names are taken from the working directory and
// "." and ".." parts are folded away lexically, as a full-path query does without touching the disk.
std::u16string FullPathName(const std::u16string& name);

// The reason of the last failed call on this thread (an errno value), and its text.
int LastErrorCode();
void SetLastErrorCode(int code);
std::u16string SystemErrorText(int code);
// Raises EOSError for the last error: "System Error.  Code: N." and the error's text on the
// next line; with no error recorded, "A call to an OS function failed".
[[noreturn]] void RaiseLastOSError();

// A name's bytes for the kernel, and a name from the kernel's bytes (a directory entry, a
// command-line argument, the working directory): one gives back what the other was given.
std::string NativeName(std::u16string_view name);
std::u16string NameFromNative(std::string_view bytes);

}  // namespace platform
