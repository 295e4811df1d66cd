#pragma once
// Random values from /dev/urandom. A failure to open or read it is fatal:
// the process state is broken then.

#include <stddef.h>
#include <stdint.h>
#include <string>

namespace base {

void RandBytes(void* output, size_t size);
std::string RandBytesAsString(size_t size);
uint64_t RandUint64();
// Uniform in [min, max] and in [0, range) by rejection sampling.
int RandInt(int min, int max);
uint64_t RandGenerator(uint64_t range);
// Uniform in [0, 1) from the top 53 bits.
double RandDouble();
// 16 random capital letters "A" to "Z".
std::string RandomString();

}  // namespace base
