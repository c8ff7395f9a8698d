#pragma once

#include <cstdint>
#include <string>

// The Box's records spelled out byte by byte, as the tests expect them and
// write them; written apart from the library's codec so that they check it.
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);
// A 13-byte command record, plus length and extra data when given.
std::string Record(char command, int32_t sequence, uint64_t value, const std::string& extra = {});
// A status record: keyword, sequence, the value's low and high halves.
std::string StatusBytes(const char* keyword, int32_t sequence, uint32_t low, uint32_t high);
// A "stat" record's value: the state's four characters, then the argument.
std::string StatusBytes(const char* keyword, int32_t sequence, const char* state, int32_t argument);
