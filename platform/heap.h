// Heap blocks for the expander's buffers and tables.
//
// HeapAllocate returns nullptr when the heap is exhausted (callers raise their own exception
// with their own message); HeapRelease reports whether the block was given back. Both go
// through one replaceable hook so tests can count blocks and make any allocation fail.
#pragma once

#include <cstddef>

struct HeapHooks {
  void* (*allocate)(std::size_t size);
  bool (*release)(void* block);
};

void* HeapAllocate(std::size_t size);
bool HeapRelease(void* block);

// The hooks in use; SetHeapHooks(nullptr) restores the system heap. Tests only.
void SetHeapHooks(const HeapHooks* hooks);
const HeapHooks& SystemHeapHooks();
