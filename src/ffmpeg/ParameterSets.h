// H.264 parameter sets as an MP4 or Matroska file keeps them: one
// AVCDecoderConfigurationRecord ("avcC") listing the sequence and picture
// parameter sets every frame of the track refers to by id.
#pragma once

#include <cstdint>
#include <vector>

namespace vantrel::av {

struct TAvcConfig {
  uint8_t Profile = 0, Compatibility = 0, Level = 0;
  uint8_t LengthSizeMinusOne = 3;
  std::vector<std::vector<uint8_t>> Sps, Pps;  // NAL units, header byte included
  std::vector<uint8_t> Tail;                   // what follows the sets (High profiles' chroma fields)
};

// False when bytes are no avcC (Annex B extradata, a record cut short).
bool ParseAvcConfig(const std::vector<uint8_t>& bytes, TAvcConfig& config);
std::vector<uint8_t> WriteAvcConfig(const TAvcConfig& config);

// The ids the sets declare: seq_parameter_set_id of an SPS (after
// profile_idc, the constraint flags and level_idc), pic_parameter_set_id of
// a PPS; -1 when the NAL unit is too short to say.
int SpsId(const std::vector<uint8_t>& nal);
int PpsId(const std::vector<uint8_t>& nal);

// The NAL units of an Annex B stream (start codes 00 00 01 or 00 00 00 01
// between them), without their start codes; empty units are skipped.
std::vector<std::vector<uint8_t>> AnnexBNals(const std::vector<uint8_t>& bytes);

// An encoder's extradata as an avcC: as it is when it is one already, else
// built from the SPS and PPS of its Annex B form (4-byte lengths). False
// when it holds no SPS.
bool AvcConfigOfExtradata(const std::vector<uint8_t>& extradata, std::vector<uint8_t>& avcc);

// base with the sets of more that it does not hold yet appended: one sample
// entry for frames encoded apart, each finding its own sets by their ids.
// False (base untouched) when either is no avcC, their NAL length sizes
// differ, or an id would then name two different sets.
bool MergeAvcConfig(std::vector<uint8_t>& base, const std::vector<uint8_t>& more);

}  // namespace vantrel::av
