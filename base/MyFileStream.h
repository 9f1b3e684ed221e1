#pragma once
// Files read and written by several threads with a position each, and text files in four
// encodings read and written line by line. All text crosses the interface as UTF-16.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/MySynchro.h"
#include "platform/core/CodePages.h"
#include "unicode/UniClasses.h"
#include "unicode/UniTypes.h"

// Encoding codes of text files. Their names stand unqualified, as the class library's constants
// do; only a number no longer passes for a code.
enum class TCodeChar : uint8_t {
  ccNone = 0,
  ccAnsi = 1,
  ccUnicode = 2,    // UTF-16LE
  ccBigEndian = 3,  // UTF-16BE
  ccUtf8 = 4,
};
using enum TCodeChar;
// The code's number, as the encoding tables and ConvertText take it.
constexpr uint8_t CodeNumber(TCodeChar code) { return static_cast<uint8_t>(code); }

// "None", "ANSI", "Unicode", "BigEndian", "UTF8"; "None" for codes out of range.
const char16_t* CodeCharName(TCodeChar code);

struct TThreadFileInfo {
  uint32_t ThreadId;
  int64_t Position;  // bytes
  void AddPosition(int32_t delta) { Position += delta; }
};

// One file position per calling thread.
class TMultiPos {
public:
  TMultiPos();
  virtual ~TMultiPos();
  TMultiPos(const TMultiPos&) = delete;
  TMultiPos& operator=(const TMultiPos&) = delete;

  void Clear();
  // The index when found, else -(insert position + 1).
  int IndexOfThread(uint32_t threadId);
  virtual int64_t GetPosition();
  virtual void SetPosition(int64_t value);

protected:
  // The calling thread's entry, created at position 0 when missing; call under LockThreads.
  TThreadFileInfo& CurrentInfoLocked(int64_t initial = 0);
  int64_t ThreadPosition();
  void SetThreadPosition(int64_t value);

  uint32_t LastThreadId = 0xFFFFFFFF;
  int LastIndex = -1;
  TMyCriticalSection LockThreads;
  std::vector<TThreadFileInfo> Items;  // sorted by ThreadId
};

// A byte file by UTF-16 name. Without MultiThreads it belongs to one thread and buffers its
// reads and writes; with it, every thread has its own position and transfers are serialised.
class TMyFileStream : public TMultiPos {
public:
  // Returns nullptr when the file cannot be opened or created (mode fmCreate).
  static std::unique_ptr<TMyFileStream> Create(const WideString& fileName, uint16_t mode, bool multiThreads);
  ~TMyFileStream() override;

  bool Open(const WideString& fileName, uint16_t mode);
  // Writes out what is buffered; false when the file could not take all of it.
  bool Flush();
  // Closes the file; false when buffered data could not be written.
  bool CloseFile();

  int64_t GetPosition() override;
  void SetPosition(int64_t value) override;
  virtual int64_t GetSize();
  virtual void SetSize(int64_t value);
  virtual int64_t Seek(int64_t offset, int origin);
  virtual void DebugInfo(std::vector<WideString>& lines);

  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  int64_t ReadAt(void* buffer, int64_t count, int64_t position);
  int64_t WriteAt(const void* buffer, int64_t count, int64_t position);
  bool Eof();

  const WideString& FileName() const { return FFileName; }
  bool CanWrite = true;
  bool Modified() const { return FModified; }
  bool MultiThreads() const { return FMultiThreads; }
  // True once a write or size change failed: the file does not hold what was written. A
  // failure of a block written behind shows here once the writer met it, at the latest at the
  // next Flush or CloseFile; its reason is then in the calling thread's LastErrorCode.
  bool WriteFailed() const;
  // Whether full blocks of a file written by one thread go to a thread of their own that writes
  // them while the caller goes on (the default). Off, every block is written by the caller.
  void SetWriteBehind(bool value);
  std::function<void(bool)> OnModified;

protected:
  TMyFileStream(bool multiThreads);
  void SetModified(bool value);
  int64_t ByteSize();
  int64_t BytePosition();
  void SetBytePosition(int64_t value);

  std::unique_ptr<TUniFileStream> Stream;
  WideString FFileName;
  int ClusterSize = 1;
  int HeaderSize = 0;
  bool FModified = false;
  bool FMultiThreads = false;
  mutable bool FWriteFailed = false;
  TMyCriticalSection LockRW;

  // What the read buffer holds from byte offset at to its end, without a copy; empty when it
  // does not hold that byte (or the file is shared by threads). Valid until the next transfer.
  std::string_view BufferedFrom(int64_t at) const;
  // Transfers at a byte offset without moving any position.
  int64_t TransferRead(void* buffer, int64_t count, int64_t at);
  int64_t TransferWrite(const void* buffer, int64_t count, int64_t at);

private:
  class TWriteBehind;
  // Writes the buffer out, or hands it to the writer thread; returns without waiting for that.
  void WriteBuffer();
  // Waits until the writer thread has written all it was given.
  void WaitWriter();
  // Takes a failure that the writer thread met as the stream's own.
  void TakeWriterFailure() const;

