// libFuzzer target: arbitrary bytes opened as a packet file, then examined
// and read with varying sizes and seeks. Any crash, over-read, hang or
// oversized allocation is a finding. Also linked into the regression test,
// which replays the saved inputs.
//
// Input: the file contents, followed by 8 control bytes (when the input has
// at least 8 bytes) that choose the calls.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Mod/ModUnicodeString.h"
#include "TavOdb/OdbFile.h"

namespace {

// One scratch file per process, removed at exit.
class Scratch {
 public:
  Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/tavodb-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    _directory = pattern;
    _file = _directory + "/input.pkt";
    _path = ModUtf8ToUtf16(_file);
  }
  ~Scratch() {
    ::unlink(_file.c_str());
    ::rmdir(_directory.c_str());
  }
  // Overwrites and then cuts the file rather than opening it with O_TRUNC:
  // ext4 flushes a file emptied that way on close, which would make every
  // run wait for the disk.
  void write(const uint8_t* data, size_t size) const {
    const int descriptor = ::open(_file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) std::abort();
    for (size_t done = 0; done < size;) {
      const ssize_t count =
          ::pwrite(descriptor, data + done, size - done, static_cast<off_t>(done));
      if (count <= 0) std::abort();
      done += static_cast<size_t>(count);
    }
    if (::ftruncate(descriptor, static_cast<off_t>(size)) != 0) std::abort();
    ::close(descriptor);
  }
  const std::u16string& path() const { return _path; }

 private:
  std::string _directory;
  std::string _file;
  std::u16string _path;
};

constexpr size_t kControlSize = 8;
constexpr int kReadSizes[] = {0, 1, 7, 10, 100, 1000, 4096, 65536};
// Bytes compared between the two decoding passes; bounds the time per input.
constexpr size_t kCompareLimit = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Scratch scratch;
  uint8_t control[kControlSize] = {};
  size_t fileSize = size;
  if (size >= kControlSize) {
    fileSize = size - kControlSize;
    for (size_t i = 0; i < kControlSize; ++i) control[i] = data[fileSize + i];
  }
  scratch.write(data, fileSize);

  auto file = OdbFile::getInstance(scratch.path().c_str(), OdbFileTypeGzip);
  if (!file || file->Initialize() != S_OK || file->Open(OdbOpenRead) != S_OK) std::abort();
  int dataSize = 0;
  file->GetDataSize(&dataSize);
  OdbFileType type{};
  file->GetFileType(&type);

  std::vector<uint8_t> buffer(65536 + 16, 0xA5);
  for (uint8_t op : control) {
    const int choice = op & 0x3F;
    switch (op >> 6) {
      case 0:
      case 1: {
        const int wanted = kReadSizes[choice % 8] + choice / 8;
        TavBuffer out{0xFFFFFFFFu, buffer.data()};
        if (file->Read(wanted, &out) == S_OK && out.size > static_cast<uint32_t>(wanted)) {
          std::abort();  // delivered more than asked for
        }
        break;
      }
      case 2: {
        int position = 0;
        static constexpr OdbSeekMode kOrigins[] = {OdbSeekSet, OdbSeekCurrent, OdbSeekEnd};
        file->Seek(choice < 16 ? 0 : choice - 32, kOrigins[choice % 3], &position);
        break;
      }
      default:
        file->GetDataSize(&dataSize);
        break;
    }
  }
  // Whatever happened before, decoding from the start in two different
  // piece sizes must give the same bytes (or fail the same way).
  const int pieces[2] = {kReadSizes[control[0] % 8] + 1, kReadSizes[control[1] % 8] + 3};
  std::vector<uint8_t> passes[2];
  TavResult results[2] = {S_OK, S_OK};
  for (int pass = 0; pass < 2; ++pass) {
    if (file->Seek(0, OdbSeekSet, nullptr) != S_OK) std::abort();
    while (passes[pass].size() < kCompareLimit) {
      TavBuffer out{0, buffer.data()};
      results[pass] = file->Read(pieces[pass], &out);
      if (results[pass] != S_OK || out.size == 0) break;
      passes[pass].insert(passes[pass].end(), buffer.begin(), buffer.begin() + out.size);
    }
    if (passes[pass].size() > kCompareLimit) passes[pass].resize(kCompareLimit);
  }
  if (results[0] == S_OK && results[1] == S_OK && passes[0] != passes[1]) std::abort();
  file->Close();
  return 0;
}
