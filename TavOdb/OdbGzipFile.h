// OdbGzipFile: a file of zlib-compressed packets on disk, read back as the
// plain data.
//
// Format (little-endian): 1F 8C, the total data size as a 64-bit integer,
// then packets back to back: C (compressed length, u32), U (data length,
// u32), C bytes of zlib stream. Each non-empty Write appends one packet and
// rewrites the total. A file whose first write would not gain more than the
// 18 header bytes is written raw (the file is then simply the data); the
// first non-empty write of an object decides, or, for a file that already
// has content, the file itself. An empty file has no format yet.
//
// Reading decompresses one packet at a time. Seek can go to the start, to the
// end, or stay where reading stands (anything else: TAV_E_NOTSUPPORTED); a
// raw file seeks freely. Writes of a packet file always go to its end.
// A truncated or corrupt packet file gives E_UNEXPECTED (logged); a packet
// is never allocated more than the zlib expansion limit of its compressed
// size allows, and the compressed size never more than the file holds.
//
// Open, Close, Delete, Move, DoesExist and GetFileSize are the plain file's.
// One object is used by one thread at a time.
#ifndef TAVODB_ODB_GZIP_FILE_H
#define TAVODB_ODB_GZIP_FILE_H

#include <cstdint>

#include "TavCommonTypes.h"
#include "TavOdb/OdbFile.h"
#include "TavOdbExport.h"

class TAVODB_API OdbGzipFile : public OdbFile {
 public:
  explicit OdbGzipFile(const char16_t* path);
  ~OdbGzipFile() override;

  TavResult Seek(int offset, OdbSeekMode origin, int* position) override;
  // OUT buffer->size: bytes delivered (0 at the end of the data).
  TavResult Read(int size, TavBuffer* buffer) override;
  // Compresses and appends one packet (or writes raw, see above).
  // OUT buffer->size: size on success.
  TavResult Write(int size, TavBuffer* buffer) override;
  // OUT *size (may be null): the uncompressed data size.
  TavResult GetDataSize(int* size) override;
  // OUT *type (may be null): OdbFileTypePlain for a raw or empty file,
  // OdbFileTypeGzip for a packet file or a gzip stream.
  TavResult GetFileType(OdbFileType* type) override;

 private:
  struct Packet {
    TavBuffer* buffer;  // uncompressed bytes; size = capacity
    int32_t offset;     // data position of its first byte
    int32_t length;     // bytes held (0 after a packet decoded into the caller's memory)
  };

  TavResult readHeader();
  TavResult appendPacket(int size, uint32_t compressedLength);
  TavResult read1(int size, TavBuffer* buffer);
  // Decodes the packet after the held one. With direct set and room for the
  // whole packet, decodes into direct instead; OUT *delivered: the bytes
  // placed there (0 when the packet went to the packet buffer).
  TavResult uncompress1(int fileSize, uint8_t* direct, int64_t room, int32_t* delivered);
  // Decodes _pCompressed (exactly length bytes expected) into destination,
  // or into the packet buffer when destination is null.
  TavResult uncompress(uint8_t* destination, uint32_t length, uint32_t compressedLength);
  void setPosition(int position) { _position = position; }
  void restart();

  int32_t _format;          // 0 unknown, 1 raw, 2 gzip stream, 3 packet file
  int32_t _dataSize;        // uncompressed size of the data
  int32_t _position;        // read position in the data
  TavBuffer* _pCompressed;  // compressed work buffer; size = capacity
  Packet _packet;           // the packet last decompressed
  int64_t _nextPacket;      // file offset of the packet after _packet
};

#endif  // TAVODB_ODB_GZIP_FILE_H
