// Time-stamp correction for joined MPEG-1 system streams.
#include "mpeg/MPEGTimeCorrect.h"

#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

constexpr int64_t kClock = 90000;
// Spacing of files without video: longer than any MPEG audio frame.
constexpr int64_t kSoundOnlyTicks = kClock / 25;
constexpr int64_t kScanClock = kClock;  // the opening second
constexpr int64_t kScanBytes = int64_t{8} << 20;

// 90 kHz ticks to send bytes at a mux rate in 50 bytes/s, rounded up.
int64_t TransmitTicks(int64_t bytes, uint32_t muxRate) {
  if (muxRate == 0) return 0;
  const int64_t perSecond = static_cast<int64_t>(muxRate) * 50;
  return (bytes * kClock + perSecond - 1) / perSecond;
}

}  // namespace

TFileStart ScanFileStart(const std::string& fileName) { return ScanFileStart(TFile::OpenRead(fileName), fileName); }

TFileStart ScanFileStart(TFile file, const std::string& fileName) {
  TFileStart s;
  TMPEG1SystemReader r;
  r.Open(std::move(file), fileName);
  while (r.Next() && r.UnitStart < kScanBytes) {
    if (r.UnitKind == ukPack) {
      if (!s.HasSCR) {
        s.HasSCR = true;
        s.FirstSCR = r.SCR;
      } else if (r.SCR - s.FirstSCR > kScanClock) {
        break;
      }
    } else if (r.UnitKind == ukPacket && r.Packet.HasPTS && !r.Packet.HeaderOverrun) {
      s.LowestPTS = s.HasPTS ? std::min(s.LowestPTS, r.Packet.PTS) : r.Packet.PTS;
      s.HasPTS = true;
      if (r.Packet.StreamId >= kFirstVideoStream && r.Packet.StreamId <= kLastVideoStream) {
        const int64_t decode = r.Packet.HasDTS ? r.Packet.DTS : r.Packet.PTS;
        s.LowestVideoDecode = s.HasVideo ? std::min(s.LowestVideoDecode, decode) : decode;
        s.HasVideo = true;
      }
    }
  }
  return s;
}

void TTimeCorrection::InitTimeCorrection(double frameRate) {
  state_ = TTimeCorrectionState();
  state_.FrameTicks =
      frameRate > 0 && std::isfinite(frameRate) ? static_cast<int64_t>(std::nearbyint(kClock / frameRate)) : kSoundOnlyTicks;
}

namespace {

// The decoding time after which the next picture of a video stream comes.
int64_t DecodeEnd(const TStreamStamps& s, int64_t frameTicks) {
  const int64_t after = s.PicturesSinceLast > 1 ? s.PicturesSinceLast - 1 : 0;
  return std::max(s.MaxDecode, s.LastDecode + after * frameTicks);
}

}  // namespace

void TTimeCorrection::NotePictures(uint8_t streamId, int64_t pictures) {
  TStreamStamps& s = state_.Streams[streamId];
  if (s.HavePTS) s.PicturesSinceLast += pictures;
}

int64_t TTimeCorrection::WrittenEnd() const {
  const TTimeCorrectionState& g = state_;
  int64_t end = 0;
  bool any = false;
  for (int id = 0; id < 256; ++id) {
    const TStreamStamps& s = g.Streams[id];
    if (!s.HavePTS) continue;
    const bool sound = id >= kFirstAudioStream && id < kFirstVideoStream;
    int64_t e = (sound ? s.MaxPTS : std::max(s.MaxPTS, DecodeEnd(s, g.FrameTicks))) + g.FrameTicks;
    if (sound && s.BytesBetween > 0 && s.LastPTS > s.PreviousPTS)
      e = s.LastPTS + s.BytesSinceLast * (s.LastPTS - s.PreviousPTS) / s.BytesBetween;
    end = any ? std::max(end, e) : e;
    any = true;
  }
  return end;
}

