// HEVC parameter sets as MP4 and Matroska keep them: one
// HEVCDecoderConfigurationRecord ("hvcC") listing the video, sequence and
// picture parameter sets (VPS, SPS, PPS) the frames refer to by id. x265 has
// no option for those ids, so a stream encoded to join others is given new
// ones afterwards: in its sets, and in every slice header's
// slice_pic_parameter_set_id.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace vantrel::av {

struct THevcConfig {
  std::vector<uint8_t> Header;  // the 22 bytes before numOfArrays
  struct TArray {
    uint8_t Type = 0;  // array_completeness, reserved bit, NAL_unit_type
    std::vector<std::vector<uint8_t>> Nals;  // NAL header included
  };
  std::vector<TArray> Arrays;
  int LengthSize() const { return (Header[21] & 3) + 1; }
};

// False when bytes are no hvcC (Annex B extradata, a record cut short).
bool ParseHevcConfig(const std::vector<uint8_t>& bytes, THevcConfig& config);
std::vector<uint8_t> WriteHevcConfig(const THevcConfig& config);

enum { kHevcVps = 32, kHevcSps = 33, kHevcPps = 34 };
int HevcNalType(const uint8_t* nal, size_t size);
// The id a VPS, SPS or PPS declares; -1 for another NAL unit or one too
// short to say.
int HevcSetId(const std::vector<uint8_t>& nal);

// The ids each kind of set uses in a record.
struct THevcIdsUsed {
  std::set<int> Vps, Sps, Pps;
};
THevcIdsUsed HevcIdsOf(const THevcConfig& config);

// New ids for a stream with one set of each kind: every VPS, SPS and PPS
// and every reference to one takes these.
struct THevcIds {
  int Vps = 0, Sps = 0, Pps = 0;
};

// Ids that none of used holds. The new PPS id's Exp-Golomb code is longer
// than the old one's by whole bytes, so that each slice's data stays where
// its header's byte_alignment() put it. False when none is free.
bool FreeHevcIds(const THevcIdsUsed& used, int oldPps, THevcIds& ids);

// One NAL unit (header and emulation prevention bytes included) with the
// ids; NAL units other than sets and slices are copied. False when it
// cannot be done: a set or slice header cut short, a PPS id whose code
// would move the slice data by part of a byte, or a slice whose data would
// gain or lose an emulation prevention byte (its entry points would move).
bool RenumberHevcNal(const uint8_t* nal, size_t size, const THevcIds& ids, std::vector<uint8_t>& out);
// A sample (NAL units with lengthSize-byte big-endian lengths), appended to out.
bool RenumberHevcSample(const uint8_t* data, size_t size, int lengthSize, const THevcIds& ids,
                        std::vector<uint8_t>& out);
// A record with its sets renumbered; false unless it holds exactly one set
// of each kind.
bool RenumberHevcConfig(const std::vector<uint8_t>& bytes, const THevcIds& ids, std::vector<uint8_t>& out);

// An encoder's extradata as an hvcC: as it is when it is one already, else
// its Annex B VPS, SPS and PPS in a record whose header is like's (another
// record of the same profile) with 4-byte lengths. False when it holds no
// set or like is no record.
bool HevcConfigOfExtradata(const std::vector<uint8_t>& extradata, const std::vector<uint8_t>& like,
                           std::vector<uint8_t>& hvcc);

// base with the parameter sets of more that it does not hold yet appended
// (other NAL units in more are left out). False (base untouched) when either
// is no hvcC, their NAL length sizes differ, or an id would then name two
// different sets of one kind.
bool MergeHevcConfig(std::vector<uint8_t>& base, const std::vector<uint8_t>& more);

}  // namespace vantrel::av
