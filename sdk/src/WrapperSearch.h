#pragma once
// The wrapper's range search: the record it makes of one device's answer.

#include "WrapperHttp.h"

#include <string>

namespace zvsdk::wrapper
{
// The record of one answering device: every key present, each value of its
// type and range (0 or "" otherwise); the address and port are the ones asked.
// False when the reply is no success with a data object.
bool ProbeRecord(const HttpReply& reply, const HttpPost& probe, std::string& text);
} // namespace zvsdk::wrapper
