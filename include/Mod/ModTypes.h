// The base library's boolean, as the family's interfaces return it.
#ifndef MOD_TYPES_H
#define MOD_TYPES_H

enum ModBoolean : int { ModFalse = 0, ModTrue = 1 };

#endif  // MOD_TYPES_H
