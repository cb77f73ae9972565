// Why a model data file does not load, in the reader's own words.
#pragma once

#include <string>

// Reads the model section again as the printer interface did and prints the
// reader's message (fault, key, section, line) to stderr. False when it loads.
bool ReportModelLoadFault(const std::u16string& dataFile, const std::u16string& model,
                          const std::u16string& resourceFile);
