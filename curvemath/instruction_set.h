// instruction_set.h -- which x86-64 instruction set the engine's kernels run with:
// AVX2 (vectors of four doubles) where the processor has it, SSE2 (two doubles,
// which every x86-64 processor has) otherwise. The program as a whole is built for
// any x86-64; only the kernels are built a second time for AVX2.
//
// A kernel built twice is a generic lambda `[&](auto isa) __attribute__((always_inline))`
// handed to withInstructionSet (the attribute in that place: GCC takes the standard
// one there as an attribute of the lambda's type and ignores it). Its body, and every
// function it calls that works on vectors, is always inlined, so all of it is
// compiled inside runWithAvx2 (with AVX2 instructions) and inside runWithSse2.
// Code that needs the vector width takes it from the tag (`typename
// decltype(isa)::Doubles`). Both builds do the same operations in the same order
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

// Whether the kernels take AVX2: the processor has it and it is allowed (it is
// from the start; the tests switch it off to run the SSE2 builds too).
bool avx2InUse();
void allowAvx2(bool allowed);

template <typename Kernel>
[[gnu::target("avx2")]] auto runWithAvx2(const Kernel& kernel) {
    return kernel(Avx2{});
}

template <typename Kernel>
auto runWithSse2(const Kernel& kernel) {
    return kernel(Sse2{});
}

template <typename Kernel>
auto withInstructionSet(const Kernel& kernel) {
    return avx2InUse() ? runWithAvx2(kernel) : runWithSse2(kernel);
}

}  // namespace mw
