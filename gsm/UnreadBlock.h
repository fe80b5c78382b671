#pragma once
// The unread messages as the dispatcher program takes them: one packed block of records back
// to back, no block header. Each record is already parsed into its kind and payload, so the
// dispatcher needs no reply parser of its own. Numbers are little-endian, floats 4 bytes,
// doubles 8 (a time is a TDateTime), every string is code page 1251 followed by one zero
// byte. Packing marks nothing read.
//
// A record: its size (u16, these two bytes included), the kind (u8); then, except for kind 0,
// the sender (string) and the time (double); then, for kinds 2 and up, the low 16 bits of the
// device number and the reply channel (u8); then the body of the kind. Kinds 0 and 1 carry
// the text as received as their body; kinds without a body layout (10, 20, 24, 26 and up,
// the parameter answers among them) end after the header.

#include "common/SmsInfo.h"

#include <cstddef>
#include <functional>
#include <string>

// The most records one block carries: the oldest unread messages, the rest wait.
constexpr size_t kUnreadBlockRecords = 50;
// The most bytes one block holds.
constexpr size_t kUnreadBlockCapacity = 10240;

// One record. A payload that is missing or of another type than its kind selects packs as
// that kind's record with every field 0 and every string empty, so the layout always
// matches the kind. A string is cut at an inner zero byte, which would end it for the reader.
std::string PackedSmsRecord(const TSmsInfo& info);

// The block of the first records of `list` (oldest first): at most kUnreadBlockRecords of
// them, and only as many whole records as fit into kUnreadBlockCapacity bytes. Packing stops
// at once when `stopRequested` answers true; what was packed so far is returned. With
// `packed`, the number of list entries that the block covers.
std::string PackedSmsBlock(const TSmsInfoList& list, const std::function<bool()>& stopRequested = {},
                           size_t* packed = nullptr);
