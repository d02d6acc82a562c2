#include "ffmpeg/HevcSets.h"

#include "ffmpeg/ParameterSets.h"

#include <algorithm>

namespace vantrel::av {

namespace {

// The RBSP of a NAL unit's payload (after its two-byte header), and the
// RBSP byte index before which each emulation_prevention_three_byte stood.
struct TRbsp {
  std::vector<uint8_t> Bytes;
  std::vector<size_t> Prevented;
};

TRbsp Unescape(const uint8_t* p, size_t n) {
  TRbsp r;
  r.Bytes.reserve(n);
  size_t zeros = 0;
  for (size_t i = 0; i < n; ++i) {
    if (zeros >= 2 && p[i] == 3) {
      r.Prevented.push_back(r.Bytes.size());
      zeros = 0;
      continue;
    }
    zeros = p[i] == 0 ? zeros + 1 : 0;
    r.Bytes.push_back(p[i]);
  }
  return r;
}

// Appends rbsp to out with emulation prevention; where each 3 went, as
// RBSP byte indexes, to prevented.
void Escape(const std::vector<uint8_t>& rbsp, std::vector<uint8_t>& out, std::vector<size_t>* prevented) {
  size_t zeros = 0;
  for (size_t i = 0; i < rbsp.size(); ++i) {
    if (zeros >= 2 && rbsp[i] <= 3) {
      out.push_back(3);
      if (prevented) prevented->push_back(i);
      zeros = 0;
    }
    zeros = rbsp[i] == 0 ? zeros + 1 : 0;
    out.push_back(rbsp[i]);
  }
  if (!rbsp.empty() && rbsp.back() == 0) {  // cabac_zero_words end in 00 00 03
    out.push_back(3);
    if (prevented) prevented->push_back(rbsp.size());
  }
}

class TBits {
 public:
  explicit TBits(const std::vector<uint8_t>& b) : b_(b) {}
  size_t Pos() const { return pos_; }
  size_t Size() const { return b_.size() * 8; }
  int Bit(size_t at) const { return (b_[at / 8] >> (7 - at % 8)) & 1; }
  // -1 past the end.
  int64_t U(int n) {
    if (pos_ + static_cast<size_t>(n) > Size()) return -1;
    int64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 1 | Bit(pos_++);
    return v;
  }
  int64_t Ue() {
    int zeros = 0;
    for (;;) {
      const int64_t b = U(1);
      if (b < 0 || zeros > 31) return -1;
      if (b == 1) break;
      ++zeros;
    }
    const int64_t rest = U(zeros);
    return rest < 0 ? -1 : (int64_t{1} << zeros) - 1 + rest;
  }
  bool Skip(size_t n) {
    if (pos_ + n > Size()) return false;
    pos_ += n;
    return true;
  }

 private:
  const std::vector<uint8_t>& b_;
  size_t pos_ = 0;
};

class TBitWriter {
 public:
  void Put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) PutBit((v >> i) & 1);
  }
  void PutBit(int b) {
    if (bits_ % 8 == 0) out_.push_back(0);
    if (b) out_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
    ++bits_;
  }
  void Ue(uint32_t v) {
    const uint32_t x = v + 1;
    int len = 0;
    while ((x >> len) > 1) ++len;
    Put(0, len);
    Put(x, len + 1);
  }
  bool Aligned() const { return bits_ % 8 == 0; }
  std::vector<uint8_t>& Bytes() { return out_; }

 private:
  std::vector<uint8_t> out_;
  size_t bits_ = 0;
};

int UeBits(int64_t v) {
  int len = 0;
  while (((v + 1) >> len) > 1) ++len;
  return 2 * len + 1;
}

// The position of rbsp_stop_one_bit: the last set bit; 0 when none.
size_t StopBit(const std::vector<uint8_t>& b) {
  for (size_t i = b.size(); i-- > 0;)
    if (b[i])
      for (int k = 0; k < 8; ++k)
        if (b[i] >> k & 1) return i * 8 + static_cast<size_t>(7 - k);
  return 0;
}

// A set whose fields from r's position to its stop bit follow w's: those
// bits, the stop bit and the zero bits that align it.
std::vector<uint8_t> Finish(TBits& r, TBitWriter& w, const std::vector<uint8_t>& rbsp) {
  const size_t stop = StopBit(rbsp);
  for (size_t at = r.Pos(); at < stop; ++at) w.PutBit(r.Bit(at));
  w.PutBit(1);
  while (!w.Aligned()) w.PutBit(0);
  return std::move(w.Bytes());
}

