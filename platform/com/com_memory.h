// Task memory: blocks handed between a component and its caller, freed by
// whichever side the call names.
#pragma once

#include <cstddef>

void* CoTaskMemAlloc(std::size_t size);
// Null block: allocates; size 0: frees and returns null.
void* CoTaskMemRealloc(void* block, std::size_t size);
void CoTaskMemFree(void* block);
