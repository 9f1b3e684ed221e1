#include "app/core/CsvImport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/TessalyUnit2.h"
#include "base/MyFileStream.h"
#include "base/MyWideStr.h"
#include "platform/core/CodePages.h"
#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "tm/MyConvert.h"
#include "tm/MyTUs.h"
#include "unicode/UniSysUtils.h"

namespace {

WideString Reason(int code) { return WideSysErrorMessage(code ? code : EIO); }

[[noreturn]] void RaiseOpen(const WideString& name, const WideString& reason) {
  throw EWideFOpenError(WideFormat(u"Cannot open file \"%s\". %s", {WideExpandFileName(name), reason}));
}

[[noreturn]] void RaiseCreate(const WideString& name, int code) {
  throw EWideFCreateError(WideFormat(u"Cannot create file \"%s\". %s", {WideExpandFileName(name), Reason(code)}));
}

[[noreturn]] void RaiseWrite(const WideString& name) {
  throw EWideFileStreamError(
      WideFormat(u"Cannot write file \"%s\". %s", {WideExpandFileName(name), Reason(platform::LastErrorCode())}));
}

// The UTF-8 line of a unit of the template split where its source and target go: built once
// with a marker byte in each segment. Not usable when a marker also stands elsewhere.
struct TUnitShape {
  bool Made = false;
  bool Usable = false;
  std::string Before, Between, After;

  void Make(TTU& tu) {
    Made = true;
    tu.SegmentsUtf8 = true;
    tu.SourceUtf8.assign("\x01");
    tu.TargetUtf8.assign("\x02");
    std::string line;
    tu.BuildLineUtf8(line);
    const size_t s = line.find('\x01'), t = line.find('\x02');
    Usable = s != std::string::npos && t != std::string::npos && s < t && line.find('\x01', s + 1) == std::string::npos &&
             line.find('\x02', t + 1) == std::string::npos;
    if (!Usable) return;
    Before.assign(line, 0, s);
    Between.assign(line, s + 1, t - s - 1);
    After.assign(line, t + 1);
  }
};

// The decoded text of a line longer than this many characters is not kept for the next line.
constexpr size_t kKeptLine = 1 << 20;

// Whether bytes are all ASCII without a #0: the same bytes in UTF-8 as in any ANSI code page.
bool PlainAscii(std::string_view bytes) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
  size_t i = 0;
  for (uint64_t w; i + 8 <= bytes.size(); i += 8) {
    std::memcpy(&w, bytes.data() + i, 8);
    if ((w | ((w - kOnes) & ~w)) & kHigh) return false;
  }
  for (; i < bytes.size(); ++i)
    if (static_cast<unsigned char>(bytes[i]) >= 0x80 || bytes[i] == 0) return false;
  return true;
}

// Bytes of the input decoded a piece at a time, so that a line of any length needs a work buffer
// of a few hundred kilobytes besides its UTF-8: a piece never ends inside a character.
constexpr size_t kPiece = 64 * 1024;

size_t PieceEnd(std::string_view bytes, size_t from, TCodeChar code, const bool* leadBytes) {
  if (bytes.size() - from <= kPiece) return bytes.size();
  size_t end = from + kPiece;
  auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  switch (code) {
    case ccUtf8:
      // Back to the start of the sequence that the cut would split.
      for (int k = 0; k < 3 && end > from + 1 && (byte(end) & 0xC0) == 0x80; ++k) --end;
      return end;
    case ccUnicode:
    case ccBigEndian: {
      const unsigned high = code == ccUnicode ? byte(end - 1) : byte(end - 2);
      return (high & 0xFC) == 0xD8 ? end - 2 : end;  // the first half of a pair waits for its second
    }
    default:
      if (!leadBytes) return end;
      // A trail byte may look like a lead byte: the piece is walked from its start.
      for (end = from; end < from + kPiece;) end += leadBytes[byte(end)] ? 2 : 1;
      return std::min(end, bytes.size());
  }
}

