// A record file (plcfw --log): records are appended whole, one write each,
// and on the disk before the call returns, so that several processes can
// share one file without their lines running into each other.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plc {

using RecordFile = intptr_t;
inline constexpr RecordFile kNoRecordFile = -1;

// Opens (or creates) the file for appending only; kNoRecordFile when it
// cannot be opened.
RecordFile OpenRecordFile(const char* path);
// Appends text with one write at the end of the file and flushes it to the
// disk; false when it did not all get there.
bool AppendRecord(RecordFile file, const char* text, size_t length);
void CloseRecordFile(RecordFile& file);

}  // namespace plc
