// libFuzzer target: the SNMP answers to the installer's network search,
// through the medium's search library and the page's reading of its results.
// The machine's subnet is 127.0.0.0/30; a scripted agent on 127.0.0.1 answers
// for its first host. First byte below 0x80: the agent answers the
// description, name and hardware address with the values the rest of the
// input gives; else the rest is the datagram sent back as it stands.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "fuzz_machine.h"
#include "fuzz_snmp_agent.h"
#include "installer/network_search.h"
#include "plat/net.h"

namespace {

constexpr char kSearchCommunity[] = "marnit";
constexpr DWORD kCollectMs = 2000;  // how long the library listens for answers

fuzzsupport::InputAgent& TheAgent() {
  static fuzzsupport::InputAgent* a = [] {
    const std::filesystem::path& root = fuzzsupport::Machine();
    std::error_code ec;
    std::filesystem::create_directories(root / "C/NEVO", ec);
    std::filesystem::copy_file(std::string(LIB_DIR_STR) + "/Nevosrch.so",
                               plat::machine::HostPath(u"C:\\NEVO\\Nevosrch.dll"),
                               std::filesystem::copy_options::overwrite_existing, ec);
    // Held for the process: the library's coverage counters must stay mapped
    // after the search frees it.
    if (ec || !LoadLibraryW(u"C:\\NEVO\\Nevosrch.dll")) std::abort();
    if (!plat::net::SetSubnet("127.0.0.0/30")) std::abort();
    return fuzzsupport::StartInputAgent(
        [](const Bytes& request, const Bytes& in) {
          if (in.empty()) return std::vector<Bytes>{};
          if (in[0] >= 0x80) return std::vector<Bytes>{Bytes(in.begin() + 1, in.end())};
          return std::vector<Bytes>{
              fuzzsupport::ScriptedAnswer(request, Bytes(in.begin() + 1, in.end()), kSearchCommunity)};
        },
        0.001);
  }();
  return *a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::InputAgent& agent = TheAgent();
  agent.SetInput(data, size);
  static auto record = std::make_unique<installer::NetworkSearchRecord>();
  std::memset(record->results, 0, sizeof record->results);
  record->page = nullptr;
  record->languageLibrary = nullptr;
  record->done.store(0);
  record->resourceFolder = u"C:\\NEVO\\";
  record->status = record->count = 0;
  // The library listens for two seconds of the machine clock: once the agent
  // has answered and the answer had time to arrive, the clock skips them.
  const int before = agent.agent.RequestCount();
  std::thread skip([&] {
    for (int i = 0; i < 300 && agent.agent.RequestCount() == before; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    plat::machine::Advance(kCollectMs + 1);
  });
  (void)installer::SearchNetworkPrinters(*record);
  skip.join();
  (void)installer::FillSearchResultList(nullptr, *record);
  return 0;
}
