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
  TMediaDet det;
  det.MeasureUnstatedLengths = measureLengths;
  DSCheck(det.put_Filename(fileName));
  int32_t count = 0;
  DSCheck(det.get_OutputStreams(&count));
  for (int32_t i = 0; i < count; ++i) {
    DSCheck(det.put_CurrentStream(i));
    double length = 0;
    DSCheck(det.get_StreamLength(&length));
    if (length > info.Duration) info.Duration = length;
    TDetMediaType mt;
    DSCheck(det.get_StreamMediaType(&mt));
    // With several streams of a kind, the last one wins.
    if (mt.MajorType == TMajorType::Video) {
      DSCheck(det.get_FrameRate(&info.FrameRate));
      info.Width = static_cast<uint16_t>(mt.Video.biWidth & 0xFFFF);
      info.Height = static_cast<uint16_t>(mt.Video.biHeight & 0xFFFF);
      info.VideoFourCC = info.MediaType == kMediaAVI ? mt.Video.biCompression : 0;
    } else if (mt.MajorType == TMajorType::Audio) {
      info.HasAudio = true;
      info.Channels = static_cast<uint8_t>(mt.Audio.nChannels & 0xFF);
      info.SampleRate = static_cast<int32_t>(mt.Audio.nSamplesPerSec);
      info.BitsPerSample = static_cast<int16_t>(mt.Audio.wBitsPerSample);
      info.AudioFormatTag = mt.Audio.wFormatTag;
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
