#include "TavOdb/OdbFile.h"

#include <new>

#include "Mod/ModCriticalSection.h"
#include "Mod/ModException.h"
#include "Mod/ModMessage.h"
#include "Mod/ModOsDriver.h"
#include "Mod/ModPureFile.h"
#include "Mod/ModUnicodeString.h"
#include "TavCommon.h"
#include "TavOdb/OdbGzipFile.h"
#include "TavOdb/OdbMemoryFile.h"
#include "TavOdb/internal/OdbFailureLog.h"

namespace {

// Serialises the creation of missing directories in Open across the
// process, so two files opened at once in one new directory do not race
// each other's mkdir of the same parents.
ModCriticalSection g_directoryLock;

// Directories made for files are private to the owner; files themselves get
// 0666 before umask.
constexpr uint32_t kDirectoryPermission = 0700;
constexpr uint32_t kFilePermission = 0666;

// Copies path with each single '\' turned into '/'; a doubled "\\" (a UNC
// prefix, say) is kept as it is. OUT *normalised: family-allocated.
TavResult normalisePath(const char16_t* path, char16_t** normalised) {
  if (path == nullptr) return E_INVALIDARG;
  char16_t* copy = nullptr;
  const TavResult rc = TavCopyString(&copy, path);
  if (rc != S_OK) return rc;
  if (copy == nullptr) return E_OUTOFMEMORY;
  for (char16_t* c = copy; *c != u'\0'; ++c) {
    if (*c != u'\\') continue;
    if (c[1] == u'\\') {
      ++c;  // both stay
    } else {
      *c = u'/';
    }
  }
  *normalised = copy;
  return S_OK;
}

// The directory part of a normalised path: everything before its last
// separator. Empty when the file sits in the working directory or the root.
std::u16string directoryOf(const char16_t* path) {
  const std::u16string text(path);
  const size_t separator = text.find_last_of(u"/\\");
  if (separator == std::u16string::npos || separator == 0) return {};
  return text.substr(0, separator);
}

// Runs body; a ModException goes to onError for logging and mapping.
template <typename Body, typename OnError>
TavResult guarded(Body body, OnError onError) {
  try {
    body();
    return S_OK;
  } catch (ModException& e) {
    return onError(e);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

void OdbFileDeallocator::deallocate(OdbFile* file) {
  delete file;
}

TavCommon::AutoPointer<OdbFile, OdbFileDeallocator> OdbFile::getInstance(const char16_t* path,
                                                                         OdbFileType type) {
  OdbFile* file = nullptr;
  switch (type) {
    case OdbFileTypePlain:
      file = new (std::nothrow) OdbFile(path);
      break;
    case OdbFileTypeGzip:
      file = new (std::nothrow) OdbGzipFile(path);
      break;
    case OdbFileTypeMemory:
      file = new (std::nothrow) OdbMemoryFile(path);
      break;
    default:
      ModErrorMessage << "Illegal OdbFileType: " << static_cast<int>(type) << ModEndl;
      break;
  }
  return TavCommon::AutoPointer<OdbFile, OdbFileDeallocator>(file);
}

OdbFile::OdbFile(const char16_t* path)
    : _pFile(nullptr), _pPath(nullptr), _fullPath(nullptr), _dirty(0) {
  // A failed copy leaves _pPath null; Initialize then reports it.
  TavCopyString(&_pPath, path);
}

OdbFile::~OdbFile() {
  delete _pFile;
  TavFreeMemory(_pPath);
  TavFreeMemory(_fullPath);
}

TavResult OdbFile::checkPathString() {
  char16_t* normalised = nullptr;
  const TavResult rc = normalisePath(_pPath, &normalised);
  if (rc != S_OK) return rc;
  TavFreeMemory(_fullPath);
  _fullPath = normalised;
  return S_OK;
}

TavResult OdbFile::Initialize() {
  const TavResult rc = checkPathString();
  if (rc != S_OK) {
    ModErrorMessage << "Fail to check path string" << ModEndl;
    error(__FILE_NAME__, __LINE__, rc);
    return rc;
  }
  ModPureFile* file = nullptr;
  try {
    file = new ModPureFile(ModUnicodeString(_fullPath));
  } catch (const std::bad_alloc&) {
    error(__FILE_NAME__, __LINE__, E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }
  delete _pFile;
  _pFile = file;
  _dirty = 0;
  return S_OK;
}

TavResult OdbFile::Open(OdbOpenMode mode) {
  if (_pFile == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  if (mode < OdbOpenRead || mode > OdbOpenReadExisting) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  if (mode == OdbOpenWrite || mode == OdbOpenReadWrite) {
    const TavResult rc = guarded(
        [&] {
          const std::u16string directory = directoryOf(_fullPath);
          if (directory.empty()) return;
          ModAutoCriticalSection guard(g_directoryLock);
          try {
            ModOsDriver::File::mkdir(ModUnicodeString(directory), kDirectoryPermission, true);
          } catch (ModException& e) {
            if (e.getErrorNumber() != ModOsErrorNumber::FileExists) throw;
          }
        },
        [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleMkdir); });
    if (rc != S_OK) return rc;
  }
  const bool quiet = mode == OdbOpenReadExisting;
  const auto openMode = static_cast<ModPureFile::OpenMode>(quiet ? OdbOpenRead : mode);
  return guarded([&] { _pFile->open(openMode, kFilePermission); },
                 [&](ModException& e) {
                   if (quiet && e.getErrorNumber() == ModOsErrorNumber::FileNotFound) {
                     return TAV_E_NOTFOUND;
                   }
                   return moderror(__FILE_NAME__, __LINE__, e, OdbModuleOpen);
                 });
}

TavResult OdbFile::Close() {
  if (_pFile == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  return guarded(
      [&] { _pFile->close(); },
      [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleClose); });
}

TavResult OdbFile::Seek(int offset, OdbSeekMode origin, int* position) {
  if (_pFile == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  return guarded(
      [&] {
        const int64_t result = _pFile->seek(offset, static_cast<ModPureFile::SeekOrigin>(origin));
        if (position != nullptr) *position = static_cast<int32_t>(result);
      },
      [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleSeek); });
}

TavResult OdbFile::checkTransfer(int size, TavBuffer* buffer, bool* nothingToDo) {
  if (buffer == nullptr || size < 0) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  if (size == 0) {
    buffer->size = 0;
    *nothingToDo = true;
    return S_OK;
  }
  if (buffer->data == nullptr) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  if (_pFile == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  return S_OK;
}

TavResult OdbFile::Read(int size, TavBuffer* buffer) {
  bool nothingToDo = false;
  if (const TavResult rc = checkTransfer(size, buffer, &nothingToDo); rc != S_OK || nothingToDo) {
    return rc;
  }
  return guarded(
      [&] {
        buffer->size = static_cast<uint32_t>(_pFile->read(buffer->data, static_cast<size_t>(size)));
      },
      [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleRead); });
}

TavResult OdbFile::Write(int size, TavBuffer* buffer) {
  bool nothingToDo = false;
  if (const TavResult rc = checkTransfer(size, buffer, &nothingToDo); rc != S_OK || nothingToDo) {
    return rc;
  }
  const TavResult rc = guarded(
      [&] {
        buffer->size =
            static_cast<uint32_t>(_pFile->write(buffer->data, static_cast<size_t>(size)));
      },
      [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleWrite); });
  if (rc == S_OK) _dirty = 1;
  return rc;
}

TavResult OdbFile::truncate(int size) {
  if (_pFile == nullptr) return E_UNEXPECTED;
  return guarded(
      [&] { _pFile->truncate(size); },
      [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleWrite); });
}

TavResult OdbFile::Delete() {
  if (_pFile == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  if (!DoesExist()) return S_OK;
  return guarded(
      [&] { ModOsDriver::File::unlink(ModUnicodeString(_fullPath)); },
      [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleDelete); });
}

TavResult OdbFile::Move(const char16_t* path) {
  if (path == nullptr) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  if (_pFile == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  // The target is normalised before the rename, so the file on disk and the
  // object's path always agree.
  char16_t* target = nullptr;
  TavResult rc = normalisePath(path, &target);
  if (rc != S_OK) {
    error(__FILE_NAME__, __LINE__, rc);
    return rc;
  }
  if (TavStrcmp(target, _fullPath) == 0) {
    TavFreeMemory(target);
    return S_OK;
  }
  char16_t* given = nullptr;
  rc = TavCopyString(&given, path);
  if (rc == S_OK) {
    rc = guarded(
        [&] {
          const ModUnicodeString targetString(target);
          ModOsDriver::File::rename(ModUnicodeString(_fullPath), targetString);
          _pFile->setPath(targetString);
        },
        [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleMove); });
  }
  if (rc != S_OK) {
    TavFreeMemory(given);
    TavFreeMemory(target);
    return rc;
  }
  TavFreeMemory(_pPath);
  _pPath = given;
  TavFreeMemory(_fullPath);
  _fullPath = target;
  return S_OK;
}

TavBoolean OdbFile::DoesExist() {
  if (_fullPath == nullptr) return TAV_FALSE;
  try {
    return ModPureFile::doesExist(ModUnicodeString(_fullPath)) ? TAV_TRUE : TAV_FALSE;
  } catch (const std::bad_alloc&) {
    return TAV_FALSE;
  }
}

TavResult OdbFile::GetFileSize(int* size) {
  if (size == nullptr) {
    error(__FILE_NAME__, __LINE__, E_INVALIDARG);
    return E_INVALIDARG;
  }
  if (_pFile == nullptr) {
    error(__FILE_NAME__, __LINE__, E_UNEXPECTED);
    return E_UNEXPECTED;
  }
  return guarded(
      [&] { *size = static_cast<int32_t>(_pFile->getSize()); },
      [&](ModException& e) { return moderror(__FILE_NAME__, __LINE__, e, OdbModuleFileSize); });
}

TavResult OdbFile::GetDataSize(int* size) {
  return GetFileSize(size);
}

TavResult OdbFile::GetFileType(OdbFileType* type) {
  if (type != nullptr) *type = OdbFileTypePlain;
  return S_OK;
}

TavBoolean OdbFile::IsDirty() {
  return _dirty != 0 ? TAV_TRUE : TAV_FALSE;
}

const char16_t* OdbFile::getFullPathName() const {
  return _fullPath != nullptr ? _fullPath : u"";
}

TavResult OdbFile::call_error(int kind, TavResult rc, int line, ModException& e,
                              OdbModuleNum module) {
  if (kind != 0) return moderror("test", line, e, module);
  error("test", line, rc);
  return S_OK;
}

TavResult OdbFile::moderror(const char* file, int line, ModException& e, OdbModuleNum module) {
  ModErrorMessage << "Got ModException at " << file << ":" << line << ", " << e << ModEndl;
  ModErrorMessage << u"Error File Name : " << getFullPathName() << ModEndl;
  switch (e.getErrorNumber()) {
    case ModOsErrorNumber::FileNotFound:
    case ModOsErrorNumber::NotDirectory:
      return TAV_E_FILENOTFOUND;
    case ModOsErrorNumber::PermissionDenied:
      return TAV_E_FILE2016;
    case ModOsErrorNumber::DiskFull:
      // Running out of space while closing (a late write-back) is reported
      // as a general file error: the caller can no longer retry the data.
      return module == OdbModuleOpen || module == OdbModuleWrite ? TAV_E_DISKFULL : TAV_E_FILEERROR;
    case ModOsErrorNumber::IoError:
    case ModOsErrorNumber::BadArgument:
      return TAV_E_FILE2201;
    default:
      return TAV_E_FILEERROR;
  }
}

void OdbFile::error(const char* file, int line, TavResult rc) {
  OdbLogFailure(__FILE_NAME__, __LINE__, file, line, rc);
}
