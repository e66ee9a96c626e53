// Real-time scheduling for the audio thread: asked of the kernel where the
// process may, of RTKit over the system bus (as desktop audio clients do)
// where it may not.  Refusal changes nothing: the thread runs as before.
#pragma once

#include <pthread.h>
#include <sys/types.h>

// SCHED_RR at the lowest real-time priority for `thread`, whose kernel id
// is `thread_id`; true when granted.  Blocks for at most half a second.
bool request_real_time(pthread_t thread, pid_t thread_id);
