// WAV files: the 44-byte canonical 16-bit header the program writes, and a
// reader that finds the format and data chunks wherever they stand in a file
// written by another program. The reader takes 16, 24 and 32-bit PCM and 32-bit
// float samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/binary_io.h"

namespace zentor {

constexpr int32_t kWavHeaderBytes = 44;

// The canonical header, member by member in file order; the tags are four
// single-byte characters each.
struct WavHeader {
  std::string RiffTag = "RIFF";
  int32_t RiffChunkSize = 36;  // data size + 36
  std::string FormTag = "WAVE";
  std::string FormatTag = "fmt ";
  int32_t FormatChunkSize = 16;
  int16_t FormatCode = 1;  // PCM
  int16_t Channels = 1;
  int32_t SampleRate = 0;
  int32_t ByteRate = 0;  // SampleRate x BlockAlign
  int16_t BlockAlign = 2;
  int16_t BitsPerSample = 16;
  std::string DataTag = "data";
  int32_t DataSize = 0;  // bytes of samples that follow
};

// The header of a 16-bit file of `values` samples (all channels together).
WavHeader MakeWavHeader(int16_t channels, int32_t sampleRate, int32_t values);
void WriteWavHeader(BinaryWriter& w, const WavHeader& h);
bool ReadWavHeader(BinaryReader& r, WavHeader& h);

// Why a WAV file could not be taken; each has its own message.
enum class WavReadStatus {
  Ok,
  NotRiffWave,     // under 12 bytes, or no "RIFF"/"WAVE"
  NoFormatOrData,  // a chunk is missing
  Damaged,         // a chunk runs past the end, "fmt " is under 16 bytes, or a float is not finite or beyond 1000 x full scale
  NotPcm16,        // none of the formats read, no channel, or a wrong block align
  RateOutOfRange,  // outside 750..192000 Hz
  Unreadable,      // the file could not be opened or read
};
std::string WavReadMessage(WavReadStatus s);
// The message with the file's name, and for an unreadable one the reason.
std::string WavFileRefusal(WavReadStatus s, const std::string& path);
// Past what a RIFF size field can state.
constexpr int64_t kLargestWavFileBytes = (int64_t{1} << 32) + 8;

constexpr int32_t kLowestWavRate = 750;
constexpr int32_t kHighestWavRate = 192000;

// What the reader found: the format in canonical form (DataSize as the file
// states it), the frame count of the data chunk, and its first frames. A 16-bit
// file fills Samples; the wider formats fill Scaled instead, each value as a
// 16-bit file of the same peak would hold it (full scale 32768), unrounded.
struct WavFileContents {
  WavHeader Header;
  int64_t Frames = 0;
  std::vector<int16_t> Samples;  // interleaved, at most maxFrames frames
  std::vector<float> Scaled;     // likewise
  int16_t SourceBits = 16;
  bool FloatSamples = false;
};

// Frame j of channel c (0-based) of interleaved values.
std::vector<float> OneChannel(const std::vector<float>& interleaved, int32_t channels, int32_t channel);

// Reads the chunks of a RIFF/WAVE file: others are skipped, odd sizes padded, the
// RIFF size is not trusted. Only the first maxFrames frames of the data are read.
// `out` is written only when the file is good.
WavReadStatus ReadWavFile(const std::string& path, int64_t maxFrames, WavFileContents& out);

}  // namespace zentor
