// The WAV reader takes a path: each input goes through one file of its own.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/zentor_fuzz_" + std::to_string(getpid()) + ".wav";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  zentor::WavFileContents wav;
  if (zentor::ReadWavFile(path, 1 << 16, wav) == zentor::WavReadStatus::Ok) {
    for (float v : wav.Scaled)
      if (!std::isfinite(v)) __builtin_trap();
  }
  return 0;
}
