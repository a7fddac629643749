// Packet files against raw zlib compress/uncompress, and memory files
// against memcpy, on the same buffers in the same run. Arguments: the
// transfer size and the data kind (0 text-like, 1 random).
//
// Packet writes append to a real file (the page cache, mostly); the file is
// emptied outside the timed region whenever it passes 256 MiB.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Mod/ModUnicodeString.h"
#include "TavOdb/OdbFile.h"

namespace {

using Bytes = std::vector<uint8_t>;
using FilePointer = TavCommon::AutoPointer<OdbFile, OdbFileDeallocator>;

constexpr int64_t kResetBytes = 256 << 20;

Bytes makeData(size_t size, int kind) {
  Bytes bytes;
  bytes.reserve(size);
  uint64_t state = 88172645463325252ull;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  if (kind == 1) {
    while (bytes.size() < size) bytes.push_back(static_cast<uint8_t>(next()));
    return bytes;
  }
  static const char* const words[] = {"document ", "repository ", "version ",    "folder ",
                                      "owner ",    "created ",    "2026-12-05 ", "status\n",
                                      "text ",     "index ",      "node ",       "record "};
  while (bytes.size() < size) {
    for (const char* c = words[next() % 12]; *c != '\0' && bytes.size() < size; ++c) {
      bytes.push_back(static_cast<uint8_t>(*c));
    }
  }
  return bytes;
}

const Bytes& data(size_t size, int kind) {
  static std::vector<std::pair<std::pair<size_t, int>, Bytes>> cache;
  for (auto& entry : cache) {
    if (entry.first == std::make_pair(size, kind)) return entry.second;
  }
  cache.emplace_back(std::make_pair(size, kind), makeData(size, kind));
  return cache.back().second;
}

class Scratch {
 public:
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavodb-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    _directory = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(_directory, ignored);
  }
  std::u16string path(const std::string& name) const {
    return ModUtf8ToUtf16(_directory + "/" + name);
  }

 private:
  std::string _directory;
};

const Scratch& scratch() {
  static const Scratch instance;
  return instance;
}

FilePointer openFile(const std::u16string& path, OdbFileType type, OdbOpenMode mode) {
  FilePointer file = OdbFile::getInstance(path.c_str(), type);
  if (!file || file->Initialize() != S_OK || file->Open(mode) != S_OK) std::abort();
  return file;
}

