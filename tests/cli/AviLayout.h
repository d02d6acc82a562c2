// Reads back the chunk layout of an AVI file through its chunk headers, with
// pread, so files of several GiB are walked without being loaded. Used by the
// command line tests to check what vantrel-cli writes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

struct ChunkRef {
  std::string id;        // four characters
  std::string listType;  // "RIFF"/"LIST" only: the form or list type
  int64_t pos = 0;       // of the chunk header
  uint32_t size = 0;     // the header's size field
  bool IsList() const { return id == "RIFF" || id == "LIST"; }
  int64_t DataPos() const { return pos + 8; }
  int64_t End() const { return pos + 8 + static_cast<int64_t>(size) + (size & 1); }
};

class PReader {
 public:
  explicit PReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ >= 0) size_ = ::lseek(fd_, 0, SEEK_END);
  }
  ~PReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  PReader(const PReader&) = delete;
  PReader& operator=(const PReader&) = delete;

  bool Ok() const { return fd_ >= 0; }
  int64_t Size() const { return size_; }
  // Up to n bytes at pos; fewer at the end of the file.
  std::vector<uint8_t> Read(int64_t pos, size_t n) const {
    std::vector<uint8_t> b(n);
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, b.data() + done, n - done, static_cast<off_t>(pos + static_cast<int64_t>(done)));
      if (r <= 0) break;
      done += static_cast<size_t>(r);
    }
    b.resize(done);
    return b;
  }

 private:
  int fd_ = -1;
  int64_t size_ = 0;
};

inline uint32_t LE32At(const std::vector<uint8_t>& b, size_t pos) {
  uint32_t v = 0;
  if (pos + 4 <= b.size()) std::memcpy(&v, b.data() + pos, 4);
  return v;
}

inline uint64_t LE64At(const std::vector<uint8_t>& b, size_t pos) {
  uint64_t v = 0;
  if (pos + 8 <= b.size()) std::memcpy(&v, b.data() + pos, 8);
  return v;
}

inline std::string FourCCAt(const std::vector<uint8_t>& b, size_t pos) {
  if (pos + 4 > b.size()) return std::string();
  return std::string(reinterpret_cast<const char*>(b.data() + pos), 4);
}

// The chunks inside [begin, end) of the file. Adds to error when a chunk
// header or a chunk's data does not fit the range.
inline std::vector<ChunkRef> ReadChunks(const PReader& f, int64_t begin, int64_t end, std::string& error) {
  std::vector<ChunkRef> chunks;
  int64_t pos = begin;
  while (pos < end) {
    if (end - pos < 8) {
      error += "stray bytes at " + std::to_string(pos) + "; ";
      break;
    }
    std::vector<uint8_t> h = f.Read(pos, 12);
    ChunkRef c;
    c.id = FourCCAt(h, 0);
    c.size = LE32At(h, 4);
    c.pos = pos;
    if (c.IsList()) {
      if (c.size < 4) {
        error += c.id + " of size " + std::to_string(c.size) + " at " + std::to_string(pos) + "; ";
        break;
      }
      c.listType = FourCCAt(h, 8);
    }
    if (pos + 8 + static_cast<int64_t>(c.size) > end) {
      error += c.id + " at " + std::to_string(pos) + " reaches past its parent's end " + std::to_string(end) + "; ";
      break;
    }
    chunks.push_back(c);
    pos = c.End();
  }
  return chunks;
}

inline std::vector<ChunkRef> ListChildren(const PReader& f, const ChunkRef& list, std::string& error) {
  return ReadChunks(f, list.pos + 12, list.pos + 8 + list.size, error);
}

inline const ChunkRef* FindChunk(const std::vector<ChunkRef>& chunks, const std::string& id,
                                 const std::string& listType = std::string()) {
  for (const ChunkRef& c : chunks)
    if (c.id == id && c.listType == listType) return &c;
  return nullptr;
}

// One "RIFF" chunk of the file: "AVI " for the first part, "AVIX" for the
// parts that follow.
struct AviPart {
  ChunkRef riff;
  std::vector<ChunkRef> children;
  std::vector<ChunkRef> movi;  // the chunks of the part's movi list, in order
  std::map<std::string, size_t> moviCount;
};