// profile_tier_level(1, maxNumSubLayersMinus1).
bool SkipProfileTierLevel(TBits& r, int maxSubLayersMinus1) {
  if (!r.Skip(88 + 8)) return false;
  bool profile[8] = {}, level[8] = {};
  for (int i = 0; i < maxSubLayersMinus1; ++i) {
    profile[i] = r.U(1) == 1;
    level[i] = r.U(1) == 1;
  }
  if (maxSubLayersMinus1 > 0 && !r.Skip(2 * static_cast<size_t>(8 - maxSubLayersMinus1))) return false;
  for (int i = 0; i < maxSubLayersMinus1; ++i)
    if ((profile[i] && !r.Skip(88)) || (level[i] && !r.Skip(8))) return false;
  return true;
}

bool RenumberSet(int type, const std::vector<uint8_t>& rbsp, const THevcIds& ids, std::vector<uint8_t>& out) {
  TBits r(rbsp);
  TBitWriter w;
  if (type == kHevcVps) {
    if (r.U(4) < 0) return false;
    w.Put(static_cast<uint32_t>(ids.Vps), 4);
  } else if (type == kHevcSps) {
    if (r.U(4) < 0) return false;
    w.Put(static_cast<uint32_t>(ids.Vps), 4);
    const int64_t maxSubLayers = r.U(3);
    if (maxSubLayers < 0 || maxSubLayers > 6) return false;
    const size_t from = r.Pos() - 3;
    if (!r.Skip(1) || !SkipProfileTierLevel(r, static_cast<int>(maxSubLayers))) return false;
    for (size_t at = from; at < r.Pos(); ++at) w.PutBit(r.Bit(at));
    if (r.Ue() < 0) return false;
    w.Ue(static_cast<uint32_t>(ids.Sps));
  } else {
    if (r.Ue() < 0 || r.Ue() < 0) return false;
    w.Ue(static_cast<uint32_t>(ids.Pps));
    w.Ue(static_cast<uint32_t>(ids.Sps));
  }
  if (r.Pos() > StopBit(rbsp)) return false;
  out = Finish(r, w, rbsp);
  return true;
}

bool RenumberSlice(int type, const TRbsp& old, const THevcIds& ids, std::vector<uint8_t>& out,
                   std::vector<size_t>& prevented) {
  if (old.Bytes.empty()) return false;
  TBits r(old.Bytes);
  TBitWriter w;
  w.Put(static_cast<uint32_t>(r.U(1)), 1);  // first_slice_segment_in_pic_flag
  if (type >= 16 && type <= 23) {
    const int64_t noOutput = r.U(1);  // no_output_of_prior_pics_flag
    if (noOutput < 0) return false;
    w.Put(static_cast<uint32_t>(noOutput), 1);
  }
  const size_t at = r.Pos();
  const int64_t pps = r.Ue();
  if (pps < 0) return false;
  const int grown = UeBits(ids.Pps) - static_cast<int>(r.Pos() - at);
  if (grown < 0 || grown % 8 != 0) return false;
  w.Ue(static_cast<uint32_t>(ids.Pps));
  // The rest moves by whole bytes: bit by bit to the old byte boundary,
  // then byte for byte.
  size_t from = r.Pos();
  for (; from % 8 != 0; ++from) w.PutBit(r.Bit(from));
  std::vector<uint8_t>& rbsp = w.Bytes();
  rbsp.insert(rbsp.end(), old.Bytes.begin() + static_cast<std::ptrdiff_t>(from / 8), old.Bytes.end());
  Escape(rbsp, out, &prevented);
  // entry_point_offset_minus1 counts the slice data's bytes with their
  // emulation prevention bytes: those must not change past the header.
  const size_t shift = static_cast<size_t>(grown / 8), stable = from / 8;
  std::vector<size_t> before, after;
  for (size_t i : old.Prevented)
    if (i >= stable) before.push_back(i + shift);
  for (size_t i : prevented)
    if (i >= stable + shift) after.push_back(i);
  return before == after;
}

void PutLength(std::vector<uint8_t>& out, size_t n, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
}

}  // namespace

int HevcNalType(const uint8_t* nal, size_t size) { return size < 2 ? -1 : (nal[0] >> 1) & 0x3F; }

