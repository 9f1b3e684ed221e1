#include "platform/core/Sound.h"

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstring>

#include "platform/core/Module.h"

namespace platform {
namespace {

uint32_t LE(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// ALSA reports every failure on standard error by itself ("cannot find card"); a machine
// without sound is no error here, so it says nothing.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

// The sound library is looked up when the first sound plays, not linked: most runs play none, and
// every run would pay for loading it. Only its header is used at build time.
struct TAlsa {
  decltype(&::snd_lib_error_set_handler) lib_error_set_handler = nullptr;
  decltype(&::snd_pcm_open) pcm_open = nullptr;
  decltype(&::snd_pcm_close) pcm_close = nullptr;
  decltype(&::snd_pcm_nonblock) pcm_nonblock = nullptr;
  decltype(&::snd_pcm_set_params) pcm_set_params = nullptr;
  decltype(&::snd_pcm_writei) pcm_writei = nullptr;
  decltype(&::snd_pcm_recover) pcm_recover = nullptr;
  decltype(&::snd_pcm_drain) pcm_drain = nullptr;
};

// nullptr when the library is missing or lacks a function: a machine without it has no sound.
const TAlsa* Alsa() {
  static const TAlsa* const alsa = []() -> const TAlsa* {
    void* handle = OpenSharedLibrary("libasound.so.2");
    if (!handle) return nullptr;
    static TAlsa a;
    if (!BindSymbol(handle, "snd_lib_error_set_handler", a.lib_error_set_handler) || !BindSymbol(handle, "snd_pcm_open", a.pcm_open) ||
        !BindSymbol(handle, "snd_pcm_close", a.pcm_close) || !BindSymbol(handle, "snd_pcm_nonblock", a.pcm_nonblock) ||
        !BindSymbol(handle, "snd_pcm_set_params", a.pcm_set_params) || !BindSymbol(handle, "snd_pcm_writei", a.pcm_writei) ||
        !BindSymbol(handle, "snd_pcm_recover", a.pcm_recover) || !BindSymbol(handle, "snd_pcm_drain", a.pcm_drain))
      return nullptr;  // kept mapped: unloading a library whose initialisers ran gains nothing
    a.lib_error_set_handler(Quiet);
    return &a;
  }();
  return alsa;
}

}  // namespace

bool ParseWave(const std::vector<uint8_t>& wave, TWaveFormat& format) {
  format = TWaveFormat{};
  const size_t size = wave.size();
  if (size < 12 || std::memcmp(wave.data(), "RIFF", 4) != 0 || std::memcmp(wave.data() + 8, "WAVE", 4) != 0) return false;
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= size;) {
    const uint8_t* chunk = wave.data() + at;
    const size_t length = LE(chunk + 4, 4);
    if (length > size - at - 8) return false;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16 || LE(chunk + 8, 2) != 1) return false;  // PCM only
      format.Channels = LE(chunk + 10, 2);
      format.SampleRate = LE(chunk + 12, 4);
      format.BitsPerSample = LE(chunk + 22, 2);
      if (format.Channels == 0 || format.SampleRate == 0 || (format.BitsPerSample != 8 && format.BitsPerSample != 16))
        return false;
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return false;
      const size_t frame = format.Channels * (format.BitsPerSample / 8);
      format.Data = chunk + 8;
      format.DataSize = length / frame * frame;
      return true;
    }
    at += 8 + length + (length & 1);  // chunks are padded to an even length
  }
  return false;
}

TPlayResult PlayWaveSync(const std::vector<uint8_t>& wave, const char* device) {
  TWaveFormat format;
  if (!ParseWave(wave, format)) return TPlayResult::BadWave;
  const TAlsa* alsa = Alsa();
  if (!alsa) return TPlayResult::NoDevice;
  snd_pcm_t* pcm = nullptr;
  // Opened without waiting, so that a device held by another program never hangs the caller.
  if (alsa->pcm_open(&pcm, device, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return TPlayResult::NoDevice;
  struct Closer {
    const TAlsa* alsa;
    snd_pcm_t* pcm;
    ~Closer() { alsa->pcm_close(pcm); }
  } closer{alsa, pcm};
  const snd_pcm_format_t sampleFormat = format.BitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
  if (alsa->pcm_nonblock(pcm, 0) < 0 ||
      alsa->pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.Channels, format.SampleRate, 1,
                           100000) < 0)
    return TPlayResult::NoDevice;
  const size_t frameBytes = format.Channels * (format.BitsPerSample / 8);
  const uint8_t* p = format.Data;
  snd_pcm_uframes_t left = format.DataSize / frameBytes;
  while (left > 0) {
    snd_pcm_sframes_t n = alsa->pcm_writei(pcm, p, left);
    if (n < 0) n = alsa->pcm_recover(pcm, static_cast<int>(n), 1);
    if (n < 0) return TPlayResult::NoDevice;
    p += static_cast<size_t>(n) * frameBytes;
    left -= static_cast<snd_pcm_uframes_t>(n);
  }
  alsa->pcm_drain(pcm);
  return TPlayResult::Played;
}

}  // namespace platform
