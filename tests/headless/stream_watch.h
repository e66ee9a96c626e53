// What the intro's audio output did with its stream, seen from outside it:
// the linker routes its calls into libpulse named in CMakeLists.txt through
// stream_watch.cpp (--wrap), so that the show keeps no test bookkeeping.
#pragma once

#include <cstdio>

// "audio frames N underflows N after_start N latency_us N", then one line
// "underflow at SECONDS" (CLOCK_MONOTONIC) for each of the first underflows
// after the first second of music.
void print_stream_report(std::FILE* out);