int HevcSetId(const std::vector<uint8_t>& nal) {
  const int type = HevcNalType(nal.data(), nal.size());
  if (type < kHevcVps || type > kHevcPps) return -1;
  const TRbsp rbsp = Unescape(nal.data() + 2, nal.size() - 2);
  TBits r(rbsp.Bytes);
  if (type == kHevcVps) return static_cast<int>(r.U(4));
  if (type == kHevcPps) {
    const int64_t id = r.Ue();
    return id > 63 ? -1 : static_cast<int>(id);  // pps_pic_parameter_set_id is 0 to 63
  }
  r.U(4);  // sps_video_parameter_set_id
  const int64_t maxSubLayers = r.U(3);
  if (maxSubLayers < 0 || maxSubLayers > 6 || !r.Skip(1) || !SkipProfileTierLevel(r, static_cast<int>(maxSubLayers)))
    return -1;
  const int64_t id = r.Ue();
  return id > 15 ? -1 : static_cast<int>(id);
}

bool ParseHevcConfig(const std::vector<uint8_t>& b, THevcConfig& c) {
  if (b.size() < 23 || b[0] != 1) return false;
  c = THevcConfig{};
  c.Header.assign(b.begin(), b.begin() + 22);
  size_t at = 23;
  for (unsigned a = 0; a < b[22]; ++a) {
    if (at + 3 > b.size()) return false;
    THevcConfig::TArray array;
    array.Type = b[at];
    const size_t count = static_cast<size_t>(b[at + 1]) << 8 | b[at + 2];
    at += 3;
    for (size_t i = 0; i < count; ++i) {
      if (at + 2 > b.size()) return false;
      const size_t n = static_cast<size_t>(b[at]) << 8 | b[at + 1];
      at += 2;
      if (n < 2 || at + n > b.size()) return false;
      array.Nals.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(at),
                              b.begin() + static_cast<std::ptrdiff_t>(at + n));
      at += n;
    }
    c.Arrays.push_back(std::move(array));
  }
  return true;
}

std::vector<uint8_t> WriteHevcConfig(const THevcConfig& c) {
  std::vector<uint8_t> out = c.Header;
  out.push_back(static_cast<uint8_t>(c.Arrays.size()));
  for (const auto& a : c.Arrays) {
    out.push_back(a.Type);
    PutLength(out, a.Nals.size(), 2);
    for (const auto& n : a.Nals) {
      PutLength(out, n.size(), 2);
      out.insert(out.end(), n.begin(), n.end());
    }
  }
  return out;
}

THevcIdsUsed HevcIdsOf(const THevcConfig& c) {
  THevcIdsUsed used;
  for (const auto& a : c.Arrays)
    for (const auto& n : a.Nals) {
      const int id = HevcSetId(n);
      if (id < 0) continue;
      const int type = HevcNalType(n.data(), n.size());
      (type == kHevcVps ? used.Vps : type == kHevcSps ? used.Sps : used.Pps).insert(id);
    }
  return used;
}

bool FreeHevcIds(const THevcIdsUsed& used, int oldPps, THevcIds& ids) {
  if (oldPps < 0 || oldPps > 63) return false;
  auto first = [](const std::set<int>& taken, int from, int to, auto fits) {
    for (int id = from; id <= to; ++id)
      if (!taken.count(id) && fits(id)) return id;
    return -1;
  };
  auto any = [](int) { return true; };
  ids.Vps = first(used.Vps, 0, 15, any);
  ids.Sps = first(used.Sps, 0, 15, any);
  const int oldBits = UeBits(oldPps);
  ids.Pps = first(used.Pps, oldPps + 1, 63, [&](int id) { return (UeBits(id) - oldBits) % 8 == 0; });
  return ids.Vps >= 0 && ids.Sps >= 0 && ids.Pps >= 0;
}

bool RenumberHevcNal(const uint8_t* nal, size_t size, const THevcIds& ids, std::vector<uint8_t>& out) {
  const int type = HevcNalType(nal, size);
  const bool slice = (type >= 0 && type <= 9) || (type >= 16 && type <= 21);
  if (type < 0 || (!slice && (type < kHevcVps || type > kHevcPps))) {
    out.insert(out.end(), nal, nal + size);
    return type >= 0;
  }
  const TRbsp rbsp = Unescape(nal + 2, size - 2);
  std::vector<uint8_t> payload;
  std::vector<size_t> prevented;
  out.insert(out.end(), nal, nal + 2);
  if (slice) {
    if (!RenumberSlice(type, rbsp, ids, payload, prevented)) return false;
  } else {
    std::vector<uint8_t> fields;
    if (!RenumberSet(type, rbsp.Bytes, ids, fields)) return false;
    Escape(fields, payload, nullptr);
  }
  out.insert(out.end(), payload.begin(), payload.end());
  return true;
}

