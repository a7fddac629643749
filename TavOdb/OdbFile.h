// OdbFile: one named file behind a common interface, in three kinds chosen
// at creation: a plain file on disk (this class), a file of compressed
// packets (OdbGzipFile) and a named in-memory file (OdbMemoryFile).
//
// Life: getInstance (or a constructor) -> Initialize -> Open -> Seek, Read,
// Write ... -> Close -> destroyed through OdbFileDeallocator. Delete, Move,
// DoesExist and GetFileSize work on the path and need Initialize only.
// Every operation returns a TavResult; failures of the file layer are logged
// and mapped: not found -> TAV_E_FILENOTFOUND, permission -> TAV_E_FILE2016,
// disk full during Open or Write -> TAV_E_DISKFULL, I/O error or bad
// argument -> TAV_E_FILE2201, anything else (disk full in Close included) ->
// TAV_E_FILEERROR. The object stays usable after a failure.
//
// Threads: one object is used by one thread at a time. Creating missing
// directories in Open is serialised across the process.
#ifndef TAVODB_ODB_FILE_H
#define TAVODB_ODB_FILE_H

#include <cstdint>

#include "TavAutoPointer.h"
#include "TavCommonTypes.h"
#include "TavOdbExport.h"

class ModPureFile;
class ModException;

enum OdbFileType : int32_t {
  OdbFileTypePlain = 0,
  OdbFileTypeGzip = 1,
  OdbFileTypeMemory = 2,
};

enum OdbOpenMode : int32_t {
  OdbOpenRead = 0,          // an existing file, read only
  OdbOpenWrite = 1,         // created (with missing directories) or emptied
  OdbOpenReadWrite = 2,     // created (with missing directories) or kept
  OdbOpenAppend = 3,        // created or kept, positioned at its end
  OdbOpenReadExisting = 4,  // as OdbOpenRead; a missing file is TAV_E_NOTFOUND, not logged
};

enum OdbSeekMode : int32_t {
  OdbSeekSet = 0,
  OdbSeekCurrent = 1,
  OdbSeekEnd = 2,
};

// The operation that failed; selects the result of a file-layer failure.
enum OdbModuleNum : int32_t {
  OdbModuleOpen = 1,
  OdbModuleClose = 2,
  OdbModuleSeek = 3,
  OdbModuleRead = 4,
  OdbModuleWrite = 5,
  OdbModuleDelete = 6,
  OdbModuleFileSize = 7,
  OdbModuleMkdir = 8,
  OdbModuleMove = 9,
};

class OdbFile;

// Destroys files made by OdbFile::getInstance; null is ignored.
class TAVODB_API OdbFileDeallocator {
 public:
  void deallocate(OdbFile* file);
};

class TAVODB_API OdbFile {
 public:
  // Makes an (uninitialised) file of the given kind for path. An unknown
  // type is logged ("Illegal OdbFileType: <type>") and, like a failed
  // allocation, gives an empty pointer.
  static TavCommon::AutoPointer<OdbFile, OdbFileDeallocator> getInstance(const char16_t* path,
                                                                         OdbFileType type);

  // Keeps a copy of path (NUL-terminated UTF-16). Touches no disk.
  explicit OdbFile(const char16_t* path);
  // Releases the descriptor without reporting close errors: call Close
  // first when they matter.
  virtual ~OdbFile();
  OdbFile(const OdbFile&) = delete;
  OdbFile& operator=(const OdbFile&) = delete;

  // Normalises the path (a single '\' becomes '/', a doubled "\\" is kept)
  // and prepares the file object. E_INVALIDARG for a null path.
  virtual TavResult Initialize();
  // E_UNEXPECTED before Initialize, E_INVALIDARG for an unknown mode;
  // opening a file that is already open fails (TAV_E_FILE2201). The modes
  // that write may also read back what is there.
  virtual TavResult Open(OdbOpenMode mode);
  virtual TavResult Close();
  // OUT *position (may be null): the new position, low 32 bits.
  virtual TavResult Seek(int offset, OdbSeekMode origin, int* position);
  // Reads up to size bytes into buffer->data; OUT buffer->size: the count
  // read (0 at the end). E_INVALIDARG for a null buffer or negative size.
  virtual TavResult Read(int size, TavBuffer* buffer);
  // Writes size bytes from buffer->data; OUT buffer->size: the count.
  virtual TavResult Write(int size, TavBuffer* buffer);
  // Removes the file; a missing file is S_OK.
  virtual TavResult Delete();
  // Renames the file to path (normalised like the constructor's); the
  // object then names the new path. Same path: S_OK, nothing done.
  virtual TavResult Move(const char16_t* path);
  virtual TavBoolean DoesExist();
  // OUT *size: bytes on disk, low 32 bits.
  virtual TavResult GetFileSize(int* size);
  // OUT *size: bytes of data the file holds (the size on disk here).
  virtual TavResult GetDataSize(int* size);
  virtual TavResult GetFileType(OdbFileType* type);
  // 1 after a successful non-empty Write since Initialize.
  virtual TavBoolean IsDirty();

  // The normalised path (empty before Initialize); owned by the object.
  const char16_t* getFullPathName() const;

  // Logging entry for callers outside the class, attributed to file "test":
  // kind != 0 logs and maps exception e for module and returns the mapped
  // result; kind == 0 logs the standard failure line for rc and returns S_OK.
  TavResult call_error(int kind, TavResult rc, int line, ModException& e, OdbModuleNum module);

 protected:
  // For the packet file: cuts the open file back to size bytes after a
  // failed append, so a half-written packet never stays behind.
  TavResult truncate(int size);

 private:
  TavResult checkPathString();
  // Checks the arguments of Read and Write; OUT *nothingToDo for size 0.
  TavResult checkTransfer(int size, TavBuffer* buffer, bool* nothingToDo);
  TavResult moderror(const char* file, int line, ModException& e, OdbModuleNum module);
  void error(const char* file, int line, TavResult rc);

  ModPureFile* _pFile;  // made by Initialize, owned
  char16_t* _pPath;     // the path as given, owned (family allocator)
  char16_t* _fullPath;  // normalised path, owned (family allocator); null before Initialize
  int32_t _dirty;
};

#endif  // TAVODB_ODB_FILE_H
