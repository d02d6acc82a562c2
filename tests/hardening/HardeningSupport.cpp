// Helpers of the hardening tests.
#include "HardeningSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "base/Exceptions.h"
#include "mpeg/MpegBytes.h"
#include "support/TestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
#define VANTREL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_TEST_ASAN 1
#endif
#endif

namespace {

std::atomic<size_t> g_largest{0};

inline void NoteAllocation(size_t n) {
  size_t seen = g_largest.load(std::memory_order_relaxed);
  while (n > seen && !g_largest.compare_exchange_weak(seen, n, std::memory_order_relaxed)) {
  }
}

}  // namespace

#ifdef VANTREL_TEST_ASAN
// AddressSanitizer owns malloc; it calls a hook after each allocation.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
namespace {
void MallocHook(const volatile void*, size_t size) { NoteAllocation(size); }
void FreeHook(const volatile void*) {}
}  // namespace
#else
// Every request of the process passes here on its way to the C library's
// allocator (whose free and aligned allocations stay as they are).
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);

void* malloc(size_t size) {
  NoteAllocation(size);
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  size_t total;
  NoteAllocation(__builtin_mul_overflow(count, size, &total) ? SIZE_MAX : total);
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  NoteAllocation(size);
  return __libc_realloc(p, size);
}
}
#endif

namespace vantrel::test {

size_t LargestAllocation() { return g_largest.load(); }
void ResetLargestAllocation() { g_largest.store(0); }

std::string ChildResult::Describe() const {
  std::ostringstream s;
  if (timedOut)
    s << "killed by the watchdog";
  else if (exited)
    s << "exit " << exitCode;
  else
    s << "signal " << signal;
  s << ", largest allocation " << largestAllocation << " bytes, report: \"" << report << "\"";
  return s.str();
}

namespace {

void WriteAll(int fd, const void* data, size_t size) {
  auto* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    size -= static_cast<size_t>(n);
  }
}

[[noreturn]] void ChildMain(int out, const std::function<std::string()>& work, const ChildLimits& limits) {
  if (limits.fileSize >= 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit r{static_cast<rlim_t>(limits.fileSize), static_cast<rlim_t>(limits.fileSize)};
    ::setrlimit(RLIMIT_FSIZE, &r);
  }
#ifndef VANTREL_TEST_ASAN
  if (limits.extraAddressSpace > 0) {
    // What the child has mapped already, from /proc/self/statm (pages).
    size_t inUse = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
      unsigned long pages = 0;
      if (std::fscanf(f, "%lu", &pages) == 1) inUse = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
      std::fclose(f);
    }
    rlim_t cap = static_cast<rlim_t>(inUse + limits.extraAddressSpace);
    rlimit r{cap, cap};
    ::setrlimit(RLIMIT_AS, &r);
  }
#else
  __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
#endif
  ResetLargestAllocation();
  std::string report;
  int code = 0;
  try {
    report = work();
  } catch (const std::exception& e) {
    report = std::string("uncaught: ") + e.what();
    code = 3;
  } catch (...) {
    report = "uncaught: not a std::exception";
    code = 3;
  }
  uint64_t largest = LargestAllocation();
  WriteAll(out, &largest, sizeof largest);
  WriteAll(out, report.data(), report.size());
  ::close(out);
  ::_exit(code);
}

}  // namespace

ChildResult RunInChild(const std::function<std::string()>& work, const ChildLimits& limits) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::close(fds[0]);
    ChildMain(fds[1], work, limits);
  }
  ::close(fds[1]);

  ChildResult r;
  std::string bytes;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.watchdogSeconds);
  char buf[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      r.timedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int n = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    ssize_t got = ::read(fds[0], buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    bytes.append(buf, static_cast<size_t>(got));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    r.exited = true;
    r.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal = WTERMSIG(status);
  }
  if (bytes.size() >= sizeof(uint64_t)) {
    uint64_t largest;
    std::memcpy(&largest, bytes.data(), sizeof largest);
    r.largestAllocation = static_cast<size_t>(largest);
    r.report = bytes.substr(sizeof largest);
  }
  return r;
}

int OpenDescriptorsTo(const std::string& path) {
  std::error_code ec;
  std::string want = std::filesystem::weakly_canonical(path, ec).string();
  if (ec) want = path;
  int count = 0;
  DIR* d = ::opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    char target[PATH_MAX];
    std::string link = std::string("/proc/self/fd/") + e->d_name;
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    std::string t(target, static_cast<size_t>(n));
    if (t == want || t == want + " (deleted)") ++count;
  }
  ::closedir(d);
  return count;
}

void MakeSparseFile(const std::string& path, const std::vector<uint8_t>& head, int64_t size) {
  WriteFileBytes(path, head);
  if (::truncate(path.c_str(), static_cast<off_t>(size)) != 0) throw std::runtime_error("truncate failed: " + path);
}

std::string MessageOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

std::vector<uint8_t> SystemStream(uint8_t seed, int packs) {
  Bytes b;
  for (int i = 0; i < packs; ++i) {
    for (const Bytes& unit : {Pack(3600 * i), Packet(0xE0, PtsHeader(9000 + 3600 * i), Payload(2000, static_cast<uint8_t>(seed + i))),
                              Packet(0xC0, PtsHeader(9000 + 3600 * i), Payload(500, seed))})
      b.insert(b.end(), unit.begin(), unit.end());
  }
  return b;
}

ProbeOutcome FfprobeAllPackets(const std::string& file) {
  CommandResult r =
      Run({"ffprobe", "-v", "error", "-show_entries", "packet=codec_type,size", "-of", "csv=p=0", file});
  ProbeOutcome o;
  o.exitCode = r.exitCode;
  o.errors = r.err;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    const std::string kind = line.substr(0, comma);
    const uint64_t size = std::strtoull(line.c_str() + comma + 1, nullptr, 10);
    if (kind == "video") {
      ++o.videoPackets;
      o.videoBytes += size;
    } else if (kind == "audio") {
      ++o.audioPackets;
      o.audioBytes += size;
    }
  }
  return o;
}

}  // namespace vantrel::test
