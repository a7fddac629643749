// Engine values to store values and back. Private to platform/engine.
#ifndef TAVODB_PLATFORM_ENGINE_VALUE_CONVERSION_H
#define TAVODB_PLATFORM_ENGINE_VALUE_CONVERSION_H

#include "Corvid/Common.h"
#include "platform/store/Store.h"

namespace engine {

// An empty pointer and NullData give NULL; integers, doubles, strings,
// binaries, date-times and language tags their store types; both array
// classes give arrays. Throws Corvid::Exception::Object (22023) for any other
// value.
store::Value toStoreValue(const Corvid::Common::ObjectPointer<Corvid::Common::Data>& data);

// NULL gives NullData::getInstance(); an integer IntegerData when it fits 32
// bits, else Integer64Data; texts and language tags StringData; arrays
// DataArrayData. Never returns an empty pointer.
Corvid::Common::ObjectPointer<Corvid::Common::Data> fromStoreValue(const store::Value& value);

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_VALUE_CONVERSION_H
