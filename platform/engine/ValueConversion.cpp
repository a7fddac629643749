#include "platform/engine/ValueConversion.h"

#include <limits>
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

void assignToStoreValue(store::Value& slot, const ObjectPointer<Data>& data) {
  if (data) {
    switch (data->getType()) {
      case DataType::Integer:
        slot.setInteger(static_cast<const IntegerData&>(*data).getValue());
        return;
      case DataType::Double:
        slot.setReal(static_cast<const DoubleData&>(*data).getValue());
        return;
      case DataType::String:
        slot.setText(static_cast<const StringData&>(*data).getValue().str());
        return;
      default:
        break;
    }
  }
  slot = toStoreValue(data);
}

namespace {

// The value in `slot` as a T to overwrite, or null when it is of another
// class or held elsewhere too.
template <class T>
T* overwritable(const ObjectPointer<Data>& slot, DataType::Type type) {
  if (!slot || slot->getType() != type || slot->isShared()) return nullptr;
  return static_cast<T*>(slot.get());
}

bool fitsInteger32(int64_t number) {
  return number >= std::numeric_limits<int32_t>::min() &&
         number <= std::numeric_limits<int32_t>::max();
}

}  // namespace

void assignFromStoreValue(ObjectPointer<Data>& slot, const store::Value& value) {
  switch (value.type()) {
    case store::ValueType::Integer: {
      const int64_t number = value.asInteger();
      if (fitsInteger32(number)) {
        if (auto* integer = overwritable<IntegerData>(slot, DataType::Integer)) {
          integer->setValue(static_cast<int32_t>(number));
          return;
        }
      } else if (auto* integer = overwritable<Integer64Data>(slot, DataType::Integer64)) {
        integer->setValue(number);
        return;
      }
      break;
    }
    case store::ValueType::Double:
      if (auto* real = overwritable<DoubleData>(slot, DataType::Double)) {
        real->setValue(value.asDouble());
        return;
      }
      break;
    case store::ValueType::Text:
    case store::ValueType::Language:
      if (auto* string = overwritable<StringData>(slot, DataType::String)) {
        const std::u16string& text = value.asText();
        string->assignValue(text.data(), text.size());
        return;
      }
      break;
    default:
      break;
  }
  slot = fromStoreValue(value);
}

ObjectPointer<Data> fromStoreValue(const store::Value& value) {
  switch (value.type()) {
    case store::ValueType::Null:
      return NullData::getInstance();
    case store::ValueType::Integer: {
      const int64_t number = value.asInteger();
      if (fitsInteger32(number)) return new IntegerData(static_cast<int32_t>(number));
      return new Integer64Data(number);
    }
    case store::ValueType::Double:
      return new DoubleData(value.asDouble());
    case store::ValueType::Text:
    case store::ValueType::Language:
      return new StringData(ModUnicodeString(value.asText()));
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
