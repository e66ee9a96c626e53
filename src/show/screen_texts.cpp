// The texts of the boot console and the four text screens, byte for byte.
// The boot text's banner uses code page 437 blocks: 0xDB full, 0xDC lower
// half, 0xDF upper half.
#include "screen_texts.h"

const char boot_text[] =
    "\n"
    "U-Boot 2026.04-5-g88dc2788777b-dirty (May 23 2026 - 02:46:47 +0000)\n"
    "\n"
    "Model: Pine64 PineTab2 v2.0\n"
    "SoC:   RK3566\n"
    "DRAM:  4 GiB\n"
    "PMIC:  RK817 (on=0x80, off=0x08)\n"
    "Core:  654 devices, 37 uclasses, devicetree: separate\n"
    "MMC:   mmc@fe2b0000: 1, mmc@fe2c0000: 2, mmc@fe310000: 0\n"
    "Loading Environment from a magic hat... OK\n"
    "In:    i8042-kbd,usbkbd\n"
    "Out:   vidconsole\n"
    "Err:   vidconsole\n"
    "Hit any key to stop autoboot: 0\n"
    "245472 bytes read in 0 ms (396.8 MiB/s)\n"
    "Loading and decrunching data...\n"
    "\n"
    "\xDB\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDB Korvatel\n"
    "\xDB     \xDF\xDF\xDF\xDF     \xDB Diving deep since the first boot\n"
    "\xDB \xDB\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDF\xDB \xDB\n"
    "\xDB \xDB          \xDB \xDB Lanternworks & Brackenridge conference\n"
    "\xDB \xDB  \xDC       \xDB \xDB\n"
    "\xDB \xDB   \xDF\xDC     \xDB \xDB\n"
    "\xDB \xDB  \xDC\xDF \xDC\xDC\xDC  \xDB \xDB\n"
    "\xDB \xDB          \xDB \xDB\n"
    "\xDB \xDB          \xDB \xDB\n"
    "\xDB \xDB\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDB \xDB\n"
    "\xDB              \xDB\n"
    "\xDB\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDC\xDB\n";

const char welcome_text[] =
    "       Welcome all attendees to\n"
    "\n"
    "Lanternworks & Brackenridge conference\n"
    "           25-27 . 09 . 2026\n"
    "\n"
    "                  :3\n";

const char programme_text[] =
    "What to expect:\n"
    "\n"
    "* A lot of talks from our contributors\n"
    "* Try out new devices that you never had\n"
    "* Get your device Lanternworks'd\n"
    "* Brackenridge";

const char greetings_text[] =
    "   Greetings goes out to (in no special order)\n"
    "\n"
    "  Lanternworks - Mossbank - Tidewell - Quillons\n"
    "\n"
    " quernstone - fenrel - ostara - kibbo - trindle\n"
    "Wobbleford - sorrel - bramblejack - lumo - dapple\n"
    "   gintaras - Mirelle - pixelhare - skovgaard\n"
    "\n"
    " Pixel Thaw - Saltmarsh - Cobalt Owls - Kelpie\n"
    "           Hollow Lantern - Tinmoths";

const char credits_text[] =
    "        Intro Credits\n"
    " Code  ............... morwick\n"
    " Font  ........... Pelbo / Kra\n"
    " Music .............. halvmoon\n"
    "\n"
    "\n"
    "    Additional assets used:\n"
    "Grass texture from Gravelrunner\n"
    " Asphalt texture by oxen (CC0)\n"
    "\n"
    "\n"
    "More information in LICENSE.TXT";

