#pragma once

#include "ZVTypes.h"

#include <functional>

// The searches that are running. A search hands the SDK the number of its run
// as the callback's user value, never an object: a callback reaches the run's
// receiver only while the run is open, under one lock, so a search that was
// abandoned (a new search started, its page went away, its time ran out) gets
// nothing more, and nothing found after its end is created or kept.
namespace SearchRuns
{
// Called on the SDK's thread with each record, then once with null at the end.
// It runs under the lock: it must be short and must not open or close runs.
using Receiver = std::function<void(const SearchDevRsp* record)>;

// Opens a run; the result is its user value for the SDK (never null).
void* Open(Receiver receiver);
// Closes a run. No call of its receiver runs after this returns; a receiver
// running meanwhile is waited for. Closing a closed run does nothing.
void Close(void* run);
// Hands a record (null: the end, which also closes the run) to the run's
// receiver. False when the run is not open.
bool Deliver(void* run, const SearchDevRsp* record);
bool IsOpen(void* run);
} // namespace SearchRuns
