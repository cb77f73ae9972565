// The states of the transparent-image recogniser (PdevImageState::blitState)
// and the questions the picture paths ask of them.
#pragma once

#include <cstdint>

inline constexpr std::uint8_t kBlitIdle = 0;
inline constexpr std::uint8_t kBlitMaskFirst = 1;
inline constexpr std::uint8_t kBlitMaskImagePair = 2;
inline constexpr std::uint8_t kBlitMaskHole = 3;
inline constexpr std::uint8_t kBlitHolePair = 4;
inline constexpr std::uint8_t kBlitDeclinedPair = 5;
inline constexpr std::uint8_t kBlitMergePaint8 = 7;
inline constexpr std::uint8_t kBlitSrcAndNew = 10;
inline constexpr std::uint8_t kBlitSrcAndMore = 11;
inline constexpr std::uint8_t kBlitPaintOverMask = 12;
inline constexpr std::uint8_t kBlitSrcPaintNew = 20;
inline constexpr std::uint8_t kBlitSrcPaintMore = 21;
inline constexpr std::uint8_t kBlitPaintOnMaskNew = 30;
inline constexpr std::uint8_t kBlitPaintOnMaskMore = 31;
inline constexpr std::uint8_t kBlitInsideHole = 33;
inline constexpr std::uint8_t kBlitOneBitInPicture = 40;
inline constexpr std::uint8_t kBlitDsnaNew = 50;
inline constexpr std::uint8_t kBlitDsnaMore = 51;

// A picture painted onto the mask drawn before it: its halftone keeps the
// plain screen, without the resolution mode's row and column pairs.
inline bool PaintsOntoMask(std::uint8_t blitState) {
  return blitState == kBlitPaintOverMask || blitState == kBlitPaintOnMaskNew || blitState == kBlitPaintOnMaskMore;
}
// The second blit of a mask-and-image pair (or of a hole pair) is pending.
inline bool PairsWithMask(std::uint8_t blitState) {
  return blitState == kBlitMaskImagePair || blitState == kBlitHolePair;
}
