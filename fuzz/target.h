// What a fuzz target defines, for libFuzzer or replay.cpp to call: one
// input, tried.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
