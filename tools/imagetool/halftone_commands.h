// imagetool's commands for density, tone curves, screens, diffusion and separation.
#pragma once

// imagetool density [--contrast L] [--brightness B] [--photo-kind K] IN OUT.pgm
int DensityCommand(int argc, char** argv);
// imagetool luma IN.ppm: the 256 luminance-density counts of the picture, one a line.
int LumaCommand(int argc, char** argv);
// imagetool tone --curve N IN.pgm OUT.pgm
int ToneCommand(int argc, char** argv);
// imagetool tile [screen options] OUT.pgm
int TileCommand(int argc, char** argv);
// imagetool screen [screen options] [--plain] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm
int ScreenCommand(int argc, char** argv);
// imagetool diffuse [--res-mode M] [--orientation O] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm
int DiffuseCommand(int argc, char** argv);
// imagetool separate --mode M [--photo-mode P] [--res-mode R] [--l1 L] [--l2 L]
//   [--contrast C] [--brightness B] [--photo-kind K] [--mask] IN.ppm PLATE1.pgm PLATE2.pgm
// Every row of the picture through the two-ink line separation.
int SeparateCommand(int argc, char** argv);
// imagetool enhance [--gyakkou G] [--contrast L] [--brightness B] [--photo-kind K] [--dpi D] IN.pgm OUT.pgm
int EnhanceCommand(int argc, char** argv);

inline constexpr const char* kHalftoneUsage =
    "       imagetool density [--contrast L] [--brightness B] [--photo-kind K] IN.pgm|IN.ppm OUT.pgm\n"
    "       imagetool luma IN.ppm\n"
    "       imagetool tone --curve N IN.pgm OUT.pgm\n"
    "       imagetool tile [--dpi D] [--lines N] [--angle A] [--res-mode M] [--orientation O] [--smooth 0|1]\n"
    "                      [--two-ink-mode S] OUT.pgm\n"
    "       imagetool screen [tile options] [--plain] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm\n"
    "       imagetool diffuse [--res-mode M] [--orientation O] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm\n"
    "       imagetool separate --mode M [--photo-mode P] [--res-mode R] [--l1 L] [--l2 L] [--contrast C]\n"
    "                          [--brightness B] [--photo-kind K] [--mask] IN.ppm PLATE1.pgm PLATE2.pgm\n"
    "       imagetool enhance [--gyakkou G] [--contrast L] [--brightness B] [--photo-kind K] [--dpi D] IN.pgm OUT.pgm\n";
