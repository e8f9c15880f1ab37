// File expansion driver: expands the compressed file ExpandSourceName into ExpandTargetName.
//
// Takes: the two module-level names. Guarantees: ExpandFile returns 1 with the target written in
// full and both files closed, or -1 with no target left behind once it had been created (an
// existing target is untouched when the failure comes before its creation); no file stays open
// and no buffer is kept. DoExpandFile is the same run but raises ELzrw1Exception (or the
// decoder's ElzhException) with its message instead of returning -1.
//
// Both directions are buffered in blocks of IOBlockSize bytes; the decoder moves one byte per
// call through ReadBlock and WriteBlock. Not reentrant; one run at a time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/exception.h"
#include "platform/file_io.h"

BRANNOCK_EXCEPTION_CLASS(ELzrw1Exception, Exception);

inline constexpr std::uint16_t IOBlockSize = 0x8000;  // bytes per block read or written
inline constexpr unsigned IOBufferSize = IOBlockSize + 16;

extern std::string ExpandSourceName;  // compressed file, set by the caller
extern std::string ExpandTargetName;  // expanded file, set by the caller

extern FileHandle SourceHandle;
extern FileHandle TargetHandle;
extern std::uint8_t* SourceBuffer;
extern std::uint8_t* TargetBuffer;
extern std::uint16_t SourcePos;   // 1-based position of the next unread byte of SourceBuffer
extern std::int32_t SourceCount;  // valid bytes in SourceBuffer
extern std::uint16_t TargetPos;   // 1-based position of the next free byte of TargetBuffer

std::int32_t ExpandFile();
std::int32_t DoExpandFile();
void ExpandStream();

// The decoder's source: serves up to count bytes from the current block (the decoder asks for
// one), reading the next block when it is used up; actual is 0 at the end of the source file.
void ReadBlock(std::uint8_t* dest, std::uint16_t count, std::uint16_t& actual);
// The decoder's sink: buffers count bytes (at most IOBlockSize), writing a full block first when
// they would not fit; count 0 writes what is buffered (the final flush).
void WriteBlock(const std::uint8_t* data, std::uint16_t count, std::uint16_t& actual);

void CheckReadCount(std::int32_t got, std::int32_t wanted);
void CheckWriteCount(std::int32_t got, std::int32_t wanted);
