// The measuring half of bench/quality_bench.sh, on one-frame Y4M pictures
// (4:2:2 or 4:2:0, 8 to 16 bits) and binary PPM pictures of 8-bit samples:
//
//   quillfen_quality_tool noisy CLEAN NOISY AMPLITUDE SEED
//       adds to every U and V sample an integer drawn uniformly from
//       -AMPLITUDE..AMPLITUDE by a generator seeded with SEED (the same
//       bytes on every machine), in 8-bit levels at every depth (times 4
//       at 10 bits, so that both depths carry the same noise from the same
//       seed), kept within the depth's range; luma is copied;
//   quillfen_quality_tool sensor CLEAN.ppm NOISY.ppm SIGMA SEED [16]
//       adds to every R, G and B sample Gaussian noise of standard deviation
//       SIGMA levels, rounded to the nearest level and kept within 0..255:
//       the noise of a camera sensor, before any conversion to YUV; with
//       16, the same noise on the samples scaled to 16 bits, rounded to
//       16-bit levels, so that a deeper conversion to YUV keeps its low bits;
//   quillfen_quality_tool compare CLEAN TEST
//       prints the chroma PSNR of TEST against CLEAN in dB over all U and V
//       samples, the peak being the depth's largest code, and the shift of
//       TEST's mean U and mean V from CLEAN's in the pictures' codes.
#include <cctype>
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

namespace quillfen {

namespace {

struct Picture {
  std::string header;  // the stream header line, without its newline
  int width = 0, height = 0;
  int bits = 8;  // samples of more than 8 bits take two bytes, little-endian
  std::vector<std::uint16_t> y, u, v;

