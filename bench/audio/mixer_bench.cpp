// Mixer CPU per playing voice per second of output, on the capture device: 1, 4 and 16
// looping voices, at the device's own rate (no resampling) and resampled from 44100 Hz.
// Each iteration mixes one second of audio (48000 frames). The counter
// cpu_s_per_voice_audio_s is CPU seconds per voice per second of audio; its baseline is
// real time (1.0), and Mix/0 gives the cost of mixing nothing.
#include "platform/audio/audio_backend.h"
#include "platform/audio/dsound_entry.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

void mix(benchmark::State& state, DWORD rate, WORD channels) {
  const int voices = static_cast<int>(state.range(0));
  audio_select_backend(AUDIO_BACKEND_CAPTURE);
  IDirectSound* device = nullptr;
  if (DirectSoundCreate(nullptr, &device, nullptr) != DS_OK) {
    state.SkipWithError("no capture device");
    return;
  }
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(channels * 2);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  DSBUFFERDESC description{};
  description.dwSize = sizeof(description);
  description.dwFlags = 98530;
  description.dwBufferBytes = rate * format.nBlockAlign;  // one second
  description.lpwfxFormat = &format;
  std::vector<int16_t> tone(rate * channels);
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * static_cast<double>(i / channels) / rate));
  std::vector<IDirectSoundBuffer*> buffers;
  for (int v = 0; v < voices; ++v) {
    IDirectSoundBuffer* buffer = nullptr;
    device->CreateSoundBuffer(&description, &buffer, nullptr);
    void* region = nullptr;
    DWORD bytes = 0;
    buffer->Lock(0, description.dwBufferBytes, &region, &bytes, nullptr, nullptr, 0);
    std::memcpy(region, tone.data(), bytes);
    buffer->Unlock(region, bytes, nullptr, 0);
    buffer->SetVolume(-600);
    buffer->SetPan((v % 3 - 1) * 2000);
    buffer->SetCurrentPosition((static_cast<DWORD>(v) * 997 % rate) * format.nBlockAlign);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(buffer);
  }
  std::vector<int16_t> out(48000 * 2);
  for (auto _ : state) {
    audio_capture_render(out.data(), 48000);
    benchmark::DoNotOptimize(out.data());
  }
  // CPU time per (voice x audio second): one iteration is one second of audio per voice.
  state.counters["cpu_s_per_voice_audio_s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * (voices > 0 ? voices : 1),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  for (IDirectSoundBuffer* buffer : buffers) buffer->Release();
  device->Release();
}

void Mix(benchmark::State& state) { mix(state, 48000, 2); }
void MixResampled(benchmark::State& state) { mix(state, 44100, 1); }

BENCHMARK(Mix)->Arg(0)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(MixResampled)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
