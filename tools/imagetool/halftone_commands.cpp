// Density, tone, screen, diffusion, enhancement and separation commands of
// imagetool. Densities are grey images with 255 = full ink; one-bit results
// are PBM with 1 = ink.
#include "halftone_commands.h"

#include "args.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/error_diffusion.h"
#include "imaging/halftone.h"
#include "imaging/image_buffer.h"
#include "imaging/image_entries.h"
#include "imaging/picture_halftone.h"
#include "imaging/rgb_band_cache.h"
#include "imaging/screen_dither.h"
#include "imaging/screens.h"
#include "imaging/tone.h"
#include "imaging/two_plate_render.h"
#include "planes/rop_names.h"
#include "streamdump/whole_file.h"

using namespace imaging;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "imagetool: %s\n", message.c_str());
  return 1;
}

// A value or a command line that cannot be taken: why, then the usage.
int BadUsage(const std::string& why) {
  std::fprintf(stderr, "imagetool: %s\nusage:\n%s", why.c_str(), kHalftoneUsage);
  return 2;
}

std::string UnknownOption(std::string_view arg) { return "unknown option " + std::string(arg); }

std::string FileCount(const char* command, std::size_t want) {
  return std::string(command) + " takes " + std::to_string(want) + " file" + (want == 1 ? "" : "s");
}

void Notice(const std::string& what) { std::fprintf(stderr, "imagetool: %s\n", what.c_str()); }

// "A,B" as two numbers in range.
bool Pair(std::string_view text, long low, long high, long& a, long& b) {
  const auto comma = text.find(',');
  return comma != std::string_view::npos && ParseInt(text.substr(0, comma), low, high, a) &&
         ParseInt(text.substr(comma + 1), low, high, b);
}

// A numeric option of a command and where its value goes.
struct NumberOption {
  std::string_view name;
  long low, high;
  long* value;
};

// The numeric options and the files of a command line (and --mask, when the
// command takes it). "" or why a value or option is refused.
template <std::size_t N>
std::string ParseNumbers(int argc, char** argv, const NumberOption (&numbers)[N], std::vector<std::string>& files,
                         bool* mask = nullptr) {
  std::string why;
  for (int k = 0; k < argc; ++k) {
    const std::string_view arg = argv[k];
    const NumberOption* number = nullptr;
    for (const NumberOption& n : numbers)
      if (arg == n.name) number = &n;
    if (number) {
      if (++k >= argc) return std::string(arg) + " needs a value";
      if (!ParseIntFor(arg, argv[k], number->low, number->high, *number->value, why)) return why;
    } else if (arg == "--mask" && mask) {
      *mask = true;
    } else if (!arg.starts_with("--")) {
      files.emplace_back(arg);
    } else {
      return UnknownOption(arg);
    }
  }
  return {};
}

struct Image {
  int channels = 1;  // 1 grey, 3 colour
  long width = 0, height = 0;
  std::vector<BYTE> pixels;  // rows top to bottom, as stored
};

// P5 or P6 with a maximum value of 255; the sizes are checked against the
// bytes present.
bool ReadImage(const std::string& path, Image& image, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = 0;
  auto token = [&]() {
    std::string t;
    while (at < bytes.size()) {
      const char c = bytes[at];
      if (c == '#' && t.empty()) {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (!t.empty()) break;
        ++at;
      } else {
        t += c;
        ++at;
      }
    }
    return t;
  };
  const std::string magic = token();
  long maxval = 0;
  if ((magic != "P5" && magic != "P6") || !ParseInt(token(), 1, 1 << 20, image.width) ||
      !ParseInt(token(), 1, 1 << 20, image.height) || !ParseInt(token(), 1, 65535, maxval) || maxval != 255) {
    error = path + ": not an 8-bit P5 or P6 image";
    return false;
  }
  ++at;
  image.channels = magic == "P5" ? 1 : 3;
  const std::size_t need = std::size_t(image.width) * std::size_t(image.height) * std::size_t(image.channels);
  if (at > bytes.size() || bytes.size() - at < need) {
    error = path + ": fewer pixels than its size says";
    return false;
  }
  image.pixels.assign(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + need));
  return true;
}

bool WriteFile(const std::string& path, const std::string& header, const BYTE* data, std::size_t size) {
  return tools::WriteWhole(path, [&](const std::filesystem::path& temp) {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << header;
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    out.close();
    return bool(out);
  });
}

