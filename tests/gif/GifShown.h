#pragma once
// Files as three decoders show them: the codec (through gifcodec frames), Pillow (through a small
// python3 script) and ImageMagick (convert and identify): every screen as RGBA, how long each stays,
// the loop count; and how far two showings of one animation are apart.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace gif::test {

// The first executable of that name on PATH; empty when there is none.
inline std::string OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string file = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (access(file.c_str(), X_OK) == 0) return file;
  }
  return "";
}

// Pillow as a program: per file a line "file NAME N LOOP" (LOOP -1 without a loop count) and N
// lines "f DELAY-MS-or--1 W H RGBA-HEX", every frame as Pillow shows it (RGBA, on a canvas that
// Pillow grows to hold frames beyond the logical screen); or "file NAME error TEXT" where Pillow
// refuses the file.
inline constexpr char PillowScript[] = R"(
import sys
from PIL import Image
for name in sys.argv[1:]:
    try:
        im = Image.open(name)
        loop = im.info.get('loop', -1)
        lines, n = [], 0
        while True:
            frame = im.convert('RGBA')
            d = im.info.get('duration')
            lines.append('f %d %d %d %s' % (-1 if d is None else d, frame.size[0], frame.size[1], frame.tobytes().hex() or '-'))
            n += 1
            try:
                im.seek(n)
            except EOFError:
                break
        print('file', name, len(lines), loop)
        print('\n'.join(lines))
    except Exception as e:
        print('file', name, 'error', type(e).__name__, str(e).replace('\n', ' '))
)";

// The python3 that has Pillow: the system's first (a python3 of another installation on PATH may
// lack the system's packages).
inline std::string PythonWithPillow() {
  for (const std::string& python : {std::string("/usr/bin/python3"), OnPath("python3")}) {
    if (python.empty() || access(python.c_str(), X_OK) != 0) continue;
    if (RunProgram(python, {"-c", "import PIL.GifImagePlugin"}).status == 0) return python;
  }
  return "";
}

struct TFrame {
  int Delay = 0;  // hundredths of a second; -1 when the decoder gives none
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // RGBA bytes as one number, 0 where transparent
};

struct TShown {
  std::string Error;  // the decoder refused the file
  std::vector<TFrame> Frames;
  int Loops = -1;  // as the decoder reads it; -1 without a loop count
};

inline std::vector<uint32_t> RgbaPixels(const uint8_t* p, size_t count) {
  std::vector<uint32_t> pixels(count);
  for (size_t i = 0; i < count; ++i, p += 4)
    pixels[i] = p[3] == 0 ? 0 : static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
  return pixels;
}

inline std::map<std::string, TShown> ShownByPillow(const std::string& python, const std::vector<std::string>& files) {
  std::string out;
  RunOptions options;
  options.boundSeconds = 1800;
  constexpr size_t Batch = 2000;  // files a command line holds
  for (size_t first = 0; first < files.size(); first += Batch) {
    std::vector<std::string> args = {"-c", PillowScript};
    args.insert(args.end(), files.begin() + static_cast<std::ptrdiff_t>(first),
                files.begin() + static_cast<std::ptrdiff_t>(std::min(files.size(), first + Batch)));
    const ProgramRun run = RunProgram(python, args, options);
    EXPECT_EQ(run.status, 0) << run.err;
    out += run.out;
  }
  std::map<std::string, TShown> shown;
  std::istringstream lines(out);
  std::string word, name;
  TShown* current = nullptr;
  while (lines >> word) {
    if (word == "file") {
      lines >> name >> word;
      current = &shown[name];
      if (word == "error")
        std::getline(lines, current->Error);
      else
        lines >> current->Loops;
    } else if (word == "f" && current) {
      TFrame frame;
      std::string hex;
      lines >> frame.Delay >> frame.Width >> frame.Height >> hex;
      if (frame.Delay > 0) frame.Delay /= 10;
      std::vector<uint8_t> bytes(hex.size() / 2);
      const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
      for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(digit(hex[2 * i]) << 4 | digit(hex[2 * i + 1]));
      frame.Pixels = RgbaPixels(bytes.data(), bytes.size() / 4);
      current->Frames.push_back(std::move(frame));
    }
  }
  return shown;
}

// What convert reports of a file it shows all the same: an index beyond the colour table.
inline bool MagickShowsDespite(const std::string& line) {
  return line.find("invalid colormap index") != std::string::npos;
}

// Runs shell command lines a few shells side by side (line i in shell i % shells), through
// scripts named after prefix in dir, waiting for all; their output comes back together.
inline ProgramRun RunSideBySide(const TempDir& dir, const std::string& prefix, const std::vector<std::string>& lines,
                                size_t shells = 4) {
  std::vector<std::string> scripts(shells);
  for (size_t i = 0; i < lines.size(); ++i) scripts[i % shells] += lines[i] + "\n";
  std::string all;
  for (size_t k = 0; k < shells; ++k) {
    const std::string script = dir.File(prefix + std::to_string(k) + ".sh");
    TempDir::Write(script, scripts[k]);
    all += "sh '" + script + "' &\n";
  }
  TempDir::Write(dir.File(prefix + ".sh"), all + "wait\n");
  RunOptions options;
  options.boundSeconds = 3600;
  return RunProgram("/bin/sh", {dir.File(prefix + ".sh")}, options);
}

