// Synthetic AVI files for tests.
#include "AviTestFiles.h"

#include <cstring>
#include <stdexcept>

#include "avi/AVIRead.h"

namespace vantrel::test {

AVISTREAMHEADER VideoHeader(uint32_t scale, uint32_t rate) {
  AVISTREAMHEADER h{};
  h.fccType = ckVids;
  h.fccHandler = FourCC("divx");
  h.dwScale = scale;
  h.dwRate = rate;
  h.dwQuality = 0xFFFFFFFF;
  return h;
}

AVISTREAMHEADER AudioHeader(uint32_t sampleSize, uint32_t rate) {
  AVISTREAMHEADER h{};
  h.fccType = ckAuds;
  h.dwScale = 1;
  h.dwRate = rate;
  h.dwSampleSize = sampleSize;
  h.dwQuality = 0xFFFFFFFF;
  return h;
}

static void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) { std::memcpy(v.data() + at, &x, 4); }
static void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) { std::memcpy(v.data() + at, &x, 2); }

std::vector<uint8_t> VideoFormat(int32_t width, int32_t height, const char* fourcc) {
  std::vector<uint8_t> f(40, 0);
  Put32(f, 0, 40);
  Put32(f, 4, static_cast<uint32_t>(width));
  Put32(f, 8, static_cast<uint32_t>(height));
  Put16(f, 12, 1);
  Put16(f, 14, 24);
  std::memcpy(f.data() + 16, fourcc, 4);
  return f;
}

std::vector<uint8_t> AudioFormat(uint16_t tag, uint32_t rate) {
  std::vector<uint8_t> f(18, 0);
  Put16(f, 0, tag);
  Put16(f, 2, 2);
  Put32(f, 4, rate);
  Put32(f, 8, rate * 4);
  Put16(f, 12, 4);
  Put16(f, 14, 16);
  return f;
}

std::vector<uint8_t> ChunkData(int seed, int stream, uint32_t index, uint32_t size) {
  std::vector<uint8_t> d(size);
  uint32_t x = static_cast<uint32_t>(seed) * 2654435761u ^ static_cast<uint32_t>(stream) * 40503u ^ index * 2246822519u;
  for (uint32_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    d[i] = static_cast<uint8_t>(x >> 24);
  }
  return d;
}

static uint32_t AudioChunkSize(const SynthAvi& s) { return s.audioRate * 4 / 25; }

void WriteSynthAvi(const std::string& path, const SynthAvi& s) {
  TAVIFileWriter w;
  w.IndexMode = s.mode;
  w.Open(path, AVIF_HASINDEX);
  auto vh = VideoHeader();
  auto vf = VideoFormat();
  auto ah = AudioHeader(4, s.audioRate);
  auto af = AudioFormat(1, s.audioRate);
  // Writer ids: 0 video, 1 first audio, 2 second audio; registration order
  // decides the order of the stream lists.
  if (s.audioFirst && s.audio) w.AddStream(1, ah, static_cast<uint32_t>(af.size()), af.data());
  w.AddStream(0, vh, static_cast<uint32_t>(vf.size()), vf.data());
  if (!s.audioFirst && s.audio) w.AddStream(1, ah, static_cast<uint32_t>(af.size()), af.data());
  if (s.secondAudio) w.AddStream(2, ah, static_cast<uint32_t>(af.size()), af.data());
  for (uint32_t i = 0; i < s.frames; ++i) {
    auto v = ChunkData(s.seed, 0, i, s.videoChunkBase + i % 7);
    w.WriteChunk(0, v.data(), i % 5 == 0, static_cast<uint32_t>(v.size()));
    if (s.audio) {
      auto a = ChunkData(s.seed, 1, i, AudioChunkSize(s));
      w.WriteChunk(1, a.data(), true, static_cast<uint32_t>(a.size()));
    }
    if (s.secondAudio) {
      auto a = ChunkData(s.seed, 2, i, AudioChunkSize(s));
      w.WriteChunk(2, a.data(), true, static_cast<uint32_t>(a.size()));
    }
  }
  w.Close();
}

std::vector<std::vector<uint8_t>> ReadStreamChunks(const std::string& path, char kind) {
  TAVIFileReader r;
  r.Open(path, false);
  TAVIStream* s = kind == 'v' ? r.VideoStream() : r.AudioStream();
  std::vector<std::vector<uint8_t>> out;
  if (!s) return out;
  for (uint32_t i = 0; i < s->IndexCount(); ++i) {
    TIndexEntry e;
    s->GetIndexEntry(i, e);
    std::vector<uint8_t> d(e.Size);
    if (!s->ReadChunk(i, d.data())) throw std::runtime_error("short chunk in " + path);
    out.push_back(std::move(d));
  }
  return out;
}

std::vector<std::vector<uint8_t>> ExpectedChunks(const SynthAvi& s, char kind) {
  std::vector<std::vector<uint8_t>> out;
  if (kind == 'a' && !s.audio) return out;
  for (uint32_t i = 0; i < s.frames; ++i)
    out.push_back(kind == 'v' ? ChunkData(s.seed, 0, i, s.videoChunkBase + i % 7)
                              : ChunkData(s.seed, 1, i, AudioChunkSize(s)));
  return out;
}

}  // namespace vantrel::test
