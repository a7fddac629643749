#include "TavOdb/OdbMemoryFile.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <string>

#include "Mod/ModCriticalSection.h"
#include "Mod/ModMessage.h"
#include "TavCommon.h"

namespace {
constexpr int32_t kClosed = 5;
}  // namespace

// The contents of one memory file, shared by the registry and by every open
// object; deleted with the last reference.
class OdbMemoryFileContents {
 public:
  void acquire() { _references.fetch_add(1, std::memory_order_relaxed); }
  void release() {
    if (_references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  ModCriticalSection lock;  // guards data, capacity, size, modified
  uint8_t* data = nullptr;  // null until the first write
  uint32_t capacity = 0;
  uint32_t size = 0;
  int32_t modified = 0;  // 1 once written through an object that did not create it

 private:
  ~OdbMemoryFileContents() { std::free(data); }

  std::atomic<int32_t> _references{1};
};

namespace {

// The registry: normalised name -> contents (one reference each). Built on
// first use so that it exists whenever a file object does.
class Registry {
 public:
  ~Registry() {
    for (auto& entry : _files) entry.second->release();
  }

  ModCriticalSection lock;  // guards _files
  std::map<std::u16string, OdbMemoryFileContents*> _files;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

// Grows contents to hold at least end bytes. Doubles the capacity so a file
// built by many small appends is not copied on every write; falls back to
// exactly end when the doubled block cannot be had. Caller holds the lock.
bool reserve(OdbMemoryFileContents& contents, uint32_t end) {
  if (contents.capacity >= end) return true;
  const uint64_t doubled = std::max<uint64_t>(end, static_cast<uint64_t>(contents.capacity) * 2);
  uint32_t capacity =
      static_cast<uint32_t>(std::min<uint64_t>(doubled, std::numeric_limits<int32_t>::max()));
  auto* data = static_cast<uint8_t*>(std::realloc(contents.data, capacity));
  if (data == nullptr && capacity > end) {
    capacity = end;
    data = static_cast<uint8_t*>(std::realloc(contents.data, capacity));
  }
  if (data == nullptr) return false;
  contents.data = data;
  contents.capacity = capacity;
  return true;
}

}  // namespace

OdbMemoryFile::OdbMemoryFile(const char16_t* path)
    : OdbFile(path),
      _key(nullptr),
      _mode(kClosed),
      _size(0),
      _offset(0),
      _modified(0),
      _created(0),
      _pContents(nullptr) {
  const TavResult rc = normalizePathString(path, &_key);
  if (rc != S_OK) {
    ModErrorMessage << "normalizePathString failed. rc=0x" << ModHex << static_cast<int>(rc)
                    << ModDec << ModEndl;
  }
}

OdbMemoryFile::~OdbMemoryFile() {
  releaseContents();
  TavFreeMemory(_key);
}

void OdbMemoryFile::releaseContents() {
  if (_pContents != nullptr) {
    _pContents->release();
    _pContents = nullptr;
  }
}

TavResult OdbMemoryFile::normalizePathString(const char16_t* path, char16_t** key) {
  if (path == nullptr) return E_OUTOFMEMORY;
  char16_t* copy = nullptr;
  if (TavCopyString(&copy, path) != S_OK || copy == nullptr) return E_OUTOFMEMORY;
  // Rewritten in place: the result is never longer than the source.
  char16_t* out = copy;
  for (const char16_t* in = path; *in != u'\0';) {
    if (*in == u'\\') {
      while (*in == u'\\') ++in;
      if (*in != u'\0') *out++ = u'/';
      continue;
    }
    *out++ = (*in >= u'a' && *in <= u'z') ? static_cast<char16_t>(*in - u'a' + u'A') : *in;
    ++in;
  }
  *out = u'\0';
  TavFreeMemory(*key);
  *key = copy;
  return S_OK;
}

TavResult OdbMemoryFile::Initialize() {
  return S_OK;
}

TavResult OdbMemoryFile::Open(OdbOpenMode mode) {
  if (_key == nullptr) return E_UNEXPECTED;
  if (mode < OdbOpenRead || mode > OdbOpenReadExisting) {
    ModErrorMessage << "Illegal open mode: " << static_cast<int>(mode) << ModEndl;
    return E_INVALIDARG;
  }
  OdbMemoryFileContents* contents = nullptr;
  bool created = false;
  try {
    Registry& files = registry();
    ModAutoCriticalSection guard(files.lock);
    const std::u16string key(_key);
    auto found = files._files.find(key);
    if (found == files._files.end()) {
      if (mode == OdbOpenRead) {
        ModErrorMessage << "Memory File " << _key << " not found." << ModEndl;
        return TAV_E_FILENOTFOUND;
      }
      if (mode == OdbOpenReadExisting) return TAV_E_NOTFOUND;
      auto* fresh = new OdbMemoryFileContents;  // the registry's reference
      try {
        found = files._files.emplace(key, fresh).first;
      } catch (...) {
        fresh->release();
        throw;
      }
      created = true;
    }
    contents = found->second;
    contents->acquire();  // this object's own reference
  } catch (const std::bad_alloc&) {
    ModErrorMessage << "Unexpected exception" << ModEndl;
    return E_OUTOFMEMORY;
  }
  releaseContents();
  _pContents = contents;
  {
    ModAutoCriticalSection guard(contents->lock);
    _size = static_cast<int32_t>(contents->size);
    _modified = contents->modified;
  }
  if (created) _created = 1;
  _mode = mode;
  return S_OK;
}

TavResult OdbMemoryFile::Close() {
  _mode = kClosed;
  releaseContents();
  return S_OK;
}

TavResult OdbMemoryFile::Seek(int offset, OdbSeekMode origin, int* position) {
  if (_pContents == nullptr || _mode == kClosed) return E_UNEXPECTED;
  int64_t target = offset;
  if (origin == OdbSeekCurrent) {
    target += _offset;
  } else if (origin == OdbSeekEnd) {
    target += _size;
  }
  if (target < 0 || target > _size) {
    ModErrorMessage << "Illegal seek position: " << static_cast<long long>(target) << ModEndl;
    return E_INVALIDARG;
  }
  if (_mode == OdbOpenAppend && target != _size) {
    ModErrorMessage << "Illegal seek position for Append mode" << ModEndl;
    return E_INVALIDARG;
  }
  _offset = static_cast<int32_t>(target);
  if (position != nullptr) *position = _offset;
  return S_OK;
}

TavResult OdbMemoryFile::Read(int size, TavBuffer* buffer) {
  if (_pContents == nullptr || _mode == kClosed) return E_UNEXPECTED;
  if (_mode != OdbOpenRead && _mode != OdbOpenReadWrite && _mode != OdbOpenReadExisting) {
    return E_INVALIDARG;
  }
  if (buffer == nullptr || size < 0) return E_INVALIDARG;
  // This object's view of the size bounds the read; the contents never
  // shrink, so the bytes are there.
  const int32_t count = std::max(0, std::min(size, _size - _offset));
  if (count > 0 && buffer->data != nullptr) {
    ModAutoCriticalSection guard(_pContents->lock);
    std::memcpy(buffer->data, _pContents->data + _offset, static_cast<size_t>(count));
  }
  buffer->size = static_cast<uint32_t>(count);
  _offset += count;
  return S_OK;
}

TavResult OdbMemoryFile::Write(int size, TavBuffer* buffer) {
  if (_pContents == nullptr || _mode == kClosed) return E_UNEXPECTED;
  if (_mode != OdbOpenWrite && _mode != OdbOpenReadWrite && _mode != OdbOpenAppend) {
    return E_INVALIDARG;
  }
  if (buffer == nullptr || size < 0) return E_INVALIDARG;
  int64_t end = 0;
  {
    ModAutoCriticalSection guard(_pContents->lock);
    OdbMemoryFileContents& contents = *_pContents;
    // Appending writes go to the end of the contents as they are now, so
    // objects appending to one file never overwrite each other.
    const int64_t start = _mode == OdbOpenAppend ? contents.size : _offset;
    end = start + size;
    if (end > std::numeric_limits<int32_t>::max()) return E_OUTOFMEMORY;
    if (size > 0 && buffer->data != nullptr) {
      if (!reserve(contents, static_cast<uint32_t>(end))) return E_OUTOFMEMORY;
      // A write that starts past the end (after a write without data)
      // leaves zeros in the gap, never stale memory.
      if (start > contents.size) {
        std::memset(contents.data + contents.size, 0, static_cast<size_t>(start - contents.size));
      }
      std::memcpy(contents.data + start, buffer->data, static_cast<size_t>(size));
      contents.size = std::max(contents.size, static_cast<uint32_t>(end));
      if (_created == 0) contents.modified = 1;
    }
    _size = static_cast<int32_t>(contents.size);
  }
  buffer->size = static_cast<uint32_t>(size);
  _offset = static_cast<int32_t>(end);
  if (_created == 0) _modified = 1;
  return S_OK;
}

TavResult OdbMemoryFile::Delete() {
  if (_key == nullptr) return E_UNEXPECTED;
  OdbMemoryFileContents* removed = nullptr;
  try {
    Registry& files = registry();
    ModAutoCriticalSection guard(files.lock);
    auto found = files._files.find(std::u16string(_key));
    if (found != files._files.end()) {
      removed = found->second;
      files._files.erase(found);
    }
  } catch (const std::bad_alloc&) {
    ModErrorMessage << "Unexpected exception" << ModEndl;
    return E_OUTOFMEMORY;
  }
  // Open objects keep their own references; the contents go with the last.
  if (removed != nullptr) removed->release();
  return S_OK;
}

TavResult OdbMemoryFile::Move(const char16_t*) {
  return TAV_E_NOTSUPPORTED;
}

TavBoolean OdbMemoryFile::DoesExist() {
  if (_key == nullptr) throw E_UNEXPECTED;
  Registry& files = registry();
  ModAutoCriticalSection guard(files.lock);
  auto found = files._files.find(std::u16string(_key));
  if (found == files._files.end()) return TAV_FALSE;
  ModAutoCriticalSection contentsGuard(found->second->lock);
  _modified = found->second->modified;
  return TAV_TRUE;
}

TavResult OdbMemoryFile::GetFileSize(int* size) {
  if (size == nullptr) return E_INVALIDARG;
  *size = _size;
  return S_OK;
}

TavResult OdbMemoryFile::GetDataSize(int* size) {
  return GetFileSize(size);
}

TavResult OdbMemoryFile::GetFileType(OdbFileType* type) {
  if (type != nullptr) *type = OdbFileTypeMemory;
  return S_OK;
}

TavBoolean OdbMemoryFile::IsDirty() {
  return _modified != 0 ? TAV_TRUE : TAV_FALSE;
}
