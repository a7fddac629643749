#include "TavOdb/OdbGzipFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "Mod/ModMessage.h"

namespace {

constexpr int32_t kFormatUnknown = 0;
constexpr int32_t kFormatRaw = 1;
constexpr int32_t kFormatGzip = 2;
constexpr int32_t kFormatPacket = 3;

constexpr uint8_t kMagic0 = 0x1F;
constexpr uint8_t kMagicGzip = 0x8B;
constexpr uint8_t kMagicPacket = 0x8C;

constexpr int32_t kFileHeaderSize = 10;
constexpr int32_t kPacketHeaderSize = 8;
// The compressed work buffer keeps room for both headers in front of the
// zlib stream, so a new file is written with one call.
constexpr uint32_t kPrefixSize = kFileHeaderSize + kPacketHeaderSize;

// deflate cannot expand data more than 1032 times (258 bytes per 2-bit
// code), so a packet claiming more than this is corrupt and must not make
// us allocate.
constexpr int64_t kMaxExpansion = 1032;

void encode64(uint8_t* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
void encode32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint32_t decode32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

void encodeFileHeader(uint8_t* out, int32_t total) {
  out[0] = kMagic0;
  out[1] = kMagicPacket;
  encode64(out + 2, static_cast<uint64_t>(static_cast<int64_t>(total)));
}

int32_t formatOf(const uint8_t* header) {
  if (header[0] == kMagic0 && header[1] == kMagicGzip) return kFormatGzip;
  if (header[0] == kMagic0 && header[1] == kMagicPacket) return kFormatPacket;
  return kFormatRaw;
}

// Readers use the low 32 bits of the stored 64-bit total.
int32_t totalOf(const uint8_t* header) {
  return static_cast<int32_t>(decode32(header + 2));
}

uint8_t* bytesOf(TavBuffer* buffer) {
  return static_cast<uint8_t*>(buffer->data);
}

void releaseBuffer(TavBuffer*& buffer) {
  if (buffer == nullptr) return;
  std::free(buffer->data);
  delete buffer;
  buffer = nullptr;
}

// Makes buffer hold at least size bytes: reused when big enough, otherwise
// replaced by one of exactly size bytes. Its size field is its capacity.
TavResult reserveBuffer(TavBuffer*& buffer, uint32_t size) {
  if (buffer != nullptr && buffer->size >= size) return S_OK;
  releaseBuffer(buffer);
  auto* fresh = new (std::nothrow) TavBuffer{0, nullptr};
  if (fresh == nullptr) return E_OUTOFMEMORY;
  fresh->data = std::malloc(size > 0 ? size : 1);
  if (fresh->data == nullptr) {
    delete fresh;
    return E_OUTOFMEMORY;
  }
  fresh->size = size;
  buffer = fresh;
  return S_OK;
}

}  // namespace

OdbGzipFile::OdbGzipFile(const char16_t* path)
    : OdbFile(path),
      _format(kFormatUnknown),
      _dataSize(0),
      _position(0),
      _pCompressed(nullptr),
      _packet{nullptr, 0, 0},
      _nextPacket(kFileHeaderSize) {}

OdbGzipFile::~OdbGzipFile() {
  releaseBuffer(_packet.buffer);
  releaseBuffer(_pCompressed);
}

void OdbGzipFile::restart() {
  _packet.offset = 0;
  _packet.length = 0;
  _nextPacket = kFileHeaderSize;
}

TavResult OdbGzipFile::readHeader() {
  if (_format != kFormatUnknown) return S_OK;
  int fileSize = 0;
  TavResult rc = OdbFile::GetFileSize(&fileSize);
  if (rc != S_OK) return rc;
  if (fileSize == 0) {
    // Nothing to examine: the first write decides the format.
    _dataSize = 0;
    return S_OK;
  }
  if (fileSize < kFileHeaderSize) {
    _dataSize = fileSize;
    _format = kFormatRaw;
    return S_OK;
  }
  int current = 0;
  rc = OdbFile::Seek(0, OdbSeekCurrent, &current);
  if (rc != S_OK) return rc;
  rc = OdbFile::Seek(0, OdbSeekSet, nullptr);
  if (rc != S_OK) return rc;
  uint8_t header[kFileHeaderSize];
  TavBuffer buffer{0, header};
  rc = OdbFile::Read(kFileHeaderSize, &buffer);
  const TavResult back = OdbFile::Seek(current, OdbSeekSet, nullptr);
  if (rc == S_OK) rc = back;
  if (rc != S_OK) return rc;
  if (buffer.size < static_cast<uint32_t>(kFileHeaderSize)) {
    ModErrorMessage << "File shrank while its header was read. readSize=" << buffer.size << ModEndl;
    return E_UNEXPECTED;
  }
  const int32_t format = formatOf(header);
  if (format == kFormatRaw) {
    _dataSize = fileSize;
  } else {
    _dataSize = totalOf(header);
    if (_dataSize < 0) {
      ModErrorMessage << "Illegal data size in file header: " << _dataSize << ModEndl;
      return E_UNEXPECTED;
    }
  }
  _format = format;
  return S_OK;
}

TavResult OdbGzipFile::Write(int size, TavBuffer* buffer) {
  if (buffer == nullptr || size < 0 || (size > 0 && buffer->data == nullptr)) {
    ModErrorMessage << "Illegal argument to Write. size=" << size << ModEndl;
    return E_INVALIDARG;
  }
  if (size == 0) return S_OK;
  TavResult rc = S_OK;
  if (_format == kFormatUnknown) {
    // A file with content decides for itself: packets are appended to a
    // packet file, a raw file stays raw.
    rc = readHeader();
    if (rc != S_OK) return rc;
  }
  if (_format == kFormatGzip) {
    ModErrorMessage << "Writing to a gzip stream is not supported" << ModEndl;
    return E_UNEXPECTED;
  }
  uLongf compressedLength = 0;
  if (_format != kFormatRaw) {
    const uLong bound = compressBound(static_cast<uLong>(size));
    rc = reserveBuffer(_pCompressed, static_cast<uint32_t>(kPrefixSize + bound));
    if (rc != S_OK) return rc;
    compressedLength = bound;
    const int z = ::compress(bytesOf(_pCompressed) + kPrefixSize, &compressedLength,
                             static_cast<const Bytef*>(buffer->data), static_cast<uLong>(size));
    if (z != Z_OK) {
      ModErrorMessage << "compress failed. zlib rc=" << z << ModEndl;
      return z == Z_MEM_ERROR ? E_OUTOFMEMORY : E_UNEXPECTED;
    }
    if (_format == kFormatUnknown) {
      _format =
          compressedLength + kPrefixSize < static_cast<uLong>(size) ? kFormatPacket : kFormatRaw;
    }
  }
  if (_format == kFormatRaw) {
    rc = OdbFile::Write(size, buffer);
    if (rc == S_OK) _dataSize += size;
    return rc;
  }
  rc = appendPacket(size, static_cast<uint32_t>(compressedLength));
  if (rc == S_OK) buffer->size = static_cast<uint32_t>(size);
  return rc;
}

TavResult OdbGzipFile::appendPacket(int size, uint32_t compressedLength) {
  uint8_t* work = bytesOf(_pCompressed);
  encode32(work + kFileHeaderSize, compressedLength);
  encode32(work + kFileHeaderSize + 4, static_cast<uint32_t>(size));
  int end = 0;
  TavResult rc = OdbFile::Seek(0, OdbSeekEnd, &end);
  if (rc != S_OK) return rc;
  const int packetBytes = static_cast<int>(kPacketHeaderSize + compressedLength);
  if (end == 0) {
    // A new file: header, packet header and packet in one write.
    encodeFileHeader(work, size);
    TavBuffer whole{0, work};
    rc = OdbFile::Write(kFileHeaderSize + packetBytes, &whole);
    if (rc != S_OK) {
      truncate(0);
      return rc;
    }
    _dataSize = size;
    restart();
    return S_OK;
  }

  // Appending: check the header first, then write the packet, then the new
  // total. A failure on the way cuts the file back, so it always holds
  // exactly the packets its header counts.
  uint8_t header[kFileHeaderSize];
  TavBuffer headerBuffer{0, header};
  rc = OdbFile::Seek(0, OdbSeekSet, nullptr);
  if (rc == S_OK) rc = OdbFile::Read(kFileHeaderSize, &headerBuffer);
  if (rc != S_OK) return rc;
  if (headerBuffer.size < static_cast<uint32_t>(kFileHeaderSize) ||
      formatOf(header) != kFormatPacket || totalOf(header) < 0) {
    ModErrorMessage << "Cannot append a packet: the file has no packet header" << ModEndl;
    return E_UNEXPECTED;
  }
  const int64_t total = static_cast<int64_t>(totalOf(header)) + size;
  if (total > std::numeric_limits<int32_t>::max()) {
    ModErrorMessage << "Packet file would exceed its size limit. size=" << size << ModEndl;
    return E_INVALIDARG;
  }
  TavBuffer packet{0, work + kFileHeaderSize};
  rc = OdbFile::Seek(end, OdbSeekSet, nullptr);
  if (rc == S_OK) rc = OdbFile::Write(packetBytes, &packet);
  if (rc == S_OK) {
    encodeFileHeader(header, static_cast<int32_t>(total));
    headerBuffer.size = 0;
    rc = OdbFile::Seek(0, OdbSeekSet, nullptr);
    if (rc == S_OK) rc = OdbFile::Write(kFileHeaderSize, &headerBuffer);
  }
  if (rc != S_OK) {
    truncate(end);
    return rc;
  }
  rc = OdbFile::Seek(0, OdbSeekEnd, nullptr);
  if (rc != S_OK) return rc;
  _dataSize = static_cast<int32_t>(total);
  return S_OK;
}

TavResult OdbGzipFile::Read(int size, TavBuffer* buffer) {
  if (buffer == nullptr || size < 0 || (size > 0 && buffer->data == nullptr)) {
    ModErrorMessage << "Illegal argument to Read. size=" << size << ModEndl;
    return E_INVALIDARG;
  }
  const TavResult rc = readHeader();
  if (rc != S_OK) return rc;
  switch (_format) {
    case kFormatPacket:
      return read1(size, buffer);
    case kFormatGzip:
      // Gzip streams are recognised but not decoded: no data.
      buffer->size = 0;
      return S_OK;
    default:
      return OdbFile::Read(size, buffer);
  }
}

TavResult OdbGzipFile::read1(int size, TavBuffer* buffer) {
  if (_position < _packet.offset) restart();  // went back: decode from the first packet
  buffer->size = 0;
  int64_t wanted = std::min<int64_t>(size, static_cast<int64_t>(_dataSize) - _position);
  if (wanted <= 0) return S_OK;
  // The file does not change under a reading object; one size serves the
  // whole call.
  int fileSize = 0;
  TavResult rc = OdbFile::GetFileSize(&fileSize);
  if (rc != S_OK) return rc;
  auto* out = static_cast<uint8_t*>(buffer->data);
  while (wanted > 0) {
    while (static_cast<int64_t>(_packet.offset) + _packet.length <= _position) {
      // A packet that starts here and fits is decoded straight into the
      // caller's memory; it is consumed whole, so nothing needs keeping.
      const bool direct = static_cast<int64_t>(_packet.offset) + _packet.length == _position;
      int32_t delivered = 0;
      rc = uncompress1(fileSize, direct ? out + buffer->size : nullptr, wanted, &delivered);
      if (rc != S_OK) return rc;
      buffer->size += static_cast<uint32_t>(delivered);
      _position += delivered;
      wanted -= delivered;
      if (wanted == 0) return S_OK;
    }
    const int32_t start = _position - _packet.offset;
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(wanted, _packet.length - start));
    std::memcpy(out + buffer->size, bytesOf(_packet.buffer) + start, static_cast<size_t>(count));
    buffer->size += static_cast<uint32_t>(count);
    _position += count;
    wanted -= count;
  }
  return S_OK;
}

