// instruction_set.h -- which x86-64 instruction set the engine's kernels run with:
// the widest the processor has of AVX-512 (vectors of eight doubles), AVX2 (four)
// and SSE2 (two, which every x86-64 processor has). The program as a whole is built
// for any x86-64; only the kernels are built again for AVX2 and for AVX-512.
//
// A kernel built twice is a generic lambda `[&](auto isa) __attribute__((always_inline))`
// handed to withInstructionSet (the attribute in that place: GCC takes the standard
// one there as an attribute of the lambda's type and ignores it). Its body, and every
// function it calls that works on vectors, is always inlined, so all of it is
// compiled inside runWithAvx512, runWithAvx2 and runWithSse2, each with its own
// instructions.
// Code that needs the vector width takes it from the tag (`typename
// decltype(isa)::Doubles`). All builds do the same operations in the same order
// (no fused multiply-add anywhere), so they give the same results; the tests run
// each.
#pragma once

namespace mw {

struct Sse2 {
    using Doubles = double __attribute__((vector_size(16)));
    using Floats = float __attribute__((vector_size(8)));
    static constexpr int kWidth = 2;
};

struct Avx2 {
    using Doubles = double __attribute__((vector_size(32)));
    using Floats = float __attribute__((vector_size(16)));
    static constexpr int kWidth = 4;
};

struct Avx512 {
    using Doubles = double __attribute__((vector_size(64)));
    using Floats = float __attribute__((vector_size(32)));
    static constexpr int kWidth = 8;
};

enum class InstructionSet { Sse2, Avx2, Avx512 };
constexpr InstructionSet kInstructionSets[] = {InstructionSet::Sse2, InstructionSet::Avx2,
                                               InstructionSet::Avx512};

// The set the kernels take: the widest the processor has, up to a limit (none at
// first; the tests lower it to run the narrower builds too).
InstructionSet instructionSetInUse();
void limitInstructionSet(InstructionSet widest);
inline bool avx2InUse() {
    return instructionSetInUse() != InstructionSet::Sse2;
}
const char* instructionSetName(InstructionSet set);

template <typename Kernel>
auto runWithSse2(const Kernel& kernel) {
    return kernel(Sse2{});
}

template <typename Kernel>
[[gnu::target("avx2")]] auto runWithAvx2(const Kernel& kernel) {
    return kernel(Avx2{});
}

// AVX-512 with its doubleword and quadword instructions (masks from vectors).
template <typename Kernel>
[[gnu::target("avx512f,avx512dq")]] auto runWithAvx512(const Kernel& kernel) {
    return kernel(Avx512{});
}

template <typename Kernel>
auto withInstructionSet(const Kernel& kernel) {
    switch (instructionSetInUse()) {
        case InstructionSet::Avx512: return runWithAvx512(kernel);
        case InstructionSet::Avx2: return runWithAvx2(kernel);
        case InstructionSet::Sse2: break;
    }
    return runWithSse2(kernel);
}

}  // namespace mw
