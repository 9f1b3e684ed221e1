#include "app/core/CsvImport.h"

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "base/MyFileStream.h"
#include "base/MyWideStr.h"
#include "platform/core/Files.h"
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

  // A UTF-8 line whose bytes decode and encode back as they stand goes from the input to the
  // output as bytes; any other line is decoded.
  static const TUtf8Stops kAsItStands = MakeUtf8Stops(false, {}, "\xED");
  TUnitShape shape;
  const bool utf8 = input->CodeChar() == ccUtf8;
  WideString line;
  std::string bytes;
  while (!input->Eof()) {
    const int64_t before = input->GetPosition();
    std::string_view raw;
    const int64_t after = input->ReadLineBytes(raw);
    if (after <= before) break;
    // A #0 ends the text, as it does for every encoding but UTF-16 when decoding.
    if (utf8) raw = raw.substr(0, std::min(raw.size(), raw.find('\0')));
    if (utf8 && !first && ScanUtf8(raw, kAsItStands) == raw.size()) {
      const size_t tab = raw.find('\t');
      const std::string_view source = raw.substr(0, tab);
      const std::string_view target = tab == std::string_view::npos ? std::string_view() : raw.substr(tab + 1);
      if (!shape.Made) shape.Make(tu);
      if (shape.Usable) {
        // Every unit line is the same line around its two segments. Its room is made once (the
        // string's growth would double a long line).
        MakeRoom(bytes, shape.Before.size() + source.size() + shape.Between.size() + target.size() + shape.After.size() + 2);
        bytes.assign(shape.Before).append(source).append(shape.Between).append(target).append(shape.After);
      } else {
        tu.SegmentsUtf8 = true;
        tu.SourceUtf8.assign(source);
        tu.TargetUtf8.assign(target);
        tu.BuildLineUtf8(bytes);
      }
      bytes.append("\r\n");
      output->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
      if (output->WriteFailed()) RaiseWrite(outputName);
      if (!source.empty()) ++units;
    } else {
      line.clear();
      input->DecodeBytes(raw, line);
      line.resize(static_cast<size_t>(WStrLen(line.c_str())));
      const std::u16string_view text(line);
      const size_t tab = text.find(u'\t');
      const std::u16string_view source = text.substr(0, tab);
      const std::u16string_view target = tab == std::u16string_view::npos ? std::u16string_view() : text.substr(tab + 1);
      tu.SegmentsUtf8 = false;
      tu.SetField(tfSource, source);
      tu.SetField(tfTarget, target);
      const bool hasSource = !source.empty();
      // A long line's decoded text goes before its unit line is built, not with the next line.
      if (line.capacity() > kKeptLine) WideString().swap(line);
      const WideString& written = tu.GetLine();
      const int64_t lone = output->LoneSurrogates();
      output->WriteLine(written);
      if (repaired && output->LoneSurrogates() > lone) ++*repaired;
      if (output->WriteFailed()) RaiseWrite(outputName);
      if (first) {
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
      } else if (hasSource) {
        // A line without a source is written but is no unit for the reader.
        ++units;
      }
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