// The line's text in UTF-8 (lone surrogates, which no well-formed file holds, and bytes that are
// no UTF-8 as U+FFFD, a #0 as its escape) into out. True when something had to be replaced so.
bool LineToUtf8(TTextFileStream& input, std::string_view raw, std::string& out, WideString& wide) {
  const TCodeChar code = input.CodeChar();
  const bool* leadBytes = code == ccAnsi ? platform::CodePageLeadBytes(platform::AnsiCodePage()) : nullptr;
  // Room for the most the bytes can become (three bytes of UTF-8 for each byte, or each UTF-16
  // unit), made once: pages that the text leaves untouched take no memory.
  MakeRoom(out, code == ccUnicode || code == ccBigEndian ? raw.size() / 2 * 3 : raw.size() * 3);
  bool replaced = false;
  for (size_t at = 0; at < raw.size();) {
    const size_t end = PieceEnd(raw, at, code, leadBytes);
    const std::string_view piece = raw.substr(at, end - at);
    const size_t from = out.size();
    if (code == ccUtf8) {
      const size_t good = WellFormedUtf8(piece, false);
      if (good < piece.size()) replaced = true;
      AppendUtf8Text(piece, out);
      if (platform::ReplaceLoneSurrogatesUtf8(out, from) > 0) replaced = true;
    } else {
      wide.clear();
      input.DecodeBytes(piece, wide);
      size_t lone = 0;
      out.resize(from + wide.size() * 3);
      out.resize(static_cast<size_t>(platform::EncodeUtf8(wide, out.data() + from, platform::LoneSurrogate::Replace, &lone) -
                                     out.data()));
      if (lone > 0) replaced = true;
    }
    if (EscapeNuls(out, from)) replaced = true;
    at = end;
  }
  if (wide.capacity() > kKeptLine) WideString().swap(wide);
  return replaced;
}

}  // namespace

