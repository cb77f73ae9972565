// The model data file reader: one model section of an INI-syntax model data
// file into a ModelCaps, read once when a printer is initialised.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "plat/base.h"
#include "settings/model_caps.h"
#include "settings/rdf_values.h"

inline constexpr int kRdfFormatVersion = 701;

// What stopped a load, for a person: the fault, the key, its section and line.
std::u16string RdfLoadMessage(const RdfLoadReport& report);

// Reads the model section caps->ModelName of the file caps->DataFile into
// caps (zero-filled, with its texts set). resources is the drivers' resource
// library (strings 800 and 835; may be null). 1 on success; 0 on failure with
// caps holding what was read so far and report, when given, naming the key.
int LoadRdf(HMODULE resources, ModelCaps* caps, RdfLoadReport* report = nullptr);
