// The engine's values: Data and its subclasses, held by the reference-counted
// ObjectPointer. Statement parameters travel to the engine and result tuples
// come back as DataArrayData objects of these values.
//
// Ownership: a Data object lives on the heap and is freed when the last
// ObjectPointer to it goes; NullData::getInstance() is one shared instance
// that is never freed. Reference counts are atomic, so values may be shared
// between threads; a value itself is not synchronised, so a thread that
// changes one (setValue, setElement) must own it alone.
//
// Failures: operations that cannot do what they are asked (an index out of
// range, an invalid date, a forced cast that has no meaning) throw
// Corvid::Exception::Object.
#ifndef CORVID_COMMON_H
#define CORVID_COMMON_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "Mod/ModLanguageSet.h"
#include "Mod/ModUnicodeString.h"

namespace Corvid::Common {

namespace DataType {
// Type codes returned by Data::getType and getElementType and passed to cast.
enum Type : int32_t {
  Undefined = 0,   // getElementType of a value that is not an array
  Data = 1000,     // any value: the element type of DataArrayData
  Integer = 1001,  // IntegerData, 32-bit signed
  UnsignedInteger = 1002,
  Integer64 = 1003,  // a store integer outside the 32-bit range
  String = 1005,
  Double = 1007,
  DateTime = 1010,
  Binary = 1011,
  Language = 1014,
  Array = 2000,  // DataArrayData, UnsignedIntegerArrayData
  Null = 3000,
};
}  // namespace DataType

class Data;

// A shared pointer to a Data object (or subclass) whose count lives in the
// object. Copying adds a reference; the last pointer to go deletes the
// object. An empty pointer stands for "no value" (engine arrays bind it as
// NULL).
template <class T>
class ObjectPointer {
 public:
  ObjectPointer() = default;
  ObjectPointer(std::nullptr_t) {}
  // Takes a reference to `object` (which may be null).
  ObjectPointer(T* object) : _object(object) { acquire(); }
  ObjectPointer(const ObjectPointer& other) : _object(other._object) { acquire(); }
  ObjectPointer(ObjectPointer&& other) noexcept : _object(std::exchange(other._object, nullptr)) {}
  template <class U>
  ObjectPointer(const ObjectPointer<U>& other) : _object(other.get()) {
    acquire();
  }
  ~ObjectPointer() { dispose(); }

  ObjectPointer& operator=(ObjectPointer other) noexcept {
    std::swap(_object, other._object);
    return *this;
  }

  T* get() const { return _object; }
  T* operator->() const { return _object; }
  T& operator*() const { return *_object; }
  explicit operator bool() const { return _object != nullptr; }
  bool operator==(std::nullptr_t) const { return _object == nullptr; }
  // Drops this pointer's reference and leaves it empty.
  void reset() {
    dispose();
    _object = nullptr;
  }

 private:
  void acquire() {
    if (_object) _object->addReference();
  }
  void dispose() {
    if (_object && _object->releaseReference()) delete _object;
  }
  T* _object = nullptr;
};

// Base of every engine value.
class Data {
 public:
  Data() = default;
  // A copy is a new value with no references yet.
  Data(const Data&) : _references(0) {}
  Data& operator=(const Data&) { return *this; }
  virtual ~Data();

  virtual DataType::Type getType() const = 0;
  // The type of the elements of an array; Undefined for other values.
  virtual DataType::Type getElementType() const;
  // The value as `type`: this same object when it already has that type and
  // is held by an ObjectPointer, else a new value, or an empty pointer when
  // there is no such conversion (out of range, unparsable text, ...). With
  // `throwOnFailure` true the failure throws Corvid::Exception::Object
  // instead. Conversions: between the numeric types when the value fits;
  // numbers, date-times and language tags to and from String; everything to
  // String except binaries and arrays; Null to Null only.
  virtual ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const;
  // A readable form for log lines: numbers in decimal, date-times as
  // "YYYY-MM-DD HH:MM:SS.mmm", binaries as hex, arrays as "{a,b}", null as
  // "(null)".
  virtual ModUnicodeString toString() const = 0;
  // A new value equal to this one (arrays copy their element pointers).
  virtual ObjectPointer<Data> copy() const = 0;
  bool isNull() const { return getType() == DataType::Null; }

