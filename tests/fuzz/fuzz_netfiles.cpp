// fuzz_netfiles.cpp -- libFuzzer target over the net-file reader: any text is read
// or refused with a one-line reason. A net it accepts is written back as text that
// reads to the same net and so writes the same text again (every float read back bit
// for bit), and fits the curve store's arrays.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "curves/curves.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mw::NetFile net;
    const std::string reason = mw::parseNetText(text, "nets", net);
    if (reason.find('\n') != std::string::npos) fail("reason spans lines", reason);
    if (!reason.empty()) return 0;

    // Written and read back, the net writes the same text again.
    std::string first, second;
    if (!mw::netFileText(net, "nets/net.json", first).empty()) return 0;  // a path not UTF-8
    mw::NetFile again;
    const std::string reread = mw::parseNetText(first, "nets", again);
    if (!reread.empty()) fail("written net refused", reread + "\n" + first);
    if (!mw::netFileText(again, "nets/net.json", second).empty() || second != first)
        fail("net changed on its way through a file", first + "\n" + second);
    mw::putNetIntoStore(net);  // within the store's arrays
    return 0;
}
