#include "Mod/ModPureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "Mod/ModException.h"
#include "platform/mod/ModFileFault.h"

namespace ModFileFault {
namespace {

struct Fault {
  int errnoValue = 0;  // 0: not armed
  int32_t skip = 0;
};

std::atomic<bool> g_armed{false};  // any fault armed: the fast path reads only this
std::mutex g_mutex;                // guards g_faults
Fault g_faults[CallCount];

}  // namespace

void inject(Call call, int errnoValue, int32_t skip) {
  std::lock_guard<std::mutex> guard(g_mutex);
  g_faults[static_cast<int32_t>(call)] = Fault{errnoValue, skip};
  g_armed.store(true, std::memory_order_release);
}

void reset() {
  std::lock_guard<std::mutex> guard(g_mutex);
  for (Fault& fault : g_faults) fault = Fault{};
  g_armed.store(false, std::memory_order_release);
}

int take(Call call) {
  if (!g_armed.load(std::memory_order_acquire)) return 0;
  std::lock_guard<std::mutex> guard(g_mutex);
  Fault& fault = g_faults[static_cast<int32_t>(call)];
  if (fault.errnoValue == 0) return 0;
  if (fault.skip > 0) {
    --fault.skip;
    return 0;
  }
  const int errnoValue = fault.errnoValue;
  fault = Fault{};
  return errnoValue;
}

}  // namespace ModFileFault

namespace {

using ModFileFault::Call;

// Runs one system call, or fails it with an injected errno. Retries EINTR.
template <typename Function>
auto systemCall(Call call, Function function) -> decltype(function()) {
  if (const int injected = ModFileFault::take(call)) {
    errno = injected;
    return -1;
  }
  decltype(function()) result;
  do {
    result = function();
  } while (result < 0 && errno == EINTR);
  return result;
}

[[noreturn]] void fail(const char* operation, const std::string& path) {
  ModThrowOsError(ModModule::File, errno, std::string(operation) + " " + path);
}

}  // namespace

ModPureFile::ModPureFile(const ModUnicodeString& path)
    : _path(path), _nativePath(ModUtf16ToUtf8(path.str())) {}

ModPureFile::~ModPureFile() {
  if (_descriptor >= 0) ::close(_descriptor);
}

void ModPureFile::open(OpenMode mode, uint32_t permission) {
  if (_descriptor >= 0) {
    errno = EINVAL;
    fail("open (already open)", _nativePath);
  }
  int flags = O_CLOEXEC;
  switch (mode) {
    case readMode:
      flags |= O_RDONLY;
      break;
    case writeMode:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case readWriteMode:
    case appendMode:
      flags |= O_RDWR | O_CREAT;
      break;
    default:
      errno = EINVAL;
      fail("open (unknown mode)", _nativePath);
  }
  const int descriptor = systemCall(Call::Open, [&] {
    return ::open(_nativePath.c_str(), flags, static_cast<mode_t>(permission));
  });
  if (descriptor < 0) fail("open", _nativePath);
  if (mode == appendMode && ::lseek(descriptor, 0, SEEK_END) < 0) {
    const int saved = errno;
    ::close(descriptor);
    errno = saved;
    fail("open (seek to end)", _nativePath);
  }
  _descriptor = descriptor;
}

void ModPureFile::close() {
  if (_descriptor < 0) return;
  const int descriptor = _descriptor;
  // The descriptor is gone after close(2) whatever it reports (Linux), so it
  // is never closed twice and never retried.
  _descriptor = -1;
  int result = ::close(descriptor);
  if (const int injected = ModFileFault::take(Call::Close)) {
    errno = injected;
    result = -1;
  }
  if (result < 0 && errno != EINTR) fail("close", _nativePath);
}

void ModPureFile::requireOpen(const char* operation) const {
  if (_descriptor < 0) {
    errno = EBADF;
    fail(operation, _nativePath);
  }
}

size_t ModPureFile::read(void* buffer, size_t size) {
  requireOpen("read");
  auto* bytes = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t count =
        systemCall(Call::Read, [&] { return ::read(_descriptor, bytes + done, size - done); });
    if (count < 0) fail("read", _nativePath);
    if (count == 0) break;  // end of file
    done += static_cast<size_t>(count);
  }
  return done;
}

size_t ModPureFile::write(const void* buffer, size_t size) {
  requireOpen("write");
  const auto* bytes = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t count =
        systemCall(Call::Write, [&] { return ::write(_descriptor, bytes + done, size - done); });
    if (count < 0) fail("write", _nativePath);
    if (count == 0) {
      // A regular file that accepts nothing is out of space.
      errno = ENOSPC;
      fail("write", _nativePath);
    }
    done += static_cast<size_t>(count);
  }
  return done;
}

int64_t ModPureFile::seek(int64_t offset, SeekOrigin origin) {
  requireOpen("seek");
  int whence;
  switch (origin) {
    case seekSet:
      whence = SEEK_SET;
      break;
    case seekCurrent:
      whence = SEEK_CUR;
      break;
    case seekEnd:
      whence = SEEK_END;
      break;
    default:
      errno = EINVAL;
      fail("seek (unknown origin)", _nativePath);
  }
  const off_t position = systemCall(
      Call::Seek, [&] { return ::lseek(_descriptor, static_cast<off_t>(offset), whence); });
  if (position < 0) fail("seek", _nativePath);
  return position;
}

int64_t ModPureFile::getCurrentPosition() {
  return seek(0, seekCurrent);
}

int64_t ModPureFile::getSize() {
  struct stat status {};
  const int result = systemCall(Call::Size, [&] {
    return _descriptor >= 0 ? ::fstat(_descriptor, &status) : ::stat(_nativePath.c_str(), &status);
  });
  if (result < 0) fail("size", _nativePath);
  return status.st_size;
}

void ModPureFile::truncate(int64_t size) {
  requireOpen("truncate");
  const int result = systemCall(Call::Truncate,
                                [&] { return ::ftruncate(_descriptor, static_cast<off_t>(size)); });
  if (result < 0) fail("truncate", _nativePath);
}

void ModPureFile::setPath(const ModUnicodeString& path) {
  std::string nativePath = ModUtf16ToUtf8(path.str());
  _path = path;
  _nativePath = std::move(nativePath);
}

bool ModPureFile::doesExist(const ModUnicodeString& path) {
  return ::access(ModUtf16ToUtf8(path.str()).c_str(), F_OK) == 0;
}
