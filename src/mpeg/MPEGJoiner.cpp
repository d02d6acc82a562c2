// MPEG joiner.
#include "mpeg/MPEGJoiner.h"

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

#include "base/Names.h"
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

// The presentation times a file's packets carried, video's when it has
// video: how long a file cut short could be read for.
struct TStampSpan {
  int64_t first[2] = {INT64_MAX, INT64_MAX}, last[2] = {INT64_MIN, INT64_MIN};
  void Add(const TMPEGPacketInfo& p) {
    const bool video = p.StreamId >= kFirstVideoStream && p.StreamId <= kLastVideoStream;
    if (!video && (p.StreamId < kFirstAudioStream || p.StreamId > kLastVideoStream)) return;
    first[video] = std::min(first[video], p.PTS);
    last[video] = std::max(last[video], p.PTS);
  }
  double Seconds() const {
    const int k = first[1] <= last[1] ? 1 : 0;
    return first[k] <= last[k] ? static_cast<double>(last[k] - first[k]) / 90000.0 : 0.0;
  }
};

}  // namespace

uint8_t GetMPEGStartCode(const std::string& fileName) { return GetMPEGStartCode(OpenInput(fileName)); }

uint8_t GetMPEGStartCode(const TFile& f) {
  uint8_t b[4];
  if (f.ReadAt(b, 4, 0) < 4) return 0;
  if (b[0] != 0 || b[1] != 0 || b[2] != 1) return 0;
  if (b[3] == kPackStartCode) return 1;
  if (b[3] == kSequenceHeaderCode) return 2;
  return 0;
}

void TMPEGJoiner::Run() {
  TNoProgress none;
  Run(none);
}

void TMPEGJoiner::Run(IProgress& progress) {
  TProgressBinding binding(progress_, progress);
  JoinFiles();
}

void TMPEGJoiner::CalcTotalSize() {
  // By the names, without opening the files: each is opened once, to copy it.
  total_size_ = 0;
  for (const std::string& name : Files) {
    struct stat st;
    if (::stat(name.c_str(), &st) == 0) total_size_ += st.st_size;
  }
  if (total_size_ <= 0) total_size_ = 1;
}

void TMPEGJoiner::Report() {
  progress_->SetProgress(static_cast<double>(processed_ * 100 / total_size_));
}

void TMPEGJoiner::JoinFiles() {
  CheckSomethingToWrite();
  correction_.InitTimeCorrection(FrameRate);
  CalcTotalSize();
  processed_ = 0;
  cancelled_ = false;
  damaged_.clear();

  TOutputStream output;
  try {
    output.Create(OutputFileName);
  } catch (const EOSError&) {
    throw Exception("Cannot create file " + OutputFileName);
  }
  TJoinLoop loop(*progress_, Files);
  loop_ = &loop;
  loop.Run(
      OutputFileName,
      [&](size_t i) {
        TFile in = OpenInput(Files[i]);
        if (GetMPEGStartCode(in) == 1)
          CopySystemStream(i, std::move(in), output);
        else
          CopyRaw(i, in, output);
      },
      [&] { output.Close(); },
      // After a failed write the stream is cut at an arbitrary byte: remove it.
      [&] { return output.Failed(); });
  loop_ = nullptr;
  cancelled_ = loop.WasCancelled();
  try {
    output.Close();
  } catch (...) {
    if (output.Failed()) RaiseWithOutputRemoved(std::current_exception(), OutputFileName);
    throw;
  }
}

// A unit copied whole into the output; corrected, its stamps are shifted in
// place, every other byte (stuffing, buffer sizes) kept. Pictures and sound
// frames are counted on the bytes as they pass.
void TMPEGJoiner::CopyUnit(TMPEG1SystemReader& reader, TOutputStream& output) {
  uint8_t* dest = output.Reserve(reader.UnitSize);
  const uint32_t n = reader.ReadUnitBytes(dest);
  if (CorrectTimeStamps && n == reader.UnitSize) correction_.CorrectUnit(dest, reader);
  output.Commit(n);
  if (reader.UnitKind != ukPacket) return;
  const uint8_t id = reader.Packet.StreamId;
  // The payload ends the packet.
  const bool whole = n == reader.UnitSize && !reader.Packet.HeaderOverrun && reader.Packet.PayloadLength <= n;
  const uint8_t* payload = dest + n - (whole ? reader.Packet.PayloadLength : 0);
  const size_t size = whole ? reader.Packet.PayloadLength : 0;
  if (id >= kFirstVideoStream && id <= kLastVideoStream) {
    ++video_packets_;
    TPictureCounter& pictures = pictures_[id - kFirstVideoStream];
    const int64_t before = pictures.Count();
    pictures.Feed(payload, size);
    if (CorrectTimeStamps) correction_.NotePictures(id, pictures.Count() - before);
  } else if (id >= kFirstAudioStream && id < kFirstVideoStream) {
    ++audio_packets_;
    audioFrames_[id - kFirstAudioStream].Feed(payload, size);
  }
}

// A read that came short: the file shrank while it was joined, and what was
// copied of it stays, to be said. Anything else is an error naming the file.
void TMPEGJoiner::ThrowUnlessShrunk(size_t index, const TFile& kept, int64_t fileSize, const Exception& e) const {
  int64_t now = -1;
  try {
    now = kept.Size();
  } catch (const EOSError&) {
    // Gone: as good as shrunk.
  }
  if (now < fileSize) return;
  if (std::string(e.what()).find(Files[index]) != std::string::npos) throw;
  throw Exception(Files[index] + ": " + e.what());
}