int ConvertCsvToTxt(const WideString& inputName, const WideString& outputName, const TProgressEvent& onProgress,
                    int* repaired) {
  // Only a regular file is opened: a FIFO would block the open.
  if (!WideFileExists(inputName)) {
    if (!platform::PathExists(inputName)) RaiseOpen(inputName, Reason(platform::LastErrorCode()));
    RaiseOpen(inputName, platform::IsDirectory(inputName) ? Reason(EISDIR) : WideString(u"Not a regular file."));
  }
  auto input = TTextFileStream::Create(inputName, ccUnicode, false, fmOpenRead | fmShareDenyWrite);
  if (!input) RaiseOpen(inputName, Reason(platform::LastErrorCode()));
  // The input is held against writers, so an output naming the same file cannot be created.
  auto output = TTextFileStream::Create(outputName, ccUtf8, false, fmCreate);
  if (!output) RaiseCreate(outputName, platform::LastErrorCode());

  if (input->CodeChar() == ccAnsi && input->LooksLikeUtf8()) input->SetCodeChar(ccUtf8);
  input->SetPosition(0);

  TObjectControled job;
  job.SetProgressEvent(onProgress);
  job.SetTotal(input->GetSize());
  int lastPercent = 0;

  // The header carries the pair of its units, or the text-TM reader would not take it.
  TLangPair pair;
  StrToLangPair(pair, u"EN>JA");
  TTU tu = NewTU(true);
  tu.SetLangPair(pair);
  TTU header;
  int64_t headerLength = 0;  // in the file's encoding
  bool first = true;
  int units = 0;

  // A unit line goes from the input to the output as UTF-8 bytes: a UTF-8 line whose bytes decode
  // and encode back as they stand, and an ANSI line of plain ASCII, as they are; any other
  // decoded a piece at a time. Only the header is made from decoded text.
  static const TUtf8Stops kAsItStands = MakeUtf8Stops(false, std::string_view("\0", 1), "\xED");
  TUnitShape shape;
  const bool utf8 = input->CodeChar() == ccUtf8, ansi = input->CodeChar() == ccAnsi;
  WideString line;
  std::string bytes, text8;
  while (!input->Eof()) {
    const int64_t before = input->GetPosition();
    std::string_view raw;
    const int64_t after = input->ReadLineBytes(raw);
    if (after <= before) break;
    if (!first) {
      std::string_view text = raw;
      bool warned = false;
      if (!(utf8 ? ScanUtf8(raw, kAsItStands) == raw.size() : ansi && PlainAscii(raw))) {
        warned = LineToUtf8(*input, raw, text8, line);
        text = text8;
      }
      const size_t tab = text.find('\t');
      const std::string_view source = text.substr(0, tab);
      const std::string_view target = tab == std::string_view::npos ? std::string_view() : text.substr(tab + 1);
      if (!shape.Made) shape.Make(tu);
      if (shape.Usable) {
        const size_t length = shape.Before.size() + source.size() + shape.Between.size() + target.size() + shape.After.size();
        if (length <= kKeptLine) {
          // Every unit line is the same line around its two segments, written in one piece.
          MakeRoom(bytes, length + 2);
          bytes.assign(shape.Before).append(source).append(shape.Between).append(target).append(shape.After).append("\r\n");
          output->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        } else {
          // A long line is written in its parts, not copied once more.
          for (const std::string_view part : {std::string_view(shape.Before), source, std::string_view(shape.Between), target,
                                              std::string_view(shape.After), std::string_view("\r\n")})
            output->Write(part.data(), static_cast<int64_t>(part.size()));
        }
      } else {
        tu.SegmentsUtf8 = true;
        tu.SourceUtf8.assign(source);
        tu.TargetUtf8.assign(target);
        tu.BuildLineUtf8(bytes);
        bytes.append("\r\n");
        output->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
      }
      if (text8.capacity() > kKeptLine) std::string().swap(text8);
      if (output->WriteFailed()) RaiseWrite(outputName);
      // A line without a source is written but is no unit for the reader.
      if (!source.empty()) ++units;
      if (warned && repaired) ++*repaired;
    } else {
      line.clear();
      input->DecodeBytes(raw, line);
      EscapeNuls(line);
      const std::u16string_view text(line);
      const size_t tab = text.find(u'\t');
      const std::u16string_view source = text.substr(0, tab);
      const std::u16string_view target = tab == std::u16string_view::npos ? std::u16string_view() : text.substr(tab + 1);
      tu.SegmentsUtf8 = false;
      tu.SetField(tfSource, source);
      tu.SetField(tfTarget, target);
      // A long line's decoded text goes before its unit line is built, not with the next line.
      if (line.capacity() > kKeptLine) WideString().swap(line);
      const WideString& written = tu.GetLine();
      const int64_t lone = output->LoneSurrogates();
      output->WriteLine(written);
      if (repaired && output->LoneSurrogates() > lone) ++*repaired;
      if (output->WriteFailed()) RaiseWrite(outputName);
      first = false;
      headerLength = output->EncodedLength(written);
      // The header is kept to be written again with its count. Every unit line is made from
      // its fields before the attributes, source and target changing: the template takes
      // them, but not the header's segments, which may be as long as a line can be.
      header = std::move(tu);
      tu = TTU();
      for (int i = 0; i < tfAttributes; ++i)
        tu.SetField(i, i == tfSource || i == tfTarget ? std::u16string_view() : std::u16string_view(header.Field(i)));
      tu.SetLangPair(pair);
      tu.SetField(tfCount, u"0");
    }
    const int64_t percent = after * 100 / job.Total;
    if (percent != lastPercent) {
      lastPercent = static_cast<int>(percent);
      job.SetPosition(after);
    }
  }

  if (!first) {
    // The count has a fixed width, so the header keeps its length and is rewritten in place;
    // the filler absorbs a longer count.
    header.SetCount(units);
    const int64_t length = output->EncodedLength(header.GetLine());
    if (length != headerLength) header.PadHeader(header.GetLineLength() + static_cast<int>(headerLength - length));
    if (output->EncodedLength(header.GetLine()) == headerLength) {
      output->SetPosition(0);
      output->WriteText(header.GetLine());
    }
  }
  if (!output->CloseFile() || output->WriteFailed()) RaiseWrite(outputName);
  return units;
}
