// The join options dialog's decisions, without widgets: frame-rate items,
// defaults computed from the listed files, the notes and the state of "Join
// without recompression", and the output-name rules.
#pragma once

#include <string>
#include <vector>

#include "probe/VideoFileInfo.h"
#include "recompress/RecompressSettings.h"


namespace vantrel {

// Items of the resize method list, in the order shown (ResizeMethodOfItem
// maps them).
inline constexpr const char* kResizeItems[] = {"Letterbox", "Crop", "Stretch", "No resize"};

// Text to double with the given decimal separator; raises EConvertError
// "'<text>' is not a valid floating point value".
double StrToFloat(const std::string& text, char decimalSeparator = '.');
// The resize method for an item index of the dialog's list ("Letterbox",
// "Crop", "Stretch", "No resize"); otherwise for any other index.
TResizeMethod ResizeMethodOfItem(int itemIndex, TResizeMethod otherwise = TRecompressSettings{}.ResizeMethod);
// The dialog's item index of a resize method.
int ItemOfResizeMethod(TResizeMethod method);

// Formats rate with two decimals; appends it when not yet listed; returns
// its index.
int AddFrameRate(std::vector<std::string>& list, double rate, char decimalSeparator = '.');

struct TFrameRateItems {
  std::vector<std::string> Items;  // sorted as text
  int Selected = 0;
  std::string FirstFileType;
};
TFrameRateItems FillFrameRates(const std::vector<const TVideoFileInfo*>& files, char decimalSeparator = '.');

struct TJoinDefaults {
  int FrameWidth = 0;
  int FrameHeight = 0;
  int FrameRateIndex = 0;  // into the rate items, which may have grown
  TResizeMethod ResizeMethod = rmNoResize;
  int Spread = 0;
};
// Smallest size (rounded down to multiples of 8), smallest rate, and "Crop"
// when some file's size is 8 or more above the smallest of all.
TJoinDefaults ComputeDefaults(const std::vector<const TVideoFileInfo*>& files, std::vector<std::string>& rateItems,
                              char decimalSeparator = '.');

// For the containers people share today (MP4, Matroska, WebM): the frame
// size and rate of the files that hold most of the playing time, their
// pictures as shown (turned, square pixels; a portrait majority gives a
// portrait frame), sizes even; the others letterboxed into it, never cut.
// A tie goes to the earlier file's format.
TRecompressSettings MajorityFormat(const std::vector<const TVideoFileInfo*>& files);

struct TJoinCheckState {
  bool Checked = false;
  bool Enabled = false;
};
TJoinCheckState JoinWithoutRecompressionState(bool canJoinWithoutRecompression, bool joinWithoutSound, bool noAudio);
// The note beside the check box; empty when there is nothing to say.
// copyDifference is the first difference found (why a copy is ruled out,
// or why it leaves the sound out), shown on a line of its own; copyFamily
// is set for files of a container family a stream copy writes.
std::string JoinNotes(bool canJoinWithoutRecompression, bool joinWithoutSound, bool noAudio,
                      const std::string& firstFileType, const std::string& copyDifference = "",
                      bool copyFamily = false);

bool SizeWarningVisible(int width, int height);
std::string OverwriteQuestion(const std::string& name);

// The default video compressor: a name containing "divx", else one
// containing "xvid" (ASCII letters compared without case), libxvid's where
// it is one of them, else the last; current when there is none, and then
// *noneFound is set (the dialog says so).
int ChooseVideoCompressor(const std::vector<std::string>& names, int current, bool* noneFound = nullptr);
// The default audio compressor by "mp3", then "mpeg", then "pcm", each
// time libmp3lame's where it matches, else the last; current when none
// matches.
int ChooseAudioCompressor(const std::vector<std::string>& names, int current);
inline constexpr const char* kNoOptimumVideoCompressor =
    "Unable to find an optimum video compressor. We advice to install DivX.";
inline constexpr const char* kNoCompressingItem = "No-compressing";

inline constexpr const char* kHintIdenticalFormat =
    "Hint: only files with identical format can be joined without recompression";
// AVI and MPEG-1 files, and files of one container family a copy writes.
inline constexpr const char* kHintOnlyAviMpeg =
    "Hint: only AVI, MPEG, MP4, MOV, Matroska, WebM, MPEG-TS and FLV files can be joined without recompression";
inline constexpr const char* kNoteWithoutSound = "- files will be joined without sound (audio formats differ)";

}  // namespace vantrel
