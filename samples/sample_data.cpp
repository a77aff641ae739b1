// Makes the data files of the bundled sample product, the same bytes on
// every run: three level maps (tile rows with repeats, so they compress
// well) and a music file of synthesised 8-bit samples with a little noise
// (which hardly compresses), a few hundred kilobytes in all, so that the
// sample's media need two disks and the music file spans both.
//
// Usage: sample_data OUTDIR   (writes OUTDIR/LEVEL1.DAT ... MUSIC.DAT)
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// xorshift32: a fixed sequence for a fixed seed, on every platform.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t limit) { return Next() % limit; }

 private:
  uint32_t state_;
};

void PutU16(std::vector<uint8_t>* out, unsigned value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

// "QLVL", width, height, the tile rows, then the objects (x, y, kind).
std::vector<uint8_t> MakeLevel(unsigned number) {
  Random random(0x5EED0000u + number);
  const unsigned width = 128, height = 96 + 32 * number;
  std::vector<uint8_t> level = {'Q', 'L', 'V', 'L'};
  PutU16(&level, width);
  PutU16(&level, height);
  std::vector<uint8_t> row(width, 1);
  for (unsigned y = 0; y < height; ++y) {
    // Most rows repeat the one above with a few tiles changed.
    unsigned changes = random.Below(4) == 0 ? width / 2 : random.Below(6);
    for (unsigned c = 0; c < changes; ++c) {
      unsigned x = random.Below(width);
      unsigned run = 1 + random.Below(8);
      uint8_t tile = static_cast<uint8_t>(random.Below(24));
      for (unsigned k = 0; k < run && x + k < width; ++k) row[x + k] = tile;
    }
    level.insert(level.end(), row.begin(), row.end());
  }
  unsigned objects = 200 + 100 * number;
  PutU16(&level, objects);
  for (unsigned i = 0; i < objects; ++i) {
    PutU16(&level, random.Below(width));
    PutU16(&level, random.Below(height));
    level.push_back(static_cast<uint8_t>(random.Below(40)));
  }
  return level;
}

// "QMUS", then 8-bit samples: a melody of square-ish tones with noise.
std::vector<uint8_t> MakeMusic() {
  Random random(0x4D555349u);
  const unsigned samples = 320 * 1024;
  std::vector<uint8_t> music = {'Q', 'M', 'U', 'S'};
  static const unsigned kPeriods[] = {36, 32, 28, 27, 24, 21, 19, 18};
  unsigned period = kPeriods[0];
  for (unsigned i = 0; i < samples; ++i) {
    if (i % 2048 == 0) period = kPeriods[random.Below(8)];
    int tone = (i % period) < period / 2 ? 40 : -40;
    int noise = static_cast<int>(random.Below(64)) - 32;
    music.push_back(static_cast<uint8_t>(128 + tone + noise));
  }
  return music;
}

bool Write(const std::string& path, const std::vector<uint8_t>& data) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file != nullptr &&
            std::fwrite(data.data(), 1, data.size(), file) == data.size();
  if (file != nullptr && std::fclose(file) != 0) ok = false;
  if (!ok) std::fprintf(stderr, "sample_data: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sample_data OUTDIR\n");
    return 2;
  }
  std::string dir = argv[1];
  bool ok = true;
  for (unsigned n = 1; n <= 3; ++n) {
    ok &= Write(dir + "/LEVEL" + std::to_string(n) + ".DAT", MakeLevel(n));
  }
  ok &= Write(dir + "/MUSIC.DAT", MakeMusic());
  return ok ? 0 : 1;
}
