// What a front end asks of a join, and the one interface every engine
// offers the join plan: "do you join these probed files, and how; if not,
// why" and "join them, reporting to this progress".
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "base/VideoFileInfo.h"
#include "recompress/RecompressSettings.h"

namespace vantrel {

// Which way the user asked the files to be joined.
enum class TJoinRoute {
  Auto,        // without recompression when the files allow it with their sound
  Copy,        // without recompression, or not at all
  Recompress,  // decode and re-encode
  Smart,       // copy the files most of the time is in, re-encode the others to match, or not at all
};

// An encoder by its libavcodec name, with the option values it is to be
// opened with ("b", "crf", "preset", ...). An empty name: uncompressed.
struct TEncoderChoice {
  std::string Encoder;
  std::map<std::string, std::string> Options;
};

// A join as a front end asks for it: the files in join order with their
// probe results, the output, the options every engine reads, and the
// recompression's settings as numbers and encoder names. Each front end
// converts its own widgets or arguments into this.
struct TJoinRequest {
  std::vector<TVideoFileInfo> Files;
  std::string OutputFileName;
  TJoinRoute Route = TJoinRoute::Auto;
  // Asked for by the user; the plan may leave the sound out on its own.
  bool WithoutSound = false;
  // MPEG-1 only: shift clock references and time stamps so that every file
  // continues the previous one. Off, each file's timeline starts again,
  // which players show as a fraction of the length and cannot seek in.
  bool CorrectTimeStamps = true;
  // AVI only: chunk for chunk under the first file's headers, without the
  // padding and cutting that keep each file's sound with its video.
  bool ExactCopy = false;
  // Joins without recompression: read every packet of the output back, not
  // only its index, before saying it is as written.
  bool VerifyFully = false;

  // Recompression only.
  TRecompressSettings Recompress;
  TEncoderChoice VideoEncoder;
  TEncoderChoice AudioEncoder;
  // A file of the output's name may be replaced (the user agreed); without,
  // one that appears during the join is kept and the join fails.
  bool Overwrite = true;
};

// What an engine wrote and found when it read the output back.
struct TJoinReport {
  bool Counted = false;  // the packet counts below are set
  int64_t VideoPackets = 0;
  int64_t AudioPackets = 0;
  double Duration = -1;   // seconds of the output; negative when not known
  bool Verified = false;  // read back and matched what was written
  // An input gave less than it promised; Notes say which and how much.
  bool Damaged = false;
  std::vector<std::string> Notes;  // what was left out, and why
};

// How an engine treats the streams.
enum class TEngineKind {
  Copy,        // every packet copied, nothing decoded
  Recompress,  // everything decoded and re-encoded
  Mixed,       // some files copied, the others re-encoded to match them
};

// An engine's answer for a set of files, in the manner of a track that can
// or cannot be appended to another: it joins them (perhaps only without
// their sound), or it cannot because they are not of its format (another
// engine may take them) or because some parameter differs.
struct TEngineAnswer {
  enum TVerdict { Joins, JoinsWithoutSound, OtherFormat, OtherParameters };
  TVerdict Verdict = OtherFormat;
  // Why not, or why without sound: the first difference in words
  // ("File 2 (b.mp4): audio 44.1 kHz, the first file 48 kHz").
  std::string Reason;
  // What the user should know before the join (sync that cannot be kept).
  std::vector<std::string> Notes;
  // The extension of what it writes for these files (".avi", ".mp4").
  std::string Extension;
  // An engine that copies some files and re-encodes others: by file,
  // whether it re-encodes it.
  std::vector<bool> Reencoded;
  bool Accepts() const { return Verdict == Joins || Verdict == JoinsWithoutSound; }
};

class IJoinEngine {
 public:
  virtual ~IJoinEngine() = default;
  virtual TEngineKind Kind() const = 0;
  // The answer for the request's files, output name and options (an empty
  // output name: not chosen yet).
  virtual TEngineAnswer Answer(const TJoinRequest& request) const = 0;
  // Joins what the plan settled (request.WithoutSound is the plan's
  // decision); returns on success and on cancel, raises on failure.
  virtual TJoinReport Join(const TJoinRequest& request, IProgress& progress) = 0;
};

// The engines a front end offers the job, in the order they are asked.
using TJoinEngines = std::vector<std::unique_ptr<IJoinEngine>>;

// The paths of the request's files, in join order.
std::vector<std::string> FileNames(const TJoinRequest& request);

}  // namespace vantrel
