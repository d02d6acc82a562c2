// AVI writer.
#include "avi/AVIWrite.h"

#include <algorithm>
#include <cstring>

#include "avi/AVIUtils.h"
#include "base/Exceptions.h"

namespace vantrel {
namespace {

void PutLE32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// The magnitude of a signed BITMAPINFOHEADER extent.
uint32_t FrameExtent(uint32_t field) {
  const int64_t v = static_cast<int32_t>(field);
  return static_cast<uint32_t>(v < 0 ? -v : v);
}

}  // namespace

TAVIFileWriter::TAVIFileWriter(size_t bufferSize) : out_(bufferSize) {}

TAVIFileWriter::~TAVIFileWriter() { Discard(); }

int64_t TAVIFileWriter::BeginList(FOURCC type, FOURCC kind) {
  int64_t p = out_.Position();
  uint8_t h[kListHeaderSize];
  PutLE32(h, kind);      // "RIFF" or "LIST"
  PutLE32(h + 4, 0);     // dwSize, patched when the list is closed
  PutLE32(h + 8, type);  // the list's type
  out_.Write(h, sizeof h);
  return p;
}

void TAVIFileWriter::PatchSize(int64_t pos) {
  uint32_t size = static_cast<uint32_t>(out_.Position() - pos - kChunkHeaderSize);
  out_.WriteAt(pos + 4, &size, 4);  // dwSize
}

void TAVIFileWriter::WriteChunkRaw(FOURCC id, const void* data, uint32_t size) {
  uint8_t h[kChunkHeaderSize];
  PutLE32(h, id);        // dwFourCC
  PutLE32(h + 4, size);  // dwSize
  out_.Write(h, sizeof h);
  out_.Write(data, size);
  if (size & 1) out_.WriteZeros(1);  // chunks start on even positions
}

void TAVIFileWriter::PadTo(int64_t target) {
  int64_t gap = target - out_.Position();
  if (gap <= 0) return;
  // No filler fits a gap smaller than a chunk header: go on to the next
  // boundary instead.
  if (gap < kChunkHeaderSize) gap += kAlignment;
  uint8_t h[kChunkHeaderSize];
  PutLE32(h, ckJUNK);                                                    // dwFourCC
  PutLE32(h + 4, static_cast<uint32_t>(gap - kChunkHeaderSize));  // dwSize
  out_.Write(h, sizeof h);
  out_.WriteZeros(static_cast<size_t>(gap - kChunkHeaderSize));
}

void TAVIFileWriter::ResetSlots() {
  for (TStreamSlot& s : slots_) s = TStreamSlot();
}

void TAVIFileWriter::Open(const std::string& fileName, uint32_t mainFlags) {
  Discard();
  out_.Create(fileName);
  parts_ = 1;
  riff_pos_ = BeginList(ckAVI, ckRIFF);
  hdrl_pos_ = BeginList(ckHdrl, ckLIST);
  std::memset(&main_header_, 0, sizeof main_header_);
  main_header_.dwFlags = mainFlags;
  WriteChunkRaw(ckAvih, &main_header_, sizeof main_header_);
  dmlh_data_.fill(0);
  dmlh_pos_ = -1;
  legacy_index_.SetSize(0);
  ResetSlots();
  headers_open_ = true;
  main_stream_ = -1;
  first_riff_ = true;
  pending_id_ = -1;
}

void TAVIFileWriter::AddStream(int id, const AVISTREAMHEADER& header, uint32_t formatSize, const void* format) {
  AVISTREAMHEADER h = header;
  if (id < 0 || id > kMaxStreamId) throw Exception("Abnormal stream id (must be 0..99)");
  TStreamSlot& slot = slots_[static_cast<size_t>(id)];
  if (slot.ChunkId != 0) throw Exception("Not unique stream id");
  if (!headers_open_) throw Exception("Headers was already closed");
  if (formatSize > 0 && !format) formatSize = 0;
  const auto* fmt = static_cast<const uint8_t*>(format);

  h.dwLength = 0;
  if (h.fccType == ckVids && formatSize >= kBitmapInfoHeaderSize) {
    h.rcFrame.left = 0;
    h.rcFrame.top = 0;
    // A negative biHeight means rows stored top-down; the frame is as high
    // as its magnitude.
    h.rcFrame.right = static_cast<int16_t>(FrameExtent(ReadLE32(fmt + kBiWidthOffset)) & 0xFFFF);
    h.rcFrame.bottom = static_cast<int16_t>(FrameExtent(ReadLE32(fmt + kBiHeightOffset)) & 0xFFFF);
  }

  int64_t p = BeginList(ckStrl, ckLIST);
  slot.HeaderPos = out_.Position() + 8;
  WriteChunkRaw(ckStrh, &h, sizeof h);
  slot.FormatPos = out_.Position() + kChunkHeaderSize;
  slot.FormatSize = formatSize;
  WriteChunkRaw(ckStrf, fmt, formatSize);
  if (OpenDML()) {
    slot.SuperIndexPos = out_.Position();
    uint8_t hd[kChunkHeaderSize];
    PutLE32(hd, ckIndx);                  // dwFourCC
    PutLE32(hd + 4, kSuperIndexReserve);  // dwSize: room for the entries, filled at close
    out_.Write(hd, sizeof hd);
    out_.WriteZeros(kSuperIndexReserve);
  }
  PatchSize(p);

  uint32_t n = main_header_.dwStreams;
  std::string number = std::to_string(n);
  if (number.size() == 1) number = "0" + number;
  slot.ChunkId = MakeFourCC(number + (IsVideoType(h.fccType) ? "dc" : "wb"));
  slot.SampleSize = h.dwSampleSize;
  slot.Header = h;
  main_header_.dwStreams = n + 1;

  if (main_stream_ == -1 && IsVideoType(h.fccType)) {
    // A stream without a rate has no frame time; 0 says "unknown".
    main_header_.dwMicroSecPerFrame =
        h.dwRate == 0 ? 0
                      : static_cast<uint32_t>((static_cast<uint64_t>(h.dwScale) * 1000000u + h.dwRate / 2) / h.dwRate);
    if (h.fccType == ckVids) {
      if (formatSize < kBitmapInfoHeaderSize) throw Exception("Invalid video format");
      main_header_.dwWidth = FrameExtent(ReadLE32(fmt + kBiWidthOffset));
      main_header_.dwHeight = FrameExtent(ReadLE32(fmt + kBiHeightOffset));
    } else {
      main_header_.dwWidth = static_cast<uint32_t>(static_cast<int32_t>(h.rcFrame.right));
      main_header_.dwHeight = static_cast<uint32_t>(static_cast<int32_t>(h.rcFrame.bottom));
    }
    main_stream_ = id;
  }
  if (OpenDML()) {
    slot.SuperIndex = std::make_unique<TMemoryBuf>();
    slot.StdIndex = std::make_unique<TMemoryBuf>();
  }
}

void TAVIFileWriter::SetAverageRateAtClose(int id) {
  if (id < 0 || id > kMaxStreamId || slots_[static_cast<size_t>(id)].ChunkId == 0)
    throw Exception("Not initialized stream id");
  slots_[static_cast<size_t>(id)].PatchAverageRate = true;
}

void TAVIFileWriter::CloseHeaders() {
  if (OpenDML()) {
    int64_t q = BeginList(ckOdml, ckLIST);
    dmlh_pos_ = out_.Position();
    WriteChunkRaw(ckDmlh, dmlh_data_.data(), kDmlhSize);
    PatchSize(q);
  }
  PatchSize(hdrl_pos_);
  int64_t p = out_.Position();
  // The movi list header ends on a boundary, so the first data chunk starts
  // on one.
  PadTo(p + kAlignment - p % kAlignment - kListHeaderSize);
  movi_pos_ = BeginList(ckMovi, ckLIST);
  headers_open_ = false;
}

bool TAVIFileWriter::NeedNewRiff(uint32_t size) const {
  const int64_t part = out_.Position() - riff_pos_;
  // The chunk: header, data, pad byte.
  const int64_t chunk = kChunkHeaderSize + static_cast<int64_t>(static_cast<int32_t>(size)) + 1;
  // What closing the part writes after its last chunk: the filler before
  // "idx1" and "idx1" with this chunk's entry (first part only), and every
  // stream's standard index entries not flushed yet, this chunk's included.
  int64_t closing = 0;
  if (first_riff_ && Legacy())
    closing += kAlignment + kChunkHeaderSize + kChunkHeaderSize + static_cast<int64_t>(legacy_index_.Size()) +
               static_cast<int64_t>(sizeof(AVIINDEXENTRY));
  if (OpenDML()) {
    for (const TStreamSlot& s : slots_) {
      if (s.ChunkId == 0 || !s.StdIndex) continue;
      closing += kChunkHeaderSize + static_cast<int64_t>(sizeof(AVISTDINDEXHEADER)) + s.StdIndex->Size() +
                 static_cast<int64_t>(sizeof(AVISTDINDEXENTRY));
    }
  }
  return part + chunk + closing >= RiffLimit;
}

void TAVIFileWriter::FlushAllStdIndexes() {
  if (!OpenDML()) return;
  for (int id = 0; id <= kMaxStreamId; ++id) {
    TStreamSlot& s = slots_[static_cast<size_t>(id)];
    if (s.ChunkId != 0 && s.StdIndex && s.StdIndex->Size() > 0) FlushStdIndex(id);
  }
}

void TAVIFileWriter::StartNewRiff() {
  FlushAllStdIndexes();
  PatchSize(movi_pos_);
  if (first_riff_ && Legacy()) WriteLegacyIndex();
  PatchSize(riff_pos_);
  riff_pos_ = BeginList(ckAVIX, ckRIFF);
  movi_pos_ = BeginList(ckMovi, ckLIST);
  ++parts_;
  if (main_stream_ >= 0 && first_riff_)
    main_header_.dwTotalFrames = slots_[static_cast<size_t>(main_stream_)].ChunkCount;
  first_riff_ = false;
}

uint8_t* TAVIFileWriter::BeginChunk(int id, uint32_t size) {
  if (pending_id_ >= 0) CancelChunk();
  if (id < 0 || id > kMaxStreamId || slots_[static_cast<size_t>(id)].ChunkId == 0)
    throw Exception("Not initialized stream id");
  if (size > kMaxChunkSize) throw Exception("The chunk is too large for an AVI file");
  if (headers_open_) CloseHeaders();
  if (NeedNewRiff(size)) StartNewRiff();

  const TStreamSlot& slot = slots_[static_cast<size_t>(id)];
  pending_pos_ = out_.Position();
  size_t total = kChunkHeaderSize + static_cast<size_t>(size) + (size & 1);
  uint8_t* p = out_.Reserve(total);
  uint8_t* data;
  if (p) {
    PutLE32(p, slot.ChunkId);  // dwFourCC
    PutLE32(p + 4, size);      // dwSize
    if (size & 1) p[kChunkHeaderSize + size] = 0;
    pending_in_buffer_ = p;
    data = p + kChunkHeaderSize;
  } else {
    // Larger than the output buffer: stage it apart and write it directly.
    pending_in_buffer_ = nullptr;
    if (large_chunk_.size() < size) {
      large_chunk_.clear();
      large_chunk_.shrink_to_fit();
      large_chunk_.resize(size);
    }
    data = large_chunk_.data();
  }
  pending_id_ = id;
  pending_size_ = size;
  return data;
}

void TAVIFileWriter::CancelChunk() {
  pending_id_ = -1;
  pending_in_buffer_ = nullptr;
}

void TAVIFileWriter::EndChunk(bool keyFrame) {
  if (pending_id_ < 0) return;
  int id = pending_id_;
  uint32_t size = pending_size_;
  pending_id_ = -1;
  TStreamSlot& slot = slots_[static_cast<size_t>(id)];
  if (pending_in_buffer_) {
    out_.Commit(kChunkHeaderSize + static_cast<size_t>(size) + (size & 1));
    pending_in_buffer_ = nullptr;
  } else {
    WriteChunkRaw(slot.ChunkId, large_chunk_.data(), size);
  }
  if (first_riff_ && Legacy()) {
    const AVIINDEXENTRY e{.ckid = slot.ChunkId,
                          .dwFlags = keyFrame ? AVIIF_KEYFRAME : 0u,
                          .dwChunkOffset = static_cast<uint32_t>(pending_pos_),  // absolute
                          .dwChunkLength = size};
    legacy_index_.Append(&e, sizeof e);
  }
  if (OpenDML()) AddStdIndexEntry(id, size, keyFrame, pending_pos_ + kChunkHeaderSize);
  ++slot.ChunkCount;
  slot.TotalBytes += size;
  if (size > slot.MaxChunkSize) slot.MaxChunkSize = size;
}

void TAVIFileWriter::WriteChunk(int id, const void* data, bool keyFrame, uint32_t size) {
  uint8_t* dest = BeginChunk(id, size);
  if (size) std::memcpy(dest, data, size);
  EndChunk(keyFrame);
}

void TAVIFileWriter::AddStdIndexEntry(int id, uint32_t size, bool keyFrame, int64_t dataPos) {
  TStreamSlot& slot = slots_[static_cast<size_t>(id)];
  const AVISTDINDEXENTRY e{.dwOffset = static_cast<uint32_t>(dataPos - riff_pos_),  // from qwBaseOffset
                           .dwSize = keyFrame ? size : (size | kStdIndexNotKeyFrame)};
  slot.StdIndex->Append(&e, sizeof e);
  slot.PendingBytes += size;
  if (slot.StdIndex->Size() / sizeof e >= kStdIndexEntries) FlushStdIndex(id);
}

void TAVIFileWriter::FlushStdIndex(int id) {
  TStreamSlot& slot = slots_[static_cast<size_t>(id)];
  uint32_t n = slot.StdIndex->Size() / sizeof(AVISTDINDEXENTRY);
  int64_t p = out_.Position();
  const uint32_t stdIndexSize = kChunkHeaderSize + sizeof(AVISTDINDEXHEADER) + n * sizeof(AVISTDINDEXENTRY);
  const AVISUPERINDEXENTRY se{
      .qwOffset = static_cast<uint64_t>(p),
      .dwSize = stdIndexSize,
      .dwDuration = slot.SampleSize != 0 ? static_cast<uint32_t>(slot.PendingBytes / slot.SampleSize) : n};
  slot.SuperIndex->Append(&se, sizeof se);
  if (slot.SuperIndex->Size() / sizeof se >= kMaxSuperIndexEntries + 1) throw Exception("ODML index overflow");

  uint8_t h[kChunkHeaderSize];
  // dwFourCC "ix##", ## the stream's number.
  PutLE32(h, MakeFourCC(std::string("ix") + static_cast<char>(slot.ChunkId & 0xFF) +
                        static_cast<char>((slot.ChunkId >> 8) & 0xFF)));
  PutLE32(h + 4, stdIndexSize - kChunkHeaderSize);  // dwSize
  out_.Write(h, sizeof h);
  const AVISTDINDEXHEADER ih{.wLongsPerEntry = sizeof(AVISTDINDEXENTRY) / 4,
                             .bIndexSubType = 0,
                             .bIndexType = AVI_INDEX_OF_CHUNKS,
                             .nEntriesInUse = n,
                             .dwChunkId = slot.ChunkId,
                             .qwBaseOffset = static_cast<uint64_t>(riff_pos_),
                             .dwReserved3 = 0};
  out_.Write(&ih, sizeof ih);
  out_.Write(slot.StdIndex->Memory(), slot.StdIndex->Size());
  slot.PendingBytes = 0;
  slot.StdIndex->SetSize(0);
}

void TAVIFileWriter::WriteLegacyIndex() {
  int64_t p = out_.Position();
  PadTo(p + kAlignment - p % kAlignment);
  WriteChunkRaw(ckIdx1, legacy_index_.Memory(), legacy_index_.Size());
  legacy_index_.Clear();
}

void TAVIFileWriter::WriteSuperIndex(int id) {
  TStreamSlot& slot = slots_[static_cast<size_t>(id)];
  std::vector<uint8_t> data(kChunkHeaderSize + sizeof(AVISUPERINDEXHEADER) + slot.SuperIndex->Size());
  PutLE32(data.data(), ckIndx);                  // dwFourCC
  PutLE32(data.data() + 4, kSuperIndexReserve);  // dwSize: the reserved room
  const AVISUPERINDEXHEADER ih{.wLongsPerEntry = sizeof(AVISUPERINDEXENTRY) / 4,
                               .bIndexSubType = 0,
                               .bIndexType = AVI_INDEX_OF_INDEXES,
                               .nEntriesInUse = slot.SuperIndex->Size() / static_cast<uint32_t>(sizeof(AVISUPERINDEXENTRY)),
                               .dwChunkId = slot.ChunkId,
                               .dwReserved = {0, 0, 0}};
  std::memcpy(data.data() + kChunkHeaderSize, &ih, sizeof ih);
  if (slot.SuperIndex->Size())
    std::memcpy(data.data() + kChunkHeaderSize + sizeof ih, slot.SuperIndex->Memory(), slot.SuperIndex->Size());
  out_.WriteAt(slot.SuperIndexPos, data.data(), data.size());
  slot.SuperIndex->SetSize(0);
}

void TAVIFileWriter::FinishFile() {
  // A file closed before its first chunk still gets its header list closed
  // and an (empty) movi list, so it is a well-formed AVI.
  if (headers_open_) CloseHeaders();
  FlushAllStdIndexes();
  PatchSize(movi_pos_);
  if (first_riff_ && Legacy()) WriteLegacyIndex();
  PatchSize(riff_pos_);

  if (main_stream_ >= 0) {
    uint32_t frames = slots_[static_cast<size_t>(main_stream_)].ChunkCount;
    if (first_riff_) main_header_.dwTotalFrames = frames;
    PutLE32(dmlh_data_.data(), frames);  // dwTotalFrames of every part
  }
  uint32_t maxChunk = 0;
  for (const TStreamSlot& s : slots_)
    if (s.ChunkId != 0 && s.MaxChunkSize > maxChunk) maxChunk = s.MaxChunkSize;
  main_header_.dwSuggestedBufferSize = maxChunk + 1024;

  uint8_t avih[kChunkHeaderSize + sizeof(AVIMAINHEADER)];
  PutLE32(avih, ckAvih);                     // dwFourCC
  PutLE32(avih + 4, sizeof(AVIMAINHEADER));  // dwSize
  std::memcpy(avih + kChunkHeaderSize, &main_header_, sizeof main_header_);
  out_.WriteAt(hdrl_pos_ + kListHeaderSize, avih, sizeof avih);
  if (OpenDML() && dmlh_pos_ >= 0) {
    std::vector<uint8_t> dmlh(kChunkHeaderSize + kDmlhSize);
    PutLE32(dmlh.data(), ckDmlh);         // dwFourCC
    PutLE32(dmlh.data() + 4, kDmlhSize);  // dwSize
    std::memcpy(dmlh.data() + kChunkHeaderSize, dmlh_data_.data(), kDmlhSize);
    out_.WriteAt(dmlh_pos_, dmlh.data(), dmlh.size());
  }

  for (int id = 0; id <= kMaxStreamId; ++id) {
    TStreamSlot& s = slots_[static_cast<size_t>(id)];
    if (s.ChunkId == 0) continue;
    AVISTREAMHEADER h = s.Header;
    h.dwLength = h.dwSampleSize != 0 ? static_cast<uint32_t>(s.TotalBytes / h.dwSampleSize) : s.ChunkCount;
    h.dwSuggestedBufferSize = s.MaxChunkSize + 1024;
    out_.WriteAt(s.HeaderPos, &h, sizeof h);
    if (s.PatchAverageRate && s.ChunkCount > 0 && h.dwScale > 0 && s.FormatSize >= kWfAvgBytesPerSecOffset + 4) {
      // Bytes per second over the stream's length, ChunkCount * dwScale / dwRate.
      const uint64_t avg = s.TotalBytes * h.dwRate / (static_cast<uint64_t>(s.ChunkCount) * h.dwScale);
      const uint32_t v = static_cast<uint32_t>(std::min<uint64_t>(avg, UINT32_MAX));
      out_.WriteAt(s.FormatPos + kWfAvgBytesPerSecOffset, &v, sizeof v);
    }
    if (OpenDML() && s.SuperIndex) WriteSuperIndex(id);
  }
}

void TAVIFileWriter::Close() {
  if (!out_.IsOpen()) return;
  CancelChunk();
  try {
    FinishFile();
    out_.Close();
  } catch (...) {
    out_.Abandon();
    ResetSlots();
    legacy_index_.Clear();
    throw;
  }
  ResetSlots();
  legacy_index_.Clear();
}

void TAVIFileWriter::Discard() noexcept {
  CancelChunk();
  out_.Abandon();
  ResetSlots();
  legacy_index_.Clear();
}

}  // namespace vantrel
