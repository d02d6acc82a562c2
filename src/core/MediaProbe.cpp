// The probe of any file by the media detector: the media type from the
// signature, everything else from the detector.
#include "core/FileInfo.h"
#include "dshow/MediaDet.h"

namespace vantrel {

void TVideoFileInfo::ReadInfo(const std::string& fileName, bool measureLengths) {
  FileName = fileName;
  MediaType = GetMediaType(fileName);
  Duration = 0;
  HasAudio = false;
  ReadDetectorInfo(*this, fileName, measureLengths);
}

TVideoFileInfo GetVideoFileInfo(const std::string& fileName, bool measureLengths) {
  TVideoFileInfo info;
  info.ReadInfo(fileName, measureLengths);
  return info;
}

}  // namespace vantrel