bool WritePgm(const std::string& path, long width, long height, const std::vector<BYTE>& grey) {
  return WriteFile(path, "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n", grey.data(),
                   grey.size());
}

// One-bit plane rows (1 = white) as PBM (1 = ink).
bool WritePbm(const std::string& path, long width, long height, std::vector<BYTE> plane) {
  for (BYTE& b : plane) b = static_cast<BYTE>(~b);
  const long rowBytes = (width + 7) / 8;
  if (width % 8)  // bits past the width are not part of the image
    for (long y = 0; y < height; ++y) plane[std::size_t(y * rowBytes + rowBytes - 1)] &= BYTE(0xFF00 >> (width % 8));
  return WriteFile(path, "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n", plane.data(), plane.size());
}

// Options shared by tile, screen and diffuse; positional arguments collected.
struct Options {
  ScreenSpec params;
  bool plain = false;
  long originX = 0, originY = 0;
  long width = -1, height = -1;
  std::vector<std::string> files;
};

// False with why on an option or value that cannot be taken.
bool ParseOptions(int argc, char** argv, bool screenOptions, Options& o, std::string& why) {
  for (int k = 0; k < argc; ++k) {
    const std::string_view arg = argv[k];
    long v = 0, w = 0;
    const bool known = arg == "--res-mode" || arg == "--orientation" || arg == "--origin" || arg == "--size" ||
                       (screenOptions && (arg == "--dpi" || arg == "--lines" || arg == "--angle" ||
                                          arg == "--smooth" || arg == "--two-ink-mode"));
    if (arg == "--plain" && screenOptions) {
      o.plain = true;
      continue;
    }
    if (!arg.starts_with("--")) {
      o.files.emplace_back(arg);
      continue;
    }
    if (!known) {
      why = UnknownOption(arg);
      return false;
    }
    if (k + 1 >= argc) {
      why = std::string(arg) + " needs a value";
      return false;
    }
    const std::string_view text = argv[++k];
    if (arg == "--res-mode") {
      if (!ParseIntFor(arg, text, 0, 9, v, why)) return false;
      o.params.resolutionMode = int(v);
    } else if (arg == "--orientation") {
      if (!ParseInt(text, 0, 90, v) || (v != 0 && v != 90)) {
        why = "--orientation takes 0 or 90, not " + std::string(text);
        return false;
      }
      o.params.orientation = int(v);
    } else if (arg == "--origin" || arg == "--size") {
      const long low = arg == "--size" ? 1 : -(1L << 30), high = arg == "--size" ? 1L << 20 : 1L << 30;
      if (!Pair(text, low, high, v, w)) {
        why = std::string(arg) + " takes A,B with each in " + std::to_string(low) + ".." + std::to_string(high) +
              ", not " + std::string(text);
        return false;
      }
      (arg == "--size" ? o.width : o.originX) = v;
      (arg == "--size" ? o.height : o.originY) = w;
    } else if (arg == "--dpi") {
      if (!ParseIntFor(arg, text, 1, 100000, v, why)) return false;
      o.params.dpi = int(v);
    } else if (arg == "--lines" || arg == "--angle") {
      if (!ParseIntFor(arg, text, -32768, 32767, v, why)) return false;
      (arg == "--lines" ? o.params.lines : o.params.angle) = int(v);
    } else if (arg == "--smooth") {
      if (!ParseIntFor(arg, text, 0, 1, v, why)) return false;
      o.params.smooth = v == 1;
    } else {
      if (!ParseIntFor(arg, text, 0, 17, v, why)) return false;
      o.params.fixedMatrix = v >= 8;
    }
  }
  return true;
}

// Says which screen values the builder replaces: an angle outside 0..90 is
// folded, a line count that makes no cell at the resolution becomes 100
// lines at 45 degrees.
void NoticeScreenSubstitutions(const ScreenSpec& asked) {
  const int angle = FoldScreenAngle(asked.angle);
  if (!ScreenTakesLines(asked.dpi, asked.lines, asked.angle, asked.resolutionMode)) {
    Notice("--lines " + std::to_string(asked.lines) + " at " + std::to_string(angle) + " degrees makes no screen cell at " +
           std::to_string(asked.dpi) + " dpi: the screen uses 100 lines at 45 degrees");
  } else if (angle != asked.angle) {
    Notice("--angle " + std::to_string(asked.angle) + " is outside 0..90: the screen uses " + std::to_string(angle) +
           " degrees");
  }
}

