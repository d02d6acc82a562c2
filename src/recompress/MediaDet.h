// Media detector on libavformat/libavcodec: opens a file with whatever
// demuxer and decoders FFmpeg has and reports, per output stream, its length
// in seconds, its media type with the video bitmap header and wave format
// fields, and the video frame rate. Every call returns 0 or an error code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/VideoFileInfo.h"
#include "recompress/DSErrors.h"

struct AVFormatContext;

namespace vantrel {

enum class TMajorType { Unknown, Video, Audio };

// The fields of a VIDEOINFOHEADER's bitmap header that callers read.
struct TBitmapHeader {
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint32_t biCompression = 0;
};

// The fields of a WAVEFORMATEX that callers read.
struct TWaveFormat {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint16_t wBitsPerSample = 0;
};

struct TDetMediaType {
  TMajorType MajorType = TMajorType::Unknown;
  TBitmapHeader Video;
  TWaveFormat Audio;
};

class TMediaDet {
 public:
  TMediaDet();
  ~TMediaDet();
  TMediaDet(const TMediaDet&) = delete;
  TMediaDet& operator=(const TMediaDet&) = delete;

  HRESULT put_Filename(const std::string& fileName);
  HRESULT get_OutputStreams(int32_t* count);
  HRESULT put_CurrentStream(int32_t index);
  HRESULT get_StreamLength(double* seconds);
  HRESULT get_StreamMediaType(TDetMediaType* type);
  HRESULT get_FrameRate(double* rate);
  // The current video stream's picture as shown: sample aspect ratio and
  // display matrix applied.
  HRESULT get_DisplaySize(int32_t* width, int32_t* height);
  // The container as users know it: "MP4", "QuickTime", "Matroska",
  // "WebM", "MPEG-TS", "FLV", ... (FFmpeg's own name otherwise).
  std::string ContainerName() const;
  // The streams as a stream copy compares them (base/CopyFormat.h).
  std::string CopyFormat() const;

  // Limits: probing and opening, and measuring a length the container does
  // not state. A measurement cut short is extrapolated from the bytes read.
  double OpenTimeLimit = 20.0;
  double MeasureTimeLimit = 5.0;
  // False: take lengths as the container states or estimates them, without
  // reading the file through (for callers that do not show them).
  bool MeasureUnstatedLengths = true;

 private:
  struct Context;
  void MeasureLengths();
  double StreamLengthOf(int avIndex);

  std::unique_ptr<Context> ctx_;
  std::vector<int> streams_;  // output stream -> FFmpeg stream index
  int current_ = 0;
  bool measured_ = false;
  std::vector<double> measured_lengths_;
};

// One output stream as the detector reports it.
struct TDetStream {
  double Length = 0;
  TDetMediaType Type;
  double FrameRate = 0;  // video only
  int32_t DisplayWidth = 0, DisplayHeight = 0;  // video only
};
// Every output stream of a file, each call checked with DSCheck.
std::vector<TDetStream> DetectStreams(const std::string& fileName, bool measureLengths = true,
                                      std::string* containerName = nullptr, std::string* copyFormat = nullptr);

// The detector's part of TVideoFileInfo::ReadInfo: duration, video and
// audio fields from the file's streams (FileName and MediaType already set).
void ReadDetectorInfo(TVideoFileInfo& info, const std::string& fileName, bool measureLengths = true);

}  // namespace vantrel