void TMPEGJoiner::CopySystemStream(size_t index, TFile in, TOutputStream& output) {
  if (CorrectTimeStamps) correction_.StartNextFile(ScanFileStart(in.Duplicate(), Files[index]));
  // A handle kept on the file: what it holds when a read comes short.
  const TFile kept = in.Duplicate();
  TMPEG1SystemReader reader;
  reader.Open(std::move(in), Files[index]);
  // A file's last sound frame may be cut short: the next file's first
  // frame starts afresh.
  for (TAudioFrameCounter& c : audioFrames_) c.NewStream();
  const int64_t fileSize = reader.FileSize();
  // Bytes of the file passed so far: units, and the end codes and bytes
  // between them, so that progress reaches the file's end.
  int64_t passed = 0;
  // Without sound: the first video stream present in this file.
  uint8_t videoId = 0;
  // The file ends inside a unit: it was cut short, or it shrank meanwhile.
  bool cut = false;
  int64_t lastStart = -1;
  const int64_t picturesBefore = Pictures();
  TStampSpan span;
  try {
    while (reader.Next()) {
      lastStart = reader.UnitStart;
      const int64_t end = reader.UnitStart + reader.UnitSize;
      processed_ += std::min(end, fileSize) - passed;
      passed = std::min(end, fileSize);
      Report();
      if (loop_->Cancelled()) return;
      // A unit cut short by the end of the file is dropped whole: written
      // short, its length field would swallow the next file's first bytes.
      // Cut inside a packet, content was lost with it; a pack or system
      // header cut there carries none.
      if (end > fileSize) {
        cut = reader.UnitKind == ukPacket;
        break;
      }
      const bool packet = reader.UnitKind == ukPacket;
      if (packet && reader.Packet.HasPTS && !reader.Packet.HeaderOverrun) span.Add(reader.Packet);
      if (WithoutSound) {
        counted_ = false;
        const uint8_t id = reader.Packet.StreamId;
        if (packet && videoId == 0 && id >= kFirstVideoStream && id <= kLastVideoStream) videoId = id;
        if (packet && id == videoId && videoId != 0 && !reader.Packet.HeaderOverrun) {
          uint8_t* dest = output.Reserve(reader.Packet.PayloadLength);
          output.Commit(reader.ReadPayloadBytes(dest));
        }
      } else if (reader.UnitKind == ukSystemHeader && index > 0) {
        // Only the first file's system headers reach the output.
      } else {
        CopyUnit(reader, output);
      }
    }
    // The last packet's header itself was cut by the end of the file (its
    // stuffing, buffer size and stamps take at most 28 bytes after the
    // start code and length).
    if (!cut && reader.UnitStart != lastStart && reader.UnitKind == ukPacket && reader.UnitStart + 34 > fileSize)
      cut = true;
  } catch (const EOSError&) {
    throw;
  } catch (const Exception& e) {
    ThrowUnlessShrunk(index, kept, fileSize, e);
    cut = true;
  }
  if (cut) {
    // The pictures read, a frame each; a file of sound alone by its stamps.
    const int64_t pictures = Pictures() - picturesBefore;
    const double seconds = pictures > 0 && FrameRate > 0 ? static_cast<double>(pictures) / FrameRate : span.Seconds();
    damaged_.push_back(DamagedNote(index, Files[index], seconds, 0));
  }
  processed_ += fileSize - passed;
  Report();
}

int64_t TMPEGJoiner::Pictures() const {
  int64_t n = 0;
  for (const TPictureCounter& c : pictures_) n += c.Count();
  return n;
}

int64_t TMPEGJoiner::AudioFrames() const {
  int64_t n = 0;
  for (const TAudioFrameCounter& c : audioFrames_) n += c.Count();
  return n;
}

bool HasVideoPackets(const std::string& fileName) {
  TMPEG1SystemReader reader;
  reader.Open(OpenInput(fileName), fileName);
  while (reader.Next())
    if (reader.UnitKind == ukPacket && reader.Packet.StreamId >= kFirstVideoStream &&
        reader.Packet.StreamId <= kLastVideoStream)
      return true;
  return false;
}

void TMPEGJoiner::CheckSomethingToWrite() const {
  // Without sound only video is written: a set whose system streams hold no
  // video at all (and no video elementary stream) would give an empty file.
  // A plan made from the files' headers has seen their video already.
  if (!WithoutSound || VideoKnown) return;
  for (const std::string& name : Files)
    if (GetMPEGStartCode(name) != 1 || HasVideoPackets(name)) return;
  throw Exception("There is no video stream in the files; joined without sound, the output would be empty");
}

void TMPEGJoiner::CopyRaw(size_t, const TFile& in, TOutputStream& output) {
  counted_ = false;
  int64_t pos = 0;
  for (;;) {
    uint8_t* dest = output.Reserve(kRawBlock);
    size_t n = in.ReadAt(dest, kRawBlock, pos);
    output.Commit(n);
    pos += static_cast<int64_t>(n);
    processed_ += static_cast<int64_t>(n);
    Report();
    if (loop_->Cancelled()) return;
    if (n < kRawBlock) return;
  }
}

}  // namespace vantrel
