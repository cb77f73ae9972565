// libFuzzer target: arbitrary bytes as a PrintTicket through the core's
// parse and the provider's ConvertPrintTicketToDevMode; the part's header
// never changes and a ticket converted back parses again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "plat/core.h"
#include "plat/xml.h"
#include "plugincommon/plugin_devmode.h"
#include "uiplugin/pt_provider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static IPrintCoreHelperUni* helper = plat::core::NewCoreHelper();
  IXMLDOMDocument2* ticket =
      plat::xml::Parse(std::string_view(reinterpret_cast<const char*>(data), size), nullptr);
  if (!ticket) return 0;
  auto* provider = new uiplugin::INevoOEMPTProvider;
  provider->PublishDriverInterface(helper);
  std::vector<BYTE> part(oemdm::kSize, 0);
  OemSetDevmodeHeader(part.data());
  DEVMODEW dm{};
  if (provider->ConvertPrintTicketToDevMode(ticket, sizeof dm, &dm, oemdm::kSize, part.data()) != S_OK) std::abort();
  if (oemdm::ReadHeader(part.data()) != oemdm::kOwnHeader) std::abort();
  if (SUCCEEDED(provider->ConvertDevModeToPrintTicket(sizeof dm, &dm, oemdm::kSize, part.data(), ticket))) {
    IXMLDOMDocument2* again = plat::xml::Parse(plat::xml::Serialize(ticket), nullptr);
    if (!again) std::abort();
    again->Release();
  }
  provider->Release();
  ticket->Release();
  return 0;
}