struct AviStreamHeaders {
  std::vector<uint8_t> strh;
  std::vector<uint8_t> strf;
  std::optional<ChunkRef> indx;
  std::string Type() const { return FourCCAt(strh, 0); }
  uint32_t Scale() const { return LE32At(strh, 20); }
  uint32_t Rate() const { return LE32At(strh, 24); }
  uint32_t Length() const { return LE32At(strh, 32); }
};

struct AviLayout {
  std::string error;  // empty when the file is well formed
  std::vector<AviPart> parts;
  std::vector<uint8_t> avih;
  std::vector<AviStreamHeaders> streams;
  std::optional<ChunkRef> odml;
  std::optional<ChunkRef> dmlh;

  uint32_t TotalFramesInHeader() const { return LE32At(avih, 16); }
  size_t CountInMovi(const std::string& id) const {
    size_t n = 0;
    for (const AviPart& p : parts) {
      auto it = p.moviCount.find(id);
      if (it != p.moviCount.end()) n += it->second;
    }
    return n;
  }
  // Index of the first stream of a type ("vids", "auds"), or -1.
  int FirstStream(const std::string& type) const {
    for (size_t i = 0; i < streams.size(); ++i)
      if (streams[i].Type() == type) return static_cast<int>(i);
    return -1;
  }
};

// Walks the whole file: it must be a sequence of RIFF chunks, the first of
// form "AVI " with hdrl and movi lists, the others "AVIX" with a movi list.
inline AviLayout ReadAviLayout(const std::string& path) {
  AviLayout l;
  PReader f(path);
  if (!f.Ok()) {
    l.error = "cannot open " + path;
    return l;
  }
  std::vector<ChunkRef> top = ReadChunks(f, 0, f.Size(), l.error);
  for (const ChunkRef& c : top) {
    if (c.id != "RIFF") {
      l.error += "top-level " + c.id + " chunk at " + std::to_string(c.pos) + "; ";
      continue;
    }
    const std::string expected = l.parts.empty() ? "AVI " : "AVIX";
    if (c.listType != expected) l.error += "RIFF form " + c.listType + " where " + expected + " belongs; ";
    AviPart part;
    part.riff = c;
    part.children = ListChildren(f, c, l.error);
    const ChunkRef* movi = FindChunk(part.children, "LIST", "movi");
    if (!movi) {
      l.error += "no movi list in part " + std::to_string(l.parts.size()) + "; ";
    } else {
      part.movi = ListChildren(f, *movi, l.error);
      for (const ChunkRef& m : part.movi) ++part.moviCount[m.id + m.listType];
    }
    l.parts.push_back(std::move(part));
  }
  if (l.parts.empty()) {
    l.error += "no RIFF chunk; ";
    return l;
  }
  const ChunkRef* hdrl = FindChunk(l.parts[0].children, "LIST", "hdrl");
  if (!hdrl) {
    l.error += "no hdrl list; ";
    return l;
  }
  std::vector<ChunkRef> hdrlChildren = ListChildren(f, *hdrl, l.error);
  if (const ChunkRef* avih = FindChunk(hdrlChildren, "avih")) l.avih = f.Read(avih->DataPos(), avih->size);
  for (const ChunkRef& c : hdrlChildren) {
    if (c.id == "LIST" && c.listType == "strl") {
      AviStreamHeaders s;
      std::vector<ChunkRef> strl = ListChildren(f, c, l.error);
      if (const ChunkRef* strh = FindChunk(strl, "strh")) s.strh = f.Read(strh->DataPos(), strh->size);
      if (const ChunkRef* strf = FindChunk(strl, "strf")) s.strf = f.Read(strf->DataPos(), strf->size);
      if (const ChunkRef* indx = FindChunk(strl, "indx")) s.indx = *indx;
      l.streams.push_back(std::move(s));
    } else if (c.id == "LIST" && c.listType == "odml") {
      l.odml = c;
      std::vector<ChunkRef> odml = ListChildren(f, c, l.error);
      if (const ChunkRef* dmlh = FindChunk(odml, "dmlh")) l.dmlh = *dmlh;
    }
  }
  return l;
}