// One convert per file, four at a time: a file that convert cannot show upsets what one command
// reports of the others (the frames of a whole list taken for one file's). Each file coalesced, the
// frames' delays and sizes to a file, their pixels to another, its messages to a third; then one
// identify per few dozen files for their loop counts (ImageMagick's iterations, 0 for ever, the
// loop count plus one otherwise), which it takes from the first frame and names each file for.
inline std::map<std::string, TShown> ShownByMagick(const std::string& convert, const std::vector<std::string>& files,
                                                   const TempDir& dir) {
  std::map<std::string, TShown> shown;
  std::vector<std::string> present, lines;
  // A file that is not there (an output the optimiser refused to write) is not shown.
  for (const std::string& file : files)
    if (std::filesystem::exists(file)) present.push_back(file);
  for (size_t i = 0; i < present.size(); ++i) {
    const std::string base = dir.File("magick" + std::to_string(i));
    lines.push_back("'" + convert + "' '" + present[i] + "' -coalesce -depth 8 -format '%T %w %h\\n' -write 'info:" +
                    base + ".txt' 'rgba:" + base + ".rgba' 2>'" + base + ".err'");
  }
  const ProgramRun run = RunSideBySide(dir, "magick", lines);
  EXPECT_EQ(run.status, 0) << run.err;
  for (size_t i = 0; i < present.size(); ++i) {
    const std::string base = dir.File("magick" + std::to_string(i));
    TShown& file = shown[present[i]];
    std::istringstream errors(TempDir::Read(base + ".err"));
    for (std::string line; std::getline(errors, line) && file.Error.empty();)
      if (!line.empty() && !MagickShowsDespite(line)) file.Error = line;
    const std::string pixels = std::filesystem::exists(base + ".rgba") ? TempDir::Read(base + ".rgba") : "";
    std::istringstream lines(std::filesystem::exists(base + ".txt") ? TempDir::Read(base + ".txt") : "");
    size_t at = 0;
    TFrame frame;
    while (lines >> frame.Delay >> frame.Width >> frame.Height) {
      const size_t count = static_cast<size_t>(frame.Width) * frame.Height;
      if (at + 4 * count > pixels.size()) {
        ADD_FAILURE() << "convert wrote fewer pixels than the frames of " << present[i] << " hold";
        break;
      }
      frame.Pixels = RgbaPixels(reinterpret_cast<const uint8_t*>(pixels.data()) + at, count);
      at += 4 * count;
      file.Frames.push_back(frame);
    }
    // A file it shows no frame of, it has not read.
    if (file.Frames.empty() && file.Error.empty()) file.Error = "no frame shown";
  }
  RunOptions options;
  options.boundSeconds = 3600;
  constexpr size_t Batch = 50;
  for (size_t first = 0; first < present.size(); first += Batch) {
    const size_t last = std::min(present.size(), first + Batch);
    std::vector<std::string> pinged = {"-ping", "-verbose"};
    for (size_t i = first; i < last; ++i) pinged.push_back(present[i] + "[0]");
    const ProgramRun identify = RunProgram(OnPath("identify"), pinged, options);
    std::istringstream report(identify.out);
    TShown* current = nullptr;
    for (std::string line; std::getline(report, line);) {
      const size_t name = line.find("  Filename: "), loops = line.find("  Iterations: ");
      if (name == 0) current = &shown[line.substr(12)];
      if (loops == 0 && current) current->Loops = std::atoi(line.c_str() + 14);
    }
  }
  return shown;
}

