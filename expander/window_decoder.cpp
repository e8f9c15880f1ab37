#include "expander/window_decoder.h"

#include "platform/heap.h"

std::uint8_t* RingBuffer = nullptr;

void LZHUnpack(std::int32_t size, ByteSource source, ByteSink sink) {
  CallbackSource reader{source};
  CallbackSink writer{sink};
  UnpackWith(size, reader, writer);
}

unsigned DecodePosition(ByteSource source) {
  CallbackSource callback{source};
  LocalBitReader reader(callback);
  unsigned position = ReadPosition(reader);
  reader.Store();
  return position;
}

void AllocDictionaryTables() {
  BitBuf = 0;
  BitCount = 0;
  RingBuffer = static_cast<std::uint8_t*>(HeapAllocate(WindowSize));
  Freq = static_cast<std::uint16_t*>(HeapAllocate(FreqEntries * sizeof(std::uint16_t)));
  Parent = static_cast<std::uint16_t*>(HeapAllocate(ParentEntries * sizeof(std::uint16_t)));
  Child = static_cast<std::uint16_t*>(HeapAllocate(ChildEntries * sizeof(std::uint16_t)));
  if (!RingBuffer || !Freq || !Parent || !Child) {
    // Give back what was obtained; a failure to do so changes nothing about the message.
    for (void* table : {static_cast<void*>(RingBuffer), static_cast<void*>(Freq),
                        static_cast<void*>(Parent), static_cast<void*>(Child)}) {
      if (table) HeapRelease(table);
    }
    RingBuffer = nullptr;
    Freq = Parent = Child = nullptr;
    Raise<ElzhException>("LZH : Cannot get memory for dictionary tables");
  }
}

void FreeDictionaryTables() {
  bool released = true;
  released &= HeapRelease(Child);
  released &= HeapRelease(Parent);
  released &= HeapRelease(Freq);
  released &= HeapRelease(RingBuffer);
  RingBuffer = nullptr;
  Freq = Parent = Child = nullptr;
  if (!released) Raise<ElzhException>("LZH : Error freeing memory for dictionary tables");
}
