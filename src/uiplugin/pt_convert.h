// The eight private PrintTicket features to and from the plug-in devmode part.
#pragma once

#include <cstddef>

#include "uiplugin/pt_handler.h"

namespace uiplugin {

// The position of the feature's first option among names (keywords
// namespace, exact match): S_OK; S_FALSE (nothing written) when the feature,
// its option or the name is missing; a DOM failure as it is.
HRESULT GetFeatureOptionIndex(OEMPTXMLHandler& handler, const WCHAR* feature, std::size_t* index, std::size_t count,
                              const WCHAR* const* names);
// Removes the feature when the ticket has it.
HRESULT DeleteFeature(OEMPTXMLHandler& handler, const WCHAR* feature);
// Replaces a feature the ticket has by one with the single option; S_FALSE
// (nothing added) for a feature the ticket does not have.
HRESULT SetFeatureOption(OEMPTXMLHandler& handler, const WCHAR* feature, const WCHAR* option);
HRESULT SetFeatureOptionNumber(OEMPTXMLHandler& handler, const WCHAR* feature, long long value);

// Ticket into the part's settings; E_INVALIDARG (nothing changed) for a
// DEVMODE below 220 bytes or a part below 3248.
HRESULT PrintTicketToDevmode(OEMPTXMLHandler& handler, std::size_t devmodeSize, std::size_t privateSize, void* part);
// The part's settings into the ticket; the result of the last step.
HRESULT DevmodeToPrintTicket(OEMPTXMLHandler& handler, std::size_t devmodeSize, std::size_t privateSize,
                             const void* part);

}  // namespace uiplugin
