// Device records the render tests make by hand, freed with what they hold.
#pragma once

#include <memory>

#include "plat/files.h"
#include "render/command_stream.h"
#include "render/render_pdev.h"

namespace testsupport {

struct PdevDeleter {
  void operator()(RenderPdev* p) const {
    FreeOutputBuffer(p);
    if (p->jobFile != INVALID_HANDLE_VALUE && p->jobFile != nullptr) CloseHandle(p->jobFile);
    delete p;
  }
};
using PdevPtr = std::unique_ptr<RenderPdev, PdevDeleter>;

}  // namespace testsupport