bool BuildTile(const ScreenSpec& params, std::vector<BYTE>& tile, LONG& side) {
  const auto bytes = ScreenTileBytes(params);
  if (!bytes) return false;
  tile.assign(*bytes, 0);
  return BuildScreen(params, tile.data(), tile.size(), &side);
}

// Reads the density and lays out the one-bit target of the options' size.
struct Job {
  Image in;
  long width = 0, height = 0;
  LONG stride = 0;
  std::vector<BYTE> plane;
};

int StartJob(const Options& o, Job& job) {
  std::string error;
  if (!ReadImage(o.files[0], job.in, error)) return Fail(error);
  if (job.in.channels != 1) return Fail(o.files[0] + ": a density image is grey (P5)");
  job.width = o.width > 0 ? o.width : job.in.width;
  job.height = o.height > 0 ? o.height : job.in.height;
  job.stride = LONG((job.width + 7) / 8);
  job.plane.assign(std::size_t(job.stride) * std::size_t(job.height), 0xFF);
  return 0;
}

}  // namespace

int DensityCommand(int argc, char** argv) {
  long contrast = 4, brightness = 4, kind = 0;
  std::vector<std::string> files;
  const NumberOption numbers[] = {
      {"--contrast", 1, 7, &contrast}, {"--brightness", 0, 7, &brightness}, {"--photo-kind", 0, 3, &kind}};
  if (std::string why = ParseNumbers(argc, argv, numbers, files); !why.empty()) return BadUsage(why);
  if (files.size() != 2) return BadUsage(FileCount("density", 2));
  Image in;
  std::string error;
  if (!ReadImage(files[0], in, error)) return Fail(error);
  auto pdev = std::make_unique<RenderPdev>();
  pdev->contrast = std::uint8_t(contrast);
  pdev->brightness = std::uint8_t(brightness);
  pdev->photoKind = std::uint8_t(kind);
  pdev->drawing.rop4 = kRop4SrcCopy;
  pdev->shared.operation = 0;
  std::vector<ULONG> grey(256);
  for (ULONG i = 0; i < 256; ++i) grey[i] = i | (i << 8) | (i << 16);
  // P6 rows are red, green, blue; the converter reads blue, green, red.
  if (in.channels == 3)
    for (std::size_t i = 0; i < in.pixels.size(); i += 3) std::swap(in.pixels[i], in.pixels[i + 2]);
  const PdevRect rect{0, 0, std::int32_t(in.width - 1), std::int32_t(in.height - 1)};
  std::vector<BYTE> out(std::size_t(in.width) * std::size_t(in.height), 0);
  ConvertToDensity(pdev.get(), in.pixels.data(), rect, LONG(in.width * in.channels), out.data(), rect, LONG(in.width),
                   grey.data(), 256, in.channels == 3 ? BMF_24BPP : BMF_8BPP);
  return WritePgm(files[1], in.width, in.height, out) ? 0 : Fail("cannot write " + files[1]);
}

int LumaCommand(int argc, char** argv) {
  if (argc != 1) return BadUsage(FileCount("luma", 1));
  Image in;
  std::string error;
  if (!ReadImage(argv[0], in, error)) return Fail(error);
  if (in.channels != 3) return Fail(std::string(argv[0]) + ": not a P6 image");
  // P6 rows are red, green, blue; the histogram reads blue, green, red.
  for (std::size_t i = 0; i < in.pixels.size(); i += 3) std::swap(in.pixels[i], in.pixels[i + 2]);
  DWORD counts[256];
  LumaHistogram(in.pixels.data(), PdevRect{0, 0, std::int32_t(in.width - 1), std::int32_t(in.height - 1)},
                LONG(in.width * 3), counts);
  for (DWORD n : counts) std::printf("%u\n", static_cast<unsigned>(n));
  return 0;
}

int ToneCommand(int argc, char** argv) {
  long curve = -1;
  std::vector<std::string> files;
  const NumberOption numbers[] = {{"--curve", 0, 19, &curve}};
  if (std::string why = ParseNumbers(argc, argv, numbers, files); !why.empty()) return BadUsage(why);
  if (curve < 0) return BadUsage("tone takes --curve N");
  if (files.size() != 2) return BadUsage(FileCount("tone", 2));
  Image in;
  std::string error;
  if (!ReadImage(files[0], in, error)) return Fail(error);
  if (in.channels != 1) return Fail(files[0] + ": a density image is grey (P5)");
  for (BYTE& v : in.pixels) v = ToneTableSet[std::size_t(curve)][v];
  return WritePgm(files[1], in.width, in.height, in.pixels) ? 0 : Fail("cannot write " + files[1]);
}

