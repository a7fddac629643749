#include "platform/engine/ValueConversion.h"

#include <limits>
#include <new>
#include <string>
#include <vector>

#include "platform/engine/EngineError.h"

namespace engine {

using namespace Corvid::Common;

store::Value toStoreValue(const ObjectPointer<Data>& data) {
  if (!data) return store::Value();
  switch (data->getType()) {
    case DataType::Null:
      return store::Value();
    case DataType::Integer:
      return store::Value::integer(static_cast<const IntegerData&>(*data).getValue());
    case DataType::Integer64:
      return store::Value::integer(static_cast<const Integer64Data&>(*data).getValue());
    case DataType::UnsignedInteger:
      return store::Value::integer(static_cast<const UnsignedIntegerData&>(*data).getValue());
    case DataType::Double:
      return store::Value::real(static_cast<const DoubleData&>(*data).getValue());
    case DataType::String:
      return store::Value::text(static_cast<const StringData&>(*data).getValue().str());
    case DataType::Binary: {
      const auto& binary = static_cast<const BinaryData&>(*data);
      const auto* bytes = static_cast<const uint8_t*>(binary.getValue());
      return store::Value::bytes(std::vector<uint8_t>(bytes, bytes + binary.getSize()));
    }
    case DataType::DateTime: {
      const auto& dateTime = static_cast<const DateTimeData&>(*data);
      store::DateTime value;
      value.year = dateTime.getYear();
      value.month = dateTime.getMonth();
      value.day = dateTime.getDate();
      value.hour = dateTime.getHour();
      value.minute = dateTime.getMinute();
      value.second = dateTime.getSecond();
      value.millisecond = dateTime.getMillisecond();
      return store::Value::dateTime(value);
    }
    case DataType::Language:
      return store::Value::language(
          static_cast<const LanguageData&>(*data).getValue().getName().str());
    case DataType::Array: {
      std::vector<store::Value> elements;
      if (data->getElementType() == DataType::UnsignedInteger) {
        for (uint32_t value : static_cast<const UnsignedIntegerArrayData&>(*data).getValues()) {
          elements.push_back(store::Value::integer(value));
        }
      } else {
        const auto& array = static_cast<const DataArrayData&>(*data);
        elements.reserve(array.getCount());
        for (std::size_t i = 0; i < array.getCount(); ++i) {
          elements.push_back(toStoreValue(array.getElement(i)));
        }
      }
      return store::Value::array(std::move(elements));
    }
    default:
      break;
  }
  throwEngineError(kStateBadValue,
                   "cannot bind a value of type " + std::to_string(data->getType()));
}

namespace {

// Spare values of one class, unreferenced and owned by this thread: a fetch
// loop that gives its tuples back then allocates no values of its own.
template <class T>
class SpareValues {
 public:
  static constexpr std::size_t kLimit = 64;
  ~SpareValues() {
    for (T* value : _values) delete value;
  }
  // A value to overwrite, or null when there is none.
  T* take() noexcept {
    if (_values.empty()) return nullptr;
    T* value = _values.back();
    _values.pop_back();
    return value;
  }
  // Keeps `value` (unreferenced) or frees it when enough are kept.
  void keep(T* value) noexcept {
    if (_values.capacity() < kLimit) {
      try {
        _values.reserve(kLimit);
      } catch (const std::bad_alloc&) {
        delete value;
        return;
      }
    }
    if (_values.size() < kLimit) {
      _values.push_back(value);
    } else {
      delete value;
    }
  }

 private:
  std::vector<T*> _values;
};

struct Spares {
  ~Spares();
  SpareValues<IntegerData> integers;
  SpareValues<Integer64Data> integers64;
  SpareValues<DoubleData> doubles;
  SpareValues<StringData> strings;
};

// Set when this thread's spares are gone: values released later in the
// thread's exit (by other thread-local or static objects) are freed at once.
// A plain flag has no destructor, so it stays readable until the end.
thread_local bool sparesGone = false;
thread_local Spares spares;

Spares::~Spares() {
  sparesGone = true;
}

template <class T, class V>
ObjectPointer<Data> makeValue(SpareValues<T> Spares::*pool, V&& value) {
  if (!sparesGone) {
    if (T* spare = (spares.*pool).take()) {
      spare->setValue(std::forward<V>(value));
      return ObjectPointer<Data>(spare);
    }
  }
  return new T(std::forward<V>(value));
}

template <class T>
void keepValue(SpareValues<T> Spares::*pool, T* value) noexcept {
  if (sparesGone) {
    delete value;
  } else {
    (spares.*pool).keep(value);
  }
}

// Moves the reference out of `element` into a raw pointer without touching
// the count (the move constructor only exchanges the pointer); the slot that
// receives it is never destroyed, so the reference is the caller's.
Data* detach(ObjectPointer<Data>& element) noexcept {
  union Slot {
    Slot() {}
    ~Slot() {}
    ObjectPointer<Data> pointer;
  } slot;
  new (&slot.pointer) ObjectPointer<Data>(std::move(element));
  return slot.pointer.get();
}

}  // namespace

void recycleValue(ObjectPointer<Data>& element) noexcept {
  Data* value = detach(element);
  // Dropping the last reference makes the value this thread's alone.
  if (!value || !value->releaseReference()) return;
  switch (value->getType()) {
    case DataType::Integer:
      keepValue(&Spares::integers, static_cast<IntegerData*>(value));
      return;
    case DataType::Integer64:
      keepValue(&Spares::integers64, static_cast<Integer64Data*>(value));
      return;
    case DataType::Double:
      keepValue(&Spares::doubles, static_cast<DoubleData*>(value));
      return;
    case DataType::String:
      keepValue(&Spares::strings, static_cast<StringData*>(value));
      return;
    default:
      delete value;
  }
}

ObjectPointer<Data> fromStoreValue(const store::Value& value) {
  switch (value.type()) {
    case store::ValueType::Null:
      return NullData::getInstance();
    case store::ValueType::Integer: {
      const int64_t number = value.asInteger();
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        return makeValue(&Spares::integers, static_cast<int32_t>(number));
      }
      return makeValue(&Spares::integers64, number);
    }
    case store::ValueType::Double:
      return makeValue(&Spares::doubles, value.asDouble());
    case store::ValueType::Text:
    case store::ValueType::Language:
      return makeValue(&Spares::strings, ModUnicodeString(value.asText()));
    case store::ValueType::Bytes:
      return new BinaryData(value.asBytes());
    case store::ValueType::DateTime: {
      const store::DateTime& dateTime = value.asDateTime();
      return new DateTimeData(dateTime.year, dateTime.month, dateTime.day, dateTime.hour,
                              dateTime.minute, dateTime.second, dateTime.millisecond);
    }
    case store::ValueType::Array: {
      const std::vector<store::Value>& elements = value.asArray();
      DataArrayData* array = new DataArrayData();
      ObjectPointer<Data> result(array);
      array->reserve(elements.size());
      for (const store::Value& element : elements) array->pushBack(fromStoreValue(element));
      return result;
    }
  }
  return NullData::getInstance();
}

}  // namespace engine
