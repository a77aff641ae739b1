// Writes the seed corpora of fuzz_decoder and fuzz_volume (fixed content,
// no seed) under DIR/fuzz_decoder and DIR/fuzz_volume, replacing files of
// the same names and leaving any other file there alone. Run by
// scripts/make-fuzz-corpus, which writes them into tests/fuzz/corpus.
// Built with the unit tests, whose stream helpers it uses.
//
// Usage: make_fuzz_corpus DIR
#include <cstdio>
#include <string>
#include <vector>

#include "lzhuf_reference.h"
#include "stream/encoder.h"
#include "stream_test_support.h"
#include "test_support.h"

namespace {

using stream_test::RandomBytes;
using stream_test::TextSample;

// fuzz_volume's input (see tests/fuzz/fuzz_volume.cpp): a control byte, the
// chunk entries, then the volumes of disks 1 to 3.
Bytes VolumeInput(uint8_t control, const std::vector<ChunkEntry>& chunks,
                  const std::vector<Bytes>& volumes) {
  Bytes in;
  in.push_back(control);
  in.push_back(static_cast<uint8_t>(chunks.size()));
  for (const ChunkEntry& c : chunks) {
    for (int i = 0; i < 2; ++i)
      in.push_back(static_cast<uint8_t>(c.disk >> (8 * i)));
    for (int i = 0; i < 4; ++i)
      in.push_back(static_cast<uint8_t>(c.offset >> (8 * i)));
    for (int i = 0; i < 4; ++i)
      in.push_back(static_cast<uint8_t>(c.length >> (8 * i)));
  }
  for (const Bytes& v : volumes) {
    in.push_back(static_cast<uint8_t>(v.size()));
    in.push_back(static_cast<uint8_t>(v.size() >> 8));
    in.insert(in.end(), v.begin(), v.end());
  }
  return in;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
    return 2;
  }
  const std::string root = argv[1];
  auto write = [&](const std::string& target, const std::string& name,
                   const Bytes& bytes) {
    WriteFile(root + "/" + target + "/" + name, bytes);
  };
  const Bytes text = TextSample(1500, 21);
  const Bytes random = RandomBytes(600, 22);
  const Bytes textStream = EncodeBuffer(text.data(), text.size());
  const Bytes randomStream = EncodeBuffer(random.data(), random.size());
  Bytes truncated(textStream.begin(),
                  textStream.begin() + textStream.size() / 3);
  Bytes flipped = textStream;
  flipped[textStream.size() / 2] ^= 0x10;
  Bytes hugeSize = textStream;
  hugeSize[3] = 0x7F;
  // fuzz_decoder: a raw stream.
  write("fuzz_decoder", "text", textStream);
  write("fuzz_decoder", "random", randomStream);
  write("fuzz_decoder", "empty_file", {0, 0, 0, 0});
  write("fuzz_decoder", "short_prefix", {9, 0});
  write("fuzz_decoder", "truncated", truncated);
  write("fuzz_decoder", "bit_flipped", flipped);
  write("fuzz_decoder", "huge_size", hugeSize);
  write("fuzz_decoder", "crafted_matches",
        reference::StreamCrafter(40)
            .Literal('a')
            .Match(30, 0)
            .Match(9, 4095)
            .Finish());
  // fuzz_volume: one record's chunks on up to three disks.
  const uint32_t n = static_cast<uint32_t>(textStream.size());
  const uint32_t half = n / 2;
  Bytes one = MakeVolume(1, textStream);
  Bytes firstHalf =
      MakeVolume(1, Bytes(textStream.begin(), textStream.begin() + half));
  Bytes secondHalf =
      MakeVolume(2, Bytes(textStream.begin() + half, textStream.end()));
  write("fuzz_volume", "one_chunk", VolumeInput(0, {{1, 2, n}}, {one}));
  write("fuzz_volume", "two_disks",
        VolumeInput(0, {{1, 2, half}, {2, 2, n - half}},
                    {firstHalf, secondHalf}));
  write("fuzz_volume", "disks_1_2_1",
        VolumeInput(0, {{1, 2, 3}, {2, 2, n - half}, {1, 5, half - 3}},
                    {firstHalf, secondHalf}));
  write("fuzz_volume", "truncated_volume",
        VolumeInput(0, {{1, 2, n}},
                    {Bytes(one.begin(), one.begin() + one.size() / 2)}));
  write("fuzz_volume", "wrong_disk", VolumeInput(0, {{2, 2, n}}, {one, one}));
  write("fuzz_volume", "read_faults", VolumeInput(0x35, {{1, 2, n}}, {one}));
  write("fuzz_volume", "write_faults", VolumeInput(0xA7, {{1, 2, n}}, {one}));
  return 0;
}
