// Media type detection by file signature, and the header-only description.
#include "probe/FileInfo.h"

#include <algorithm>

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

// What the AVI and MPEG-1 headers both describe.
template <class TDescription>
void TakeCommon(const TDescription& d, TVideoFileInfo& info) {
  info.Width = d.Width;
  info.Height = d.Height;
  info.FrameRate = d.FrameRate;
  info.HasAudio = d.HasAudio;
  info.AudioFormatTag = d.AudioFormatTag;
  info.Channels = d.Channels;
  info.SampleRate = d.SampleRate;
  info.BitsPerSample = d.BitsPerSample;
}

void TakeDescription(const TAviDescription& d, TVideoFileInfo& info) {
  TakeCommon(d, info);
  info.VideoFourCC = d.VideoFourCC;
  info.AviHeaders = d.Headers;
}

void TakeDescription(const TMpegDescription& d, TVideoFileInfo& info) { TakeCommon(d, info); }

bool NativeProbe(const std::string& fileName, TVideoFileInfo& info) {
  try {
    return NativeProbe(TFile::OpenRead(fileName), fileName, info);
  } catch (const std::exception&) {
    return false;
  }
}

bool NativeProbe(TFile file, const std::string& fileName, TVideoFileInfo& info) {
  TVideoFileInfo i;
  try {
    i.FileName = fileName;
    // The signature and the headers from one opening.
    uint8_t sig[20];
    i.FormatCode = DetectFormatFromSignature(sig, file.ReadAt(sig, sizeof sig, 0));
    i.MediaType = MediaTypeOfFormat(i.FormatCode);
    i.FileSize = file.Size();
    bool ok = false;
    if (i.FormatCode == kFormatAVI) {
      TAviDescription d;
      ok = DescribeAVIFile(std::move(file), d);
      if (ok) TakeDescription(d, i);
    } else if (i.FormatCode == kFormatMPEGVideo || i.FormatCode == kFormatMPEG1System) {
      TMpegDescription d;
      ok = DescribeMPEGFile(std::move(file), fileName, d);
      if (ok) TakeDescription(d, i);
    }
    if (!ok) return false;
  } catch (const std::exception&) {
    return false;
  }
  info = i;
  return true;
}

namespace {

// An EBML variable-length integer at b[at] (at most 8 bytes): its length and
// value, the marker bit removed; 0 length when there is none.
size_t ReadVint(const uint8_t* b, size_t n, size_t at, uint64_t& value) {
  if (at >= n || b[at] == 0) return 0;
  size_t len = 1;
  while (!(b[at] & (0x80 >> (len - 1)))) ++len;
  if (at + len > n) return 0;
  value = b[at] & (0xFF >> len);
  for (size_t k = 1; k < len; ++k) value = value << 8 | b[at + k];
  return len;
}

}  // namespace

std::string MatroskaDocType(const uint8_t* b, size_t n) {
  // EBML (1A 45 DF A3), its size, then its children: DocType is 42 82.
  if (n < 4 || b[0] != 0x1A || b[1] != 0x45 || b[2] != 0xDF || b[3] != 0xA3) return "";
  uint64_t size = 0;
  size_t at = 4, len = ReadVint(b, n, at, size);
  if (len == 0) return "";
  at += len;
  const size_t end = static_cast<size_t>(std::min<uint64_t>(n, at + size));
  while (at + 2 < end) {
    // Element ids keep their marker bit; the header's are two bytes but for
    // Void and CRC-32, one byte and four.
    size_t idLen = b[at] & 0x80 ? 1 : b[at] & 0x40 ? 2 : b[at] & 0x20 ? 3 : 4;
    const bool docType = idLen == 2 && b[at] == 0x42 && b[at + 1] == 0x82;
    at += idLen;
    uint64_t bytes = 0;
    len = ReadVint(b, end, at, bytes);
    if (len == 0 || bytes > end - at - len) return "";
    at += len;
    if (docType) {
      std::string s(reinterpret_cast<const char*>(b + at), static_cast<size_t>(bytes));
      s.erase(std::find(s.begin(), s.end(), '\0'), s.end());
      return s;
    }
    at += static_cast<size_t>(bytes);
  }
  return "";
}

}  // namespace vantrel
