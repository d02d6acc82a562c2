// Fuzz target: the MPEG-1 system stream reader walks every unit of an
// arbitrary file and reads each unit and payload; the probe reads its
// headers; then the joiner copies the file twice, with or without time-stamp correction and sound.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "base/Exceptions.h"
#include "probe/FileInfo.h"
#include "base/PosixFile.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGJoiner.h"

using namespace vantrel;

namespace {

void WalkUnits(const std::string& path, size_t size) {
  TMPEG1SystemReader reader;
  reader.Open(path);
  if (reader.FileSize() != static_cast<int64_t>(size)) fuzz::Fail("file size differs from the input's");
  std::vector<uint8_t> unit(0xFFFF + 6);
  std::vector<uint8_t> payload(0xFFFF);
  int64_t last = -1;
  while (reader.Next()) {
    if (reader.UnitStart <= last) fuzz::Fail("the walk does not advance");
    if (reader.UnitStart < 0 || reader.UnitStart + 4 > static_cast<int64_t>(size)) fuzz::Fail("unit outside the file");
    last = reader.UnitStart;
    if (reader.UnitSize > unit.size()) fuzz::Fail("unit larger than a 16-bit length allows");
    uint32_t n = reader.ReadUnitBytes(unit.data());
    if (n > reader.UnitSize) fuzz::Fail("read more than the unit");
    const int64_t unitEnd = reader.UnitStart + reader.UnitSize;
    if (unitEnd <= static_cast<int64_t>(size) ? n != reader.UnitSize
                                              : reader.UnitStart + n != static_cast<int64_t>(size))
      fuzz::Fail("unit read does not stop exactly at the end of the unit or file");
    if (reader.UnitKind == ukPacket) {
      const TMPEGPacketInfo& p = reader.Packet;
      // Private stream 2 has no header fields and no payload of its own.
      if (p.StreamId == kPrivateStream2 ? p.PayloadLength != 0
                                        : !p.HeaderOverrun && (p.DataOffset < reader.UnitStart ||
                                                               p.DataOffset + p.PayloadLength > unitEnd))
        fuzz::Fail("payload outside its packet");
      if (p.HeaderOverrun && p.PayloadLength != 0 && p.StreamId != kPrivateStream2)
        fuzz::Fail("overrun packet with a payload");
      uint32_t got = reader.ReadPayloadBytes(payload.data());
      if (got > p.PayloadLength) fuzz::Fail("read more than the payload");
      if (reader.ReadPayload(payload.data()) != (got == p.PayloadLength)) fuzz::Fail("ReadPayload disagrees");
    }
    if (reader.ReadUnit(unit.data()) != (n == reader.UnitSize)) fuzz::Fail("ReadUnit disagrees");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile file("reader.mpg");
  static fuzz::ScratchFile output("joined.mpg");
  file.Write(data, size);
  WalkUnits(file.Path(), size);
  TVideoFileInfo info;
  NativeProbe(file.Path(), info);

  // The last byte picks the join's options, so every input tries one of them.
  const uint8_t options = size ? data[size - 1] : 0;
  TMPEGJoiner joiner;
  joiner.Files = {file.Path(), file.Path()};
  joiner.OutputFileName = output.Path();
  joiner.CorrectTimeStamps = (options & 1) != 0;
  joiner.WithoutSound = (options & 2) != 0;
  joiner.FrameRate = (options & 4) ? 29.97 : 25;
  try {
    joiner.Run();
  } catch (const Exception&) {
    return 0;
  }
  // Nothing in a join makes a file larger: headers are rewritten no longer
  // than they were, payloads and units are copied as far as they exist.
  int64_t written = TFile::OpenRead(output.Path()).Size();
  if (written > 2 * static_cast<int64_t>(size)) fuzz::Fail("the join writes more than its inputs hold");
  return 0;
}
