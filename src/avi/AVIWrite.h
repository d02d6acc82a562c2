// AVI writer: one forward pass, legacy and/or OpenDML indexes, file parts
// below 1 GiB, every size and length patched at close.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avi/AVIFormat.h"
#include "base/MemBuf.h"
#include "base/PosixFile.h"

namespace vantrel {

enum class TAVIIndexMode { imLegacy, imOpenDML, imBoth };

struct TStreamSlot {
  FOURCC ChunkId = 0;  // 0: free slot
  uint32_t SampleSize = 0;
  uint32_t ChunkCount = 0;
  uint64_t TotalBytes = 0;
  int64_t HeaderPos = 0;
  int64_t SuperIndexPos = 0;
  uint64_t PendingBytes = 0;
  uint32_t MaxChunkSize = 0;
  int64_t FormatPos = 0;            // of the strf data
  uint32_t FormatSize = 0;
  bool PatchAverageRate = false;    // nAvgBytesPerSec from what was written, at close
  AVISTREAMHEADER Header{};
  std::unique_ptr<TMemoryBuf> SuperIndex;
  std::unique_ptr<TMemoryBuf> StdIndex;
};

class TAVIFileWriter {
 public:
  static constexpr int kMaxStreamId = 99;
  // Largest data chunk that fits a file part with its headers and index.
  static constexpr uint32_t kMaxChunkSize = static_cast<uint32_t>(kRiffLimit - 65536);

  explicit TAVIFileWriter(size_t bufferSize = 1 << 20);
  TAVIFileWriter(const TAVIFileWriter&) = delete;
  TAVIFileWriter& operator=(const TAVIFileWriter&) = delete;
  // Releases an output still open without finishing it; callers Close first.
  ~TAVIFileWriter();

  TAVIIndexMode IndexMode = TAVIIndexMode::imBoth;
  // The size at which a new file part is started; tests lower it.
  int64_t RiffLimit = kRiffLimit;

  void Open(const std::string& fileName, uint32_t mainFlags);
  void AddStream(int id, const AVISTREAMHEADER& header, uint32_t formatSize, const void* format);
  // A sound stream's WAVEFORMATEX nAvgBytesPerSec is set at close to the
  // average of the chunks written (frame-described sound of varying rate).
  void SetAverageRateAtClose(int id);
  void WriteChunk(int id, const void* data, bool keyFrame, uint32_t size);
  // Two-step form of WriteChunk that lets the caller read the data straight
  // into the output buffer: BeginChunk returns where size bytes go, EndChunk
  // adds the chunk, CancelChunk drops it (nothing of it is written).
  uint8_t* BeginChunk(int id, uint32_t size);
  void EndChunk(bool keyFrame);
  void CancelChunk();
  void Close();
  // Releases the file without finishing it.
  void Discard() noexcept;

  bool IsOpen() const { return out_.IsOpen(); }
  // A write to the output failed: it cannot be finished and is incomplete.
  bool WriteFailed() const { return out_.Failed(); }
  int64_t Position() const { return out_.Position(); }
  const AVIMAINHEADER& MainHeader() const { return main_header_; }
  int FilePartCount() const { return parts_; }
  // Chunks written so far to the stream with this id; 0 once closed.
  uint32_t ChunkCount(int id) const {
    return id >= 0 && id <= kMaxStreamId ? slots_[static_cast<size_t>(id)].ChunkCount : 0;
  }

 private:
  bool OpenDML() const { return IndexMode != TAVIIndexMode::imLegacy; }
  bool Legacy() const { return IndexMode != TAVIIndexMode::imOpenDML; }
  int64_t BeginList(FOURCC type, FOURCC kind);
  void PatchSize(int64_t pos);
  void WriteChunkRaw(FOURCC id, const void* data, uint32_t size);
  void PadTo(int64_t target);
  void CloseHeaders();
  bool NeedNewRiff(uint32_t size) const;
  void StartNewRiff();
  void AddStdIndexEntry(int id, uint32_t size, bool keyFrame, int64_t dataPos);
  void FlushStdIndex(int id);
  void FlushAllStdIndexes();
  void WriteLegacyIndex();
  void WriteSuperIndex(int id);
  void FinishFile();
  void ResetSlots();

  TOutputStream out_;
  int64_t riff_pos_ = 0;
  int64_t hdrl_pos_ = 0;
  int64_t movi_pos_ = 0;
  int64_t dmlh_pos_ = -1;
  AVIMAINHEADER main_header_{};
  std::array<uint8_t, kDmlhSize> dmlh_data_{};
  bool headers_open_ = false;
  int main_stream_ = -1;
  bool first_riff_ = true;
  int parts_ = 0;
  std::array<TStreamSlot, kMaxStreamId + 1> slots_;
  TMemoryBuf legacy_index_;

  // The chunk between BeginChunk and EndChunk.
  int pending_id_ = -1;
  uint32_t pending_size_ = 0;
  int64_t pending_pos_ = 0;
  uint8_t* pending_in_buffer_ = nullptr;
  std::vector<uint8_t> large_chunk_;
};

}  // namespace vantrel
