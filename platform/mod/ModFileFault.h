// Test-only fault injection for the file layer (ModPureFile, ModOsDriver).
// A test arms a failure for one kind of system call; the file layer asks
// before each call whether it must fail and then reports the armed errno
// exactly as it would report the system's, so disk full, I/O errors and
// permission problems can be tested without a failing disk.
//
// Process-wide and thread-safe. Unarmed, the check costs one relaxed atomic
// load.
#ifndef MOD_FILE_FAULT_H
#define MOD_FILE_FAULT_H

#include <cstdint>

namespace ModFileFault {

enum class Call : int32_t { Open, Read, Write, Seek, Size, Truncate, Close, Mkdir, Unlink, Rename };
inline constexpr int32_t CallCount = 10;

// The call of that kind made after `skip` further successful ones fails with
// errnoValue, once. Arming a kind again replaces its earlier fault.
void inject(Call call, int errnoValue, int32_t skip = 0);
// Disarms every fault.
void reset();
// For the file layer: the errno the current call must fail with, or 0.
int take(Call call);

}  // namespace ModFileFault

#endif  // MOD_FILE_FAULT_H
