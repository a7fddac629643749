// OdbMemoryFile: a named file whose contents live in this process's memory.
//
// All memory files live in one process-wide registry keyed by a normalised
// name: every run of backslashes becomes one '/', a run at the very end is
// dropped, and ASCII letters are upper-cased; everything else, '/' included,
// is kept. So "C:\Temp\\a.dat", "c:/temp/A.DAT" and "C:\TEMP\A.DAT\" are one
// file ("C:/TEMP/A.DAT"), while "C://temp/a.dat" is another. Every object
// made with an equal name shares the one content buffer.
//
// A file is created by the first Open of its name in a mode that may write,
// outlives the objects that used it and disappears only through Delete (or
// the end of the process). Open never empties a file. An open object holds
// its own reference to the contents, so a file deleted under it stays valid
// for that object until it is closed; later opens of the name no longer see
// it. Each object keeps its own position and its own view of the size (taken
// at Open and by its own writes).
//
// Threads: the registry may be used from any thread. Each file's contents
// are guarded by their own lock, so concurrent Read and Write calls on one
// file never see a buffer being reallocated; their order is the callers'.
// One object is used by one thread at a time.
#ifndef TAVODB_ODB_MEMORY_FILE_H
#define TAVODB_ODB_MEMORY_FILE_H

#include <cstdint>

#include "TavCommonTypes.h"
#include "TavOdb/OdbFile.h"
#include "TavOdbExport.h"

class OdbMemoryFileContents;

class TAVODB_API OdbMemoryFile : public OdbFile {
 public:
  // Normalises path into the registry key. A null path (or no memory) is
  // logged and leaves the object without a name: Open, Delete, Read, Write
  // and Seek then give E_UNEXPECTED and DoesExist throws E_UNEXPECTED.
  explicit OdbMemoryFile(const char16_t* path);
  // Drops this object's reference; the file itself stays.
  ~OdbMemoryFile() override;

  // S_OK; there is nothing on disk to prepare.
  TavResult Initialize() override;
  // Missing file: OdbOpenRead logs "Memory File <name> not found." and gives
  // TAV_E_FILENOTFOUND; OdbOpenReadExisting gives TAV_E_NOTFOUND silently;
  // the other modes create it. Keeps the position of an earlier opening.
  TavResult Open(OdbOpenMode mode) override;
  // Closed: Read, Write and Seek give E_UNEXPECTED until the next Open.
  TavResult Close() override;
  // Target within 0..size, and in OdbOpenAppend only the end; otherwise
  // E_INVALIDARG. OUT *position (may be null).
  TavResult Seek(int offset, OdbSeekMode origin, int* position) override;
  // Modes OdbOpenRead, OdbOpenReadWrite, OdbOpenReadExisting only.
  // OUT buffer->size: bytes copied (0 at the end).
  TavResult Read(int size, TavBuffer* buffer) override;
  // Modes OdbOpenWrite, OdbOpenReadWrite, OdbOpenAppend only. Overwrites in
  // place and extends the file as needed; it never shrinks. In OdbOpenAppend
  // every write goes to the end of the file as it is then. E_OUTOFMEMORY
  // leaves contents and position unchanged. OUT buffer->size: size.
  TavResult Write(int size, TavBuffer* buffer) override;
  // Removes the name from the registry; a missing file is S_OK.
  TavResult Delete() override;
  // TAV_E_NOTSUPPORTED.
  TavResult Move(const char16_t* path) override;
  TavBoolean DoesExist() override;
  // OUT *size: this object's view of the size.
  TavResult GetFileSize(int* size) override;
  TavResult GetDataSize(int* size) override;
  TavResult GetFileType(OdbFileType* type) override;
  // 1 once the file was written through an object that did not create it.
  TavBoolean IsDirty() override;

 private:
  static TavResult normalizePathString(const char16_t* path, char16_t** key);
  void releaseContents();

  char16_t* _key;                     // normalised name, owned (family allocator); null if none
  int32_t _mode;                      // OdbOpenMode of the current opening, 5 when closed
  int32_t _size;                      // this object's view of the file size
  int32_t _offset;                    // current position
  int32_t _modified;                  // reported by IsDirty
  int32_t _created;                   // 1 if this object's Open created the file
  OdbMemoryFileContents* _pContents;  // this object's reference while open
};

#endif  // TAVODB_ODB_MEMORY_FILE_H
