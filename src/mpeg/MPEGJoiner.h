// Joins MPEG-1 files without recompression: system streams unit by unit
// (only the first file's system headers, no end codes), anything else byte
// for byte.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "base/PosixFile.h"
#include "base/Progress.h"
#include "mpeg/FrameCount.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGTimeCorrect.h"

namespace vantrel {

class TMPEGJoiner {
 public:
  std::vector<std::string> Files;
  std::string OutputFileName;
  bool WithoutSound = false;
  double FrameRate = 0;
  bool CorrectTimeStamps = false;
  // Every file was found to hold video when it was described: the join
  // without sound need not look for it.
  bool VideoKnown = false;

  // Returns normally on success and on cancel; raises on failure. The output
  // is closed in every case and keeps what was written. Each input is opened
  // once. Without a progress object, nothing is reported and nothing stops it.
  void Run();
  void Run(IProgress& progress);

  int64_t TotalSize() const { return total_size_; }
  int64_t Processed() const { return processed_; }
  // System-stream packets written, by kind; Counted() is false when some
  // output was written otherwise (video elementary streams, or video only).
  int64_t VideoPackets() const { return video_packets_; }
  int64_t AudioPackets() const { return audio_packets_; }
  // What those packets carry: pictures and sound frames, every stream's.
  int64_t Pictures() const;
  int64_t AudioFrames() const;
  bool Counted() const { return counted_; }
  // One note per system stream that ended inside a unit: cut short, or
  // shrunk while it was joined ("File 1 (a.mpg) is damaged: it could be
  // read for 00:03 only").
  const std::vector<std::string>& DamagedNotes() const { return damaged_; }

 private:
  void JoinFiles();
  void CalcTotalSize();
  void CheckSomethingToWrite() const;
  void CopySystemStream(size_t index, TFile in, TOutputStream& output);
  void CopyUnit(TMPEG1SystemReader& reader, TOutputStream& output);
  void ThrowUnlessShrunk(size_t index, const TFile& kept, int64_t fileSize, const Exception& e) const;
  void CopyRaw(size_t index, const TFile& in, TOutputStream& output);
  void Report();

  IProgress* progress_ = nullptr;
  TJoinLoop* loop_ = nullptr;  // the run's, while the inputs are copied
  int64_t total_size_ = 1;
  int64_t processed_ = 0;
  bool cancelled_ = false;
  int64_t video_packets_ = 0, audio_packets_ = 0;
  std::array<TPictureCounter, kLastVideoStream - kFirstVideoStream + 1> pictures_;
  std::array<TAudioFrameCounter, kFirstVideoStream - kFirstAudioStream> audioFrames_;
  bool counted_ = true;
  std::vector<std::string> damaged_;
  TTimeCorrection correction_;
};

// 1: the file starts with a pack start code, 2: with a video sequence header,
// 0: anything else (fewer than four bytes included). Raises "Cannot open file".
uint8_t GetMPEGStartCode(const std::string& fileName);
uint8_t GetMPEGStartCode(const TFile& file);
// True when a system stream holds a packet of a video stream (0xE0 to 0xEF).
bool HasVideoPackets(const std::string& fileName);

}  // namespace vantrel
