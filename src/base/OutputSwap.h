// Outputs written whole or not at all: a join writes under a hidden name
// beside its output, created for it alone, and the file takes the output's
// name only when the join has ended (done or stopped). A failure, a crash or
// a kill leaves nothing under the output's name, and a file this join did
// not make is never removed.
#pragma once

#include <string>

namespace vantrel {

class TOutputSwap {
 public:
  // Creates ".<name>-XXXXXX.<ext>" in the output's folder, exclusively.
  // Where that cannot be (the folder cannot be written to, the name is a
  // folder's), Path() is the output itself, so that the join fails on it
  // with its own words.
  explicit TOutputSwap(const std::string& output);
  // Removes the hidden file unless it took the output's name.
  ~TOutputSwap();
  TOutputSwap(const TOutputSwap&) = delete;
  TOutputSwap& operator=(const TOutputSwap&) = delete;

  // Where the join writes.
  const std::string& Path() const { return temp_; }
  // Whether a file is written under the hidden name.
  bool Hidden() const { return temp_ != output_; }
  // Gives the written file the output's name. With replace false, a file
  // that took that name meanwhile (another program, another join) is kept
  // and this raises "<output> was created by another program during the
  // join"; the hidden file goes.
  void Commit(bool replace);
  // After a failure: the same, for what the join kept as a whole file; an
  // empty one (the join failed before it wrote) goes. Raises nothing.
  void KeepWhatWasFinished(bool replace);
  // The text with the hidden name put back to the output's.
  std::string Named(std::string text) const;

 private:
  std::string output_, temp_;
  bool committed_ = false;
};

// Raises "<path> is not a regular file" when a device, a FIFO or a socket
// has the name (a folder is left to the join, which says it cannot be
// replaced).
void CheckRegularOutput(const std::string& path);

}  // namespace vantrel
