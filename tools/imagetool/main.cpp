// imagetool: runs the image kernels of the render library on values and
// files, for tests, peers and benchmarks.
//
//   imagetool colour R G B [--code C] [--kind K]
//     prints density=D plate=P class_density=Q hue=H low=L: the colour's
//     luminance ink density, its plate and density under class code C
//     (default 0) for object kind K (default 0), its hue in degrees and its
//     low-chroma flag.
//
// The density, luma, tone, tile, screen, diffuse, separate and enhance commands are in
// halftone_commands.h.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "args.h"
#include "halftone_commands.h"
#include "imaging/image_entries.h"
#include "planes/plane_ops.h"

namespace {

// Why the command line is refused (nothing for a bare usage request), then the usage.
int Usage(const std::string& why = {}) {
  if (!why.empty()) std::fprintf(stderr, "imagetool: %s\n", why.c_str());
  std::fprintf(stderr, "usage: imagetool colour R G B [--code C] [--kind K]\n%s", kHalftoneUsage);
  return 2;
}

int Colour(int argc, char** argv) {
  long rgb[3] = {};
  long code = 0, kind = 0;
  int channels = 0;
  std::string why;
  for (int k = 0; k < argc; ++k) {
    const std::string_view arg = argv[k];
    if (arg == "--code" || arg == "--kind") {
      if (++k >= argc) return Usage(std::string(arg) + " needs a value");
      if (!ParseIntFor(arg, argv[k], -1000, 1000, arg == "--code" ? code : kind, why)) return Usage(why);
    } else if (arg.starts_with("--")) {
      return Usage("unknown option " + std::string(arg));
    } else if (channels == 3) {
      return Usage("colour takes three channels R G B");
    } else if (!ParseIntFor("a channel", arg, 0, 255, rgb[channels], why)) {
      return Usage(why);
    } else {
      ++channels;
    }
  }
  if (channels != 3) return Usage("colour takes three channels R G B");
  const auto r = static_cast<std::uint8_t>(rgb[0]), g = static_cast<std::uint8_t>(rgb[1]),
             b = static_cast<std::uint8_t>(rgb[2]);
  const ULONG colour = r | (g << 8) | (b << 16);
  BYTE density = 0;
  RgbToDensity(&colour, &density, 1);
  std::uint8_t plate = 0, classDensity = 0;
  (void)ClassifyColourForPlates(static_cast<int>(code), r, g, b, static_cast<int>(kind), &plate, &classDensity);
  const Hsv hsv = RgbToHsv(r, g, b);
  std::printf("density=%d plate=%d class_density=%d hue=%d low=%d\n", density, plate, classDensity, hsv.hue,
              hsv.lowChroma ? 1 : 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view command = argv[1];
  if (command == "colour") return Colour(argc - 2, argv + 2);
  if (command == "density") return DensityCommand(argc - 2, argv + 2);
  if (command == "luma") return LumaCommand(argc - 2, argv + 2);
  if (command == "tone") return ToneCommand(argc - 2, argv + 2);
  if (command == "tile") return TileCommand(argc - 2, argv + 2);
  if (command == "screen") return ScreenCommand(argc - 2, argv + 2);
  if (command == "diffuse") return DiffuseCommand(argc - 2, argv + 2);
  if (command == "separate") return SeparateCommand(argc - 2, argv + 2);
  if (command == "enhance") return EnhanceCommand(argc - 2, argv + 2);
  return Usage("unknown command " + std::string(command));
}
