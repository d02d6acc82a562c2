// Media type detection by file signature, and probe result comparison.
#include "core/FileInfo.h"

#include "core/PosixFile.h"
#include "core/Exceptions.h"

#include <utility>

namespace vantrel {

uint8_t DetectFormatFromSignature(const uint8_t* b, size_t count) {
  if (count < 20) return kFormatUnknown;
  uint8_t code = kFormatUnknown;
  switch (b[0]) {
    case 0x00:
      if (b[1] == 0x00 && b[2] == 0x01) {
        if (b[3] == 0xBA)
          code = (b[4] & 0xC0) == 0 ? kFormatMPEG1System : kFormatMPEG2Program;
        else if (b[3] == 0xB3)
          code = kFormatMPEGVideo;
      }
      break;
    case 0x30:
      if (b[1] == 0x26 && b[2] == 0xB2 && b[3] == 0x75 && b[4] == 0x8E && b[5] == 0x66 && b[6] == 0xCF)
        code = kFormatASF;
      break;
    case 0x52:
      if (b[1] == 0x49 && b[2] == 0x46 && b[3] == 0x46 && b[8] == 0x41 && b[9] == 0x56 && b[10] == 0x49)
        code = kFormatAVI;
      break;
    default:
      break;
  }
  // ".RMF": byte 0 is not looked at.
  if (code == kFormatUnknown && b[1] == 0x52 && b[2] == 0x4D && b[3] == 0x46) code = kFormatRealMedia;
  return code;
}

uint8_t DetectFileFormat(const std::string& fileName) {
  TFile f = TFile::OpenRead(fileName);
  uint8_t sig[20];
  size_t n = f.ReadAt(sig, sizeof sig, 0);
  return DetectFormatFromSignature(sig, n);
}

const char* MediaTypeOfFormat(uint8_t code) {
  switch (code) {
    case kFormatAVI: return kMediaAVI;
    case kFormatMPEGVideo:
    case kFormatMPEG1System: return kMediaMPEG1;
    case kFormatMPEG2Program: return kMediaMPEG2;
    case kFormatASF: return kMediaWMV;
    case kFormatRealMedia: return kMediaRealMedia;
    default: return kMediaDirectShow;
  }
}

std::string GetMediaType(const std::string& fileName) { return MediaTypeOfFormat(DetectFileFormat(fileName)); }

namespace {

TFileProber& Prober() {
  static TFileProber prober;
  return prober;
}

}  // namespace

void SetFileProber(TFileProber prober) { Prober() = std::move(prober); }

void TVideoFileInfo::ReadInfo(const std::string& fileName, bool measureLengths) {
  FileName = fileName;
  MediaType = GetMediaType(fileName);
  Duration = 0;
  HasAudio = false;
  if (!Prober()) throw Exception("The media framework is not loaded");
  Prober()(*this, fileName, measureLengths);
}

TVideoFileInfo GetVideoFileInfo(const std::string& fileName, bool measureLengths) {
  TVideoFileInfo info;
  info.ReadInfo(fileName, measureLengths);
  return info;
}

bool TVideoFileInfo::SameVideo(const TVideoFileInfo& other) {
  TypeDiffers = MediaType != other.MediaType || VideoFourCC != other.VideoFourCC;
  FrameSizeDiffers = Width != other.Width || Height != other.Height;
  // Exact comparison on purpose: equal rates come from the same fraction.
  FrameRateDiffers = FrameRate != other.FrameRate;
  return !TypeDiffers && !FrameSizeDiffers && !FrameRateDiffers;
}

bool TVideoFileInfo::SameAudio(const TVideoFileInfo& other) const {
  return HasAudio == other.HasAudio && Channels == other.Channels && SampleRate == other.SampleRate &&
         BitsPerSample == other.BitsPerSample && AudioFormatTag == other.AudioFormatTag;
}

}  // namespace vantrel
