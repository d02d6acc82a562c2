// Shared ground of the fuzz targets: the engines read files, so each input
// is written to a scratch file in memory-backed storage first.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantrel::fuzz {

// A file of this process under /dev/shm (or $TMPDIR when /dev/shm is
// missing), removed when the process ends normally.
class ScratchFile {
 public:
  explicit ScratchFile(const char* name) {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    path_ = std::string(base && *base ? base : "/tmp") + "/vantrel-fuzz-" + std::to_string(getpid()) + "-" + name;
  }
  ~ScratchFile() { ::unlink(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Path() const { return path_; }

  // Replaces the file's content; aborts when the scratch storage fails, as
  // nothing after that would test the engines.
  void Write(const uint8_t* data, size_t size) const {
    int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) Die("open");
    size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd, data + done, size - done);
      if (n <= 0) Die("write");
      done += static_cast<size_t>(n);
    }
    ::close(fd);
  }

  void Remove() const { ::unlink(path_.c_str()); }

 private:
  [[noreturn]] void Die(const char* what) const {
    std::perror((std::string(what) + " " + path_).c_str());
    std::abort();
  }
  std::string path_;
};

// Reads little pieces off the front of the fuzz input; zeros once it is used up.
class ByteSource {
 public:
  ByteSource(const uint8_t* data, size_t size) : p_(data), n_(size) {}
  bool Empty() const { return n_ == 0; }
  size_t Left() const { return n_; }
  uint8_t U8() {
    if (n_ == 0) return 0;
    --n_;
    return *p_++;
  }
  uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) | static_cast<uint32_t>(U16()) << 16; }
  // Copies up to count bytes, zero-filling the rest.
  void Bytes(void* dest, size_t count) {
    auto* d = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < count; ++i) d[i] = U8();
  }

 private:
  const uint8_t* p_;
  size_t n_;
};

// Stops the run with a message: a broken property, not a crash of the engine.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "property broken: %s\n", what.c_str());
  std::abort();
}

}  // namespace vantrel::fuzz
