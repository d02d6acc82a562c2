// The probe of any file by the media detector: the media type from the
// signature, everything else from the detector.
#include "avi/AVIProbe.h"
#include "mpeg/ProgramStreamClock.h"
#include "core/FileInfo.h"
#include "recompress/MediaDet.h"

namespace vantrel {

void TVideoFileInfo::ReadInfo(const std::string& fileName, bool measureLengths) {
  FileName = fileName;
  MediaType = GetMediaType(fileName);
  Duration = 0;
  HasAudio = false;
  ReadDetectorInfo(*this, fileName, measureLengths);
  // The AVI copy join decides on the file's own headers, whoever describes
  // it for the list.
  if (MediaType == kMediaAVI) {
    TVideoFileInfo headers;
    if (DescribeAVIFile(fileName, headers)) AviHeaders = headers.AviHeaders;
  }
  // Where a program stream's clock starts and ends tells the pieces of one
  // stream (a DVD title's VOB files) from separate recordings.
  if (MediaType == kMediaMPEG2) ReadProgramStreamClock(fileName, StreamClock);
}

TVideoFileInfo GetVideoFileInfo(const std::string& fileName, bool measureLengths) {
  TVideoFileInfo info;
  info.ReadInfo(fileName, measureLengths);
  return info;
}

}  // namespace vantrel
