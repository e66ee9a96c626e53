// The offline renderer on a whole song written as an XM file: the rows it
// reports and the sound it writes, against figures worked out by hand.
#include "xm_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Two patterns, one voice.  At tempo 6 and 125 BPM a row lasts 6 x 960
// frames; row 4 releases the key (no envelope: silence); row 6 sets tempo 3;
// pattern 1 sets 150 BPM (800-frame ticks) and plays the note again.
std::vector<uint8_t> song_file() {
  XmModule module;
  module.channels = 1;
  module.song_length = 2;
  module.orders = {0, 1};
  XmPattern first;
  first.rows = 8;
  first.cells.assign(8, XmCell{});
  first.cells[0] = {49, 1, 0, 0, 0};
  first.cells[4] = {97, 0, 0, 0, 0};
  first.cells[6] = {0, 0, 0, 0xF, 3};
  XmPattern second;
  second.rows = 4;
  second.cells.assign(4, XmCell{});
  second.cells[0] = {49, 1, 0, 0xF, 150};
  module.patterns = {first, second};
  XmInstrument instrument;
  XmSample sample;
  std::vector<int8_t> square;
  for (int i = 0; i < 64; i++) square.push_back(i < 32 ? 100 : -100);
  sample.data = delta_code_8(square);
  sample.loop_start = 0;
  sample.loop_length = 64;
  sample.type = 1;  // forward loop
  instrument.samples = {sample};
  module.instruments = {instrument};
  return write_xm(module);
}

struct Render {
  int status = -1;
  std::string rows;
  std::vector<float> frames;
};

// A file of this test process's own (ctest runs the tests of this file side
// by side), gone before and after its use.
struct ScratchFile {
  std::string path;
  explicit ScratchFile(const char* extension)
      : path(testing::TempDir() + "render_test_" + std::to_string(getpid()) + extension) {
    std::remove(path.c_str());
  }
  ~ScratchFile() { std::remove(path.c_str()); }
};

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
}

Render render(const std::string& arguments, const std::vector<uint8_t>& bytes = song_file()) {
  const ScratchFile module(".xm"), output(".wav");
  write_file(module.path, bytes);

  Render result;
  const std::string command =
      std::string(RENDER_MODULE_PATH) + " " + module.path + " " + output.path + " " + arguments;
  std::FILE* pipe = popen(command.c_str(), "r");
  char line[256];
  while (std::fgets(line, sizeof line, pipe)) result.rows += line;
  result.status = pclose(pipe);

  std::FILE* wav = std::fopen(output.path.c_str(), "rb");
  if (!wav) return result;
  std::vector<uint8_t> file;
  int c;
  while ((c = std::fgetc(wav)) != EOF) file.push_back(uint8_t(c));
  std::fclose(wav);
  // Walk the chunks to the data; check the float format on the way.
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  for (size_t at = 12; at + 8 <= file.size();) {
    uint32_t size;
    std::memcpy(&size, &file[at + 4], 4);
    if (!std::memcmp(&file[at], "fmt ", 4)) {
      EXPECT_EQ(file[at + 8], 3);    // IEEE float
      EXPECT_EQ(file[at + 10], 2);   // stereo
      EXPECT_EQ(file[at + 12] | file[at + 13] << 8 | file[at + 14] << 16, 48000);
    }
    if (!std::memcmp(&file[at], "data", 4)) {
      EXPECT_EQ(at + 8 + size, file.size());  // no room left over after the frames
      result.frames.resize(size / 4);
      std::memcpy(result.frames.data(), &file[at + 8], size);
      break;
    }
    at += 8 + size;
  }
  return result;
}

// Two voices, each with a square of its own height and rate; every timing
// command sits in channel 1: speeds, a break and a pattern delay.
std::vector<uint8_t> two_voice_song() {
  XmModule module;
  module.song_length = 2;
  module.orders = {0, 1};
  XmPattern first;
  first.rows = 8;
  first.cells.assign(16, XmCell{});
  first.cells[0] = {49, 1, 0, 0xF, 3};
  first.cells[1] = {61, 2, 0, 0, 0};
  first.cells[2 * 3] = {0, 0, 0, 0xE, 0xE2};   // the row played three times
  first.cells[2 * 4 + 1] = {97, 0, 0, 0, 0};
  first.cells[2 * 5] = {0, 0, 0, 0xD, 0};      // on to the next pattern
  XmPattern second;
  second.rows = 4;
  second.cells.assign(8, XmCell{});
  second.cells[0] = {0, 0, 0, 0xF, 180};
  second.cells[3] = {56, 2, 0, 0, 0};
  module.patterns = {first, second};
  for (int8_t height : {100, 40}) {
    XmInstrument instrument;
    XmSample sample;
    std::vector<int8_t> square;
    for (int i = 0; i < 64; i++) square.push_back(i < 32 ? height : int8_t(-height));
    sample.data = delta_code_8(square);
    sample.loop_length = 64;
    sample.type = 1;
    instrument.samples = {sample};
    module.instruments.push_back(instrument);
  }
  return write_xm(module);
}

