// AVI reader.
#include "avi/AVIRead.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstring>

#include "avi/AVIUtils.h"
#include "base/FileBufs.h"
#include "base/Exceptions.h"

namespace vantrel {
namespace {

constexpr uint32_t kIndexBufferSize = 8192;
// A "strf" larger than this is not a real format block.
constexpr uint32_t kMaxFormatSize = 16 << 20;

std::string HexNumber(int i) {
  char s[8];
  std::snprintf(s, sizeof s, "%.2X", i);
  return s;
}

}  // namespace

// ---------------------------------------------------------------- TAVIStream

TAVIStream::TAVIStream(TAVIFileReader& reader, int64_t listPos, uint32_t listSize)
    : reader_(reader), list_pos_(listPos), list_size_(listSize) {
  index_.SetDelta(1048576);
}

bool TAVIStream::GetIndexEntry(uint32_t index, TIndexEntry& entry) const {
  if (index >= IndexCount()) return false;
  TStoredIndexEntry stored;
  std::memcpy(&stored, index_.Memory() + static_cast<size_t>(index) * sizeof stored, sizeof stored);
  entry = TIndexEntry{stored.Offset, stored.Size, stored.KeyFrame, stored.StreamPos};
  return true;
}

bool TAVIStream::ReadChunk(uint32_t index, void* dest) const {
  TIndexEntry e;
  if (!GetIndexEntry(index, e)) return false;
  if (e.Size == 0) return true;
  return reader_.handle_.ReadAt(dest, e.Size, e.Offset) == e.Size;
}

bool TAVIStream::ReadChunkPart(uint32_t index, void* dest, uint32_t count) const {
  TIndexEntry e;
  if (!GetIndexEntry(index, e) || count > e.Size) return false;
  if (count == 0) return true;
  return reader_.handle_.ReadAt(dest, count, e.Offset) == count;
}

int64_t TAVIStream::StreamPosition(uint32_t index) const {
  TIndexEntry e;
  if (!GetIndexEntry(index, e)) return -1;
  return e.StreamPos;
}

double TAVIStream::EntryTime(uint32_t index) const {
  TIndexEntry e;
  if (!GetIndexEntry(index, e)) return -1.0;
  double t = Header.dwSampleSize == 0 ? static_cast<double>(index)
                                      : static_cast<double>(e.StreamPos) / Header.dwSampleSize;
  // A stream without a time base keeps its chunks in index order at one per
  // second rather than dropping out of the interleave.
  if (Header.dwRate == 0 || Header.dwScale == 0) return t;
  return t / Header.dwRate * Header.dwScale;
}

void TAVIStream::ParseHeader() {
  reader_.ReadChunkList(list_pos_, list_size_);
  const TChunkInfo* strh = reader_.FindChunk(ckStrh, 0);
  if (!strh) throw EAVIReadError("The stream header is not found");
  // Always 56 bytes, whatever the chunk says; past the end reads as zero.
  std::memset(&Header, 0, sizeof Header);
  reader_.handle_.ReadAt(&Header, sizeof Header, strh->DataPos);

  const TChunkInfo* strf = reader_.FindChunk(ckStrf, 0);
  if (!strf) throw EAVIReadError("The stream format is not found");
  int64_t available = reader_.file_size_ - strf->DataPos;
  uint32_t size = strf->Size;
  if (available < 0) available = 0;
  if (size > available) size = static_cast<uint32_t>(available);
  if (size > kMaxFormatSize) throw EAVIReadError("The stream format is too large");
  Format.assign(size, 0);
  size_t got = size ? reader_.handle_.ReadAt(Format.data(), size, strf->DataPos) : 0;
  Format.resize(got);

  if (const TChunkInfo* indx = reader_.FindChunk(ckIndx, 0)) {
    super_index_pos_ = indx->DataPos - kChunkHeaderSize;
    super_index_size_ = indx->Size;
    reader_.has_odml_ = true;
  } else {
    super_index_pos_ = -1;
    super_index_size_ = 0;
  }
  running_pos_ = 0;

  // Audio with dwSampleSize 0 at a high rate is really sample-sized: one
  // nBlockAlign per sample.
  if (Header.fccType == ckAuds && Header.dwSampleSize == 0 && Header.dwScale != 0 &&
      static_cast<double>(Header.dwRate) / Header.dwScale > 500 && Format.size() >= kBlockAlignOffset + 2)
    Header.dwSampleSize = ReadLE16(Format.data() + kBlockAlignOffset);
  // The video handler is the compression of the format.
  if (Header.fccType == ckVids && Format.size() >= kBiCompressionOffset + 4)
    Header.fccHandler = ReadLE32(Format.data() + kBiCompressionOffset);
}

void TAVIStream::AddIndexEntry(uint32_t size, bool keyFrame, int64_t offset) {
  TStoredIndexEntry e{offset, size, static_cast<uint8_t>(keyFrame ? 1 : 0), running_pos_};
  index_.Append(&e, sizeof e);
  running_pos_ += size;
  ++reader_.total_entries_;
}

void TAVIStream::ReadSuperIndex() {
  if (super_index_pos_ < 0) return;
  TFileReadBuffer buf(reader_.handle_, kIndexBufferSize);
  uint8_t head[kChunkHeaderSize + sizeof(AVISUPERINDEXHEADER)];
  if (buf.Read(head, sizeof head, super_index_pos_) < static_cast<int32_t>(sizeof head)) return;
  AVIINDEXHEADER ih;
  std::memcpy(&ih, head + kChunkHeaderSize, sizeof ih);
  if (ih.bIndexType == AVI_INDEX_OF_CHUNKS) {
    ReadStdIndex(buf, super_index_pos_);
    return;
  }
  if (ih.bIndexType != AVI_INDEX_OF_INDEXES)
    throw EAVIReadError("Unsupported type of super index: " + std::to_string(ih.bIndexType));
  // Entries beyond the chunk's own size are not part of it.
  uint32_t chunkSize = ReadLE32(head + 4);  // dwSize
  uint64_t fit = chunkSize >= sizeof(AVISUPERINDEXHEADER)
                     ? (chunkSize - sizeof(AVISUPERINDEXHEADER)) / sizeof(AVISUPERINDEXENTRY)
                     : 0;
  uint64_t count = ih.nEntriesInUse < fit ? ih.nEntriesInUse : fit;
  uint64_t previous = 0;
  for (uint64_t i = 0; i < count; ++i) {
    AVISUPERINDEXENTRY e;
    const int64_t at = super_index_pos_ + static_cast<int64_t>(sizeof head + sizeof e * i);
    if (buf.Read(&e, sizeof e, at) < static_cast<int32_t>(sizeof e)) break;
    // The standard indexes follow one another through the file: an entry
    // not past the previous one is an unused slot of the reserved chunk or
    // garbage, and ends the list.
    if (i > 0 && e.qwOffset <= previous) break;
    previous = e.qwOffset;
    if (!reader_.MayAddEntry()) break;
    ReadStdIndex(buf, static_cast<int64_t>(e.qwOffset));
  }
}

void TAVIStream::ReadStdIndex(TFileReadBuffer& buf, int64_t pos) {
  if (pos < 0 || pos >= reader_.file_size_) return;
  uint8_t head[kChunkHeaderSize + sizeof(AVISTDINDEXHEADER)];
  if (buf.Read(head, sizeof head, pos) < static_cast<int32_t>(sizeof head)) return;
  AVISTDINDEXHEADER ih;
  std::memcpy(&ih, head + kChunkHeaderSize, sizeof ih);
  if (ih.bIndexType != AVI_INDEX_OF_CHUNKS)
    throw EAVIReadError("Unsupported type of chunk index: " + std::to_string(ih.bIndexType));
  uint32_t chunkSize = ReadLE32(head + 4);  // dwSize
  // Standard indexes are chunks of their own: each is read once, however
  // many entries point at it, and one overlapping another already read is
  // no index (read, it would list the same entries again, as often as a
  // super index repeats it).
  const int64_t end = std::min<int64_t>(reader_.file_size_, pos + kChunkHeaderSize + chunkSize);
  auto& ranges = reader_.std_index_ranges_;
  auto next = ranges.lower_bound(pos);
  if (next != ranges.end() && next->first < end) return;
  if (next != ranges.begin() && std::prev(next)->second > pos) return;
  ranges.emplace(pos, end);
  uint64_t fit =
      chunkSize >= sizeof(AVISTDINDEXHEADER) ? (chunkSize - sizeof(AVISTDINDEXHEADER)) / sizeof(AVISTDINDEXENTRY) : 0;
  uint64_t count = ih.nEntriesInUse < fit ? ih.nEntriesInUse : fit;
  uint32_t previous = 0;
  for (uint64_t i = 0; i < count; ++i) {
    AVISTDINDEXENTRY e;
    if (buf.Read(&e, sizeof e, pos + static_cast<int64_t>(sizeof head + sizeof e * i)) < static_cast<int32_t>(sizeof e))
      break;
    // A stream's chunks in one file part follow one another, each behind
    // its header: an entry not past the previous one is not a chunk (a
    // repeated entry, zeros of a padded region, garbage). It is passed over
    // and the entries after it still count; the chunk's own size and the
    // file's bound how many there can be.
    if (i > 0 && e.dwOffset <= previous) continue;
    previous = e.dwOffset;
    if (!reader_.MayAddEntry()) break;
    AddIndexEntry(e.dwSize & ~kStdIndexNotKeyFrame, (e.dwSize & kStdIndexNotKeyFrame) == 0,
                  static_cast<int64_t>(ih.qwBaseOffset + e.dwOffset));
  }
}

// ------------------------------------------------------------ TAVIFileReader

void TAVIFileReader::Close() {
  video_ = nullptr;
  audio_ = nullptr;
  streams_.clear();
  chunk_list_.clear();
  std_index_ranges_.clear();
  total_entries_ = 0;
  handle_.Release();
}

int TAVIFileReader::IndexOf(const TAVIStream* s) const {
  for (size_t i = 0; i < streams_.size(); ++i)
    if (streams_[i].get() == s) return static_cast<int>(i);
  return -1;
}

void TAVIFileReader::Open(const std::string& fileName, bool headersOnly) {
  Open(TFile::OpenRead(fileName), headersOnly);
}

void TAVIFileReader::Open(TFile file, bool headersOnly) {
  has_odml_ = false;
  truncated_ = false;
  recovered_ = false;
  Close();
  handle_ = std::move(file);
  file_size_ = handle_.Size();

  uint8_t riff[kListHeaderSize];  // "RIFF", dwSize, "AVI "
  if (handle_.ReadAt(riff, sizeof riff, 0) < sizeof riff || ReadLE32(riff) != ckRIFF || ReadLE32(riff + 8) != ckAVI)
    throw EAVIReadError("The file has unknown format");
  riff_size_ = ReadLE32(riff + 4);
  ReadChunkList(kListHeaderSize, riff_size_);

  const TChunkInfo* hdrl = FindChunk(ckLIST, ckHdrl);
  if (!hdrl) throw EAVIReadError("The header is not found");
  hdrl_pos_ = hdrl->DataPos;
  hdrl_size_ = hdrl->Size;
  const TChunkInfo* movi = FindChunk(ckLIST, ckMovi);
  if (!movi) throw EAVIReadError("The data is not found");
  movi_pos_ = movi->DataPos;
  movi_size_ = movi->Size;
  truncated_ = kChunkHeaderSize + static_cast<int64_t>(riff_size_) > file_size_ ||
               movi_pos_ - 4 + static_cast<int64_t>(movi_size_) > file_size_;
  if (const TChunkInfo* idx1 = FindChunk(ckIdx1, 0)) {
    idx1_pos_ = idx1->DataPos;
    idx1_size_ = idx1->Size;
  } else {
    idx1_pos_ = -1;
    idx1_size_ = 0;
  }

  ParseHeaders();
  chunk_list_.clear();
  chunk_list_.shrink_to_fit();

  if (!headersOnly) {
    try {
      if (has_odml_)
        ReadOpenDMLIndexes();
      else
        ReadLegacyIndex(false);
    } catch (const EAVIReadError&) {
      // A cut file has lost the index it kept at its end; its chunks are
      // still there to be found.
      if (!truncated_) throw;
    }
    std_index_ranges_.clear();
    if (truncated_) RecoverCutIndex();
  }
}

void TAVIFileReader::ReadChunkList(int64_t pos, uint32_t size) {
  chunk_list_.clear();
  int64_t end = pos + static_cast<int64_t>(size) - 4;
  // A list reaching past the end of a truncated file ends with the file.
  if (end > file_size_) end = file_size_;
  while (pos < end && chunk_list_.size() < kMaxListChildren) {
    uint8_t hdr[kListHeaderSize];  // dwFourCC, dwSize, and for lists their type
    if (handle_.ReadAt(hdr, kChunkHeaderSize, pos) < kChunkHeaderSize) break;
    TChunkInfo info;
    info.Id = ReadLE32(hdr);
    info.Size = ReadLE32(hdr + 4);
    int64_t skip = static_cast<int64_t>(info.Size) + (info.Size & 1);
    if (info.Id == ckLIST || info.Id == ckRIFF) {
      if (handle_.ReadAt(hdr + kChunkHeaderSize, 4, pos + kChunkHeaderSize) < 4) break;
      info.ListType = ReadLE32(hdr + kChunkHeaderSize);
      info.DataPos = pos + kListHeaderSize;
      pos = info.DataPos - 4 + skip;
    } else {
      info.ListType = 0;
      info.DataPos = pos + kChunkHeaderSize;
      pos = info.DataPos + skip;
    }
    chunk_list_.push_back(info);
  }
}

const TChunkInfo* TAVIFileReader::FindChunk(FOURCC id, FOURCC listType) const {
  for (const TChunkInfo& c : chunk_list_)
    if (c.Id == id && c.ListType == listType) return &c;
  return nullptr;
}

void TAVIFileReader::ParseHeaders() {
  ReadChunkList(hdrl_pos_, hdrl_size_);
  const TChunkInfo* avih = FindChunk(ckAvih, 0);
  if (!avih) throw EAVIReadError("The main header is not found");
  std::memset(&main_header_, 0, sizeof main_header_);
  handle_.ReadAt(&main_header_, sizeof main_header_, avih->DataPos);

  for (const TChunkInfo& c : chunk_list_) {
    if (c.Id == ckLIST && c.ListType == ckStrl) {
      if (static_cast<int>(streams_.size()) >= kMaxStreams) throw EAVIReadError("The file has too many streams");
      streams_.push_back(std::make_unique<TAVIStream>(*this, c.DataPos, c.Size));
    }
  }
  for (size_t i = 0; i < streams_.size(); ++i) {
    TAVIStream& s = *streams_[i];
    s.Number = HexNumber(static_cast<int>(i));
    s.ParseHeader();
    if (!video_ && s.IsVideo()) video_ = &s;
    if (!audio_ && s.IsAudio()) audio_ = &s;
  }
}

bool TAVIFileReader::MayAddEntry() { return total_entries_ < static_cast<uint64_t>(file_size_ / 8); }

int64_t TAVIFileReader::LegacyIndexBase(TFileReadBuffer& buf) {
  // Offsets count from the "movi" list type (relative) or from the start of
  // the file (absolute); either way they point at a chunk's header.
  const int64_t relative = movi_pos_ + 4;
  const int64_t absolute = kChunkHeaderSize;
  // Decided on the first entry of a chunk: a "rec " list's entry points at
  // "LIST", never at its own id, and would look absolute whatever it is.
  const uint32_t count = idx1_size_ / sizeof(AVIINDEXENTRY);
  AVIINDEXENTRY first{};
  bool found = false;
  for (uint32_t i = 0; i < count && !found; ++i) {
    if (buf.Read(&first, sizeof first, idx1_pos_ + static_cast<int64_t>(sizeof first) * i) !=
        static_cast<int32_t>(sizeof first))
      break;
    found = first.ckid != ckRec;
  }
  if (found) {
    uint8_t hdr[kChunkHeaderSize];
    // Read as absolute, the first entry lands in the data list on its own
    // chunk: that settles it, even when some other chunk of the stream
    // happens to sit where the offset would point read as relative.
    if (static_cast<int64_t>(first.dwChunkOffset) >= movi_pos_ &&
        buf.Read(hdr, sizeof hdr, first.dwChunkOffset) == static_cast<int32_t>(sizeof hdr) &&
        ReadLE32(hdr) == first.ckid)
      return absolute;
    int64_t at = movi_pos_ - 4 + first.dwChunkOffset;
    if (buf.Read(hdr, sizeof hdr, at) == static_cast<int32_t>(sizeof hdr)) {
      if (ReadLE32(hdr) != first.ckid) return absolute;
    } else if (buf.Read(hdr, sizeof hdr, first.dwChunkOffset) == static_cast<int32_t>(sizeof hdr) &&
               ReadLE32(hdr) == first.ckid) {
      // Read as relative, the first entry points past the end of a small
      // file; read as absolute it finds its chunk.
      return absolute;
    }
  }
  return relative;
}

void TAVIFileReader::ReadLegacyIndex(bool onlyStreamsWithoutEntries) {
  if (idx1_pos_ < 0) throw EAVIReadError("The index is not found");
  uint32_t count = idx1_size_ / sizeof(AVIINDEXENTRY);
  TFileReadBuffer buf(handle_, kIndexBufferSize);
  int64_t base = LegacyIndexBase(buf);

  // Stream lookup by the two characters that open a chunk id.
  std::vector<int16_t> byPair(65536, -1);
  for (size_t i = 0; i < streams_.size(); ++i) {
    if (onlyStreamsWithoutEntries && streams_[i]->IndexCount() > 0) continue;
    const std::string& n = streams_[i]->Number;
    byPair[static_cast<uint8_t>(n[0]) | static_cast<uint8_t>(n[1]) << 8] = static_cast<int16_t>(i);
  }
  for (uint32_t i = 0; i < count; ++i) {
    AVIINDEXENTRY e;
    if (buf.Read(&e, sizeof e, idx1_pos_ + 16 * static_cast<int64_t>(i)) < static_cast<int32_t>(sizeof e)) break;
    int16_t s = byPair[e.ckid & 0xFFFF];
    if (s < 0) continue;
    if (!MayAddEntry()) break;
    streams_[static_cast<size_t>(s)]->AddIndexEntry(e.dwChunkLength, (e.dwFlags & AVIIF_KEYFRAME) != 0,
                                                    base + static_cast<int64_t>(e.dwChunkOffset));
  }
}

void TAVIFileReader::ReadOpenDMLIndexes() {
  bool someWithout = false, someEmpty = false;
  for (auto& s : streams_) {
    if (s->super_index_pos_ >= 0) {
      s->ReadSuperIndex();
      someEmpty = someEmpty || s->IndexCount() == 0;
    } else {
      someWithout = true;
    }
  }
  // A stream without "indx" beside others that have one, or whose "indx"
  // gives no entries (reserved by its writer and never filled): take its
  // chunks from "idx1" rather than silently dropping the stream.
  if (someWithout || (someEmpty && idx1_pos_ >= 0)) ReadLegacyIndex(true);
}

void TAVIFileReader::ResetCursors() {
  for (auto& s : streams_) s->Cursor = 0;
}

void TAVIFileReader::NextChunk(int& streamIndex, uint32_t& entryIndex) {
  double best = -1;
  streamIndex = -1;
  entryIndex = 0;
  for (size_t i = 0; i < streams_.size(); ++i) {
    double t = streams_[i]->EntryTime(streams_[i]->Cursor);
    if (t >= 0 && (best == -1 || t < best)) {
      best = t;
      streamIndex = static_cast<int>(i);
    }
  }
  if (streamIndex >= 0) {
    TAVIStream& s = *streams_[static_cast<size_t>(streamIndex)];
    entryIndex = s.Cursor;
    ++s.Cursor;
  }
}

}  // namespace vantrel
