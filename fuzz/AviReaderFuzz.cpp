// Fuzz target: the AVI reader on arbitrary files. Probes the file from its
// headers, opens it for its headers and then fully, walks every chunk in time order and reads each
// chunk whose index entry lies within the file.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "avi/AVIRead.h"
#include "base/Exceptions.h"
#include "probe/FileInfo.h"

using namespace vantrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile file("reader.avi");
  file.Write(data, size);

  // The command line's probe reads the same headers first.
  TVideoFileInfo info;
  NativeProbe(file.Path(), info);

  TAVIFileReader reader;
  try {
    reader.Open(file.Path(), true);
  } catch (const Exception&) {
    // A refused file is a fine outcome; the full open must then refuse too
    // or at least not crash.
  }
  try {
    reader.Open(file.Path(), false);
  } catch (const Exception&) {
    return 0;
  }

  const int64_t fileSize = reader.FileSize();
  if (fileSize != static_cast<int64_t>(size)) fuzz::Fail("file size differs from the input's");
  if (reader.StreamCount() > TAVIFileReader::kMaxStreams) fuzz::Fail("more streams than the reader allows");
  uint64_t total = 0;
  for (int i = 0; i < reader.StreamCount(); ++i) total += reader.Streams(i).IndexCount();
  // Every indexed chunk needs at least its 8-byte header in the file.
  if (total > static_cast<uint64_t>(fileSize / 8)) fuzz::Fail("more index entries than the file can hold");

  reader.ResetCursors();
  std::vector<uint8_t> chunk;
  uint64_t walked = 0;
  for (;;) {
    int s;
    uint32_t entry;
    reader.NextChunk(s, entry);
    if (s < 0) break;
    if (++walked > total) fuzz::Fail("NextChunk hands out more chunks than are indexed");
    TAVIStream& stream = reader.Streams(s);
    TIndexEntry e;
    if (!stream.GetIndexEntry(entry, e)) fuzz::Fail("NextChunk hands out an entry past the index");
    if (stream.StreamPosition(entry) != e.StreamPos) fuzz::Fail("stream position differs from the entry's");
    if (stream.EntryTime(entry) < 0) fuzz::Fail("negative entry time");
    if (e.Offset >= 0 && e.Offset <= fileSize && e.Size <= fileSize - e.Offset) {
      chunk.resize(e.Size);
      if (!stream.ReadChunk(entry, chunk.data())) fuzz::Fail("a chunk within the file is not read whole");
    }
  }
  if (walked != total) fuzz::Fail("NextChunk skips indexed chunks");
  // Past the end nothing is read.
  if (reader.StreamCount() > 0) {
    uint8_t dummy[8];
    if (reader.Streams(0).ReadChunk(reader.Streams(0).IndexCount(), dummy)) fuzz::Fail("read past the index");
  }
  return 0;
}
