// MPEG-1 system stream reader.
#include "mpeg/MPEG1SysRead.h"

#include "base/FileBufs.h"

namespace vantrel {

int64_t DecodeTimeStamp(const uint8_t* b) {
  return (static_cast<int64_t>((b[0] & 0x0F) >> 1) << 30) |
         (static_cast<int64_t>((b[1] << 8 | b[2]) >> 1) << 15) | static_cast<int64_t>((b[3] << 8 | b[4]) >> 1);
}

void EncodeTimeStamp(uint8_t* b, int64_t value, uint8_t prefix) {
  uint64_t v = static_cast<uint64_t>(value) & (static_cast<uint64_t>(kTimeStampModulo) - 1);
  b[0] = static_cast<uint8_t>(((v >> 30) & 7) << 1 | (prefix << 4) | 1);
  b[1] = static_cast<uint8_t>((v >> 22) & 0xFF);
  b[2] = static_cast<uint8_t>(((v >> 14) & 0xFF) | 1);
  b[3] = static_cast<uint8_t>((v >> 7) & 0xFF);
  b[4] = static_cast<uint8_t>(((v << 1) & 0xFF) | 1);
}

TMPEG1SystemReader::TMPEG1SystemReader() = default;
TMPEG1SystemReader::~TMPEG1SystemReader() { Close(); }

void TMPEG1SystemReader::Open(const std::string& fileName) { Open(TFile::OpenRead(fileName), fileName); }

void TMPEG1SystemReader::Open(TFile file, const std::string& fileName) {
  Close();
  UnitStart = 0;
  UnitSize = 0;
  file_ = std::move(file);
  // Units are small and follow one another: a large window turns a file of
  // them into few reads, and the copy then costs no more than the disk.
  buffer_ = std::make_unique<TFileReadBuffer>(file_, kReadWindow, fileName);
}

void TMPEG1SystemReader::Close() {
  buffer_.reset();
  file_.Release();
}

int64_t TMPEG1SystemReader::FileSize() const { return buffer_ ? buffer_->FileSize() : 0; }

bool TMPEG1SystemReader::ReadBytes(uint8_t* dest, uint32_t count, int64_t pos) {
  return buffer_->Read(dest, count, pos) == static_cast<int32_t>(count);
}

bool TMPEG1SystemReader::ReadTimeStamp(int64_t pos, int64_t& value) {
  uint8_t b[5];
  if (!ReadBytes(b, 5, pos)) return false;
  value = DecodeTimeStamp(b);
  return true;
}

bool TMPEG1SystemReader::Next() {
  if (!buffer_) return false;
  int64_t pos = UnitStart + UnitSize;
  const int64_t size = buffer_->FileSize();
  for (;;) {
    // Look for 0x00 0x00 0x01: any run of two or more zeros ended by 0x01.
    int zeros = 0;
    uint8_t b;
    for (;;) {
      if (pos >= size || !ReadBytes(&b, 1, pos)) return false;
      ++pos;
      if (b == 0) {
        ++zeros;
      } else if (b == 1 && zeros >= 2) {
        break;
      } else {
        zeros = 0;
      }
    }
    uint8_t code;
    if (!ReadBytes(&code, 1, pos)) return false;
    if (code < kPackStartCode) continue;  // search again from the code byte itself
    ++pos;
    UnitStart = pos - 4;
    switch (code) {
      case kPackStartCode:
        UnitKind = ukPack;
        return ParsePack(pos);
      case kSystemHeaderCode:
        UnitKind = ukSystemHeader;
        return ParseSystemHeader(pos);
      default:
        UnitKind = ukPacket;
        return ParsePacket(code, pos);
    }
  }
}

bool TMPEG1SystemReader::ParsePack(int64_t pos) {
  int64_t scr;
  if (!ReadTimeStamp(pos, scr)) return false;
  uint8_t m[3];
  if (!ReadBytes(m, 3, pos + 5)) return false;
  SCR = scr;
  MuxRate = ((static_cast<uint32_t>(m[0] & 0x7F) << 16) | (static_cast<uint32_t>(m[1]) << 8) | m[2]) >> 1;
  UnitSize = 12;
  return true;
}

bool TMPEG1SystemReader::ParseSystemHeader(int64_t pos) {
  uint8_t l[2];
  if (!ReadBytes(l, 2, pos)) return false;
  UnitSize = (static_cast<uint32_t>(l[0]) << 8 | l[1]) + 6;
  return true;
}

bool TMPEG1SystemReader::ParsePacket(uint8_t streamId, int64_t pos) {
  Packet = TMPEGPacketInfo();
  Packet.StreamId = streamId;
  uint8_t l[2];
  if (!ReadBytes(l, 2, pos)) return false;
  UnitSize = (static_cast<uint32_t>(l[0]) << 8 | l[1]) + 6;
  if (streamId == kPrivateStream2) return true;
  pos += 2;
  const int64_t end = UnitStart + UnitSize;
  uint8_t b;
  // Stuffing bytes, within the packet.
  for (;;) {
    if (pos >= end) {
      Packet.HeaderOverrun = true;
      return true;
    }
    if (!ReadBytes(&b, 1, pos)) return false;
    if ((b & 0x80) == 0) break;
    ++pos;
  }
  if ((b & 0xC0) == 0x40) {
    Packet.HasStdBuffer = true;
    pos += 2;
    if (!ReadBytes(&b, 1, pos)) return false;
  }
  switch (b >> 4) {
    case 2:
      if (!ReadTimeStamp(pos, Packet.PTS)) return false;
      Packet.HasPTS = true;
      Packet.PTSPos = pos;
      pos += 5;
      break;
    case 3:
      if (!ReadTimeStamp(pos, Packet.PTS) || !ReadTimeStamp(pos + 5, Packet.DTS)) return false;
      Packet.HasPTS = true;
      Packet.HasDTS = true;
      Packet.PTSPos = pos;
      Packet.DTSPos = pos + 5;
      pos += 10;
      break;
    default:
      pos += 1;
      break;
  }
  Packet.DataOffset = pos;
  if (pos > end) {
    // Header fields past the declared end: no payload rather than a length
    // wrapped around 16 bits.
    Packet.HeaderOverrun = true;
    Packet.PayloadLength = 0;
  } else {
    Packet.PayloadLength = static_cast<uint16_t>(end - pos);
  }
  return true;
}

uint32_t TMPEG1SystemReader::ReadUnitBytes(void* buffer) {
  if (!buffer_ || UnitSize == 0) return 0;
  int32_t n = buffer_->Read(buffer, UnitSize, UnitStart);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

bool TMPEG1SystemReader::ReadUnit(void* buffer) { return ReadUnitBytes(buffer) == UnitSize; }

uint32_t TMPEG1SystemReader::ReadPayloadBytes(void* buffer) {
  if (!buffer_ || Packet.PayloadLength == 0) return 0;
  int32_t n = buffer_->Read(buffer, Packet.PayloadLength, Packet.DataOffset);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

bool TMPEG1SystemReader::ReadPayload(void* buffer) {
  return ReadPayloadBytes(buffer) == Packet.PayloadLength;
}

}  // namespace vantrel