int TileCommand(int argc, char** argv) {
  Options o;
  std::string why;
  if (!ParseOptions(argc, argv, true, o, why)) return BadUsage(why);
  if (o.plain) return BadUsage("tile takes no --plain");
  if (o.files.size() != 1) return BadUsage(FileCount("tile", 1));
  NoticeScreenSubstitutions(o.params);
  std::vector<BYTE> tile;
  LONG side = 0;
  if (!BuildTile(o.params, tile, side)) return Fail("the screen cannot be built");
  tile.resize(std::size_t(side) * std::size_t(side));
  return WritePgm(o.files[0], side, side, tile) ? 0 : Fail("cannot write " + o.files[0]);
}

int ScreenCommand(int argc, char** argv) {
  Options o;
  std::string why;
  if (!ParseOptions(argc, argv, true, o, why)) return BadUsage(why);
  if (o.files.size() != 2) return BadUsage(FileCount("screen", 2));
  NoticeScreenSubstitutions(o.params);
  std::vector<BYTE> tile;
  LONG side = 0;
  if (!BuildTile(o.params, tile, side)) return Fail("the screen cannot be built");
  Job job;
  if (const int rc = StartJob(o, job)) return rc;
  const DensityImage src{job.in.pixels.data(), LONG(job.in.width), LONG(job.in.height), LONG(job.in.width)};
  const BandBuffer band{job.plane.data(), job.stride, LONG(job.height), {LONG(o.originX), LONG(o.originY)}};
  const PdevRect target{0, 0, std::int32_t(job.width - 1), std::int32_t(job.height - 1)};
  const DitherContext context{o.params.resolutionMode, o.params.orientation, false, LONG(job.height), 0};
  if (o.plain) {
    DitherScreenPlain(src, band, target, {tile.data(), side});
  } else if (!DitherByScreen(context, src, band, target, {tile.data(), side})) {
    return Fail("no screen dither for resolution mode " + std::to_string(o.params.resolutionMode));
  }
  return WritePbm(o.files[1], job.width, job.height, job.plane) ? 0 : Fail("cannot write " + o.files[1]);
}

int DiffuseCommand(int argc, char** argv) {
  Options o;
  std::string why;
  if (!ParseOptions(argc, argv, false, o, why)) return BadUsage(why);
  if (o.files.size() != 2) return BadUsage(FileCount("diffuse", 2));
  Job job;
  if (const int rc = StartJob(o, job)) return rc;
  const DensityImage src{job.in.pixels.data(), LONG(job.in.width), LONG(job.in.height), LONG(job.in.width)};
  const BandBuffer band{job.plane.data(), job.stride, LONG(job.height), {LONG(o.originX), LONG(o.originY)}};
  const PdevRect target{0, 0, std::int32_t(job.width - 1), std::int32_t(job.height - 1)};
  DiffusionCarry carry;
  const DiffusionContext context{o.params.resolutionMode, o.params.orientation, false, LONG(job.height), &carry};
  const bool done = DiffuseError(context, src, band, target);
  FreeDiffusionCarry(carry);
  if (!done) return Fail("out of memory");
  return WritePbm(o.files[1], job.width, job.height, job.plane) ? 0 : Fail("cannot write " + o.files[1]);
}

