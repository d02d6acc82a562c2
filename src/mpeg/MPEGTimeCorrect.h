// Shifts SCRs and PTSs while MPEG-1 system streams are written one after
// another, so that every file continues where the previous one ended. The
// state is module-wide: one join runs at a time.
#pragma once

#include <cstdint>

#include "mpeg/MPEG1SysRead.h"

namespace vantrel {

class TOutputStream;

struct TTimeCorrectionState {
  int64_t LastVideoPTS = 0;
  int64_t LastSCR = 0;
  int64_t PTSOffset = 0;
  int64_t SCROffset = 0;
  bool FirstPTSInFile = false;
  bool FirstSCRInFile = false;
  double FrameDuration = 0;  // seconds; 0 while the frame rate is unknown
};

// The module's state, for inspection.
const TTimeCorrectionState& TimeCorrectionState();

// Starts a join. A frame rate of 0 (no video) leaves the frame duration 0;
// correcting time stamps needs a frame rate, which the caller checks.
void InitTimeCorrection(double frameRate);
void StartNextFile();
void WriteCorrectedPack(uint32_t muxRate, TOutputStream& stream, int64_t scr);
void WriteCorrectedPacket(const TMPEGPacketInfo& info, const void* payload, uint16_t length, TOutputStream& stream);

// The written forms of a pack header (12 bytes) and of a packet header
// (returns its length: 5 + 6 with a PTS, 1 + 6 without).
void BuildPackHeader(uint8_t* out, int64_t scr, uint32_t muxRate);
uint32_t BuildPacketHeader(uint8_t* out, uint8_t streamId, bool hasPTS, int64_t pts, uint16_t payloadLength);

}  // namespace vantrel
