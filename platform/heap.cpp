#include "platform/heap.h"

#include <cstdlib>

namespace {

void* SystemAllocate(std::size_t size) {
  return std::malloc(size);
}

bool SystemRelease(void* block) {
  std::free(block);
  return true;
}

constexpr HeapHooks kSystemHooks{SystemAllocate, SystemRelease};
const HeapHooks* g_hooks = &kSystemHooks;

}  // namespace

void* HeapAllocate(std::size_t size) {
  return g_hooks->allocate(size);
}
bool HeapRelease(void* block) {
  return g_hooks->release(block);
}

void SetHeapHooks(const HeapHooks* hooks) {
  g_hooks = hooks ? hooks : &kSystemHooks;
}
const HeapHooks& SystemHeapHooks() {
  return kSystemHooks;
}
