// Installs the FFmpeg-based media services into the engines.
#include "dshow/MediaInstall.h"

#include "core/FileInfo.h"
#include "core/JoinCls.h"
#include "dshow/DSErrors.h"
#include "dshow/DSJoin.h"
#include "dshow/MediaDet.h"

namespace vantrel {
namespace {

// The detector's part of TVideoFileInfo::ReadInfo.
void ReadDetectorInfo(TVideoFileInfo& info, const std::string& fileName, bool measureLengths) {
  for (const TDetStream& s : DetectStreams(fileName, measureLengths)) {
    if (s.Length > info.Duration) info.Duration = s.Length;
    // With several streams of a kind, the last one wins.
    if (s.Type.MajorType == TMajorType::Video) {
      info.FrameRate = s.FrameRate;
      info.Width = static_cast<uint16_t>(s.Type.Video.biWidth & 0xFFFF);
      info.Height = static_cast<uint16_t>(s.Type.Video.biHeight & 0xFFFF);
      info.VideoFourCC = info.MediaType == kMediaAVI ? s.Type.Video.biCompression : 0;
    } else if (s.Type.MajorType == TMajorType::Audio) {
      info.HasAudio = true;
      info.Channels = static_cast<uint8_t>(s.Type.Audio.nChannels & 0xFF);
      info.SampleRate = static_cast<int32_t>(s.Type.Audio.nSamplesPerSec);
      info.BitsPerSample = static_cast<int16_t>(s.Type.Audio.wBitsPerSample);
      info.AudioFormatTag = s.Type.Audio.wFormatTag;
    }
  }
}

void RunRecompressingJoin(const TRecompressRequest& r) {
  TDSVideoJoiner joiner;
  joiner.Files = r.Files;
  joiner.OutputFileName = r.OutputFileName;
  joiner.FrameWidth = r.FrameWidth;
  joiner.FrameHeight = r.FrameHeight;
  joiner.FrameRate = r.FrameRate;
  if (r.ResizeMethod >= 0) joiner.ResizeMethod = r.ResizeMethod;
  if (r.OnProgress)
    joiner.OnProgress = [&r](TDSVideoJoiner&, bool& cancel, double percent) { r.OnProgress(cancel, percent); };
  joiner.VideoCompressor = GetCompressorFilter(r.VideoCompressors, r.VideoCompressorIndex);
  joiner.AudioCompressor = GetCompressorFilter(r.AudioCompressors, r.AudioCompressorIndex);
  joiner.Join();
}

}  // namespace

void InstallMediaServices() {
  SetFileProber(ReadDetectorInfo);
  SetRecompressingJoin(RunRecompressingJoin);
}

}  // namespace vantrel
