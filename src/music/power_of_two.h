// 2^x in single precision with the same bits on every CPU, so that pitches
// and the whole render are identical on x86-64 and aarch64.
#pragma once

// The float nearest to 2^x for finite x; 0 far below the smallest float,
// infinity from 128 on, NaN for NaN.  Allocates nothing: the pitch update
// calls it on the audio thread.
float power_of_two(float x);
