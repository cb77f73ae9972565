#pragma once
#include "plat/base.h"