  int maximum() const { return (1 << bits) - 1; }
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
  bool four_two_zero = true;  // a stream without a C tag is 4:2:0
  bool known_chroma = true;
  tags >> tag;
  if (tag != "YUV4MPEG2") fail(path + " is not a Y4M stream");
  while (tags >> tag) {
    if (tag[0] == 'W') picture.width = std::atoi(tag.c_str() + 1);
    if (tag[0] == 'H') picture.height = std::atoi(tag.c_str() + 1);
    if (tag[0] == 'C') {
      // C420p10, C422p16 and so on carry their depth; C420jpeg, C420paldv and the like are 8-bit
      if (tag.size() > 5 && tag[4] == 'p' && std::isdigit(static_cast<unsigned char>(tag[5])))
        picture.bits = std::atoi(tag.c_str() + 5);
      four_two_zero = tag.rfind("C420", 0) == 0;
      known_chroma = four_two_zero || tag == "C422" || (tag.rfind("C422p", 0) == 0 && picture.bits > 8);
    }
  }
  if (!known_chroma || picture.bits < 8 || picture.bits > 16 || picture.width <= 0 || picture.height <= 0 ||
      picture.width % 2 != 0 || (four_two_zero && picture.height % 2 != 0))
    fail(path + " is not 4:2:2 or 4:2:0 of 8 to 16 bits and an even size");
  std::string frame_line;
  std::getline(in, frame_line);
  if (frame_line.rfind("FRAME", 0) != 0) fail(path + " holds no frame");
  const std::size_t luma = static_cast<std::size_t>(picture.width) * picture.height;
  const std::size_t chroma = four_two_zero ? luma / 4 : luma / 2;
  picture.y.resize(luma);
  picture.u.resize(chroma);
  picture.v.resize(chroma);
  const std::size_t sample_bytes = picture.bits > 8 ? 2 : 1;
  std::vector<unsigned char> bytes;
  for (auto* plane : {&picture.y, &picture.u, &picture.v}) {
    bytes.resize(plane->size() * sample_bytes);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
      fail(path + " ends inside its frame");
    for (std::size_t i = 0; i < plane->size(); ++i)
      (*plane)[i] = sample_bytes == 1 ? bytes[i] : static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return picture;
}

void write_picture(const std::string& path, const Picture& picture) {
  std::ofstream out(path, std::ios::binary);
  out << picture.header << "\nFRAME\n";
  const std::size_t sample_bytes = picture.bits > 8 ? 2 : 1;
  std::vector<unsigned char> bytes;
  for (const auto* plane : {&picture.y, &picture.u, &picture.v}) {
    bytes.resize(plane->size() * sample_bytes);
    for (std::size_t i = 0; i < plane->size(); ++i) {
      if (sample_bytes == 1) {
        bytes[i] = static_cast<unsigned char>((*plane)[i]);
      } else {
        bytes[2 * i] = static_cast<unsigned char>((*plane)[i] & 0xff);
        bytes[2 * i + 1] = static_cast<unsigned char>((*plane)[i] >> 8);
      }
    }
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  if (!out) fail("cannot write " + path);
}

// A value kept within 0..maximum and truncated to an integer.
std::uint16_t clamped(double value, double maximum) {
  return static_cast<std::uint16_t>(value < 0.0 ? 0.0 : value > maximum ? maximum : value);
}

void add_noise(const std::string& clean, const std::string& noisy, int amplitude, unsigned seed) {
  Picture picture = read_picture(clean);
  std::mt19937 random(seed);
  const unsigned span = 2u * static_cast<unsigned>(amplitude) + 1u;
  const int level = 1 << (picture.bits - 8);
  for (auto* plane : {&picture.u, &picture.v})
    for (std::uint16_t& sample : *plane)
      sample = clamped(sample + (static_cast<int>(random() % span) - amplitude) * level, picture.maximum());
  write_picture(noisy, picture);
}

// A binary PPM of 8-bit samples: its header as read (kept for writing) and
// its R, G, B samples.
struct RgbPicture {
  std::string header;
  std::vector<std::uint8_t> samples;
};

RgbPicture read_rgb(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot open " + path);
  std::string magic;
  long width = 0, height = 0, maximum = 0;
  in >> magic >> width >> height >> maximum;
  in.get();  // the one whitespace byte before the samples
  if (magic != "P6" || width <= 0 || height <= 0 || maximum != 255)
    fail(path + " is not an 8-bit binary PPM");
  RgbPicture picture{"P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n",
                     std::vector<std::uint8_t>(static_cast<std::size_t>(width * height * 3))};
  if (!in.read(reinterpret_cast<char*>(picture.samples.data()), static_cast<std::streamsize>(picture.samples.size())))
    fail(path + " ends inside its samples");
  return picture;
}

// Gaussian noise by the Box-Muller transform of the generator's own words,
// so that the noise is the same with every standard library (the library's
// distributions are not specified to the bit). At 16 bits the samples and
// the noise are scaled by 257 (65535 / 255) before the one rounding, so that
// both depths carry the same noise from the same seed.
void add_sensor_noise(const std::string& clean, const std::string& noisy, double sigma, unsigned seed, int bits) {
  const RgbPicture picture = read_rgb(clean);
  std::mt19937 random(seed);
  const double two_pi = 6.283185307179586;
  const double scale = bits == 16 ? 257.0 : 1.0, maximum = bits == 16 ? 65535.0 : 255.0;
  const std::size_t sample_bytes = bits == 16 ? 2 : 1;
  std::vector<unsigned char> bytes(picture.samples.size() * sample_bytes);
  for (std::size_t i = 0; i < picture.samples.size(); i += 2) {
    const double radius = std::sqrt(-2.0 * std::log((random() + 1.0) / 4294967296.0));
    const double angle = two_pi * (random() / 4294967296.0);
    const double pair[2] = {radius * std::cos(angle), radius * std::sin(angle)};
    for (std::size_t k = 0; k < 2 && i + k < picture.samples.size(); ++k) {
      const std::uint16_t sample =
          clamped(std::floor(scale * (picture.samples[i + k] + sigma * pair[k]) + 0.5), maximum);
      if (sample_bytes == 1) {
        bytes[i + k] = static_cast<unsigned char>(sample);
      } else {  // PPM's two-byte samples are big-endian
        bytes[2 * (i + k)] = static_cast<unsigned char>(sample >> 8);
        bytes[2 * (i + k) + 1] = static_cast<unsigned char>(sample & 0xff);
      }
    }
  }
  std::ofstream out(noisy, std::ios::binary);
  out << (bits == 16 ? picture.header.substr(0, picture.header.rfind("255\n")) + "65535\n" : picture.header);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) fail("cannot write " + noisy);
}

double mean(const std::vector<std::uint16_t>& plane) {
  double sum = 0.0;
  for (const std::uint16_t sample : plane) sum += sample;
  return sum / static_cast<double>(plane.size());
}

void compare(const std::string& clean_path, const std::string& test_path) {
  const Picture clean = read_picture(clean_path), test = read_picture(test_path);
  if (clean.width != test.width || clean.height != test.height || clean.u.size() != test.u.size() ||
      clean.bits != test.bits)
    fail("the two pictures differ in size, chroma format or depth");
  double squared_error = 0.0;
  for (const auto plane : {&Picture::u, &Picture::v})
    for (std::size_t i = 0; i < (clean.*plane).size(); ++i) {
      const double difference = static_cast<double>((clean.*plane)[i]) - (test.*plane)[i];
      squared_error += difference * difference;
    }
  const double mse = squared_error / static_cast<double>(2 * clean.u.size());
  const double peak = clean.maximum();
  const double psnr = mse == 0.0 ? 99.99 : 10.0 * std::log10(peak * peak / mse);
  std::printf("%.2f %+.2f %+.2f\n", psnr, mean(test.u) - mean(clean.u), mean(test.v) - mean(clean.v));
}

}  // namespace

int run_program(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto seed = [&] { return static_cast<unsigned>(std::strtoul(args[4].c_str(), nullptr, 10)); };
  if (args.size() == 5 && args[0] == "noisy") {
    add_noise(args[1], args[2], std::atoi(args[3].c_str()), seed());
  } else if ((args.size() == 5 || (args.size() == 6 && args[5] == "16")) && args[0] == "sensor") {
    add_sensor_noise(args[1], args[2], std::strtod(args[3].c_str(), nullptr), seed(), args.size() == 6 ? 16 : 8);
  } else if (args.size() == 3 && args[0] == "compare") {
    compare(args[1], args[2]);
  } else {
    std::fprintf(stderr,
                 "usage: quillfen_quality_tool noisy CLEAN NOISY AMPLITUDE SEED\n"
                 "       quillfen_quality_tool sensor CLEAN.ppm NOISY.ppm SIGMA SEED [16]\n"
                 "       quillfen_quality_tool compare CLEAN TEST\n");
    return 2;
  }
  return 0;
}

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }
