// On-disk structures of RIFF AVI files with legacy ("idx1") and OpenDML
// ("indx", "ix##", "odml") indexes. All fields are little-endian.
#pragma once

#include <bit>
#include <cstdint>

namespace vantrel {

static_assert(std::endian::native == std::endian::little, "AVI structures are read in place");

using FOURCC = uint32_t;

// Four characters in file order; the first one is the lowest byte.
constexpr FOURCC FourCC(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

inline constexpr FOURCC ckRIFF = FourCC("RIFF");
inline constexpr FOURCC ckLIST = FourCC("LIST");
inline constexpr FOURCC ckJUNK = FourCC("JUNK");
inline constexpr FOURCC ckAVI = FourCC("AVI ");
inline constexpr FOURCC ckAVIX = FourCC("AVIX");
inline constexpr FOURCC ckHdrl = FourCC("hdrl");
inline constexpr FOURCC ckAvih = FourCC("avih");
inline constexpr FOURCC ckStrl = FourCC("strl");
inline constexpr FOURCC ckStrh = FourCC("strh");
inline constexpr FOURCC ckStrf = FourCC("strf");
inline constexpr FOURCC ckIndx = FourCC("indx");
inline constexpr FOURCC ckOdml = FourCC("odml");
inline constexpr FOURCC ckDmlh = FourCC("dmlh");
inline constexpr FOURCC ckMovi = FourCC("movi");
inline constexpr FOURCC ckRec = FourCC("rec ");
inline constexpr FOURCC ckIdx1 = FourCC("idx1");
inline constexpr FOURCC ckVids = FourCC("vids");
inline constexpr FOURCC ckAuds = FourCC("auds");
inline constexpr FOURCC ckIavs = FourCC("iavs");

inline constexpr uint32_t AVIF_HASINDEX = 0x10;
inline constexpr uint32_t AVIIF_KEYFRAME = 0x10;
inline constexpr uint8_t AVI_INDEX_OF_INDEXES = 0;
inline constexpr uint8_t AVI_INDEX_OF_CHUNKS = 1;

// A chunk's header: dwFourCC, dwSize.
inline constexpr uint32_t kChunkHeaderSize = 8;
// A list's header: "LIST" or "RIFF", dwSize, dwFourCC of the list's type.
inline constexpr uint32_t kListHeaderSize = 12;
// Bytes reserved for an "indx" chunk's data: 24 header bytes + 2044 entries.
inline constexpr uint32_t kSuperIndexReserve = 32728;
// Entries a stream may have in its super index.
inline constexpr uint32_t kMaxSuperIndexEntries = 2043;
// Headers, the first data chunk and "idx1" start on multiples of this.
inline constexpr int64_t kAlignment = 2048;
// Entries of one standard index chunk.
inline constexpr uint32_t kStdIndexEntries = 8000;
// A file part (RIFF chunk) stays below this size.
inline constexpr int64_t kRiffLimit = 1073741824;
// Inputs at or above this total (900 MiB) get OpenDML indexes as well.
inline constexpr int64_t kOpenDMLThreshold = int64_t{900} << 20;
inline constexpr uint32_t kDmlhSize = 248;

#pragma pack(push, 1)

struct AVIMAINHEADER {
  uint32_t dwMicroSecPerFrame;
  uint32_t dwMaxBytesPerSec;
  uint32_t dwPaddingGranularity;
  uint32_t dwFlags;
  uint32_t dwTotalFrames;
  uint32_t dwInitialFrames;
  uint32_t dwStreams;
  uint32_t dwSuggestedBufferSize;
  uint32_t dwWidth;
  uint32_t dwHeight;
  uint32_t dwReserved[4];
};
static_assert(sizeof(AVIMAINHEADER) == 56);

struct AVIRECT16 {
  int16_t left;
  int16_t top;
  int16_t right;
  int16_t bottom;
};

struct AVISTREAMHEADER {
  FOURCC fccType;
  FOURCC fccHandler;
  uint32_t dwFlags;
  uint16_t wPriority;
  uint16_t wLanguage;
  uint32_t dwInitialFrames;
  uint32_t dwScale;
  uint32_t dwRate;
  uint32_t dwStart;
  uint32_t dwLength;
  uint32_t dwSuggestedBufferSize;
  uint32_t dwQuality;
  uint32_t dwSampleSize;
  AVIRECT16 rcFrame;
};
static_assert(sizeof(AVISTREAMHEADER) == 56);

struct AVIINDEXENTRY {
  FOURCC ckid;
  uint32_t dwFlags;
  uint32_t dwChunkOffset;
  uint32_t dwChunkLength;
};
static_assert(sizeof(AVIINDEXENTRY) == 16);

// Common head of "indx" and "ix##" chunk data.
struct AVIINDEXHEADER {
  uint16_t wLongsPerEntry;
  uint8_t bIndexSubType;
  uint8_t bIndexType;
  uint32_t nEntriesInUse;
  FOURCC dwChunkId;
};

struct AVISUPERINDEXHEADER {
  uint16_t wLongsPerEntry;
  uint8_t bIndexSubType;
  uint8_t bIndexType;
  uint32_t nEntriesInUse;
  FOURCC dwChunkId;
  uint32_t dwReserved[3];
};
static_assert(sizeof(AVISUPERINDEXHEADER) == 24);

struct AVISUPERINDEXENTRY {
  uint64_t qwOffset;
  uint32_t dwSize;
  uint32_t dwDuration;
};
static_assert(sizeof(AVISUPERINDEXENTRY) == 16);

struct AVISTDINDEXHEADER {
  uint16_t wLongsPerEntry;
  uint8_t bIndexSubType;
  uint8_t bIndexType;
  uint32_t nEntriesInUse;
  FOURCC dwChunkId;
  uint64_t qwBaseOffset;
  uint32_t dwReserved3;
};
static_assert(sizeof(AVISTDINDEXHEADER) == 24);

struct AVISTDINDEXENTRY {
  uint32_t dwOffset;
  uint32_t dwSize;  // bit 31 set: not a key frame
};
inline constexpr uint32_t kStdIndexNotKeyFrame = 0x80000000u;
static_assert(sizeof(AVISTDINDEXENTRY) == 8);

#pragma pack(pop)

// BITMAPINFOHEADER fields used (offsets into "strf" of a video stream).
inline constexpr uint32_t kBiWidthOffset = 4;
inline constexpr uint32_t kBiHeightOffset = 8;
inline constexpr uint32_t kBiCompressionOffset = 16;
inline constexpr uint32_t kBitmapInfoHeaderSize = 40;
// WAVEFORMATEX fields (offsets into "strf" of an audio stream).
inline constexpr uint32_t kWfFormatTagOffset = 0;       // wFormatTag
inline constexpr uint32_t kWfChannelsOffset = 2;        // nChannels
inline constexpr uint32_t kWfSamplesPerSecOffset = 4;   // nSamplesPerSec
inline constexpr uint32_t kWfAvgBytesPerSecOffset = 8;  // nAvgBytesPerSec
inline constexpr uint32_t kBlockAlignOffset = 12;       // nBlockAlign
inline constexpr uint32_t kWfBitsPerSampleOffset = 14;  // wBitsPerSample
// PCMWAVEFORMAT: the fields above, without cbSize.
inline constexpr uint32_t kWaveFormatSize = 16;

inline bool IsVideoType(FOURCC t) { return t == ckVids || t == ckIavs; }

}  // namespace vantrel
