// Fuzz target: the AVI writer driven by arbitrary stream headers, formats
// and sequences of chunk calls, with small file parts and a small output
// buffer. What the writer accepts must read back through our reader with
// the same chunks, in the same order, with the same key flags.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "avi/AVIRead.h"
#include "avi/AVIWrite.h"
#include "base/Exceptions.h"

using namespace vantrel;

namespace {

// Enough calls to cross many file parts, few enough that no super index
// can fill up (one entry per part and stream at most).
constexpr int kMaxCalls = 1500;

struct Written {
  uint32_t size;
  uint32_t seed;
  bool key;
  bool inFirstPart;
};

struct Registered {
  int id;
  std::vector<Written> chunks;
};

void Fill(uint8_t* p, uint32_t size, uint32_t seed) {
  uint32_t x = seed * 2654435761u + 1;
  for (uint32_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    p[i] = static_cast<uint8_t>(x >> 24);
  }
}

constexpr FOURCC kTypes[] = {ckVids, ckAuds, ckIavs, FourCC("txts"), FourCC("mids")};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile file("writer.avi");
  fuzz::ByteSource in(data, size);

  const uint8_t flags = in.U8();
  const TAVIIndexMode mode = flags % 3 == 0 ? TAVIIndexMode::imLegacy
                             : flags % 3 == 1 ? TAVIIndexMode::imOpenDML
                                              : TAVIIndexMode::imBoth;
  const size_t bufferSize = size_t{4096} << (in.U8() % 4);
  TAVIFileWriter writer(bufferSize);
  writer.IndexMode = mode;
  writer.RiffLimit = 2048 + static_cast<int64_t>(in.U16()) * 16;

  const uint8_t countByte = in.U8();
  int streamCount = (countByte & 0x80) ? 1 + (countByte & 0x7F) : 1 + countByte % 6;
  // The legacy index names a stream's chunks by its number, which the writer
  // gives in decimal and the reader in hex: they agree for ten streams.
  if (mode == TAVIIndexMode::imLegacy && streamCount > 10) streamCount = 10;

  writer.Open(file.Path(), AVIF_HASINDEX);
  std::vector<Registered> streams;
  for (int i = 0; i < streamCount; ++i) {
    // Ids above 99 are refused, so are ids in use.
    const int id = (countByte & 0x80) ? i + (in.U8() % 8 == 0 ? 100 : 0) : in.U8() % 104;
    AVISTREAMHEADER h;
    in.Bytes(&h, sizeof h);
    const uint8_t typeByte = in.U8();
    if (typeByte < 5 * 40) h.fccType = kTypes[typeByte % 5];
    const uint32_t formatSize = in.U8();
    std::vector<uint8_t> format(formatSize);
    in.Bytes(format.data(), formatSize);
    if ((typeByte & 0x40) == 0 && formatSize >= 40) std::memcpy(format.data(), "\x28\0\0\0", 4);
    try {
      writer.AddStream(id, h, formatSize, format.data());
      streams.push_back({id, {}});
    } catch (const Exception&) {
      // A stream that is refused before its list is written leaves no trace;
      // one refused after (a video format too short) ends the file like a
      // failed join does.
      bool listWritten = id >= 0 && id <= TAVIFileWriter::kMaxStreamId &&
                         std::none_of(streams.begin(), streams.end(), [&](const Registered& r) { return r.id == id; });
      if (listWritten) {
        writer.Discard();
        file.Remove();
        return 0;
      }
    }
  }

  if (streams.empty()) {
    // Nothing to index: not a file our reader takes, and nothing to check.
    try {
      writer.Close();
    } catch (const Exception& e) {
      fuzz::Fail(std::string("closing fails: ") + e.what());
    }
    return 0;
  }

  std::vector<uint8_t> staging;
  uint32_t seed = 0;
  for (int call = 0; call < kMaxCalls && !in.Empty(); ++call) {
    const uint8_t op = in.U8();
    const uint8_t pick = in.U8();
    // One pick past the registered streams names an id nobody registered.
    const int id = pick % (streams.size() + 1) < streams.size() ? streams[pick % (streams.size() + 1)].id
                                                                : 100 + pick % 3 - (pick & 4 ? 101 : 0);
    Registered* target = nullptr;
    for (Registered& r : streams)
      if (r.id == id) target = &r;
    uint32_t chunkSize = in.U16();
    if (op & 0x40) chunkSize *= 8;  // past the output buffer and a file part
    if (op & 0x80) chunkSize %= 16;
    const bool key = (op & 0x20) != 0;
    ++seed;
    try {
      switch (op % 4) {
        case 0: {
          staging.resize(chunkSize);
          Fill(staging.data(), chunkSize, seed);
          writer.WriteChunk(id, staging.data(), key, chunkSize);
          break;
        }
        case 1: {
          uint8_t* dest = writer.BeginChunk(id, chunkSize);
          Fill(dest, chunkSize, seed);
          writer.EndChunk(key);
          break;
        }
        case 2: {
          uint8_t* dest = writer.BeginChunk(id, chunkSize);
          Fill(dest, chunkSize, seed);
          writer.CancelChunk();
          continue;  // nothing written
        }
        case 3: {
          // A chunk begun and then replaced by another one before its end.
          uint8_t* dest = writer.BeginChunk(id, chunkSize / 2 + 1);
          Fill(dest, chunkSize / 2 + 1, seed + 7);
          dest = writer.BeginChunk(id, chunkSize);
          Fill(dest, chunkSize, seed);
          writer.EndChunk(key);
          break;
        }
      }
    } catch (const Exception&) {
      if (target) fuzz::Fail("a chunk of a registered stream is refused");
      continue;
    }
    if (!target) fuzz::Fail("a chunk of an unregistered stream is accepted");
    target->chunks.push_back({chunkSize, seed, key, writer.FilePartCount() == 1});
  }
  try {
    writer.Close();
  } catch (const Exception& e) {
    fuzz::Fail(std::string("closing fails: ") + e.what());
  }

  TAVIFileReader reader;
  try {
    reader.Open(file.Path(), false);
  } catch (const Exception& e) {
    fuzz::Fail(std::string("our reader refuses the written file: ") + e.what());
  }
  if (reader.StreamCount() != static_cast<int>(streams.size())) fuzz::Fail("stream count differs");
  std::vector<uint8_t> expected, got;
  for (size_t i = 0; i < streams.size(); ++i) {
    TAVIStream& s = reader.Streams(static_cast<int>(i));
    // The legacy index covers the first file part only.
    std::vector<Written> want;
    for (const Written& w : streams[i].chunks)
      if (mode != TAVIIndexMode::imLegacy || w.inFirstPart) want.push_back(w);
    if (s.IndexCount() != want.size())
      fuzz::Fail("stream " + std::to_string(i) + ": " + std::to_string(s.IndexCount()) + " chunks read back, " +
                 std::to_string(want.size()) + " written");
    for (uint32_t k = 0; k < want.size(); ++k) {
      TIndexEntry e;
      s.GetIndexEntry(k, e);
      if (e.Size != want[k].size) fuzz::Fail("chunk size differs");
      if ((e.KeyFrame != 0) != want[k].key) fuzz::Fail("key flag differs");
      expected.resize(e.Size);
      got.resize(e.Size);
      Fill(expected.data(), e.Size, want[k].seed);
      if (!s.ReadChunk(k, got.data()) || got != expected) fuzz::Fail("chunk data differs");
    }
  }
  return 0;
}
