// The sound device's library is looked up by the first sound: the whole way to a device runs
// through what was found then. ALSA's "null" device takes the samples on any machine.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Sound.h"

namespace {

// A RIFF/WAVE image of 8-bit mono PCM at 8,000 samples a second.
std::vector<uint8_t> Wave(size_t samples) {
  auto le = [](std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  std::string w = "RIFF";
  le(w, static_cast<uint32_t>(36 + samples), 4);
  w += "WAVEfmt ";
  le(w, 16, 4);
  le(w, 1, 2);     // PCM
  le(w, 1, 2);     // channels
  le(w, 8000, 4);  // rate
  le(w, 8000, 4);  // bytes a second
  le(w, 1, 2);     // bytes a frame
  le(w, 8, 2);     // bits a sample
  w += "data";
  le(w, static_cast<uint32_t>(samples), 4);
  for (size_t i = 0; i < samples; ++i) w += static_cast<char>(i & 1 ? 0xC0 : 0x40);
  return std::vector<uint8_t>(w.begin(), w.end());
}

}  // namespace

TEST(Sound, TheFirstSoundLoadsTheLibraryAndPlaysThroughIt) {
  const std::vector<uint8_t> wave = Wave(800);
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform::PlayWaveSync(wave, "mirelcon_no_such_device"), platform::TPlayResult::NoDevice);
  EXPECT_EQ(platform::PlayWaveSync(wave, "null"), platform::TPlayResult::Played);
  EXPECT_EQ(platform::PlayWaveSync(wave, "null"), platform::TPlayResult::Played);  // found once, used again
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NE(::dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD), nullptr);
}
