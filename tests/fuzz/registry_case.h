// Decodes a fuzz input into a registry fixture: a tree under HKEY_LOCAL_MACHINE around the three
// keys the programs sweep, the platform's delete mode, and calls the platform refuses.
//
// Input layout (every byte sequence decodes; missing bytes read as 0):
//   byte 0      bit 0: NT delete mode; bits 1-4: leave out "Enum\Root", the mouse class key,
//               the problem key, "Software\Zunmek" (a key nothing may touch)
//   then ops    op byte % 8: 0-2 add a subkey, 3-4 add a value, 5 refuse a key open or delete,
//               6 refuse a value delete or query, 7 refuse an enumeration
// A key or value is picked by a byte modulo the number of those made so far; names and data are
// a dictionary word, raw bytes, a word with a raw tail, or a long run of 240 to 300 bytes
// (see registry_case.cpp).
#ifndef ZUN_FUZZ_REGISTRY_CASE_H
#define ZUN_FUZZ_REGISTRY_CASE_H

#include "reference_model.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct RegistryCase {
    model::Machine machine;
    std::vector<uint32_t> refusalCodes;  // the error each refusal returns, by index
};

RegistryCase DecodeRegistryCase(const uint8_t* data, size_t size);

#endif
