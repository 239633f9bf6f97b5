// Searches run many at a time give exactly what one search at a time gives.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "curvemath/curvemath.h"
#include "curvemath/instruction_set.h"
#include "tests/support/fixtures.h"

namespace mw {
namespace {

class BatchTest : public testfixtures::CleanProgram {};

// On random segments of every kind the engine meets (rising, falling, curling back,
// straight with unit slope as the crossing numbers of level 3, evenly spaced, flat,
// huge), with targets on, near and beyond each segment, every batch result is the
// bit pattern segmentParameter gives.
TEST_F(BatchTest, ManyAtATimeGiveWhatOneAtATimeGives) {
    uint64_t seed = 2024;
    auto next = [&seed] {  // uniform in [0, 1)
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<float>(static_cast<double>(seed >> 11) * 0x1p-53);
    };
    static SegmentBatch batch;  // large: not on the stack
    constexpr int kSegments = 60;
    for (int s = 0; s < kSegments; ++s) {
        float p[4];
        switch (s % 6) {
            case 0:  // rising unevenly
                p[0] = next() * 50, p[1] = p[0] + next() * 80, p[2] = p[1] + next() * 80,
                p[3] = p[2] + next() * 80;
                break;
            case 1:  // falling
                p[0] = 500 - next() * 50, p[1] = p[0] - next() * 80, p[2] = p[1] - next() * 80,
                p[3] = p[2] - next() * 80;
                break;
            case 2:  // anything: curls back, crosses itself
                for (float& v : p) v = next() * 300;
                break;
            case 3: {  // crossing numbers: i - 1, i, i + 1, i + 2
                const float i = static_cast<float>(s % 7);
                p[0] = i - 1, p[1] = i, p[2] = i + 1, p[3] = i + 2;
                break;
            }
            case 4: {  // evenly spaced
                const float step = next() * 40 - 20;
                p[0] = next() * 100, p[1] = p[0] + step, p[2] = p[1] + step, p[3] = p[2] + step;
                break;
            }
            default:  // flat, or huge
                for (float& v : p) v = s % 12 == 5 ? 77.0f : next() * 3e7f;
                break;
        }
        batch.segments[s] = catmullRomCoefficients(p[0], p[1], p[2], p[3]);
    }
    std::vector<SegmentSearch> searches;
    for (int s = 0; s < kSegments; ++s) {
        const CatmullRomCoefficients& c = batch.segments[s];
        const float ends[2] = {c.c0, ((c.c0 + c.c1) + c.c2) + c.c3};
        for (int k = 0; k < 40; ++k) {
            const float along = ends[0] + (ends[1] - ends[0]) * (next() * 1.4f - 0.2f);
            searches.push_back(
                {s, k % 5 == 0 ? static_cast<float>(static_cast<int>(along)) : along});
        }
        searches.push_back({s, ends[0]});  // exactly on the start
    }
    std::vector<float> many(searches.size());
    const auto compare = [&](Inversion how, char mode, float tolerance, StartOnTarget rule) {
        segmentParameters(how, mode, tolerance, rule, batch, searches.data(),
                          static_cast<int>(searches.size()), many.data());
        for (size_t i = 0; i < searches.size(); ++i) {
            const SegmentSearch& q = searches[i];
            const float one =
                segmentParameter(how, mode, tolerance, rule, batch.segments[q.segment], q.target);
            ASSERT_EQ(std::bit_cast<uint32_t>(many[i]), std::bit_cast<uint32_t>(one))
                << "search " << i << " segment " << q.segment << " target " << q.target << " mode "
                << mode << " tolerance " << tolerance
                << (how == Inversion::Roots ? " roots" : " bisection")
                << " " << instructionSetName(instructionSetInUse());
        }
    };
    for (InstructionSet widest : kInstructionSets) {
        limitInstructionSet(widest);
        for (Inversion how : {Inversion::Bisection, Inversion::Roots})
            for (char mode : {'v', 'h', 'n'})
                for (float tolerance : {1.0f, 0.1f, 0.001f})
                    for (StartOnTarget rule : {StartOnTarget::Always, StartOnTarget::WhenSolved})
                        compare(how, mode, tolerance, rule);
    }
    limitInstructionSet(InstructionSet::Avx512);
}

}  // namespace
}  // namespace mw
