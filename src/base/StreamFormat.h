// The format of one stream of a file, as the probe reads it once and every
// layer above compares it: what a decoder is set up from, typed. Two files
// can be joined without recompression when their streams agree field by
// field; the first field that differs is said in words, with the value each
// file has ("video 1280x720, the first file 1920x1080").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Names.h"

namespace vantrel {

enum class TStreamKind : uint8_t { Video, Audio, Subtitle, Data };
// "video", "audio", "subtitle", "data".
const char* StreamKindName(TStreamKind kind);

enum class TFieldOrder : uint8_t { Unknown, Progressive, TopFirst, BottomFirst };

// FF_PROFILE_UNKNOWN: the stream states no profile.
inline constexpr int kNoProfile = -99;

struct TStreamFormat {
  TStreamKind Kind = TStreamKind::Data;
  std::string Codec;  // FFmpeg's codec name ("h264"); empty when not known
  uint32_t Tag = 0;   // the container's codec tag, FOURCC order; 0: none
  int ProfileId = kNoProfile;
  std::string ProfileName;  // "High"; empty when the codec has no name for it
  int Level = 0;            // as the codec counts it (H.264: 31 for 3.1)

  // Video.
  int Width = 0, Height = 0;
  std::string PixelFormat;  // "yuv420p"; empty: not stated
  int AspectNum = 1, AspectDen = 1;  // sample aspect ratio, reduced; 1:1 when not stated
  int Turn = 0;  // degrees counterclockwise the display matrix turns the picture, 0 to 359
  TFieldOrder FieldOrder = TFieldOrder::Unknown;
  // Colour properties as FFmpeg names them; empty: unspecified.
  std::string Primaries, Transfer, Matrix;
  bool FullRange = false;
  int RateNum = 0, RateDen = 0;          // frame rate; 0: not stated
  int TimeBaseNum = 0, TimeBaseDen = 0;  // what the time stamps count in

  // Audio.
  int SampleRate = 0;
  int Channels = 0;
  std::string Layout;        // "stereo", "5.1(side)"
  std::string SampleFormat;  // "fltp"; empty: not stated
  int64_t BitRate = 0;       // bits per second; 0: not stated

  // The decoder's set-up (H.264's avcC, AAC's AudioSpecificConfig).
  std::vector<uint8_t> Sets;
  // Transport and program streams repeat their parameter sets in the stream
  // and count time in 90 kHz whatever the rate: there the sets and the time
  // base are no parameter of the stream, the frame rate is.
  bool InBand = false;
  // Bit n: the container of id n (formats/Formats.h) can hold this stream
  // without recompression, as its muxer answers; or its muxer says it
  // cannot (a muxer may say neither).
  uint64_t Holders = 0;
  uint64_t Refusers = 0;

  double FrameRate() const { return RateNum > 0 && RateDen > 0 ? static_cast<double>(RateNum) / RateDen : 0; }
};
using TStreamFormats = std::vector<TStreamFormat>;

// The fields a stream copy compares, each named in the words of a
// difference.
enum TFormatField : uint32_t {
  ffCodec = 1u << 0,
  ffTag = 1u << 1,
  ffProfile = 1u << 2,
  ffFrameSize = 1u << 3,
  ffPixelFormat = 1u << 4,
  ffAspect = 1u << 5,
  ffTurn = 1u << 6,
  ffFieldOrder = 1u << 7,
  ffFrameRate = 1u << 8,
  ffTimeBase = 1u << 9,
  ffSets = 1u << 10,
  ffSampleRate = 1u << 11,
  ffLayout = 1u << 12,
  ffSampleFormat = 1u << 13,
  ffCount = 1u << 14,  // not a field: another number of streams of the kind
};

// How one kind of stream of a file differs from the first file's.
struct TStreamDifference {
  std::string Words;   // "video 1280x720, the first file 1920x1080"; empty when alike
  uint32_t Field = 0;  // which TFormatField
  std::string Shown;   // the file's own value in words ("High profile")
  explicit operator bool() const { return !Words.empty(); }
};

struct TStreamsDiff {
  TStreamDifference Video;
  TStreamDifference Audio;
  // Subtitle and data streams of the first file (indexes among all its
  // streams) that the other file lacks or has in another format.
  std::vector<size_t> OthersDiffering;
};

// other against first, the fields in tolerated left out of the comparison.
TStreamsDiff CompareStreams(const TStreamFormats& first, const TStreamFormats& other, uint32_t tolerated = 0);

// True when the two lists hold the same kinds of streams in the same order,
// alike in every field a stream copy compares.
bool SameStreams(const TStreamFormats& a, const TStreamFormats& b);

// The words of one field of a stream, as a difference shows it.
std::string FieldText(const TStreamFormat& s, TFormatField field);
// "codec tag avc1": a FOURCC as FFmpeg prints it.
std::string TagText(uint32_t tag);

}  // namespace vantrel
