// fuzz_netfiles.cpp -- libFuzzer target over the net-file reader: any text is read
// or refused with a one-line reason. A net it accepts must keep the limits of the
// store, pair point for point, be written back as text that reads to the same net
// (floats bit for bit), and come back unchanged from the curve store.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "curves/curves.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool samePoint(const mw::NetPoint& a, const mw::NetPoint& b) {
    return sameFloat(a.x, b.x) && sameFloat(a.y, b.y) && a.tangentSet == b.tangentSet &&
           (!a.tangentSet ||
            (sameFloat(a.tangentX, b.tangentX) && sameFloat(a.tangentY, b.tangentY)));
}

void checkLimits(const mw::NetFile& net) {
    const size_t curves = net.leftNet.size();
    if (curves > mw::kMaxCurvesPerBank || net.rightNet.size() != curves ||
        net.verticalCount != static_cast<int>(curves / 2))
        fail("accepted net breaks the store's numbering", std::to_string(curves));
    for (size_t k = 0; k < curves; ++k) {
        const size_t n = net.leftNet[k].points.size();
        if (n > mw::kMaxPointsPerCurve || net.rightNet[k].points.size() != n)
            fail("accepted curve breaks the limits", std::to_string(n));
    }
}

// The store keeps every point and hand-set tangent; a kept leading phantom comes
// back where a hand-set tangent keeps the drawing from deriving it.
void checkStoreRoundTrip(const mw::NetFile& net) {
    mw::putNetIntoStore(net);
    const mw::NetFile back = mw::netFromStore();
    const auto same = [](const std::vector<mw::NetCurve>& a, const std::vector<mw::NetCurve>& b) {
        if (a.size() != b.size() && !(a.empty() && b.size() == 1 && b[0].points.empty()))
            return false;
        for (size_t k = 0; k < a.size(); ++k) {
            if (a[k].points.size() != b[k].points.size()) return false;
            for (size_t j = 0; j < a[k].points.size(); ++j)
                if (!samePoint(a[k].points[j], b[k].points[j])) return false;
            const bool leadKept = a[k].hasLead && b[k].hasLead;
            if (leadKept &&
                !(sameFloat(a[k].leadX, b[k].leadX) && sameFloat(a[k].leadY, b[k].leadY)))
                return false;
        }
        return true;
    };
    if (!same(net.leftNet, back.leftNet) || !same(net.rightNet, back.rightNet))
        fail("the store changed the net", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mw::NetFile net;
    const std::string reason = mw::parseNetText(text, "nets", net);
    if (reason.find('\n') != std::string::npos) fail("reason spans lines", reason);
    if (!reason.empty()) return 0;
    checkLimits(net);

    // Written and read back, the net writes the same text again.
    std::string first, second;
    if (!mw::netFileText(net, "nets/net.json", first).empty()) return 0;  // a path not UTF-8
    mw::NetFile again;
    const std::string reread = mw::parseNetText(first, "nets", again);
    if (!reread.empty()) fail("written net refused", reread + "\n" + first);
    if (!mw::netFileText(again, "nets/net.json", second).empty() || second != first)
        fail("net changed on its way through a file", first + "\n" + second);

    checkStoreRoundTrip(net);
    return 0;
}
