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

// Sets `slot` to toStoreValue(data), keeping the storage of a text already in
// `slot` where it can.
void assignToStoreValue(store::Value& slot,
                        const Corvid::Common::ObjectPointer<Corvid::Common::Data>& data);

// NULL gives NullData::getInstance(); an integer IntegerData when it fits 32
// bits, else Integer64Data; texts and language tags StringData; arrays
// DataArrayData. Never returns an empty pointer.
Corvid::Common::ObjectPointer<Corvid::Common::Data> fromStoreValue(const store::Value& value);

// Sets `slot` to fromStoreValue(value). A number or text that only `slot`
// holds, of the class the value needs, is overwritten in place instead, so a
// fetch loop that refills one tuple allocates nothing for its values.
void assignFromStoreValue(Corvid::Common::ObjectPointer<Corvid::Common::Data>& slot,
                          const store::Value& value);

}  // namespace engine

#endif  // TAVODB_PLATFORM_ENGINE_VALUE_CONVERSION_H
