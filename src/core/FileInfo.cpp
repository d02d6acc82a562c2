// Media type detection by file signature, and the header-only description.
#include "core/FileInfo.h"

#include "avi/AVIProbe.h"
#include "base/PosixFile.h"
#include "mpeg/MPEGProbe.h"

namespace vantrel {

uint8_t DetectFormatFromSignature(const uint8_t* b, size_t count) {
  if (count < 20) return kFormatUnknown;
  uint8_t code = kFormatUnknown;
  switch (b[0]) {
    case 0x00:
      if (b[1] == 0x00 && b[2] == 0x01) {
        // A pack header: MPEG-1 has '0010' where MPEG-2 has '01' in the
        // byte after the start code.
        if (b[3] == 0xBA)
          code = (b[4] & 0xC0) == 0 ? kFormatMPEG1System : kFormatMPEG2Program;
        else if (b[3] == 0xB3)  // a video sequence header
          code = kFormatMPEGVideo;
      }
      break;
    case 0x30:  // the ASF header object's GUID
      if (b[1] == 0x26 && b[2] == 0xB2 && b[3] == 0x75 && b[4] == 0x8E && b[5] == 0x66 && b[6] == 0xCF)
        code = kFormatASF;
      break;
    case 0x52:  // "RIFF" .... "AVI"
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

bool NativeProbe(const std::string& fileName, TVideoFileInfo& info) {
  TVideoFileInfo i;
  try {
    i.FileName = fileName;
    // The signature and an AVI file's headers from one opening.
    TFile f = TFile::OpenRead(fileName);
    uint8_t sig[20];
    const uint8_t code = DetectFormatFromSignature(sig, f.ReadAt(sig, sizeof sig, 0));
    i.MediaType = MediaTypeOfFormat(code);
    bool ok = false;
    if (code == kFormatAVI)
      ok = DescribeAVIFile(std::move(f), i);
    else if (code == kFormatMPEGVideo || code == kFormatMPEG1System)
      ok = DescribeMPEGFile(fileName, i);
    if (!ok) return false;
  } catch (const std::exception&) {
    return false;
  }
  info = i;
  return true;
}

}  // namespace vantrel
