// Project files: the list of input files, in list order, as one
// TProjectSettings object in the runtime's text object notation (".qmf").
#pragma once

#include <string>
#include <vector>

namespace vantrel {

inline constexpr const char* kProjectCorrupted = "The project file is corrupted";
// Larger files are not projects: refused before they are read into memory.
inline constexpr size_t kMaxProjectFileSize = 64u << 20;

// The file's text for a list of paths; lines end with CR LF.
std::string WriteProjectText(const std::vector<std::string>& files);
// The paths of a project's text; raises "The project file is corrupted"
// for anything that is not such an object.
std::vector<std::string> ReadProjectText(const std::string& text);

class TProjectSettings {
 public:
  std::vector<std::string> Files;

  // Reads Files from the file; raises "Cannot open file <name>" or "The
  // project file is corrupted", leaving Files as they were.
  void LoadFromFile(const std::string& fileName);
  // Writes Files; raises "Cannot create file <name>" or the system's error
  // when the text cannot be written whole.
  void SaveToFile(const std::string& fileName) const;
};

}  // namespace vantrel
