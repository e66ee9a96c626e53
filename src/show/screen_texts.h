// The texts of the boot console and the four text screens.
#pragma once

extern const char boot_text[];
extern const char welcome_text[];
extern const char programme_text[];
extern const char greetings_text[];
extern const char credits_text[];