// The codec as gifcodec frames shows each file: its screens, their delays and the loop count.
// viewer: as the viewer's own decoder shows them (gifcodec frames --viewer). Four gifcodec runs at
// a time, each file's frames to a folder of its own.
inline std::map<std::string, TShown> ShownByCodec(const std::vector<std::string>& files, const TempDir& dir,
                                                  bool viewer = false) {
  const std::string prefix = viewer ? "viewer" : "codec";
  std::vector<std::string> lines;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string out = dir.File(prefix + std::to_string(i));
    std::filesystem::create_directories(out);
    lines.push_back("'" + std::string(GIFCODEC_EXE) + "' frames " + (viewer ? "--viewer '" : "'") + files[i] + "' '" +
                    out + "' >'" + out + "/list' 2>'" + out + "/err' || echo >'" + out + "/failed'");
  }
  const ProgramRun run = RunSideBySide(dir, prefix, lines);
  EXPECT_EQ(run.status, 0) << run.err;

  std::map<std::string, TShown> shown;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string out = dir.File(prefix + std::to_string(i));
    TShown& s = shown[files[i]];
    if (std::filesystem::exists(out + "/failed")) {
      s.Error = TempDir::Read(out + "/err");
      if (s.Error.empty()) s.Error = "gifcodec failed";
      continue;
    }
    std::istringstream lines(TempDir::Read(out + "/list"));
    std::string word;
    int width = 0, height = 0;
    lines >> word >> width >> height >> word >> s.Loops;
    for (int n = 0, left, top, w, h, delay; lines >> word >> n >> left >> top >> w >> h >> delay;) {
      lines.ignore(1000, '\n');
      char name[32];
      std::snprintf(name, sizeof name, "/frame-%03d.png", n);
      const QImage png = QImage(QString::fromStdString(out + name)).convertToFormat(QImage::Format_RGBA8888);
      TFrame frame;
      frame.Delay = delay / 10;
      frame.Width = png.width();
      frame.Height = png.height();
      frame.Pixels = RgbaPixels(png.constBits(), static_cast<size_t>(png.width()) * png.height());
      s.Frames.push_back(std::move(frame));
    }
  }
  return shown;
}

// How far apart two showings of an animation are. Neighbouring frames that show the same screen
// are one screen shown for their time together: the optimiser may take away a frame that adds
// nothing and give its time to the frame before.
struct TDifference {
  int Refused = 0;         // files refused after optimising and not before
  int Frames = 0;          // screens more or fewer
  int Delays = 0;          // screens shown for another time
  int64_t Pixels = 0;      // pixels that differ, screen by screen
  int Loops = 0;           // loop counts that differ
  bool operator==(const TDifference&) const = default;
  TDifference& operator+=(const TDifference& d) {
    Refused += d.Refused;
    Loops += d.Loops;
    Frames += d.Frames;
    Delays += d.Delays;
    Pixels += d.Pixels;
    return *this;
  }
};

inline std::ostream& operator<<(std::ostream& os, const TDifference& d) {
  return os << d.Refused << " refused, " << d.Frames << " frames, " << d.Delays << " delays, " << d.Pixels
            << " pixels, " << d.Loops << " loop counts";
}

// A frame that the decoder gives no time counts as one of 0.
inline std::vector<TFrame> Joined(const std::vector<TFrame>& frames) {
  std::vector<TFrame> joined;
  for (const TFrame& f : frames) {
    if (!joined.empty() && joined.back().Pixels == f.Pixels && joined.back().Width == f.Width) {
      joined.back().Delay += std::max(f.Delay, 0);
      continue;
    }
    joined.push_back(f);
    joined.back().Delay = std::max(f.Delay, 0);
  }
  return joined;
}

// A file the decoder refuses before has nothing to compare with.
inline TDifference Compare(const TShown& before, const TShown& after) {
  TDifference d;
  if (!before.Error.empty() || !after.Error.empty()) {
    d.Refused = before.Error.empty();
    return d;
  }
  d.Loops = before.Loops != after.Loops;
  const std::vector<TFrame> a = Joined(before.Frames), b = Joined(after.Frames);
  d.Frames = std::abs(static_cast<int>(a.size()) - static_cast<int>(b.size()));
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    // The last screen stays for ever: its time is the loop's, not the screen's.
    if (a[i].Delay != b[i].Delay && !(i + 1 == a.size() && i + 1 == b.size())) ++d.Delays;
    if (a[i].Width != b[i].Width || a[i].Height != b[i].Height) {
      d.Pixels += static_cast<int64_t>(std::max(a[i].Pixels.size(), b[i].Pixels.size()));
      continue;
    }
    for (size_t p = 0; p < a[i].Pixels.size(); ++p) d.Pixels += a[i].Pixels[p] != b[i].Pixels[p];
  }
  return d;
}

inline std::string Describe(const TShown& shown) {
  if (!shown.Error.empty()) return "refused:" + shown.Error;
  std::ostringstream os;
  os << " loops " << shown.Loops;
  for (const TFrame& f : shown.Frames) {
    os << "\n    " << f.Delay << ":";
    for (size_t p = 0; p < f.Pixels.size(); ++p)
      os << (p % static_cast<size_t>(std::max(f.Width, 1)) ? " " : " |") << std::hex << f.Pixels[p] << std::dec;
  }
  return os.str();
}

// Skips where Pillow or ImageMagick is missing, outside CI.
class GifDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    python_ = PythonWithPillow();
    convert_ = OnPath("convert");
    const bool pillow = !python_.empty(), magick = !convert_.empty() && !OnPath("identify").empty();
    // The test command installs both: in CI their absence is a fault, not a reason to skip.
    if (std::getenv("CI") && (!pillow || !magick)) FAIL() << "Pillow or ImageMagick is missing in CI";
    if (!pillow) GTEST_SKIP() << "python3 with Pillow (python3-pil) is not installed";
    if (!magick) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
  }
  std::string python_, convert_;
};

}  // namespace gif::test