// "07" for stream 7: how chunk ids number the streams.
inline std::string TwoDigits(int stream) {
  std::string s = std::to_string(stream);
  return s.size() < 2 ? "0" + s : s;
}

// The data chunks of a stream ("00dc", "01wb", ...) as the movi lists hold
// them, over every file part.
inline std::vector<ChunkRef> MoviChunksOfStream(const AviLayout& l, int stream) {
  const std::string prefix = TwoDigits(stream);
  std::vector<ChunkRef> r;
  for (const AviPart& p : l.parts)
    for (const ChunkRef& c : p.movi)
      if (c.id.compare(0, 2, prefix) == 0 &&
          (c.id.compare(2, 2, "dc") == 0 || c.id.compare(2, 2, "db") == 0 || c.id.compare(2, 2, "wb") == 0))
        r.push_back(c);
  return r;
}

struct Idx1Entry {
  std::string id;
  uint32_t flags = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

inline std::vector<Idx1Entry> ReadIdx1(const std::string& path, const AviLayout& l) {
  std::vector<Idx1Entry> r;
  if (l.parts.empty()) return r;
  const ChunkRef* idx1 = FindChunk(l.parts[0].children, "idx1");
  if (!idx1) return r;
  PReader f(path);
  std::vector<uint8_t> b = f.Read(idx1->DataPos(), idx1->size);
  for (size_t i = 0; i + 16 <= b.size(); i += 16)
    r.push_back({FourCCAt(b, i), LE32At(b, i + 4), LE32At(b, i + 8), LE32At(b, i + 12)});
  return r;
}

// How the idx1 offsets of a file count, found the way readers find it: from
// where the first entry's chunk really is.
enum class Idx1Base { kNone, kAbsolute, kMoviRelative };

struct Idx1Check {
  Idx1Base base = Idx1Base::kNone;
  std::string error;  // empty when every entry names the movi chunk at its place
  // The entries' key frame flags, stream by stream, in index order.
  std::map<int, std::vector<bool>> keyFrames;
};

// Every idx1 entry must name, in order, the data chunks of the first part's
// movi list: same id, same place, same size. Index chunks ("ix##") and
// fillers in the movi list are not data chunks.
inline Idx1Check CheckIdx1(const std::string& path, const AviLayout& l) {
  Idx1Check r;
  std::vector<Idx1Entry> entries = ReadIdx1(path, l);
  if (entries.empty()) {
    r.error = "no idx1 entries";
    return r;
  }
  const ChunkRef* movi = FindChunk(l.parts[0].children, "LIST", "movi");
  std::vector<ChunkRef> data;
  for (const ChunkRef& c : l.parts[0].movi)
    if (c.id != "JUNK" && c.id.compare(0, 2, "ix") != 0 && !c.IsList()) data.push_back(c);
  // The "movi" list type sits 8 bytes after the list header; relative offsets
  // count from there.
  const int64_t relativeBase = movi->pos + 8;
  auto at = [&](int64_t base, const Idx1Entry& e) -> const ChunkRef* {
    for (const ChunkRef& c : data)
      if (c.pos == base + e.offset) return &c;
    return nullptr;
  };
  int64_t base = 0;
  if (at(0, entries[0])) {
    r.base = Idx1Base::kAbsolute;
  } else if (at(relativeBase, entries[0])) {
    r.base = Idx1Base::kMoviRelative;
    base = relativeBase;
  } else {
    r.error = "the first idx1 entry points at no movi chunk";
    return r;
  }
  if (entries.size() != data.size()) {
    r.error = std::to_string(entries.size()) + " idx1 entries for " + std::to_string(data.size()) + " movi chunks";
    return r;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    const Idx1Entry& e = entries[i];
    const ChunkRef& c = data[i];
    if (c.pos != base + e.offset || c.id != e.id || c.size != e.size) {
      r.error = "idx1 entry " + std::to_string(i) + " (" + e.id + " at " + std::to_string(base + e.offset) + ", " +
                std::to_string(e.size) + " bytes) but movi chunk " + c.id + " at " + std::to_string(c.pos) + ", " +
                std::to_string(c.size) + " bytes";
      return r;
    }
    if (e.id.size() == 4 && std::isdigit(static_cast<unsigned char>(e.id[0])) &&
        std::isdigit(static_cast<unsigned char>(e.id[1])))
      r.keyFrames[std::stoi(e.id.substr(0, 2))].push_back((e.flags & 0x10) != 0);  // AVIIF_KEYFRAME
  }
  return r;
}

struct OdmlCheck {
  std::string error;      // empty when the super index and its standard indexes match the movi lists
  size_t stdIndexes = 0;  // "ix##" chunks the super index lists
  uint64_t duration = 0;  // sum of the super index entries' durations
  std::vector<bool> keyFrames;
};

// Follows a stream's super index ("indx") to its standard indexes ("ix##")
// and checks that their entries name, in order, every data chunk of the
// stream in every file part.
inline OdmlCheck CheckOdmlIndex(const std::string& path, const AviLayout& l, int stream) {
  OdmlCheck r;
  if (stream < 0 || static_cast<size_t>(stream) >= l.streams.size() || !l.streams[stream].indx) {
    r.error = "no indx for stream " + std::to_string(stream);
    return r;
  }
  PReader f(path);
  const ChunkRef& indx = *l.streams[stream].indx;
  std::vector<uint8_t> si = f.Read(indx.DataPos(), indx.size);
  if (si.size() < 24 || si[3] != 0 /* AVI_INDEX_OF_INDEXES */) {
    r.error = "indx is not an index of indexes";
    return r;
  }
  const uint32_t inUse = LE32At(si, 4);
  if (24 + 16 * static_cast<size_t>(inUse) > si.size()) {
    r.error = "indx lists more entries than it holds";
    return r;
  }
  const std::string ixId = "ix" + TwoDigits(stream);
  std::vector<ChunkRef> want = MoviChunksOfStream(l, stream);
  size_t next = 0;
  for (uint32_t i = 0; i < inUse; ++i) {
    const uint64_t offset = LE64At(si, 24 + 16 * i);
    const uint32_t size = LE32At(si, 24 + 16 * i + 8);
    r.duration += LE32At(si, 24 + 16 * i + 12);
    std::vector<uint8_t> h = f.Read(static_cast<int64_t>(offset), 8);
    if (FourCCAt(h, 0) != ixId || LE32At(h, 4) + 8 != size) {
      r.error = "super index entry " + std::to_string(i) + " points at no " + ixId + " chunk";
      return r;
    }
    std::vector<uint8_t> ix = f.Read(static_cast<int64_t>(offset) + 8, LE32At(h, 4));
    const uint32_t n = LE32At(ix, 4);
    if (ix.size() < 24 || ix[3] != 1 /* AVI_INDEX_OF_CHUNKS */ || 24 + 8 * static_cast<size_t>(n) > ix.size()) {
      r.error = ixId + " at " + std::to_string(offset) + " is not a well-formed index of chunks";
      return r;
    }
    const uint64_t base = LE64At(ix, 12);
    for (uint32_t k = 0; k < n; ++k) {
      const int64_t dataPos = static_cast<int64_t>(base + LE32At(ix, 24 + 8 * k));
      const uint32_t sizeField = LE32At(ix, 24 + 8 * k + 4);
      if (next >= want.size()) {
        r.error = "the standard indexes list more chunks than the movi lists hold";
        return r;
      }
      const ChunkRef& c = want[next];
      if (c.pos + 8 != dataPos || c.size != (sizeField & 0x7FFFFFFFu)) {
        r.error = "standard index entry " + std::to_string(next) + " names data at " + std::to_string(dataPos) + " (" +
                  std::to_string(sizeField & 0x7FFFFFFFu) + " bytes) but the chunk is at " + std::to_string(c.pos + 8) +
                  " (" + std::to_string(c.size) + " bytes)";
        return r;
      }
      r.keyFrames.push_back((sizeField & 0x80000000u) == 0);
      ++next;
    }
    ++r.stdIndexes;
  }
  if (next != want.size())
    r.error = "the standard indexes list " + std::to_string(next) + " of " + std::to_string(want.size()) + " chunks";
  return r;
}

}  // namespace vantrel::test
