// Texts about files that every layer writes: a file's place in the join
// and name, what a damaged input gave, an extension, an article.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

// What follows the last dot of the name part, lower case, with the dot;
// empty when there is none.
std::string LowerExtension(const std::string& fileName);

// "an MP4 file", "a Matroska file": the article for a container's name.
std::string ArticleFor(const std::string& name);

// "File 2 (b.mp4): ", before a difference named for one file of a join.
std::string FileLabel(size_t index, const std::string& path);
// "File 2 (b.avi) is damaged: only 00:04 of 00:08 could be read": an input
// that gave less than its own headers promised. promised 0: not stated.
std::string DamagedNote(size_t index, const std::string& path, double readSeconds, double promisedSeconds);

// "mm:ss", or "h:mm:ss" from one hour; rounded to whole seconds, halves to even.
std::string FormatDuration(double seconds);
// A time to the millisecond: "01:02.500", "1:02:03.040" from an hour on.
std::string FormatCutTime(double seconds);
// A time as a user types it: seconds ("1.5") or [[HH:]MM:]SS[.fff]
// ("0:09", "00:00:02.000"); false for anything else, negative included.
bool ParseTimeText(const std::string& text, double& seconds);
// The four characters of a FOURCC, lowest byte first; empty for 0.
std::string FourCCToString(uint32_t code);
// Two decimals when the rate has a fractional part, else the integer.
std::string FormatFrameRate(double rate, char decimalSeparator = '.');
// The name part of a path (after the last '/').
std::string FileNamePart(const std::string& path);
// The folder of a path without a trailing '/', except the root "/".
std::string FolderPart(const std::string& path);

}  // namespace vantrel
