// The chunk index of an AVI file cut short, found again in its data. A file
// keeps its "idx1" at its end and its OpenDML standard indexes after each
// run of chunks, so a download that stopped loses the index of everything
// it did get; the chunks themselves follow one another in the "movi" lists
// and can be walked header by header.
#include <cctype>
#include <cstring>
#include <unordered_map>

#include "avi/AVIRead.h"
#include "avi/AVIUtils.h"
#include "base/FileBufs.h"

namespace vantrel {

struct TScannedChunk {
  int64_t Offset;  // of the data
  uint32_t Size;
};

namespace {

constexpr uint32_t kScanBufferSize = 65536;

bool IsChunkId(FOURCC id) {
  for (int i = 0; i < 4; ++i) {
    const int c = static_cast<int>((id >> (8 * i)) & 0xFF);
    if (!std::isalnum(c) && c != ' ' && c != '_') return false;
  }
  return true;
}

// What the first bytes of a video chunk say about it: 1 a key frame, 0 not,
// -1 nothing known. MPEG-4 Part 2 gives vop_coding_type after the VOP start
// code (0: intra); H.264 in Annex B form gives the NAL unit type (5: IDR).
int KeyFrameOfData(const uint8_t* p, size_t n) {
  for (size_t i = 0; i + 4 < n; ++i) {
    if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1) continue;
    const uint8_t code = p[i + 3];
    if (code == 0xB6) return (p[i + 4] >> 6) == 0 ? 1 : 0;
    const int nal = code & 0x1F;
    if ((code & 0x80) == 0 && (nal == 5 || nal == 1)) return nal == 5 ? 1 : 0;
  }
  return -1;
}

}  // namespace

bool TAVIFileReader::ScanMovi(TFileReadBuffer& buf, int64_t pos, int64_t end,
                              std::vector<std::vector<TScannedChunk>>& found) {
  // Stream lookup by the two characters that open a chunk id, as written
  // (upper or lower case hex digits).
  auto streamOf = [this](FOURCC id) -> int {
    const char a = static_cast<char>(std::toupper(static_cast<int>(id & 0xFF)));
    const char b = static_cast<char>(std::toupper(static_cast<int>((id >> 8) & 0xFF)));
    for (size_t i = 0; i < streams_.size(); ++i)
      if (streams_[i]->Number[0] == a && streams_[i]->Number[1] == b) return static_cast<int>(i);
    return -1;
  };
  if (end > file_size_) end = file_size_;
  while (pos + static_cast<int64_t>(kChunkHeaderSize) <= end) {
    uint8_t hdr[kListHeaderSize];
    if (buf.Read(hdr, kChunkHeaderSize, pos) < static_cast<int32_t>(kChunkHeaderSize)) return false;
    const FOURCC id = ReadLE32(hdr);
    const uint32_t size = ReadLE32(hdr + 4);
    if (!IsChunkId(id)) return false;
    if (id == ckLIST) {
      if (buf.Read(hdr + kChunkHeaderSize, 4, pos + kChunkHeaderSize) < 4) return false;
      // A "rec " list groups chunks of one moment: its children are chunks
      // of the data like any other.
      if (ReadLE32(hdr + kChunkHeaderSize) == ckRec) {
        pos += kListHeaderSize;
        continue;
      }
    }
    const int64_t data = pos + kChunkHeaderSize;
    if (static_cast<int64_t>(size) > file_size_ - data) return false;  // the cut is inside it
    const int s = streamOf(id);
    if (s >= 0 && id != ckLIST) {
      if (!MayAddEntry()) return false;
      ++total_entries_;
      found[static_cast<size_t>(s)].push_back(TScannedChunk{data, size});
    }
    pos = data + size + (size & 1);
  }
  return true;
}

void TAVIFileReader::RecoverCutIndex() {
  TFileReadBuffer buf(handle_, kScanBufferSize);
  std::vector<std::vector<TScannedChunk>> found(streams_.size());
  const uint64_t indexed = total_entries_;
  total_entries_ = 0;
  bool going = ScanMovi(buf, movi_pos_, movi_pos_ - 4 + static_cast<int64_t>(movi_size_), found);
  // The parts after the first ("RIFF" "AVIX" each holding a "movi" list).
  int64_t pos = kChunkHeaderSize + static_cast<int64_t>(riff_size_) + (riff_size_ & 1);
  while (going && pos + static_cast<int64_t>(kListHeaderSize) <= file_size_) {
    uint8_t hdr[kListHeaderSize];
    if (buf.Read(hdr, sizeof hdr, pos) < static_cast<int32_t>(sizeof hdr)) break;
    const uint32_t size = ReadLE32(hdr + 4);
    if (ReadLE32(hdr) != ckRIFF || ReadLE32(hdr + 8) != ckAVIX) break;
    const int64_t partEnd = pos + kChunkHeaderSize + size;
    for (int64_t at = pos + kListHeaderSize; going && at + static_cast<int64_t>(kListHeaderSize) <= partEnd;) {
      uint8_t child[kListHeaderSize];
      if (buf.Read(child, sizeof child, at) < static_cast<int32_t>(sizeof child)) {
        going = false;
        break;
      }
      const uint32_t childSize = ReadLE32(child + 4);
      if (ReadLE32(child) == ckLIST && ReadLE32(child + 8) == ckMovi)
        going = ScanMovi(buf, at + kListHeaderSize, at + kChunkHeaderSize + childSize, found);
      at += kChunkHeaderSize + static_cast<int64_t>(childSize) + (childSize & 1);
    }
    pos = partEnd + (size & 1);
  }

  // The index is kept when it gives as much of the video as the walk.
  const int v = IndexOf(video_);
  if (v < 0) {
    total_entries_ = indexed;
    return;
  }
  uint32_t videoInFile = 0;
  bool someDelta = false;  // the file's index marks some frames as not key
  std::unordered_map<int64_t, bool> keyAt;
  for (uint32_t i = 0; i < video_->IndexCount(); ++i) {
    TIndexEntry e;
    video_->GetIndexEntry(i, e);
    if (e.Offset >= 0 && e.Offset <= file_size_ && e.Size <= file_size_ - e.Offset) ++videoInFile;
    keyAt[e.Offset] = e.KeyFrame != 0;
    someDelta = someDelta || e.KeyFrame == 0;
  }
  if (found[static_cast<size_t>(v)].size() <= videoInFile) {
    total_entries_ = indexed;
    return;
  }

  total_entries_ = 0;
  for (size_t s = 0; s < streams_.size(); ++s) {
    TAVIStream& stream = *streams_[s];
    stream.index_.Clear();
    stream.running_pos_ = 0;
    for (const TScannedChunk& c : found[s]) {
      bool key = true;
      if (static_cast<int>(s) == v) {
        auto known = keyAt.find(c.Offset);
        if (known != keyAt.end()) {
          key = known->second;
        } else {
          uint8_t head[64];
          const uint32_t n = c.Size < sizeof head ? c.Size : static_cast<uint32_t>(sizeof head);
          const int32_t got = n ? buf.Read(head, n, c.Offset) : 0;
          const int said = KeyFrameOfData(head, got > 0 ? static_cast<size_t>(got) : 0);
          // Without a word from the data, a stream whose index had only key
          // frames is of an intra codec; otherwise a frame not known to be
          // a key frame is not offered as a place to start from.
          key = said >= 0 ? said == 1 : !someDelta;
        }
      }
      stream.AddIndexEntry(c.Size, key, c.Offset);
    }
  }
  recovered_ = true;
}

}  // namespace vantrel
