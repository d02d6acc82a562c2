// MPEG joiner.
#include "mpeg/MPEGJoiner.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/Exceptions.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGTimeCorrect.h"

namespace vantrel {
namespace {

TFile OpenInput(const std::string& fileName) {
  try {
    return TFile::OpenRead(fileName);
  } catch (const EOSError&) {
    throw Exception("Cannot open file " + fileName);
  }
}

constexpr size_t kRawBlock = 65536;

}  // namespace

uint8_t GetMPEGStartCode(const std::string& fileName) {
  TFile f = OpenInput(fileName);
  uint8_t b[4];
  if (f.ReadAt(b, 4, 0) < 4) return 0;
  if (b[0] != 0 || b[1] != 0 || b[2] != 1) return 0;
  if (b[3] == kPackStartCode) return 1;
  if (b[3] == kSequenceHeaderCode) return 2;
  return 0;
}

void TMPEGJoiner::Run() {
  std::unique_ptr<IProgress> progress = ShowJoinProgress(kFileBeingJoinedText);
  Run(*progress);
}

void TMPEGJoiner::Run(IProgress& progress) {
  progress_ = &progress;
  struct Release {
    IProgress*& p;
    ~Release() { p = nullptr; }
  } release{progress_};
  JoinFiles();
}

void TMPEGJoiner::CalcTotalSize() {
  total_size_ = 0;
  for (const std::string& name : Files) {
    try {
      total_size_ += TFile::OpenRead(name).Size();
    } catch (const EOSError&) {
      // An unreadable file counts nothing here; copying it reports it.
    }
  }
  if (total_size_ <= 0) total_size_ = 1;
}

void TMPEGJoiner::Report() {
  progress_->SetProgress(static_cast<double>(processed_ * 100 / total_size_));
}

void TMPEGJoiner::JoinFiles() {
  if (CorrectTimeStamps && !(FrameRate > 0))
    throw Exception("Unable to correct time stamps: the first file has no video frame rate");
  InitTimeCorrection(FrameRate);
  CalcTotalSize();
  processed_ = 0;
  cancelled_ = false;

  TOutputStream output;
  try {
    output.Create(OutputFileName);
  } catch (const EOSError&) {
    throw Exception("Cannot create file " + OutputFileName);
  }
  try {
    for (size_t i = 0; i < Files.size(); ++i) {
      if (progress_->Cancelled()) {
        cancelled_ = true;
        break;
      }
      if (GetMPEGStartCode(Files[i]) == 1)
        CopySystemStream(i, output);
      else
        CopyRaw(i, output);
      if (cancelled_) break;
    }
  } catch (...) {
    try {
      output.Close();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  output.Close();
}

void TMPEGJoiner::CopySystemStream(size_t index, TOutputStream& output) {
  StartNextFile();
  TMPEG1SystemReader reader;
  reader.Open(Files[index]);
  std::vector<uint8_t> buffer;
  // Copies the current unit into the output as read; a unit cut short by the
  // end of the file gives only the bytes that exist.
  auto copyUnit = [&] {
    uint8_t* dest = output.Reserve(reader.UnitSize);
    output.Commit(reader.ReadUnitBytes(dest));
  };
  while (reader.Next()) {
    processed_ += reader.UnitSize;
    Report();
    if (progress_->Cancelled()) {
      cancelled_ = true;
      return;
    }
    const bool packet = reader.UnitKind == ukPacket;
    if (WithoutSound) {
      if (packet && reader.Packet.StreamId == kFirstVideoStream && !reader.Packet.HeaderOverrun) {
        uint8_t* dest = output.Reserve(reader.Packet.PayloadLength);
        output.Commit(reader.ReadPayloadBytes(dest));
      }
    } else if (reader.UnitKind == ukSystemHeader && index > 0) {
      // Only the first file's system headers reach the output.
    } else if (!CorrectTimeStamps || reader.UnitKind == ukSystemHeader) {
      copyUnit();
    } else if (reader.UnitKind == ukPack) {
      WriteCorrectedPack(reader.MuxRate, output, reader.SCR);
    } else if (reader.Packet.StreamId == kPrivateStream2 || reader.Packet.HeaderOverrun) {
      // No header fields to correct: carried verbatim.
      copyUnit();
    } else {
      if (buffer.size() < reader.Packet.PayloadLength) buffer.resize(reader.Packet.PayloadLength);
      uint32_t got = reader.ReadPayloadBytes(buffer.data());
      WriteCorrectedPacket(reader.Packet, buffer.data(), static_cast<uint16_t>(got), output);
    }
  }
}

void TMPEGJoiner::CopyRaw(size_t index, TOutputStream& output) {
  TFile in = OpenInput(Files[index]);
  int64_t pos = 0;
  for (;;) {
    uint8_t* dest = output.Reserve(kRawBlock);
    size_t n = in.ReadAt(dest, kRawBlock, pos);
    output.Commit(n);
    pos += static_cast<int64_t>(n);
    processed_ += static_cast<int64_t>(n);
    Report();
    if (progress_->Cancelled()) {
      cancelled_ = true;
      return;
    }
    if (n < kRawBlock) return;
  }
}

}  // namespace vantrel
