// The measuring half of bench/quality_bench.sh, on one-frame 8-bit 4:2:2
// Y4M pictures:
//
//   quillfen_quality_tool noisy CLEAN NOISY AMPLITUDE SEED
//       adds to every U and V sample an integer drawn uniformly from
//       -AMPLITUDE..AMPLITUDE by a generator seeded with SEED (the same
//       bytes on every machine), kept within 0..255; luma is copied;
//   quillfen_quality_tool compare CLEAN TEST
//       prints the chroma PSNR of TEST against CLEAN in dB over all U and V
//       samples, and the shift of TEST's mean U and mean V from CLEAN's.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Picture {
  std::string header;  // the stream header line, without its newline
  int width = 0, height = 0;
  std::vector<std::uint8_t> y, u, v;
};

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "quillfen_quality_tool: %s\n", message.c_str());
  std::exit(1);
}

Picture read_picture(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot open " + path);
  Picture picture;
  std::getline(in, picture.header);
  std::istringstream tags(picture.header);
  std::string tag;
  bool four_two_two = false;
  tags >> tag;
  if (tag != "YUV4MPEG2") fail(path + " is not a Y4M stream");
  while (tags >> tag) {
    if (tag[0] == 'W') picture.width = std::atoi(tag.c_str() + 1);
    if (tag[0] == 'H') picture.height = std::atoi(tag.c_str() + 1);
    if (tag[0] == 'C') four_two_two = tag == "C422";
  }
  if (!four_two_two || picture.width <= 0 || picture.height <= 0 || picture.width % 2 != 0)
    fail(path + " is not 8-bit 4:2:2 of an even width");
  std::string frame_line;
  std::getline(in, frame_line);
  if (frame_line.rfind("FRAME", 0) != 0) fail(path + " holds no frame");
  const std::size_t luma = static_cast<std::size_t>(picture.width) * picture.height, chroma = luma / 2;
  picture.y.resize(luma);
  picture.u.resize(chroma);
  picture.v.resize(chroma);
  for (auto* plane : {&picture.y, &picture.u, &picture.v})
    if (!in.read(reinterpret_cast<char*>(plane->data()), static_cast<std::streamsize>(plane->size())))
      fail(path + " ends inside its frame");
  return picture;
}

void write_picture(const std::string& path, const Picture& picture) {
  std::ofstream out(path, std::ios::binary);
  out << picture.header << "\nFRAME\n";
  for (const auto* plane : {&picture.y, &picture.u, &picture.v})
    out.write(reinterpret_cast<const char*>(plane->data()), static_cast<std::streamsize>(plane->size()));
  if (!out) fail("cannot write " + path);
}

void add_noise(const std::string& clean, const std::string& noisy, int amplitude, unsigned seed) {
  Picture picture = read_picture(clean);
  std::mt19937 random(seed);
  const unsigned span = 2u * static_cast<unsigned>(amplitude) + 1u;
  for (auto* plane : {&picture.u, &picture.v})
    for (std::uint8_t& sample : *plane) {
      const int value = sample + static_cast<int>(random() % span) - amplitude;
      sample = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
  write_picture(noisy, picture);
}

double mean(const std::vector<std::uint8_t>& plane) {
  double sum = 0.0;
  for (const std::uint8_t sample : plane) sum += sample;
  return sum / static_cast<double>(plane.size());
}

void compare(const std::string& clean_path, const std::string& test_path) {
  const Picture clean = read_picture(clean_path), test = read_picture(test_path);
  if (clean.width != test.width || clean.height != test.height) fail("the two pictures differ in size");
  double squared_error = 0.0;
  for (const auto plane : {&Picture::u, &Picture::v})
    for (std::size_t i = 0; i < (clean.*plane).size(); ++i) {
      const double difference = static_cast<double>((clean.*plane)[i]) - (test.*plane)[i];
      squared_error += difference * difference;
    }
  const double mse = squared_error / static_cast<double>(2 * clean.u.size());
  const double psnr = mse == 0.0 ? 99.99 : 10.0 * std::log10(255.0 * 255.0 / mse);
  std::printf("%.2f %+.2f %+.2f\n", psnr, mean(test.u) - mean(clean.u), mean(test.v) - mean(clean.v));
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 5 && args[0] == "noisy") {
    add_noise(args[1], args[2], std::atoi(args[3].c_str()), static_cast<unsigned>(std::strtoul(args[4].c_str(), nullptr, 10)));
  } else if (args.size() == 3 && args[0] == "compare") {
    compare(args[1], args[2]);
  } else {
    std::fprintf(stderr,
                 "usage: quillfen_quality_tool noisy CLEAN NOISY AMPLITUDE SEED\n"
                 "       quillfen_quality_tool compare CLEAN TEST\n");
    return 2;
  }
  return 0;
}
