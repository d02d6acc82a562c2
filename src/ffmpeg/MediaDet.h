// Media detector on libavformat/libavcodec: opens a file with whatever
// demuxer and decoders FFmpeg has and reports, per output stream, its length
// in seconds, its media type with the video bitmap header and wave format
// fields, and the video frame rate. Every call returns 0 or an error code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/PosixFile.h"
#include "base/StreamFormat.h"
#include "ffmpeg/DSErrors.h"

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
  // The same on a file already open, which the detector owns from here on.
  HRESULT put_File(TFile file, const std::string& fileName);
  HRESULT get_OutputStreams(int32_t* count);
  HRESULT put_CurrentStream(int32_t index);
  HRESULT get_StreamLength(double* seconds);
  HRESULT get_StreamMediaType(TDetMediaType* type);
  HRESULT get_FrameRate(double* rate);
  // The current video stream's picture as shown: sample aspect ratio and
  // display matrix applied.
  HRESULT get_DisplaySize(int32_t* width, int32_t* height);
  // FFmpeg's name of the demuxer that read the file ("mov,mp4,m4a,3gp,3g2,mj2"),
  // and the MP4 major brand when the file has one.
  std::string Demuxer() const;
  std::string MajorBrand() const;
  // The streams as a stream copy compares them.
  TStreamFormats Streams() const;

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
// What the detector found in a file: its output streams, each call checked
// with DSCheck, and the file's demuxer and streams as a copy compares them.
struct TDetected {
  std::vector<TDetStream> Streams;
  std::string Demuxer, MajorBrand;
  TStreamFormats Formats;
};
TDetected DetectStreams(TFile file, const std::string& fileName, bool measureLengths = true);
std::vector<TDetStream> DetectStreams(const std::string& fileName, bool measureLengths = true);

}  // namespace vantrel
