// Hand-built MPEG-1 system stream units for tests.
#pragma once

#include <cstdint>
#include <vector>

#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGTimeCorrect.h"

namespace vantrel::test {

using Bytes = std::vector<uint8_t>;

// A pack header: start code, SCR ('0010' and markers), mux_rate in 50 bytes/s.
inline Bytes Pack(int64_t scr, uint32_t muxRate = 2800) {
  Bytes b = {0, 0, 1, 0xBA, 0, 0, 0, 0, 0, 0, 0, 0};
  EncodeTimeStamp(b.data() + 4, scr, 0x2);
  b[9] = static_cast<uint8_t>(((muxRate >> 15) & 0x7F) | 0x80);
  b[10] = static_cast<uint8_t>((muxRate >> 7) & 0xFF);
  b[11] = static_cast<uint8_t>(((muxRate << 1) & 0xFF) | 1);
  return b;
}

inline Bytes SystemHeader(uint16_t length = 6, uint8_t fill = 0x80) {
  Bytes b = {0, 0, 1, 0xBB, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  b.insert(b.end(), length, fill);
  return b;
}

// A packet with the given header fields (after the length) and payload.
inline Bytes Packet(uint8_t id, const Bytes& header, const Bytes& payload) {
  size_t length = header.size() + payload.size();
  Bytes b = {0, 0, 1, id, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  b.insert(b.end(), header.begin(), header.end());
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

inline Bytes Stamp(int64_t value, uint8_t prefix) {
  Bytes b(5);
  EncodeTimeStamp(b.data(), value, prefix);
  return b;
}

inline Bytes PtsHeader(int64_t pts) { return Stamp(pts, 2); }

inline Bytes PtsDtsHeader(int64_t pts, int64_t dts) {
  Bytes b = Stamp(pts, 3);
  Bytes d = Stamp(dts, 1);
  b.insert(b.end(), d.begin(), d.end());
  return b;
}

inline Bytes Payload(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

inline const Bytes kEndCodeBytes = {0, 0, 1, 0xB9};

}  // namespace vantrel::test
