// What a stream copy needs to be the same in every input: per stream, the
// fields a decoder is set up from, each with the words to show when it
// differs. Stored as text in TVideoFileInfo::CopyFormat so that the list
// and the job decide without the media framework.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vantrel {

// Kinds of copied streams, as the signature and the messages name them.
inline constexpr const char* kStreamVideo = "video";
inline constexpr const char* kStreamAudio = "audio";
inline constexpr const char* kStreamSubtitle = "subtitle";
inline constexpr const char* kStreamData = "data";

struct TCopyStream {
  std::string Kind;
  // (label, shown) in a fixed order. A shown text starting with '#' is
  // compared but not shown (a hash of the codec's parameter sets).
  std::vector<std::pair<std::string, std::string>> Fields;
};

std::string EncodeCopyFormat(const std::vector<TCopyStream>& streams);
// Malformed lines are skipped; an empty text gives no streams.
std::vector<TCopyStream> DecodeCopyFormat(const std::string& text);
// The text without the fields of these labels, in every stream.
std::string WithoutFields(const std::string& text, const std::vector<std::string>& labels);

// How one file's streams compare with the first file's.
struct TCopyFormatDiff {
  std::string Video;  // first video difference in words; empty when none
  std::string Audio;  // first audio difference in words; empty when none
  // Subtitle and data streams of the first file (indexes among all its
  // streams) that this file lacks or has in another format.
  std::vector<size_t> OthersDiffering;
};
TCopyFormatDiff CompareCopyFormat(const std::string& first, const std::string& other);

// The container families a stream copy writes, by the media framework's
// container name ("MP4", "QuickTime", "Matroska", ...); empty when the
// name is none of them.
struct TCopyFamily {
  const char* Container;  // as TVideoFileInfo::ContainerName has it
  const char* Extension;  // of the joined file, with its dot
  const char* Muxer;      // the media framework's output format
  const char* Shown;      // in messages
};
const TCopyFamily* CopyFamilyOf(const std::string& containerName);
// What follows the last dot of the name part, lower case, with the dot;
// empty when there is none.
std::string LowerExtension(const std::string& fileName);
// The family whose extension the output name ends with (no case), or null.
const TCopyFamily* CopyFamilyOfFileName(const std::string& fileName);
const std::vector<TCopyFamily>& CopyFamilies();
// "an MP4 file", "a Matroska file": the article for a container's name.
std::string ArticleFor(const std::string& name);

// "File 2 (b.mp4): ", before a difference named for one file of a join.
std::string FileLabel(size_t index, const std::string& path);
// "File 2 (b.avi) is damaged: only 00:04 of 00:08 could be read": an input
// that gave less than its own headers promised. promised 0: not stated.
std::string DamagedNote(size_t index, const std::string& path, double readSeconds, double promisedSeconds);

struct TVideoFileInfo;
// A list of files as a stream copy of their containers sees it.
struct TCopySet {
  // The first file's family; null when the first file is none of them (or
  // is an AVI or MPEG-1 file, which have joiners of their own).
  const TCopyFamily* Family = nullptr;
  // The first difference that rules the copy out: "File 2 (b.mp4): video
  // 1280x720, the first file 1920x1080"; empty when there is none.
  std::string WhyNot;
  // The first difference in the sound, which leaves the sound out.
  std::string SoundDiffers;
};
TCopySet CompareCopySet(const std::vector<const TVideoFileInfo*>& files);

}  // namespace vantrel
