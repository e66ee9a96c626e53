// Rendering goes in 10 ms slices so that a broken playback promise is seen
// close to the tick that broke it.
#include "module_workout.h"

#include "load_module.h"
#include "replayer.h"
#include "song_invariants.h"

#include <cmath>
#include <cstdlib>

WorkoutResult work_out_module(const uint8_t* bytes, size_t length, uint32_t seconds) {
  if (length > 0xFFFFFFFFu) return {false, nullptr};
  ModuleContext* song = prepare_module(bytes, uint32_t(length));
  if (!song) return {false, nullptr};
  WorkoutResult result{true, broken_loading_promise(*song)};
  constexpr uint32_t slice = OUTPUT_RATE / 100;
  static float frames[2 * slice];
  for (uint32_t done = 0; !result.fault && done < seconds * OUTPUT_RATE; done += slice) {
    render_frames(*song, frames, slice);
    for (float value : frames) {
      if (!std::isfinite(value)) result.fault = "an output frame is not finite";
    }
    if (!result.fault) result.fault = broken_playing_promise(*song);
  }
  std::free(song);
  return result;
}