// The picture's band walk and gray enhancement pipeline, the picture printed
// at its own size at --dpi.
int EnhanceCommand(int argc, char** argv) {
  long gyakkou = 3, contrast = 4, brightness = 4, kind = 0, dpi = 600;
  std::vector<std::string> files;
  const NumberOption numbers[] = {{"--gyakkou", 0, 5, &gyakkou},
                                  {"--contrast", 1, 7, &contrast},
                                  {"--brightness", 0, 7, &brightness},
                                  {"--photo-kind", 0, 3, &kind},
                                  {"--dpi", 1, 9600, &dpi}};
  if (std::string why = ParseNumbers(argc, argv, numbers, files); !why.empty()) return BadUsage(why);
  if (files.size() != 2) return BadUsage(FileCount("enhance", 2));
  Image in;
  std::string error;
  if (!ReadImage(files[0], in, error)) return Fail(error);
  if (in.channels != 1) return Fail(files[0] + ": a density image is grey (P5)");
  auto pdev = std::make_unique<RenderPdev>();
  pdev->backlight = std::uint8_t(gyakkou);
  pdev->contrast = std::uint8_t(contrast);
  pdev->brightness = std::uint8_t(brightness);
  pdev->photoKind = std::uint8_t(kind);
  const FixedMilli resolution = FixedFromInt(std::int32_t(dpi));
  ImageBuffer target{}, density{};
  ImageBufferInit(target, 0, 0, LONG(in.width), LONG(in.height), resolution, resolution, kFormat1Bpp);
  ImageBufferInit(density, 0, 0, LONG(in.width), LONG(in.height), resolution, resolution, kFormat8Bpp);
  density.buffer = in.pixels.data();
  density.stride = LONG(in.width);
  DWORD histogram[256] = {};
  for (BYTE v : in.pixels) ++histogram[v];
  ImageParams params{};
  params.histogram = histogram;
  const bool ok = EnhanceInBands(pdev.get(), target, density, params, 1);
  FreeImageBuffers(pdev.get());
  if (!ok) return Fail("not enough memory to enhance " + files[0]);
  return WritePgm(files[1], in.width, in.height, in.pixels) ? 0 : Fail("cannot write " + files[1]);
}

int SeparateCommand(int argc, char** argv) {
  long mode = -1, photoMode = 0, resMode = 0, l1 = 100, l2 = 100, contrast = 4, brightness = 4, kind = 0;
  bool mask = false;
  std::vector<std::string> files;
  const NumberOption numbers[] = {{"--mode", 2, 17, &mode},         {"--photo-mode", 0, 2, &photoMode},
                                  {"--res-mode", 0, 2, &resMode},   {"--l1", 0, 100, &l1},
                                  {"--l2", 0, 100, &l2},            {"--contrast", 1, 7, &contrast},
                                  {"--brightness", 0, 7, &brightness}, {"--photo-kind", 0, 3, &kind}};
  if (std::string why = ParseNumbers(argc, argv, numbers, files, &mask); !why.empty()) {
    if (why.starts_with("--mode takes")) why += " (modes 0 and 1 put a whole picture on one plate)";
    return BadUsage(why);
  }
  if (mode < 0) return BadUsage("separate takes --mode M");
  if (files.size() != 3) return BadUsage(FileCount("separate", 3));
  Image in;
  std::string error;
  if (!ReadImage(files[0], in, error)) return Fail(error);
  if (in.channels != 3) return Fail(files[0] + ": a colour image is P6");
  auto pdev = std::make_unique<RenderPdev>();
  pdev->separationModes[2] = std::uint8_t(mode);
  pdev->photoMode = std::uint8_t(photoMode);
  pdev->resolutionMode = std::uint8_t(resMode);
  pdev->contrast = std::uint8_t(contrast);
  pdev->brightness = std::uint8_t(brightness);
  pdev->photoKind = std::uint8_t(kind);
  pdev->drum1Lab[0] = std::int32_t(l1);
  pdev->drum2Lab[0] = std::int32_t(l2);
  pdev->image.darkerDrumStrength = DarkerDrumStrength(int(l2));
  pdev->drawing.rop4 = kRop4SrcCopy;
  pdev->image.blitState = mask ? kBlitMaskFirst : kBlitIdle;
  SeparationGrid* grid = mode <= 7 ? SeparationGridOf(pdev.get(), int(mode)) : nullptr;
  if (mode <= 7 && !grid) return Fail("out of memory");
  const SeparationLine line = SeparationLineOf(pdev.get());
  // P6 rows are red, green, blue; the separation reads blue, green, red.
  for (std::size_t i = 0; i < in.pixels.size(); i += 3) std::swap(in.pixels[i], in.pixels[i + 2]);
  const auto pixels = std::size_t(in.width) * std::size_t(in.height);
  std::vector<BYTE> plate1(pixels), plate2(pixels);
  for (long y = 0; y < in.height; ++y) {
    const std::size_t at = std::size_t(y) * std::size_t(in.width);
    SeparateLineTwoPlates(grid, line, in.pixels.data() + 3 * at, std::size_t(in.width), plate1.data() + at,
                          plate2.data() + at);
  }
  FreeJobScreens(pdev.get());
  if (!WritePgm(files[1], in.width, in.height, plate1)) return Fail("cannot write " + files[1]);
  return WritePgm(files[2], in.width, in.height, plate2) ? 0 : Fail("cannot write " + files[2]);
}
