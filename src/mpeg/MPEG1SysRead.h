// Reader of MPEG-1 system streams, one unit (pack header, system header or
// packet) at a time. Every search starts at the end of the previous unit, so
// start codes inside payloads are never seen.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/PosixFile.h"

namespace vantrel {

class TFileReadBuffer;

enum TMPEGUnitKind : uint8_t { ukPack = 0, ukSystemHeader = 1, ukPacket = 2 };

inline constexpr uint8_t kPackStartCode = 0xBA;
inline constexpr uint8_t kSystemHeaderCode = 0xBB;
inline constexpr uint8_t kEndCode = 0xB9;
inline constexpr uint8_t kSequenceHeaderCode = 0xB3;  // of a video stream
inline constexpr uint8_t kPaddingStream = 0xBE;
inline constexpr uint8_t kPrivateStream2 = 0xBF;
inline constexpr uint8_t kFirstAudioStream = 0xC0;
inline constexpr uint8_t kFirstVideoStream = 0xE0;
inline constexpr uint8_t kLastVideoStream = 0xEF;
// SCR, PTS and DTS are 33-bit counts of a 90 kHz clock.
inline constexpr int64_t kTimeStampModulo = int64_t{1} << 33;

struct TMPEGPacketInfo {
  uint8_t StreamId = 0;
  int64_t DataOffset = 0;       // file position of the first payload byte
  uint16_t PayloadLength = 0;
  bool HasPTS = false;
  int64_t PTS = 0;
  bool HasDTS = false;
  int64_t DTS = 0;
  // File positions of the 5-byte PTS and DTS fields, where present.
  int64_t PTSPos = 0;
  int64_t DTSPos = 0;
  bool HasStdBuffer = false;
  // The stuffing and header fields run past the packet's declared length:
  // there is no payload to speak of, and the packet can only be copied whole.
  bool HeaderOverrun = false;
};

class TMPEG1SystemReader {
 public:
  static constexpr uint32_t kReadWindow = 256 * 1024;

  TMPEG1SystemReader();
  ~TMPEG1SystemReader();
  TMPEG1SystemReader(const TMPEG1SystemReader&) = delete;
  TMPEG1SystemReader& operator=(const TMPEG1SystemReader&) = delete;

  void Open(const std::string& fileName);
  // The same on a file already open, which the reader owns from here on.
  void Open(TFile file, const std::string& fileName);
  void Close();

  // Finds and parses the next unit; false at the end of the data or when a
  // header is cut short by the end of the file.
  bool Next();
  // Reads the current unit (UnitSize bytes) into buffer; true when complete.
  bool ReadUnit(void* buffer);
  // Same, returning how many bytes could be read (fewer at the end of a
  // truncated file).
  uint32_t ReadUnitBytes(void* buffer);
  // Reads the current packet's payload; true when complete.
  bool ReadPayload(void* buffer);
  uint32_t ReadPayloadBytes(void* buffer);

  TMPEGUnitKind UnitKind = ukPack;
  uint32_t UnitSize = 0;
  int64_t SCR = 0;
  uint32_t MuxRate = 0;
  TMPEGPacketInfo Packet;
  int64_t UnitStart = 0;

  int64_t FileSize() const;

 private:
  bool ReadBytes(uint8_t* dest, uint32_t count, int64_t pos);
  bool ReadTimeStamp(int64_t pos, int64_t& value);
  bool ParsePack(int64_t pos);
  bool ParseSystemHeader(int64_t pos);
  bool ParsePacket(uint8_t streamId, int64_t pos);

  TFile file_;
  std::unique_ptr<TFileReadBuffer> buffer_;
};

// Decodes the 5-byte time-stamp form (prefix and marker bits not checked).
int64_t DecodeTimeStamp(const uint8_t* b);
// Encodes a time stamp (low 33 bits) with the given prefix nibble.
void EncodeTimeStamp(uint8_t* b, int64_t value, uint8_t prefix);

}  // namespace vantrel
