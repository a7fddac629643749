// Packet files: the exact on-disk format, the raw fallback, reading across
// packets, seeking, appending through new objects, and corrupt or truncated
// files that must give error codes.
#include <zlib.h>

#include <cerrno>

#include "FileTestUtil.h"
#include "LogCapture.h"
#include "TavOdb/OdbGzipFile.h"

namespace filetest {
namespace {

using ModFileFault::Call;

// Little-endian, as on disk.
void putLE(Bytes& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes zlibCompress(const Bytes& data) {
  uLongf length = compressBound(static_cast<uLong>(data.size()));
  Bytes out(length);
  EXPECT_EQ(compress(out.data(), &length, data.data(), static_cast<uLong>(data.size())), Z_OK);
  out.resize(length);
  return out;
}

Bytes fileHeader(uint64_t total) {
  Bytes out{0x1F, 0x8C};
  putLE(out, total, 8);
  return out;
}

void appendPacket(Bytes& file, const Bytes& stream, uint32_t length) {
  putLE(file, stream.size(), 4);
  putLE(file, length, 4);
  file.insert(file.end(), stream.begin(), stream.end());
}

// A header for `total` and one packet.
Bytes onePacket(uint64_t total, const Bytes& stream, uint32_t length) {
  Bytes file = fileHeader(total);
  appendPacket(file, stream, length);
  return file;
}

class PacketFileTest : public FileTest {
 protected:
  FilePointer openPacket(const std::string& name, OdbOpenMode mode) {
    FilePointer file = make(name, OdbFileTypeGzip);
    EXPECT_EQ(file->Open(mode), S_OK);
    return file;
  }

  // Writes each piece through one new object, as separate Write calls.
  void writePieces(const std::string& name, const std::vector<Bytes>& pieces,
                   OdbOpenMode mode = OdbOpenWrite) {
    FilePointer file = openPacket(name, mode);
    for (const Bytes& piece : pieces) ASSERT_TAV_OK(write(*file, piece));
    ASSERT_TAV_OK(file->Close());
  }

  // Opens for reading and returns the result of reading everything.
  TavResult readBack(const std::string& name, Bytes* out, int piece = 4096) {
    FilePointer file = openPacket(name, OdbOpenRead);
    return readAll(*file, out, piece);
  }
};

TEST_F(PacketFileTest, WritesTheExactFormatAndUpdatesTheTotal) {
  const Bytes zeros(10000, 0);
  const Bytes more = textLike(5000);
  writePieces("p.pkt", {zeros});
  Bytes expected = onePacket(10000, zlibCompress(zeros), 10000);
  EXPECT_EQ(readWhole(nativePath("p.pkt")), expected);

  FilePointer file = openPacket("p.pkt", OdbOpenAppend);
  ASSERT_TAV_OK(write(*file, more));
  EXPECT_EQ(dataSize(*file), 15000);
  ASSERT_TAV_OK(file->Close());
  expected = onePacket(15000, zlibCompress(zeros), 10000);
  appendPacket(expected, zlibCompress(more), 5000);
  EXPECT_EQ(readWhole(nativePath("p.pkt")), expected);
  EXPECT_EQ(typeOf(*file), OdbFileTypeGzip);
  EXPECT_TRUE(file->IsDirty());
}

TEST_F(PacketFileTest, DataThatDoesNotShrinkEnoughIsStoredRaw) {
  const Bytes all = concat(randomBytes(100), Bytes(10000, 0));
  writePieces("r.bin", {randomBytes(100), Bytes(10000, 0)});
  EXPECT_EQ(readWhole(nativePath("r.bin")), all);
  FilePointer file = openPacket("r.bin", OdbOpenRead);
  EXPECT_EQ(typeOf(*file), OdbFileTypePlain);
  Bytes back;
  ASSERT_TAV_OK(readAll(*file, &back, 333));
  EXPECT_EQ(back, all);
  int position = 0;
  ASSERT_TAV_OK(file->Seek(50, OdbSeekSet, &position));  // raw files seek freely
  EXPECT_EQ(position, 50);

  // Shorter than a header, though it starts like one.
  writeWhole(nativePath("nine.bin"), Bytes(9, 0x1F));
  FilePointer nine = openPacket("nine.bin", OdbOpenRead);
  EXPECT_EQ(dataSize(*nine), 9);
  EXPECT_EQ(typeOf(*nine), OdbFileTypePlain);
}

TEST_F(PacketFileTest, ReadsAcrossPacketBoundariesInAnyPieceSize) {
  const std::vector<Bytes> pieces = {textLike(3000, 1), textLike(1, 2), textLike(7000, 3),
                                     textLike(4096, 4)};
  writePieces("s.pkt", pieces);
  Bytes all;
  for (const Bytes& piece : pieces) all = concat(all, piece);
  for (int piece : {1, 7, 2999, 3000, 3001, 4096, 20000}) {
    Bytes back;
    ASSERT_TAV_OK(readBack("s.pkt", &back, piece));
    EXPECT_EQ(back, all) << "piece " << piece;
  }
  // Reading at the end, or nothing, delivers nothing.
  FilePointer file = openPacket("s.pkt", OdbOpenRead);
  Bytes back;
  ASSERT_TAV_OK(readAll(*file, &back));
  uint8_t byte = 0;
  TavBuffer buffer{99, &byte};
  ASSERT_TAV_OK(file->Read(1, &buffer));
  EXPECT_EQ(buffer.size, 0u);
  buffer.size = 99;
  ASSERT_TAV_OK(file->Read(0, &buffer));
  EXPECT_EQ(buffer.size, 0u);
}

TEST_F(PacketFileTest, SeeksToStartEndOrWhereReadingStandsOnly) {
  const Bytes first = textLike(3000, 5);
  const Bytes second = textLike(3000, 6);
  writePieces("k.pkt", {first, second});
  const Bytes all = concat(first, second);
  FilePointer file = openPacket("k.pkt", OdbOpenRead);
  ASSERT_EQ(readSome(*file, 4000).size(), 4000u);
  EXPECT_TAV_RC(TAV_E_NOTSUPPORTED, file->Seek(1234, OdbSeekSet, nullptr));
  int position = -1;
  ASSERT_TAV_OK(file->Seek(4000, OdbSeekSet, &position));  // stays: position untouched
  EXPECT_EQ(position, -1);

  ASSERT_TAV_OK(file->Seek(0, OdbSeekSet, &position));  // back: decoding restarts
  EXPECT_EQ(position, 0);
  Bytes back;
  ASSERT_TAV_OK(readAll(*file, &back, 1000));
  EXPECT_EQ(back, all);

  ASSERT_TAV_OK(file->Seek(0, OdbSeekEnd, &position));
  EXPECT_EQ(position, static_cast<int>(readWhole(nativePath("k.pkt")).size()));
  ASSERT_TAV_OK(readAll(*file, &back));
  EXPECT_TRUE(back.empty());

  // A fresh object sent to the end before anything was read is at the end.
  FilePointer other = openPacket("k.pkt", OdbOpenRead);
  ASSERT_TAV_OK(other->Seek(0, OdbSeekEnd, nullptr));
  ASSERT_TAV_OK(readAll(*other, &back));
  EXPECT_TRUE(back.empty());

  // Going back after reading whole packets decodes them again.
  FilePointer again = openPacket("k.pkt", OdbOpenRead);
  for (int piece : {3000, 5000, 2999}) {
    EXPECT_EQ(readSome(*again, piece), Bytes(all.begin(), all.begin() + piece));
    ASSERT_TAV_OK(again->Seek(0, OdbSeekSet, nullptr));
  }
  ASSERT_TAV_OK(readAll(*again, &back, 1));
  EXPECT_EQ(back, all);
}

TEST_F(PacketFileTest, NewObjectsAppendPacketsToAnExistingFile) {
  const Bytes first = textLike(20000, 8);
  writePieces("a.pkt", {first});
  // ReadWrite starts at offset 0: the packet must still go to the end, and
  // even incompressible data joins as a packet, because the file decides.
  const Bytes noise = randomBytes(500);
  const Bytes third = textLike(9000, 9);
  writePieces("a.pkt", {noise}, OdbOpenReadWrite);
  writePieces("a.pkt", {third}, OdbOpenAppend);
  const Bytes disk = readWhole(nativePath("a.pkt"));
  EXPECT_EQ(Bytes(disk.begin(), disk.begin() + 10), fileHeader(29500));
  Bytes back;
  ASSERT_TAV_OK(readBack("a.pkt", &back, 777));
  EXPECT_EQ(back, concat(concat(first, noise), third));

  // An object that reads and then writes appends as well.
  FilePointer file = openPacket("a.pkt", OdbOpenReadWrite);
  ASSERT_TAV_OK(readAll(*file, &back, 100));
  ASSERT_TAV_OK(write(*file, first));
  ASSERT_TAV_OK(file->Seek(0, OdbSeekSet, nullptr));
  ASSERT_TAV_OK(readAll(*file, &back, 5000));
  EXPECT_EQ(back.size(), 49500u);
}

TEST_F(PacketFileTest, DiskFullWhileAppendingLeavesTheFileAsItWas) {
  const Bytes first = textLike(20000, 10);
  writePieces("f.pkt", {first});
  const Bytes before = readWhole(nativePath("f.pkt"));
  FilePointer file = openPacket("f.pkt", OdbOpenAppend);
  for (int32_t skip : {0, 1}) {  // the packet itself, then the new total
    ModFileFault::inject(Call::Write, ENOSPC, skip);
    EXPECT_TAV_RC(TAV_E_DISKFULL, write(*file, textLike(8000, 11)));
    EXPECT_EQ(readWhole(nativePath("f.pkt")), before) << "skip " << skip;
  }
  ASSERT_TAV_OK(write(*file, textLike(8000, 12)));
  ASSERT_TAV_OK(file->Close());
  Bytes back;
  ASSERT_TAV_OK(readBack("f.pkt", &back));
  EXPECT_EQ(back, concat(first, textLike(8000, 12)));

  // Disk full at the very first packet leaves an empty file.
  FilePointer fresh = openPacket("g.pkt", OdbOpenWrite);
  ModFileFault::inject(Call::Write, ENOSPC);
  EXPECT_TAV_RC(TAV_E_DISKFULL, write(*fresh, first));
  EXPECT_TRUE(readWhole(nativePath("g.pkt")).empty());
}

TEST_F(PacketFileTest, GzipStreamsAreRecognisedButNotDecoded) {
  const Bytes gzip{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3, 1, 2, 3};
  writeWhole(nativePath("z.gz"), gzip);
  FilePointer file = openPacket("z.gz", OdbOpenReadWrite);
  EXPECT_EQ(typeOf(*file), OdbFileTypeGzip);
  EXPECT_EQ(readSome(*file, 4), Bytes{});
  EXPECT_TAV_RC(E_UNEXPECTED, write(*file, textLike(1000)));
  EXPECT_EQ(readWhole(nativePath("z.gz")), gzip);
}

TEST_F(PacketFileTest, AppendingRefusesAFileThatLostItsHeader) {
  writePieces("h.pkt", {textLike(5000)});
  FilePointer file = openPacket("h.pkt", OdbOpenAppend);
  EXPECT_EQ(dataSize(*file), 5000);  // the object now knows a packet file
  Bytes disk = readWhole(nativePath("h.pkt"));
  disk[1] = 'X';
  writeWhole(nativePath("h.pkt"), disk);
  tavtest::LogCapture capture;
  EXPECT_TAV_RC(E_UNEXPECTED, write(*file, textLike(5000)));
  EXPECT_EQ(readWhole(nativePath("h.pkt")), disk);
  EXPECT_EQ(capture.texts(),
            std::vector<std::string>{"Cannot append a packet: the file has no packet header"});
}

// A damaged file, the message it must log first, and that it never crashes.
struct CorruptCase {
  const char* name;
  Bytes file;
  const char* message;
};

Bytes validFile() {
  Bytes file = fileHeader(6000);
  appendPacket(file, zlibCompress(textLike(3000, 1)), 3000);
  appendPacket(file, zlibCompress(textLike(3000, 2)), 3000);
  return file;
}

std::vector<CorruptCase> corruptCases() {
  std::vector<CorruptCase> cases;
  const Bytes valid = validFile();
  const Bytes stream = zlibCompress(textLike(3000, 1));
  const size_t secondPacket = 10 + 8 + stream.size();

  cases.push_back({"TruncatedInsidePacketData", Bytes(valid.begin(), valid.end() - 5),
                   "Can't read whole data. packetSize="});
  cases.push_back({"TruncatedInsidePacketHeader",
                   Bytes(valid.begin(), valid.begin() + static_cast<long>(secondPacket) + 3),
                   "Packet data ends before the data size. dataSize=6000 available=3000"});
  Bytes total = valid;
  total[2] = 0x71;  // 6000 -> 6001 (0x1771)
  cases.push_back({"TotalBeyondThePackets", total,
                   "Packet data ends before the data size. dataSize=6001 available=6000"});
  cases.push_back({"StoredLengthTooLarge", onePacket(3000, stream, 3001),
                   "Uncompressed size mismatch. On file:3001 Actually:3000"});
  cases.push_back(
      {"StoredLengthTooSmall", onePacket(3000, stream, 2999), "uncompress failed. zlib rc=-5"});
  cases.push_back({"ExpansionBeyondZlibLimit", onePacket(0x7FFFFFFF, stream, 0xFFFFFFFFu),
                   "Illegal packet size. compressed="});
  Bytes compressedTooLong = fileHeader(3000);
  putLE(compressedTooLong, 0xFFFFFFF0u, 4);
  putLE(compressedTooLong, 3000, 4);
  cases.push_back({"CompressedLengthBeyondFile", compressedTooLong,
                   "Can't read whole data. packetSize=4294967280 readSize=0"});
  cases.push_back(
      {"NotAZlibStream", onePacket(3000, textLike(200, 3), 3000), "uncompress failed. zlib rc=-3"});
  Bytes empty = fileHeader(10);
  for (int i = 0; i < 50; ++i) appendPacket(empty, Bytes{}, 0);
  cases.push_back({"EmptyPacketsOnly", empty, "uncompress failed. zlib rc=-3"});
  Bytes negative = valid;
  negative[5] = 0x80;  // total 0x80001770
  cases.push_back({"NegativeTotal", negative, "Illegal data size in file header: -2147477648"});
  return cases;
}

class PacketFileCorruptTest : public PacketFileTest,
                              public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(PacketFileCorruptTest, GivesAnErrorCodeNotACrash) {
  writeWhole(nativePath("c.pkt"), GetParam().file);
  FilePointer file = openPacket("c.pkt", OdbOpenRead);
  tavtest::LogCapture capture;
  Bytes back;
  EXPECT_TAV_RC(E_UNEXPECTED, readAll(*file, &back, 1000));
  ASSERT_FALSE(capture.texts().empty());
  EXPECT_EQ(capture.texts()[0].rfind(GetParam().message, 0), 0u) << capture.texts()[0];
  EXPECT_LE(back.size(), 6000u);
  // The failure is reported again, not turned into stale data.
  EXPECT_TAV_RC(E_UNEXPECTED, readAll(*file, &back, 1000));
}

INSTANTIATE_TEST_SUITE_P(Files, PacketFileCorruptTest, ::testing::ValuesIn(corruptCases()),
                         [](const ::testing::TestParamInfo<CorruptCase>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(PacketFileTest, CorruptPacketKeepsTheGoodDataBeforeIt) {
  Bytes file = validFile();
  file[file.size() - 10] ^= 0xFF;  // inside the second packet's stream
  writeWhole(nativePath("b.pkt"), file);
  FilePointer reader = openPacket("b.pkt", OdbOpenRead);
  EXPECT_EQ(readSome(*reader, 3000), textLike(3000, 1));
  tavtest::LogCapture capture;
  Bytes head(3000);
  TavBuffer buffer{99, head.data()};
  EXPECT_TAV_RC(E_UNEXPECTED, reader->Read(3000, &buffer));
  EXPECT_EQ(buffer.size, 0u);
}

}  // namespace
}  // namespace filetest
