// Helpers for Vantrel's tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "job/JoinCls.h"

namespace vantrel::test {

// A fresh folder under $TMPDIR, removed with its contents at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct CommandResult {
  int exitCode = -1;  // 128 + signal when killed by a signal
  std::string out;    // stdout
  std::string err;    // stderr
};

// Runs argv (no shell) and collects its output and exit status.
CommandResult Run(const std::vector<std::string>& argv);
// Runs a shell command line; for pipelines of ffmpeg tools.
CommandResult Shell(const std::string& commandLine);
bool HaveTool(const std::string& name);

std::string CliPath();

std::vector<uint8_t> ReadFileBytes(const std::string& path);
// The bytes a join has written so far: its output's size, or while it runs
// that of the hidden file beside the output it writes first; -1 for none.
int64_t BytesBeingWritten(const std::string& output);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
uint32_t GetLE32(const std::vector<uint8_t>& b, size_t pos);
uint16_t GetLE16(const std::vector<uint8_t>& b, size_t pos);
// Position of the first occurrence of a four-character code, or npos.
size_t FindFourCC(const std::vector<uint8_t>& b, const char* code, size_t from = 0);
size_t CountFourCC(const std::vector<uint8_t>& b, const char* code);

// Byte-level builder of RIFF files: chunks and lists appended in order, list
// sizes patched when the list is closed.
class RiffBuilder {
 public:
  RiffBuilder& Begin(const char* kind, const char* type);  // "RIFF"/"LIST"
  RiffBuilder& End();
  RiffBuilder& Chunk(const char* id, const std::vector<uint8_t>& data);
  RiffBuilder& Raw(const std::vector<uint8_t>& data);
  RiffBuilder& U32(uint32_t v);
  size_t Pos() const { return bytes_.size(); }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  // Closes every open list.
  std::vector<uint8_t> Finish();

 private:
  std::vector<uint8_t> bytes_;
  std::vector<size_t> open_;
};

std::vector<uint8_t> LE32(uint32_t v);
std::vector<uint8_t> LE16(uint16_t v);
std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts);
std::vector<uint8_t> Text(const char* s);

// 56-byte stream header and formats for building test files.
std::vector<uint8_t> StreamHeader(const char* type, const char* handler, uint32_t scale, uint32_t rate,
                                  uint32_t sampleSize, uint32_t length = 0);
std::vector<uint8_t> BitmapInfo(int32_t width, int32_t height, const char* compression);
std::vector<uint8_t> WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits);

// What an engine reported, and when to ask it to stop.
struct ProgressLog {
  std::vector<double> percents;
  std::vector<std::string> stages;
  int cancelledCalls = 0;
  std::function<bool(const ProgressLog&)> cancelWhen;
};

// Progress that records into log what the engine reports and cancels when
// its predicate says so; asked at every check.
class Recorder final : public IProgress {
 public:
  explicit Recorder(ProgressLog& log) : log_(log) {}
  void SetProgress(double p) override { log_.percents.push_back(p); }
  void SetStage(const std::string& stage) override { log_.stages.push_back(stage); }
  int CancelInterval() const override { return 0; }
  bool Cancelled() override;

 private:
  ProgressLog& log_;
  bool cancelled_ = false;
};

// A file as the probe on the media framework describes it, made by hand:
// its container (as the registry names it), one video stream, a sound
// stream unless audio is false, and a subtitle stream where one is asked.
struct ClipSpec {
  std::string name;
  std::string container = "MP4";
  double seconds = 10;
  int width = 1920, height = 1080;
  std::string codec = "h264";
  std::string pixels = "yuv420p";
  std::string profile = "High";
  int rateNum = 25, rateDen = 1;
  std::vector<uint8_t> sets = {0xA1};
  bool audio = true;
  int sampleRate = 48000;
  std::string audioCodec = "aac";
  std::string subtitle;  // its codec; empty: none
  std::string mediaType = "DirectShow";
};
TVideoFileInfo ProbedClip(const ClipSpec& c);

// The plan of the request with this machine's encoders, and the join of
// that plan, as the front ends make and run them.
TJoinPlan Plan(const TJoinRequest& request);
TJoinOutcome Join(const TJoinRequest& request, IProgress* progress = nullptr);

// ffprobe: one line per packet, "stream_index,size,flags", in file order.
std::vector<std::string> ProbePackets(const std::string& file);
// ffmpeg framemd5 hashes of every packet of a stream type ('v' or 'a'), in order.
std::vector<std::string> PacketHashes(const std::string& file, char type);

}  // namespace vantrel::test
