#include "ffmpeg/ParameterSets.h"

#include <string>

#include <algorithm>
#include <cstddef>

namespace vantrel::av {

namespace {

// Reads the Exp-Golomb ue(v) at bit position pos of data, skipping the
// emulation prevention bytes (00 00 03); -1 past the end.
class TBitReader {
 public:
  TBitReader(const std::vector<uint8_t>& nal, size_t from) {
    for (size_t i = from, zeros = 0; i < nal.size(); ++i) {
      if (zeros >= 2 && nal[i] == 3) {
        zeros = 0;
        continue;
      }
      zeros = nal[i] == 0 ? zeros + 1 : 0;
      rbsp_.push_back(nal[i]);
    }
  }
  int Bit() {
    if (pos_ >= rbsp_.size() * 8) return -1;
    const int b = (rbsp_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
    ++pos_;
    return b;
  }
  int Ue() {
    int zeros = 0;
    int b = Bit();
    for (; b == 0; b = Bit())
      if (++zeros > 30) return -1;
    if (b < 0) return -1;
    uint32_t value = 0;
    for (int i = 0; i < zeros; ++i) {
      b = Bit();
      if (b < 0) return -1;
      value = value << 1 | static_cast<uint32_t>(b);
    }
    return static_cast<int>((1u << zeros) - 1 + value);
  }

 private:
  std::vector<uint8_t> rbsp_;
  size_t pos_ = 0;
};

bool ReadSets(const std::vector<uint8_t>& b, size_t& at, size_t count, std::vector<std::vector<uint8_t>>& sets) {
  for (size_t i = 0; i < count; ++i) {
    if (at + 2 > b.size()) return false;
    const size_t n = static_cast<size_t>(b[at]) << 8 | b[at + 1];
    at += 2;
    if (n == 0 || at + n > b.size()) return false;
    sets.emplace_back(b.begin() + static_cast<ptrdiff_t>(at), b.begin() + static_cast<ptrdiff_t>(at + n));
    at += n;
  }
  return true;
}

void WriteSets(std::vector<uint8_t>& out, const std::vector<std::vector<uint8_t>>& sets) {
  for (const auto& s : sets) {
    out.push_back(static_cast<uint8_t>(s.size() >> 8));
    out.push_back(static_cast<uint8_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
  }
}

// Appends add's sets to to, but for those already there; false when one
// would share an id with another set.
bool AddSets(std::vector<std::vector<uint8_t>>& to, const std::vector<std::vector<uint8_t>>& add,
             int (*idOf)(const std::vector<uint8_t>&)) {
  for (const auto& s : add) {
    if (std::find(to.begin(), to.end(), s) != to.end()) continue;
    const int id = idOf(s);
    if (id < 0) return false;
    for (const auto& t : to)
      if (idOf(t) == id) return false;
    to.push_back(s);
  }
  return true;
}

}  // namespace

bool ParseAvcConfig(const std::vector<uint8_t>& b, TAvcConfig& c) {
  if (b.size() < 7 || b[0] != 1) return false;
  c = TAvcConfig{};
  c.Profile = b[1];
  c.Compatibility = b[2];
  c.Level = b[3];
  c.LengthSizeMinusOne = b[4] & 3;
  size_t at = 6;
  if (!ReadSets(b, at, b[5] & 0x1F, c.Sps)) return false;
  if (at >= b.size()) return false;
  const size_t pps = b[at++];
  if (!ReadSets(b, at, pps, c.Pps)) return false;
  c.Tail.assign(b.begin() + static_cast<ptrdiff_t>(at), b.end());
  return true;
}

std::vector<uint8_t> WriteAvcConfig(const TAvcConfig& c) {
  std::vector<uint8_t> out = {1, c.Profile, c.Compatibility, c.Level, static_cast<uint8_t>(0xFC | c.LengthSizeMinusOne),
                              static_cast<uint8_t>(0xE0 | (c.Sps.size() & 0x1F))};
  WriteSets(out, c.Sps);
  out.push_back(static_cast<uint8_t>(c.Pps.size()));
  WriteSets(out, c.Pps);
  out.insert(out.end(), c.Tail.begin(), c.Tail.end());
  return out;
}

int SpsId(const std::vector<uint8_t>& nal) {
  if (nal.size() < 5) return -1;
  TBitReader r(nal, 4);  // NAL header, profile_idc, constraint flags, level_idc
  return r.Ue();
}

int PpsId(const std::vector<uint8_t>& nal) {
  if (nal.size() < 2) return -1;
  TBitReader r(nal, 1);
  return r.Ue();
}

bool MergeAvcConfig(std::vector<uint8_t>& base, const std::vector<uint8_t>& more) {
  TAvcConfig a, b;
  if (!ParseAvcConfig(base, a) || !ParseAvcConfig(more, b)) return false;
  if (a.LengthSizeMinusOne != b.LengthSizeMinusOne) return false;
  if (!AddSets(a.Sps, b.Sps, SpsId) || !AddSets(a.Pps, b.Pps, PpsId)) return false;
  // The record's count fields: 31 sequence sets, 255 picture sets at most.
  if (a.Sps.size() > 31 || a.Pps.size() > 255) return false;
  base = WriteAvcConfig(a);
  return true;
}

std::vector<std::vector<uint8_t>> AnnexBNals(const std::vector<uint8_t>& b) {
  std::vector<std::vector<uint8_t>> nals;
  size_t i = 0, start = std::string::npos;
  auto close = [&](size_t end) {
    if (start == std::string::npos) return;
    // Trailing zero bytes belong to the next start code.
    while (end > start && b[end - 1] == 0) --end;
    if (end > start) nals.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(start), b.begin() + static_cast<std::ptrdiff_t>(end));
  };
  while (i + 2 < b.size()) {
    if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
      close(i);
      i += 3;
      start = i;
      continue;
    }
    ++i;
  }
  close(b.size());
  return nals;
}

bool AvcConfigOfExtradata(const std::vector<uint8_t>& extradata, std::vector<uint8_t>& avcc) {
  TAvcConfig c;
  if (ParseAvcConfig(extradata, c)) {
    avcc = extradata;
    return true;
  }
  c = TAvcConfig{};
  for (std::vector<uint8_t>& nal : AnnexBNals(extradata)) {
    const int type = nal[0] & 0x1F;
    if (type == 7) c.Sps.push_back(std::move(nal));
    else if (type == 8) c.Pps.push_back(std::move(nal));
  }
  if (c.Sps.empty() || c.Sps.front().size() < 4) return false;
  // profile_idc, the constraint flags and level_idc follow the NAL header.
  c.Profile = c.Sps.front()[1];
  c.Compatibility = c.Sps.front()[2];
  c.Level = c.Sps.front()[3];
  c.LengthSizeMinusOne = 3;
  avcc = WriteAvcConfig(c);
  return true;
}

}  // namespace vantrel::av
