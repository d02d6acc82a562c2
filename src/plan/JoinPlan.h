// The join plan: made once from the probed files and the request, one value
// that says everything about how the files are joined: the route (which
// engine), each file's role, how each differs from the first, the output's
// container, the streams kept, the encoders and settings of what is
// re-encoded, whether the sound is kept and why not, and the notes. The
// file list's marks, the join options dialog, the command line and the job
// all read it; the engines carry it out and decide nothing again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/Formats.h"
#include "plan/EncoderCatalog.h"
#include "plan/JoinRequest.h"

namespace vantrel {

// How the files are joined.
enum class TPlanRoute {
  None,           // refused: see Refusal
  AviCopy,        // AVI chunks copied
  MpegCopy,       // MPEG-1 system or video streams copied
  StreamPieces,   // pieces of one program stream, byte for byte
  ContainerCopy,  // packets copied between containers of one family
  Smart,          // most files copied, the others re-encoded to their format
  Recompress,     // everything decoded and re-encoded
};

// How a route treats the streams, as the front ends speak of it.
enum class TEngineKind {
  Copy,        // every packet copied, nothing decoded
  Recompress,  // everything decoded and re-encoded
  Mixed,       // some files copied, the others re-encoded to match them
};

// A file's part in the join.
enum class TFileRole {
  Copied,     // its packets are copied
  Target,     // copied, and the format the re-encoded files take (smart join)
  Reencoded,  // decoded and encoded again
};

// The list's columns a difference from the first file shows in.
enum class TDiffColumn { None, Type, FrameSize, FrameRate, Audio };

struct TFilePlan {
  TFileRole Role = TFileRole::Copied;
  // The part of the file joined, in seconds of the file; Out < 0: to its
  // end.
  double In = 0;
  double Out = -1;
  bool Trimmed() const { return In > 0 || Out >= 0; }
  // How it differs from the first file, as the list marks it: the flags of
  // TVideoFileInfo, the first difference in words ("File 2 (b.mp4): video
  // High profile, the first file Main profile"), and by column what to show
  // after the cell's text where that alone would read as the first file's
  // ("High profile").
  bool VideoDiffers = false;
  bool TypeDiffers = false;
  bool FrameSizeDiffers = false;
  bool FrameRateDiffers = false;
  bool AudioDiffers = false;
  std::string Difference;
  std::array<std::string, 5> Shown;  // by TDiffColumn
  // Why a smart join re-encodes it, in a few words ("video 1280x720").
  std::string WhyReencoded;
};

// A stream of the first file in a container copy: copied or left out.
struct TStreamPlan {
  TStreamKind Kind = TStreamKind::Data;
  bool Kept = true;
  std::string Note;  // why it is left out ("a subtitle stream (mov_text) was left out: ...")
};

// What the output is.
struct TOutputPlan {
  TContainerId Container = TContainerId::Unknown;
  std::string Muxer;      // libavformat's muxer; empty for AVI and MPEG-1 copies
  std::string Extension;  // what the output's name should end with
  std::string Shown;      // in messages: "MP4", "Matroska"
  bool Chapters = false;  // a chapter per input
};

// What a smart join's re-encoded files must be to join the copied ones.
struct TSmartTarget {
  size_t File = 0;  // the target's index
  std::string Codec;  // "h264", "hevc", "vp9", "av1"
  int Width = 0, Height = 0;
  int RateNum = 0, RateDen = 0;
  std::string Profile;  // as the encoder names it: "high", "main"
  std::string Level;    // "4.1"; empty when not stated
  std::vector<uint8_t> VideoSets;
  bool Sound = false;
  int SampleRate = 0, Channels = 0;
  int64_t SoundBitRate = 0;
  // The container the re-encoded parts are written in before the copy.
  std::string PartMuxer, PartExtension;
};

// Which of the recompression's settings the route uses: those it does not
// are shown disabled.
struct TSettingsUsed {
  bool FrameSize = false;
  bool FrameRate = false;
  bool ResizeMethod = false;
  bool VideoEncoder = false;
  bool AudioEncoder = false;
};

struct TJoinPlan {
  // Made by MakeJoinPlan, one number per plan: the job says which plan it
  // carried out.
  uint64_t Id = 0;

  // What the files allow, whatever the request's route.
  bool CopyFormat = false;      // a copy engine takes the first file's format
  bool CanCopy = false;         // joined without recompression, maybe without sound
  bool CopyLosesSound = false;  // ... only by leaving the sound out
  bool NoAudio = true;          // no file has sound
  bool CopyByDefault = false;   // the check box opens ticked; Auto copies
  // Why the files cannot be copied, or why a copy leaves the sound out:
  // the first difference in words; empty when there is none.
  std::string FirstDifference;
  std::string CopyExtension;   // what a copy writes: ".avi", ".mpeg", ".mp4", ...
  bool ContainerCopy = false;  // the copy is the container stream copy

  // The decision for the request.
  TPlanRoute Route = TPlanRoute::None;
  std::string Refusal;           // why the request cannot be done
  bool WithoutSound = false;     // the sound is left out ...
  std::string WhyWithoutSound;   // ... because of this (empty when asked)
  // Auto chose to recompress or a smart join: why not a copy, in words.
  std::string WhyRecompress;
  TOutputPlan Output;
  std::string Extension;  // the output's extension for the route (Output.Extension)
  std::vector<TFilePlan> Files;
  std::vector<TStreamPlan> Streams;  // container copy: the first file's streams
  // Some file is trimmed; KeyFrameCuts: its cuts move to key frames and
  // every packet between them is copied.
  bool Trimmed = false;
  bool KeyFrameCuts = false;

  // Options every copy reads.
  bool CorrectTimeStamps = true;
  bool ExactCopy = false;
  bool VerifyFully = false;
  double MpegFrameRate = 0;  // the first file's rate, for the MPEG-1 copy

  // What is re-encoded is made with these (recompression and the smart
  // join; the settings of a recompressing join only).
  TRecompressSettings Recompress;
  TEncoderChoice VideoEncoder, AudioEncoder;
  TSettingsUsed Uses;
  // What the encoder refuses of the settings, in words; empty when nothing.
  std::string SettingsProblem;
  // No Xvid or DivX compressor here for AVI (the dialog and the command
  // line say so).
  bool NoOptimumVideoCompressor = false;
  TSmartTarget Smart;  // smart join only
  // "3 files copied, 1 re-encoded to 1920x1080 H.264: b.mp4 (video
  // 1280x720)"; empty for other routes.
  std::string SmartDescription;

  // Shown before the join (the dialog's note; the command line's lines).
  std::vector<std::string> Notes;
  // The join options dialog's note beside "Join without recompression".
  std::string DialogNote;

  TEngineKind Kind() const;
  bool Accepted() const { return Route != TPlanRoute::None; }
  // By file, whether it is re-encoded while others are copied (the smart
  // join); all false on every other route.
  std::vector<bool> Reencoded() const;
};

// The plan for the request with the encoders of this machine. Reads only
// the probe results: no file is opened.
TJoinPlan MakeJoinPlan(const TJoinRequest& request, const IEncoderCatalog& encoders = NoEncoders());

// The output name with its extension switched to the one the plan proposes
// for a join with (copy) or without recompression; a blank name stays.
std::string SwitchOutputExtension(const std::string& name, const TJoinPlan& plan, bool copy);

// Empty when the output's name fits what the plan's route writes (a name
// without an extension fits); else what to name it, in words: "This join
// writes an AVI file: name the output .avi, not .mp4".
std::string OutputExtensionProblem(const TJoinPlan& plan, const std::string& output);

}  // namespace vantrel