  // Reference counting for ObjectPointer. releaseReference is true when the
  // caller dropped the last reference and must delete the object.
  void addReference() const { _references.fetch_add(1, std::memory_order_relaxed); }
  bool releaseReference() const { return _references.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  // True when more than one ObjectPointer holds this value. A holder that
  // finds its value not shared may change it in place: no other holder is
  // left to see the change, and every earlier holder's use of it happened
  // before its release.
  bool isShared() const { return _references.load(std::memory_order_acquire) > 1; }

 protected:
  // This object as a shared pointer when some ObjectPointer already holds
  // it, else a copy (so that a value on the stack is never adopted).
  ObjectPointer<Data> self() const;

 private:
  mutable std::atomic<int32_t> _references{0};
};

class IntegerData : public Data {
 public:
  explicit IntegerData(int32_t value = 0) : _value(value) {}
  int32_t getValue() const { return _value; }
  void setValue(int32_t value) { _value = value; }
  DataType::Type getType() const override { return DataType::Integer; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  int32_t _value;
};

class Integer64Data : public Data {
 public:
  explicit Integer64Data(int64_t value = 0) : _value(value) {}
  int64_t getValue() const { return _value; }
  void setValue(int64_t value) { _value = value; }
  DataType::Type getType() const override { return DataType::Integer64; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  int64_t _value;
};

class UnsignedIntegerData : public Data {
 public:
  explicit UnsignedIntegerData(uint32_t value = 0) : _value(value) {}
  uint32_t getValue() const { return _value; }
  void setValue(uint32_t value) { _value = value; }
  DataType::Type getType() const override { return DataType::UnsignedInteger; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  uint32_t _value;
};

class DoubleData : public Data {
 public:
  explicit DoubleData(double value = 0.0) : _value(value) {}
  double getValue() const { return _value; }
  void setValue(double value) { _value = value; }
  DataType::Type getType() const override { return DataType::Double; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  double _value;
};

class StringData : public Data {
 public:
  StringData() = default;
  explicit StringData(ModUnicodeString value) : _value(std::move(value)) {}
  // Null gives the empty string.
  explicit StringData(const char16_t* value) : _value(value) {}
  const ModUnicodeString& getValue() const { return _value; }
  void setValue(ModUnicodeString value) { _value = std::move(value); }
  // Replaces the value with a copy of `length` code units at `text`, reusing
  // the storage of the old value.
  void assignValue(const char16_t* text, std::size_t length) { _value.assign(text, length); }
  DataType::Type getType() const override { return DataType::String; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  ModUnicodeString toString() const override { return _value; }
  ObjectPointer<Data> copy() const override;

 private:
  ModUnicodeString _value;
};

class BinaryData : public Data {
 public:
  BinaryData() = default;
  // The `size` bytes at `data` + `offset`. With `copy` true the bytes are
  // copied; with false the value only refers to them and the caller keeps
  // them alive and unchanged for the life of this value and its copies.
  BinaryData(const void* data, std::size_t size, bool copy = true, std::size_t offset = 0);
  // Adopts the bytes.
  explicit BinaryData(std::vector<uint8_t> bytes);
  // Not copyable in place: copy() makes an independent value.
  BinaryData(const BinaryData&) = delete;
  BinaryData& operator=(const BinaryData&) = delete;
  const void* getValue() const { return _data; }
  std::size_t getSize() const { return _size; }
  DataType::Type getType() const override { return DataType::Binary; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  std::vector<uint8_t> _owned;
  const uint8_t* _data = nullptr;
  std::size_t _size = 0;
};

// A calendar date and time without zone, kept to the millisecond.
class DateTimeData : public Data {
 public:
  DateTimeData() = default;
  // `precision` is the number of fractional second digits that matter, 0 to
  // 3; the millisecond is truncated to it. Throws Exception::Object when a
  // field is out of range (year 1..9999, a day that the month has, ...).
  DateTimeData(int year, int month, int day, int hour, int minute, int second, int millisecond,
               int precision = 3);
  int getYear() const { return _year; }
  int getMonth() const { return _month; }
  int getDate() const { return _day; }
  int getHour() const { return _hour; }
  int getMinute() const { return _minute; }
  int getSecond() const { return _second; }
  int getMillisecond() const { return _millisecond; }
  int getPrecision() const { return _precision; }
  DataType::Type getType() const override { return DataType::DateTime; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  int _year = 1, _month = 1, _day = 1, _hour = 0, _minute = 0, _second = 0;
  int _millisecond = 0, _precision = 3;
};

// A set of language tags of a full-text value ("ja", "en-US", "ja+en").
// Validation happens in ModLanguageSet, whose constructor throws
// ModException for an unknown tag.
class LanguageData : public Data {
 public:
  explicit LanguageData(ModLanguageSet value) : _value(std::move(value)) {}
  const ModLanguageSet& getValue() const { return _value; }
  DataType::Type getType() const override { return DataType::Language; }
  ObjectPointer<Data> cast(DataType::Type type, bool throwOnFailure = false) const override;
  // The canonical form, e.g. "ja+en-US".
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  ModLanguageSet _value;
};

class NullData : public Data {
 public:
  // The one shared instance; it holds a reference to itself so that it is
  // never deleted.
  static NullData* getInstance();
  DataType::Type getType() const override { return DataType::Null; }
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  NullData();
};

// An array of any values (element type Data). Elements may be empty
// pointers.
class DataArrayData : public Data {
 public:
  DataArrayData() = default;
  std::size_t getCount() const { return _elements.size(); }
  // Throws Exception::Object when `index` is not below getCount().
  const ObjectPointer<Data>& getElement(std::size_t index) const {
    if (index >= _elements.size()) throwIndexOutOfRange(index);
    return _elements[index];
  }
  // The element at `index`, to change in place; throws like the const form.
  ObjectPointer<Data>& getElement(std::size_t index) {
    if (index >= _elements.size()) throwIndexOutOfRange(index);
    return _elements[index];
  }
  // Stores `element` at `index`, growing the array with empty pointers when
  // `index` is at or past the end.
  void setElement(std::size_t index, const ObjectPointer<Data>& element);
  void pushBack(const ObjectPointer<Data>& element) { _elements.push_back(element); }
  void pushBack(ObjectPointer<Data>&& element) { _elements.push_back(std::move(element)); }
  void reserve(std::size_t count) { _elements.reserve(count); }
  void clear() { _elements.clear(); }
  DataType::Type getType() const override { return DataType::Array; }
  DataType::Type getElementType() const override { return DataType::Data; }
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  [[noreturn]] void throwIndexOutOfRange(std::size_t index) const;
  std::vector<ObjectPointer<Data>> _elements;
};

// An array of unsigned integers, as the section numbers of a full-text
// match come back.
class UnsignedIntegerArrayData : public Data {
 public:
  UnsignedIntegerArrayData() = default;
  explicit UnsignedIntegerArrayData(std::vector<uint32_t> values) : _values(std::move(values)) {}
  std::size_t getCount() const { return _values.size(); }
  // Throws Exception::Object when `index` is not below getCount().
  uint32_t getElement(std::size_t index) const;
  // Grows the array with zeros when `index` is at or past the end.
  void setElement(std::size_t index, uint32_t value);
  void pushBack(uint32_t value) { _values.push_back(value); }
  const std::vector<uint32_t>& getValues() const { return _values; }
  DataType::Type getType() const override { return DataType::Array; }
  DataType::Type getElementType() const override { return DataType::UnsignedInteger; }
  ModUnicodeString toString() const override;
  ObjectPointer<Data> copy() const override;

 private:
  std::vector<uint32_t> _values;
};

}  // namespace Corvid::Common

#endif  // CORVID_COMMON_H
