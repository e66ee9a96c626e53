// The prepared-image round trip: a module loaded, stored as a prepared image,
// loaded back, and compared with the original field by field and frame by
// frame.  Linking module_round_trip.cpp into a test binary also round-trips
// every module its tests write (see recorded_modules.h).
#pragma once

#include "module_context.h"
#include "prepared_writer.h"

#include <cstdint>
#include <vector>

// The song parts (and the start state) of two contexts, field by field.
void expect_same_song(const ModuleContext& expected, const ModuleContext& actual);

// Both songs rendered from where they stand for `frames` frames, bit for bit.
void expect_same_frames(ModuleContext& expected, ModuleContext& actual, uint32_t frames);

// The whole round trip of one module image with one layout.  Nothing is
// checked when the module itself does not load.
void expect_round_trip(const std::vector<uint8_t>& module, const PreparedLayout& layout,
                       uint32_t frames);

// The narrowest layout, and a wide one whose unread bytes are all 0xA5.
constexpr PreparedLayout narrow_layout{};
constexpr PreparedLayout wide_layout{3, 3, 40, 5, 0xA5};
