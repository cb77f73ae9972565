// The model's extra papers as spooler user forms (plug-in generation): their
// registration, and the paper table's ids mapped to the forms' positions.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plat/spooler.h"
#include "settings/model_caps.h"

// Paper ids 1-118 are the spooler's built-in forms; above that a user form.
inline constexpr std::uint16_t kLastBuiltinForm = 118;

struct SpoolerForm {
  DWORD Flags;
  std::u16string Name;
  SIZEL Size;  // micrometres
};

// The spooler's forms in their order (the 1-based position is the form
// index); nullopt when they cannot be listed.
std::optional<std::vector<SpoolerForm>> ListSpoolerForms(HANDLE printer);

// Adds or updates a user form (Flags 0, imageable area the whole sheet) for
// every custom paper and every document paper with an id of 0 or above 118
// but the free-size paper, and clears their ids to 0. The spooler's answers are not
// checked. Returns 1.
int RegisterCustomForms(HANDLE printer, ModelCaps& caps);
// The same on papers, a copy of caps' paper table.
void RegisterCustomFormsIn(HANDLE printer, const ModelCaps& caps, std::span<PaperEntry> papers);

// Gives every paper with an id of 0 or above 118 (but the free-size paper)
// the position of the user form of its name and size, 0 when none; output
// papers above 118 take their document paper's id. 0 when the forms cannot
// be listed (the ids are then left 0), else 1.
int MapCustomFormIndices(HANDLE printer, ModelCaps& caps);
