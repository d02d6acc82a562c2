// Pictures of an MPEG video stream and frames of an MPEG audio stream,
// counted from their bytes as they come out of system-stream packets, in
// pieces of any size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel {

class TPictureCounter {
 public:
  void Feed(const uint8_t* data, size_t size);
  int64_t Count() const { return count_; }

 private:
  uint32_t window_ = 0xFFFFFFFF;  // the last four bytes seen
  int64_t count_ = 0;
};

// Follows the frames' lengths from header to header; where no header is
// where one should be, it looks for the next one. A file's last frame may be
// cut short: call NewStream() where another file's stream begins.
class TAudioFrameCounter {
 public:
  void Feed(const uint8_t* data, size_t size);
  void NewStream();
  int64_t Count() const { return count_; }

 private:
  uint32_t window_ = 0;
  int have_ = 0;       // header bytes in window_
  uint32_t skip_ = 0;  // bytes left of the current frame
  int64_t count_ = 0;
};

// The length of the MPEG audio frame (layers I to III, MPEG-1, 2 and 2.5)
// whose four header bytes are header, or 0 when they are no such header
// (free format included: its length is not in the header).
uint32_t MPEGAudioFrameLength(uint32_t header);

}  // namespace vantrel
