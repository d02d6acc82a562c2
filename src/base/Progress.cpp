// Texts of the progress contract.
#include "base/Progress.h"

namespace vantrel {

std::string StageText(size_t index, size_t count, const std::string& path) {
  return "File " + std::to_string(index + 1) + " of " + std::to_string(count) + ": " + path.substr(path.rfind('/') + 1);
}

}  // namespace vantrel
