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
// DataArrayData. Never returns an empty pointer. Numbers and texts come from
// this thread's spare values (see recycleValue) where it has any.
Corvid::Common::ObjectPointer<Corvid::Common::Data> fromStoreValue(const store::Value& value);

// Drops `element`'s reference and leaves it empty. A number or text value
// that nothing else references is kept as a spare for this thread's next
// fromStoreValue instead of being freed; a value still referenced elsewhere
// stays with its other holders. Never throws.
void recycleValue(Corvid::Common::ObjectPointer<Corvid::Common::Data>& element) noexcept;

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_VALUE_CONVERSION_H