TavResult OdbGzipFile::uncompress1(int fileSize, uint8_t* direct, int64_t room,
                                   int32_t* delivered) {
  const int64_t dataOffset = static_cast<int64_t>(_packet.offset) + _packet.length;
  const int64_t available = static_cast<int64_t>(static_cast<uint32_t>(fileSize)) - _nextPacket;
  if (available < kPacketHeaderSize) {
    ModErrorMessage << "Packet data ends before the data size. dataSize=" << _dataSize
                    << " available=" << static_cast<long long>(dataOffset) << ModEndl;
    return E_UNEXPECTED;
  }
  TavResult rc = OdbFile::Seek(static_cast<int>(_nextPacket), OdbSeekSet, nullptr);
  if (rc != S_OK) return rc;
  uint8_t header[kPacketHeaderSize];
  TavBuffer headerBuffer{0, header};
  rc = OdbFile::Read(kPacketHeaderSize, &headerBuffer);
  if (rc != S_OK) return rc;
  if (headerBuffer.size < static_cast<uint32_t>(kPacketHeaderSize)) {
    ModErrorMessage << "Can't read whole data. packetSize=" << kPacketHeaderSize
                    << " readSize=" << headerBuffer.size << ModEndl;
    return E_UNEXPECTED;
  }
  const uint32_t compressedLength = decode32(header);
  const uint32_t length = decode32(header + 4);
  if (compressedLength > available - kPacketHeaderSize) {
    ModErrorMessage << "Can't read whole data. packetSize=" << compressedLength
                    << " readSize=" << static_cast<long long>(available - kPacketHeaderSize)
                    << ModEndl;
    return E_UNEXPECTED;
  }
  if (length > kMaxExpansion * compressedLength ||
      dataOffset + length > std::numeric_limits<int32_t>::max()) {
    ModErrorMessage << "Illegal packet size. compressed=" << compressedLength
                    << " uncompressed=" << length << ModEndl;
    return E_UNEXPECTED;
  }
  rc = reserveBuffer(_pCompressed, compressedLength);
  if (rc != S_OK) return rc;
  TavBuffer data{0, _pCompressed->data};
  rc = OdbFile::Read(static_cast<int>(compressedLength), &data);
  if (rc != S_OK) return rc;
  if (data.size < compressedLength) {
    ModErrorMessage << "Can't read whole data. packetSize=" << compressedLength
                    << " readSize=" << data.size << ModEndl;
    return E_UNEXPECTED;
  }
  // Until the packet is decoded nothing is held, so a failure is retried
  // (and reported again) by the next read rather than serving stale bytes.
  _packet.offset = static_cast<int32_t>(dataOffset);
  _packet.length = 0;
  const bool toCaller = direct != nullptr && length <= room;
  rc = uncompress(toCaller ? direct : nullptr, length, compressedLength);
  if (rc != S_OK) return rc;
  if (toCaller) {
    // Consumed whole: hold an empty packet at its end, so going back to
    // any of its bytes restarts decoding instead of reading the buffer.
    _packet.offset = static_cast<int32_t>(dataOffset + length);
    *delivered = static_cast<int32_t>(length);
  } else {
    _packet.length = static_cast<int32_t>(length);
    *delivered = 0;
  }
  _nextPacket += kPacketHeaderSize + compressedLength;
  return S_OK;
}