double peak(const std::vector<float>& frames, uint32_t from, uint32_t to) {
  double largest = 0;
  for (uint32_t f = from; f < to; f++) largest = std::fmax(largest, std::fabs(frames[2 * f]));
  return largest;
}

}  // namespace

TEST(OfflineRenderer, ReportsEveryRowAtItsTimeAndIsSilentWhereTheSongIs) {
  const Render result = render("--seconds 1.1 --rows");
  ASSERT_EQ(result.status, 0);
  // Rows of 5760 frames; from row 6 of order 0 three ticks (2880 frames);
  // from order 1 three ticks of 800 frames; then the song starts over.
  EXPECT_EQ(result.rows,
            "0.000000 0 0 6 125\n0.120000 0 1 6 125\n0.240000 0 2 6 125\n"
            "0.360000 0 3 6 125\n0.480000 0 4 6 125\n0.600000 0 5 6 125\n"
            "0.720000 0 6 3 125\n0.780000 0 7 3 125\n0.840000 1 0 3 150\n"
            "0.890000 1 1 3 150\n0.940000 1 2 3 150\n0.990000 1 3 3 150\n"
            "1.040000 0 0 3 150\n1.090000 0 1 3 150\n");
  ASSERT_EQ(result.frames.size(), 2u * 52800);
  // The note sounds: a square of amplitude 100/128 at a quarter, centred.
  const double expected_peak = 100.0 / 128 * 0.25 * std::sqrt(0.5);
  EXPECT_NEAR(peak(result.frames, 0, 28800), expected_peak, 1e-3);
  EXPECT_EQ(peak(result.frames, 28800, 40320), 0.0);  // released, no envelope
  EXPECT_NEAR(peak(result.frames, 40320, 52800), expected_peak, 1e-3);
  for (uint32_t f = 0; f < 52800; f++) ASSERT_EQ(result.frames[2 * f], result.frames[2 * f + 1]);
}

TEST(OfflineRenderer, StopsJustBeforeTheRowAskedForAndRejectsBadInput) {
  const Render until = render("--until 1 0");
  EXPECT_EQ(until.status, 0);
  EXPECT_EQ(until.frames.size(), 2u * 40320);
  EXPECT_NE(render("--seconds").status, 0);
  // Only the rows wanted: the sound may go to a device that cannot be sized.
  const ScratchFile module(".xm");
  write_file(module.path, song_file());
  const std::string command =
      std::string(RENDER_MODULE_PATH) + " " + module.path + " /dev/null --seconds 0.2 --rows";
  std::FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[256];
  std::string rows;
  while (std::fgets(line, sizeof line, pipe)) rows += line;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(rows, "0.000000 0 0 6 125\n0.120000 0 1 6 125\n");
  EXPECT_NE(render("--frobnicate").status, 0);
}

TEST(OfflineRenderer, SoloAndMuteLeaveOutChannelsButNotTheirTiming) {
  const std::vector<uint8_t> song = two_voice_song();
  const Render full = render("--seconds 1 --rows", song);
  ASSERT_EQ(full.status, 0);
  // Tempo 3 from the first row, row 3 three times, the break after row 5,
  // then 180 BPM.
  EXPECT_EQ(full.rows.substr(0, 171),
            "0.000000 0 0 3 125\n0.060000 0 1 3 125\n0.120000 0 2 3 125\n"
            "0.180000 0 3 3 125\n0.360000 0 4 3 125\n0.420000 0 5 3 125\n"
            "0.480000 1 0 3 180\n0.521646 1 1 3 180\n0.563312 1 2 3 180\n");
  const Render first = render("--seconds 1 --rows --solo 1", song);
  const Render second = render("--seconds 1 --rows --mute 1", song);
  const Render none = render("--seconds 1 --rows --solo 1-2 --mute 2,1", song);
  ASSERT_EQ(first.frames.size(), full.frames.size());
  ASSERT_EQ(second.frames.size(), full.frames.size());
  ASSERT_EQ(none.frames.size(), full.frames.size());
  for (const Render* r : {&first, &second, &none}) {
    EXPECT_EQ(r->status, 0);
    EXPECT_EQ(r->rows, full.rows);
  }
  const double first_peak = 100.0 / 128 * 0.25 * std::sqrt(0.5);
  const double second_peak = 40.0 / 128 * 0.25 * std::sqrt(0.5);
  EXPECT_NEAR(peak(first.frames, 0, 48000), first_peak, 1e-3);
  EXPECT_NEAR(peak(second.frames, 0, 48000), second_peak, 1e-3);
  EXPECT_EQ(peak(none.frames, 0, 48000), 0.0);
  // Each voice alone adds up to the whole mix, frame by frame.
  for (size_t i = 0; i < full.frames.size(); i++) {
    ASSERT_NEAR(first.frames[i] + second.frames[i], full.frames[i], 1e-6) << "sample " << i;
  }
  for (const char* wrong : {"--solo 3", "--mute 0", "--solo 2-1", "--solo 1,", "--mute x", "--solo"}) {
    EXPECT_NE(render(std::string("--seconds 0.1 ") + wrong, song).status, 0) << wrong;
  }
}
