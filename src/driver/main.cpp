// Entry point of the intro: no arguments, no files, no environment; the show
// ends through exit().
#include "startup.h"

int main() {
  start_up();
  run_main_loop();
}
