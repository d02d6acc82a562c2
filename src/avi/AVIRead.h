// AVI reader: headers of every stream and an in-memory chunk index built from
// the OpenDML indexes when present, else from "idx1"; hands out chunks across
// streams in presentation-time order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <map>
#include <vector>

#include "avi/AVIFormat.h"
#include "base/MemBuf.h"
#include "base/PosixFile.h"

namespace vantrel {

class TFileReadBuffer;
struct TScannedChunk;

struct TChunkInfo {
  FOURCC Id = 0;
  FOURCC ListType = 0;  // 0 for plain chunks
  int64_t DataPos = 0;  // lists: after the list type; chunks: after the header
  uint32_t Size = 0;    // as stored; for lists it counts the list type
};

struct TIndexEntry {
  int64_t Offset;     // file position of the chunk's data
  uint32_t Size;      // data bytes
  uint8_t KeyFrame;   // boolean
  int64_t StreamPos;  // bytes of this stream's chunks before this one
};

// How a stream keeps an entry in memory: the same fields without padding.
// Only copied in and out whole, so no field is ever used at a misaligned
// address.
#pragma pack(push, 1)
struct TStoredIndexEntry {
  int64_t Offset;
  uint32_t Size;
  uint8_t KeyFrame;
  int64_t StreamPos;
};
#pragma pack(pop)
static_assert(sizeof(TStoredIndexEntry) == 21);

class TAVIFileReader;

class TAVIStream {
 public:
  TAVIStream(TAVIFileReader& reader, int64_t listPos, uint32_t listSize);

  AVISTREAMHEADER Header{};
  std::vector<uint8_t> Format;
  std::string Number;  // two upper-case hex digits
  uint32_t Cursor = 0;

  uint32_t IndexCount() const { return index_.Size() / sizeof(TStoredIndexEntry); }
  bool GetIndexEntry(uint32_t index, TIndexEntry& entry) const;
  // Reads the chunk's data into dest (at least the entry's size); false when
  // the index is out of range or fewer bytes could be read.
  bool ReadChunk(uint32_t index, void* dest) const;
  // The first count bytes of the chunk (at most its size); true when read.
  bool ReadChunkPart(uint32_t index, void* dest, uint32_t count) const;
  int64_t StreamPosition(uint32_t index) const;
  double EntryTime(uint32_t index) const;

  int64_t SuperIndexPos() const { return super_index_pos_; }
  bool IsVideo() const { return IsVideoType(Header.fccType); }
  bool IsAudio() const { return Header.fccType == ckAuds; }

 private:
  friend class TAVIFileReader;
  void ParseHeader();
  void ReadSuperIndex();
  void ReadStdIndex(TFileReadBuffer& buf, int64_t pos);
  void AddIndexEntry(uint32_t size, bool keyFrame, int64_t offset);

  TAVIFileReader& reader_;
  int64_t list_pos_;
  uint32_t list_size_;
  int64_t super_index_pos_ = -1;
  uint32_t super_index_size_ = 0;
  int64_t running_pos_ = 0;
  TMemoryBuf index_;
};

class TAVIFileReader {
 public:
  TAVIFileReader() = default;
  TAVIFileReader(const TAVIFileReader&) = delete;
  TAVIFileReader& operator=(const TAVIFileReader&) = delete;
  ~TAVIFileReader() { Close(); }

  void Open(const std::string& fileName, bool headersOnly);
  // The same on a file already open for reading (the reader takes it).
  void Open(TFile file, bool headersOnly);
  void Close();

  int StreamCount() const { return static_cast<int>(streams_.size()); }
  TAVIStream& Streams(int i) const { return *streams_[static_cast<size_t>(i)]; }
  TAVIStream* VideoStream() const { return video_; }
  TAVIStream* AudioStream() const { return audio_; }
  int IndexOf(const TAVIStream* s) const;
  const AVIMAINHEADER& MainHeader() const { return main_header_; }
  bool HasOpenDMLIndex() const { return has_odml_; }
  int64_t FileSize() const { return file_size_; }
  const std::vector<TChunkInfo>& ChunkList() const { return chunk_list_; }
  int64_t MoviPos() const { return movi_pos_; }
  int64_t LegacyIndexPos() const { return idx1_pos_; }
  // The file ends before its "RIFF" or "movi" list says it does: it was cut
  // short (a download or copy that stopped).
  bool Truncated() const { return truncated_; }
  // The chunk index was rebuilt from the chunks found in the data, because
  // the file's own index was missing or lay beyond the cut.
  bool Recovered() const { return recovered_; }

  void ResetCursors();
  // Next chunk in time order; streamIndex -1 when all streams are exhausted.
  void NextChunk(int& streamIndex, uint32_t& entryIndex);

  // Walks the children of a list whose data (after the list type) starts at
  // pos, size being the list's size field. Public for tests.
  void ReadChunkList(int64_t pos, uint32_t size);
  const TChunkInfo* FindChunk(FOURCC id, FOURCC listType) const;

  // Most children a single list walk records; a list claiming more is corrupt.
  static constexpr size_t kMaxListChildren = 100000;
  static constexpr int kMaxStreams = 256;

 private:
  friend class TAVIStream;
  void ParseHeaders();
  void ReadLegacyIndex(bool onlyStreamsWithoutEntries);
  int64_t LegacyIndexBase(TFileReadBuffer& buf);
  void ReadOpenDMLIndexes();
  // In a file cut short, walks the "movi" lists (of every RIFF part) chunk
  // by chunk and, when that finds more video chunks within the file than
  // the index lists, takes what it found as the index: the file's own
  // entries give their key-frame flags, others are judged from the data.
  void RecoverCutIndex();
  // Walks one "movi" list's chunks from pos up to end; false once the walk
  // met something that is no chunk, or the file's end inside a chunk.
  bool ScanMovi(TFileReadBuffer& buf, int64_t pos, int64_t end,
                std::vector<std::vector<TScannedChunk>>& found);
  // False once the index holds as many entries as the file could possibly
  // have chunks (each needs at least its 8-byte header).
  bool MayAddEntry();

  TFile handle_;
  int64_t file_size_ = 0;
  std::vector<TChunkInfo> chunk_list_;
  AVIMAINHEADER main_header_{};
  int64_t hdrl_pos_ = 0;
  uint32_t hdrl_size_ = 0;
  int64_t movi_pos_ = 0;
  uint32_t movi_size_ = 0;
  int64_t idx1_pos_ = -1;
  uint32_t idx1_size_ = 0;
  std::vector<std::unique_ptr<TAVIStream>> streams_;
  TAVIStream* video_ = nullptr;
  TAVIStream* audio_ = nullptr;
  bool has_odml_ = false;
  bool truncated_ = false;
  bool recovered_ = false;
  uint32_t riff_size_ = 0;
  uint64_t total_entries_ = 0;
  // File ranges of the standard indexes read, by their start.
  std::map<int64_t, int64_t> std_index_ranges_;
};

}  // namespace vantrel
