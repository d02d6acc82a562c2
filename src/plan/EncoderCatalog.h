// What the plan needs to know of this machine's encoders: the compressors
// an AVI file takes, as the join options dialog lists them, the encoders
// each container takes here, and the frame sizes an encoder refuses. The job
// layer answers from the media framework; the copy-only command line has
// none.
#pragma once

#include <string>
#include <vector>

#include "formats/Formats.h"

namespace vantrel {

// The compressors of one kind: "<description> (<encoder>)" and, at the same
// index, the encoder's name.
struct TCompressorList {
  std::vector<std::string> Names;
  std::vector<std::string> Encoders;
};

class IEncoderCatalog {
 public:
  virtual ~IEncoderCatalog() = default;
  virtual const TCompressorList& AviCompressors(bool audio) const = 0;
  // The registry's encoders of a kind for the container that this machine
  // has and the container's muxer takes, the default first.
  virtual std::vector<std::string> Available(TContainerId container, bool audio) const = 0;
  virtual bool Has(const std::string& encoder) const = 0;
  // Empty when the encoder takes this frame size; else why not, in words.
  virtual std::string FrameSizeProblem(const std::string& encoder, int width, int height) const = 0;
};

// A machine without a single encoder.
const IEncoderCatalog& NoEncoders();

}  // namespace vantrel