void TTimeCorrection::StartNextFile(const TFileStart& start) {
  TTimeCorrectionState& g = state_;
  g.Offset = 0;
  // The first file keeps its own clock.
  g.Joined = g.HaveStamps || g.HaveSCR;
  if (!g.Joined) return;
  if (g.HaveStamps && start.HasPTS) {
    g.Offset = WrittenEnd() - start.LowestPTS;
    if (start.HasVideo) {
      bool any = false;
      int64_t decoded = 0;
      for (int id = kFirstVideoStream; id <= kLastVideoStream; ++id)
        if (g.Streams[id].HavePTS) {
          decoded = any ? std::max(decoded, DecodeEnd(g.Streams[id], g.FrameTicks))
                        : DecodeEnd(g.Streams[id], g.FrameTicks);
          any = true;
        }
      if (any) g.Offset = std::max(g.Offset, decoded + g.FrameTicks - start.LowestVideoDecode);
    }
  }
  else if (g.HaveSCR && start.HasSCR)  // nothing presented: the clock continues
    g.Offset = g.LastSCR + TransmitTicks(g.BytesSinceSCR, g.LastMuxRate) - start.FirstSCR;
}

void TTimeCorrection::CorrectUnit(uint8_t* unit, const TMPEG1SystemReader& reader) {
  TTimeCorrectionState& g = state_;
  if (reader.UnitKind == ukPack) {
    int64_t scr = reader.SCR + g.Offset;
    // Across a join the clock never goes back: a pack of the file's opening
    // (a writer's preload, which leads its stamps by more than the previous
    // file's end allows) arrives once the last pack written has been sent.
    if (g.Joined && g.HaveSCR) scr = std::max(scr, g.LastSCR + TransmitTicks(g.BytesSinceSCR, g.LastMuxRate));
    EncodeTimeStamp(unit + 4, scr, 0x2);  // '0010', the pack's SCR
    g.HaveSCR = true;
    g.LastSCR = scr;
    g.LastMuxRate = reader.MuxRate;
    g.BytesSinceSCR = reader.UnitSize;
    return;
  }
  g.BytesSinceSCR += reader.UnitSize;
  if (reader.UnitKind != ukPacket || reader.Packet.HeaderOverrun) return;
  const TMPEGPacketInfo& p = reader.Packet;
  TStreamStamps& s = g.Streams[p.StreamId];
  if (!p.HasPTS) {
    if (s.HavePTS) s.BytesSinceLast += p.PayloadLength;
    return;
  }
  // The stamps lie inside the unit, or the packet is copied as it is.
  const int64_t unitEnd = reader.UnitStart + reader.UnitSize;
  if (p.PTSPos + 5 > unitEnd || (p.HasDTS && p.DTSPos + 5 > unitEnd)) return;
  const int64_t pts = p.PTS + g.Offset;
  // '0010' before a PTS alone, '0011' before a PTS with a DTS, '0001' before the DTS.
  EncodeTimeStamp(unit + (p.PTSPos - reader.UnitStart), pts, p.HasDTS ? 0x3 : 0x2);
  if (p.HasDTS) EncodeTimeStamp(unit + (p.DTSPos - reader.UnitStart), p.DTS + g.Offset, 0x1);
  if (s.HavePTS) {
    s.PreviousPTS = s.LastPTS;
    s.BytesBetween = s.BytesSinceLast;
  }
  const int64_t decode = p.HasDTS ? p.DTS + g.Offset : pts;
  s.MaxPTS = s.HavePTS ? std::max(s.MaxPTS, pts) : pts;
  s.MaxDecode = s.HavePTS ? std::max(s.MaxDecode, decode) : decode;
  s.LastDecode = decode;
  s.PicturesSinceLast = 0;
  s.LastPTS = pts;
  s.BytesSinceLast = p.PayloadLength;
  s.HavePTS = true;
  g.HaveStamps = true;
}

}  // namespace vantrel