bool RenumberHevcSample(const uint8_t* data, size_t size, int lengthSize, const THevcIds& ids,
                        std::vector<uint8_t>& out) {
  size_t at = 0;
  while (at < size) {
    if (at + static_cast<size_t>(lengthSize) > size) return false;
    size_t n = 0;
    for (int i = 0; i < lengthSize; ++i) n = n << 8 | data[at++];
    if (n > size - at) return false;
    const size_t lengthAt = out.size();
    PutLength(out, 0, lengthSize);
    if (!RenumberHevcNal(data + at, n, ids, out)) return false;
    const size_t written = out.size() - lengthAt - static_cast<size_t>(lengthSize);
    if (lengthSize < 4 && written >> (8 * lengthSize)) return false;
    for (int i = 0; i < lengthSize; ++i)
      out[lengthAt + static_cast<size_t>(i)] = static_cast<uint8_t>(written >> (8 * (lengthSize - 1 - i)));
    at += n;
  }
  return true;
}

bool RenumberHevcConfig(const std::vector<uint8_t>& bytes, const THevcIds& ids, std::vector<uint8_t>& out) {
  THevcConfig c;
  if (!ParseHevcConfig(bytes, c)) return false;
  const THevcIdsUsed used = HevcIdsOf(c);
  if (used.Vps.size() != 1 || used.Sps.size() != 1 || used.Pps.size() != 1) return false;
  for (auto& a : c.Arrays)
    for (auto& n : a.Nals) {
      std::vector<uint8_t> renumbered;
      if (!RenumberHevcNal(n.data(), n.size(), ids, renumbered) || renumbered.size() > 0xFFFF) return false;
      n = std::move(renumbered);
    }
  out = WriteHevcConfig(c);
  return true;
}

bool MergeHevcConfig(std::vector<uint8_t>& base, const std::vector<uint8_t>& more) {
  THevcConfig a, b;
  if (!ParseHevcConfig(base, a) || !ParseHevcConfig(more, b)) return false;
  if (a.LengthSize() != b.LengthSize()) return false;
  for (const auto& array : b.Arrays)
    for (const auto& nal : array.Nals) {
      const int type = HevcNalType(nal.data(), nal.size()), id = HevcSetId(nal);
      if (id < 0) continue;  // not a set: SEI and the like stay the base's
      auto to = std::find_if(a.Arrays.begin(), a.Arrays.end(), [&](const auto& x) { return (x.Type & 0x3F) == type; });
      if (to == a.Arrays.end()) {
        THevcConfig::TArray added;
        added.Type = static_cast<uint8_t>(0x80 | type);
        a.Arrays.push_back(added);
        to = a.Arrays.end() - 1;
      }
      if (std::find(to->Nals.begin(), to->Nals.end(), nal) != to->Nals.end()) continue;
      for (const auto& n : to->Nals)
        if (HevcSetId(n) == id) return false;
      if (to->Nals.size() >= 0xFFFF) return false;
      to->Nals.push_back(nal);
    }
  base = WriteHevcConfig(a);
  return true;
}

bool HevcConfigOfExtradata(const std::vector<uint8_t>& extradata, const std::vector<uint8_t>& like,
                           std::vector<uint8_t>& hvcc) {
  THevcConfig c;
  if (ParseHevcConfig(extradata, c)) {
    hvcc = extradata;
    return true;
  }
  if (!ParseHevcConfig(like, c)) return false;
  c.Arrays.clear();
  c.Header[21] = static_cast<uint8_t>(c.Header[21] | 3);  // lengthSizeMinusOne: 3
  for (std::vector<uint8_t>& nal : AnnexBNals(extradata)) {
    const int type = HevcNalType(nal.data(), nal.size());
    if (type != kHevcVps && type != kHevcSps && type != kHevcPps) continue;
    auto it = std::find_if(c.Arrays.begin(), c.Arrays.end(), [type](const THevcConfig::TArray& a) {
      return (a.Type & 0x3F) == type;
    });
    if (it == c.Arrays.end()) {
      // array_completeness set: every set of the kind is in the record.
      c.Arrays.push_back({static_cast<uint8_t>(0x80 | type), {}});
      it = c.Arrays.end() - 1;
    }
    it->Nals.push_back(std::move(nal));
  }
  if (c.Arrays.empty()) return false;
  hvcc = WriteHevcConfig(c);
  return true;
}

}  // namespace vantrel::av
