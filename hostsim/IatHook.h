// Replaces one imported function in a loaded module's import table. The stand-in host
// uses it to watch and shorten the plug-in's timer and to run the plug-in on a
// simulated clock; the plug-in itself knows nothing of it.
#pragma once
#include <windows.h>

// Points `module`'s import of `function` from `dll` (names compared without case) at
// `replacement`. Returns the previous address, or null when the module imports no such function.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);