  // Single-thread mode: logical position, known size and one buffer used either for reading
  // or for writing.
  int64_t FPos = 0;
  int64_t FSize = 0;
  std::vector<char> FBuf;
  int64_t FBufStart = 0;
  int64_t FBufLen = 0;
  bool FBufDirty = false;
  // Written behind: what the caller wrote itself so far, and the thread that writes the blocks
  // after that (so small files never start it).
  bool FWriteBehind = true;
  int64_t FWrittenOut = 0;
  std::unique_ptr<TWriteBehind> FWriter;
};

// A text file: encoding from the byte-order mark (or the code asked for a new file), positions
// in characters after the mark, lines ended by CR LF, lone CR or lone LF.
class TTextFileStream : public TMyFileStream {
public:
  // Returns nullptr when the file cannot be opened or created. codeChar is the encoding of a
  // new, empty file opened for writing (its mark is written); an existing file's mark decides.
  static std::unique_ptr<TTextFileStream> Create(const WideString& fileName, TCodeChar codeChar, bool multiThreads,
                                                 uint16_t mode);

  int64_t GetPosition() override;
  void SetPosition(int64_t value) override;
  int64_t GetSize() override;
  void SetSize(int64_t value) override;
  int64_t Seek(int64_t offset, int origin) override;
  void DebugInfo(std::vector<WideString>& lines) override;

  // Count in characters of the file's encoding; the result too.
  int64_t ReadRaw(void* buffer, int64_t count);
  int64_t WriteRaw(const void* buffer, int64_t count);
  // Reads up to count characters of the file and appends them to text as UTF-16; a multi-byte
  // sequence cut by the block's end is left for the next call (delivered at the end of the file).
  // Returns the number of UTF-16 characters appended; 0 only at the end of the file.
  int64_t ReadChars(WideString& text, int64_t count);
  // Reads the next line, whole, without its line end. Returns the new position in characters;
  // at the end of the file the position is unchanged and the line empty.
  int64_t ReadLine(WideString& line);
  // ReadLine without decoding: the line's bytes in the file's encoding, valid until the next line
  // is read from any text file of the thread, and until this file is next read or written.
  int64_t ReadLineBytes(std::string_view& bytes);
  // Appends bytes of the file's encoding to text as UTF-16, as ReadLine decodes them.
  void DecodeBytes(std::string_view bytes, WideString& text) { Decode(bytes.data(), bytes.size(), text); }
  int64_t ReadLineAt(WideString& line, int64_t position);
  // Where the text of the line last read ended, before its line end, in characters.
  int64_t LastLineEnd() const { return FLastLineEnd; }
  // The length text would take in the file, in characters of the file's encoding.
  int64_t EncodedLength(PCWideChar text);
  int64_t EncodedLength(std::u16string_view text);  // text holds no #0
  // Writes text without a line end. A surrogate without its partner, which no well-formed file
  // holds, is written as U+FFFD (as "?" in ANSI) and counted in LoneSurrogates. A long text is
  // encoded and written piece by piece.
  int64_t WriteText(PCWideChar text);
  int64_t WriteText(std::u16string_view text);  // text holds no #0
  // The lone surrogates that WriteText and WriteLine replaced so far.
  int64_t LoneSurrogates() const { return FLoneSurrogates; }
  // Writes text (up to its #0; nullptr writes only the line end) and a CR LF in the file's
  // encoding; returns the position after it.
  int64_t WriteLine(PCWideChar text);
  int64_t WriteLine(const WideString& text) { return WriteLine(text.c_str()); }
  int64_t WriteLine(std::u16string_view text);  // text holds no #0
  void Rewind() { SetPosition(0); }
  void SetCodeChar(TCodeChar value);
  // An ANSI file in the given code page rather than the process's (as a file may declare it);
  // a character that a block's end cuts is completed by the next block. False, and nothing
  // changed, when the page cannot be converted or the file is not read as ANSI.
  bool SetCodePage(unsigned codePage);
  // A file without a mark whose encoding its first bytes tell (UTF-16 in XML): read it so from
  // the start. Ignored for a file with a mark and for an empty one.
  void SetUnmarkedCode(TCodeChar value);
  // Whether a file without a mark is UTF-8: all of it well-formed UTF-8 with at least one
  // character beyond ASCII. Read as ANSI, such text would turn into other characters. The
  // position goes back to the start.
  bool LooksLikeUtf8();

  TCodeChar CodeChar() const { return FCodeChar; }
  int NbChRtn() const { return FNbChRtn; }

private:
  explicit TTextFileStream(bool multiThreads) : TMyFileStream(multiThreads) {}
  void InitEncoding(uint16_t mode);
  // Appends count bytes of the file's encoding to out as UTF-16.
  void Decode(const char* bytes, size_t count, WideString& out);

  std::unique_ptr<platform::TCodePageDecoder> FDecoder;  // the ANSI file's own code page
  int FNbChRtn = 2;
  int64_t FLastLineEnd = 0;
  int64_t FLoneSurrogates = 0;
  TCodeChar FCodeChar = ccAnsi;
  uint8_t DecalMult = 0;

};

// True when the file cannot be opened for exclusive reading: missing, or held by a writer.
bool FileInUse(const WideString& fileName);
