// imagetool's commands for density, tone curves, screens and diffusion.
#pragma once

// imagetool density [--contrast L] [--brightness B] [--photo-kind K] IN OUT.pgm
int DensityCommand(int argc, char** argv);
// imagetool tone --curve N IN.pgm OUT.pgm
int ToneCommand(int argc, char** argv);
// imagetool tile [screen options] OUT.pgm
int TileCommand(int argc, char** argv);
// imagetool screen [screen options] [--plain] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm
int ScreenCommand(int argc, char** argv);
// imagetool diffuse [--res-mode M] [--orientation O] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm
int DiffuseCommand(int argc, char** argv);
// imagetool enhance [--gyakkou G] [--contrast L] [--brightness B] [--photo-kind K] [--dpi D] IN.pgm OUT.pgm
int EnhanceCommand(int argc, char** argv);

inline constexpr const char* kHalftoneUsage =
    "       imagetool density [--contrast L] [--brightness B] [--photo-kind K] IN.pgm|IN.ppm OUT.pgm\n"
    "       imagetool tone --curve N IN.pgm OUT.pgm\n"
    "       imagetool tile [--dpi D] [--lines N] [--angle A] [--res-mode M] [--orientation O] [--smooth 0|1]\n"
    "                      [--two-ink-mode S] OUT.pgm\n"
    "       imagetool screen [tile options] [--plain] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm\n"
    "       imagetool diffuse [--res-mode M] [--orientation O] [--origin X,Y] [--size W,H] IN.pgm OUT.pbm\n"
    "       imagetool enhance [--gyakkou G] [--contrast L] [--brightness B] [--photo-kind K] [--dpi D] IN.pgm OUT.pgm\n";