void setLabel(benchmark::State& state) {
  state.SetLabel(state.range(1) == 0 ? "text" : "random");
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// ---- packet file vs zlib ----

void ZlibCompress(benchmark::State& state) {
  const Bytes& input = data(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  Bytes output(compressBound(static_cast<uLong>(input.size())));
  for (auto _ : state) {
    uLongf length = output.size();
    if (compress(output.data(), &length, input.data(), static_cast<uLong>(input.size())) != Z_OK) {
      state.SkipWithError("compress failed");
    }
    benchmark::DoNotOptimize(output.data());
  }
  setLabel(state);
}

void PacketWrite(benchmark::State& state) {
  const Bytes& input = data(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  FilePointer file = openFile(scratch().path("write.pkt"), OdbFileTypeGzip, OdbOpenWrite);
  int64_t written = 0;
  for (auto _ : state) {
    TavBuffer buffer{0, const_cast<uint8_t*>(input.data())};
    if (file->Write(static_cast<int>(input.size()), &buffer) != S_OK) {
      state.SkipWithError("Write failed");
      break;
    }
    written += static_cast<int64_t>(input.size());
    if (written >= kResetBytes) {
      state.PauseTiming();
      if (file->Close() != S_OK || file->Open(OdbOpenWrite) != S_OK) std::abort();
      written = 0;
      state.ResumeTiming();
    }
  }
  file->Close();
  setLabel(state);
}

void ZlibUncompress(benchmark::State& state) {
  const Bytes& input = data(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  Bytes compressed(compressBound(static_cast<uLong>(input.size())));
  uLongf compressedLength = compressed.size();
  compress(compressed.data(), &compressedLength, input.data(), static_cast<uLong>(input.size()));
  Bytes output(input.size());
  for (auto _ : state) {
    uLongf length = output.size();
    if (uncompress(output.data(), &length, compressed.data(), compressedLength) != Z_OK) {
      state.SkipWithError("uncompress failed");
    }
    benchmark::DoNotOptimize(output.data());
  }
  setLabel(state);
}

void PacketRead(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  const Bytes& input = data(size, static_cast<int>(state.range(1)));
  const std::u16string path = scratch().path("read-" + std::to_string(size) + "-" +
                                             std::to_string(state.range(1)) + ".pkt");
  // At least 16 packets and 4 MiB, so reading cycles through many packets.
  const int packets = static_cast<int>(std::max<size_t>(16, (4u << 20) / size));
  {
    FilePointer writer = openFile(path, OdbFileTypeGzip, OdbOpenWrite);
    for (int i = 0; i < packets; ++i) {
      TavBuffer buffer{0, const_cast<uint8_t*>(input.data())};
      if (writer->Write(static_cast<int>(size), &buffer) != S_OK) std::abort();
    }
    writer->Close();
  }
  FilePointer file = openFile(path, OdbFileTypeGzip, OdbOpenRead);
  Bytes output(size);
  for (auto _ : state) {
    TavBuffer buffer{0, output.data()};
    if (file->Read(static_cast<int>(size), &buffer) != S_OK) {
      state.SkipWithError("Read failed");
      break;
    }
    if (buffer.size == 0) {  // end of the data: start over
      file->Seek(0, OdbSeekSet, nullptr);
      buffer.size = 0;
      file->Read(static_cast<int>(size), &buffer);
    }
    benchmark::DoNotOptimize(output.data());
  }
  file->Close();
  setLabel(state);
}

// ---- memory file vs memcpy ----

void Memcpy(benchmark::State& state) {
  const Bytes& input = data(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  Bytes output(input.size());
  for (auto _ : state) {
    std::memcpy(output.data(), input.data(), input.size());
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  setLabel(state);
}

void MemoryWrite(benchmark::State& state) {
  const Bytes& input = data(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  FilePointer file = openFile(u"bench/memory-write", OdbFileTypeMemory, OdbOpenWrite);
  for (auto _ : state) {
    TavBuffer buffer{0, const_cast<uint8_t*>(input.data())};
    if (file->Seek(0, OdbSeekSet, nullptr) != S_OK ||
        file->Write(static_cast<int>(input.size()), &buffer) != S_OK) {
      state.SkipWithError("Write failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  file->Delete();
  setLabel(state);
}

void MemoryRead(benchmark::State& state) {
  const Bytes& input = data(static_cast<size_t>(state.range(0)), static_cast<int>(state.range(1)));
  {
    FilePointer writer = openFile(u"bench/memory-read", OdbFileTypeMemory, OdbOpenWrite);
    TavBuffer buffer{0, const_cast<uint8_t*>(input.data())};
    if (writer->Write(static_cast<int>(input.size()), &buffer) != S_OK) std::abort();
  }
  FilePointer file = openFile(u"bench/memory-read", OdbFileTypeMemory, OdbOpenRead);
  Bytes output(input.size());
  for (auto _ : state) {
    TavBuffer buffer{0, output.data()};
    if (file->Seek(0, OdbSeekSet, nullptr) != S_OK ||
        file->Read(static_cast<int>(output.size()), &buffer) != S_OK) {
      state.SkipWithError("Read failed");
      break;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  file->Delete();
  setLabel(state);
}

const std::vector<int64_t> kSizes = {1 << 10, 64 << 10, 1 << 20};

BENCHMARK(ZlibCompress)->ArgsProduct({kSizes, {0, 1}});
BENCHMARK(PacketWrite)->ArgsProduct({kSizes, {0, 1}});
BENCHMARK(ZlibUncompress)->ArgsProduct({kSizes, {0, 1}});
BENCHMARK(PacketRead)->ArgsProduct({kSizes, {0, 1}});
BENCHMARK(Memcpy)->ArgsProduct({kSizes, {0}});
BENCHMARK(MemoryWrite)->ArgsProduct({kSizes, {0}});
BENCHMARK(MemoryRead)->ArgsProduct({kSizes, {0}});

}  // namespace

BENCHMARK_MAIN();