TavResult OdbGzipFile::uncompress(uint8_t* destination, uint32_t length,
                                  uint32_t compressedLength) {
  if (destination == nullptr) {
    const TavResult rc = reserveBuffer(_packet.buffer, length);
    if (rc != S_OK) return rc;
    destination = bytesOf(_packet.buffer);
  }
  uLongf produced = length;
  const int z = ::uncompress(destination, &produced, bytesOf(_pCompressed), compressedLength);
  if (z == Z_OK && produced != length) {
    ModErrorMessage << "Uncompressed size mismatch. On file:" << length
                    << " Actually:" << static_cast<unsigned long>(produced) << ModEndl;
    return E_UNEXPECTED;
  }
  if (z != Z_OK) {
    ModErrorMessage << "uncompress failed. zlib rc=" << z << ModEndl;
    return z == Z_MEM_ERROR ? E_OUTOFMEMORY : E_UNEXPECTED;
  }
  return S_OK;
}

TavResult OdbGzipFile::Seek(int offset, OdbSeekMode origin, int* position) {
  int fileSize = 0;
  TavResult rc = OdbFile::GetFileSize(&fileSize);
  if (rc != S_OK) return rc;
  int64_t target = offset;
  if (origin == OdbSeekCurrent) {
    int current = 0;
    rc = OdbFile::Seek(0, OdbSeekCurrent, &current);
    if (rc != S_OK) return rc;
    target += current;
  } else if (origin == OdbSeekEnd) {
    target += fileSize;
  }
  if (target == fileSize) {
    rc = OdbFile::Seek(0, OdbSeekEnd, position);
    if (rc == S_OK) rc = readHeader();
    if (rc == S_OK) setPosition(_dataSize);
    return rc;
  }
  if (target == 0) {
    rc = OdbFile::Seek(0, OdbSeekSet, position);
    if (rc == S_OK) setPosition(0);
    return rc;
  }
  rc = readHeader();
  if (rc != S_OK) return rc;
  if (_format == kFormatRaw) return OdbFile::Seek(offset, origin, position);
  if (_position == target) return S_OK;  // stays where reading stands
  return TAV_E_NOTSUPPORTED;
}

TavResult OdbGzipFile::GetDataSize(int* size) {
  const TavResult rc = readHeader();
  if (rc == S_OK && size != nullptr) *size = _dataSize;
  return rc;
}

TavResult OdbGzipFile::GetFileType(OdbFileType* type) {
  const TavResult rc = readHeader();
  if (rc == S_OK && type != nullptr) {
    *type = _format == kFormatGzip || _format == kFormatPacket ? OdbFileTypeGzip : OdbFileTypePlain;
  }
  return rc;
}
