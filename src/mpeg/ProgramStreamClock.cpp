// Reading an MPEG program stream's clock at its start and end.
#include "mpeg/ProgramStreamClock.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "base/PosixFile.h"

namespace vantrel {

namespace {

// How much of each end is read.
constexpr int64_t kWindow = 256 * 1024;

struct TScan {
  bool HasSCR = false;
  int64_t FirstSCR = 0;
  int64_t LastSCR = 0;
  bool HasPTS = false;
  int64_t MinPTS = INT64_MAX;
  int64_t MaxPTS = INT64_MIN;
};

// An MPEG-2 pack header's system_clock_reference_base, from the six bytes
// after the start code: '01' SCR[32..30] '1' SCR[29..15] '1' SCR[14..0] '1',
// with its marker bits checked; -1 when they are not there.
int64_t PackSCR(const uint8_t* b) {
  if ((b[0] & 0xC4) != 0x44 || !(b[2] & 0x04) || !(b[4] & 0x04) || !(b[5] & 0x01)) return -1;
  return (static_cast<int64_t>(b[0] & 0x38) << 27) | (static_cast<int64_t>(b[0] & 0x03) << 28) |
         (static_cast<int64_t>(b[1]) << 20) | (static_cast<int64_t>(b[2] & 0xF8) << 12) |
         (static_cast<int64_t>(b[2] & 0x03) << 13) | (static_cast<int64_t>(b[3]) << 5) | (b[4] >> 3);
}

// A PES header's PTS from its five bytes: 'xxxx' PTS[32..30] '1' PTS[29..15]
// '1' PTS[14..0] '1'; -1 when the marker bits are not there.
int64_t PesPTS(const uint8_t* p) {
  if (!(p[0] & 0x01) || !(p[2] & 0x01) || !(p[4] & 0x01)) return -1;
  return (static_cast<int64_t>(p[0] & 0x0E) << 29) | (static_cast<int64_t>(p[1]) << 22) |
         (static_cast<int64_t>(p[2] & 0xFE) << 14) | (static_cast<int64_t>(p[3]) << 7) | (p[4] >> 1);
}

void Scan(const std::vector<uint8_t>& d, TScan& s) {
  for (size_t i = 0; i + 14 <= d.size(); ++i) {
    if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
    const uint8_t id = d[i + 3];
    if (id == 0xBA) {
      const int64_t scr = PackSCR(&d[i + 4]);
      if (scr < 0) continue;
      if (!s.HasSCR) s.FirstSCR = scr;
      s.LastSCR = scr;
      s.HasSCR = true;
    } else if (id >= 0xE0 && id <= 0xEF && (d[i + 6] & 0xC0) == 0x80 && (d[i + 7] & 0x80)) {
      // An MPEG-2 PES header of a video stream whose PTS_DTS_flags say a PTS follows.
      const int64_t pts = PesPTS(&d[i + 9]);
      if (pts < 0) continue;
      s.MinPTS = std::min(s.MinPTS, pts);
      s.MaxPTS = std::max(s.MaxPTS, pts);
      s.HasPTS = true;
    }
  }
}

std::vector<uint8_t> ReadAt(const TFile& f, int64_t pos, int64_t count) {
  std::vector<uint8_t> d(static_cast<size_t>(std::max<int64_t>(count, 0)));
  d.resize(f.ReadAt(d.data(), d.size(), pos));
  return d;
}

}  // namespace

bool ReadProgramStreamClock(const std::string& fileName, TProgramStreamClock& clock) {
  return ReadProgramStreamClock(TFile::OpenRead(fileName), clock);
}

bool ReadProgramStreamClock(const TFile& f, TProgramStreamClock& clock) {
  const int64_t size = f.Size();
  TScan head, tail;
  Scan(ReadAt(f, 0, std::min(size, kWindow)), head);
  Scan(ReadAt(f, std::max<int64_t>(0, size - kWindow), std::min(size, kWindow)), tail);
  if (!head.HasSCR || !head.HasPTS || !tail.HasSCR || !tail.HasPTS) return false;
  clock.Known = true;
  clock.FirstSCR = head.FirstSCR;
  clock.LastSCR = tail.LastSCR;
  clock.FirstPTS = head.MinPTS;
  clock.LastPTS = tail.MaxPTS;
  return true;
}

bool ContinuesStream(const TProgramStreamClock& previous, const TProgramStreamClock& next, double frameRate) {
  if (!previous.Known || !next.Known) return false;
  const int64_t frame = frameRate > 1 && frameRate < 1000 ? static_cast<int64_t>(90000 / frameRate) : 3600;
  // Packs follow one another closely: the cut falls between two of them.
  const int64_t scrGap = next.FirstSCR - previous.LastSCR;
  if (scrGap < 0 || scrGap > frame) return false;
  // Pictures are stored out of display order: after a cut the earliest
  // picture may be shown a few frames before the latest one of the piece
  // before, but the display never jumps.
  const int64_t ptsGap = next.FirstPTS - previous.LastPTS;
  return ptsGap >= -4 * frame && ptsGap <= 2 * frame;
}

}  // namespace vantrel
