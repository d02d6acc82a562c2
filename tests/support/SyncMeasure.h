// Picture-and-sound sync as a viewer meets it: inputs that flash white and
// beep at 1 kHz at the same instants, and a measurer of the beep's time
// minus the flash's time at every flash of a file, decoded by ffmpeg as a
// player presents it (frames at their time stamps, sound placed on its
// time stamps with gaps as silence).
#pragma once

#include <string>
#include <vector>

namespace vantrel::test {

// ffmpeg input options for a flash-and-beep clip: 320x240 at 25 fps for
// `seconds`, white at 0.6 s and 1.6 s (and every second after), black
// otherwise; 48 kHz stereo sound of `audioSeconds`, silent but for 40 ms of
// 1 kHz at the same instants. With audioDelay the sound is cut so that it
// starts that many seconds after the video, still beeping with the flashes
// (give the output option "-itsoffset" yourself, or use the container's).
struct FlashBeep {
  double seconds = 3;
  double audioSeconds = 3;
  double audioDelay = 0;
  int sampleRate = 48000;
  int width = 320, height = 240;
  std::string VideoInput() const;  // "-f lavfi -i ..."
  std::string AudioInput() const;  // "-f lavfi -i ...", with -itsoffset for a delay
};

struct SyncReading {
  std::vector<double> flashes;  // seconds, the first frame of each flash
  std::vector<double> beeps;    // seconds, each beep's onset
  std::string problem;          // empty when the file could be measured
};

SyncReading MeasureSync(const std::string& file);
// Beep minus flash, seconds, for every flash (the nearest beep within half
// a second); NaN where a flash has no beep. Empty when it cannot be
// measured (see problem).
std::vector<double> SyncOffsets(const std::string& file, std::string* problem = nullptr);

}  // namespace vantrel::test
