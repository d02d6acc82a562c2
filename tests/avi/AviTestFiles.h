// Stream headers, formats and whole synthetic AVI files for the AVI tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avi/AVIFormat.h"
#include "avi/AVIWrite.h"

namespace vantrel::test {

AVISTREAMHEADER VideoHeader(uint32_t scale = 1, uint32_t rate = 25);
AVISTREAMHEADER AudioHeader(uint32_t sampleSize = 4, uint32_t rate = 44100);
std::vector<uint8_t> VideoFormat(int32_t width = 320, int32_t height = 240, const char* fourcc = "DIVX");
std::vector<uint8_t> AudioFormat(uint16_t tag = 1, uint32_t rate = 44100);  // 18-byte WAVEFORMATEX

// Deterministic chunk contents: the same (seed, stream, index) always gives
// the same bytes, different ones differ.
std::vector<uint8_t> ChunkData(int seed, int stream, uint32_t index, uint32_t size);

struct SynthAvi {
  int seed = 1;
  uint32_t frames = 10;
  bool audio = true;
  bool audioFirst = false;   // audio stream listed before video
  bool secondAudio = false;  // another audio stream after the first
  uint32_t audioRate = 44100;
  TAVIIndexMode mode = TAVIIndexMode::imLegacy;
  uint32_t videoChunkBase = 300;  // video chunk i has videoChunkBase + i % 7 bytes
};

// Writes the file with our writer: per frame one video chunk (key frame every
// 5th) and, with audio, one 40 ms audio chunk per stream.
void WriteSynthAvi(const std::string& path, const SynthAvi& s);

// Chunk payloads of a stream kind ('v': first video stream, 'a': first
// audio stream) read back through our reader, in index order.
std::vector<std::vector<uint8_t>> ReadStreamChunks(const std::string& path, char kind);
// The payloads WriteSynthAvi put into that stream.
std::vector<std::vector<uint8_t>> ExpectedChunks(const SynthAvi& s, char kind);

}  // namespace vantrel::test
