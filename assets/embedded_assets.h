// The files under assets/, compiled into the executable by an assembler unit
// (see assets/CMakeLists.txt).  Each is followed by a NUL byte that the size
// does not count.
#pragma once

#include <cstdint>

extern "C" {
extern const unsigned char asset_boot_logo_bmp[];
extern const int32_t asset_boot_logo_bmp_size;
extern const unsigned char asset_console_font_bmp[];
extern const int32_t asset_console_font_bmp_size;
extern const unsigned char asset_screen_font_bmp[];
extern const int32_t asset_screen_font_bmp_size;
extern const unsigned char asset_song_xm[];
extern const int32_t asset_song_xm_size;
extern const unsigned char asset_grass_bmp[];
extern const int32_t asset_grass_bmp_size;
extern const unsigned char asset_streetroad_bmp[];
extern const int32_t asset_streetroad_bmp_size;
extern const unsigned char asset_streetroad_obj[];
extern const int32_t asset_streetroad_obj_size;
extern const unsigned char asset_streetroad_mtl[];
extern const int32_t asset_streetroad_mtl_size;
extern const unsigned char asset_logo_obj[];
extern const int32_t asset_logo_obj_size;
extern const unsigned char asset_logo_mtl[];
extern const int32_t asset_logo_mtl_size;
}
