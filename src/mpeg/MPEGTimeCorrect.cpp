// Time-stamp correction for joined MPEG-1 system streams.
#include "mpeg/MPEGTimeCorrect.h"

#include <cmath>

#include "base/PosixFile.h"

namespace vantrel {
namespace {

TTimeCorrectionState g_state;

}  // namespace

const TTimeCorrectionState& TimeCorrectionState() { return g_state; }

void InitTimeCorrection(double frameRate) {
  g_state.FrameDuration = frameRate > 0 ? 1.0 / frameRate : 0;
  g_state.LastVideoPTS = 0;
  g_state.LastSCR = 0;
  g_state.PTSOffset = 0;
  g_state.SCROffset = 0;
}

void StartNextFile() {
  // Each offset holds the target of the file's first stamp; the first write
  // turns it into a difference.
  if (g_state.LastVideoPTS != 0)
    g_state.PTSOffset = g_state.LastVideoPTS + static_cast<int64_t>(std::nearbyint(g_state.FrameDuration * 90000));
  g_state.SCROffset = g_state.LastSCR;
  g_state.FirstPTSInFile = true;
  g_state.FirstSCRInFile = true;
}

void BuildPackHeader(uint8_t* b, int64_t scr, uint32_t muxRate) {
  b[0] = 0;
  b[1] = 0;
  b[2] = 1;
  b[3] = kPackStartCode;
  EncodeTimeStamp(b + 4, scr, 0x2);
  b[9] = static_cast<uint8_t>(((muxRate >> 15) & 0x7F) | 0x80);
  b[10] = static_cast<uint8_t>((muxRate >> 7) & 0xFF);
  b[11] = static_cast<uint8_t>(((muxRate << 1) & 0xFF) | 1);
}

uint32_t BuildPacketHeader(uint8_t* b, uint8_t streamId, bool hasPTS, int64_t pts, uint16_t payloadLength) {
  b[0] = 0;
  b[1] = 0;
  b[2] = 1;
  b[3] = streamId;
  uint32_t length = payloadLength + (hasPTS ? 5u : 1u);
  b[4] = static_cast<uint8_t>(length >> 8);
  b[5] = static_cast<uint8_t>(length & 0xFF);
  if (hasPTS) {
    EncodeTimeStamp(b + 6, pts, 0x2);
    return 11;
  }
  b[6] = 0x0F;
  return 7;
}

void WriteCorrectedPack(uint32_t muxRate, TOutputStream& stream, int64_t scr) {
  if (g_state.FirstSCRInFile && g_state.SCROffset != 0) g_state.SCROffset -= scr;
  g_state.FirstSCRInFile = false;
  uint8_t h[12];
  BuildPackHeader(h, scr + g_state.SCROffset, muxRate);
  stream.Write(h, sizeof h);
  g_state.LastSCR = scr + g_state.SCROffset;
}

void WriteCorrectedPacket(const TMPEGPacketInfo& info, const void* payload, uint16_t length, TOutputStream& stream) {
  TMPEGPacketInfo p = info;
  if (p.HasPTS) {
    if (g_state.FirstPTSInFile && g_state.PTSOffset != 0) g_state.PTSOffset -= p.PTS;
    g_state.FirstPTSInFile = false;
    p.PTS += g_state.PTSOffset;
    if (p.StreamId == kFirstVideoStream) g_state.LastVideoPTS = p.PTS;
  }
  // A payload near 64 KiB cannot take a 5-byte PTS within the 16-bit packet
  // length; such a packet keeps no time stamp rather than a wrapped length.
  bool withPTS = p.HasPTS && length <= 0xFFFF - 5;
  uint8_t h[11];
  uint32_t n = BuildPacketHeader(h, p.StreamId, withPTS, p.PTS, length);
  stream.Write(h, n);
  stream.Write(payload, length);
}

}  // namespace vantrel
