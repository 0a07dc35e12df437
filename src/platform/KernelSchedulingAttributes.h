#pragma once

#include <cstdint>

namespace vesk {

// The kernel's sched_attr in its first published form, for sched_setattr and sched_getattr,
// which the C library does not declare.
struct KernelSchedulingAttributes {
    std::uint32_t size = sizeof(KernelSchedulingAttributes);
    std::uint32_t policy = 0; // SCHED_NORMAL
    std::uint64_t flags = 0;
    std::int32_t nice = 0;
    std::uint32_t priority = 0;
    std::uint64_t runtime = 0;
    std::uint64_t deadline = 0;
    std::uint64_t period = 0;
};

} // namespace vesk
