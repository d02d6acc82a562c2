// Fuzz target: the project reader on arbitrary text, and the writer's
// round trip for arbitrary lists of paths.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Exceptions.h"
#include "job/SaveProjectCls.h"

using namespace vantrel;

namespace {

void RoundTrip(const std::vector<std::string>& files) {
  // No file's path holds a NUL, and the reader refuses one (opened, such a
  // name would open another file): lists with one must not read back.
  bool nul = false;
  for (const std::string& f : files) nul = nul || f.find('\0') != std::string::npos;
  std::vector<std::string> back;
  try {
    back = ReadProjectText(WriteProjectText(files));
  } catch (const Exception& e) {
    if (!nul) fuzz::Fail(std::string("a written project is refused: ") + e.what());
    return;
  }
  if (nul) fuzz::Fail("a path with a NUL read back");
  if (back != files) fuzz::Fail("a written project reads back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile file("project.qmf");
  const std::string text(reinterpret_cast<const char*>(data), size);

  bool parsed = false;
  std::vector<std::string> files;
  try {
    files = ReadProjectText(text);
    parsed = true;
  } catch (const Exception& e) {
    if (std::string(e.what()) != kProjectCorrupted) fuzz::Fail(std::string("unexpected message: ") + e.what());
  }
  if (parsed) RoundTrip(files);

  // Loading the same bytes from a file gives the same result.
  file.Write(data, size);
  TProjectSettings settings;
  settings.Files = {"unchanged"};
  try {
    settings.LoadFromFile(file.Path());
    if (!parsed || settings.Files != files) fuzz::Fail("LoadFromFile differs from ReadProjectText");
  } catch (const Exception&) {
    if (parsed) fuzz::Fail("LoadFromFile refuses what ReadProjectText reads");
    if (settings.Files != std::vector<std::string>{"unchanged"}) fuzz::Fail("a refused load changes Files");
  }

  // The bytes as paths: whole, and cut at line feeds.
  std::vector<std::string> paths = {text};
  size_t from = 0;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n') {
      paths.push_back(text.substr(from, i - from));
      from = i + 1;
    }
  }
  RoundTrip(paths);
  return 0;
}
