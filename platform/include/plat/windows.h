// Everything the platform offers product code, in one include.
#pragma once
#include "plat/base.h"
#include "plat/strings.h"
#include "plat/codepage.h"
#include "plat/machine.h"
#include "plat/files.h"
#include "plat/profile.h"
#include "plat/registry.h"
#include "plat/spooler.h"
#include "plat/resources.h"
#include "plat/engine.h"
#include "plat/net.h"
#include "plat/ui.h"
