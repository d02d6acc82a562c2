// How a recompressing join sets up its encoders: the picture and sound
// formats it feeds them, the default rate control, and the compressor's
// stored options. The join and the compressor list's test of each encoder
// go through here, so a listed compressor is one the join can start.
#pragma once

#include <map>
#include <string>

#include "ffmpeg/AvOwners.h"

namespace vantrel {

using TOptionValues = std::map<std::string, std::string>;

// The sound every recompressed file carries: stereo at this rate.
inline constexpr int kOutputSampleRate = 44100;
inline constexpr int kOutputChannels = 2;

// The quantizer the join uses by default for encoders whose own default is
// a fixed, low bit rate.
inline constexpr int kDefaultQuantizer = 3;

// Sets up a video encoder context for frames of width x height at fps:
// pixel format, time base, the default rate control and the options.
// The options that are no fields of the context go into *opts for
// avcodec_open2. Raises with the option's name and value when a value is
// not a number, or for a bit rate together with a constant rate factor.
// container: the muxer's name, whose rules the set-up follows.
void SetupVideoEncoder(AVCodecContext* c, const AVCodec* codec, const std::string& container, int width, int height,
                       AVRational fps,
                       const TOptionValues& options, AVDictionary** opts);
// The same for a sound encoder, by default at the AVI join's 44.1 kHz
// stereo.
void SetupAudioEncoder(AVCodecContext* c, const AVCodec* codec, const TOptionValues& options, AVDictionary** opts,
                       int sampleRate = kOutputSampleRate, int channels = kOutputChannels);
// The frame rate as an exact fraction: the NTSC family (23.976, 29.97,
// 59.94, ... shown rounded) as n*1000/1001, whole rates as such, anything
// else to a millisecond's precision.
AVRational ExactFrameRate(double fps);
// The largest side of a frame the join renders.
inline constexpr int kMaxFrameSide = 16384;
// Empty when the video encoder (empty: uncompressed) takes frames of this
// size; else why not, in words ("The frame size 320x240720 is not
// possible", "The compressor libx264 takes frame sizes in steps of 2x2, not
// 321x241").
std::string FrameSizeProblem(const std::string& encoder, int width, int height);
// Raises "The compressor <name> has no option "<key>"" for an option the
// encoder did not take; frees opts.
void CheckLeftovers(AVDictionary*& opts, const std::string& encoder);

// Whether the encoder opens as the join would open it, with a small frame
// (video) or the join's sound format (audio); for the compressor list.
bool EncoderOpens(const AVCodec* codec);

}  // namespace vantrel
