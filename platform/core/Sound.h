#pragma once
// The sound device: a RIFF/WAVE image of PCM samples played to its end (through ALSA).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// What a RIFF/WAVE image holds, as far as playing it goes.
struct TWaveFormat {
  unsigned Channels = 0;
  unsigned SampleRate = 0;
  unsigned BitsPerSample = 0;  // 8 (unsigned samples) or 16 (signed, little-endian)
  const uint8_t* Data = nullptr;
  size_t DataSize = 0;  // bytes, whole frames only
};

// Reads the format and the data chunk of a RIFF/WAVE image of PCM samples. False for anything
// else: another format, a chunk that runs past the image's end, no channels, no rate.
bool ParseWave(const std::vector<uint8_t>& wave, TWaveFormat& format);

enum class TPlayResult {
  Played,
  NoDevice,  // no sound device answered, or it refused the format: nothing was heard
  BadWave,   // the image is not one ParseWave reads
};

// Plays the image on the device and returns when it has been played. A machine without a
// sound device skips it, silently: a sound is never worth an error.
TPlayResult PlayWaveSync(const std::vector<uint8_t>& wave, const char* device = "default");

}  // namespace platform
