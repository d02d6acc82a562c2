// Shifts the clock references and time stamps of MPEG-1 system streams
// written one after another, so that every file continues where the
// previous one ended: one offset per file, added to its SCRs, PTSs and
// DTSs alike, which keeps each file's own sync and its stamps' lead over
// the clock. The file's first presented unit follows the highest PTS
// written before it by one frame. The clock never goes back: the packs of
// a file's opening that would arrive before the previous file's last pack
// was sent arrive just after it instead (still ahead of their stamps). The
// state is module-wide: one join runs at a time.
#pragma once

#include <cstdint>
#include <string>

#include "mpeg/MPEG1SysRead.h"

namespace vantrel {

// What was written of one stream, to tell where it ends.
struct TStreamStamps {
  bool HavePTS = false;
  int64_t MaxPTS = 0;
  int64_t MaxDecode = 0;          // highest DTS (the PTS where there is none)
  int64_t LastPTS = 0;            // of the last packet with one
  int64_t PreviousPTS = 0;        // of the one before it
  int64_t BytesSinceLast = 0;     // payload from the last stamped packet on
  int64_t BytesBetween = 0;       // payload from the one before to the last
  // Video: the decoding time of the last stamped packet's first picture and
  // the pictures begun from it on (that one included). Pictures in packets
  // without stamps are decoded a frame apart after it; a file cut short
  // ends with such pictures.
  int64_t LastDecode = 0;
  int64_t PicturesSinceLast = 0;
};

struct TTimeCorrectionState {
  int64_t FrameTicks = 3600;  // one frame at the first file's rate, 90 kHz ticks
  int64_t Offset = 0;         // added to every stamp of the current file
  bool HaveStamps = false;    // a PTS was written
  TStreamStamps Streams[256];  // by stream id, as written (before the 33-bit wrap)
  bool HaveSCR = false;       // a pack was written: the three below hold
  int64_t LastSCR = 0;        // as written
  uint32_t LastMuxRate = 0;   // of that pack, in 50 bytes/s
  int64_t BytesSinceSCR = 0;  // written from that pack on
  bool Joined = false;        // the current file follows another
};

// Where a system stream starts: its first SCR and the lowest PTS among its
// opening second (any stream; the first presented unit, B-frames reordered).
struct TFileStart {
  bool HasSCR = false;
  int64_t FirstSCR = 0;
  bool HasPTS = false;
  int64_t LowestPTS = 0;
  // The lowest decoding time (DTS, else PTS) of its video streams.
  bool HasVideo = false;
  int64_t LowestVideoDecode = 0;
};
// Reads the opening units of a system stream (at most a second of its clock
// or 8 MiB); raises what opening it raises.
TFileStart ScanFileStart(const std::string& fileName);
// The same on a file already open, which it takes.
TFileStart ScanFileStart(TFile file, const std::string& fileName);

class TTimeCorrection {
 public:
  // Starts a join. Without a video frame rate (sound only) files are spaced
  // by 40 ms.
  void InitTimeCorrection(double frameRate);
  // Where what was written ends, 90 kHz ticks: the latest end over the
  // streams, a video stream's highest PTS plus a frame, a sound stream's
  // last PTS plus its last packets' length at the rate its packets came at.
  int64_t WrittenEnd() const;
  // Starts the next file: its offset from what was written and where it
  // starts; its video is also decoded no earlier than a frame after the
  // last video frame decoded before it (frames are reordered differently at
  // the end of a stream and at its start).
  void StartNextFile(const TFileStart& start);
  // Shifts the stamps of the current unit, copied whole into unit (the
  // reader's UnitSize bytes): a pack's SCR, a packet's PTS and DTS, and
  // counts its bytes. Other units are only counted.
  void CorrectUnit(uint8_t* unit, const TMPEG1SystemReader& reader);
  // After a video packet's unit was corrected: the pictures that begin in
  // its payload (picture start codes).
  void NotePictures(uint8_t streamId, int64_t pictures);
  // The state, for inspection.
  const TTimeCorrectionState& State() const { return state_; }

 private:
  TTimeCorrectionState state_;
};

}  // namespace vantrel
