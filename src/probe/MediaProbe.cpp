// The probe of any file: opened once, its signature and EBML header from its
// first bytes, an AVI file's headers and a program stream's clock from the
// same handle, and everything else from the media detector reading through
// it too.
#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "avi/AVIProbe.h"
#include "ffmpeg/MediaDet.h"
#include "mpeg/ProgramStreamClock.h"
#include "probe/FileInfo.h"

namespace vantrel {

namespace {

}  // namespace

void AskContainers(TStreamFormat& s) {
  const AVCodecDescriptor* d = s.Codec.empty() ? nullptr : avcodec_descriptor_get_by_name(s.Codec.c_str());
  if (!d) return;
  for (const TContainer& c : Containers()) {
    if (!c.Copies()) continue;
    const AVOutputFormat* muxer = av_guess_format(c.CopyMuxer, nullptr, nullptr);
    const int answer = muxer ? avformat_query_codec(muxer, d->id, FF_COMPLIANCE_NORMAL) : -1;
    const uint64_t bit = uint64_t{1} << static_cast<unsigned>(c.Id);
    if (answer == 1) s.Holders |= bit;
    if (answer == 0 || !muxer) s.Refusers |= bit;
  }
}

namespace {

void TakeDetected(TVideoFileInfo& info, const TDetected& found, const std::string& docType) {
  const TContainer* container = ContainerOfDemuxer(found.Demuxer, found.MajorBrand, docType);
  info.Container = container ? container->Id : TContainerId::Unknown;
  info.ContainerName = container ? container->Name : found.Demuxer;
  info.Streams = found.Formats;
  for (TStreamFormat& s : info.Streams) AskContainers(s);
  bool audioSeen = false;
  for (const TDetStream& s : found.Streams) {
    if (s.Length > info.Duration) info.Duration = s.Length;
    // With several streams of a kind, the last one wins.
    if (s.Type.MajorType == TMajorType::Video) {
      info.FrameRate = s.FrameRate;
      info.Width = static_cast<uint16_t>(s.Type.Video.biWidth & 0xFFFF);
      info.Height = static_cast<uint16_t>(s.Type.Video.biHeight & 0xFFFF);
      info.VideoFourCC = info.MediaType == kMediaAVI ? s.Type.Video.biCompression : 0;
      info.DisplayWidth = static_cast<uint16_t>(std::clamp(s.DisplayWidth, 0, 65535));
      info.DisplayHeight = static_cast<uint16_t>(std::clamp(s.DisplayHeight, 0, 65535));
    } else if (s.Type.MajorType == TMajorType::Audio && !audioSeen) {
      // The first audio stream describes the sound: it is the one the AVI
      // joiner copies and players start with.
      audioSeen = true;
      info.HasAudio = true;
      info.Channels = static_cast<uint8_t>(s.Type.Audio.nChannels & 0xFF);
      info.SampleRate = static_cast<int32_t>(s.Type.Audio.nSamplesPerSec);
      info.BitsPerSample = static_cast<int16_t>(s.Type.Audio.wBitsPerSample);
      info.AudioFormatTag = s.Type.Audio.wFormatTag;
    }
  }
}

}  // namespace

TVideoFileInfo ProbeFile(TFile file, const std::string& fileName, bool measureLengths) {
  TVideoFileInfo info;
  info.FileName = fileName;
  uint8_t head[kHeadBytes];
  const size_t n = file.ReadAt(head, sizeof head, 0);
  info.FormatCode = DetectFormatFromSignature(head, n);
  info.MediaType = MediaTypeOfFormat(info.FormatCode);
  info.FileSize = file.Size();
  // The AVI copy join decides on the file's own headers, whoever describes
  // it for the list.
  if (info.FormatCode == kFormatAVI) {
    TAviDescription headers;
    if (DescribeAVIFile(file.Duplicate(), headers)) info.AviHeaders = headers.Headers;
  }
  // Where a program stream's clock starts and ends tells the pieces of one
  // stream (a DVD title's VOB files) from separate recordings.
  if (info.FormatCode == kFormatMPEG2Program) ReadProgramStreamClock(file, info.StreamClock);
  // Matroska and WebM share a demuxer; the file's own DocType tells them
  // apart, whatever its name.
  const std::string docType = MatroskaDocType(head, n);
  TakeDetected(info, DetectStreams(std::move(file), fileName, measureLengths), docType);
  return info;
}

void TVideoFileInfo::ReadInfo(const std::string& fileName, bool measureLengths) {
  *this = ProbeFile(TFile::OpenRead(fileName), fileName, measureLengths);
}

TVideoFileInfo GetVideoFileInfo(const std::string& fileName, bool measureLengths) {
  TVideoFileInfo info;
  info.ReadInfo(fileName, measureLengths);
  return info;
}

}  // namespace vantrel
