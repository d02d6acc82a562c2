// Writes small seed inputs for the fuzz targets with our own writers:
//   fuzz_make_seeds DIR
// fills DIR/avi_reader, DIR/mpeg_reader, DIR/project_reader and
// DIR/avi_writer (the folders must exist).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "avi/AVIWrite.h"
#include "job/SaveProjectCls.h"
#include "mpeg/MPEGTimeCorrect.h"

using namespace vantrel;

namespace {

using Bytes = std::vector<uint8_t>;

void Save(const std::string& path, const void* data, size_t size) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

AVISTREAMHEADER Header(FOURCC type, uint32_t scale, uint32_t rate, uint32_t sampleSize) {
  AVISTREAMHEADER h{};
  h.fccType = type;
  h.dwScale = scale;
  h.dwRate = rate;
  h.dwSampleSize = sampleSize;
  return h;
}

void WriteAvi(const std::string& path, TAVIIndexMode mode, int64_t riffLimit, int frames, bool audio, int streams) {
  TAVIFileWriter w(4096);
  w.IndexMode = mode;
  w.RiffLimit = riffLimit;
  w.Open(path, AVIF_HASINDEX);
  Bytes bih(40, 0);
  Put32(bih.data(), 40);
  Put32(bih.data() + 4, 32);
  Put32(bih.data() + 8, 24);
  std::memcpy(bih.data() + 16, "MJPG", 4);
  Bytes wfx = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
  w.AddStream(0, Header(ckVids, 1, 25, 0), 40, bih.data());
  if (audio) w.AddStream(1, Header(ckAuds, 1, 44100, 4), static_cast<uint32_t>(wfx.size()), wfx.data());
  for (int s = 2; s < streams; ++s) w.AddStream(s, Header(ckAuds, 1, 8000, 1), static_cast<uint32_t>(wfx.size()), wfx.data());
  for (int i = 0; i < frames; ++i) {
    Bytes v(static_cast<size_t>(40 + i % 5), static_cast<uint8_t>(i));
    w.WriteChunk(0, v.data(), i % 4 == 0, static_cast<uint32_t>(v.size()));
    if (audio) {
      Bytes a(64, static_cast<uint8_t>(0x80 + i));
      w.WriteChunk(1, a.data(), true, static_cast<uint32_t>(a.size()));
    }
    for (int s = 2; s < streams; ++s) {
      Bytes a(9, static_cast<uint8_t>(s));
      w.WriteChunk(s, a.data(), true, static_cast<uint32_t>(a.size()));
    }
  }
  w.Close();
}

void Append(Bytes& b, const uint8_t* p, size_t n) { b.insert(b.end(), p, p + n); }

Bytes SystemStream(int packs, bool withDts) {
  Bytes b;
  uint8_t h[16];
  for (int i = 0; i < packs; ++i) {
    // Pack header: SCR, mux_rate 2800 (50 bytes/s).
    const uint8_t pack[] = {0, 0, 1, 0xBA};
    Append(b, pack, 4);
    EncodeTimeStamp(h, 3600 * i, 0x2);
    const uint8_t rate[] = {0x80, 0x15, 0xE1};
    Append(b, h, 5);
    Append(b, rate, 3);
    if (i == 0) {
      const uint8_t sys[] = {0, 0, 1, 0xBB, 0, 9, 0x80, 0x01, 0x01, 0x04, 0xE1, 0xFF, 0xE0, 0xE0, 0x2E};
      Append(b, sys, sizeof sys);
    }
    Bytes payload(40 + i, static_cast<uint8_t>(i));
    // Video packet: start code, length, PTS.
    const size_t length = payload.size() + 5;
    const uint8_t start[] = {0, 0, 1, 0xE0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    Append(b, start, sizeof start);
    EncodeTimeStamp(h, 9000 + 3600 * i, 0x2);
    Append(b, h, 5);
    Append(b, payload.data(), payload.size());
    if (withDts) {
      // A packet with STD buffer, PTS and DTS and a stuffing byte.
      Bytes p = {0, 0, 1, 0xC0, 0, 0, 0xFF, 0x40, 0x20};
      uint8_t ts[5];
      EncodeTimeStamp(ts, 9000 + 3600 * i, 3);
      p.insert(p.end(), ts, ts + 5);
      EncodeTimeStamp(ts, 9000 + 3600 * i, 1);
      p.insert(p.end(), ts, ts + 5);
      p.insert(p.end(), 20, 0x5A);
      p[5] = static_cast<uint8_t>(p.size() - 6);
      Append(b, p.data(), p.size());
    }
    const uint8_t pad[] = {0, 0, 1, 0xBE, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF};
    Append(b, pad, sizeof pad);
  }
  const uint8_t end[] = {0, 0, 1, 0xB9};
  Append(b, end, sizeof end);
  return b;
}

// An input of the writer target: options, streams, then calls.
Bytes WriterInput(uint8_t mode, int streams, int calls) {
  Bytes b = {mode, 1, 0x40, 0x00, static_cast<uint8_t>(streams - 1)};
  for (int s = 0; s < streams; ++s) {
    b.push_back(static_cast<uint8_t>(s));
    AVISTREAMHEADER h = Header(s == 0 ? ckVids : ckAuds, 1, s == 0 ? 25 : 44100, s == 0 ? 0 : 4);
    Append(b, reinterpret_cast<const uint8_t*>(&h), sizeof h);
    b.push_back(static_cast<uint8_t>(s == 0 ? 0 : 1));  // type selector
    b.push_back(s == 0 ? 40 : 18);
    b.insert(b.end(), s == 0 ? 40 : 18, 0);
  }
  for (int i = 0; i < calls; ++i) {
    b.push_back(static_cast<uint8_t>((i % 4) | (i % 3 == 0 ? 0x20 : 0)));
    b.push_back(static_cast<uint8_t>(i % streams));
    b.push_back(static_cast<uint8_t>(30 + i * 13));
    b.push_back(static_cast<uint8_t>(i % 5));
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];

  WriteAvi(dir + "/avi_reader/legacy.avi", TAVIIndexMode::imLegacy, kRiffLimit, 12, true, 2);
  WriteAvi(dir + "/avi_reader/odml.avi", TAVIIndexMode::imOpenDML, kRiffLimit, 12, true, 2);
  WriteAvi(dir + "/avi_reader/both-parts.avi", TAVIIndexMode::imBoth, 6000, 40, true, 2);
  WriteAvi(dir + "/avi_reader/legacy-three.avi", TAVIIndexMode::imLegacy, kRiffLimit, 6, true, 3);
  WriteAvi(dir + "/avi_reader/video-only.avi", TAVIIndexMode::imLegacy, kRiffLimit, 5, false, 1);

  Bytes mpeg = SystemStream(6, false);
  Save(dir + "/mpeg_reader/plain.mpg", mpeg.data(), mpeg.size());
  mpeg = SystemStream(4, true);
  Save(dir + "/mpeg_reader/dts.mpg", mpeg.data(), mpeg.size());
  const uint8_t es[] = {0, 0, 1, 0xB3, 0x02, 0x00, 0x18, 0x13, 0xFF, 0xFF, 0xE0, 0x18, 0, 0, 1, 0xB8};
  Save(dir + "/mpeg_reader/elementary.m1v", es, sizeof es);

  const std::vector<std::vector<std::string>> lists = {
      {}, {"/video/a.avi"}, {"/v/one.avi", "/v/two's.avi", std::string("/v/\x01\t\xc3\xa9.avi")},
      {std::string(150, 'x') + "/\xe2\x82\xac" + std::string(70, 'y')}};
  int n = 0;
  for (const auto& l : lists) {
    std::string t = WriteProjectText(l);
    Save(dir + "/project_reader/p" + std::to_string(n++) + ".qmf", t.data(), t.size());
  }
  const std::string variants =
      "inherited Settings: TProjectSettings [3]\n  Name = 'S' + #233'x'\n  Tag = -5\n"
      "  Files.Strings = (\n    #8364#65'b'\n    'c''d')\nend\n";
  Save(dir + "/project_reader/variants.qmf", variants.data(), variants.size());

  for (uint8_t mode = 0; mode < 3; ++mode) {
    Bytes w = WriterInput(mode, 2 + mode % 2, 60);
    Save(dir + "/avi_writer/w" + std::to_string(mode) + ".bin", w.data(), w.size());
  }
  return 0;
}
