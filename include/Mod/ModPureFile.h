// The base library's file: one path, one POSIX descriptor, unbuffered.
//
// Every failure throws ModException (module File) whose error number comes
// from ModErrorNumberFromErrno, so callers map errno in exactly one place.
// An object is used by one thread at a time.
#ifndef MOD_PURE_FILE_H
#define MOD_PURE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "Mod/ModUnicodeString.h"

class ModPureFile {
 public:
  // Open modes. Every mode except readMode creates a missing file (the
  // directory must exist). writeMode empties an existing file; readWriteMode
  // and appendMode keep it. appendMode starts at the end of the file; it does
  // not force later writes there, because the packet file rewrites its
  // header at offset 0 after appending. The modes that write are opened for
  // reading too, for the same reason.
  enum OpenMode : int32_t { readMode = 0, writeMode = 1, readWriteMode = 2, appendMode = 3 };
  enum SeekOrigin : int32_t { seekSet = 0, seekCurrent = 1, seekEnd = 2 };

  explicit ModPureFile(const ModUnicodeString& path);
  // Closes the descriptor if still open; a failure of that close is lost, so
  // callers that care call close() themselves.
  virtual ~ModPureFile();
  ModPureFile(const ModPureFile&) = delete;
  ModPureFile& operator=(const ModPureFile&) = delete;

  // Opens with the given permission bits for a created file (before umask).
  // Throws BadArgument for an unknown mode or a file that is already open.
  void open(OpenMode mode, uint32_t permission = 0666);
  // Releases the descriptor even when the system reports an error (the
  // error is still thrown). Closing a closed file does nothing.
  void close();
  bool isOpened() const { return _descriptor >= 0; }

  // Reads up to size bytes at the current position; fewer only at the end of
  // the file. Returns the count.
  size_t read(void* buffer, size_t size);
  // Writes all size bytes at the current position or throws; bytes written
  // before a failure stay in the file.
  size_t write(const void* buffer, size_t size);
  // Returns the new position.
  int64_t seek(int64_t offset, SeekOrigin origin);
  int64_t getCurrentPosition();
  // The size of the open file, or of the file at the path when closed.
  int64_t getSize();
  // Cuts (or extends with zeros) the open file to size bytes.
  void truncate(int64_t size);

  const ModUnicodeString& getPath() const { return _path; }
  // Later opens and path operations use the new path; an open descriptor
  // keeps the file it has.
  void setPath(const ModUnicodeString& path);

  static bool doesExist(const ModUnicodeString& path);

 private:
  void requireOpen(const char* operation) const;

  ModUnicodeString _path;
  std::string _nativePath;  // UTF-8 form of _path, as the system wants it
  int _descriptor = -1;
};

#endif  // MOD_PURE_FILE_H
