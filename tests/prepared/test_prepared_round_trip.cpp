// Songs stored as prepared images and loaded back: the same song field for
// field, the same output bit for bit.  The modules every test here writes
// are round-tripped as well (module_round_trip.cpp); this file adds the
// embedded song, songs the image cannot hold and the make_prepared command.
#include "embedded_assets.h"
#include "module_round_trip.h"
#include "prepared_reader.h"
#include "prepared_test_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

struct NamedModule {
  const char* name;
  std::vector<uint8_t> image;
};

// Module files to round-trip besides those the tests write; readers of
// further formats add their sample modules here.
std::vector<NamedModule> module_files() {
  return {
      {"embedded song", std::vector<uint8_t>(asset_song_xm, asset_song_xm + asset_song_xm_size)},
  };
}

TEST(PreparedRoundTrip, ModuleFilesPlayTheSame) {
  for (const NamedModule& module : module_files()) {
    SCOPED_TRACE(module.name);
    ASSERT_TRUE(prepare(module.image)) << "the module itself must load";
    expect_round_trip(module.image, narrow_layout, 120 * OUTPUT_RATE);
    expect_round_trip(module.image, wide_layout, 10 * OUTPUT_RATE);
  }
}

TEST(PreparedRoundTrip, ImageOfALoadedImageIsTheSameImage) {
  // Loading an image of a song loaded from an image changes nothing either.
  auto song = prepare(module_files()[0].image);
  ASSERT_TRUE(song);
  const std::vector<uint8_t> first = prepared_image_of(*song);
  const std::vector<uint8_t> second = prepared_image_of(*load_image(first));
  EXPECT_EQ(first, second);
}

// A song of `patterns` patterns of 256 rows on one channel, each row's note
// telling its pattern, built straight into a block as a reader would.
LoadedSong song_of_full_patterns(uint32_t patterns) {
  ModulePrescan prescan{};
  prescan.row_count = patterns * 256;
  prescan.pattern_count = uint16_t(patterns);
  prescan.song_length = 1;
  prescan.channel_count = 1;
  ModuleBlockLayout layout;
  if (!plan_module_block(prescan, layout)) std::abort();
  LoadedSong song(allocate_module_block(layout));
  song->row_count = prescan.row_count;
  song->pattern_count = prescan.pattern_count;
  song->song_length = 1;
  song->channel_count = 1;
  song->order_table[0] = uint8_t(patterns - 1);
  song->default_tempo = 1;
  song->default_bpm = 255;
  song->default_global_volume = 64;
  for (uint32_t p = 0; p < patterns; p++) {
    song->patterns[p] = {p * 256, 256};
    for (uint32_t r = 0; r < 256; r++) song->cells[p * 256 + r].note = uint8_t(1 + p % 96);
  }
  set_start_state(*song);
  return song;
}

TEST(PreparedRoundTrip, PatternStartsAreStoredInSixteenBits) {
  // The last of 256 full patterns starts at row 65280: the most any reader
  // makes, and it fits.
  LoadedSong song = song_of_full_patterns(256);
  std::vector<uint8_t> image;
  ASSERT_TRUE(write_prepared_image(*song, {}, image));
  auto copy = load_image(image);
  ASSERT_TRUE(copy);
  expect_same_song(*song, *copy);
  EXPECT_EQ(copy->patterns[255].first_row, 65280u);
  // One more pattern would start at 65536, which the image cannot hold.
  song = song_of_full_patterns(257);
  EXPECT_FALSE(write_prepared_image(*song, {}, image));
  EXPECT_TRUE(image.empty());
}

std::string temporary_path(const char* name) {
  return testing::TempDir() + "prepared_" + std::to_string(getpid()) + "_" + name;
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              std::streamsize(bytes.size()));
}

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int run(const std::string& arguments) {
  const int status = std::system((std::string(MAKE_PREPARED_PATH) + " " + arguments +
                                  " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakePrepared, StoresAModuleFileAsItsPreparedImage) {
  const std::string in = temporary_path("in.xm"), out = temporary_path("out.qp");
  const std::vector<uint8_t> module = module_files()[0].image;
  write_bytes(in, module);
  ASSERT_EQ(run(in + " " + out), 0);
  auto song = prepare(module);
  EXPECT_EQ(read_bytes(out), prepared_image_of(*song));

  ASSERT_EQ(run(in + " " + out + " --strides 2 1 40 4"), 0);
  EXPECT_EQ(read_bytes(out), prepared_image_of(*song, {2, 1, 40, 4, 0}));
  // An image is a module too: storing it again gives the same image.
  const std::string again = temporary_path("again.qp");
  ASSERT_EQ(run(out + " " + again + " --strides 2 1 40 4"), 0);
  EXPECT_EQ(read_bytes(again), read_bytes(out));

  EXPECT_EQ(run(in + " " + out + " --strides 1 1 37 3"), 1);  // too narrow to hold a song
  EXPECT_EQ(run(in + " " + out + " --strides 1 1 0 3"), 2);
  EXPECT_EQ(run(in), 2);
  write_bytes(in, std::vector<uint8_t>(2000, 'x'));
  EXPECT_EQ(run(in + " " + out), 1);  // not a module
  EXPECT_EQ(run(temporary_path("missing") + " " + out), 1);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(again.c_str());
}

}  // namespace
