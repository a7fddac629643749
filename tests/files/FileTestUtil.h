// Helpers shared by the file tests: UTF-16 paths, whole-file I/O and a
// fixture that gives each test a fresh directory and disarms injected
// faults afterwards.
#ifndef TAVODB_TEST_FILE_TEST_UTIL_H
#define TAVODB_TEST_FILE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Mod/ModUnicodeString.h"
#include "TavOdb/OdbFile.h"
#include "TestSupport.h"
#include "platform/mod/ModFileFault.h"

namespace filetest {

using Bytes = std::vector<uint8_t>;
using FilePointer = TavCommon::AutoPointer<OdbFile, OdbFileDeallocator>;

inline std::u16string u16(const std::string& text) {
  return ModUtf8ToUtf16(text);
}

inline Bytes readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWhole(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Bytes that zlib shrinks a lot: repeated words with some variation.
inline Bytes textLike(size_t size, uint32_t seed = 1) {
  static const char* const words[] = {"alpha ",  "beta ", "gamma ", "delta ",
                                      "packet ", "file ", "zlib ",  "data\n"};
  Bytes bytes;
  bytes.reserve(size);
  uint32_t state = seed;
  while (bytes.size() < size) {
    state = state * 1103515245u + 12345u;
    for (const char* c = words[(state >> 16) % 8]; *c != '\0' && bytes.size() < size; ++c) {
      bytes.push_back(static_cast<uint8_t>(*c));
    }
  }
  return bytes;
}

// Bytes that zlib cannot shrink.
inline Bytes randomBytes(size_t size, uint32_t seed = 7) {
  Bytes bytes(size);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<uint8_t>(state);
  }
  return bytes;
}

class FileTest : public ::testing::Test {
 protected:
  void TearDown() override { ModFileFault::reset(); }

  std::string nativePath(const std::string& name) const { return _directory.path() + "/" + name; }

  // A file object of the given kind, initialised; fails the test otherwise.
  FilePointer make(const std::string& name, OdbFileType type) {
    FilePointer file = OdbFile::getInstance(u16(nativePath(name)).c_str(), type);
    EXPECT_TRUE(file);
    if (file) {
      EXPECT_EQ(file->Initialize(), S_OK);
    }
    return file;
  }

  static TavResult write(OdbFile& file, const Bytes& bytes) {
    TavBuffer buffer{0, const_cast<uint8_t*>(bytes.data())};
    const TavResult rc = file.Write(static_cast<int>(bytes.size()), &buffer);
    if (rc == S_OK && !bytes.empty()) {
      EXPECT_EQ(buffer.size, bytes.size());
    }
    return rc;
  }

  // One Read of up to `size` bytes; what it delivered.
  static Bytes readSome(OdbFile& file, int size) {
    Bytes bytes(static_cast<size_t>(size));
    TavBuffer buffer{0, bytes.data()};
    EXPECT_EQ(file.Read(size, &buffer), S_OK);
    bytes.resize(buffer.size);
    return bytes;
  }

  static OdbFileType typeOf(OdbFile& file) {
    OdbFileType type{};
    EXPECT_EQ(file.GetFileType(&type), S_OK);
    return type;
  }

  static int dataSize(OdbFile& file) {
    int size = -1;
    EXPECT_EQ(file.GetDataSize(&size), S_OK);
    return size;
  }

  static int fileSize(OdbFile& file) {
    int size = -1;
    EXPECT_EQ(file.GetFileSize(&size), S_OK);
    return size;
  }

  // Reads until the end in pieces of `piece` bytes. OUT *out: all of it.
  static TavResult readAll(OdbFile& file, Bytes* out, int piece = 4096) {
    out->clear();
    Bytes chunk(static_cast<size_t>(piece));
    for (;;) {
      TavBuffer buffer{0xFFFFFFFFu, chunk.data()};
      const TavResult rc = file.Read(piece, &buffer);
      if (rc != S_OK) return rc;
      if (buffer.size > static_cast<uint32_t>(piece)) return E_UNEXPECTED;
      if (buffer.size == 0) return S_OK;
      out->insert(out->end(), chunk.begin(), chunk.begin() + buffer.size);
    }
  }

  tavtest::TempDirectory _directory;
};

}  // namespace filetest

#endif  // TAVODB_TEST_FILE_TEST_UTIL_H
