// What a recompressing join makes of its inputs: one frame size, one frame
// rate, and how each picture is fitted into the frame. The join options
// dialog, the command line, the join job and the renderer share this one
// description and its defaults.
#pragma once

#include <cstdint>

namespace vantrel {

// How a source picture is fitted into the output frame.
enum TResizeMethod : uint8_t {
  rmStretch = 0,    // the whole picture to the whole frame
  rmCrop = 1,       // keep the aspect ratio and cover the frame; what overhangs is cut
  rmLetterbox = 2,  // keep the aspect ratio and fit inside the frame; black bands
  rmNoResize = 3    // no scaling, centred; cut or black bands
};

struct TRecompressSettings {
  int FrameWidth = 320;
  int FrameHeight = 240;
  double FrameRate = 24.0;
  TResizeMethod ResizeMethod = rmLetterbox;
};

}  // namespace vantrel
