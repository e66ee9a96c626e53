// Writes one of the show's texts, byte for byte as the intro holds it, to
// standard output, so that the screen tests compare the window with exactly
// what the program draws.  Usage: print_screen_text boot|welcome|programme|greetings|credits
#include <cstdio>
#include <cstring>

#include "screen_texts.h"

int main(int argc, char** argv) {
  const char* const names[] = {"boot", "welcome", "programme", "greetings", "credits"};
  const char* const texts[] = {boot_text, welcome_text, programme_text, greetings_text, credits_text};
  for (int i = 0; argc == 2 && i < 5; ++i)
    if (std::strcmp(argv[1], names[i]) == 0) return std::fputs(texts[i], stdout) < 0 ? 1 : 0;
  std::fprintf(stderr, "usage: print_screen_text boot|welcome|programme|greetings|credits\n");
  return 2;
}
